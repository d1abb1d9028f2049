#include "SimRegisterMap.h"

#include <QStringList>

#include <cstring>
#include <type_traits>

namespace kestrune::sim {

namespace {

const char* const kTypeNames[] = {"INT16",  "UINT16", "INT32",  "UINT32", "INT64", "UINT64",
                                  "FLOAT",  "DFLOAT", "CHAR2",  "CHAR4",  "CHAR6", "CHAR8",
                                  "CHAR10", "CHAR12", "CHAR14", "CHAR16"};
const char* const kOrderNames[] = {"ABCD", "DCBA", "CDAB", "BADC"};

template <typename T> QByteArray bigEndian(T value) {
    QByteArray out(int(sizeof(T)), '\0');
    auto u = static_cast<std::make_unsigned_t<T>>(value);
    for (int i = int(sizeof(T)) - 1; i >= 0; --i) {
        out[i] = char(u & 0xFF);
        u = static_cast<std::make_unsigned_t<T>>(u >> 8);
    }
    return out;
}

} // namespace

QString regTypeName(RegType type) {
    const int t = int(type);
    return t >= 0 && t < 16 ? QString::fromLatin1(kTypeNames[t]) : QString();
}

int regTypeBytes(RegType type) {
    switch (type) {
    case RegType::Int16:
    case RegType::UInt16:
        return 2;
    case RegType::Int32:
    case RegType::UInt32:
    case RegType::Float:
        return 4;
    case RegType::Int64:
    case RegType::UInt64:
    case RegType::DFloat:
        return 8;
    default:
        break;
    }
    const int t = int(type);
    return t >= int(RegType::Char2) && t <= int(RegType::Char16) ? 2 * (t - 7) : 0;
}

int sheetOrderPosition(RegType type, ByteOrder order) {
    const int o = int(order);
    switch (type) {
    case RegType::Int16:
    case RegType::UInt16:
    case RegType::Int64:
    case RegType::UInt64:
        return o <= 1 ? o : -1;
    case RegType::Int32:
    case RegType::UInt32:
    case RegType::Float:
    case RegType::DFloat:
        return o;
    default:
        return o == 0 ? 0 : -1;
    }
}

bool sheetOffersOrder(RegType type, ByteOrder order) {
    return sheetOrderPosition(type, order) >= 0;
}

QString sheetOrderName(RegType type, ByteOrder order) {
    if (type == RegType::Int16 || type == RegType::UInt16) {
        if (order == ByteOrder::ABCD)
            return QStringLiteral("AB");
        if (order == ByteOrder::DCBA)
            return QStringLiteral("BA");
    }
    return QString::fromLatin1(kOrderNames[int(order) & 3]);
}

QByteArray reorderBytes(const QByteArray& bytes, ByteOrder order) {
    const qsizetype n = bytes.size();
    QByteArray out = bytes;
    switch (order) {
    case ByteOrder::ABCD:
        break;
    case ByteOrder::DCBA:
        for (qsizetype i = 0; i < n; ++i)
            out[i] = bytes[n - 1 - i];
        break;
    case ByteOrder::CDAB:
        for (qsizetype k = 0; 2 * k + 1 < n; ++k) {
            out[2 * k] = bytes[(n & ~qsizetype(1)) - 2 - 2 * k];
            out[2 * k + 1] = bytes[(n & ~qsizetype(1)) - 1 - 2 * k];
        }
        break;
    case ByteOrder::BADC:
        for (qsizetype k = 0; 2 * k + 1 < n; ++k) {
            out[2 * k] = bytes[2 * k + 1];
            out[2 * k + 1] = bytes[2 * k];
        }
        break;
    }
    return out;
}

QString sheetByteText(const QByteArray& bytes) {
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += QStringLiteral("%1").arg(uint(uint8_t(bytes[i])), 2, 16, QLatin1Char('0')).toUpper();
        if (i % 2 == 1 && i + 1 < bytes.size())
            out += QLatin1Char(' ');
    }
    return out;
}

