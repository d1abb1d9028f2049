#include "channel/Link.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/Settings.h"
#include "base/TextUtil.h"
#include "base/Tick.h"
#include "channel/ReceiveRules.h"
#include "channel/TrafficLog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

#include <sys/socket.h>

namespace kestrune {

namespace {

constexpr const char* BaudList = "300;600;1200;2400;4800;9600;19200";
constexpr const char* DataBitsList = "7;8";
constexpr const char* StopBitsList = "1;2";
constexpr const char* ParityList = "N;O;E;M;S";

int clampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

QString dataBitsText(QSerialPort::DataBits bits) {
    return QString::number(static_cast<int>(bits));
}

QString parityText(QSerialPort::Parity parity) {
    LineSettings s;
    s.parity = parity;
    return lineSettingsText(s).section(QLatin1Char(','), 1, 1);
}

QString stopBitsText(QSerialPort::StopBits bits) {
    LineSettings s;
    s.stopBits = bits;
    return lineSettingsText(s).section(QLatin1Char(','), 3, 3);
}

} // namespace

// ---- Settings -------------------------------------------------------------------

QString serialSettingsText(int task, const QString& baud, const QString& dataBits,
                           const QString& stopBits, const QString& parity) {
    if (task == 5 || task == 6)
        return baud + QLatin1Char(',') + parity + QLatin1Char(',') + dataBits + QLatin1Char(',') +
               stopBits;
    // M-Bus always runs 8 data bits, even parity, 1 stop bit.
    return baud + QStringLiteral(",E,8,1");
}

LinkSettings storedLinkSettings(int task) {
    LinkSettings s;
    const auto position = [task](const char* key, const char* defaultValue) {
        return clampToInt(settings::getNumber(settings::perTask(QLatin1String(key), task),
                                              QLatin1String(defaultValue)));
    };
    if (settings::getNumber(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0")) != 0)
        s.mode = ConnectionMode::Serial;
    else if (settings::getNumber(QStringLiteral("UDPorTCP"), QStringLiteral("1")) != 0)
        s.mode = ConnectionMode::Udp;
    else
        s.mode = ConnectionMode::Tcp;
    s.host = settings::get(QStringLiteral("IPAddress")).trimmed();
    s.port = static_cast<quint16>(std::clamp<int64_t>(
        settings::getNumber(QStringLiteral("TCPPort"), QStringLiteral("8001")), 0, 65535));
    // The connection page stores port and speed before any task page opens
    // the link; without them, COM1 at the usual M-Bus speed.
    s.serialPortIndex = position("SerialPort", "0");
    const QString baud =
        listItem(QLatin1String(BaudList), position("Combo_EnterIPAddress_BaudRate", "3"));
    const QString data = listItem(QLatin1String(DataBitsList), position("SerialDatabits", "1"));
    const QString stop = listItem(QLatin1String(StopBitsList), position("SerialStopbits", "0"));
    const QString parity = listItem(QLatin1String(ParityList), position("SerialParity", "0"));
    s.lineSettings = serialSettingsText(task, baud, data, stop, parity);
    return s;
}

QString timeoutSectionForTask(int task) {
    if (task == 5)
        return QStringLiteral("ModBus");
    if (task == 6)
        return QStringLiteral("MBusASCII");
    return QStringLiteral("IP");
}

// ---- Link -----------------------------------------------------------------------

Link::Link(QObject* parent) : QObject(parent) {
    connect(&m_udp, &QUdpSocket::readyRead, this, &Link::onSocketData);
    connect(&m_udp, &QUdpSocket::errorOccurred, this, &Link::onUdpError);
    connect(&m_tcp, &QTcpSocket::readyRead, this, &Link::onSocketData);
    connect(&m_tcp, &QTcpSocket::errorOccurred, this, &Link::onTcpError);
    connect(&m_tcp, &QTcpSocket::disconnected, this, &Link::onTcpDisconnected);
    connect(&m_tcp, &QTcpSocket::connected, this, &Link::wakeWaiters);
    connect(&m_serial, &QSerialPort::readyRead, this, &Link::onSerialData);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &Link::onSerialError);
}

Link::~Link() {
    // The waits hold pointers to their own loops only; make sure none is
    // left to wake.
    m_waiters.clear();
    m_open = false;
    m_tcp.abort();
    m_udp.abort();
    if (m_serial.isOpen())
        m_serial.close();
}

void Link::markBusActivity() {
    m_lastBusActivity = tickMs();
}

void Link::loadTimeouts(const QString& section) {
    const IniFile& ini = programIni();
    m_busDelay =
        clampToInt(ini.readNumber(section, QStringLiteral("BusDelay"), QStringLiteral("50")));
    m_busTimeout =
        clampToInt(ini.readNumber(section, QStringLiteral("BusTimeout"), QStringLiteral("3000")));
    m_openTimeout =
        clampToInt(ini.readNumber(section, QStringLiteral("OpenTimeout"), QStringLiteral("5000")));
}

int Link::selectedTask() const {
    if (m_selectedTask >= 0)
        return m_selectedTask;
    return clampToInt(
        settings::getNumber(QStringLiteral("Option_SelectWhatToDo"), QStringLiteral("0")));
}

void Link::requestAbort() {
    m_abortRequested = true;
    wakeWaiters();
}

// ---- Waiting ----------------------------------------------------------------------

void Link::wakeWaiters() {
    // Quitting an outer loop while an inner one runs is fine: the outer one
    // returns once the inner one has.
    for (QEventLoop* loop : m_waiters)
        loop->quit();
}

void Link::sleepUntilWoken(const QDeadlineTimer& deadline) {
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<qint64>(remaining, std::numeric_limits<int>::max())));
    m_waiters.push_back(&loop);
    loop.exec();
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), &loop), m_waiters.end());
}

