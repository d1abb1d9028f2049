#pragma once

#include "netsetup/Address.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The datagrams of the gateways' setup port: discovery, record read and
// write, and the IP-SETUP datagram that addresses a gateway by the end of its
// MAC address. Builders for both sides and parsers that never read past the
// end of what they are given.
namespace kestrune {

constexpr uint16_t kSetupPort = 30718; // 0x77FE

// ---- Record read / write (n = record number 0..7) -------------------------

QByteArray discoveryRequest(); // 00 00 00 F6
bool isDiscoveryRequest(QByteArrayView datagram);

QByteArray recordReadRequest(int recordNumber);                         // 00 00 00 E0+n
QByteArray recordReadAnswer(int recordNumber, QByteArrayView record);   // 00 00 00 D0+n, record
QByteArray recordWriteRequest(int recordNumber, QByteArrayView record); // 00 00 00 C0+n, record
QByteArray recordWriteAck(int recordNumber);                            // 00 00 00 B0+n

// A read answer as the wizard accepts it: at least 124 bytes and the fourth
// byte D0 + n. On success record holds everything after the header.
[[nodiscard]] bool parseRecordReadAnswer(QByteArrayView datagram, int recordNumber,
                                         QByteArray& record);
// Exactly the four bytes 00 00 00 B0+n.
bool isRecordWriteAck(QByteArrayView datagram, int recordNumber);

// ---- IP-SETUP --------------------------------------------------------------

constexpr int kIpSetupLength = 20;

struct IpSetupRequest {
    uint8_t macByte5 = 0; // fifth byte of the target's MAC address
    uint8_t macByte6 = 0; // sixth byte
    Ipv4Address address{};
    // 0.0.0.0 asks the gateway to obtain an address by DHCP.
    bool isDhcp() const { return isZero(address); }
    bool matches(const MacAddress& mac) const { return mac[4] == macByte5 && mac[5] == macByte6; }
};

// 00 00 00 FC "IP-SETUP" 00 00, MAC bytes 5 and 6, the new address.
QByteArray buildIpSetup(const MacAddress& mac, const Ipv4Address& address);
// Exactly 20 bytes with the fixed parts in place.
[[nodiscard]] bool parseIpSetup(QByteArrayView datagram, IpSetupRequest& out);

// ---- What a gateway receives on its setup port -----------------------------

struct SetupRequest {
    enum class Kind { Invalid, Discovery, ReadRecord, WriteRecord, IpSetup };
    Kind kind = Kind::Invalid;
    int recordNumber = -1;  // ReadRecord, WriteRecord
    QByteArray record;      // WriteRecord: the bytes after the header (never empty)
    IpSetupRequest ipSetup; // IpSetup
};

// Sorts a datagram that arrived at a gateway's setup port. Short, unknown or
// malformed datagrams give Kind::Invalid.
SetupRequest parseSetupRequest(QByteArrayView datagram);

// ---- Discovery answer and device kinds -------------------------------------

// Our gateways answer discovery with this many bytes; the wizard itself uses
// only byte 0 (variant) and bytes 24..29 (MAC address).
constexpr int kDiscoveryAnswerLength = 30;

struct DiscoveryAnswer {
    uint8_t variant = 0;       // byte 0
    QByteArray name;           // bytes 4..19, device name, zero padded
    uint8_t firmwareMajor = 0; // byte 20
    uint8_t firmwareMinor = 0; // byte 21
    uint16_t port = 0;         // bytes 22..23, transparent port, low byte first
    MacAddress mac{};          // bytes 24..29
};

// Byte 0 variant, 1..2 zero, 3 F7, then the fields above.
QByteArray buildDiscoveryAnswer(const DiscoveryAnswer& answer);
// Never fails: a byte beyond the end of the datagram counts as 0, so a short
// answer gives "00" for its missing MAC bytes.
DiscoveryAnswer parseDiscoveryAnswer(QByteArrayView datagram);

enum class DeviceKind : int { Unknown = 0, K1 = 1, K2 = 2, K2S = 3 };

// By the MAC vendor prefix, and for 02-4B-7D by the variant byte.
DeviceKind deviceKind(const MacAddress& mac, uint8_t variant);
// "K1", "K2", "K2S"; empty for Unknown (the wizard shows its own text).
QString deviceFamilyName(DeviceKind kind);
// Last four MAC bytes as one big-endian number, halved with ties rounding to
// even, low 26 bits.
uint32_t deviceSerialNumber(const MacAddress& mac);
// Serial number in decimal for K2 and K2S, "-" otherwise.
QString deviceIdentity(DeviceKind kind, const MacAddress& mac);
// The device list's item key: MAC text, "/", kind code.
QString deviceItemKey(const MacAddress& mac, DeviceKind kind);

} // namespace kestrune
