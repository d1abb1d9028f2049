#include "sim/devices/LinePacer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>

namespace kestrune::sim {

namespace {
constexpr int kPieceMs = 4;
constexpr int kMaxPiece = 8;
} // namespace

int64_t lineMs(qsizetype characters, int baud, int bitsPerCharacter) {
    if (baud <= 0 || characters <= 0)
        return 0;
    const int64_t bits = int64_t(characters) * std::max(bitsPerCharacter, 1);
    return (bits * 1000 + baud - 1) / baud;
}

int linePieceSize(int baud, int bitsPerCharacter) {
    if (baud <= 0)
        return kMaxPiece;
    const int perPiece =
        int(int64_t(baud) * kPieceMs / (1000 * int64_t(std::max(bitsPerCharacter, 1))));
    return std::clamp(perPiece, 1, kMaxPiece);
}

QList<LinePiece> linePieces(qsizetype size, int baud, int bitsPerCharacter) {
    QList<LinePiece> pieces;
    if (size <= 0)
        return pieces;
    if (baud <= 0) {
        pieces.append({0, size, 0});
        return pieces;
    }
    pieces.append({0, 1, lineMs(1, baud, bitsPerCharacter)});
    const int step = linePieceSize(baud, bitsPerCharacter);
    for (qsizetype at = 1; at < size; at += step) {
        const qsizetype n = std::min<qsizetype>(step, size - at);
        pieces.append({at, n, lineMs(at + n, baud, bitsPerCharacter)});
    }
    return pieces;
}

namespace {

struct Run {
    QByteArray bytes;
    QList<LinePiece> pieces;
    int64_t startMs = 0; // on the simNowMs() clock
    qsizetype index = 0;
    QPointer<QObject> context;
    LineSink sink;
};

// Each piece is timed from the transmission's start, so rounding never
// adds up over a long answer.
void next(const std::shared_ptr<Run>& run) {
    if (!run->context || run->index >= run->pieces.size())
        return;
    const LinePiece& p = run->pieces[run->index];
    const int64_t wait = std::max<int64_t>(0, run->startMs + p.dueMs - simNowMs());
    QTimer::singleShot(std::chrono::milliseconds(wait), Qt::PreciseTimer, run->context.data(),
                       [run] {
                           const LinePiece& piece = run->pieces[run->index];
                           run->sink(run->bytes.mid(piece.offset, piece.size));
                           ++run->index;
                           next(run);
                       });
}

} // namespace

int64_t simNowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

void playOnLine(const QByteArray& bytes, int64_t startMs, int baud, QObject* context, LineSink sink,
                int bitsPerCharacter) {
    if (bytes.isEmpty() || !context)
        return;
    auto run = std::make_shared<Run>();
    run->bytes = bytes;
    run->pieces = linePieces(bytes.size(), baud, bitsPerCharacter);
    run->startMs = simNowMs() + std::max<int64_t>(startMs, 0);
    run->context = context;
    run->sink = std::move(sink);
    next(run);
}

} // namespace kestrune::sim
