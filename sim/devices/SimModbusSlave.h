#pragma once

#include "SimFaults.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <map>
#include <optional>

// The simulated Modbus slave: reads of holding registers (function 3) and
// input registers (function 4) in RTU framing (CRC) and TCP framing (MBAP
// header), with the exception replies a real slave gives. Pure byte-in,
// byte-out: the caller hands over one complete request frame and sends
// whatever comes back (an empty reply means "stay silent").
namespace kestrune::sim {

enum class ModbusTable { Holding, Input };

// Modbus exception codes the slave produces.
enum ModbusException : uint8_t {
    ExIllegalFunction = 0x01,
    ExIllegalDataAddress = 0x02,
    ExIllegalDataValue = 0x03,
    ExServerFailure = 0x04,
    ExServerBusy = 0x06,
    ExGatewayTargetFailed = 0x0B,
};

// Most registers one read may ask for.
inline constexpr int kModbusMaxReadRegisters = 125;

// What became of the last request.
enum class ModbusOutcome {
    None,             // nothing handled yet
    Reply,            // register values sent
    Exception,        // an exception reply sent
    IgnoredBadCrc,    // RTU: the CRC did not match; a device stays silent
    IgnoredAddress,   // RTU: addressed to another slave, or broadcast (0)
    IgnoredUnit,      // TCP: another unit identifier, and no 0B reply wanted
    IgnoredMalformed, // too short, wrong MBAP protocol id or length
};

// Registers for which the slave answers with a fixed exception instead of
// data, whichever table is read.
struct ExceptionRange {
    uint16_t start = 0;
    uint16_t count = 0;
    uint8_t code = ExServerBusy;
};

class SimModbusSlave {
public:
    explicit SimModbusSlave(uint8_t address = 1);

    uint8_t address() const { return m_address; }
    void setAddress(uint8_t address) { m_address = address; }

    // The table holds exactly these registers from start on (values beyond
    // register 65535 are dropped).
    void setBlock(ModbusTable table, uint16_t start, const QList<uint16_t>& values);
    // Writes registers from start on, adding those the table did not hold
    // and replacing the others; values beyond register 65535 are dropped.
    // Returns how many were written.
    int writeRegisters(ModbusTable table, uint16_t start, const QList<uint16_t>& values);
    // Whether the table holds every register first .. first+count-1.
    bool holds(ModbusTable table, uint32_t first, uint32_t count) const;
    // The register's value, nothing when the table does not hold it.
    std::optional<uint16_t> registerValue(ModbusTable table, uint16_t address) const;

    // A read that touches any register of the range gets the exception.
    void addExceptionRange(uint16_t start, uint16_t count, uint8_t code);
    // A range that answers "server device busy" (06).
    void setBusyRange(uint16_t start, uint16_t count) {
        addExceptionRange(start, count, ExServerBusy);
    }
    void clearExceptionRanges() { m_exceptionRanges.clear(); }
    const QList<ExceptionRange>& exceptionRanges() const { return m_exceptionRanges; }

    // TCP requests for another unit identifier: with a gateway in front of
    // the slave they get exception 0B (target device failed to respond),
    // which is the default; without one they go unanswered.
    void setReplyToForeignUnit(bool reply) { m_replyToForeignUnit = reply; }
    // Answer TCP requests whatever their unit identifier (a plain TCP
    // device that ignores the field). Off by default.
    void setAcceptAnyUnit(bool any) { m_acceptAnyUnit = any; }

    FaultSwitch& faults() { return m_faults; }

    // One complete RTU request (address, PDU, CRC low byte first). Returns
    // the RTU reply, or nothing when a device would stay silent.
    [[nodiscard]] QByteArray handleRtu(const QByteArray& frame);
    // One complete Modbus TCP request (MBAP header and PDU). Returns the
    // reply with the same transaction identifier, or nothing.
    [[nodiscard]] QByteArray handleTcp(const QByteArray& adu);
    // The protocol data unit alone: function code and data in, reply PDU
    // out (function | 0x80 and exception code for an exception).
    [[nodiscard]] QByteArray handlePdu(const QByteArray& pdu);

    ModbusOutcome lastOutcome() const { return m_outcome; }
    // Number of requests that got an answer (data or exception).
    int answered() const { return m_answered; }

private:
    QByteArray exception(uint8_t function, uint8_t code);

    using Table = std::map<uint16_t, uint16_t>;
    Table& table(ModbusTable which) { return which == ModbusTable::Holding ? m_holding : m_input; }
    const Table& table(ModbusTable which) const {
        return which == ModbusTable::Holding ? m_holding : m_input;
    }

    uint8_t m_address;
    Table m_holding;
    Table m_input;
    QList<ExceptionRange> m_exceptionRanges;
    bool m_replyToForeignUnit = true;
    bool m_acceptAnyUnit = false;
    FaultSwitch m_faults;
    ModbusOutcome m_outcome = ModbusOutcome::None;
    int m_answered = 0;
    uint32_t m_seed = 1;
};

// The CRC-16 of Modbus RTU appended to a frame, low-order byte first.
QByteArray withModbusCrc(const QByteArray& frame);
// Whether a frame's last two bytes are the CRC of the rest.
bool modbusCrcValid(const QByteArray& frame);

// The slave of the default installation: address 1, the default holding
// and input maps from register 0, busy at 500..509, server failure (04) at
// 600..609.
SimModbusSlave defaultModbusSlave();

} // namespace kestrune::sim
