// Cost per call of the support library's CRC16 and FillString, reached the
// way the program reaches them: libZarvek.so loaded from the program folder,
// functions bound by name. Each function is timed twice: through the
// program's wrapper (bytes in, text out) and through the bare bound pointer.
//
//   bench_zarvek [iterations]      (default 1000000)

#include "base/ProgramDir.h"
#include "zarvek/Zarvek.h"
#include "zarvek/loader/SupportLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLibrary>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace kestrune;

namespace {

// Keeps the optimiser from dropping the measured work.
volatile uint32_t g_sink;

template <typename Body> double nsPerCall(long iterations, Body body) {
    // One warm-up pass so the binding and caches are in place.
    for (long i = 0; i < iterations / 10 + 1; ++i)
        body(i);
    QElapsedTimer timer;
    timer.start();
    for (long i = 0; i < iterations; ++i)
        body(i);
    return double(timer.nsecsElapsed()) / double(iterations);
}

void report(const char* what, double ns) {
    std::printf("%-44s %10.1f ns/call\n", what, ns);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long iterations = argc > 1 ? std::max(1L, std::atol(argv[1])) : 1000000L;

    // A modbus request frame, a full 256-byte RTU frame, and one value of
    // each kind of type.
    const QByteArray request = QByteArray::fromHex("01030000000A");
    QByteArray frame(254, '\0');
    for (int i = 0; i < frame.size(); ++i)
        frame[i] = char(i * 37);
    const QByteArray int16 = QByteArray::fromHex("FFFE");
    const QByteArray dfloat = QByteArray::fromHex("3FF8000000000000");
    const QByteArray char16("0123456789ABCDEF");

    uint16_t crc = 0;
    QString text;
    if (!zarvek::crc16(request, crc) || !zarvek::fillString(int16, 0, 0, text)) {
        std::fprintf(stderr, "%s\n", qPrintable(zarvek::lastError()));
        return 1;
    }
    std::printf("library: %s%s, %ld iterations\n", qPrintable(programDir()),
                qPrintable(zarvek::libraryFileName()), iterations);

    report("CRC16 6 bytes, wrapper", nsPerCall(iterations, [&](long) {
               (void)zarvek::crc16(request, crc);
               g_sink = crc;
           }));
    report("CRC16 254 bytes, wrapper", nsPerCall(iterations / 10, [&](long) {
               (void)zarvek::crc16(frame, crc);
               g_sink = crc;
           }));
    report("FillString INT16 DCBA, wrapper", nsPerCall(iterations, [&](long) {
               (void)zarvek::fillString(int16, ZARVEK_INT16, ZARVEK_ORDER_DCBA, text);
               g_sink = uint32_t(text.size());
           }));
    report("FillString DFLOAT CDAB, wrapper", nsPerCall(iterations, [&](long) {
               (void)zarvek::fillString(dfloat, ZARVEK_DFLOAT, ZARVEK_ORDER_CDAB, text);
               g_sink = uint32_t(text.size());
           }));
    report("FillString CHAR16 BADC, wrapper", nsPerCall(iterations, [&](long) {
               (void)zarvek::fillString(char16, ZARVEK_CHAR16, ZARVEK_ORDER_BADC, text);
               g_sink = uint32_t(text.size());
           }));

    // The bare exports, bound by name from the same file.
    QLibrary library(programDir() + zarvek::libraryFileName());
    auto crcFn = reinterpret_cast<decltype(&::CRC16)>(library.resolve("CRC16"));
    auto fillFn = reinterpret_cast<decltype(&::FillString)>(library.resolve("FillString"));
    if (!crcFn || !fillFn) {
        std::fprintf(stderr, "%s\n", qPrintable(library.errorString()));
        return 1;
    }
    const auto* req = reinterpret_cast<const uint8_t*>(request.constData());
    const auto* big = reinterpret_cast<const uint8_t*>(frame.constData());
    const auto* i16 = reinterpret_cast<const uint8_t*>(int16.constData());
    const auto* dbl = reinterpret_cast<const uint8_t*>(dfloat.constData());
    char target[zarvek::kTextBufferSize];
    report("CRC16 6 bytes, bare export",
           nsPerCall(iterations, [&](long) { g_sink = crcFn(req, uint32_t(request.size())); }));
    report("CRC16 254 bytes, bare export",
           nsPerCall(iterations / 10, [&](long) { g_sink = crcFn(big, uint32_t(frame.size())); }));
    report("FillString INT16 DCBA, bare export", nsPerCall(iterations, [&](long) {
               fillFn(i16, ZARVEK_INT16, ZARVEK_ORDER_DCBA, target, 2);
               g_sink = uint32_t(target[0]);
           }));
    report("FillString DFLOAT CDAB, bare export", nsPerCall(iterations, [&](long) {
               fillFn(dbl, ZARVEK_DFLOAT, ZARVEK_ORDER_CDAB, target, 8);
               g_sink = uint32_t(target[0]);
           }));
    return 0;
}
