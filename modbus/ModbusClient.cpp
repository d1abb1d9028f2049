#include "modbus/ModbusClient.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"

namespace kestrune::modbus {

namespace {

// Language texts of the read.
constexpr int TextLinkLost = 1028;
constexpr int TextBadSlaveAddress = 1029;
constexpr int TextBadFirstRegister = 1030;
constexpr int TextBadCount = 1031;
constexpr int TextBadFunction = 1032;

// Sets a flag for the lifetime of a scope.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

} // namespace

QString parameterProblem(const ReadParameters& p) {
    if (p.unit < 0 || p.unit > 255)
        return getText(TextBadSlaveAddress);
    if (p.function != ReadHoldingRegisters && p.function != ReadInputRegisters)
        return getText(TextBadFunction);
    if (p.first < 0 || p.first > 0xFFFF)
        return getText(TextBadFirstRegister);
    if (p.count < 0 || p.count > MaxRegisterCount)
        return getText(TextBadCount);
    return {};
}

QString outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::NotOpen:
        return QStringLiteral("not-open");
    case Outcome::Busy:
        return QStringLiteral("busy");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Ok:
        return QStringLiteral("ok");
    case Outcome::Exception:
        return QStringLiteral("exception");
    case Outcome::Timeout:
        return QStringLiteral("timeout");
    case Outcome::LinkLost:
        return QStringLiteral("link-lost");
    case Outcome::WrongTransactionId:
        return QStringLiteral("wrong-transaction-id");
    case Outcome::BadCrc:
        return QStringLiteral("bad-crc");
    case Outcome::LibraryFailed:
        return QStringLiteral("library-failed");
    }
    return {};
}

ModbusClient::ModbusClient(Link& link, TransactionCounter& counter)
    : m_link(link), m_counter(counter) {}

ReadResult ModbusClient::read(const ReadParameters& parameters) {
    ReadResult r;
    r.framing = parameters.framing;
    if (m_busy || m_link.isWaiting()) {
        r.outcome = Outcome::Busy;
        return r;
    }
    if (!m_link.isOpen())
        return r;
    if (const QString problem = parameterProblem(parameters); !problem.isEmpty()) {
        r.outcome = Outcome::Refused;
        r.text = problem;
        return r;
    }
    BusyScope busy(m_busy);
    r.request.unit = uint8_t(parameters.unit);
    r.request.function = uint8_t(parameters.function);
    r.request.first = uint16_t(parameters.first);
    r.request.count = uint16_t(parameters.count);
    const int count = int(parameters.count);
    const Framing framing = parameters.framing;

    if (framing == Framing::Tcp) {
        r.transactionId = m_counter.next();
        r.sent = tcpRequest(r.request, r.transactionId);
    } else if (QString error; !rtuRequest(r.request, r.sent, &error)) {
        r.outcome = Outcome::Refused;
        r.text = error;
        logNote(error);
        return r;
    }

    m_link.sendBytes(r.sent);
    const bool ended = m_link.waitUntil(
        [framing, count](const QByteArray& rx) {
            return replyState(rx, framing, count) != ReplyState::Waiting;
        },
        m_link.busTimeout());
    r.reply = m_link.rxBuffer();
    TrafficLog& log = trafficLog();

    if (!ended) {
        log.countFailure();
        if (!m_link.isOpen()) {
            // The link has logged why it closed.
            r.outcome = Outcome::LinkLost;
            r.text = getText(TextLinkLost) + QLatin1Char(' ') + m_link.connectionError();
        } else {
            r.outcome = Outcome::Timeout;
            r.text = timeoutText(r.reply.size());
            logNote(r.text);
        }
        if (!r.reply.isEmpty())
            logTraffic(r.reply, Direction::Received);
        return r;
    }

    m_link.markBusActivity();
    logTraffic(r.reply, Direction::Received);
    r.exchanged = true;
    if (replyState(r.reply, framing, count) == ReplyState::Exception) {
        r.outcome = Outcome::Exception;
        r.exceptionCode = exceptionCode(r.reply, framing);
        r.text = exceptionText(r.exceptionCode);
        r.tone = Tone::DeviceError;
        logNote(r.text);
        log.countFailure();
    } else {
        r.outcome = Outcome::Ok;
        r.text = okText();
        r.tone = Tone::Success;
        log.countResponse();
    }

    CheckResult check = checkReply(r.reply, framing, r.transactionId);
    switch (check.verdict) {
    case CheckVerdict::Ok:
        r.registersValid = true;
        r.registers = std::move(check.registers);
        break;
    case CheckVerdict::WrongTransactionId:
        r.outcome = Outcome::WrongTransactionId;
        r.text = wrongTransactionIdText();
        r.tone = Tone::DeviceError;
        logNote(r.text);
        break;
    case CheckVerdict::BadCrc:
        r.outcome = Outcome::BadCrc;
        r.text = badCrcText();
        r.tone = Tone::DeviceError;
        logNote(r.text);
        break;
    case CheckVerdict::LibraryFailed:
        r.outcome = Outcome::LibraryFailed;
        r.text = check.error;
        r.tone = Tone::Failure;
        logNote(r.text);
        break;
    }
    return r;
}

} // namespace kestrune::modbus
