#include "HexRecord.h"
#include "base/TextUtil.h"

#include <algorithm>

namespace kestrune {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void appendPair(QByteArray& out, uint8_t byte) {
    out.append(kDigits[byte >> 4]);
    out.append(kDigits[byte & 0x0F]);
}

int hexValue(char c) {
    return hexDigitValue(static_cast<unsigned char>(c));
}

} // namespace

uint8_t hexLineCheckValue(QByteArrayView body, HexCheck rule) {
    unsigned sum = 0;
    if (rule == HexCheck::CharSum) {
        for (char c : body)
            sum += static_cast<uint8_t>(c);
    } else {
        for (qsizetype i = 0; i + 1 < body.size(); i += 2) {
            const int hi = hexValue(body[i]);
            const int lo = hexValue(body[i + 1]);
            sum += static_cast<unsigned>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
        }
    }
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

QByteArray encodeHexRecordLine(uint16_t offset, QByteArrayView data, HexCheck rule, uint8_t type) {
    const qsizetype count = std::min<qsizetype>(data.size(), 255);
    QByteArray body;
    body.reserve(8 + 2 * count + 2);
    appendPair(body, static_cast<uint8_t>(count));
    appendPair(body, static_cast<uint8_t>(offset >> 8));
    appendPair(body, static_cast<uint8_t>(offset & 0xFF));
    appendPair(body, type);
    for (qsizetype i = 0; i < count; ++i)
        appendPair(body, static_cast<uint8_t>(data[i]));
    const uint8_t check = hexLineCheckValue(body, rule);
    QByteArray line(1, ':');
    line += body;
    appendPair(line, check);
    return line;
}

QList<QByteArray> encodeRecordLines(QByteArrayView record, HexCheck rule, uint8_t type,
                                    int bytesPerLine) {
    bytesPerLine = std::clamp(bytesPerLine, 1, 255);
    QList<QByteArray> lines;
    for (qsizetype offset = 0; offset < record.size() && offset <= 0xFFFF; offset += bytesPerLine)
        lines.append(encodeHexRecordLine(
            static_cast<uint16_t>(offset),
            record.sliced(offset).first(std::min<qsizetype>(bytesPerLine, record.size() - offset)),
            rule, type));
    return lines;
}

QByteArray hexEndLine() {
    return QByteArrayLiteral(":00000001FF");
}

bool decodeHexRecordLine(QByteArrayView line, QByteArray& data, uint16_t& offset,
                         bool acceptCharSum, uint8_t* type) {
    // Colon, count, offset, type and check value at least.
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0)
        return false;
    const QByteArrayView digits = line.sliced(1);
    QByteArray bytes;
    bytes.reserve(digits.size() / 2);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int hi = hexValue(digits[i]);
        const int lo = hexValue(digits[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.append(static_cast<char>(hi * 16 + lo));
    }
    const qsizetype count = static_cast<uint8_t>(bytes[0]);
    if (count != bytes.size() - 5)
        return false;

    unsigned sum = 0;
    for (char b : std::as_const(bytes))
        sum += static_cast<uint8_t>(b);
    bool checked = (sum & 0xFF) == 0;
    if (!checked && acceptCharSum) {
        const QByteArrayView body = digits.first(digits.size() - 2);
        checked = hexLineCheckValue(body, HexCheck::CharSum) ==
                  static_cast<uint8_t>(bytes[bytes.size() - 1]);
    }
    if (!checked)
        return false;

    offset = static_cast<uint16_t>((static_cast<uint8_t>(bytes[1]) << 8) |
                                   static_cast<uint8_t>(bytes[2]));
    if (type)
        *type = static_cast<uint8_t>(bytes[3]);
    data = bytes.sliced(4, count);
    return true;
}

bool decodeHexRecordLine(QStringView line, QByteArray& data, uint16_t& offset, bool acceptCharSum,
                         uint8_t* type) {
    for (QChar c : line) {
        if (c.unicode() > 0x7F)
            return false;
    }
    const QByteArray latin = line.toLatin1();
    return decodeHexRecordLine(QByteArrayView(latin), data, offset, acceptCharSum, type);
}

} // namespace kestrune
