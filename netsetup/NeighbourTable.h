#pragma once

#include "netsetup/Address.h"

#include <QByteArrayView>

#include <optional>

namespace kestrune {

// The hardware address the kernel's neighbour table (the text of
// /proc/net/arp) holds for an IPv4 address: only a complete entry (flag
// 0x2) with a non-zero address counts. Lines that don't have the table's
// shape are skipped.
//
//   IP address       HW type     Flags       HW address            Mask     Device
//   192.168.1.7      0x1         0x2         00:20:4a:12:34:56     *        eth0
std::optional<MacAddress> findNeighbour(QByteArrayView table, const Ipv4Address& address);

} // namespace kestrune
