#include "mbus/MeterIdentification.h"

#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"

#include <array>

namespace kestrune {

namespace {

// Media 0..55 as the devices' documents name them.
constexpr std::array<const char*, 56> MediumNames = {
    "Other",
    "Oil",
    "Electricity",
    "Gas",
    "Heat",
    "Steam",
    "Warm Water",
    "Water",
    "Heat Cost Allocator",
    "Compressed Air",
    "Cooling (outlet)",
    "Cooling (inlet)",
    "Heat (inlet)",
    "Combined heat",
    "Bus/System",
    "Unknown device",
    "Reserved consumption",
    "Reserved consumption",
    "Reserved consumption",
    "Reserved consumption",
    "Calorific value",
    "Hot water",
    "Cold Water",
    "Dual Water",
    "Pressure",
    "A/D Converter",
    "Smoke detector",
    "Room sensor",
    "Gas detector ",
    "Reserved for sensors",
    "Reserved for sensors",
    "Reserved for sensors",
    "Breaker (electricity)",
    "Valve (gas or water)",
    "Reserved for switching devices",
    "Reserved for switching devices",
    "Reserved for switching devices",
    "Customer unit (display device)",
    "Reserved for customer units",
    "Reserved for customer units",
    "Waste water",
    "Garbage",
    "Reserved for carbon dioxide",
    "Reserved for environmental",
    "Reserved for environmental",
    "Reserved for environmental",
    "Reserved for environmental",
    "Reserved for environmental",
    "Reserved for system devices",
    "Communication controller (Gateway)",
    "Unidirectional repeater",
    "Bidirectional repeater",
    "Reserved for system devices",
    "Reserved for system devices",
    "Radio converter (system side)",
    "Radio converter(meter side)",
};

constexpr uint8_t MediumGateway = 49;
constexpr uint8_t MediumRoomSensor = 27;

QString hexWithSuffix(uint32_t value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper() +
           QLatin1Char('h');
}

QString abbType(uint8_t version) {
    switch (version) {
    case 2:
        return QStringLiteral("Delta");
    case 3:
        return QStringLiteral("Odin");
    case 4:
        return QStringLiteral("Delta Single");
    case 5:
        return QStringLiteral("Delta Plus");
    case 11:
        return QStringLiteral("Odin Single");
    default:
        return QStringLiteral("ABB N/A");
    }
}

QString zxqType(uint8_t version, uint8_t medium) {
    if (medium == MediumGateway) {
        switch (version) {
        case 1:
            return QStringLiteral("ZX-K2");
        case 2:
            return QStringLiteral("ZX-K2v2");
        case 3:
            return QStringLiteral("ZX-K2S");
        default:
            break;
        }
    }
    if (medium == MediumRoomSensor && version == 1)
        return QStringLiteral("ZX-TH");
    return QStringLiteral("ZXQ N/A");
}

QString relType(uint8_t version) {
    if (version == 0 || version > 79)
        return QStringLiteral("REL N/A");
    static const char* const ranges[] = {"PadPuls M1", "PadPuls M4", "PadIn4", "ANDi1..4",
                                         "PadPuls M2"};
    return QString::fromLatin1(ranges[version / 16]);
}

} // namespace

void MeterDataColumns::writeInto(QStringList& row) const {
    while (row.size() <= DeviceTypeColumn)
        row.append(QString());
    row[AddressColumn] = address;
    row[IdentificationColumn] = identification;
    row[ManufacturerColumn] = manufacturer;
    row[VersionColumn] = version;
    row[MediumColumn] = medium;
    row[DeviceTypeColumn] = deviceType;
}

QString mediumName(uint8_t medium) {
    return medium < MediumNames.size() ? QString::fromLatin1(MediumNames[medium]) : QString();
}

QString mediumText(uint8_t medium) {
    if (medium >= MediumNames.size())
        return QStringLiteral("Reserved (") + QString::number(medium) + QLatin1Char(')');
    return mediumName(medium) + QStringLiteral(" (") + hexWithSuffix(medium, 2) + QLatin1Char(')');
}

QString deviceTypeName(const QString& letters, uint8_t version, uint8_t medium) {
    if (letters == QLatin1String("ABB"))
        return abbType(version);
    if (letters == QLatin1String("ZXQ"))
        return zxqType(version, medium);
    if (letters == QLatin1String("REL"))
        return relType(version);
    return QStringLiteral("N/A");
}

std::optional<MeterDataColumns> extractMeterData(QByteArrayView frame) {
    // Header: positions 8 .. length - 2, that is length - 9 bytes.
    constexpr qsizetype HeaderBytes = 8;
    if (frame.size() - 9 < HeaderBytes)
        return std::nullopt;
    const auto at = [&frame](int position) { return static_cast<uint8_t>(frame[position - 1]); };

    MeterDataColumns c;
    c.address = QString::number(at(6));
    for (int position = 11; position >= 8; --position)
        c.identification += hexPair(at(position));
    if (at(7) == mbus::kCiFixedReply) {
        c.fixedStructure = true;
        c.manufacturer = c.version = c.medium = QStringLiteral("N/A");
        c.deviceType = QStringLiteral("Fixed");
        return c;
    }
    const auto value = static_cast<uint16_t>(at(13) << 8 | at(12));
    const QString letters = manufacturerLetters(value);
    const uint8_t version = at(14);
    const uint8_t medium = at(15);
    c.manufacturer = letters + QStringLiteral(" (") + hexWithSuffix(value, 4) + QLatin1Char(')');
    c.version = QString::number(version) + QStringLiteral(" (") + hexWithSuffix(version, 2) +
                QLatin1Char(')');
    c.medium = mediumText(medium);
    c.deviceType = deviceTypeName(letters, version, medium);
    return c;
}

} // namespace kestrune
