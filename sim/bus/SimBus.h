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

// A set of meters on one bus, seen from the master side.
//
// A telegram reaches every meter that listens at the master's line speed. A
// telegram with a bad checksum or framing is understood by nobody. When
// several meters answer at once, their bits superimpose as on a real bus:
// a meter sending a space pulls the line, so the master sees the bitwise AND,
// the shorter answer padded with idle (FF). Equal E5s therefore merge into
// one E5 and different frames garble.
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

    // Bitwise AND of answers that coincide, the shorter padded with FF.
    static QByteArray superimpose(const QList<QByteArray>& answers);

private:
    QList<SimMeter> m_meters;
    int m_delayMs = 20;
};

} // namespace kestrune::sim
