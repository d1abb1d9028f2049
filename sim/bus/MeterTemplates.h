#pragma once

#include "sim/bus/SimBus.h"
#include "sim/bus/SimMeter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace kestrune::sim {

// Replies of real meters that simulated meters answer with, by capture name.
struct CapturedReply {
    const char* name;
    const char* hex; // the whole frame, hexadecimal pairs
};
const QList<CapturedReply>& capturedReplies();

// The bytes of a captured reply by name; empty when there is none.
QByteArray capturedReply(QStringView name);

// Identity as a variable-data reply states it (id, manufacturer, version,
// medium); a fixed-structure reply (CI 73, 77) only the id. Nothing when
// the frame is no complete reply of 17 bytes or more with one of those CIs.
std::optional<MeterIdentity> identityFromReply(const QByteArray& frame);

// The maker's code of the K2 gateways (ZXQ) and their medium (31h,
// communication controller).
inline constexpr uint16_t kK2Manufacturer = 0x6B11;
inline constexpr uint8_t kK2Medium = 0x31;

// RSP_UD of a K2 gateway answering as a meter: a variable-data reply whose
// bytes 29-30 hold the bus voltage in 0.1 V and 34-35 the bus current in
// 0.1 mA, each signed 16-bit, least significant byte first (records DIF 02
// VIF FD VIFE 48 and DIF 02 VIF FD VIFE 58).
QByteArray k2ReplyTemplate(uint8_t address, uint32_t id, uint8_t version, int16_t voltageDeciVolt,
                           int16_t currentDeciMilliAmp);

// A K2 gateway as a meter on its own bus (version 2: K2 V2, 3: K2S).
SimMeter makeK2Gateway(uint8_t address, uint32_t id, uint8_t version, int16_t voltageDeciVolt,
                       int16_t currentDeciMilliAmp, int baud = 2400);

// The embedded installation: ten meters of different makers and media from
// captured replies (ABB and REL devices among them, one fixed-data-structure
// meter, two meters sharing primary address 1, identification numbers
// sharing leading digits so a secondary search has to descend) and a K2
// gateway at address 250. All at `baud`.
SimBus defaultInstallation(int baud = 2400);

} // namespace kestrune::sim
