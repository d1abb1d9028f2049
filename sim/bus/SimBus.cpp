#include "sim/bus/SimBus.h"

#include "sim/devices/LinePacer.h"

#include <algorithm>
#include <climits>

namespace kestrune::sim {

int SimBus::indexOfPrimary(uint8_t address) const {
    for (int i = 0; i < m_meters.size(); ++i) {
        if (m_meters[i].primaryAddress() == address) {
            return i;
        }
    }
    return -1;
}

int SimBus::transmissionMs(qsizetype bytes, int baud) {
    return static_cast<int>(lineMs(bytes, baud));
}

QByteArray SimBus::superimpose(const QList<QByteArray>& answers) {
    QByteArray line;
    for (const QByteArray& answer : answers) {
        if (answer.size() > line.size()) {
            line.append(QByteArray(answer.size() - line.size(), static_cast<char>(0xFF)));
        }
        for (qsizetype i = 0; i < answer.size(); ++i) {
            line[i] = static_cast<char>(line[i] & answer[i]);
        }
    }
    return line;
}

namespace {

constexpr int kSamplesPerBit = 8;
constexpr int kBitsPerCharacter = 11;

// The line level of one answer in samples: idle (1) during the skew, then
// start bit, 8 data bits from the lowest, even parity, stop bit per byte.
void drawAnswer(QList<uint8_t>& line, const LineAnswer& answer) {
    qsizetype at = answer.skewEighths;
    for (const char c : answer.bytes) {
        const auto byte = uint8_t(c);
        uint8_t bits[kBitsPerCharacter];
        bits[0] = 0;
        int ones = 0;
        for (int b = 0; b < 8; ++b) {
            bits[1 + b] = (byte >> b) & 1;
            ones += bits[1 + b];
        }
        bits[9] = uint8_t(ones & 1);
        bits[10] = 1;
        for (const uint8_t bit : bits) {
            for (int s = 0; s < kSamplesPerBit; ++s, ++at)
                line[at] = uint8_t(line[at] & bit);
        }
    }
}

} // namespace

QByteArray SimBus::receiveOverlap(const QList<LineAnswer>& answers) {
    qsizetype length = 0;
    for (const LineAnswer& a : answers)
        length =
            std::max(length, a.skewEighths + a.bytes.size() * kBitsPerCharacter * kSamplesPerBit);
    // One idle character after the end, so the last one can be sampled whole.
    QList<uint8_t> line(length + kBitsPerCharacter * kSamplesPerBit, uint8_t(1));
    for (const LineAnswer& a : answers)
        drawAnswer(line, a);

    QByteArray received;
    qsizetype i = 0;
    while (i < length) {
        if (line[i] != 0) {
            ++i;
            continue;
        }
        // A falling edge: the start bit, if it is still low in its middle.
        const qsizetype middle = i + kSamplesPerBit / 2;
        if (line[middle] != 0) {
            ++i;
            continue;
        }
        uint8_t byte = 0;
        for (int b = 0; b < 8; ++b)
            byte |= uint8_t(line[middle + (1 + b) * kSamplesPerBit] << b);
        received.append(char(byte));
        // A stop bit found low is a framing error: the UART takes it for the
        // next start bit and reads on from there (so a lagging answer shows
        // up as a second character). Otherwise it looks for the next edge.
        const qsizetype stop = middle + (kBitsPerCharacter - 1) * kSamplesPerBit;
        i = line[stop] == 0 ? stop - kSamplesPerBit / 2 : stop;
    }
    return received;
}

BusAnswer SimBus::transact(const QByteArray& request, int baud) {
    BusAnswer result;
    const std::optional<MBusFrame> frame = parseMBusFrame(request);
    if (!frame) {
        return result;
    }
    QList<LineAnswer> answers;
    for (SimMeter& meter : m_meters) {
        if (!meter.hears(baud)) {
            continue;
        }
        MeterAnswer answer = meter.handle(*frame);
        if (!answer.bytes.isEmpty()) {
            answers.append({answer.bytes, meter.answerSkewEighths()});
        }
    }
    if (answers.isEmpty()) {
        return result;
    }
    // A meter alone on the line has nobody to be late against.
    int earliest = INT_MAX;
    for (const LineAnswer& a : answers)
        earliest = std::min(earliest, a.skewEighths);
    int latest = 0;
    for (LineAnswer& a : answers) {
        a.skewEighths = m_aligned || answers.size() == 1 ? 0 : a.skewEighths - earliest;
        latest = std::max(latest, a.skewEighths);
    }
    result.bytes = receiveOverlap(answers);
    result.answering = static_cast<int>(answers.size());
    result.delayMs = m_delayMs;
    // The line is busy until the latest answer has ended.
    const int lateBits = (latest + kSamplesPerBit - 1) / kSamplesPerBit;
    result.transmitMs = transmissionMs(result.bytes.size(), baud) +
                        (lateBits > 0 ? int(lineMs(1, baud, lateBits)) : 0);
    return result;
}

} // namespace kestrune::sim
