#pragma once

#include <QByteArray>

#include <cstdint>

// Fault injection shared by the simulated devices and the tests that drive
// them: one switch per device says how its next replies are spoiled.
namespace kestrune::sim {

enum class ReplyFault {
    None,
    // The request is handled (and counted) but nothing is sent back.
    NoReply,
    // A reply of the right length made of pseudo-random bytes.
    Garbage,
    // The reply's check is wrong: Modbus RTU CRC, ASCII variant 01 checksum.
    // Replies without a check (Modbus TCP, ASCII variant 00, NAK) stay as
    // they are.
    BadCheck,
    // Modbus TCP: the transaction identifier of the reply is not the
    // request's. Other replies stay as they are.
    WrongTransactionId,
    // The reply without its last byte (a device that stops mid-frame).
    Truncated,
    // The reply followed by two stray bytes.
    ExtraBytes,
    // The reply's end byte is wrong: the M-Bus stop byte, the ASCII ETX.
    // Replies without one (checkEnd 0) stay as they are.
    WrongStop,
};

// Which fault the next replies get, and for how many of them.
class FaultSwitch {
public:
    // count < 0: every reply until cleared; count >= 0: the next count replies.
    void set(ReplyFault fault, int count = -1);
    void clear() { set(ReplyFault::None); }
    ReplyFault current() const { return m_remaining == 0 ? ReplyFault::None : m_fault; }
    // Replies still to spoil; negative: every reply until cleared.
    int remaining() const { return m_remaining; }
    // The fault for the reply being built now; counts it down.
    ReplyFault take();

private:
    ReplyFault m_fault = ReplyFault::None;
    int m_remaining = 0;
};

// n deterministic pseudo-random bytes (the same seed gives the same bytes).
QByteArray garbageBytes(int n, uint32_t seed);

// Spoils a finished reply the way the fault says. checkBytes is the number
// of trailing check bytes the reply carries (2 for RTU CRC and ASCII variant
// 01 checksum, 0 when it has none); checkEnd is how many bytes follow the
// check (1 for the ASCII ETX). An empty reply stays empty.
QByteArray applyFault(const QByteArray& reply, ReplyFault fault, int checkBytes, int checkEnd,
                      uint32_t seed);

} // namespace kestrune::sim
