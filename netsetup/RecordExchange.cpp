#include "netsetup/RecordExchange.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupTexts.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>

#include <algorithm>

namespace kestrune {

using namespace setuptext;

namespace {

// The console's answer to a whole record write.
constexpr QByteArrayView kWriteAccepted = "0>";

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, 1 << 30));
}

} // namespace

QString exchangeFailureText(ExchangeFailure failure) {
    switch (failure) {
    case ExchangeFailure::None:
        return {};
    case ExchangeFailure::EmptyRecord:
        return getText(TextNothingToWrite);
    case ExchangeFailure::SendFailed:
        return getText(TextSendFailed);
    case ExchangeFailure::NoReply:
        return getText(TextNoReply);
    case ExchangeFailure::ShortReply:
        return getText(TextShortReply);
    case ExchangeFailure::WrongReply:
        return getText(TextWrongReply);
    case ExchangeFailure::NotAcknowledged:
        return getText(TextNotAcknowledged);
    case ExchangeFailure::NoComeback:
        return getText(TextNoComeback);
    case ExchangeFailure::ConsoleNotOpen:
        return getText(TextConsoleNotOpen);
    case ExchangeFailure::ConsoleRejected:
        return getText(TextConsoleRejected);
    }
    return {};
}

RecordExchange::RecordExchange(Link& link, QObject* parent) : QObject(parent), m_link(link) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &RecordExchange::onDatagrams);
    connect(&m_socket, &QUdpSocket::errorOccurred, this, &RecordExchange::onSocketError);
}

// ---- The setup socket ---------------------------------------------------------------

void RecordExchange::openSocket(bool fromAdapter) {
    m_socket.abort();
    m_rx.clear();
    m_datagrams = 0;
    QHostAddress local;
    if (fromAdapter && local.setAddress(m_adapter.trimmed()) &&
        local.protocol() == QAbstractSocket::IPv4Protocol && m_socket.bind(local, 0))
        return;
    // No usable adapter address: the system picks the way.
    m_socket.abort();
    m_socket.bind(QHostAddress::AnyIPv4, 0);
}

void RecordExchange::closeSocket() {
    // Whatever comes later belongs to no exchange.
    m_socket.abort();
}

bool RecordExchange::setDevice(const QString& deviceAddress) {
    QHostAddress device;
    if (!device.setAddress(deviceAddress.trimmed()) ||
        device.protocol() != QAbstractSocket::IPv4Protocol) {
        m_device.clear();
        m_failure = ExchangeFailure::SendFailed;
        reportSendError(QStringLiteral("'%1' is not an IPv4 address").arg(deviceAddress.trimmed()));
        return false;
    }
    m_device = device;
    return true;
}

void RecordExchange::reportSendError(const QString& description) {
    emit messageBox(getText(TextSendFailed) + QStringLiteral("\r\n\r\n'") + description +
                    QLatin1Char('\''));
}

bool RecordExchange::send(const QByteArray& datagram, const QHostAddress& to) {
    m_rx.clear();
    m_datagrams = 0;
    logTraffic(datagram, Direction::Sent);
    m_sending = true;
    const qint64 written = m_socket.writeDatagram(datagram, to, kSetupPort);
    m_sending = false;
    if (written == datagram.size())
        return true;
    m_failure = ExchangeFailure::SendFailed;
    reportSendError(m_socket.errorString());
    return false;
}

void RecordExchange::onDatagrams() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram(64 * 1024);
        if (m_device.isNull() ||
            !d.senderAddress().isEqual(m_device, QHostAddress::TolerantConversion))
            continue; // not from the device we talk to
        m_rx = d.data();
        ++m_datagrams;
        logTraffic(m_rx, Direction::Received);
    }
    m_link.wakeWaiters();
}

void RecordExchange::onSocketError(QAbstractSocket::SocketError) {
    // A datagram the socket refused is the sender's to report.
    if (m_sending)
        return;
    const QString description = m_socket.errorString();
    m_socket.abort();
    emit messageBox(getText(TextSetupSocketError) + QStringLiteral("\r\n\r\n'") + description +
                    QLatin1Char('\''));
    m_link.wakeWaiters();
}

