#include "modbus/ModbusFrame.h"

#include "zarvek/loader/SupportLibrary.h"

#include <iterator>

namespace kestrune::modbus {

namespace {

void appendWord(QByteArray& bytes, uint16_t word) {
    bytes.append(char(word >> 8));
    bytes.append(char(word & 0xFF));
}

// Header, function code and byte count in front of the register bytes.
constexpr qsizetype TcpDataOffset = 9;
// Address, function code and byte count in front of them.
constexpr qsizetype RtuDataOffset = 3;
constexpr qsizetype CrcSize = 2;

} // namespace

QByteArray requestPdu(const ReadRequest& request) {
    QByteArray pdu;
    pdu.reserve(6);
    pdu.append(char(request.unit));
    pdu.append(char(request.function));
    appendWord(pdu, request.first);
    appendWord(pdu, request.count);
    return pdu;
}

QByteArray tcpRequest(const ReadRequest& request, uint16_t transactionId) {
    const QByteArray pdu = requestPdu(request);
    QByteArray adu;
    adu.reserve(6 + pdu.size());
    appendWord(adu, transactionId);
    appendWord(adu, 0);
    appendWord(adu, uint16_t(pdu.size()));
    return adu + pdu;
}

bool rtuRequest(const ReadRequest& request, QByteArray& out, QString* error) {
    const QByteArray pdu = requestPdu(request);
    uint16_t crc = 0;
    if (!zarvek::crc16(pdu, crc, error))
        return false;
    out = pdu;
    out.append(char(crc & 0xFF));
    out.append(char(crc >> 8));
    return true;
}

qsizetype expectedReplyLength(Framing framing, int count) {
    return 2 * qsizetype(count) + 3 + (framing == Framing::Tcp ? 6 : 2);
}

qsizetype exceptionReplyLength(Framing framing) {
    return framing == Framing::Tcp ? 9 : 5;
}

qsizetype functionByteIndex(Framing framing) {
    return framing == Framing::Tcp ? 7 : 1;
}

ReplyState replyState(QByteArrayView rx, Framing framing, int count) {
    if (rx.size() == exceptionReplyLength(framing) &&
        (uint8_t(rx[functionByteIndex(framing)]) & 0x80) != 0)
        return ReplyState::Exception;
    if (rx.size() >= expectedReplyLength(framing, count))
        return ReplyState::Complete;
    return ReplyState::Waiting;
}

int exceptionCode(QByteArrayView rx, Framing framing) {
    const qsizetype at = functionByteIndex(framing) + 1;
    return at < rx.size() ? uint8_t(rx[at]) : 0;
}

QString exceptionText(int code) {
    static const char* const texts[] = {
        " Illegal function",
        " Illegal data address",
        " Illegal data value",
        " Slave device or server failure",
        " Acknowledge",
        " Slave device or server is busy",
        " Negative acknowledge",
        " Memory parity error",
        " Not defined",
        " Gateway path unavailable",
        " Target device failed to respond",
    };
    if (code < 1 || code > int(std::size(texts)))
        return QStringLiteral("Unknown Modbuserror");
    return QStringLiteral("Modbuserror %1:")
               .arg(QString::number(code, 16).toUpper(), 2, QLatin1Char('0')) +
           QLatin1String(texts[code - 1]);
}

QString timeoutText(qsizetype received) {
    return QStringLiteral("BusTimeout (Received %1 bytes)").arg(received);
}

QString wrongTransactionIdText() {
    return QStringLiteral("Wrong Transaction identifier");
}

QString badCrcText() {
    return QStringLiteral("Bad Crc");
}

QString okText() {
    return QStringLiteral("Ok");
}

uint16_t TransactionCounter::next() {
    ++m_value;
    if (m_value > Wrap)
        m_value = 0;
    return uint16_t(m_value);
}

TransactionCounter& programTransactionCounter() {
    static TransactionCounter counter;
    return counter;
}

CheckResult checkReply(QByteArrayView reply, Framing framing, uint16_t sentTransactionId) {
    CheckResult result;
    const qsizetype size = reply.size();
    if (framing == Framing::Tcp) {
        const bool sameId = size >= 2 && ((uint16_t(uint8_t(reply[0])) << 8) | uint8_t(reply[1])) ==
                                             sentTransactionId;
        if (!sameId) {
            result.verdict = CheckVerdict::WrongTransactionId;
            return result;
        }
        if (size > TcpDataOffset)
            result.registers = reply.sliced(TcpDataOffset).toByteArray();
        return result;
    }
    // An RTU frame holds at least an address, a function code and its CRC.
    if (size < 4) {
        result.verdict = CheckVerdict::BadCrc;
        return result;
    }
    uint16_t crc = 0;
    if (!zarvek::crc16(reply.first(size - CrcSize).toByteArray(), crc, &result.error)) {
        result.verdict = CheckVerdict::LibraryFailed;
        return result;
    }
    if (uint8_t(reply[size - 2]) != (crc & 0xFF) || uint8_t(reply[size - 1]) != (crc >> 8)) {
        result.verdict = CheckVerdict::BadCrc;
        return result;
    }
    if (size > RtuDataOffset + CrcSize)
        result.registers =
            reply.sliced(RtuDataOffset, size - RtuDataOffset - CrcSize).toByteArray();
    return result;
}

} // namespace kestrune::modbus
