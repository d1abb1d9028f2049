#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// The register contents of the simulated Modbus slave, built value by value
// in the data types and byte orders of the wizard's register sheet. Every
// value is recorded with where it lies, how the sheet must be set to read it
// and what the sheet then shows, so the tests and the demo know what to
// expect.
namespace kestrune::sim {

// Data type codes as the register sheet lists them (and as FillString takes
// them).
enum class RegType : int {
    Int16 = 0,
    UInt16 = 1,
    Int32 = 2,
    UInt32 = 3,
    Int64 = 4,
    UInt64 = 5,
    Float = 6,
    DFloat = 7,
    Char2 = 8,
    Char4 = 9,
    Char6 = 10,
    Char8 = 11,
    Char10 = 12,
    Char12 = 13,
    Char14 = 14,
    Char16 = 15,
};

// Byte order codes: where the wire bytes A B C D end up.
enum class ByteOrder : int { ABCD = 0, DCBA = 1, CDAB = 2, BADC = 3 };

// "INT16" ... "CHAR16".
QString regTypeName(RegType type);
// Bytes of a value of this type (2..16).
int regTypeBytes(RegType type);
// Whether the sheet's byte-order list for this type offers the order.
bool sheetOffersOrder(RegType type, ByteOrder order);
// The order's entry as the sheet lists it for the type ("AB", "BA" for the
// 16-bit types, "ABCD" ... otherwise), and its position in that list, which
// is the order code the sheet hands to FillString. -1 when not offered.
QString sheetOrderName(RegType type, ByteOrder order);
int sheetOrderPosition(RegType type, ByteOrder order);

// Puts value bytes (most significant first, or text in reading order) on
// the wire so that reading them back with `order` restores them. Every
// order is its own inverse, so the same call also reads wire bytes back.
QByteArray reorderBytes(const QByteArray& bytes, ByteOrder order);

// The sheet's hexadecimal rendering of value bytes: pairs of bytes, a blank
// between pairs ("3F80 0000").
QString sheetByteText(const QByteArray& bytes);

// One value of the map.
struct RegisterEntry {
    uint16_t address = 0; // first register
    RegType type = RegType::Int16;
    ByteOrder order = ByteOrder::ABCD;
    QByteArray wire;     // the register bytes as the slave sends them
    QString byteText;    // what the sheet shows under "Byte:"
    QString valueText;   // what the sheet shows under "Value:"
    QString description; // a short human label

    int registerCount() const { return int(wire.size() / 2); }
};

class RegisterMapBuilder {
public:
    explicit RegisterMapBuilder(uint16_t start = 0) : m_start(start) {}

    RegisterMapBuilder& addInt16(int16_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addUInt16(uint16_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addInt32(int32_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addUInt32(uint32_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addInt64(int64_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addUInt64(uint64_t value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addFloat(float value, ByteOrder order, const QString& description);
    RegisterMapBuilder& addDouble(double value, ByteOrder order, const QString& description);
    // A CHARn value: type Char2..Char16; text cut to n bytes or padded with
    // zero bytes.
    RegisterMapBuilder& addText(RegType type, const QByteArray& text, ByteOrder order,
                                const QString& description);
    // Registers that hold no documented value (zeros).
    RegisterMapBuilder& addPadding(int registers);

    uint16_t start() const { return m_start; }
    // The address the next value would get.
    uint32_t nextAddress() const { return m_start + uint32_t(m_bytes.size() / 2); }
    // The registers, high byte first, as 16-bit values.
    QList<uint16_t> registers() const;
    const QList<RegisterEntry>& entries() const { return m_entries; }

    // A readable table of the map, one line per value: register, data type,
    // byte order, bytes, value, description.
    QString report() const;

private:
    RegisterMapBuilder& add(RegType type, const QByteArray& valueBytes, ByteOrder order,
                            const QString& valueText, const QString& description);

    uint16_t m_start;
    QByteArray m_bytes;
    QList<RegisterEntry> m_entries;
};

// The simulator's default holding registers: every data type of the sheet
// in every byte order the sheet offers for it, one after the other from
// `start` (96 registers, so one read of 96 registers fetches them all).
// Offsets from `start`, each type in the orders its list offers, in list
// order:
//    0  INT16 -1234 (AB, BA)           2  UINT16 51966 (AB, BA)
//    4  INT32 -123456789 (4 orders)   12  UINT32 3000000000 (4 orders)
//   20  INT64 -1234567890123456789 (ABCD, DCBA)
//   28  UINT64 18000000000000000000 (ABCD, DCBA)
//   36  FLOAT 21.5 (4 orders)         44  DFLOAT -1234.5625 (4 orders)
//   60  CHAR2 "K2", 61 CHAR4 "GW01", 63 CHAR6 "Heat01", 66 CHAR8 "Kestrune",
//   70  CHAR10 "Gateway-K2", 75 CHAR12 "Serial 12345",
//   81  CHAR14 "Basement North", 88 CHAR16 "Simulated device"
// With the sheet's automatic numbering, rows set to these types in this
// sequence land on one value after the other.
RegisterMapBuilder defaultHoldingMap(uint16_t start = 0);
// The default input registers: readings of a heat meter in the orders that
// meters commonly use.
RegisterMapBuilder defaultInputMap(uint16_t start = 0);

} // namespace kestrune::sim
