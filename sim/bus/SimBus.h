#pragma once

#include "sim/bus/SimMeter.h"

#include <QByteArray>
#include <QList>

namespace kestrune::sim {

// What the bus gives back for one telegram, with the timing the runtime
// needs to play it out: wait `delayMs` after the request, then send `bytes`,
// which take `transmitMs` on the wire.
struct BusAnswer {
    QByteArray bytes; // empty: nobody answered
    int delayMs = 0;
    int transmitMs = 0;
    int answering = 0; // how many meters answered (more than one: a collision)
};

// One meter's answer as it goes onto the line: its bytes and how late it
// starts against the earliest possible start, in eighths of a bit time.
struct LineAnswer {
    QByteArray bytes;
    int skewEighths = 0;
};

// A set of meters on one bus, seen from the master side.
//
// A telegram reaches every meter that listens at the master's line speed. A
// telegram with a bad checksum or framing is understood by nobody. When
// several meters answer at once, their bits superimpose as on a real bus:
// a meter sending a space pulls the line, so the line carries the AND of
// their bit streams. Each meter starts its answer a little earlier or later
// (its answer skew), so the master's UART sees that combined line: it
// starts a character at every falling edge it finds while idle and samples
// the bits in their middles, so skewed E5s arrive garbled, or as two
// characters when one lags by more than a few bits. With aligned collisions
// every answer starts at the same instant: equal E5s then merge into one
// clean E5.
class SimBus {
public:
    QList<SimMeter>& meters() { return m_meters; }
    const QList<SimMeter>& meters() const { return m_meters; }
    void addMeter(const SimMeter& meter) { m_meters.append(meter); }
    void clear() { m_meters.clear(); }

    // Index of the first meter with this primary address, -1 when none.
    int indexOfPrimary(uint8_t address) const;

    // Delay between the end of a request and the start of the answer.
    int answerDelayMs() const { return m_delayMs; }
    void setAnswerDelayMs(int ms) { m_delayMs = ms < 0 ? 0 : ms; }

    // One telegram from the master at `baud`; the answer as the master sees it.
    BusAnswer transact(const QByteArray& request, int baud);

    // Time `bytes` bytes take at `baud`: 11 bits each (start, 8 data, even
    // parity, stop), rounded up to whole milliseconds. 0 for a speed of 0.
    static int transmissionMs(qsizetype bytes, int baud);

    // Whether colliding answers start at the same instant (no skew).
    bool alignedCollisions() const { return m_aligned; }
    void setAlignedCollisions(bool aligned) { m_aligned = aligned; }

    // Bitwise AND of answers that coincide, the shorter padded with FF.
    static QByteArray superimpose(const QList<QByteArray>& answers);

    // What a UART (8 data bits, even parity, 1 stop bit) receives from
    // answers that overlap on the line, each starting skewEighths eighths of
    // a bit late. Characters with a parity or framing error are delivered as
    // sampled, as the gateways pass them on.
    static QByteArray receiveOverlap(const QList<LineAnswer>& answers);

private:
    QList<SimMeter> m_meters;
    int m_delayMs = 20;
    bool m_aligned = false;
};

} // namespace kestrune::sim
