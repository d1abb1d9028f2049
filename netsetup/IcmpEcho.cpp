#include "netsetup/IcmpEcho.h"

namespace kestrune {

namespace {

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kEchoRequest = 8;
constexpr int kIcmpHeader = 8;
constexpr int kMinIpHeader = 20;

uint8_t byteAt(QByteArrayView b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

uint16_t word(QByteArrayView b, qsizetype i) {
    return static_cast<uint16_t>((byteAt(b, i) << 8) | byteAt(b, i + 1));
}

// Length of a leading IPv4 header, or 0 when the packet has none.
qsizetype ipHeaderLength(QByteArrayView packet) {
    if (packet.size() < kMinIpHeader || (byteAt(packet, 0) >> 4) != 4)
        return 0;
    const qsizetype length = qsizetype{byteAt(packet, 0) & 0x0F} * 4;
    return length >= kMinIpHeader && length <= packet.size() ? length : 0;
}

} // namespace

uint16_t internetChecksum(QByteArrayView bytes) {
    uint32_t sum = 0;
    qsizetype i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += word(bytes, i);
    if (i < bytes.size())
        sum += static_cast<uint32_t>(byteAt(bytes, i)) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

QByteArray buildEchoRequest(uint16_t identifier, uint16_t sequence, QByteArrayView payload) {
    QByteArray packet(kIcmpHeader, '\0');
    packet[0] = static_cast<char>(kEchoRequest);
    packet[4] = static_cast<char>(identifier >> 8);
    packet[5] = static_cast<char>(identifier & 0xFF);
    packet[6] = static_cast<char>(sequence >> 8);
    packet[7] = static_cast<char>(sequence & 0xFF);
    packet.append(payload);
    const uint16_t sum = internetChecksum(packet);
    packet[2] = static_cast<char>(sum >> 8);
    packet[3] = static_cast<char>(sum & 0xFF);
    return packet;
}

std::optional<EchoReply> parseEchoReply(QByteArrayView packet, bool withIpHeader) {
    QByteArrayView icmp = packet;
    if (withIpHeader) {
        const qsizetype header = ipHeaderLength(packet);
        if (header == 0)
            return std::nullopt;
        icmp = packet.sliced(header);
    }
    if (icmp.size() < kIcmpHeader || byteAt(icmp, 0) != kEchoReply || byteAt(icmp, 1) != 0)
        return std::nullopt;
    if (internetChecksum(icmp) != 0)
        return std::nullopt;
    EchoReply reply;
    reply.identifier = word(icmp, 4);
    reply.sequence = word(icmp, 6);
    reply.payload = icmp.sliced(kIcmpHeader).toByteArray();
    return reply;
}

std::optional<Ipv4Address> ipv4Source(QByteArrayView packet) {
    if (ipHeaderLength(packet) == 0)
        return std::nullopt;
    return Ipv4Address{byteAt(packet, 12), byteAt(packet, 13), byteAt(packet, 14),
                       byteAt(packet, 15)};
}

} // namespace kestrune
