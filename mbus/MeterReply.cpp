#include "mbus/MeterReply.h"

#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"

#include <algorithm>

namespace kestrune {

namespace {
const QString CrLf = QStringLiteral("\r\n");
} // namespace

MeterReadData readMeterReply(QByteArrayView reply) {
    MeterReadData d;
    // Positions from 1; the user data ends before checksum and stop byte.
    const qsizetype lastUserPosition = reply.size() - 2;
    const auto has = [lastUserPosition](int position) { return position <= lastUserPosition; };
    const auto at = [&reply](int position) { return static_cast<uint8_t>(reply[position - 1]); };
    if (has(6))
        d.address = QString::number(at(6));
    if (!has(7))
        return d;
    d.ci = at(7);
    const auto identification = [&] {
        QString id;
        for (int position = 11; position >= 8; --position)
            id += hexPair(at(position));
        return id;
    };
    switch (d.ci) {
    case 0x72:
    case 0x76:
        if (has(15)) {
            d.identification = identification();
            const auto value = static_cast<uint16_t>(at(13) << 8 | at(12));
            d.manufacturer = hexPair(at(13)) + hexPair(at(12));
            d.letters = manufacturerLetters(value);
            d.version = hexPair(at(14));
            d.medium = hexPair(at(15));
        }
        break;
    case 0x73:
    case 0x77:
        d.fixedStructure = true;
        if (has(11))
            d.identification = identification();
        d.manufacturer = QStringLiteral("FFFF");
        d.version = QStringLiteral("FF");
        d.medium = QStringLiteral("FF");
        break;
    default:
        break;
    }
    return d;
}

std::optional<K2RawValues> k2RawValues(QByteArrayView reply) {
    if (reply.size() - 2 < 35)
        return std::nullopt;
    return K2RawValues{reply.sliced(28, 2).toByteArray(), reply.sliced(33, 2).toByteArray()};
}

bool isK2WithBusValues(const MeterReadData& data) {
    return data.manufacturer == QLatin1String("6B11") &&
           (data.version == QLatin1String("02") || data.version == QLatin1String("03"));
}

QString hexDumpText(QByteArrayView bytes) {
    QString text;
    for (qsizetype start = 0; start < bytes.size(); start += 16) {
        QString line(48, QLatin1Char(' '));
        const qsizetype end = std::min<qsizetype>(start + 16, bytes.size());
        for (qsizetype i = start; i < end; ++i) {
            const QString pair = hexPair(static_cast<uint8_t>(bytes[i]));
            line[3 * (i - start)] = pair[0];
            line[3 * (i - start) + 1] = pair[1];
        }
        text += CrLf + line;
    }
    return text;
}

} // namespace kestrune
