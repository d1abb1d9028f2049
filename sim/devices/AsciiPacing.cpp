#include "AsciiPacing.h"

#include "sim/devices/LinePacer.h"

#include <algorithm>

namespace kestrune::sim {

QList<ReplyPiece> pacedAsciiReply(const QByteArray& reply, qsizetype requestChars,
                                  const AsciiPacing& pacing, int64_t nowMs, int64_t& lineFreeAtMs) {
    // The request is on the line until its last character has arrived.
    const int64_t heard =
        std::max(nowMs, lineFreeAtMs) + lineMs(requestChars, pacing.baud, pacing.bitsPerChar);
    lineFreeAtMs = heard;
    if (reply.isEmpty())
        return {};
    const int64_t start = heard + std::max(pacing.replyDelayMs, 0);
    QList<ReplyPiece> pieces;
    if (pacing.pieceGapMs <= 0 || reply.size() < 2) {
        pieces.append({start + lineMs(reply.size(), pacing.baud, pacing.bitsPerChar), reply});
    } else {
        const int64_t first = start + lineMs(1, pacing.baud, pacing.bitsPerChar);
        const QByteArray rest = reply.mid(1);
        pieces.append({first, reply.left(1)});
        pieces.append(
            {first + pacing.pieceGapMs + lineMs(rest.size(), pacing.baud, pacing.bitsPerChar),
             rest});
    }
    lineFreeAtMs = pieces.last().atMs;
    return pieces;
}

} // namespace kestrune::sim
