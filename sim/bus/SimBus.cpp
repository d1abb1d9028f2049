#include "sim/bus/SimBus.h"

#include "sim/devices/LinePacer.h"

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

BusAnswer SimBus::transact(const QByteArray& request, int baud) {
    BusAnswer result;
    const std::optional<MBusFrame> frame = parseMBusFrame(request);
    if (!frame) {
        return result;
    }
    QList<QByteArray> answers;
    for (SimMeter& meter : m_meters) {
        if (!meter.hears(baud)) {
            continue;
        }
        MeterAnswer answer = meter.handle(*frame);
        if (!answer.bytes.isEmpty()) {
            answers.append(answer.bytes);
        }
    }
    if (answers.isEmpty()) {
        return result;
    }
    result.bytes = superimpose(answers);
    result.answering = static_cast<int>(answers.size());
    result.delayMs = m_delayMs;
    result.transmitMs = transmissionMs(result.bytes.size(), baud);
    return result;
}

} // namespace kestrune::sim