bool Link::waitFor(const std::function<bool()>& done, int timeoutMs) {
    const QDeadlineTimer deadline(std::max(timeoutMs, 0), Qt::PreciseTimer);
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired() || deadline.remainingTime() <= 0)
            return false;
        sleepUntilWoken(deadline);
    }
}

void Link::pause(int ms) {
    waitFor([] { return false; }, ms);
}

bool Link::waitUntil(const std::function<bool(const QByteArray& rx)>& complete, int timeoutMs) {
    if (!m_open)
        return false;
    bool held = false;
    waitFor(
        [&] {
            if (m_mode == ConnectionMode::Serial)
                m_rx = m_serialRx;
            held = complete(m_rx);
            return held || !m_open;
        },
        timeoutMs);
    return held;
}

// ---- Opening and closing ----------------------------------------------------------

bool Link::openConnection() {
    if (m_open)
        return true;
    return openConnection(storedLinkSettings(selectedTask()));
}

bool Link::openConnection(const LinkSettings& settings) {
    if (m_open)
        return true;
    m_connectionError.clear();
    m_mode = settings.mode;
    switch (settings.mode) {
    case ConnectionMode::Serial: {
        const QString path = settings.serialDevice.isEmpty()
                                 ? serialPortPath(settings.serialPortIndex + 1)
                                 : settings.serialDevice;
        m_open = openSerialDevice(path, settings.lineSettings);
        break;
    }
    case ConnectionMode::Udp:
    case ConnectionMode::Tcp:
        m_open = openNetwork(settings);
        break;
    case ConnectionMode::None:
        m_open = false;
        break;
    }
    return m_open;
}

std::optional<QHostAddress> Link::resolveHost(const QString& host) {
    QHostAddress literal;
    if (literal.setAddress(host))
        return literal;
    if (host.isEmpty()) {
        m_udpResolveError = QStringLiteral("No host address");
        return std::nullopt;
    }
    // A host name: look it up without blocking the user interface.
    struct Lookup {
        bool done = false;
        QHostInfo info;
    };
    auto lookup = std::make_shared<Lookup>();
    QObject context;
    QHostInfo::lookupHost(host, &context, [this, lookup](const QHostInfo& info) {
        lookup->info = info;
        lookup->done = true;
        wakeWaiters();
    });
    waitFor([&lookup] { return lookup->done; }, m_openTimeout);
    if (!lookup->done) {
        m_udpResolveError = QStringLiteral("Host lookup timed out");
        return std::nullopt;
    }
    const QList<QHostAddress> addresses = lookup->info.addresses();
    for (const QHostAddress& a : addresses)
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    if (!addresses.isEmpty())
        return addresses.first();
    m_udpResolveError = lookup->info.errorString();
    return std::nullopt;
}