RegisterMapBuilder& RegisterMapBuilder::add(RegType type, const QByteArray& valueBytes,
                                            ByteOrder order, const QString& valueText,
                                            const QString& description) {
    RegisterEntry e;
    e.address = uint16_t(nextAddress());
    e.type = type;
    e.order = order;
    e.wire = reorderBytes(valueBytes, order);
    e.byteText = sheetByteText(e.wire);
    e.valueText = valueText;
    e.description = description;
    m_bytes += e.wire;
    m_entries.append(e);
    return *this;
}

RegisterMapBuilder& RegisterMapBuilder::addInt16(int16_t value, ByteOrder order,
                                                 const QString& description) {
    return add(RegType::Int16, bigEndian(value), order, QString::number(value), description);
}

RegisterMapBuilder& RegisterMapBuilder::addUInt16(uint16_t value, ByteOrder order,
                                                  const QString& description) {
    return add(RegType::UInt16, bigEndian(value), order, QString::number(value), description);
}

RegisterMapBuilder& RegisterMapBuilder::addInt32(int32_t value, ByteOrder order,
                                                 const QString& description) {
    return add(RegType::Int32, bigEndian(value), order, QString::number(value), description);
}

RegisterMapBuilder& RegisterMapBuilder::addUInt32(uint32_t value, ByteOrder order,
                                                  const QString& description) {
    return add(RegType::UInt32, bigEndian(value), order, QString::number(value), description);
}

RegisterMapBuilder& RegisterMapBuilder::addInt64(int64_t value, ByteOrder order,
                                                 const QString& description) {
    return add(RegType::Int64, bigEndian(value), order, QString::number(qint64(value)),
               description);
}

RegisterMapBuilder& RegisterMapBuilder::addUInt64(uint64_t value, ByteOrder order,
                                                  const QString& description) {
    return add(RegType::UInt64, bigEndian(value), order, QString::number(quint64(value)),
               description);
}

RegisterMapBuilder& RegisterMapBuilder::addFloat(float value, ByteOrder order,
                                                 const QString& description) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return add(RegType::Float, bigEndian(bits), order,
               QString::asprintf("%f", static_cast<double>(value)), description);
}

RegisterMapBuilder& RegisterMapBuilder::addDouble(double value, ByteOrder order,
                                                  const QString& description) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return add(RegType::DFloat, bigEndian(bits), order, QString::asprintf("%f", value),
               description);
}

RegisterMapBuilder& RegisterMapBuilder::addText(RegType type, const QByteArray& text,
                                                ByteOrder order, const QString& description) {
    int width = regTypeBytes(type);
    if (int(type) < int(RegType::Char2) || width <= 0) {
        type = RegType::Char2;
        width = 2;
    }
    QByteArray bytes = text.left(width);
    bytes.append(QByteArray(width - int(bytes.size()), '\0'));
    // The sheet shows the text up to its first zero byte.
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArray shown = zero < 0 ? bytes : bytes.left(zero);
    return add(type, bytes, order, QString::fromLatin1(shown), description);
}

RegisterMapBuilder& RegisterMapBuilder::addPadding(int registers) {
    if (registers > 0)
        m_bytes.append(QByteArray(2 * registers, '\0'));
    return *this;
}

QList<uint16_t> RegisterMapBuilder::registers() const {
    QList<uint16_t> out;
    out.reserve(m_bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < m_bytes.size(); i += 2)
        out.append(uint16_t((uint8_t(m_bytes[i]) << 8) | uint8_t(m_bytes[i + 1])));
    return out;
}

