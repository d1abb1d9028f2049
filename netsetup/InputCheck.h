#pragma once

#include "netsetup/Address.h"

#include <QString>

#include <cstdint>
#include <optional>

// Checks of the addresses and numbers a user types for the gateway setup.
// Each returns the value, or nothing and a message (language texts, with
// the text that was typed in quotes) that the page shows in a box and the
// command-line tool prints. Nothing that fails here is ever sent.
namespace kestrune {

// Six hexadecimal pairs separated by "-" (or ":").
std::optional<MacAddress> checkMacAddress(const QString& text, QString& message);

// Dotted decimal with four parts 0..255. A device address must be one
// device: multicast, reserved and broadcast addresses (first part 224 and
// above) are refused. 0.0.0.0 is taken: it asks the device for DHCP.
std::optional<Ipv4Address> checkDeviceAddress(const QString& text, QString& message);

// Any dotted decimal address (a gateway address, 0.0.0.0 for none).
std::optional<Ipv4Address> checkAddress(const QString& text, QString& message);

// A subnet mask: one bits followed by zero bits (255.255.255.0, 0.0.0.0).
std::optional<Ipv4Address> checkNetMask(const QString& text, QString& message);

// A port number 1..65535, decimal digits only.
std::optional<uint16_t> checkPort(const QString& text, QString& message);

} // namespace kestrune
