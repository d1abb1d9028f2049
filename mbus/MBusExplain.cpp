#include "mbus/MBusExplain.h"

#include "base/Language.h"
#include "base/TextUtil.h"
#include "mbus/DataRecords.h"
#include "mbus/MBusFrame.h"
#include "mbus/MeterIdentification.h"
#include "mbus/RecordTexts.h"

#include <QStringList>

namespace kestrune::mbus {

namespace {

constexpr int TextAck = 2400;
constexpr int TextToAddress = 2401;
constexpr int TextFromAddress = 2402;
constexpr int TextIncomplete = 2403;
constexpr int TextBadChecksum = 2404;
constexpr int TextAddress = 2405;
// Addresses 253, 254 and 255 have texts of their own.
constexpr int TextAddressSpecial = 2406; // texts: 2406-2408
constexpr int TextControl = 2409;
constexpr int TextSelection = 2410;
constexpr int TextFabrication = 2411;
constexpr int TextApplicationReset = 2412;
constexpr int TextApplicationResetSub = 2413;
constexpr int TextDataSend = 2414;
constexpr int TextDataSendEmpty = 2415;
constexpr int TextLineSpeed = 2416;
constexpr int TextCi = 2417;
constexpr int TextVariableData = 2418;
constexpr int TextVariableShort = 2419;
constexpr int TextFixedData = 2420;
constexpr int TextApplicationError = 2421;
constexpr int TextAlarm = 2422;
constexpr int TextMoreFollow = 2423;
constexpr int TextStatus = 2424;
constexpr int TextStatusWords = 2425; // texts: 2425-2430
constexpr int TextStopped = 2431;
constexpr int TextOneRecord = 2432;
constexpr int TextRecords = 2433;
constexpr int TextHeaderTooShort = 2434;

// Records of a data send that the explanation lists; more are counted only.
constexpr int kListedRecords = 3;

// The selection's identification or fabrication mask: BCD digits, any of
// them F as a wildcard, most significant first.
QString maskDigits(QByteArrayView bytes) {
    QString s;
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        s += hexPair(static_cast<uint8_t>(bytes[i]));
    }
    return s;
}

QString manufacturerText(uint16_t m) {
    const QString code =
        QStringLiteral("%1").arg(m, 4, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
    if (m == 0xFFFF || m == 0) {
        return code;
    }
    return manufacturerLetters(m) + QStringLiteral(" (") + code + QLatin1Char(')');
}

QString statusText(uint8_t status) {
    QStringList words;
    // Bits 0 and 1: busy, application error, abnormal condition.
    if ((status & 0x03) != 0) {
        words << getText(TextStatusWords + (status & 0x03) - 1);
    }
    // Bits 2 to 4: power low, permanent error, temporary error.
    for (int bit = 2; bit <= 4; ++bit) {
        if (status & (1 << bit)) {
            words << getText(TextStatusWords + bit + 1);
        }
    }
    return words.isEmpty() ? QString() : getText(TextStatus).arg(words.join(QStringLiteral(", ")));
}

QString recordSummary(const DataRecord& r) {
    QString s = recordQuantityText(r);
    const QString value = recordValueText(r);
    if (!value.isEmpty()) {
        s += QLatin1Char(' ') + value;
        if (!r.unit.isEmpty()) {
            s += QLatin1Char(' ') + r.unit;
        }
    }
    return s;
}

// What the application data of a master telegram ask for.
QString masterPart(uint8_t ci, QByteArrayView frame) {
    const QByteArrayView data = frame.sliced(7, frame.size() - 9);
    switch (ci) {
    case kCiSelect: {
        if (data.size() < 8) {
            return getText(TextCi).arg(hexPair(ci));
        }
        const auto m = static_cast<uint16_t>(static_cast<uint8_t>(data[4]) |
                                             static_cast<uint8_t>(data[5]) << 8);
        QString s = getText(TextSelection)
                        .arg(maskDigits(data.first(4)), manufacturerText(m),
                             hexPair(static_cast<uint8_t>(data[6])),
                             hexPair(static_cast<uint8_t>(data[7])));
        if (data.size() >= 14) {
            s = getText(TextFabrication).arg(s, maskDigits(data.sliced(10, 4)));
        }
        return s;
    }
    case kCiApplicationReset:
        return data.isEmpty()
                   ? getText(TextApplicationReset)
                   : getText(TextApplicationResetSub).arg(hexPair(static_cast<uint8_t>(data[0])));
    case kCiDataSend:
    case 0x55: {
        const RecordDecoding d = decodeRecords(frame);
        if (d.records.empty()) {
            return getText(TextDataSendEmpty);
        }
        QStringList parts;
        for (size_t i = 0; i < d.records.size() && i < kListedRecords; ++i) {
            parts << recordSummary(d.records[i]);
        }
        if (d.records.size() > kListedRecords) {
            parts << QStringLiteral("...");
        }
        return getText(TextDataSend).arg(parts.join(QStringLiteral("; ")));
    }
    default:
        if (ci >= kCiSpeed300 && ci <= kCiSpeed9600) {
            return getText(TextLineSpeed).arg(300 << (ci - kCiSpeed300));
        }
        return getText(TextCi).arg(hexPair(ci));
    }
}

// "1 record", "5 records".
QString recordCount(size_t count) {
    return count == 1 ? getText(TextOneRecord) : getText(TextRecords).arg(count);
}

// What a meter's long frame carries.
QString replyPart(QByteArrayView frame) {
    const RecordDecoding d = decodeRecords(frame);
    const ApplicationHeader& h = d.header;
    const QString count = recordCount(d.records.size());
    QStringList parts;
    switch (d.ci) {
    case 0x72:
    case 0x76:
        if (h.kind == HeaderKind::Long && !h.id.isEmpty()) {
            parts << getText(TextVariableData)
                         .arg(h.id, manufacturerText(h.manufacturer), QString::number(h.version),
                              mediumText(h.medium), count);
        }
        break;
    case 0x7A:
    case 0x78:
        parts << getText(TextVariableShort).arg(count);
        break;
    case 0x73:
    case 0x77:
        if (d.records.size() == 2) {
            const auto counter = [](const DataRecord& r) {
                return r.unit.isEmpty() ? r.text : r.text + QLatin1Char(' ') + r.unit;
            };
            parts << getText(TextFixedData).arg(h.id, counter(d.records[0]), counter(d.records[1]));
        }
        break;
    case 0x70:
    case 0x71:
        if (!d.notes.empty()) {
            const DecodeNote& n = d.notes.front();
            parts << (d.ci == 0x70
                          ? getText(TextApplicationError)
                                .arg(n.a < 0 ? QStringLiteral("-") : hexPair(n.a),
                                     applicationErrorText(n.a))
                          : getText(TextAlarm).arg(n.a < 0 ? QStringLiteral("-") : hexPair(n.a)));
        }
        return parts.join(QStringLiteral(", "));
    default:
        return getText(TextCi).arg(hexPair(d.ci));
    }
    if (d.hasNote(DecodeNoteKind::HeaderTooShort)) {
        return getText(TextCi).arg(hexPair(d.ci)) + QStringLiteral(", ") +
               getText(TextHeaderTooShort);
    }
    if (!d.records.empty() && d.records.back().function == RecordFunction::MoreRecordsFollow) {
        parts << getText(TextMoreFollow);
    }
    if (h.kind == HeaderKind::Long || h.kind == HeaderKind::Short) {
        const QString status = statusText(h.status);
        if (!status.isEmpty()) {
            parts << status;
        }
    }
    if (!d.complete) {
        parts << getText(TextStopped).arg(count);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString addressText(uint8_t a) {
    if (a >= kAddressSelected) {
        return getText(TextAddressSpecial + (a - kAddressSelected));
    }
    return getText(TextAddress).arg(a);
}

QString controlText(uint8_t c) {
    QString name;
    if (c & 0x40) { // from the master
        switch (c & 0x0F) {
        case 0x0:
            name = QStringLiteral("SND_NKE");
            break;
        case 0x3:
            name = QStringLiteral("SND_UD");
            break;
        case 0xA:
            name = QStringLiteral("REQ_UD1");
            break;
        case 0xB:
            name = QStringLiteral("REQ_UD2");
            break;
        default:
            return getText(TextControl).arg(hexPair(c));
        }
        if (c & kFcvBit) {
            name += QStringLiteral(" FCB=") + QString::number((c & kFcbBit) ? 1 : 0);
        }
        return name;
    }
    switch (c & 0x0F) {
    case 0x0:
        name = QStringLiteral("ACK");
        break;
    case 0x1:
        name = QStringLiteral("NACK");
        break;
    case 0x8:
        name = QStringLiteral("RSP_UD");
        break;
    default:
        return getText(TextControl).arg(hexPair(c));
    }
    if (c & 0x20) {
        name += QStringLiteral(" ACD=1");
    }
    if (c & 0x10) {
        name += QStringLiteral(" DFC=1");
    }
    return name;
}

QString explainMBus(QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        return {};
    }
    const auto n = static_cast<int>(bytes.size());
    const int size = expectedFrameSize(bytes);
    if (size <= 0 || size != n) {
        return getText(TextIncomplete).arg(n);
    }
    const auto byte = [&](int i) { return static_cast<uint8_t>(bytes[i]); };
    if (n == 1) {
        return getText(TextAck);
    }
    // A short or long frame of the right size: checksum and stop byte.
    const bool isShort = byte(0) == kShortStart;
    const QByteArrayView summed = isShort ? bytes.sliced(1, 2) : bytes.sliced(4, n - 6);
    if (MBusChecksum(summed) != byte(n - 2) || byte(n - 1) != kStop) {
        return getText(TextBadChecksum).arg(n);
    }
    const uint8_t c = byte(isShort ? 1 : 4);
    const uint8_t a = byte(isShort ? 2 : 5);
    const bool fromMaster = (c & 0x40) != 0;
    QString line =
        getText(fromMaster ? TextToAddress : TextFromAddress).arg(controlText(c), addressText(a));
    if (isShort) {
        return line;
    }
    const uint8_t ci = byte(6);
    const QString part = fromMaster ? masterPart(ci, bytes) : replyPart(bytes);
    return part.isEmpty() ? line : line + QStringLiteral(": ") + part;
}

} // namespace kestrune::mbus