bool RecordExchange::broadcast(const QByteArray& datagram, const QString& broadcastAddress) {
    m_failure = ExchangeFailure::None;
    QHostAddress local;
    if (!local.setAddress(m_adapter.trimmed()) ||
        local.protocol() != QAbstractSocket::IPv4Protocol) {
        m_failure = ExchangeFailure::SendFailed;
        reportSendError(getText(TextNoAdapterChosen));
        return false;
    }
    m_socket.abort();
    if (!m_socket.bind(local, 0)) {
        m_failure = ExchangeFailure::SendFailed;
        reportSendError(m_socket.errorString());
        m_socket.abort();
        return false;
    }
    QHostAddress to;
    if (!to.setAddress(broadcastAddress.trimmed())) {
        m_failure = ExchangeFailure::SendFailed;
        reportSendError(QStringLiteral("'%1' is not an IPv4 address").arg(broadcastAddress));
        closeSocket();
        return false;
    }
    m_device.clear();
    const bool sent = send(datagram, to);
    closeSocket();
    return sent;
}

// ---- Read_Record / Write_Record -------------------------------------------------------

bool RecordExchange::readRecord(SetupRecord& record, SetupMethod method,
                                const QString& deviceAddress, int timeoutMs) {
    m_failure = ExchangeFailure::None;
    return method == SetupMethod::Serial ? readOverConsole(record, timeoutMs)
                                         : readOverNetwork(record, deviceAddress, timeoutMs);
}

bool RecordExchange::writeRecord(const SetupRecord& record, SetupMethod method,
                                 const QString& deviceAddress, int timeoutMs) {
    m_failure = ExchangeFailure::None;
    m_acknowledged = false;
    if (record.isEmpty()) {
        m_failure = ExchangeFailure::EmptyRecord;
        return false;
    }
    return method == SetupMethod::Serial ? writeOverConsole(record, timeoutMs)
                                         : writeOverNetwork(record, deviceAddress, timeoutMs);
}

bool RecordExchange::readOverNetwork(SetupRecord& record, const QString& deviceAddress,
                                     int timeoutMs) {
    if (!setDevice(deviceAddress))
        return false;
    openSocket(false);
    if (!send(record.readRequest(), m_device)) {
        closeSocket();
        return false;
    }
    m_link.waitFor([this] { return m_rx.size() >= SetupRecord::kMinReadAnswerLength; }, timeoutMs);
    const bool ok = record.decodeReadAnswer(m_rx);
    if (!ok) {
        if (m_datagrams == 0)
            m_failure = ExchangeFailure::NoReply;
        else if (m_rx.size() < SetupRecord::kMinReadAnswerLength)
            m_failure = ExchangeFailure::ShortReply;
        else
            m_failure = ExchangeFailure::WrongReply;
    }
    closeSocket();
    return ok;
}

bool RecordExchange::writeOverNetwork(const SetupRecord& record, const QString& deviceAddress,
                                      int timeoutMs) {
    if (!setDevice(deviceAddress))
        return false;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    openSocket(true);
    if (!send(record.writeRequest(), m_device)) {
        closeSocket();
        return false;
    }
    m_link.waitFor([this] { return m_datagrams > 0; }, remainingMs(deadline));
    if (!record.isWriteAck(m_rx)) {
        m_failure = m_datagrams == 0 ? ExchangeFailure::NoReply : ExchangeFailure::NotAcknowledged;
        closeSocket();
        return false;
    }
    m_acknowledged = true;
    // A record 0 that gives the gateway another address brings it back
    // there: that is where it is asked for.
    if (record.recordNumber() == 0 && !isZero(record.ipv4())) {
        const QHostAddress moved(ipv4Text(record.ipv4()));
        if (!moved.isEqual(m_device, QHostAddress::TolerantConversion))
            m_device = moved;
    }
    // The gateway restarts with the record: give it a moment, then ask for
    // record 0 once a second until it answers or the time is up.
    m_link.pause(std::min(RestartPauseMs, remainingMs(deadline)));
    bool back = false;
    while (!back && remainingMs(deadline) > 0) {
        if (!send(recordReadRequest(0), m_device))
            break;
        // Any answer counts, but not a repeated acknowledgement of the write.
        back =
            m_link.waitFor([this, &record] { return m_datagrams > 0 && !record.isWriteAck(m_rx); },
                           std::min(ComebackRoundMs, remainingMs(deadline)));
    }
    if (!back && m_failure == ExchangeFailure::None)
        m_failure = ExchangeFailure::NoComeback;
    closeSocket();
    return back;
}

