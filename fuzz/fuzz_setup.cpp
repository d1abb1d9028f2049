// libFuzzer target: the setup datagram parsers, the console hex-line decoder,
// the setup record's field accessors, and the simulated gateway's setup
// service and serial console, fed arbitrary bytes.
#include "netsetup/HexRecord.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecord.h"
#include "sim/gateway/SimConsole.h"
#include "sim/gateway/SimGateway.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;
using namespace kestrune::sim;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void parsers(QByteArrayView bytes) {
    const SetupRequest request = parseSetupRequest(bytes);
    if (request.kind == SetupRequest::Kind::ReadRecord ||
        request.kind == SetupRequest::Kind::WriteRecord)
        check(request.recordNumber >= 0 && request.recordNumber <= 7);
    if (request.kind == SetupRequest::Kind::WriteRecord)
        check(!request.record.isEmpty() && request.record.size() == bytes.size() - 4);
    check(isDiscoveryRequest(bytes) == (request.kind == SetupRequest::Kind::Discovery));

    IpSetupRequest ip;
    if (parseIpSetup(bytes, ip)) {
        MacAddress mac{};
        mac[4] = ip.macByte5;
        mac[5] = ip.macByte6;
        check(buildIpSetup(mac, ip.address) == bytes);
    }

    const DiscoveryAnswer answer = parseDiscoveryAnswer(bytes);
    check(answer.name.size() <= 16);
    const DeviceKind kind = deviceKind(answer.mac, answer.variant);
    (void)deviceIdentity(kind, answer.mac);
    check(deviceSerialNumber(answer.mac) <= 0x3FFFFFFu);

    for (int n = 0; n < SetupRecord::kRecordCount; ++n) {
        SetupRecord record(n);
        const bool taken = record.decodeReadAnswer(bytes);
        check(taken == (bytes.size() >= 124 && static_cast<uint8_t>(bytes[3]) == 0xD0 + n));
        // Field access on whatever arrived: never past the end.
        (void)record.ipAddress();
        (void)record.gateway();
        (void)record.netMask();
        (void)record.ipPort();
        (void)record.telnetPassword();
        check(record.lineSpeed() >= 0 && record.lineSpeed() <= 5);
        (void)record.setIpAddress(u"127.0.0.1");
        (void)record.setNetMask(u"255.255.255.0");
        (void)record.setTelnetPassword(u"abcdef");
        (void)record.setLineSpeed(3);
        (void)record.setAllow77FE(true);
        check(record.bytes().size() == (taken ? bytes.size() - 4 : 0));
    }

    // Hex lines: whatever decodes re-encodes to the same line, digits aside
    // from letter case.
    for (bool charSum : {false, true}) {
        QByteArray data;
        uint16_t offset = 0;
        uint8_t type = 0;
        if (!decodeHexRecordLine(bytes, data, offset, charSum, &type))
            continue;
        const QByteArray upper = bytes.toByteArray().toUpper();
        const QByteArray byteSum = encodeHexRecordLine(offset, data, HexCheck::ByteSum, type);
        const QByteArray chars = encodeHexRecordLine(offset, data, HexCheck::CharSum, type);
        check(upper == byteSum || (charSum && upper == chars));
        QString text = QString::fromLatin1(bytes);
        QByteArray again;
        uint16_t againOffset = 0;
        check(decodeHexRecordLine(QStringView(text), again, againOffset, charSum));
        check(again == data && againOffset == offset);
    }
}

// The rest of the input as a conversation with one gateway: each chunk is a
// control byte (high bit: console or network; low bits: time step) and up to
// 255 bytes of payload whose length is the next byte.
void conversation(QByteArrayView bytes) {
    SimGateway gateway(GatewayFamily::K2, SimGateway::makeMac(GatewayFamily::K2, 0x010203),
                       {127, 0, 0, 2});
    gateway.setRestartMs(500);
    SimConsole console(gateway);
    int64_t now = 0;
    qsizetype pos = 0;
    while (pos + 2 <= bytes.size()) {
        const uint8_t control = static_cast<uint8_t>(bytes[pos]);
        const qsizetype length =
            qMin<qsizetype>(static_cast<uint8_t>(bytes[pos + 1]), bytes.size() - pos - 2);
        const QByteArrayView payload = bytes.sliced(pos + 2, length);
        pos += 2 + length;
        now += (control & 0x3F) * 37;
        if (control & 0x80) {
            if (control & 0x40)
                console.setFault(ConsoleFault(length % 4));
            const ConsoleReply reply = console.feed(payload, now);
            // One record listing per command at most: bounded output.
            check(reply.output.size() <= 64 + (payload.size() + 1) * 600);
        } else {
            const SetupReply reply = gateway.handleSetupDatagram(payload, now);
            check(reply.datagrams.size() <= 1);
            for (const QByteArray& d : reply.datagrams)
                check(d.size() == 4 || d.size() == 100 || d.size() == kDiscoveryAnswerLength ||
                      d.size() >= 124);
            if (control & 0x40) {
                gateway.setAddress({127, 0, 0, static_cast<uint8_t>(control)});
                gateway.setSetupFault(SetupFault(length % 5), control % 3);
            }
        }
        for (int n = 0; n < SetupRecord::kRecordCount; ++n)
            check(gateway.record(n).bytes().size() == SetupRecord::defaultBytes(n).size());
        check(isLoopback(gateway.address()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    parsers(bytes);
    conversation(bytes);
    return 0;
}
