#include "mbus/MBusFrame.h"

#include "base/TextUtil.h"

namespace kestrune {

using namespace mbus;

namespace {

uint8_t byteAt(QByteArrayView bytes, qsizetype index) {
    return static_cast<uint8_t>(bytes[index]);
}

// Pads on the left with F, keeps the last n characters, upper case.
QString maskText(QStringView text, int n) {
    QString padded = QString(n, QLatin1Char('F')) + text.toString();
    return padded.right(n).toUpper();
}

// Appends the bytes of an even-length hexadecimal mask, last pair first.
void appendPairsReversed(QByteArray& out, const QString& mask) {
    for (qsizetype i = mask.size() - 2; i >= 0; i -= 2) {
        out.append(static_cast<char>(hexToNumber(QStringView(mask).mid(i, 2)) & 0xFF));
    }
}

} // namespace

uint8_t MBusChecksum(QByteArrayView bytes) {
    unsigned sum = 0;
    for (char b : bytes) {
        sum = (sum + static_cast<uint8_t>(b)) & 0xFF;
    }
    return static_cast<uint8_t>(sum);
}

QByteArray buildShortFrame(uint8_t c, uint8_t a) {
    QByteArray frame;
    frame.reserve(5);
    frame.append(static_cast<char>(kShortStart));
    frame.append(static_cast<char>(c));
    frame.append(static_cast<char>(a));
    frame.append(static_cast<char>((c + a) & 0xFF));
    frame.append(static_cast<char>(kStop));
    return frame;
}

QByteArray buildLongFrame(QByteArrayView userBytes) {
    if (userBytes.size() < 3 || userBytes.size() > kMaxUserBytes) {
        return {};
    }
    const auto l = static_cast<char>(userBytes.size());
    QByteArray frame;
    frame.reserve(userBytes.size() + 6);
    frame.append(static_cast<char>(kLongStart));
    frame.append(l);
    frame.append(l);
    frame.append(static_cast<char>(kLongStart));
    frame.append(userBytes);
    frame.append(static_cast<char>(MBusChecksum(userBytes)));
    frame.append(static_cast<char>(kStop));
    return frame;
}

QByteArray buildLongFrame(uint8_t c, uint8_t a, uint8_t ci, QByteArrayView data) {
    QByteArray user;
    user.reserve(data.size() + 3);
    user.append(static_cast<char>(c));
    user.append(static_cast<char>(a));
    user.append(static_cast<char>(ci));
    user.append(data);
    return buildLongFrame(user);
}

QByteArray selectionData(QStringView id, QStringView manufacturer, QStringView version,
                         QStringView medium, std::optional<QStringView> fabrication) {
    QByteArray data;
    appendPairsReversed(data, maskText(id, 8));
    appendPairsReversed(data, maskText(manufacturer, 4));
    appendPairsReversed(data, maskText(version, 2));
    appendPairsReversed(data, maskText(medium, 2));
    if (fabrication) {
        data.append(static_cast<char>(0x0C));
        data.append(static_cast<char>(0x78));
        appendPairsReversed(data, maskText(*fabrication, 8));
    }
    return data;
}

QByteArray buildSelectionFrame(QStringView id, QStringView manufacturer, QStringView version,
                               QStringView medium, std::optional<QStringView> fabrication) {
    return buildLongFrame(kSndUd, kAddressSelected, kCiSelect,
                          selectionData(id, manufacturer, version, medium, fabrication));
}

bool isCompleteMBusReply(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    if (n == 1) {
        return byteAt(bytes, 0) == kAck;
    }
    if (n < 4 || byteAt(bytes, 0) != kLongStart || byteAt(bytes, 3) != kLongStart) {
        return false;
    }
    const int l = byteAt(bytes, 1);
    if (byteAt(bytes, 2) != l || n != l + 6) {
        return false;
    }
    // Position L + 5 (1-based) is index L + 4; the L bytes start at index 4.
    return byteAt(bytes, l + 4) == MBusChecksum(QByteArrayView(bytes).sliced(4, l));
}

int expectedFrameSize(QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        return 0;
    }
    switch (byteAt(bytes, 0)) {
    case kAck:
        return 1;
    case kShortStart:
        return 5;
    case kLongStart: {
        if (bytes.size() < 4) {
            if (bytes.size() == 3 && byteAt(bytes, 1) != byteAt(bytes, 2)) {
                return -1;
            }
            return 0;
        }
        const int l = byteAt(bytes, 1);
        if (byteAt(bytes, 2) != l || byteAt(bytes, 3) != kLongStart || l < 3) {
            return -1;
        }
        return l + 6;
    }
    default:
        return -1;
    }
}

std::optional<MBusFrame> parseMBusFrame(QByteArrayView bytes) {
    const int size = expectedFrameSize(bytes);
    if (size <= 0 || bytes.size() != size) {
        return std::nullopt;
    }
    MBusFrame frame;
    frame.size = size;
    switch (byteAt(bytes, 0)) {
    case kAck:
        frame.kind = MBusFrameKind::Ack;
        return frame;
    case kShortStart:
        if (byteAt(bytes, 4) != kStop || byteAt(bytes, 3) != MBusChecksum(bytes.sliced(1, 2))) {
            return std::nullopt;
        }
        frame.kind = MBusFrameKind::Short;
        frame.c = byteAt(bytes, 1);
        frame.a = byteAt(bytes, 2);
        return frame;
    default: { // long frame; expectedFrameSize checked 68 L L 68 and L >= 3
        const int l = byteAt(bytes, 1);
        if (byteAt(bytes, l + 5) != kStop ||
            byteAt(bytes, l + 4) != MBusChecksum(bytes.sliced(4, l))) {
            return std::nullopt;
        }
        frame.kind = l == 3 ? MBusFrameKind::Control : MBusFrameKind::Long;
        frame.c = byteAt(bytes, 4);
        frame.a = byteAt(bytes, 5);
        frame.ci = byteAt(bytes, 6);
        frame.data = bytes.sliced(7, l - 3).toByteArray();
        return frame;
    }
    }
}

std::optional<MBusReplyHeader> readReplyHeader(const QByteArray& frame) {
    // Eight header bytes (positions 8..15) before checksum and stop.
    if (!isCompleteMBusReply(frame) || frame.size() < 17) {
        return std::nullopt;
    }
    MBusReplyHeader h;
    h.a = byteAt(frame, 5);
    h.ci = byteAt(frame, 6);
    for (int pos = 11; pos >= 8; --pos) {
        h.id += hexPair(byteAt(frame, pos - 1));
    }
    h.manufacturer = static_cast<uint16_t>(byteAt(frame, 12) << 8 | byteAt(frame, 11));
    h.letters = manufacturerLetters(h.manufacturer);
    h.version = byteAt(frame, 13);
    h.medium = byteAt(frame, 14);
    return h;
}

QString manufacturerLetters(uint16_t value) {
    if (value == 0) {
        return {};
    }
    QString letters;
    unsigned m = value;
    for (unsigned weight : {1024u, 32u, 1u}) {
        letters += QChar(static_cast<char16_t>(m / weight + 64));
        m %= weight;
    }
    return letters;
}

std::optional<uint16_t> manufacturerValue(QStringView letters) {
    if (letters.size() != 3) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (QChar ch : letters) {
        if (ch < QLatin1Char('A') || ch > QLatin1Char('Z')) {
            return std::nullopt;
        }
        value = value * 32 + (ch.unicode() - 64);
    }
    return static_cast<uint16_t>(value);
}

} // namespace kestrune
