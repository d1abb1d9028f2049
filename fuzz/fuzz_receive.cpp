// Fuzz target for the link's receive rules: the M-Bus completeness rule fed
// byte by byte as a reply arrives, the time-out note chosen from what it saw,
// and the console's hexadecimal record lines decoded into a receive buffer.
#include "channel/ReceiveRules.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void fuzzCompleteness(QByteArrayView data) {
    int announced = 0;
    for (qsizetype n = 0; n <= data.size(); ++n) {
        const QByteArrayView rx = data.first(n);
        const bool complete = receive::isCompleteMBusReply(rx, announced);
        check(announced >= 0 && announced <= 255);
        if (complete) {
            // Either the single acknowledgement or a long frame of L + 6 bytes.
            const bool ack = n == 1 && static_cast<uint8_t>(rx[0]) == receive::MBusAck;
            const bool frame = n == announced + 6 && static_cast<uint8_t>(rx[0]) == 0x68 &&
                               static_cast<uint8_t>(rx[3]) == 0x68;
            check(ack || frame);
        }
        const QString note = receive::mbusTimeoutNote(n, announced);
        check(note.startsWith(QLatin1String("BusTimeout")));
        check((n == 0) == (note == QLatin1String("BusTimeout")));
    }
}

void fuzzHexRecords(QByteArrayView data) {
    // The first four bytes are the preset header, the rest console lines.
    QByteArray rx(data.first(std::min<qsizetype>(4, data.size())).toByteArray());
    QByteArrayView rest = data.sliced(std::min<qsizetype>(4, data.size()));
    while (!rest.isEmpty()) {
        qsizetype end = rest.indexOf('\n');
        if (end < 0)
            end = rest.size();
        QByteArray line = rest.first(end).toByteArray();
        line.replace('\r', QByteArray());
        const qsizetype before = rx.size();
        const bool used = receive::decodeHexRecordLine(line, rx);
        if (used) {
            check(line.size() >= 12 && line[0] == ':');
            // One byte per data group: at most half the characters.
            check(rx.size() - before <= line.size() / 2);
        } else {
            check(rx.size() == before);
        }
        rest = rest.sliced(std::min(end + 1, rest.size()));
    }
    (void)receive::containsConsolePrompt(data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > 4096)
        return 0;
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    fuzzCompleteness(data);
    fuzzHexRecords(data);
    return 0;
}