bool Link::openNetwork(const LinkSettings& settings) {
    m_tcp.abort();
    m_udp.abort();
    m_rx.clear();
    if (settings.mode == ConnectionMode::Udp) {
        // Opening UDP sends nothing: a wrong address shows only as time-outs.
        m_udpPort = settings.port;
        m_udpResolveError.clear();
        const std::optional<QHostAddress> remote = resolveHost(settings.host.trimmed());
        m_udpRemote = remote.value_or(QHostAddress());
        const bool v6 = remote && remote->protocol() == QAbstractSocket::IPv6Protocol;
        if (!m_udp.bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, 0)) {
            m_connectionError = m_udp.errorString();
            return false;
        }
        return true;
    }

    m_tcp.connectToHost(settings.host.trimmed(), settings.port);
    waitFor(
        [this] {
            return m_tcp.state() == QAbstractSocket::ConnectedState ||
                   m_tcp.state() == QAbstractSocket::UnconnectedState ||
                   !m_connectionError.isEmpty();
        },
        m_openTimeout);
    if (m_tcp.state() == QAbstractSocket::ConnectedState) {
        // Telegrams are small and each one waits for its answer: send
        // every one at once instead of collecting bytes.
        m_tcp.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }
    if (m_connectionError.isEmpty())
        m_connectionError = QStringLiteral("Connection timed out");
    m_tcp.abort();
    return false;
}

void Link::closeConnection() {
    switch (m_mode) {
    case ConnectionMode::Serial:
        closeSerialPort();
        break;
    case ConnectionMode::Tcp:
        m_open = false; // before abort(): its disconnected signal is no peer close
        m_tcp.abort();
        break;
    case ConnectionMode::Udp:
        m_udp.abort();
        break;
    case ConnectionMode::None:
        break;
    }
    m_open = false;
    wakeWaiters();
}

void Link::loseConnection(const QString& reason) {
    m_connectionError = reason;
    if (!m_open)
        return;
    m_open = false;
    logNote(QStringLiteral("Connection lost: ") + reason);
    emit connectionLost(reason);
}

// ---- Sending ----------------------------------------------------------------------

void Link::waitBusQuiet(int delayMs, int capMs) {
    const int64_t elapsed = static_cast<uint32_t>(tickMs() - m_lastBusActivity);
    if (elapsed >= delayMs)
        return;
    pause(clampToInt(std::min<int64_t>(delayMs - elapsed, capMs)));
}

void Link::clearReceiveBuffers() {
    discardPendingInput();
    m_rx.clear();
    m_serialRx.clear();
}

void Link::discardPendingInput() {
    // A reply that came after its time-out may still sit in the operating
    // system (nothing read it yet). Left there, it would be read in after
    // the next transmission and taken as that one's answer.
    switch (m_mode) {
    case ConnectionMode::Udp:
        for (int n = 0; n < DiscardDatagramLimit && m_udp.hasPendingDatagrams(); ++n)
            m_udp.receiveDatagram();
        break;
    case ConnectionMode::Tcp: {
        m_tcp.readAll();
        const qintptr fd = m_tcp.socketDescriptor();
        if (fd < 0 || m_tcp.state() != QAbstractSocket::ConnectedState)
            break;
        // What the kernel holds, read past the socket's own buffer (which
        // is empty now). A peer close (0) or nothing more (EAGAIN) ends it;
        // the socket notices a close on its own.
        char scrap[4096];
        for (qsizetype total = 0; total < DiscardByteLimit;) {
            const ssize_t n = ::recv(static_cast<int>(fd), scrap, sizeof scrap, MSG_DONTWAIT);
            if (n <= 0)
                break;
            total += n;
        }
        break;
    }
    case ConnectionMode::Serial:
        if (m_serial.isOpen())
            m_serial.clear(QSerialPort::Input); // our buffer and the driver's
        break;
    case ConnectionMode::None:
        break;
    }
}