bool RecordExchange::readOverConsole(SetupRecord& record, int timeoutMs) {
    if (!m_link.isSerialPortOpen()) {
        m_failure = ExchangeFailure::ConsoleNotOpen;
        return false;
    }
    // The console's lines are decoded behind this header, each where the
    // previous one ended.
    m_link.clearSerialRxBuffer();
    m_link.setRxBuffer(recordReadAnswer(record.recordNumber(), {}));
    m_link.serialSend(record.consoleReadCommand());
    logTraffic(record.consoleReadCommand(), Direction::Sent);
    const QByteArray endLine = hexEndLine();
    // A whole record: at least 124 bytes and the closing line (a record of
    // more than 120 bytes is not cut at its 120th byte). Without the closing
    // line, what arrived in time counts.
    m_link.waitFor(
        [this, &endLine] {
            return m_link.rxBuffer().size() >= SetupRecord::kMinReadAnswerLength &&
                   m_link.serialRxBuffer().contains(endLine);
        },
        timeoutMs);
    const QByteArray answer = m_link.rxBuffer();
    if (!m_link.serialRxBuffer().isEmpty())
        logTraffic(m_link.serialRxBuffer(), Direction::Received);
    if (record.decodeReadAnswer(answer))
        return true;
    m_failure =
        m_link.serialRxBuffer().isEmpty() ? ExchangeFailure::NoReply : ExchangeFailure::ShortReply;
    return false;
}

bool RecordExchange::writeOverConsole(const SetupRecord& record, int timeoutMs) {
    if (!m_link.isSerialPortOpen()) {
        m_failure = ExchangeFailure::ConsoleNotOpen;
        return false;
    }
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    m_link.serialSend(record.consoleWriteCommand());
    logTraffic(record.consoleWriteCommand(), Direction::Sent);
    m_link.pause(ConsoleWriteStartMs);
    QList<QByteArray> lines = record.consoleWriteLines();
    const QByteArray closing = lines.takeLast();
    for (const QByteArray& line : std::as_const(lines)) {
        m_link.serialSend(line);
        logTraffic(line, Direction::Sent);
    }
    m_link.clearSerialRxBuffer();
    m_link.serialSend(closing);
    logTraffic(closing, Direction::Sent);
    m_link.pause(ConsoleWriteAnswerMs);
    const QByteArray answer = m_link.serialRxBuffer();
    if (!answer.isEmpty())
        logTraffic(answer, Direction::Received);
    if (answer != kWriteAccepted) {
        m_failure = answer.isEmpty() ? ExchangeFailure::NoReply : ExchangeFailure::ConsoleRejected;
        return false;
    }
    m_acknowledged = true;
    // The gateway restarts with the record; its console comes back asleep.
    m_link.serialSend(QByteArrayLiteral("RS\r"));
    logTraffic(QByteArrayLiteral("RS\r"), Direction::Sent);
    const bool back = m_link.waitForConsolePrompt(remainingMs(deadline), m_consoleHeader);
    m_link.serialSend(QByteArrayLiteral("QU\r"));
    logTraffic(QByteArrayLiteral("QU\r"), Direction::Sent);
    if (!back)
        m_failure = ExchangeFailure::NoComeback;
    return back;
}

} // namespace kestrune
