#pragma once

#include "netsetup/Address.h"
#include "netsetup/SetupDatagram.h"

#include <QByteArrayView>
#include <QString>

// One row of the device list that discovery fills: built from a discovery
// reply and the address it came from. Pure: no sockets here.
namespace kestrune {

struct DiscoveredDevice {
    QString ip;       // "IP-address": the sender of the reply
    MacAddress mac{}; // reply bytes 24..29 ("00" for missing bytes)
    DeviceKind kind = DeviceKind::Unknown;
    QString macText;        // "MAC-address"
    QString type;           // "Type": the family, or text 264
    QString identity;       // "Identity": serial number or "-"
    QString key;            // item key: MAC text, "/", kind code
    QString info;           // "Info": text 150, after the check 186 or 242
    bool reachable = false; // the neighbour-table check found it
};

// The row of one reply: MAC from bytes 24..29, family and kind by vendor
// prefix and variant byte, identity, key, and "Info" = text 150. Short
// replies give "00" for the missing bytes.
DiscoveredDevice deviceFromReply(QByteArrayView datagram, const QString& senderIp);

// After the neighbour-table check: "Info" = text 186 when the device is of
// a known family and its MAC address could be resolved, text 242 otherwise.
void setReachability(DiscoveredDevice& device, bool resolved);

} // namespace kestrune
