#pragma once

#include "netsetup/Address.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

// ICMP echo request and reply (RFC 792) as bytes, for the ping.
namespace kestrune {

// The Internet checksum (RFC 1071): one's complement of the one's
// complement sum of 16-bit words, an odd last byte padded with zero.
uint16_t internetChecksum(QByteArrayView bytes);

// Type 8, code 0, checksum, identifier and sequence number (big-endian),
// then the payload.
QByteArray buildEchoRequest(uint16_t identifier, uint16_t sequence, QByteArrayView payload);

struct EchoReply {
    uint16_t identifier = 0;
    uint16_t sequence = 0;
    QByteArray payload;
};

// An echo reply (type 0, code 0, checksum correct) as a socket delivers it:
// a raw socket with the IPv4 header in front (withIpHeader; its length is
// taken from the header and checked against what arrived), an ICMP datagram
// socket without. Anything else - other ICMP messages, cut packets - gives
// nothing.
std::optional<EchoReply> parseEchoReply(QByteArrayView packet, bool withIpHeader);

// The sender of a packet that starts with an IPv4 header; nothing when it
// doesn't.
std::optional<Ipv4Address> ipv4Source(QByteArrayView packet);

} // namespace kestrune
