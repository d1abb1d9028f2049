// libFuzzer target: what the discovery, the address check and the ping read
// from the network and the kernel - discovery replies, the neighbour table's
// text, ICMP packets with and without an IPv4 header - and the checks of
// typed addresses, fed arbitrary bytes.
#include "netsetup/DeviceList.h"
#include "netsetup/IcmpEcho.h"
#include "netsetup/InputCheck.h"
#include "netsetup/NeighbourTable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const DiscoveredDevice d = deviceFromReply(bytes, QStringLiteral("127.0.0.1"));
    check(d.macText.size() == 17);
    check(d.key.startsWith(d.macText + u'/'));
    check(d.identity == QLatin1String("-") || d.kind == DeviceKind::K2 ||
          d.kind == DeviceKind::K2S);
    for (int i = 0; i < 6; ++i)
        check(d.mac[static_cast<size_t>(i)] ==
              (24 + i < bytes.size() ? static_cast<uint8_t>(bytes[24 + i]) : 0));

    // The table's text may name any address; ask for a few.
    for (const Ipv4Address& a :
         {Ipv4Address{127, 0, 0, 1}, Ipv4Address{10, 0, 0, 1}, Ipv4Address{0, 0, 0, 0}}) {
        if (const std::optional<MacAddress> mac = findNeighbour(bytes, a))
            check(*mac != MacAddress{});
    }

    for (bool withHeader : {false, true}) {
        if (const std::optional<EchoReply> r = parseEchoReply(bytes, withHeader)) {
            check(r->payload.size() + 8 <= bytes.size());
            if (!withHeader)
                check(internetChecksum(bytes) == 0);
        }
    }
    (void)ipv4Source(bytes);
    const QByteArray request = buildEchoRequest(0x1234, static_cast<uint16_t>(size), bytes);
    check(internetChecksum(request) == 0);

    const QString text = QString::fromLatin1(bytes.data(), bytes.size());
    QString message;
    if (const std::optional<Ipv4Address> mask = checkNetMask(text, message))
        check(checkAddress(text, message).has_value());
    (void)checkMacAddress(text, message);
    (void)checkDeviceAddress(text, message);
    if (const std::optional<uint16_t> port = checkPort(text, message))
        check(*port >= 1);
    return 0;
}
