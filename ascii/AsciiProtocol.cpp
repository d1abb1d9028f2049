#include "ascii/AsciiProtocol.h"

#include "base/TextUtil.h"

#include <algorithm>
#include <cmath>

namespace kestrune::ascii {

namespace {

QByteArray twoDigits(int n) {
    n = std::clamp(n, 0, 99);
    return QByteArray::number(n).rightJustified(2, '0');
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The leading decimal number of a text, as a double; 0 when there is none.
double leadingNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    bool digits = false;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    bool ok = false;
    const double value = text.sliced(start, i - start).toString().toDouble(&ok);
    return ok ? value : 0.0;
}

} // namespace

int SequenceCounter::next() {
    ++m_value;
    if (m_value > MaxSequence || m_value < 0)
        m_value = 0;
    return m_value;
}

int stationFromText(QStringView text) {
    const double value = leadingNumber(text);
    if (!(value > 0.0)) // negative, zero (or not a number at all)
        return 0;
    if (value >= MaxStation)
        return MaxStation;
    return static_cast<int>(std::lround(value));
}

QString normalisedStationText(const QString& text) {
    if (text.isEmpty())
        return text;
    if (!isNumeric(text))
        return QStringLiteral("0");
    if (text.trimmed().toDouble() > MaxStation)
        return QString::number(MaxStation);
    return text;
}

std::optional<QByteArray> tagNameBytes(QStringView name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u > 0xFF || u < 0x20 || u == 0x7F)
            return std::nullopt;
        bytes += static_cast<char>(u);
    }
    return bytes;
}

QByteArray checksumText(QByteArrayView text) {
    unsigned sum = 0;
    for (const char c : text)
        sum += static_cast<uint8_t>(c);
    return QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0');
}

QByteArray buildRequest(int sequence, int protocol, int station, QByteArrayView tag) {
    QByteArray body = twoDigits(sequence) + twoDigits(protocol) + twoDigits(station);
    body += tag;
    QByteArray frame(1, Stx);
    frame += body;
    if (protocol != ProtocolStandard)
        frame += checksumText(body);
    frame += Etx;
    return frame;
}

ReplyKind classifyReply(QByteArrayView rx) {
    if (rx.size() < 2 || rx.back() != Etx)
        return ReplyKind::Incomplete;
    if (rx.front() == Ack)
        return ReplyKind::Positive;
    if (rx.front() == Nak)
        return ReplyKind::Negative;
    return ReplyKind::Incomplete;
}

QByteArray replyValue(QByteArrayView reply, int protocol) {
    // The value starts after the start character and the six header
    // characters.
    constexpr qsizetype ValueStart = 7;
    const qsizetype n = reply.size();
    if (protocol != ProtocolStandard) {
        if (n == 9)
            return reply.sliced(ValueStart, 1).toByteArray();
        const qsizetype length = n - ValueStart - 3;
        return length > 0 ? reply.sliced(ValueStart, length).toByteArray() : QByteArray();
    }
    const qsizetype length = n - ValueStart - 1;
    return length > 0 ? reply.sliced(ValueStart, length).toByteArray() : QByteArray();
}

char replyErrorCode(QByteArrayView reply) {
    return reply.size() >= 2 ? reply[reply.size() - 2] : char(0);
}

QString errorText(char code) {
    const char* meaning = nullptr;
    switch (code) {
    case 'C':
        meaning = " Crc fault";
        break;
    case 'D':
        meaning = " Wrong data type (Must be VT_BSTR)";
        break;
    case 'I':
        meaning = " Can't find Item ID";
        break;
    case 'L':
        meaning = " Bad Length";
        break;
    case 'M':
        meaning = " Timeout master port";
        break;
    case 'N':
        meaning = " No complete request message";
        break;
    case 'O':
        meaning = " To many read items";
        break;
    case 'S':
        meaning = " No start character";
        break;
    case 'T':
        meaning = " Timeout slave port";
        break;
    case 'V':
        meaning = " Validation (Write value out of range)";
        break;
    case 'X':
        meaning = " Internal use for wrong multi drop address";
        break;
    default:
        return QStringLiteral("Unknown AsciiError");
    }
    return QStringLiteral("Error ") + QLatin1Char(code) + QLatin1Char(':') + QLatin1String(meaning);
}

QString timeoutText(qsizetype received) {
    return QStringLiteral("BusTimeout (Received ") + QString::number(received) +
           QStringLiteral(" bytes)");
}

} // namespace kestrune::ascii
