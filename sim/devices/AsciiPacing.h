#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// When the pieces of an ASCII tag server's reply leave the gateway. On a
// serial line the request first takes its time on the wire, then the
// gateway thinks (the reply delay), then the reply takes its own time on the
// wire; the line carries one thing at a time. The gateway can also send its
// reply in two pieces, the ACK or NAK first and the rest a gap later, as a
// gateway does that acknowledges before it has asked its meter for the value.
//
// This is the ASCII server's own step, kept apart so that it can be folded
// into a pacing shared by all simulated devices.
namespace kestrune::sim {

struct AsciiPacing {
    int baud = 0;         // line speed; 0: no time on the wire (network faces)
    int bitsPerChar = 10; // start, 8 data, stop: the "9600,N,8,1" line
    int replyDelayMs = 0; // from the end of the request to the first reply byte
    int pieceGapMs = 0;   // 0: one piece; otherwise the rest follows this much later
};

struct ReplyPiece {
    int64_t atMs = 0; // when the last byte of the piece has arrived
    QByteArray bytes;
    bool operator==(const ReplyPiece&) const = default;
};

// The pieces of a reply to a request of requestChars characters that
// arrived at nowMs, on a line that is free from lineFreeAtMs on. The reply
// may be empty (no pieces). lineFreeAtMs is moved to the end of the reply.
QList<ReplyPiece> pacedAsciiReply(const QByteArray& reply, qsizetype requestChars,
                                  const AsciiPacing& pacing, int64_t nowMs, int64_t& lineFreeAtMs);

} // namespace kestrune::sim
