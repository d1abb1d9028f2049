#include "netsetup/DeviceList.h"

#include "base/Language.h"
#include "netsetup/SetupTexts.h"

namespace kestrune {

using namespace setuptext;

DiscoveredDevice deviceFromReply(QByteArrayView datagram, const QString& senderIp) {
    const DiscoveryAnswer answer = parseDiscoveryAnswer(datagram);
    DiscoveredDevice d;
    d.ip = senderIp;
    d.mac = answer.mac;
    d.kind = deviceKind(answer.mac, answer.variant);
    d.macText = macText(answer.mac);
    d.type = d.kind == DeviceKind::Unknown ? getText(TextUnknownFamily) : deviceFamilyName(d.kind);
    d.identity = deviceIdentity(d.kind, answer.mac);
    d.key = deviceItemKey(answer.mac, d.kind);
    d.info = getText(TextAnswered);
    return d;
}

void setReachability(DiscoveredDevice& device, bool resolved) {
    device.reachable = device.kind != DeviceKind::Unknown && resolved;
    device.info = getText(device.reachable ? TextReachable : TextNotReachable);
}

} // namespace kestrune