void Link::sendBytes(const QByteArray& bytes) {
    if (!m_open)
        return;
    waitBusQuiet(m_busDelay);
    if (!m_open) // the peer went away during the delay
        return;
    logTraffic(bytes, Direction::Sent);
    clearReceiveBuffers();
    transmit(bytes);
}

void Link::reportSendError(const QString& description) {
    emit sendFailed(getText(154) + QStringLiteral("\r\n\r\n'") + description + QLatin1Char('\''));
}

bool Link::transmit(const QByteArray& bytes) {
    switch (m_mode) {
    case ConnectionMode::Serial:
        if (!m_serial.isOpen())
            return false;
        serialSend(bytes);
        return true;
    case ConnectionMode::Udp: {
        if (m_udpRemote.isNull()) {
            reportSendError(m_udpResolveError.isEmpty() ? QStringLiteral("Host not found")
                                                        : m_udpResolveError);
            return false;
        }
        m_inUdpWrite = true;
        const qint64 written = m_udp.writeDatagram(bytes, m_udpRemote, m_udpPort);
        m_inUdpWrite = false;
        if (written != bytes.size()) {
            reportSendError(m_udp.errorString());
            return false;
        }
        return true;
    }
    case ConnectionMode::Tcp: {
        const qint64 written = m_tcp.write(bytes);
        if (written != bytes.size()) {
            reportSendError(m_tcp.errorString());
            return false;
        }
        m_tcp.flush();
        return true;
    }
    case ConnectionMode::None:
        break;
    }
    return false;
}

// ---- Receiving --------------------------------------------------------------------

QByteArray Link::receiveMBusFrame(int timeoutMs) {
    if (!m_open)
        return {};
    int announcedLength = 0;
    const bool complete = waitUntil(
        [&announcedLength](const QByteArray& rx) {
            return receive::isCompleteMBusReply(rx, announcedLength);
        },
        timeoutMs);
    if (complete) {
        markBusActivity();
        logTraffic(m_rx, Direction::Received);
        trafficLog().countResponse();
        return m_rx;
    }
    // Also when the link closed during the wait: its "Connection lost" note
    // says why, this one that the exchange got no reply.
    trafficLog().countFailure();
    logNote(receive::mbusTimeoutNote(m_rx.size(), announcedLength));
    if (!m_rx.isEmpty())
        logTraffic(m_rx, Direction::Received);
    return {};
}

void Link::onSocketData() {
    if (m_mode == ConnectionMode::Udp) {
        // Every datagram on the socket counts, from whichever sender, as the
        // gateway link always did: the buffer is emptied by every send and
        // bounded, so a stray datagram can at worst spoil one exchange.
        while (m_udp.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = m_udp.receiveDatagram();
            m_rx.append(datagram.data());
        }
    } else if (m_mode == ConnectionMode::Tcp) {
        m_rx.append(m_tcp.readAll());
    } else {
        // A socket left over from an earlier mode: drain and forget.
        while (m_udp.hasPendingDatagrams())
            m_udp.receiveDatagram();
        m_tcp.readAll();
        return;
    }
    if (m_rx.size() > SocketBufferLimit)
        m_rx.remove(0, m_rx.size() - SocketBufferLimit);
    wakeWaiters();
}

void Link::onTcpError(QAbstractSocket::SocketError) {
    if (m_mode != ConnectionMode::Tcp)
        return;
    const QString reason = m_tcp.errorString();
    loseConnection(reason);
    m_tcp.abort();
    wakeWaiters();
}

void Link::onTcpDisconnected() {
    if (m_mode != ConnectionMode::Tcp || !m_open)
        return;
    loseConnection(QStringLiteral("The remote host closed the connection"));
    wakeWaiters();
}

void Link::onUdpError(QAbstractSocket::SocketError) {
    // A datagram the socket refused is the sender's to report.
    if (m_inUdpWrite || m_mode != ConnectionMode::Udp)
        return;
    loseConnection(m_udp.errorString());
    m_udp.abort();
    wakeWaiters();
}

