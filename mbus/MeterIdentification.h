#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What a meter's answer to REQ_UD2 says about the meter, in the words the
// search list shows: the address it answered from, its identification
// number, its manufacturer as letters and code, its version, its medium and,
// for a few makers, the device type. Plain functions over bytes.
namespace kestrune {

// The identification cells of one search result row.
struct MeterDataColumns {
    // Positions of the cells in the row (the row's first cell is the icon).
    static constexpr int AddressColumn = 2;
    static constexpr int IdentificationColumn = 5;
    static constexpr int ManufacturerColumn = 6;
    static constexpr int VersionColumn = 7;
    static constexpr int MediumColumn = 8;
    static constexpr int DeviceTypeColumn = 9;

    QString address;        // "5"
    QString identification; // "12345678"
    QString manufacturer;   // "ABB (0442h)"; "N/A" for a fixed structure
    QString version;        // "1 (01h)"; "N/A" for a fixed structure
    QString medium;         // "Heat (04h)", "Reserved (128)"; "N/A" for a fixed structure
    QString deviceType;     // "Delta", "N/A"; "Fixed" for a fixed structure
    bool fixedStructure = false;

    // Writes the six cells into their columns, growing the row to ten cells
    // when it is shorter; the other cells stay as they are.
    void writeInto(QStringList& row) const;
};

// Decodes the fixed header of a reply (positions from 1: A 6, CI 7, the
// header from 8 up to the checksum). Nothing when the frame holds fewer than
// eight header bytes (frames shorter than 17 bytes): then no cell is
// written, as the search expects. The frame is read as it is; callers pass
// replies that passed the completeness rule.
std::optional<MeterDataColumns> extractMeterData(QByteArrayView frame);

// Text of a medium byte: the table's name and " (hh)" for 0..55,
// "Reserved (n)" above.
QString mediumText(uint8_t medium);
// The table's name of a medium 0..55, empty above. Entry 28 ends in a blank
// and entry 55 has none before its parenthesis, as the devices' documents
// write them.
QString mediumName(uint8_t medium);

// The device type some makers' version (and medium) bytes stand for, by the
// three letters of the manufacturer (compared exactly); "N/A" for every
// other maker.
QString deviceTypeName(const QString& letters, uint8_t version, uint8_t medium);

} // namespace kestrune
