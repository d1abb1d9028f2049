#include "SimModbusSlave.h"

#include "SimRegisterMap.h"

#include <zarvek/Zarvek.h>

#include <algorithm>

namespace kestrune::sim {

namespace {

uint16_t word(const QByteArray& b, qsizetype at) {
    return uint16_t((uint8_t(b[at]) << 8) | uint8_t(b[at + 1]));
}

void appendWord(QByteArray& b, uint16_t w) {
    b.append(char(w >> 8));
    b.append(char(w & 0xFF));
}

} // namespace

QByteArray withModbusCrc(const QByteArray& frame) {
    const uint32_t crc =
        CRC16(reinterpret_cast<const uint8_t*>(frame.constData()), uint32_t(frame.size()));
    QByteArray out = frame;
    out.append(char(crc & 0xFF));
    out.append(char((crc >> 8) & 0xFF));
    return out;
}

bool modbusCrcValid(const QByteArray& frame) {
    if (frame.size() < 3 || frame.size() > 0xFFFF)
        return false;
    return withModbusCrc(frame.left(frame.size() - 2)) == frame;
}

SimModbusSlave::SimModbusSlave(uint8_t address) : m_address(address) {}

void SimModbusSlave::setBlock(ModbusTable which, uint16_t start, const QList<uint16_t>& values) {
    table(which).clear();
    writeRegisters(which, start, values);
}

int SimModbusSlave::writeRegisters(ModbusTable which, uint16_t start,
                                   const QList<uint16_t>& values) {
    Table& t = table(which);
    // Nothing lies beyond register 65535.
    const int n = int(std::min<qsizetype>(values.size(), 0x10000 - start));
    for (int i = 0; i < n; ++i)
        t[uint16_t(start + i)] = values[i];
    return n;
}

bool SimModbusSlave::holds(ModbusTable which, uint32_t first, uint32_t count) const {
    if (count == 0 || first + count > 0x10000)
        return false;
    const Table& t = table(which);
    auto it = t.find(uint16_t(first));
    for (uint32_t i = 0; i < count; ++i, ++it) {
        if (it == t.end() || it->first != first + i)
            return false;
    }
    return true;
}

std::optional<uint16_t> SimModbusSlave::registerValue(ModbusTable which, uint16_t address) const {
    const Table& t = table(which);
    const auto it = t.find(address);
    if (it == t.end())
        return std::nullopt;
    return it->second;
}

void SimModbusSlave::addExceptionRange(uint16_t start, uint16_t count, uint8_t code) {
    if (count > 0)
        m_exceptionRanges.append({start, count, code});
}

QByteArray SimModbusSlave::exception(uint8_t function, uint8_t code) {
    m_outcome = ModbusOutcome::Exception;
    QByteArray pdu;
    pdu.append(char(function | 0x80));
    pdu.append(char(code));
    return pdu;
}

QByteArray SimModbusSlave::handlePdu(const QByteArray& pdu) {
    if (pdu.isEmpty()) {
        m_outcome = ModbusOutcome::IgnoredMalformed;
        return {};
    }
    const uint8_t function = uint8_t(pdu[0]);
    if (function != 3 && function != 4)
        return exception(function, ExIllegalFunction);
    // A read request is the function code, the first register and the count.
    if (pdu.size() != 5)
        return exception(function, ExIllegalDataValue);
    const uint32_t first = word(pdu, 1);
    const uint32_t count = word(pdu, 3);
    if (count == 0 || count > kModbusMaxReadRegisters)
        return exception(function, ExIllegalDataValue);
    // Ranges that stand for a busy or failing part of the device answer
    // before the address check: the device cannot look there right now.
    for (const ExceptionRange& r : m_exceptionRanges) {
        const uint32_t rEnd = uint32_t(r.start) + r.count;
        if (first < rEnd && r.start < first + count)
            return exception(function, r.code);
    }
    const ModbusTable which = function == 3 ? ModbusTable::Holding : ModbusTable::Input;
    if (!holds(which, first, count))
        return exception(function, ExIllegalDataAddress);

    m_outcome = ModbusOutcome::Reply;
    QByteArray reply;
    reply.reserve(2 + 2 * count);
    reply.append(char(function));
    reply.append(char(2 * count));
    auto it = table(which).find(uint16_t(first));
    for (uint32_t i = 0; i < count; ++i, ++it)
        appendWord(reply, it->second);
    return reply;
}

QByteArray SimModbusSlave::handleRtu(const QByteArray& frame) {
    // Address, function code and CRC at the least; an RTU frame is at most
    // 256 bytes long.
    if (frame.size() < 4 || frame.size() > 256) {
        m_outcome = ModbusOutcome::IgnoredMalformed;
        return {};
    }
    if (!modbusCrcValid(frame)) {
        m_outcome = ModbusOutcome::IgnoredBadCrc;
        return {};
    }
    const uint8_t address = uint8_t(frame[0]);
    // Broadcasts (address 0) are never answered, and reads make no sense
    // as broadcasts anyway.
    if (address == 0 || address != m_address) {
        m_outcome = ModbusOutcome::IgnoredAddress;
        return {};
    }
    const QByteArray pdu = handlePdu(frame.mid(1, frame.size() - 3));
    if (pdu.isEmpty())
        return {};
    ++m_answered;
    QByteArray reply;
    reply.append(char(address));
    reply.append(pdu);
    return applyFault(withModbusCrc(reply), m_faults.take(), 2, 0, m_seed++);
}

QByteArray SimModbusSlave::handleTcp(const QByteArray& adu) {
    // MBAP header (7 bytes) and at least a function code; the length field
    // counts the unit identifier and the PDU, at most 254 bytes.
    if (adu.size() < 8 || adu.size() > 260 || word(adu, 2) != 0 || word(adu, 4) != adu.size() - 6) {
        m_outcome = ModbusOutcome::IgnoredMalformed;
        return {};
    }
    const uint16_t transaction = word(adu, 0);
    const uint8_t unit = uint8_t(adu[6]);
    QByteArray pdu;
    if (unit != m_address && !m_acceptAnyUnit) {
        if (!m_replyToForeignUnit) {
            m_outcome = ModbusOutcome::IgnoredUnit;
            return {};
        }
        pdu = exception(uint8_t(adu[7]), ExGatewayTargetFailed);
    } else {
        pdu = handlePdu(adu.mid(7));
    }
    if (pdu.isEmpty())
        return {};
    ++m_answered;
    const ReplyFault fault = m_faults.take();
    QByteArray reply;
    appendWord(reply,
               fault == ReplyFault::WrongTransactionId ? uint16_t(transaction + 1) : transaction);
    appendWord(reply, 0);
    appendWord(reply, uint16_t(1 + pdu.size()));
    reply.append(char(unit));
    reply.append(pdu);
    return applyFault(reply, fault, 0, 0, m_seed++);
}

SimModbusSlave defaultModbusSlave() {
    SimModbusSlave slave(1);
    slave.setBlock(ModbusTable::Holding, 0, defaultHoldingMap(0).registers());
    slave.setBlock(ModbusTable::Input, 0, defaultInputMap(0).registers());
    slave.setBusyRange(500, 10);
    slave.addExceptionRange(600, 10, ExServerFailure);
    return slave;
}

} // namespace kestrune::sim
