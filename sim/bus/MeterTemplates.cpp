#include "sim/bus/MeterTemplates.h"

#include "base/TextUtil.h"

namespace kestrune::sim {

using namespace mbus;

// Captured meter replies, as published with the open-source M-Bus library
// libmbus (github.com/rscada/libmbus, commit
// f09d613bf98d0d10ed99240470bd4a2d3be9873f, BSD 3-Clause, (c) Raditex
// Control AB / rSCADA and contributors). Only the frames' bytes are used.
const QList<CapturedReply>& capturedReplies() {
    static const QList<CapturedReply> replies = {
        {"abb_delta",
         "68 98 98 68 08 01 72 12 34 56 78 42 04 02 02 45 00 00 00 0E 84 00 00 00 00 00 00 00 8E "
         "10 84 00 00 00 00 00 00 00 8E 20 84 00 00 00 00 00 00 00 8E B0 00 84 00 00 00 00 00 00 "
         "00 8E 80 10 84 00 00 00 00 00 00 00 8E 80 40 84 00 00 00 00 00 00 00 8E 90 40 84 00 00 "
         "00 00 00 00 00 8E A0 40 84 00 00 00 00 00 00 00 8E B0 40 84 00 00 00 00 00 00 00 8E 80 "
         "50 84 00 00 00 00 00 00 00 01 FF 93 00 00 0C FF 92 00 00 00 00 01 07 FD 97 00 00 00 00 "
         "00 00 00 00 00 01 FF 98 00 00 1F 75 16"},
        {"sontex_supercal_531_telegram1",
         "68 51 51 68 08 01 72 24 06 42 08 EE 4D 0D 04 2C 30 00 00 04 0E 00 00 00 00 04 14 00 00 "
         "00 00 05 5B 00 00 00 00 05 5F 00 00 00 00 05 3E 00 00 00 00 05 2B 00 00 00 00 C4 00 0E "
         "00 00 00 00 C4 00 14 00 00 00 00 C4 40 14 00 00 00 00 C4 80 40 14 00 00 00 00 1F 71 16"},
        {"REL-Relay-Padpuls2",
         "68 2F 2F 68 08 16 72 01 63 21 11 AC 48 41 03 B1 00 00 00 0C 14 81 60 87 02 04 6D A1 15 "
         "E9 17 42 6C DF 1C 4C 14 82 73 59 02 42 EC 7E FF 1C 0F C0 01 01 0C BD 16"},
        {"rel_padpuls2",
         "68 2F 2F 68 08 04 72 04 00 00 00 AC 48 12 00 01 00 00 00 0C 00 00 00 00 00 04 6D 10 0D "
         "34 09 42 6C 1F 0C 4C 00 00 00 00 00 42 EC 7E 3F 0C 0F 43 01 01 00 D0 16"},
        {"kamstrup_382_005",
         "68 46 46 68 08 78 72 20 91 83 14 2D 2C 01 02 04 00 00 00 04 06 00 00 00 00 04 22 09 00 "
         "00 00 04 2B 00 00 00 00 14 2B 00 00 00 00 84 50 06 00 00 00 00 84 60 06 00 00 00 00 0F "
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 10 24 16"},
        {"itron_cyble_m-bus_v1.4_water",
         "68 56 56 68 08 01 72 71 00 00 12 77 04 14 07 0A 30 00 00 0C 78 71 00 00 12 0D 7C 08 44 "
         "49 20 2E 74 73 75 63 0A 45 4C 42 59 43 20 54 53 45 54 04 6D 2B 0D 98 11 02 7C 09 65 6D "
         "69 74 20 2E 74 61 62 F2 10 04 14 3D 30 00 00 04 94 7F 14 00 00 00 44 14 00 00 00 00 0F "
         "10 01 1F 2F 16"},
        {"engelmann_sensostar2c",
         "68 A6 A6 68 08 03 72 10 00 38 10 C5 14 01 04 1E 00 00 00 04 78 EA 62 9E 00 04 6D 32 14 "
         "86 16 04 15 81 00 00 00 04 FB 00 08 00 00 00 84 20 FB 00 00 00 00 00 84 30 FB 00 00 00 "
         "00 00 04 3D 00 00 00 00 04 2D 00 00 00 00 02 5B 5F 00 02 5F 2B 00 04 61 8A 14 00 00 02 "
         "27 FA 01 01 FD 17 00 04 90 28 A0 86 01 00 42 6C 7F 1C 44 15 81 00 00 00 44 FB 00 08 00 "
         "00 00 C4 20 FB 00 00 00 00 00 C4 30 FB 00 00 00 00 00 82 01 6C 5F 1C 84 01 15 54 00 00 "
         "00 84 01 FB 00 05 00 00 00 84 21 FB 00 00 00 00 00 84 31 FB 00 00 00 00 00 B7 16"},
        {"GWF-MTKcoder",
         "68 1B 1B 68 08 01 72 07 20 18 00 E6 1E 35 07 4C 00 00 00 0C 78 07 20 18 00 0C 16 69 02 "
         "00 00 96 16"},
        {"LGB_G350",
         "68 40 40 68 08 01 72 58 20 08 12 E2 30 40 03 40 00 00 00 2F 2F 4C 13 92 40 83 10 46 6D "
         "00 00 08 16 27 00 0D 78 11 34 31 38 35 30 32 38 30 32 31 39 35 37 31 30 30 47 89 40 FD "
         "1A 01 01 FD 17 00 01 FD 67 0F 38 16"},
        {"sen_pollusonic_2",
         "68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00 3F 16"},
    };
    return replies;
}

QByteArray capturedReply(QStringView name) {
    for (const CapturedReply& reply : capturedReplies()) {
        if (name == QLatin1StringView(reply.name)) {
            QByteArray bytes;
            if (parseHexBytes(QString::fromLatin1(reply.hex), bytes)) {
                return bytes;
            }
            return {};
        }
    }
    return {};
}

std::optional<MeterIdentity> identityFromReply(const QByteArray& frame) {
    if (!isCompleteMBusReply(frame) || frame.size() < 17) {
        return std::nullopt;
    }
    auto at = [&frame](int i) { return static_cast<uint8_t>(frame[i]); };
    const bool variable = at(6) == kCiVariableReply || at(6) == kCiVariableReplyMsbFirst;
    const bool fixed = at(6) == kCiFixedReply || at(6) == kCiFixedReplyMsbFirst;
    if (!variable && !fixed) {
        return std::nullopt; // no header: the frame says nothing about its sender
    }
    MeterIdentity identity;
    identity.id = static_cast<uint32_t>(at(10)) << 24 | static_cast<uint32_t>(at(9)) << 16 |
                  static_cast<uint32_t>(at(8)) << 8 | at(7);
    if (variable) {
        identity.manufacturer = static_cast<uint16_t>(at(12) << 8 | at(11));
        identity.version = at(13);
        identity.medium = at(14);
    }
    return identity;
}

QByteArray k2ReplyTemplate(uint8_t address, uint32_t id, uint8_t version, int16_t voltageDeciVolt,
                           int16_t currentDeciMilliAmp) {
    QByteArray data;
    auto add = [&data](std::initializer_list<unsigned> bytes) {
        for (unsigned b : bytes) {
            data.append(static_cast<char>(b & 0xFF));
        }
    };
    const auto u = static_cast<uint16_t>(voltageDeciVolt);
    const auto i = static_cast<uint16_t>(currentDeciMilliAmp);
    // Header (positions 8-19): id, manufacturer, version, medium, access, status, signature.
    add({id, id >> 8, id >> 16, id >> 24, kK2Manufacturer & 0xFF, kK2Manufacturer >> 8, version,
         kK2Medium, 0x01, 0x00, 0x00, 0x00});
    // Positions 20-25: fabrication number, 8 BCD digits (the id).
    add({0x0C, 0x78, id, id >> 8, id >> 16, id >> 24});
    // Positions 26-30: bus voltage, 0.1 V.
    add({0x02, 0xFD, 0x48, u, static_cast<unsigned>(u >> 8)});
    // Positions 31-35: bus current, 0.1 mA.
    add({0x02, 0xFD, 0x58, i, static_cast<unsigned>(i >> 8)});
    // Manufacturer-specific tail.
    add({0x0F, 0x00, 0x00});
    return buildLongFrame(kRspUd, address, kCiVariableReply, data);
}

SimMeter makeK2Gateway(uint8_t address, uint32_t id, uint8_t version, int16_t voltageDeciVolt,
                       int16_t currentDeciMilliAmp, int baud) {
    MeterIdentity identity{id, kK2Manufacturer, version, kK2Medium, id};
    return SimMeter(address, identity,
                    k2ReplyTemplate(address, id, version, voltageDeciVolt, currentDeciMilliAmp),
                    baud);
}

SimBus defaultInstallation(int baud) {
    struct Entry {
        const char* capture;
        uint8_t primary;
        std::optional<uint32_t> id;           // replaces the captured id
        std::optional<uint32_t> fabrication;  // as the reply's 0C 78 record states
        std::optional<uint16_t> manufacturer; // for the fixed-structure meter
    };
    // ABB and SON share address 1. Ids 12000071 / 12000093 / 12082058 and
    // 11216301 / 11216345 share leading digits.
    const Entry entries[] = {
        {"abb_delta", 1, {}, {}, {}},
        {"sontex_supercal_531_telegram1", 1, {}, {}, {}},
        {"REL-Relay-Padpuls2", 22, {}, {}, {}},
        {"rel_padpuls2", 4, 0x11216345, {}, {}},
        {"kamstrup_382_005", 120, {}, {}, {}},
        {"itron_cyble_m-bus_v1.4_water", 2, {}, 0x12000071, {}},
        {"engelmann_sensostar2c", 3, {}, {}, {}},
        {"GWF-MTKcoder", 6, 0x12000093, 0x00182007, {}},
        {"LGB_G350", 7, {}, {}, {}},
        {"sen_pollusonic_2", 8, {}, {}, 0x4CAE},
    };
    SimBus bus;
    for (const Entry& e : entries) {
        const QByteArray reply = capturedReply(QString::fromLatin1(e.capture));
        MeterIdentity identity = identityFromReply(reply).value_or(MeterIdentity{});
        if (e.id) {
            identity.id = *e.id;
        }
        identity.fabrication = e.fabrication;
        if (e.manufacturer) {
            identity.manufacturer = *e.manufacturer;
        }
        bus.addMeter(SimMeter(e.primary, identity, reply, baud));
    }
    // A K2 gateway: 36.0 V on the bus, 1.5 mA per unit load for the eleven devices.
    bus.addMeter(makeK2Gateway(250, 0x23456789, 2, 360, 165, baud));
    return bus;
}

} // namespace kestrune::sim