QString RegisterMapBuilder::report() const {
    QStringList lines;
    lines << QStringLiteral("Register  DataType  Format  Byte                                     "
                            "Value                          Description");
    for (const RegisterEntry& e : m_entries) {
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6")
                     .arg(e.address, -8)
                     .arg(regTypeName(e.type), -8)
                     .arg(sheetOrderName(e.type, e.order), -6)
                     .arg(e.byteText, -39)
                     .arg(e.valueText, -29)
                     .arg(e.description);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

RegisterMapBuilder defaultHoldingMap(uint16_t start) {
    using O = ByteOrder;
    RegisterMapBuilder b(start);
    b.addInt16(-1234, O::ABCD, QStringLiteral("INT16 AB"))
        .addInt16(-1234, O::DCBA, QStringLiteral("INT16 BA"))
        .addUInt16(51966, O::ABCD, QStringLiteral("UINT16 AB"))
        .addUInt16(51966, O::DCBA, QStringLiteral("UINT16 BA"));
    for (O o : {O::ABCD, O::DCBA, O::CDAB, O::BADC})
        b.addInt32(-123456789, o, QStringLiteral("INT32 ") + sheetOrderName(RegType::Int32, o));
    for (O o : {O::ABCD, O::DCBA, O::CDAB, O::BADC})
        b.addUInt32(3000000000u, o, QStringLiteral("UINT32 ") + sheetOrderName(RegType::UInt32, o));
    for (O o : {O::ABCD, O::DCBA})
        b.addInt64(-1234567890123456789LL, o,
                   QStringLiteral("INT64 ") + sheetOrderName(RegType::Int64, o));
    for (O o : {O::ABCD, O::DCBA})
        b.addUInt64(18000000000000000000ULL, o,
                    QStringLiteral("UINT64 ") + sheetOrderName(RegType::UInt64, o));
    for (O o : {O::ABCD, O::DCBA, O::CDAB, O::BADC})
        b.addFloat(21.5f, o, QStringLiteral("FLOAT ") + sheetOrderName(RegType::Float, o));
    for (O o : {O::ABCD, O::DCBA, O::CDAB, O::BADC})
        b.addDouble(-1234.5625, o, QStringLiteral("DFLOAT ") + sheetOrderName(RegType::DFloat, o));
    b.addText(RegType::Char2, "K2", O::ABCD, QStringLiteral("CHAR2"))
        .addText(RegType::Char4, "GW01", O::ABCD, QStringLiteral("CHAR4"))
        .addText(RegType::Char6, "Heat01", O::ABCD, QStringLiteral("CHAR6"))
        .addText(RegType::Char8, "Kestrune", O::ABCD, QStringLiteral("CHAR8"))
        .addText(RegType::Char10, "Gateway-K2", O::ABCD, QStringLiteral("CHAR10"))
        .addText(RegType::Char12, "Serial 12345", O::ABCD, QStringLiteral("CHAR12"))
        .addText(RegType::Char14, "Basement North", O::ABCD, QStringLiteral("CHAR14"))
        .addText(RegType::Char16, "Simulated device", O::ABCD, QStringLiteral("CHAR16"));
    return b;
}

RegisterMapBuilder defaultInputMap(uint16_t start) {
    using O = ByteOrder;
    RegisterMapBuilder b(start);
    b.addUInt32(1234567u, O::ABCD, QStringLiteral("Energy, kWh"))
        .addFloat(987.654f, O::CDAB, QStringLiteral("Volume, m3"))
        .addFloat(1.25f, O::ABCD, QStringLiteral("Flow, m3/h"))
        .addInt16(713, O::ABCD, QStringLiteral("Flow temperature, 0.1 C"))
        .addInt16(452, O::ABCD, QStringLiteral("Return temperature, 0.1 C"))
        .addInt32(-2610, O::CDAB, QStringLiteral("Temperature difference, 0.01 K"))
        .addUInt16(0, O::ABCD, QStringLiteral("Error flags"))
        .addText(RegType::Char8, "12345678", O::ABCD, QStringLiteral("Meter serial number"))
        .addDouble(98765.4321, O::ABCD, QStringLiteral("Operating hours"));
    return b;
}

} // namespace kestrune::sim
