#include "cli/ScanCommand.h"

#include "cli/SetupCommon.h"
#include "search/SearchEngine.h"
#include "search/SearchExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kestrune::cli {

namespace {

const QString OptNoSndNke = QStringLiteral("no-snd-nke");
const QString OptNoReqUd2 = QStringLiteral("no-req-ud2");
const QString OptManufacturer = QStringLiteral("manufacturer");
const QString OptVersion = QStringLiteral("version");
const QString OptMedium = QStringLiteral("medium");
const QString OptFabrication = QStringLiteral("fabrication");
const QString OptFoundOnly = QStringLiteral("found-only");
const QString OptFamily = QStringLiteral("family");
const QString OptSpeed = QStringLiteral("speed");
const QString OptK2 = QStringLiteral("k2");
const QString OptCsv = QStringLiteral("csv");
const QString OptReport = QStringLiteral("report");
const QString OptExclude = QStringLiteral("exclude");

// Exit code of a search that Ctrl-C stopped (128 + SIGINT, as shells have it).
constexpr int ExitInterrupted = 130;

// Ctrl-C during a search: the handler only writes a byte to a pipe; the
// event loop that runs the search's waits reads it and aborts the search,
// as the Abort button does.
int interruptPipe[2] = {-1, -1};

extern "C" void onInterrupt(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
}

class InterruptAbort {
public:
    explicit InterruptAbort(SearchEngine& engine) {
        if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, &engine, [this, &engine] {
            char byte = 0;
            while (::read(interruptPipe[0], &byte, 1) > 0) {
            }
            m_interrupted = true;
            engine.abort();
        });
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previous);
        m_installed = true;
    }
    ~InterruptAbort() {
        if (m_installed)
            ::sigaction(SIGINT, &m_previous, nullptr);
        delete m_notifier;
        for (int& fd : interruptPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    bool interrupted() const { return m_interrupted; }

private:
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous {};
    bool m_installed = false;
    bool m_interrupted = false;
};

// A number from low to high written in decimal digits only.
std::optional<int> decimal(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    return value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

bool matches(const QString& pattern, const QString& text) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

// The search settings the arguments ask for; empty and error set when
// they are malformed.
std::optional<SearchSettings> scanSettings(QCommandLineParser& p, const QStringList& arguments,
                                           QString& error) {
    SearchSettings s;
    const QString method = arguments.value(0);
    if (method == QLatin1String("primary")) {
        if (arguments.size() != 3) {
            error = QStringLiteral("scan primary takes LOW and HIGH (0-251)");
            return std::nullopt;
        }
        const std::optional<int> low = decimal(arguments[1], 0, 251);
        const std::optional<int> high = decimal(arguments[2], 0, 251);
        if (!low || !high || *high < *low) {
            error = QStringLiteral("LOW and HIGH are addresses 0 to 251 with LOW <= HIGH, not "
                                   "'%1' '%2'")
                        .arg(arguments[1], arguments[2]);
            return std::nullopt;
        }
        for (const QString& o : {OptManufacturer, OptVersion, OptMedium, OptFabrication})
            if (p.isSet(o)) {
                error = QStringLiteral("--%1 goes with scan secondary").arg(o);
                return std::nullopt;
            }
        s.method = SearchMethod::Primary;
        s.low = *low;
        s.high = *high;
        s.sndNke = !p.isSet(OptNoSndNke);
        s.reqUd2 = !p.isSet(OptNoReqUd2);
        if (!s.sndNke && !s.reqUd2) {
            error = QStringLiteral("--no-snd-nke and --no-req-ud2 together leave nothing to send");
            return std::nullopt;
        }
    } else if (method == QLatin1String("secondary")) {
        if (arguments.size() > 2) {
            error = QStringLiteral("scan secondary takes at most one MASK");
            return std::nullopt;
        }
        s.method = SearchMethod::Secondary;
        s.maskId = arguments.value(1, QStringLiteral("FFFFFFFF")).toUpper();
        if (!matches(QStringLiteral("[0-9F]{8}"), s.maskId)) {
            error = QStringLiteral("MASK is 8 digits with F as wildcard, not '%1'").arg(s.maskId);
            return std::nullopt;
        }
        if (p.isSet(OptNoSndNke)) {
            error = QStringLiteral("--no-snd-nke goes with scan primary");
            return std::nullopt;
        }
        const struct {
            const QString& option;
            QString* target;
            int digits;
        } masks[] = {{OptManufacturer, &s.maskManufacturer, 4},
                     {OptVersion, &s.maskVersion, 2},
                     {OptMedium, &s.maskMedium, 2}};
        for (const auto& m : masks) {
            if (!p.isSet(m.option))
                continue;
            const QString v = p.value(m.option).toUpper();
            if (!matches(QStringLiteral("[0-9A-F]{1,%1}").arg(m.digits), v)) {
                error = QStringLiteral("--%1 is up to %2 hexadecimal digits, not '%3'")
                            .arg(m.option)
                            .arg(m.digits)
                            .arg(v);
                return std::nullopt;
            }
            *m.target = v;
        }
        if (p.isSet(OptFabrication)) {
            const QString f = p.value(OptFabrication).toUpper();
            if (!matches(QStringLiteral("[0-9F]{1,8}"), f)) {
                error = QStringLiteral("--fabrication is up to 8 digits, F as wildcard, not '%1'")
                            .arg(f);
                return std::nullopt;
            }
            s.useFabrication = true;
            s.fabrication = f;
        }
        s.secondaryReqUd2 = !p.isSet(OptNoReqUd2);
    } else {
        error = method.isEmpty()
                    ? QStringLiteral("name the method: primary LOW HIGH or secondary "
                                     "[MASK]")
                    : QStringLiteral("unknown method '%1' (primary or secondary)").arg(method);
        return std::nullopt;
    }
    if (p.isSet(OptFamily)) {
        const QString f = p.value(OptFamily).toUpper();
        if (f != QLatin1String("K1") && f != QLatin1String("K2")) {
            error = QStringLiteral("--family is K1 or K2, not '%1'").arg(p.value(OptFamily));
            return std::nullopt;
        }
        s.family = f == QLatin1String("K2") ? GatewayFamily::K2 : GatewayFamily::K1;
    }
    if (p.isSet(OptSpeed)) {
        s.speedChoice = -1;
        for (int k = 0; k < SpeedChoiceCount; ++k)
            if (p.value(OptSpeed) == speedChoiceBaud(k))
                s.speedChoice = k;
        if (s.speedChoice < 0) {
            error = QStringLiteral("--speed is 300, 2400 or 9600, not '%1'").arg(p.value(OptSpeed));
            return std::nullopt;
        }
    }
    if (p.isSet(OptExclude) && !matches(QStringLiteral("[0-9A-Fa-f]{1,4}"), p.value(OptExclude))) {
        error = QStringLiteral("--exclude is a manufacturer code of up to 4 hexadecimal digits");
        return std::nullopt;
    }
    return s;
}

QJsonObject rowJson(int index, const ProbeResult& row) {
    static const char* const names[] = {"",       "probed",         "address",      "first",
                                        "reqUd2", "identification", "manufacturer", "version",
                                        "medium", "deviceType"};
    QJsonObject o{{QStringLiteral("row"), index}, {QStringLiteral("icon"), row.icon}};
    for (int c = 1; c < ProbeResult::CellCount; ++c)
        o.insert(QLatin1String(names[c]), row.cell(c));
    return o;
}

QString rowLine(const ProbeResult& row) {
    QString line = padRight(QString::number(row.icon), 4) + QLatin1Char(' ');
    for (int c = 1; c < ProbeResult::CellCount; ++c)
        line += padRight(row.cell(c)) + QLatin1Char(' ');
    return line.trimmed();
}

QString headerLine(bool secondary) {
    QString line = padRight(QStringLiteral("Icon"), 4) + QLatin1Char(' ');
    for (const QString& h : searchColumnHeaders(secondary))
        line += padRight(h) + QLatin1Char(' ');
    return line.trimmed();
}

// Keeps one line on a terminal's standard error: address or mask, meters
// found so far, seconds since the start.
class ProgressLine {
public:
    explicit ProgressLine(QTextStream& err) : m_err(err), m_terminal(::isatty(STDERR_FILENO) == 1) {
        m_clock.start();
    }
    void show(const QString& probing, int found) {
        if (!m_terminal)
            return;
        m_err << "\r\033[K" << probing
              << QStringLiteral("  found %1  %2 s").arg(found).arg(m_clock.elapsed() / 1000);
        m_err.flush();
        m_shown = true;
    }
    void clear() {
        if (!m_shown)
            return;
        m_err << "\r\033[K";
        m_err.flush();
        m_shown = false;
    }

private:
    QTextStream& m_err;
    bool m_terminal;
    bool m_shown = false;
    QElapsedTimer m_clock;
};

int runScan(Context& context, const QStringList& arguments) {
    QCommandLineParser& p = context.parser();
    QString error;
    std::optional<SearchSettings> settings = scanSettings(p, arguments, error);
    if (!settings)
        return context.fail(ExitBadInput, QStringLiteral("scan: ") + error);
    const std::optional<LinkSettings> linkSettings = context.linkSettings();
    if (!linkSettings)
        return ExitBadInput;
    const std::optional<IniFile> ini = context.iniFile();
    if (!ini)
        return ExitBadInput;
    if (!context.applyTimeouts())
        return ExitBadInput;
    context.loadTexts();
    context.startTrafficLog();
    if (p.isSet(QStringLiteral("log")))
        trafficLog().setVerboseSearchLog(true);

    settings->link = *linkSettings;
    settings->busDelay = link().busDelay();
    settings->typedAddress = linkSettings->host;
    if (p.isSet(OptK2)) {
        settings->chosenDeviceKind = 2;
        settings->chosenDeviceIp = linkSettings->host;
    }
    // --speed is the answer Yes to the bus-speed questions, with that
    // speed's waits; without it the search stops when it can't learn the
    // speed.
    FixedSearchAnswers answers(p.isSet(OptSpeed));
    SearchEngine engine(link(), *ini, &answers);
    const bool secondary = settings->method == SearchMethod::Secondary;
    const bool json = p.isSet(QStringLiteral("json"));
    const bool foundOnly = p.isSet(OptFoundOnly);

    ProgressLine progress(context.err());
    QString probing;
    int found = 0;
    QObject::connect(&engine, &SearchEngine::statusChanged, &engine,
                     [&](int panel, const QString& text) {
                         if (panel == SearchEngine::PanelAddress && engine.isRunning()) {
                             probing = text;
                             progress.show(probing, found);
                         }
                     });
    QObject::connect(&engine, &SearchEngine::sendFailed, &engine, [&](const QString& message) {
        progress.clear();
        printBox(context, message);
    });
    if (!json)
        context.out() << headerLine(secondary) << '\n';
    context.out().flush();
    QObject::connect(&engine, &SearchEngine::rowChanged, &engine,
                     [&](int index, const ProbeResult& row) {
                         if (row.icon == ProbeResult::Correct)
                             ++found;
                         if (foundOnly && !keptWhenFoundOnly(settings->method, row))
                             return;
                         progress.clear();
                         if (json)
                             context.out() << QString::fromUtf8(QJsonDocument(rowJson(index, row))
                                                                    .toJson(QJsonDocument::Compact))
                                           << '\n';
                         else
                             context.out() << rowLine(row) << '\n';
                         context.out().flush();
                         progress.show(probing, found);
                     });

    InterruptAbort interrupt(engine);
    const SearchEngine::Outcome outcome = engine.run(*settings);
    progress.clear();
    const bool lost = !link().isOpen() && outcome != SearchEngine::Outcome::Abandoned;
    const QString lostReason = link().connectionError();
    link().closeConnection();

    // The exports take the rows the list would show.
    SearchExport data;
    for (const ProbeResult& row : engine.rows())
        if (!foundOnly || keptWhenFoundOnly(settings->method, row))
            data.rows.append(row);
    data.portsettings = engine.portSettings();
    data.identificationFromData = !secondary || settings->secondaryReqUd2;
    if (p.isSet(OptExclude))
        data.excludeManufacturer = p.value(OptExclude).toUpper();
    data.headers = searchColumnHeaders(secondary);
    int code = ExitOk;
    const auto save = [&](const QString& option, auto write) {
        if (!p.isSet(option))
            return;
        const SaveResult r = write(p.value(option), data);
        if (!r.ok)
            code = context.fail(ExitBadInput,
                                QStringLiteral("--%1: ").arg(option) + plainText(r.message()));
    };
    save(OptCsv, writeSearchCsv);
    save(OptReport, appendSearchReport);

    const SearchCounters& n = engine.counters();
    context.err() << QStringLiteral("%1; %2 acknowledged, %3 read (%4)")
                         .arg(engine.portSettings())
                         .arg(n.sndNkeFound)
                         .arg(n.rspUd2Found)
                         .arg(n.numberOfScans)
                  << Qt::endl;
    if (outcome == SearchEngine::Outcome::Abandoned)
        return context.fail(ExitLinkFailed,
                            QStringLiteral("nothing was probed: %1").arg(engine.portSettings()));
    if (lost)
        return context.fail(ExitLinkFailed, QStringLiteral("the link was lost: ") + lostReason);
    if (outcome == SearchEngine::Outcome::Aborted && interrupt.interrupted())
        return ExitInterrupted;
    return code;
}

const char ScanDetails[] =
    R"(Methods:
  primary LOW HIGH   SND_NKE and then REQ_UD2 to every address LOW..HIGH (0-251);
                     --no-snd-nke / --no-req-ud2 leave one of them out
  secondary [MASK]   selection by secondary address from MASK (8 digits, F a
                     wildcard; default FFFFFFFF), descending below every answer;
                     --manufacturer, --version, --medium are the masks sent with
                     it (hexadecimal, F wildcards), --fabrication adds the
                     fabrication number; each meter found is read with REQ_UD2
                     to address 253 unless --no-req-ud2
The reply waits come from [Search] of the INI file (--ini) for the bus speed:
over a network gateway the speed is read from its setup record 0 (serial:
the --line speed). When it cannot be read, --speed BAUD (300, 2400, 9600) goes
on with that speed's waits, otherwise the scan stops; --k2 says the gateway is
a K2, whose speed is never read. --family picks the K1 or K2 column of the
table (default K1). The wait for bus silence is --bus-delay (or the INI's),
after a collision [Search] CollisionPrimDelay / CollisionSecDelay.
Output: a header line, then one line a row as its probe is decided: the icon
(1 nothing, 2 correct, 3 bad or colliding, 4 one E5 to a wildcard mask) and the
nine columns of the search list; --json prints one JSON object a row instead.
--found-only leaves out the rows the list's "view found only" hides. --csv
FILE writes the CSV file, --report FILE appends the text report (--exclude MAN
leaves that manufacturer code out of the CSV file). Progress goes to standard
error when it is a terminal; Ctrl-C stops the search like Abort, the rows so
far are printed and saved.
Exit codes: 0 the search ran to its end (whether or not meters were found),
2 bad input or an export file that could not be written, 3 link not opened or
lost, or the bus speed not known (nothing probed), 130 stopped by Ctrl-C.
)";

} // namespace

Command scanCommand() {
    return Command{
        QStringLiteral("scan"),
        QStringLiteral("primary LOW HIGH | secondary [MASK]"),
        QStringLiteral("Search the bus for meters by primary or secondary address; one line a "
                       "probe."),
        {
            {OptNoSndNke, QStringLiteral("Primary: send no SND_NKE.")},
            {OptNoReqUd2, QStringLiteral("Send no REQ_UD2 (no data read).")},
            {OptManufacturer, QStringLiteral("Secondary: manufacturer mask (4 hex digits)."),
             QStringLiteral("M")},
            {OptVersion, QStringLiteral("Secondary: version mask (2 hex digits)."),
             QStringLiteral("V")},
            {OptMedium, QStringLiteral("Secondary: medium mask (2 hex digits)."),
             QStringLiteral("M")},
            {OptFabrication, QStringLiteral("Secondary: add the fabrication number mask."),
             QStringLiteral("F")},
            {OptFoundOnly, QStringLiteral("Print and save only what the list shows with "
                                          "'view found only'.")},
            {OptFamily, QStringLiteral("Time-out family K1 or K2 (default K1)."),
             QStringLiteral("FAMILY")},
            {OptSpeed,
             QStringLiteral("Bus speed when the gateway's can't be read: 300, 2400, "
                            "9600."),
             QStringLiteral("BAUD")},
            {OptK2, QStringLiteral("The gateway is a K2: don't read its speed (needs --speed).")},
            {OptCsv, QStringLiteral("Write the CSV file of the rows."), QStringLiteral("FILE")},
            {OptReport, QStringLiteral("Append the text report of the rows."),
             QStringLiteral("FILE")},
            {OptExclude, QStringLiteral("Manufacturer code left out of the CSV file."),
             QStringLiteral("MAN")},
            {QStringLiteral("json"), QStringLiteral("One JSON object a row.")},
        },
        &runScan,
        QString::fromLatin1(ScanDetails),
    };
}

} // namespace kestrune::cli
