#pragma once

#include "mbus/VifTables.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

// The data records of an M-Bus reply: the variable data structure (CI 72,
// 76, 7A, 78, and the records a master sends with CI 51) read record by
// record, DIF and DIFEs, VIF and VIFEs, and the data, into values with units;
// and the fixed data structure (CI 73, 77) read into its two counters.
//
// Every byte read is checked against the end of the frame. A record that
// does not fit ends the decoding with a note; every record before it is
// kept. Codes the tables call reserved give a record that says so and keeps
// its bytes.
namespace kestrune::mbus {

// The function field of the DIF, and the special functions.
enum class RecordFunction : uint8_t {
    Instantaneous,
    Maximum,
    Minimum,
    Error,             // value during error state
    ManufacturerData,  // DIF 0F: manufacturer-specific data up to the end
    MoreRecordsFollow, // DIF 1F: the same, and more records follow in the next reply
    GlobalReadout,     // DIF 7F: global readout request
};

// The stable name of a function ("instantaneous", "maximum", "minimum",
// "error", "manufacturer-specific", "more-records-follow", "global-readout").
QString functionId(RecordFunction function);

// The data field of the DIF.
enum class DataCoding : uint8_t {
    NoData,
    Int8,
    Int16,
    Int24,
    Int32,
    Real32,
    Int48,
    Int64,
    Selection, // selection for readout: no data
    Bcd2,
    Bcd4,
    Bcd6,
    Bcd8,
    Variable, // length in the first data byte (LVAR)
    Bcd12,
    Special, // DIF x F
};

enum class ValueKind : uint8_t {
    None,     // no data (or selection for readout)
    Number,   // number and text hold the value in unit
    Text,     // a text: plain text, identifier digits, BCD with other digits
    Date,     // ISO 8601 date, "2014-03-13"
    DateTime, // ISO 8601 local date and time, "2014-03-13T11:11" (seconds when sent)
    Time,     // time of day, "11:11:05"
    Bytes,    // bytes shown in hexadecimal
};

// Remarks a record carries besides its value.
enum RecordFlag : uint32_t {
    FlagReservedCode = 1u << 0,    // a reserved VIF, extension or LVAR code
    FlagInvalidDigits = 1u << 1,   // BCD digits other than 0-9 (shown as they are)
    FlagTimeInvalid = 1u << 2,     // the meter marks its date and time invalid
    FlagSummerTime = 1u << 3,      // date and time in summer time
    FlagInvalidDate = 1u << 4,     // a date or time that is no calendar date (shown as bytes)
    FlagTooManyDifes = 1u << 5,    // more than ten DIFEs; the others are ignored
    FlagTooManyVifes = 1u << 6,    // more than ten VIFEs; the others are ignored
    FlagTextBeforeVifes = 1u << 7, // plain-text unit sent before its VIFEs
    FlagUnexpectedSize = 1u << 8,  // the data size does not suit the VIF (shown as bytes)
};

struct RecordQualifier {
    Qualifier qualifier = Qualifier::None;
    int param = 0;
    bool operator==(const RecordQualifier&) const = default;
};

struct DataRecord {
    int offset = 0;  // position of the DIF in the frame, from 0
    QByteArray dib;  // DIF and DIFEs as sent
    QByteArray vib;  // VIF, VIFEs and a plain-text unit as sent
    QByteArray data; // the data field as sent (with its LVAR byte)
    DataCoding coding = DataCoding::NoData;
    RecordFunction function = RecordFunction::Instantaneous;
    uint64_t storage = 0;
    uint32_t tariff = 0;
    uint32_t subunit = 0;
    Quantity quantity = Quantity::None;
    QString plainText; // the unit a plain-text VIF sends
    std::vector<RecordQualifier> qualifiers;
    QString unit; // after normalisation; "" for none
    ValueKind kind = ValueKind::None;
    double number = 0.0; // Number; for decimal Text the digits' value
    QString text;        // the value as text (locale-independent); "" for None
    uint32_t flags = 0;

    bool has(RecordFlag flag) const { return (flags & flag) != 0; }
    bool hasQualifier(Qualifier q) const;
};

// How the application data start.
enum class HeaderKind : uint8_t {
    None,  // records right after CI (CI 78, 51, 55)
    Short, // access number, status, signature (CI 7A)
    Long,  // identification, manufacturer, version, medium, then as Short (CI 72, 76)
    Fixed, // the fixed data structure (CI 73, 77)
};

struct ApplicationHeader {
    HeaderKind kind = HeaderKind::None;
    bool msbFirst = false; // mode 2: the records' numbers come high byte first
    QString id;            // 8 hexadecimal digits, most significant first
    uint16_t manufacturer = 0;
    uint8_t version = 0;
    uint8_t medium = 0; // fixed structure: its own 4-bit medium code
    uint8_t accessNumber = 0;
    uint8_t status = 0;
    uint16_t signature = 0;
};

enum class DecodeNoteKind : uint8_t {
    NotLongFrame,       // not 68 L L 68 ... with L + 6 bytes: nothing decoded
    ChecksumMismatch,   // a: the checksum sent, b: the sum of the bytes
    StopByteMissing,    // a: the last byte
    HeaderTooShort,     // a: header bytes needed, b: bytes there
    NoRecords,          // a: the CI; it carries no data records
    ApplicationError,   // CI 70; a: the error code, -1 when none is sent
    Alarm,              // CI 71; a: the alarm byte, -1 when none is sent
    RecordPastEnd,      // a: bytes the record needs at least, b: bytes left
    ReservedLvar,       // a: the LVAR byte; its length is unknown
    ReservedSpecialDif, // a: the DIF
    TrailingBytes,      // a: bytes after the fixed data structure
};

struct DecodeNote {
    DecodeNoteKind kind = DecodeNoteKind::NotLongFrame;
    int record = -1; // the record the note is about (its position), -1 for none
    int offset = 0;  // position in the frame
    int a = 0;
    int b = 0;
    QByteArray bytes; // the bytes left undecoded, where that applies
};

struct RecordDecoding {
    bool isLongFrame = false;
    uint8_t c = 0;
    uint8_t a = 0;
    uint8_t ci = 0;
    ApplicationHeader header;
    std::vector<DataRecord> records;
    std::vector<DecodeNote> notes;
    bool complete = false; // every byte of the application data was read

    bool hasNote(DecodeNoteKind kind) const;
};

// Decodes a whole long frame 68 L L 68 C A CI ... CS 16 (exactly L + 6
// bytes). A wrong checksum or stop byte is noted, and the records are
// decoded all the same.
RecordDecoding decodeRecords(QByteArrayView frame);

// Decodes the bytes after CI. baseOffset is the position of the first of
// them in the frame (7 in a long frame); toDevice: the records travel from
// the master to the meter.
RecordDecoding decodeApplicationData(uint8_t ci, QByteArrayView data, int baseOffset = 7,
                                     bool toDevice = false);

// Whether a CI introduces data records (variable or fixed structure).
bool ciCarriesRecords(uint8_t ci);

} // namespace kestrune::mbus
