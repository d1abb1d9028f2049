#include "search/SearchEngine.h"

#include "base/IniFile.h"

namespace kestrune {

namespace {

const QString SearchSection = QStringLiteral("Search");

QString familySuffix(GatewayFamily family) {
    return family == GatewayFamily::K2 ? QStringLiteral("_K2") : QStringLiteral("_K1");
}

// A stored wait: the number the key holds, the default when the key is
// missing, previous when the text is no number.
int storedWait(const IniFile& ini, const QString& key, int fallback, int previous) {
    const QString text = ini.read(SearchSection, key, QString::number(fallback)).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : previous;
}

} // namespace

QString speedChoiceBaud(int choice) {
    switch (choice) {
    case 0:
        return QStringLiteral("300");
    case 1:
        return QStringLiteral("2400");
    case 2:
        return QStringLiteral("9600");
    default:
        return {};
    }
}

SearchTimeouts searchTimeouts(const IniFile& ini, const QString& baud, GatewayFamily family,
                              const SearchTimeouts& previous) {
    SearchTimeouts t;
    const QString suffix = baud + familySuffix(family);
    t.sndNke = storedWait(ini, QStringLiteral("SND_NKE_Timeout_") + suffix,
                          SearchTimeouts::DefaultSndNke, previous.sndNke);
    t.rspUd2 = storedWait(ini, QStringLiteral("RSP_UD2_Timeout_") + suffix,
                          SearchTimeouts::DefaultRspUd2, previous.rspUd2);
    return t;
}

QString speedChoiceCaption(const IniFile& ini, int choice, GatewayFamily family) {
    const QString baud = speedChoiceBaud(choice);
    const SearchTimeouts t = searchTimeouts(ini, baud, family);
    return QStringLiteral("%1 ms/%2 ms (%3 bps)").arg(t.sndNke).arg(t.rspUd2).arg(baud);
}

bool keptWhenFoundOnly(SearchMethod method, const ProbeResult& row) {
    if (method == SearchMethod::Primary)
        return row.icon != ProbeResult::NoAnswer;
    return row.icon == ProbeResult::Correct;
}

SearchEngine::SearchEngine(Link& link, const IniFile& ini, SearchQuestions* answers,
                           QObject* parent)
    : QObject(parent), m_link(link), m_ini(ini), m_answers(answers) {
    qRegisterMetaType<ProbeResult>();
}

SearchEngine::~SearchEngine() = default;

SearchEngine::Outcome SearchEngine::run(const SearchSettings& settings) {
    // The scans land in the next commits; the interface is fixed.
    m_settings = settings;
    return Outcome::Abandoned;
}

void SearchEngine::chooseSpeed(int choice) {
    if (choice < 0 || choice >= SpeedChoiceCount)
        return;
    m_timeouts = searchTimeouts(m_ini, speedChoiceBaud(choice), m_family, m_timeouts);
}

void SearchEngine::setSelectionMasks(const QString& manufacturer, const QString& version,
                                     const QString& medium, bool useFabrication,
                                     const QString& fabrication) {
    m_settings.maskManufacturer = manufacturer;
    m_settings.maskVersion = version;
    m_settings.maskMedium = medium;
    m_settings.useFabrication = useFabrication;
    m_settings.fabrication = fabrication;
}

} // namespace kestrune
