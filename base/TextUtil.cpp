#include "TextUtil.h"

#include <limits>

namespace kestrune {

QString listItem(const QString& list, int n, QChar separator) {
    if (n < 0)
        return {};
    int start = 0;
    for (int field = 0; field < n; ++field) {
        const int next = list.indexOf(separator, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const int end = list.indexOf(separator, start);
    return end < 0 ? list.mid(start) : list.mid(start, end - start);
}

int hexDigitValue(char16_t u) {
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

static int hexDigit(QChar c) {
    return hexDigitValue(c.unicode());
}

uint32_t hexToNumber(QStringView text) {
    uint32_t value = 0;
    for (QChar c : text) {
        const int d = hexDigit(c);
        value = value * 16u + static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    return value;
}

QString hexPair(uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    QString s(2, QLatin1Char('0'));
    s[0] = QLatin1Char(digits[byte >> 4]);
    s[1] = QLatin1Char(digits[byte & 0x0F]);
    return s;
}

QString hexPairs(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += hexPair(static_cast<uint8_t>(bytes[i]));
    }
    return out;
}

bool parseHexBytes(QStringView text, QByteArray& out) {
    QByteArray bytes;
    int high = -1;
    for (QChar c : text) {
        const int d = hexDigit(c);
        if (d < 0) {
            if (c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char(':') ||
                c == QLatin1Char(',') || c == QLatin1Char('\t')) {
                if (high >= 0)
                    return false; // separator inside a pair
                continue;
            }
            return false;
        }
        if (high < 0) {
            high = d;
        } else {
            bytes.append(static_cast<char>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0)
        return false;
    out = bytes;
    return true;
}

int64_t toNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int64_t value = 0;
    const int64_t limit = std::numeric_limits<int64_t>::max() / 10;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        if (value > limit)
            return negative ? std::numeric_limits<int64_t>::min()
                            : std::numeric_limits<int64_t>::max();
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

bool isNumeric(QStringView text) {
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return false;
    qsizetype i = 0;
    if (t[0] == QLatin1Char('-') || t[0] == QLatin1Char('+'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9')) {
            digits = true;
        } else if (t[i] == QLatin1Char('.') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

QString fromBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

QByteArray toBytes(const QString& text) {
    return text.toLatin1();
}

} // namespace kestrune
