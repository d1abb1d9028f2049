#include "SimFaults.h"

namespace kestrune::sim {

void FaultSwitch::set(ReplyFault fault, int count) {
    m_fault = fault;
    m_remaining = fault == ReplyFault::None ? 0 : count;
}

ReplyFault FaultSwitch::take() {
    if (m_remaining == 0)
        return ReplyFault::None;
    if (m_remaining > 0)
        --m_remaining;
    return m_fault;
}

QByteArray garbageBytes(int n, uint32_t seed) {
    QByteArray out;
    if (n <= 0)
        return out;
    out.reserve(n);
    uint32_t x = seed * 2654435761u + 0x9E3779B9u;
    for (int i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        out.append(char(x >> 24));
    }
    return out;
}

QByteArray applyFault(const QByteArray& reply, ReplyFault fault, int checkBytes, int checkEnd,
                      uint32_t seed) {
    if (reply.isEmpty())
        return reply;
    switch (fault) {
    case ReplyFault::None:
    case ReplyFault::WrongTransactionId: // handled by the Modbus TCP face
        return reply;
    case ReplyFault::NoReply:
        return {};
    case ReplyFault::Garbage:
        return garbageBytes(int(reply.size()), seed);
    case ReplyFault::BadCheck: {
        const qsizetype at = reply.size() - checkEnd - checkBytes;
        if (checkBytes <= 0 || at < 0)
            return reply;
        QByteArray out = reply;
        // Change the first check byte so that it stays a valid character of
        // its kind: a hexadecimal digit stays one, a CRC byte just differs.
        char& c = out[at];
        if (c >= '0' && c <= '9')
            c = c == '9' ? '0' : char(c + 1);
        else if (c >= 'A' && c <= 'F')
            c = c == 'F' ? 'A' : char(c + 1);
        else
            c = char(c ^ 0x5A);
        return out;
    }
    case ReplyFault::Truncated:
        return reply.left(reply.size() - 1);
    case ReplyFault::ExtraBytes:
        return reply + QByteArray("\x55\xAA", 2);
    case ReplyFault::WrongStop: {
        if (checkEnd <= 0)
            return reply;
        QByteArray out = reply;
        out[out.size() - 1] = char(out[out.size() - 1] ^ 0x5A);
        return out;
    }
    }
    return reply;
}

} // namespace kestrune::sim
