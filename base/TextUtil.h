#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Small text helpers that every part of the program shares: list fields,
// hexadecimal digits, and the lenient number reading that settings and INI
// values go through.
namespace kestrune {

// The n-th field (0-based) of a separated list, empty when there is none.
// listItem("300;600;1200;2400", 3, ';') == "2400".
QString listItem(const QString& list, int n, QChar separator = QLatin1Char(';'));

// Value of one hexadecimal digit (0-9, A-F, a-f), or -1 for any other
// character.
int hexDigitValue(char16_t c);

// Value of a hexadecimal text, weighted from the right. Digits 0-9, A-F and
// a-f; any other character counts as the digit 0. Wraps modulo 2^32.
uint32_t hexToNumber(QStringView text);

// One byte as two upper-case hexadecimal digits ("0A").
QString hexPair(uint8_t byte);

// Bytes as upper-case pairs separated by single spaces ("10 5B FE").
QString hexPairs(const QByteArray& bytes);

// Parses "10 5b fe" / "105BFE" / "10-5B-FE" into bytes. Returns false (and
// leaves out untouched) on an odd digit count or a character that is neither
// a hexadecimal digit nor a separator (blank, '-', ':', ',').
[[nodiscard]] bool parseHexBytes(QStringView text, QByteArray& out);

// Lenient number reading used for every stored setting: the leading number
// of the text (after blanks, with an optional sign), 0 when the text does
// not start with one. "12" -> 12, " 7x" -> 7, "abc" -> 0, "" -> 0. Values
// beyond the 64-bit range are clamped.
int64_t toNumber(QStringView text);

// Whether the whole text (blanks around it allowed) is a decimal number,
// with optional sign and fraction. "" and "12a" are not numbers.
bool isNumeric(QStringView text);

// Text with every byte stored as one character 0-255, and back. Telegram
// bytes and 8-bit file contents travel this way.
QString fromBytes(const QByteArray& bytes);
QByteArray toBytes(const QString& text);

} // namespace kestrune
