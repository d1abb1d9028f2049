#include "channel/ReceiveRules.h"

#include "mbus/MBusFrame.h"

namespace kestrune::receive {

namespace {

uint8_t byteAt(QByteArrayView bytes, qsizetype i) {
    return static_cast<uint8_t>(bytes[i]);
}

// Value of one hexadecimal digit; anything else counts as 0, as the shared
// hexadecimal reading does.
unsigned hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return 0;
}

// Value of the characters [from, from + count) of line, weighted from the
// right; characters past the end are simply not there (a group cut short by
// the end of the line is read from what it has).
unsigned hexGroup(QByteArrayView line, qsizetype from, qsizetype count) {
    unsigned value = 0;
    for (qsizetype i = from; i < from + count && i < line.size(); ++i)
        value = value * 16 + hexDigit(line[i]);
    return value;
}

} // namespace

bool isCompleteMBusReply(QByteArrayView rx, int& announcedLength) {
    // Remember the length of the last long-frame header seen, for the
    // time-out note; the rule itself belongs to the M-Bus codec.
    if (rx.size() >= 4 && byteAt(rx, 0) == MBusLongStart && byteAt(rx, 3) == MBusLongStart)
        announcedLength = byteAt(rx, 1);
    return kestrune::isCompleteMBusReply(rx);
}

QString mbusTimeoutNote(qsizetype received, int announcedLength) {
    const qsizetype m = qsizetype{announcedLength} + 6;
    const QString n = QString::number(received);
    if (received > m && announcedLength == 0)
        return QStringLiteral("BusTimeout (Received ") + n + QStringLiteral(" bytes)");
    if (received > m)
        return QStringLiteral("BusTimeout (Received to many bytes ") + n + QStringLiteral(" of ") +
               QString::number(m) + QLatin1Char(')');
    if (received <= 0)
        return QStringLiteral("BusTimeout");
    if (received <= 3)
        return QStringLiteral("BusTimeout (Received ") + n + QStringLiteral(" byte)");
    return QStringLiteral("BusTimeout (Received only ") + n + QStringLiteral(" of ") +
           QString::number(m) + QStringLiteral(" bytes)");
}

bool decodeHexRecordLine(QByteArrayView line, QByteArray& rx) {
    if (line.size() < 12 || line[0] != ':')
        return false;
    // Groups start at the second character and every second one after it;
    // a last group cut short by the end of the line counts with what it has.
    unsigned sum = 0;
    for (qsizetype at = 1; at < line.size(); at += 2)
        sum += hexGroup(line, at, 2);
    if ((sum & 0xFF) != 0)
        return false;
    const unsigned address = hexGroup(line, 3, 4);
    if (qsizetype{address} + 4 != rx.size())
        return false;
    // Data groups from the tenth character up to, not including, the final
    // group (the checksum).
    QByteArray data;
    data.reserve((line.size() - 9) / 2);
    for (qsizetype at = 9; at + 2 < line.size(); at += 2)
        data.append(static_cast<char>(hexGroup(line, at, 2) & 0xFF));
    rx.append(data);
    return true;
}

bool containsConsolePrompt(QByteArrayView serialText) {
    // Digits and '>' have no letter case, so a plain search is the
    // case-insensitive one.
    return serialText.contains(QByteArrayView("9>")) || serialText.contains(QByteArrayView("0>"));
}

} // namespace kestrune::receive
