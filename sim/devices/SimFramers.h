#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// Stream framers for the simulated devices: bytes arrive in pieces of any
// size (TCP segments, pseudo-terminal reads), the framer keeps them and hands
// out complete requests one at a time. Each holds a bounded amount of data;
// bytes that cannot start a request are dropped and counted.
namespace kestrune::sim {

// Modbus TCP: a 7-byte MBAP header whose length field says how many bytes
// follow the first six. A header with a protocol identifier other than 0, or
// a length outside 2..254, cannot start a request: its first byte is dropped
// and the search goes on at the next byte.
class ModbusTcpFramer {
public:
    explicit ModbusTcpFramer(int limit = 4096);

    // Adds bytes; when more than the limit is held, the oldest are dropped.
    void append(const QByteArray& bytes);
    // The next complete request, if one is there.
    [[nodiscard]] std::optional<QByteArray> next();
    void clear() { m_buffer.clear(); }

    qsizetype pending() const { return m_buffer.size(); }
    qint64 discarded() const { return m_discarded; }

private:
    QByteArray m_buffer;
    int m_limit;
    qint64 m_discarded = 0;
};

// Modbus RTU: frames follow each other without a length field, so the
// framer knows the request lengths of the common functions (1..6, 8: 8 bytes;
// 15, 16: 9 + byte count; 23: 13 + byte count; 7, 11, 12, 17: 4 bytes; 22:
// 10; 24: 6) and finds others by their CRC (the shortest prefix of up to 32
// bytes whose last two bytes are the CRC of the rest). A frame of known length with a wrong CRC is
// dropped byte by byte until a frame with a valid CRC lines up. On a real line the silence between
// frames separates them; the owner calls clear() when the line has been quiet long enough, which
// drops a half-received frame.
class ModbusRtuFramer {
public:
    explicit ModbusRtuFramer(int limit = 1024);

    void append(const QByteArray& bytes);
    [[nodiscard]] std::optional<QByteArray> next();
    void clear() { m_buffer.clear(); }

    qsizetype pending() const { return m_buffer.size(); }
    qint64 discarded() const { return m_discarded; }

private:
    // Length of the request at offset `at` when its function has a known
    // length: >0 the length, 0 not enough bytes yet to tell, -1 unknown.
    int knownLength(qsizetype at) const;
    void drop(qsizetype n);

    QByteArray m_buffer;
    int m_limit;
    qint64 m_discarded = 0;
};

// One piece of an ASCII-protocol stream.
struct AsciiFrame {
    enum Kind {
        Request,    // STX, body, ETX: a complete request
        Incomplete, // STX and body, then a new STX or line silence before ETX
        NoStart,    // body and ETX without an STX before it
        Overlong,   // STX and more body than a request may hold (first bytes kept)
    };
    Kind kind = Request;
    QByteArray body; // the characters between the frame marks

    bool operator==(const AsciiFrame& o) const { return kind == o.kind && body == o.body; }
};

// ASCII protocol (STX ... ETX). Bytes outside a request are kept (bounded)
// in case an ETX shows that they were a request whose STX was lost. A reply
// of another device on the line (starting with ACK or NAK) is skipped up to
// its ETX. At most maxBody characters of one body and 64 finished frames are
// held.
class AsciiFramer {
public:
    explicit AsciiFramer(int maxBody = 256);

    void append(const QByteArray& bytes);
    [[nodiscard]] std::optional<AsciiFrame> next();
    // The line has been quiet: a request still open is reported Incomplete,
    // stray bytes are dropped.
    void flush();
    void clear();

    qint64 discarded() const { return m_discarded; }

private:
    enum class State { Idle, InFrame, Skip };
    void emitFrame(AsciiFrame::Kind kind, const QByteArray& body);

    State m_state = State::Idle;
    QByteArray m_body;
    QList<AsciiFrame> m_frames;
    int m_maxBody;
    qint64 m_discarded = 0;
};

} // namespace kestrune::sim
