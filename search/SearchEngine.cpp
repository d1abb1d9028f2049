#include "search/SearchEngine.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/Tick.h"
#include "channel/ReceiveRules.h"
#include "channel/TrafficLog.h"
#include "mbus/MBusFrame.h"
#include "mbus/MeterIdentification.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/SetupConfig.h"

#include <QElapsedTimer>
#include <QScopedValueRollback>

#include <cmath>

namespace kestrune {

namespace {

// Language texts of the search (texts: 819-839).
constexpr int TextProbing = 819;
constexpr int TextSelected = 820;
constexpr int TextAcknowledged = 821;
constexpr int TextDataRead = 822;
constexpr int TextProbesIn = 823;
constexpr int TextSeconds = 824;
constexpr int TextCollision = 825;
constexpr int TextK2First = 829;
constexpr int TextContinue = 832;
constexpr int TextNoRecord = 833;
constexpr int TextSpeedUnknown = 834;
constexpr int TextUnknownFirst = 835;
constexpr int TextUnknownLast = 838;
constexpr int TextStoppedNoSpeed = 839;

const QString Ok = QStringLiteral("Ok");
const QString None = QStringLiteral("--");
const QString BadData = QStringLiteral("Bad data");
const QByteArray SingleE5(1, char(0xE5));

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

namespace {

// The long frame of a data reply (the single E5 does not end a search wait).
bool isCompleteLongFrame(const QByteArray& rx) {
    return rx.size() > 1 && isCompleteMBusReply(rx);
}

// The note a search wait writes when it ends without a complete frame: an
// acknowledgement is only counted, anything else is the link's time-out note
// with the length the buffer's own header announces.
QString timeoutNote(const QByteArray& rx) {
    if (!rx.isEmpty() && uint8_t(rx[0]) == 0xE5)
        return QStringLiteral("Received %1 byte").arg(rx.size());
    int length = 0;
    (void)receive::isCompleteMBusReply(rx, length);
    return receive::mbusTimeoutNote(rx.size(), length);
}

QString lineSpeedText(int position) {
    static const char* const speeds[] = {"300", "600", "1200", "2400", "4800", "9600"};
    return position >= 0 && position < 6 ? QString::fromLatin1(speeds[position]) : QString();
}

bool verbose() {
    return trafficLog().verboseSearchLog();
}

} // namespace

bool SearchEngine::settingsValid(const SearchSettings& settings) {
    if (settings.method == SearchMethod::Secondary)
        return settings.maskId.trimmed().size() == 8;
    return settings.low >= 0 && settings.high >= settings.low && settings.high < 252 &&
           (settings.sndNke || settings.reqUd2);
}

SearchEngine::Outcome SearchEngine::run(const SearchSettings& settings) {
    if (m_running || !settingsValid(settings))
        return Outcome::Abandoned;
    QScopedValueRollback<bool> running(m_running, true);
    const QMetaObject::Connection relay =
        connect(&m_link, &Link::sendFailed, this, &SearchEngine::sendFailed);

    // 1..2: counters, progress.
    m_settings = settings;
    m_breakFlag = false;
    m_counters = {};
    m_family = settings.family;
    m_busDelay = std::max(0, settings.busDelay);
    m_activeBusDelay = m_busDelay;
    m_speedChoiceShown = false;
    m_baud.clear();
    emit started();
    const bool primary = settings.method == SearchMethod::Primary;
    const int low = settings.low;
    const int high = settings.high;
    int progressMinimum = primary ? low : 0;
    emit progressRangeChanged(progressMinimum, primary ? high + 1 : SecondaryProgressMaximum);
    emit progressChanged(progressMinimum);

    // 3..4: the link anew, the bus speed.
    const bool go = startLink(settings);
    QElapsedTimer clock;
    clock.start();
    emit statusChanged(PanelPortSettings, m_portSettings);

    if (go) {
        // 6..8: time-outs and delays.
        m_timeouts = searchTimeouts(m_ini, m_baud, m_family, m_timeouts);
        if (m_speedChoiceShown) {
            const int choice = std::clamp(settings.speedChoice, 0, SpeedChoiceCount - 1);
            emit speedChoiceRequested(choice);
            chooseSpeed(choice);
        }
        m_activeBusDelay = m_busDelay;
        m_collisionPrimDelay = iniDelay(QStringLiteral("CollisionPrimDelay"), m_collisionPrimDelay);
        m_collisionSecDelay = iniDelay(QStringLiteral("CollisionSecDelay"), m_collisionSecDelay);
    }
    // 9: an empty list.
    m_rows.clear();
    emit rowsCleared();
    emit statusChanged(PanelSndNke, QString());
    emit statusChanged(PanelRspUd2, QString());

    // 10: the scan.
    if (go) {
        if (primary) {
            scanPrimary(low, high);
        } else {
            progressMinimum = scanSecondary();
        }
    }

    // 11..12: the end.
    if (m_breakFlag)
        emit progressChanged(progressMinimum);
    const qint64 seconds = std::llround(double(clock.elapsed()) / 1000.0);
    emit statusChanged(PanelAddress, QStringLiteral("%1 %2 %3 %4")
                                         .arg(m_counters.numberOfScans)
                                         .arg(getText(TextProbesIn))
                                         .arg(seconds)
                                         .arg(getText(TextSeconds)));
    disconnect(relay);
    const Outcome outcome = !go           ? Outcome::Abandoned
                            : m_breakFlag ? Outcome::Aborted
                                          : Outcome::Completed;
    emit finished(outcome);
    return outcome;
}

int SearchEngine::iniDelay(const QString& key, int previous) const {
    const QString text =
        m_ini.read(QStringLiteral("Search"), key, QStringLiteral("3000")).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : previous;
}

bool SearchEngine::startLink(const SearchSettings& settings) {
    m_link.closeConnection();
    const LinkSettings& ls = settings.link;
    const bool opened = m_link.openConnection(ls);
    if (ls.mode == ConnectionMode::Serial) {
        const QString port = ls.serialDevice.isEmpty()
                                 ? QStringLiteral("COM%1").arg(ls.serialPortIndex + 1)
                                 : ls.serialDevice;
        if (!opened || !m_link.isSerialPortOpen()) {
            m_portSettings = port + QStringLiteral(" could  not be opened!");
            return false;
        }
        m_baud = ls.lineSettings.section(QLatin1Char(','), 0, 0).trimmed();
        m_portSettings = QStringLiteral("Serial: %1 (%2)").arg(port, ls.lineSettings);
        return true;
    }
    const QString host = ls.host;
    const auto describe = [&](bool udp) {
        m_portSettings = QStringLiteral("%1: %2:%3")
                             .arg(udp ? QStringLiteral("UDP") : QStringLiteral("TCP"), host)
                             .arg(ls.port);
    };
    describe(ls.mode == ConnectionMode::Udp);

    if (settings.chosenDeviceKind == 2 && settings.chosenDeviceIp == host) {
        if (!(m_speedConfirmed && m_confirmedHost == host)) {
            QStringList lines;
            for (int n = TextK2First; n <= TextContinue; ++n)
                lines << getText(n);
            const bool yes = m_answers && m_answers->confirmK2Speed(lines.join(QLatin1Char('\n')));
            m_confirmedHost = host;
            if (!yes)
                return false;
            m_speedConfirmed = true;
        }
        m_speedChoiceShown = true;
        return true;
    }

    GatewaySetup setup(m_link);
    setup.setConfig(SetupConfig::fromIni(m_ini));
    setup.setAdapterAddress(settings.adapterAddress);
    if (const std::optional<DeviceSettings> record =
            setup.readDeviceSettings(SetupMethod::Network, host)) {
        m_baud = lineSpeedText(record->lineSpeed);
        describe(record->udp);
        return true;
    }
    if (m_speedConfirmed) {
        m_speedChoiceShown = true;
        return true;
    }
    QStringList lines{getText(TextNoRecord) + QLatin1Char(' ') + settings.typedAddress +
                      QStringLiteral(", ") + getText(TextSpeedUnknown)};
    for (int n = TextUnknownFirst; n <= TextUnknownLast; ++n)
        lines << getText(n);
    lines << getText(TextContinue);
    if (m_answers && m_answers->confirmUnknownSpeed(lines.join(QLatin1Char('\n')))) {
        m_baud = QStringLiteral("300");
        m_speedConfirmed = true;
        m_speedChoiceShown = true;
        return true;
    }
    m_portSettings = getText(TextStoppedNoSpeed) + QLatin1Char(' ') + settings.typedAddress;
    return false;
}

// ---- SearchSend and SearchReceive ------------------------------------------------

void SearchEngine::searchSend(const QByteArray& telegram) {
    if (!m_link.isOpen())
        return;
    m_link.waitBusQuiet(m_activeBusDelay, BusQuietCapMs);
    if (verbose())
        trafficLog().log(telegram, Direction::Sent);
    m_link.clearReceiveBuffers();
    if (m_link.connectionMode() == ConnectionMode::Udp ||
        m_link.connectionMode() == ConnectionMode::Tcp ||
        m_link.connectionMode() == ConnectionMode::Serial)
        (void)m_link.transmit(telegram);
}

QByteArray SearchEngine::searchReceive(int timeoutMs) {
    if (!m_link.isOpen())
        return {};
    const bool complete = m_link.waitUntil(isCompleteLongFrame, timeoutMs);
    m_link.markBusActivity();
    const QByteArray& rx = m_link.rxBuffer();
    if (complete) {
        if (verbose()) {
            trafficLog().note(QStringLiteral("Received %1 byte").arg(rx.size()));
            trafficLog().log(rx, Direction::Received);
        }
        return rx;
    }
    if (verbose()) {
        trafficLog().note(timeoutNote(rx));
        if (!rx.isEmpty())
            trafficLog().log(rx, Direction::Received);
    }
    return {};
}

// ---- Rows ---------------------------------------------------------------------------

int SearchEngine::addRow(const QString& probed) {
    ProbeResult row;
    row.cells[1] = probed;
    m_rows.append(row);
    const int index = int(m_rows.size()) - 1;
    emit rowAdded(index, row);
    return index;
}

void SearchEngine::readData(ProbeResult& row, const QByteArray& reply) {
    if (const std::optional<MeterDataColumns> columns = extractMeterData(reply))
        columns->writeInto(row.cells);
    row.reply = reply;
    ++m_counters.rspUd2Found;
    emit statusChanged(PanelRspUd2, getText(TextDataRead) + QLatin1Char(' ') +
                                        QString::number(m_counters.rspUd2Found));
    row.cells[4] = Ok;
    row.icon = ProbeResult::Correct;
}

// ---- The primary scan -----------------------------------------------------------------

void SearchEngine::scanPrimary(int low, int high) {
    for (int a = low; a <= high && !m_breakFlag; ++a) {
        emit statusChanged(PanelAddress,
                           getText(TextProbing) + QLatin1Char(' ') + QString::number(a));
        const int index = addRow(QString::number(a));
        ProbeResult row = m_rows[index];
        bool ok = true;
        if (m_settings.sndNke) {
            searchSend(buildShortFrame(0x40, uint8_t(a)));
            (void)searchReceive(m_timeouts.sndNke);
            m_activeBusDelay = m_busDelay;
            const QByteArray& rx = m_link.rxBuffer();
            if (rx == SingleE5) {
                row.cells[3] = Ok;
                row.icon = ProbeResult::Correct;
                ++m_counters.sndNkeFound;
            } else if (!rx.isEmpty()) {
                row.cells[3] = getText(TextCollision);
                row.icon = ProbeResult::BadOrColliding;
                ok = false;
                m_activeBusDelay = m_collisionPrimDelay;
            } else {
                row.cells[3] = None;
                row.icon = ProbeResult::NoAnswer;
                ok = false;
            }
            emit statusChanged(PanelSndNke, getText(TextAcknowledged) + QLatin1Char(' ') +
                                                QString::number(m_counters.sndNkeFound));
        }
        emit progressChanged(a + 1);
        if (m_settings.reqUd2 && ok) {
            searchSend(buildShortFrame(0x5B, uint8_t(a)));
            const QByteArray reply = searchReceive(m_timeouts.rspUd2);
            if (reply.size() < 11) {
                if (m_settings.sndNke || !m_link.rxBuffer().isEmpty()) {
                    row.cells[4] = getText(TextCollision);
                    row.icon = ProbeResult::BadOrColliding;
                } else {
                    row.cells[4] = None;
                    row.icon = ProbeResult::NoAnswer;
                }
            } else {
                readData(row, reply);
            }
        }
        m_rows[index] = row;
        emit rowChanged(index, row);
        ++m_counters.numberOfScans;
    }
}

// ---- The secondary search ---------------------------------------------------------------

int SearchEngine::scanSecondary() {
    const QString mask = m_settings.maskId.trimmed().toUpper();
    const qsizetype firstF = mask.indexOf(QLatin1Char('F'));
    const int pointer = firstF < 0 ? 8 : int(std::min<qsizetype>(firstF, 8));
    const int minimum = pointer * SecondaryBandWidth;
    emit progressRangeChanged(minimum, SecondaryProgressMaximum);
    emit progressChanged(minimum);
    if (pointer >= 8) {
        // A complete identification is one selection: probing it ten times
        // would list the same meter ten times.
        probeSelection(mask, 8, 0);
        ++m_counters.numberOfScans;
    } else {
        scanTree(mask, pointer, m_busDelay);
    }
    if (!m_breakFlag)
        emit progressChanged(SecondaryProgressMaximum);
    return minimum;
}

void SearchEngine::scanTree(QString mask, int p, int levelDelay) {
    for (int i = 0; i <= 9 && !m_breakFlag; ++i) {
        mask[p] = QChar(u'0' + i);
        // Below position 7 nothing is left to vary: every digit is fixed.
        if (probeSelection(mask, p, i) && p + 1 < 8) {
            m_activeBusDelay = m_collisionSecDelay;
            scanTree(mask, p + 1, m_collisionSecDelay);
        }
        // Every telegram below a collision waits the collision delay, the
        // first one after the subtree the delay of this level again.
        m_activeBusDelay = levelDelay;
        ++m_counters.numberOfScans;
    }
}

bool SearchEngine::probeSelection(const QString& mask, int p, int digit) {
    emit progressChanged(std::min(p * SecondaryBandWidth + digit + 1, SecondaryProgressMaximum));
    emit statusChanged(PanelAddress, getText(TextProbing) + QLatin1Char(' ') + mask);
    const int index = addRow(mask);
    ProbeResult row = m_rows[index];
    const std::optional<QStringView> fabrication =
        m_settings.useFabrication ? std::optional<QStringView>(m_settings.fabrication)
                                  : std::nullopt;
    searchSend(buildSelectionFrame(mask, m_settings.maskManufacturer, m_settings.maskVersion,
                                   m_settings.maskMedium, fabrication));
    (void)searchReceive(m_timeouts.sndNke);
    const QByteArray rx = m_link.rxBuffer();
    const bool wildcard = mask.contains(QLatin1Char('F'));
    bool descend = false;
    if (rx.isEmpty()) {
        row.cells[3] = None;
        row.icon = ProbeResult::NoAnswer;
    } else if (!wildcard && rx == SingleE5) {
        row.cells[3] = Ok;
        row.icon = ProbeResult::Correct;
        ++m_counters.sndNkeFound;
        emit statusChanged(PanelSndNke, getText(TextSelected) + QLatin1Char(' ') +
                                            QString::number(m_counters.sndNkeFound));
        if (m_settings.secondaryReqUd2) {
            searchSend(buildShortFrame(0x5B, 0xFD));
            const QByteArray reply = searchReceive(m_timeouts.rspUd2);
            if (reply.size() < 11) {
                row.cells[4] = BadData;
                row.icon = ProbeResult::BadOrColliding;
            } else {
                readData(row, reply);
            }
        }
    } else if (wildcard) {
        descend = true;
        if (rx == SingleE5) {
            row.cells[3] = getText(TextCollision) + QLatin1Char('?');
            row.icon = ProbeResult::SingleE5;
        } else {
            row.cells[3] = getText(TextCollision);
            row.icon = ProbeResult::BadOrColliding;
        }
    } else {
        row.cells[3] = BadData;
        row.icon = ProbeResult::NoAnswer;
    }
    m_rows[index] = row;
    emit rowChanged(index, row);
    return descend;
}

void SearchEngine::chooseSpeed(int choice) {
    if (choice < 0 || choice >= SpeedChoiceCount)
        return;
    m_baud = speedChoiceBaud(choice);
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
