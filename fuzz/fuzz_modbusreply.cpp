// Fuzz target for the Modbus reply rules: the wait's end rule fed byte by
// byte as a reply arrives, the exception code, and the check that yields the
// register bytes, in both framings. Beyond the sanitizers it checks that
// - an exception reply is recognised only at exactly its length;
// - the register bytes are the reply's own bytes at the documented place;
// - an RTU reply passes only with its CRC (computed here bit by bit).
// Input: framing and count (three bytes), then the reply.
#include "base/ProgramDir.h"
#include "modbus/ModbusFrame.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

uint16_t referenceCrc(QByteArrayView data) {
    uint16_t crc = 0xFFFF;
    for (char c : data) {
        crc ^= uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The support library is loaded from the build folder.
    [[maybe_unused]] static const bool once = (setProgramDir(KESTRUNE_BINARY_DIR), true);
    if (size < 3)
        return 0;
    const Framing framing = (data[0] & 1) ? Framing::Tcp : Framing::Rtu;
    const int count = ((data[1] << 8) | data[2]) % 300;
    const QByteArray reply(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    for (qsizetype n = 0; n <= reply.size(); ++n) {
        const QByteArrayView rx = QByteArrayView(reply).first(n);
        const ReplyState state = replyState(rx, framing, count);
        if (state == ReplyState::Exception) {
            check(n == exceptionReplyLength(framing));
            check(exceptionText(exceptionCode(rx, framing)).contains(QLatin1String("Modbuserror")));
        }
        if (state == ReplyState::Complete)
            check(n >= expectedReplyLength(framing, count));
    }

    const uint16_t id = uint16_t((data[1] << 8) | data[2]);
    const CheckResult r = checkReply(reply, framing, id);
    check(r.verdict != CheckVerdict::LibraryFailed);
    if (r.verdict != CheckVerdict::Ok) {
        check(r.registers.isEmpty());
        return 0;
    }
    if (framing == Framing::Tcp) {
        check(reply.size() >= 2);
        check(r.registers == (reply.size() > 9 ? reply.mid(9) : QByteArray()));
    } else {
        check(reply.size() >= 4);
        const uint16_t crc = referenceCrc(QByteArrayView(reply).first(reply.size() - 2));
        check(uint8_t(reply[reply.size() - 2]) == (crc & 0xFF));
        check(uint8_t(reply[reply.size() - 1]) == (crc >> 8));
        check(r.registers == (reply.size() > 5 ? reply.mid(3, reply.size() - 5) : QByteArray()));
    }
    return 0;
}
