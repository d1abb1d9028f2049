#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// A meter's reply to REQ_UD2 as the meter page's report reads it: the
// header fields as hexadecimal, the two bus values of a K2 gateway, and the
// hexadecimal dump. Pure functions over bytes; nothing is read beyond the
// reply's user data, however short the reply.
namespace kestrune {

// What a data reply says, read as the report reads it. Fields the reply
// does not hold stay empty: nothing is read beyond the reply's user data.
struct MeterReadData {
    QString address;        // byte 6, decimal
    int ci = -1;            // byte 7, -1 when the reply has no CI
    QString identification; // bytes 11, 10, 9, 8 as hexadecimal pairs
    QString manufacturer;   // bytes 13, 12 as four hexadecimal digits; FFFF fixed
    QString letters;        // the three letters of the manufacturer code
    QString version;        // byte 14, two hexadecimal digits; FF fixed
    QString medium;         // byte 15, two hexadecimal digits; FF fixed
    bool fixedStructure = false;
};

// Decodes a reply to REQ_UD2 for the report: CI 72 and 76 carry the long
// header, CI 73 and 77 a fixed structure (identification only); any other
// CI leaves the fields empty, as does a reply too short to hold them.
MeterReadData readMeterReply(QByteArrayView reply);

// The two bus values a K2 gateway's reply carries: bytes 29-30 (voltage,
// 0.1 V) and 34-35 (current, 0.1 mA), each least significant byte first.
// Nothing unless the reply's user data holds all four bytes.
struct K2RawValues {
    QByteArray voltage; // two bytes as received
    QByteArray current;
};
std::optional<K2RawValues> k2RawValues(QByteArrayView reply);

// Whether the reply is from a K2 gateway that reports bus values: maker
// code ZXQ with version 02 (K2 V2) or 03 (K2S).
bool isK2WithBusValues(const MeterReadData& data);

// AppendHexDump's lines: for every 16 bytes CR LF and a line of 48
// characters with byte k as two hexadecimal digits at position 3k (from 0).
QString hexDumpText(QByteArrayView bytes);

} // namespace kestrune
