#pragma once

#include <QString>

#include <array>
#include <cstdint>

// IPv4 and MAC addresses as the gateways carry them: plain bytes, first
// octet first. No sockets here; the link and the simulator runtime turn these
// into their own address types.
namespace kestrune {

using Ipv4Address = std::array<uint8_t, 4>;
using MacAddress = std::array<uint8_t, 6>;

// "192.168.1.10"
QString ipv4Text(const Ipv4Address& address);

// Dotted decimal text: exactly four parts, each 1 to 3 decimal digits with a
// value 0..255, blanks around the whole text allowed. Returns false and
// leaves out untouched for anything else ("1.2.3", "1.2.3.256", "a.b.c.d").
[[nodiscard]] bool parseIpv4(QStringView text, Ipv4Address& out);

// 127.0.0.0/8
bool isLoopback(const Ipv4Address& address);
bool isZero(const Ipv4Address& address);

// Six upper-case pairs joined by "-": "00-20-4A-12-34-56".
QString macText(const MacAddress& mac);

// Six hexadecimal pairs separated by "-" or ":" (either case). Returns false
// and leaves out untouched otherwise.
[[nodiscard]] bool parseMac(QStringView text, MacAddress& out);

} // namespace kestrune
