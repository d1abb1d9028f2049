// libFuzzer target: the M-Bus frame parser, the reply completeness rule, the
// reply header reader, the identification cells, the meter report's reading
// of replies and the simulated bus (with its meter faults), fed arbitrary
// bytes.
#include "mbus/MBusFrame.h"
#include "mbus/MeterIdentification.h"
#include "mbus/MeterReply.h"
#include "sim/bus/MeterTemplates.h"
#include "sim/bus/SimBus.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void codec(const QByteArray& bytes) {
    const bool complete = isCompleteMBusReply(bytes);
    const int expected = expectedFrameSize(QByteArrayView(bytes).first(qMin(bytes.size(), 4)));
    const std::optional<MBusFrame> frame = parseMBusFrame(bytes);
    if (frame) {
        check(frame->size == bytes.size());
        check(expected == frame->size);
        // A telegram that parses is rebuilt byte for byte by the builders.
        switch (frame->kind) {
        case MBusFrameKind::Ack:
            check(complete);
            break;
        case MBusFrameKind::Short:
            check(!complete);
            check(buildShortFrame(frame->c, frame->a) == bytes);
            break;
        case MBusFrameKind::Control:
        case MBusFrameKind::Long:
            check(complete);
            check(buildLongFrame(frame->c, frame->a, frame->ci, frame->data) == bytes);
            break;
        }
    }
    if (const auto header = readReplyHeader(bytes)) {
        check(complete);
        check(header->id.size() == 8);
        check(header->letters.isEmpty() == (header->manufacturer == 0));
    }
    (void)MBusChecksum(bytes);
}

// Whatever the bytes, the decoders read only what is there.
void identification(const QByteArray& bytes) {
    if (const auto cells = extractMeterData(bytes)) {
        check(bytes.size() >= 17);
        check(cells->identification.size() == 8);
        check(!cells->deviceType.isEmpty());
    }
    const MeterReadData d = readMeterReply(bytes);
    check(d.identification.isEmpty() || d.identification.size() == 8);
    check(d.ci == -1 || bytes.size() >= 9);
    if (const auto k2 = k2RawValues(bytes)) {
        check(bytes.size() >= 37);
        check(k2->voltage.size() == 2 && k2->current.size() == 2);
    }
    const QString dump = hexDumpText(bytes);
    check(dump.size() == (bytes.size() + 15) / 16 * 50);
}

void bus(const QByteArray& bytes) {
    static const sim::SimBus prototype = sim::defaultInstallation();
    static const int speeds[] = {300, 600, 1200, 2400, 4800, 9600};
    if (bytes.isEmpty()) {
        return;
    }
    sim::SimBus simBus = prototype;
    const int baud = speeds[static_cast<uint8_t>(bytes[0]) % 6];
    // The top bits pick a fault for every meter's next answers.
    const auto fault = static_cast<sim::ReplyFault>((static_cast<uint8_t>(bytes[0]) >> 4) % 8);
    const bool faulty = fault != sim::ReplyFault::None;
    for (sim::SimMeter& m : simBus.meters())
        m.setFault(fault, 3);

    // The rest is cut into telegrams the way a receiver would; bounded.
    QByteArrayView rest = QByteArrayView(bytes).sliced(1);
    for (int n = 0; n < 64 && !rest.isEmpty(); ++n) {
        int size = expectedFrameSize(rest);
        if (size <= 0 || size > rest.size()) {
            size = static_cast<int>(rest.size());
        }
        const QByteArray request = rest.first(size).toByteArray();
        rest = rest.sliced(size);
        const sim::BusAnswer answer = simBus.transact(request, baud);
        check(answer.bytes.size() <= mbus::kMaxFrameBytes + 2);
        if (faulty)
            continue;
        check(answer.bytes.isEmpty() == (answer.answering == 0));
        if (answer.answering == 1) {
            // One meter alone always answers something the program accepts.
            check(isCompleteMBusReply(answer.bytes));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024) {
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    codec(bytes);
    identification(bytes);
    bus(bytes);
    return 0;
}
