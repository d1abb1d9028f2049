#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Hexadecimal record lines of the gateways' serial console:
//   ":" count(2) offset(4) type(2) data(2 per byte) check(2)
// with upper-case digits. Lines carry no terminator here; the console adds
// its own (CR when the wizard writes, LF when the gateway answers).
namespace kestrune {

enum class HexCheck {
    // Intel HEX: the byte values of the line, check value included, sum to 0
    // modulo 256. What the wizard verifies on lines it receives.
    ByteSum,
    // Two's complement, modulo 256, of the sum of the character codes of all
    // characters after the colon. What the wizard puts on the lines it writes.
    CharSum,
};

// Record type the wizard puts on the lines of a record write.
constexpr uint8_t kHexTypeRecordWrite = 0x10;
// Record type of plain data lines (Intel HEX).
constexpr uint8_t kHexTypeData = 0x00;

// The check value of a line body (everything after the colon, without the
// check value itself).
uint8_t hexLineCheckValue(QByteArrayView body, HexCheck rule);

// One line for data at a record offset. Data longer than 255 bytes is cut to
// 255 bytes (a line's count has two digits).
QByteArray encodeHexRecordLine(uint16_t offset, QByteArrayView data, HexCheck rule,
                               uint8_t type = kHexTypeRecordWrite);

// A whole record in lines of bytesPerLine bytes (1..255; the last line shorter
// when the record length is not a multiple), offsets counting from 0.
QList<QByteArray> encodeRecordLines(QByteArrayView record, HexCheck rule,
                                    uint8_t type = kHexTypeRecordWrite, int bytesPerLine = 32);

// ":00000001FF", the closing line of a record write.
QByteArray hexEndLine();

// Decodes one line (no terminator). Accepted only when it starts with ":",
// holds nothing but hexadecimal digits after it, an even number of them and
// at least 10, its count matches the number of data bytes, and its check
// value follows the Intel HEX rule (or, with acceptCharSum, the character
// sum rule). On success data, offset and (when given) type are set; on
// failure they are untouched.
[[nodiscard]] bool decodeHexRecordLine(QByteArrayView line, QByteArray& data, uint16_t& offset,
                                       bool acceptCharSum = false, uint8_t* type = nullptr);
[[nodiscard]] bool decodeHexRecordLine(QStringView line, QByteArray& data, uint16_t& offset,
                                       bool acceptCharSum = false, uint8_t* type = nullptr);

} // namespace kestrune
