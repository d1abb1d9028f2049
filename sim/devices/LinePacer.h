#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>

// Plays bytes out as a serial line delivers them: a character takes 11 bit
// times (start, 8 data, parity, stop), the first one arrives when its last
// bit has, the rest follow in small pieces as they come off the line. Every
// face of the simulator that answers for a device on a serial line (the
// M-Bus ports, the Modbus RTU and ASCII lines) can hand its answers to one.
namespace kestrune::sim {

// Milliseconds on a monotonic clock shared by every part of the simulator.
int64_t simNowMs();

// One write of a paced transmission.
struct LinePiece {
    qsizetype offset = 0;
    qsizetype size = 0;
    int64_t dueMs = 0; // after the first bit went out
    bool operator==(const LinePiece&) const = default;
};

// Time n characters take at baud, in ms, rounded up; 0 for a speed of 0.
// A character is 11 bits on the M-Bus (start, 8 data, even parity, stop),
// 10 on a "9600,N,8,1" line.
int64_t lineMs(qsizetype characters, int baud, int bitsPerCharacter = 11);

// Characters per piece after the first: as many as the line carries in
// about 4 ms, at least 1 and at most 8.
int linePieceSize(int baud, int bitsPerCharacter = 11);

// How `size` bytes leave the line: the first byte alone, then pieces of
// linePieceSize(baud), each due when its last byte has arrived. A speed of
// 0 (no line timing) gives one piece due at once.
QList<LinePiece> linePieces(qsizetype size, int baud, int bitsPerCharacter = 11);

// Starts sending `bytes` to sink as a line delivers them at baud: the first
// bit goes out startMs from now, the pieces arrive as linePieces says (a
// speed of 0: all at once after startMs). Nothing more is written once
// context is destroyed (the socket or terminal went away). Returns at once;
// the event loop does the rest.
using LineSink = std::function<void(const QByteArray& piece)>;
void playOnLine(const QByteArray& bytes, int64_t startMs, int baud, QObject* context, LineSink sink,
                int bitsPerCharacter = 11);

} // namespace kestrune::sim