// ---- The serial port -----------------------------------------------------------

bool Link::openSerialPort(int index, const QString& settings) {
    return openSerialDevice(serialPortPath(index + 1), settings);
}

void Link::applyLineSetting(const QString& what, const QString& wanted,
                            const std::function<bool()>& set,
                            const std::function<QString()>& actual) {
    m_serial.clearError();
    const bool ok = set();
    if (!ok || m_serial.error() == QSerialPort::UnsupportedOperationError)
        logNote(QStringLiteral("Line setting ") + what + QLatin1Char(' ') + wanted +
                QStringLiteral(" not supported by ") + m_serialPath + QStringLiteral("; using ") +
                actual());
    m_serial.clearError();
}

bool Link::openSerialDevice(const QString& path, const QString& settings) {
    const std::optional<LineSettings> line = parseLineSettings(settings);
    if (!line) {
        m_connectionError =
            QStringLiteral("Invalid line settings \"") + settings + QLatin1Char('"');
        return false;
    }
    if (m_serial.isOpen())
        m_serial.close();
    m_lineAsked.clear();
    m_lineInUse.clear();
    m_openingSerial = true;
    m_serialPath = path;
    m_serial.setPortName(path);
    if (!m_serial.open(QIODevice::ReadWrite)) {
        m_connectionError = path + QStringLiteral(": ") + m_serial.errorString();
        // Refused for want of permission: say how to get it.
        if (m_serial.error() == QSerialPort::PermissionError) {
            const QString advice = serialAccessAdvice(path);
            if (!advice.isEmpty())
                m_connectionError += QStringLiteral(". ") + advice;
        }
        m_serial.clearError();
        m_openingSerial = false;
        return false;
    }
    // Settings are applied to the open device one by one, so that one the
    // device cannot carry (parity or 7 data bits on a pseudo-terminal) is
    // noted and the others still apply.
    const LineSettings s = *line;
    applyLineSetting(
        QStringLiteral("speed"), QString::number(s.baudRate),
        [this, &s] { return m_serial.setBaudRate(s.baudRate); },
        [this] { return QString::number(m_serial.baudRate()); });
    applyLineSetting(
        QStringLiteral("parity"), parityText(s.parity),
        [this, &s] { return m_serial.setParity(s.parity); },
        [this] { return parityText(m_serial.parity()); });
    applyLineSetting(
        QStringLiteral("data bits"), dataBitsText(s.dataBits),
        [this, &s] { return m_serial.setDataBits(s.dataBits); },
        [this] { return dataBitsText(m_serial.dataBits()); });
    applyLineSetting(
        QStringLiteral("stop bits"), stopBitsText(s.stopBits),
        [this, &s] { return m_serial.setStopBits(s.stopBits); },
        [this] { return stopBitsText(m_serial.stopBits()); });
    applyLineSetting(
        QStringLiteral("handshaking"), QStringLiteral("none"),
        [this] { return m_serial.setFlowControl(QSerialPort::NoFlowControl); },
        [] { return QStringLiteral("the device's own"); });
    m_lineAsked = lineSettingsText(s);
    m_lineInUse = lineSettingsText(
        {m_serial.baudRate(), m_serial.parity(), m_serial.dataBits(), m_serial.stopBits()});
    m_serialLine.clear();
    m_serialLineOverflow = false;
    m_lineCounters = readLineCounters(static_cast<int>(m_serial.handle()));
    // Whatever the device sent before we opened it (a late reply to an
    // earlier program's request) is no answer to anything we will send.
    m_serial.clear(QSerialPort::Input);
    m_openingSerial = false;
    return m_serial.isOpen();
}

QString Link::lineSettingsNote() const {
    if (!m_serial.isOpen() || !lineSettingsReplaced())
        return {};
    return getText(396).arg(m_lineAsked, m_lineInUse);
}

