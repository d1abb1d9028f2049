#include "Address.h"

#include "base/TextUtil.h"

namespace kestrune {

QString ipv4Text(const Ipv4Address& address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address[0])
        .arg(address[1])
        .arg(address[2])
        .arg(address[3]);
}

bool parseIpv4(QStringView text, Ipv4Address& out) {
    const QStringView trimmed = text.trimmed();
    Ipv4Address parsed{};
    int part = 0;
    int digits = 0;
    int value = 0;
    for (QChar c : trimmed) {
        if (c == QLatin1Char('.')) {
            if (digits == 0 || part == 3)
                return false;
            parsed[static_cast<size_t>(part++)] = static_cast<uint8_t>(value);
            digits = 0;
            value = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || ++digits > 3)
            return false;
        value = value * 10 + (c.unicode() - u'0');
        if (value > 255)
            return false;
    }
    if (part != 3 || digits == 0)
        return false;
    parsed[3] = static_cast<uint8_t>(value);
    out = parsed;
    return true;
}

bool isLoopback(const Ipv4Address& address) {
    return address[0] == 127;
}

bool isZero(const Ipv4Address& address) {
    return address == Ipv4Address{};
}

QString macText(const MacAddress& mac) {
    QString text;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i)
            text += QLatin1Char('-');
        text += hexPair(mac[i]);
    }
    return text;
}

static int hexValue(QChar c) {
    return hexDigitValue(c.unicode());
}

bool parseMac(QStringView text, MacAddress& out) {
    const QStringView t = text.trimmed();
    if (t.size() != 17)
        return false;
    MacAddress parsed{};
    for (int i = 0; i < 6; ++i) {
        const int hi = hexValue(t[i * 3]);
        const int lo = hexValue(t[i * 3 + 1]);
        if (hi < 0 || lo < 0)
            return false;
        if (i < 5 && t[i * 3 + 2] != QLatin1Char('-') && t[i * 3 + 2] != QLatin1Char(':'))
            return false;
        parsed[static_cast<size_t>(i)] = static_cast<uint8_t>(hi * 16 + lo);
    }
    out = parsed;
    return true;
}

} // namespace kestrune