void Link::serialSend(const QByteArray& bytes) {
    if (!m_serial.isOpen() || bytes.isEmpty())
        return;
    checkLineCounters();
    m_serialLine.clear();
    m_serialLineOverflow = false;
    if (m_serial.write(bytes) != bytes.size()) {
        logNote(QStringLiteral("Serial write failed: ") + m_serial.errorString());
        m_serial.clearError();
        return;
    }
    m_serial.flush();
}

void Link::closeSerialPort() {
    if (m_serial.isOpen())
        m_serial.close();
    m_lineCounters.reset();
    // A serial link without its port is no link.
    if (m_mode == ConnectionMode::Serial && m_open) {
        m_open = false;
        wakeWaiters();
    }
}

void Link::checkLineCounters() {
    if (!m_lineCounters || !m_serial.isOpen())
        return;
    const std::optional<LineCounters> now = readLineCounters(static_cast<int>(m_serial.handle()));
    if (!now)
        return;
    for (int code : lineEventCodes(*m_lineCounters, *now))
        logNote(serialEventNote(code));
    m_lineCounters = now;
}

void Link::onSerialData() {
    const QByteArray fresh = m_serial.readAll();
    if (fresh.isEmpty())
        return;
    checkLineCounters();
    // Hexadecimal record lines of the console: carriage returns dropped,
    // every complete line offered to the record decoder.
    for (const char c : fresh) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!m_serialLineOverflow)
                receive::decodeHexRecordLine(m_serialLine, m_rx);
            m_serialLine.clear();
            m_serialLineOverflow = false;
            continue;
        }
        if (m_serialLineOverflow)
            continue;
        m_serialLine.append(c);
        if (m_serialLine.size() > SerialLineLimit) {
            // Far too long for a record: skip the rest of this line.
            m_serialLine.clear();
            m_serialLineOverflow = true;
        }
    }
    // Every byte since the last transmission is kept, however many arrive.
    m_serialRx.append(fresh);
    if (m_serialRx.size() > SerialBufferLimit)
        m_serialRx.remove(0, m_serialRx.size() - SerialBufferLimit);
    wakeWaiters();
}

void Link::onSerialError(QSerialPort::SerialPortError error) {
    if (m_openingSerial || error == QSerialPort::NoError)
        return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError: {
        // The device went away (unplugged adapter, closed pseudo-terminal).
        const QString reason = m_serialPath + QStringLiteral(": ") + m_serial.errorString();
        m_serial.clearError();
        if (m_mode == ConnectionMode::Serial && m_open) {
            loseConnection(reason);
        } else {
            m_connectionError = reason;
            logNote(QStringLiteral("Serial device lost: ") + reason);
        }
        closeSerialPort();
        wakeWaiters();
        break;
    }
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        logNote(QStringLiteral("Serial port error: ") + m_serial.errorString());
        m_serial.clearError();
        break;
    default:
        break;
    }
}

bool Link::waitForConsolePrompt(int limitMs,
                                const std::function<void(const QString& header)>& progress) {
    m_abortRequested = false;
    m_serialRx.clear();
    int dots = 0;
    int64_t elapsed = 0;
    const auto promptSeen = [this] { return receive::containsConsolePrompt(m_serialRx); };
    while (!promptSeen() && !m_abortRequested) {
        if (!m_serial.isOpen()) {
            // Nothing can answer on a port that is not there.
            m_abortRequested = true;
            break;
        }
        serialSend(QByteArrayLiteral("\rzzz"));
        if (progress)
            progress(getText(153) + QString(dots, QLatin1Char('.')));
        waitFor([&] { return promptSeen() || m_abortRequested || !m_serial.isOpen(); },
                ConsoleRoundMs);
        dots = (dots + 1) % 8;
        // A prompt that came in the round in which the limit ran out is too
        // late: the caller has given up on the console by then.
        if (limitMs >= 0) {
            if (elapsed > limitMs)
                m_abortRequested = true;
            elapsed += ConsoleRoundMs;
        }
    }
    if (m_abortRequested)
        return false;
    pause(ConsoleSettleMs);
    return true;
}

// ---- The program's link -----------------------------------------------------------

Link& link() {
    static QPointer<Link> instance;
    if (!instance)
        instance = new Link(QCoreApplication::instance());
    return *instance;
}

} // namespace kestrune
