#include "mbus/DataRecords.h"

#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrune::mbus {

namespace {

constexpr int kMaxExtensions = 10; // DIFEs and VIFEs a record may carry
constexpr int kLongHeaderSize = 12;
constexpr int kShortHeaderSize = 4;
constexpr int kFixedStructureSize = 16;

uint8_t at(QByteArrayView bytes, qsizetype i) {
    return static_cast<uint8_t>(bytes[i]);
}

// Bytes of the data field for the fixed-length codings; -1 for variable
// length and special functions.
int codingSize(DataCoding coding) {
    static constexpr int kSizes[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, -1, 6, -1};
    return kSizes[static_cast<int>(coding)];
}

bool isBcd(DataCoding coding) {
    switch (coding) {
    case DataCoding::Bcd2:
    case DataCoding::Bcd4:
    case DataCoding::Bcd6:
    case DataCoding::Bcd8:
    case DataCoding::Bcd12:
        return true;
    default:
        return false;
    }
}

// The number raw * 10^exponent written exactly, without trailing zeros
// after the decimal point.
QString decimalText(int64_t raw, int exponent) {
    const bool negative = raw < 0;
    // The magnitude of INT64_MIN does not fit in int64_t; go unsigned.
    const uint64_t magnitude =
        negative ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    QString digits = QString::number(magnitude);
    if (magnitude == 0) {
        return QStringLiteral("0");
    }
    if (exponent >= 0) {
        digits += QString(exponent, QLatin1Char('0'));
    } else {
        const int decimals = -exponent;
        if (digits.size() <= decimals) {
            digits = QString(decimals - digits.size() + 1, QLatin1Char('0')) + digits;
        }
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
        while (digits.endsWith(QLatin1Char('0'))) {
            digits.chop(1);
        }
        if (digits.endsWith(QLatin1Char('.'))) {
            digits.chop(1);
        }
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

// A real number with the given significant digits, written without an
// exponent (a meter reading of 13426156 W reads better than 1.342616e+07),
// trailing zeros after the decimal point left out.
QString realText(double value, int significant) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? QStringLiteral("nan")
                                 : (value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf"));
    }
    const double magnitude = std::abs(value);
    if (magnitude == 0.0) {
        return QStringLiteral("0");
    }
    if (magnitude >= 1e21 || magnitude < 1e-15) {
        return QString::number(value, 'g', significant);
    }
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
    QString text = QString::number(value, 'f', std::clamp(significant - 1 - exponent, 0, 20));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

double powerOfTen(int exponent) {
    return std::pow(10.0, static_cast<double>(exponent));
}

// Little-endian two's-complement integer of 1..8 bytes.
int64_t signedInteger(QByteArrayView bytes) {
    uint64_t v = 0;
    const auto n = static_cast<int>(bytes.size());
    for (int i = n - 1; i >= 0; --i) {
        v = (v << 8) | at(bytes, i);
    }
    if (n < 8 && (v & (uint64_t{1} << (8 * n - 1)))) {
        v |= ~uint64_t{0} << (8 * n);
    }
    return static_cast<int64_t>(v);
}

uint64_t unsignedInteger(QByteArrayView bytes) {
    uint64_t v = 0;
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        v = (v << 8) | at(bytes, i);
    }
    return v;
}

// The hexadecimal digits of little-endian bytes, most significant first.
QString digitsMsbFirst(QByteArrayView bytes) {
    QString s;
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        s += hexPair(at(bytes, i));
    }
    return s;
}

QString hexAsSent(QByteArrayView bytes) {
    return hexPairs(bytes.toByteArray());
}

struct Bcd {
    bool valid = false;
    int64_t value = 0;
    QString digits; // as sent, most significant first, without the sign nibble
};

// BCD digits, least significant byte first. A top nibble F makes the value
// negative; any other digit above 9 makes it no number.
Bcd readBcd(QByteArrayView bytes) {
    Bcd b;
    QString digits = digitsMsbFirst(bytes);
    bool negative = false;
    if (!digits.isEmpty() && digits.front() == QLatin1Char('F')) {
        negative = true;
        digits.remove(0, 1);
    }
    b.digits = digits;
    int64_t v = 0;
    for (QChar ch : digits) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
            b.digits = digitsMsbFirst(bytes);
            return b;
        }
        v = v * 10 + (ch.unicode() - '0');
    }
    b.valid = true;
    b.value = negative ? -v : v;
    if (negative) {
        b.digits.prepend(QLatin1Char('-'));
    }
    return b;
}

int fullYear(int yy, int hundredYears) {
    if (hundredYears != 0) {
        return 1900 + 100 * hundredYears + yy;
    }
    return yy <= 80 ? 2000 + yy : 1900 + yy;
}

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// Type G: day 0-4, year 5-7 and 12-15, month 8-11.
bool readDateG(uint32_t v, QDate& date) {
    const int day = v & 0x1F;
    const int month = (v >> 8) & 0x0F;
    const int yy = ((v >> 5) & 0x07) | (((v >> 12) & 0x0F) << 3);
    if (yy > 99) {
        return false;
    }
    date = QDate(fullYear(yy, 0), month, day);
    return date.isValid();
}

struct DateTimeF {
    bool valid = false;
    bool invalidFlag = false;
    bool summerTime = false;
    QString text; // without seconds
};

// Type F: minute 0-5, IV 7, hour 8-12, hundred years 13-14, SU 15, day
// 16-20, year 21-23 and 28-31, month 24-27.
DateTimeF readDateTimeF(uint32_t v) {
    DateTimeF f;
    const int minute = v & 0x3F;
    const int hour = (v >> 8) & 0x1F;
    const int hy = (v >> 13) & 0x03;
    const int day = (v >> 16) & 0x1F;
    const int month = (v >> 24) & 0x0F;
    const int yy = ((v >> 21) & 0x07) | (((v >> 28) & 0x0F) << 3);
    f.invalidFlag = (v & 0x80) != 0;
    f.summerTime = (v & 0x8000) != 0;
    if (yy > 99 || minute > 59 || hour > 23) {
        return f;
    }
    const QDate date(fullYear(yy, hy), month, day);
    if (!date.isValid()) {
        return f;
    }
    f.valid = true;
    f.text = date.toString(Qt::ISODate) + QLatin1Char('T') + twoDigits(hour) + QLatin1Char(':') +
             twoDigits(minute);
    return f;
}

// Everything a record's value information decided, before the data are read.
struct Meaning {
    VifMeaning vif;
    QString unit;
    int exponent = 0;
    bool date = false;            // a VIFE turned the value into a date
    bool unsignedCounter = false; // binary numbers that are never negative
};

void decodeValue(DataRecord& r, const Meaning& m, bool msbFirst);

class RecordReader {
public:
    RecordReader(QByteArrayView data, int baseOffset, bool toDevice, bool msbFirst)
        : m_data(data), m_base(baseOffset), m_toDevice(toDevice), m_msbFirst(msbFirst) {}

    void run(int start, RecordDecoding& out);

private:
    enum class Step { Record, Skip, Stop };
    Step readOne(int& pos, RecordDecoding& out);
    bool readVib(int& pos, DataRecord& r, Meaning& m);
    void applyVife(uint8_t vife, DataRecord& r, Meaning& m, bool& manufacturer);
    void readVifes(int& pos, DataRecord& r, Meaning& m, int& count, bool& manufacturer);
    // Ends the decoding at the record that starts at start: a note about
    // it that keeps the bytes from there on.
    void stop(RecordDecoding& out, DecodeNoteKind kind, int start, int at, int a, int b = 0);
    void stopPastEnd(int start, int needed, RecordDecoding& out) {
        stop(out, DecodeNoteKind::RecordPastEnd, start, start, needed,
             static_cast<int>(m_data.size()) - start);
    }

    QByteArrayView m_data;
    int m_base;
    bool m_toDevice;
    bool m_msbFirst;
};

void RecordReader::stop(RecordDecoding& out, DecodeNoteKind kind, int start, int at, int a, int b) {
    out.notes.push_back({kind, static_cast<int>(out.records.size()), m_base + at, a, b,
                         m_data.sliced(start).toByteArray()});
}

void RecordReader::run(int start, RecordDecoding& out) {
    int pos = start;
    const auto end = static_cast<int>(m_data.size());
    while (pos < end) {
        const Step step = readOne(pos, out);
        if (step == Step::Stop) {
            return;
        }
    }
    out.complete = true;
}

RecordReader::Step RecordReader::readOne(int& pos, RecordDecoding& out) {
    const auto end = static_cast<int>(m_data.size());
    const int start = pos;
    const uint8_t dif = at(m_data, pos);

    if (dif == 0x2F) { // idle filler
        ++pos;
        return Step::Skip;
    }
    DataRecord r;
    r.offset = m_base + start;
    if ((dif & 0x0F) == 0x0F) {
        if (dif == 0x0F || dif == 0x1F) {
            r.coding = DataCoding::Special;
            r.function =
                dif == 0x0F ? RecordFunction::ManufacturerData : RecordFunction::MoreRecordsFollow;
            r.dib = m_data.sliced(start, 1).toByteArray();
            r.data = m_data.sliced(start + 1).toByteArray();
            r.kind = r.data.isEmpty() ? ValueKind::None : ValueKind::Bytes;
            r.text = hexAsSent(r.data);
            out.records.push_back(std::move(r));
            pos = end;
            return Step::Record;
        }
        if (dif == 0x7F) {
            r.coding = DataCoding::Special;
            r.function = RecordFunction::GlobalReadout;
            r.dib = m_data.sliced(start, 1).toByteArray();
            out.records.push_back(std::move(r));
            ++pos;
            return Step::Record;
        }
        stop(out, DecodeNoteKind::ReservedSpecialDif, start, start, dif);
        return Step::Stop;
    }

    // DIF and DIFEs.
    r.coding = static_cast<DataCoding>(dif & 0x0F);
    r.function = static_cast<RecordFunction>((dif >> 4) & 0x03);
    r.storage = (dif >> 6) & 0x01;
    ++pos;
    bool extension = (dif & 0x80) != 0;
    int difes = 0;
    while (extension) {
        if (pos >= end) {
            stopPastEnd(start, end - start + 1, out);
            return Step::Stop;
        }
        const uint8_t dife = at(m_data, pos++);
        if (difes < kMaxExtensions) {
            r.storage |= static_cast<uint64_t>(dife & 0x0F) << (1 + 4 * difes);
            r.tariff |= static_cast<uint32_t>((dife >> 4) & 0x03) << (2 * difes);
            r.subunit |= static_cast<uint32_t>((dife >> 6) & 0x01) << difes;
        } else {
            r.flags |= FlagTooManyDifes;
        }
        ++difes;
        extension = (dife & 0x80) != 0;
    }
    r.dib = m_data.sliced(start, pos - start).toByteArray();

    // VIF, VIFEs, plain text.
    Meaning m;
    const int vibStart = pos;
    if (!readVib(pos, r, m)) {
        stopPastEnd(start, end - start + 1, out);
        return Step::Stop;
    }
    r.vib = m_data.sliced(vibStart, pos - vibStart).toByteArray();

    // Data.
    int size = codingSize(r.coding);
    const int dataStart = pos;
    if (r.coding == DataCoding::Variable) {
        if (pos >= end) {
            stopPastEnd(start, end - start + 1, out);
            return Step::Stop;
        }
        const uint8_t lvar = at(m_data, pos);
        if (lvar <= 0xBF) {
            size = lvar;
        } else if (lvar >= 0xC0 && lvar <= 0xC9) {
            size = lvar - 0xC0;
        } else if (lvar >= 0xD0 && lvar <= 0xD9) {
            size = lvar - 0xD0;
        } else if (lvar >= 0xE0 && lvar <= 0xEF) {
            size = lvar - 0xE0;
        } else if (lvar >= 0xF0 && lvar <= 0xF4) {
            size = 4 * (lvar - 0xEC);
        } else if (lvar == 0xF5) {
            size = 48;
        } else if (lvar == 0xF6) {
            size = 64;
        } else {
            stop(out, DecodeNoteKind::ReservedLvar, start, pos, lvar);
            return Step::Stop;
        }
        size += 1; // the LVAR byte itself
    }
    if (size > end - dataStart) {
        stopPastEnd(start, dataStart + size - start, out);
        return Step::Stop;
    }
    r.data = m_data.sliced(dataStart, size).toByteArray();
    pos = dataStart + size;
    decodeValue(r, m, m_msbFirst);
    out.records.push_back(std::move(r));
    return Step::Record;
}

void RecordReader::applyVife(uint8_t vife, DataRecord& r, Meaning& m, bool& manufacturer) {
    if (manufacturer) {
        return; // the manufacturer's own codes
    }
    const VifeEffect e = combinableVife(vife, m_toDevice);
    m.exponent = std::clamp(m.exponent + e.exponent, -100, 100);
    if (e.qualifier == Qualifier::ManufacturerSpecific) {
        manufacturer = true;
    }
    if (e.qualifier == Qualifier::ErrorCode && e.param == 0) {
        return; // "no error"
    }
    if (e.qualifier != Qualifier::None) {
        r.qualifiers.push_back({e.qualifier, e.param});
    }
    if (e.qualifier == Qualifier::Reserved) {
        r.flags |= FlagReservedCode;
    }
    if (e.makesDate) {
        m.date = true;
        m.unit.clear();
    } else if (e.durationUnit >= 0) {
        m.vif.factor = kSecondsPer[e.durationUnit];
        m.vif.offset = 0.0;
        m.vif.type = ValueType::Number;
        m.exponent = 0;
        m.unit = QStringLiteral("s");
    } else if (e.dropsUnit) {
        m.vif.factor = 1.0;
        m.vif.offset = 0.0;
        m.exponent = 0;
        m.unit.clear();
    } else if (*e.unitSuffix != '\0') {
        m.unit += QString::fromUtf8(e.unitSuffix);
    }
}

void RecordReader::readVifes(int& pos, DataRecord& r, Meaning& m, int& count, bool& manufacturer) {
    // The caller made sure the previous byte had its extension bit set.
    bool extension = true;
    const auto end = static_cast<int>(m_data.size());
    while (extension && pos < end) {
        const uint8_t vife = at(m_data, pos++);
        if (count < kMaxExtensions) {
            applyVife(vife, r, m, manufacturer);
        } else {
            r.flags |= FlagTooManyVifes;
        }
        ++count;
        extension = (vife & 0x80) != 0;
    }
    if (extension) {
        pos = end + 1; // ran out: the caller sees pos past the end
    }
}

bool isPrintable(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto u = static_cast<uint8_t>(c);
        return u >= 0x20 && u < 0x7F;
    });
}

bool RecordReader::readVib(int& pos, DataRecord& r, Meaning& m) {
    const auto end = static_cast<int>(m_data.size());
    if (pos >= end) {
        return false;
    }
    const uint8_t vif = at(m_data, pos++);
    const int code = vif & 0x7F;
    bool extension = (vif & 0x80) != 0;
    int vifes = 0;
    bool manufacturer = false;

    if (code == 0x7B || code == 0x7D) {
        if (!extension) { // the table is named but no code follows
            m.vif = VifMeaning{};
            m.vif.type = ValueType::Raw;
            r.flags |= FlagReservedCode;
        } else {
            if (pos >= end) {
                return false;
            }
            const uint8_t ext = at(m_data, pos++);
            ++vifes;
            m.vif = code == 0x7D ? extensionFdVif(ext) : extensionFbVif(ext);
            extension = (ext & 0x80) != 0;
        }
    } else {
        m.vif = primaryVif(vif);
    }
    m.unit = QString::fromUtf8(m.vif.unit);
    m.exponent = m.vif.exponent;
    r.quantity = m.vif.quantity;
    if (r.quantity == Quantity::Reserved) {
        r.flags |= FlagReservedCode;
    }
    if (code == 0x7F) {
        manufacturer = true; // its VIFEs are the manufacturer's
    }

    if (code == 0x7C) {
        // Plain-text unit: length and text (last character first) follow the
        // VIFEs. Some meters send the text right after the VIF and the VIFEs
        // behind it; that order is taken when the other does not fit.
        const auto textAt = [&](int lenPos, QString& text, int& after) {
            if (lenPos >= end) {
                return false;
            }
            const int len = at(m_data, lenPos);
            if (len > end - lenPos - 1) {
                return false;
            }
            QByteArray chars = m_data.sliced(lenPos + 1, len).toByteArray();
            std::reverse(chars.begin(), chars.end());
            if (!isPrintable(chars)) {
                return false;
            }
            text = QString::fromLatin1(chars);
            after = lenPos + 1 + len;
            return true;
        };
        const int afterVif = pos;
        if (extension) {
            Meaning tried = m;
            DataRecord triedRecord = r;
            int p = pos;
            int n = vifes;
            bool manu = manufacturer;
            readVifes(p, triedRecord, tried, n, manu);
            QString text;
            int after = 0;
            if (p <= end && textAt(p, text, after)) {
                m = tried;
                r = triedRecord;
                r.plainText = text;
                pos = after;
            } else if (textAt(afterVif, text, after)) {
                r.plainText = text;
                r.flags |= FlagTextBeforeVifes;
                pos = after;
                readVifes(pos, r, m, vifes, manufacturer);
                if (pos > end) {
                    return false;
                }
            } else {
                pos = std::max(p, afterVif + 1);
                return false;
            }
        } else {
            QString text;
            int after = 0;
            if (!textAt(pos, text, after)) {
                return false;
            }
            r.plainText = text;
            pos = after;
        }
        m.unit = r.plainText + m.unit;
        return true;
    }

    if (extension) {
        readVifes(pos, r, m, vifes, manufacturer);
        if (pos > end) {
            return false;
        }
    }
    return true;
}

void decodeValue(DataRecord& r, const Meaning& m, bool msbFirst) {
    r.unit = m.unit;
    if (r.coding == DataCoding::NoData || r.coding == DataCoding::Selection) {
        r.kind = ValueKind::None;
        return;
    }
    QByteArrayView field(r.data);
    if (r.coding == DataCoding::Variable) {
        field = field.sliced(1);
    }
    const VifMeaning& vif = m.vif;
    const bool raw = vif.type == ValueType::Raw;
    if (raw) {
        r.kind = ValueKind::Bytes;
        r.text = hexAsSent(field);
        r.unit.clear();
        return;
    }

    // Mode 2 sends numbers high byte first.
    QByteArray ordered = field.toByteArray();
    const uint8_t lvar = r.coding == DataCoding::Variable ? at(r.data, 0) : 0;
    const bool isString = r.coding == DataCoding::Variable && lvar <= 0xBF;
    if (msbFirst && !isString) {
        std::reverse(ordered.begin(), ordered.end());
    }
    const QByteArrayView bytes(ordered);

    const bool isDate = m.date || vif.type == ValueType::Date || vif.type == ValueType::DateTime;
    const bool binary = (r.coding >= DataCoding::Int8 && r.coding <= DataCoding::Int64 &&
                         r.coding != DataCoding::Real32) ||
                        (r.coding == DataCoding::Variable && lvar >= 0xE0);

    if (isDate) {
        r.unit.clear();
        const auto n = bytes.size();
        if (binary && n == 2) {
            QDate date;
            if (readDateG(static_cast<uint32_t>(unsignedInteger(bytes)), date)) {
                r.kind = ValueKind::Date;
                r.text = date.toString(Qt::ISODate);
                return;
            }
        } else if (binary && (n == 4 || n == 6)) {
            const int sec = n == 6 ? at(bytes, 0) & 0x3F : -1;
            const DateTimeF f = readDateTimeF(
                static_cast<uint32_t>(unsignedInteger(bytes.sliced(n == 6 ? 1 : 0, 4))));
            if (f.invalidFlag) {
                r.flags |= FlagTimeInvalid;
            }
            if (f.summerTime) {
                r.flags |= FlagSummerTime;
            }
            if (f.valid && sec < 60) {
                r.kind = ValueKind::DateTime;
                r.text = sec >= 0 ? f.text + QLatin1Char(':') + twoDigits(sec) : f.text;
                return;
            }
        } else if (binary && n == 3) { // type J
            const int sec = at(bytes, 0) & 0x3F;
            const int min = at(bytes, 1) & 0x3F;
            const int hour = at(bytes, 2) & 0x1F;
            if (sec < 60 && min < 60 && hour < 24) {
                r.kind = ValueKind::Time;
                r.text = twoDigits(hour) + QLatin1Char(':') + twoDigits(min) + QLatin1Char(':') +
                         twoDigits(sec);
                return;
            }
        } else {
            r.flags |= FlagUnexpectedSize;
            r.kind = ValueKind::Bytes;
            r.text = hexAsSent(field);
            return;
        }
        r.flags |= FlagInvalidDate;
        r.kind = ValueKind::Bytes;
        r.text = hexAsSent(field);
        return;
    }

    const bool identifier = vif.type == ValueType::Identifier;
    const bool flagsType = vif.type == ValueType::Flags;
    const bool manufacturerVif = r.quantity == Quantity::ManufacturerSpecific;
    const double factor = manufacturerVif ? 1.0 : vif.factor;
    const double offset = manufacturerVif ? 0.0 : vif.offset;
    const int exponent = manufacturerVif ? 0 : m.exponent;

    const auto setInteger = [&](int64_t v, const QString& exactDigits) {
        if (identifier) {
            r.kind = ValueKind::Text;
            r.text = exactDigits;
            r.number = static_cast<double>(v);
            r.unit.clear();
            return;
        }
        r.kind = ValueKind::Number;
        if (factor == 1.0 && offset == 0.0) {
            r.text = decimalText(v, exponent);
            r.number = r.text.toDouble();
        } else {
            r.number = static_cast<double>(v) * factor * powerOfTen(exponent) + offset;
            r.text = realText(r.number, 12);
        }
    };

    if (isBcd(r.coding) || (r.coding == DataCoding::Variable &&
                            ((lvar >= 0xC0 && lvar <= 0xC9) || (lvar >= 0xD0 && lvar <= 0xD9)))) {
        Bcd b = readBcd(bytes);
        if (!b.valid) {
            r.flags |= FlagInvalidDigits;
            r.kind = ValueKind::Text;
            r.text = b.digits;
            return;
        }
        if (r.coding == DataCoding::Variable && lvar >= 0xD0) {
            b.value = -b.value;
            b.digits.prepend(QLatin1Char('-'));
        }
        setInteger(b.value, b.digits);
        return;
    }
    if (r.coding == DataCoding::Real32) {
        float f = 0;
        std::memcpy(&f, bytes.data(), sizeof f);
        r.kind = ValueKind::Number;
        r.number = static_cast<double>(f) * factor * powerOfTen(exponent) + offset;
        r.text = realText(r.number, 7);
        return;
    }
    if (isString) {
        QByteArray chars = bytes.toByteArray();
        std::reverse(chars.begin(), chars.end());
        r.kind = ValueKind::Text;
        r.text = QString::fromLatin1(chars);
        if (!identifier) {
            r.unit.clear();
        }
        return;
    }
    if (binary) {
        if (bytes.size() > 8) {
            r.kind = ValueKind::Bytes;
            r.text = digitsMsbFirst(bytes);
            r.unit.clear();
            return;
        }
        if (bytes.isEmpty()) {
            r.kind = ValueKind::None;
            return;
        }
        if (identifier || flagsType) {
            const uint64_t u = unsignedInteger(bytes);
            r.kind = identifier ? ValueKind::Text : ValueKind::Number;
            r.text = QString::number(u);
            r.number = static_cast<double>(u);
            if (identifier) {
                r.unit.clear();
            }
            return;
        }
        setInteger(m.unsignedCounter ? static_cast<int64_t>(unsignedInteger(bytes))
                                     : signedInteger(bytes),
                   QString());
        return;
    }
    r.kind = ValueKind::Bytes; // not reached: every coding is handled above
    r.text = hexAsSent(field);
}

// The long or short header after CI; false when the data are too short.
bool readHeader(QByteArrayView data, HeaderKind kind, ApplicationHeader& h) {
    h.kind = kind;
    int p = 0;
    if (kind == HeaderKind::Long) {
        if (data.size() < kLongHeaderSize) {
            return false;
        }
        h.id = digitsMsbFirst(data.first(4));
        h.manufacturer = static_cast<uint16_t>(at(data, 4) | at(data, 5) << 8);
        h.version = at(data, 6);
        h.medium = at(data, 7);
        p = 8;
    }
    if (kind == HeaderKind::Long || kind == HeaderKind::Short) {
        if (data.size() < p + kShortHeaderSize) {
            return false;
        }
        h.accessNumber = at(data, p);
        h.status = at(data, p + 1);
        h.signature = static_cast<uint16_t>(at(data, p + 2) | at(data, p + 3) << 8);
    }
    return true;
}

void decodeFixed(QByteArrayView data, int base, bool msbFirst, RecordDecoding& out) {
    ApplicationHeader& h = out.header;
    h.kind = HeaderKind::Fixed;
    h.msbFirst = msbFirst;
    if (data.size() < kFixedStructureSize) {
        out.notes.push_back({DecodeNoteKind::HeaderTooShort, -1, base, kFixedStructureSize,
                             static_cast<int>(data.size()), data.toByteArray()});
        return;
    }
    h.id = digitsMsbFirst(data.first(4));
    h.accessNumber = at(data, 4);
    h.status = at(data, 5);
    const uint8_t mu1 = at(data, 6);
    const uint8_t mu2 = at(data, 7);
    h.medium = static_cast<uint8_t>((mu1 >> 6) | ((mu2 >> 6) << 2));
    const bool binary = (h.status & 0x80) != 0;
    const bool historic = (h.status & 0x40) != 0;

    const VifMeaning unit1 = fixedStructureUnit(mu1);
    const bool sameUnit = (mu2 & 0x3F) == kFixedUnitSameHistoric;
    const VifMeaning unit2 = sameUnit ? unit1 : fixedStructureUnit(mu2);
    for (int k = 0; k < 2; ++k) {
        const VifMeaning& u = k == 0 ? unit1 : unit2;
        DataRecord r;
        r.offset = base + 8 + 4 * k;
        r.data = data.sliced(8 + 4 * k, 4).toByteArray();
        r.coding = binary ? DataCoding::Int32 : DataCoding::Bcd8;
        r.storage = (historic || (k == 1 && sameUnit)) ? 1 : 0;
        r.quantity = u.quantity;
        if (u.quantity == Quantity::Reserved) {
            r.flags |= FlagReservedCode;
        }
        Meaning m;
        m.vif = u;
        m.unit = QString::fromUtf8(u.unit);
        m.exponent = u.exponent;
        m.unsignedCounter = true;
        decodeValue(r, m, msbFirst);
        out.records.push_back(std::move(r));
    }
    if (data.size() > kFixedStructureSize) {
        out.notes.push_back({DecodeNoteKind::TrailingBytes, -1, base + kFixedStructureSize,
                             static_cast<int>(data.size()) - kFixedStructureSize, 0,
                             data.sliced(kFixedStructureSize).toByteArray()});
        return;
    }
    out.complete = true;
}

} // namespace

QString functionId(RecordFunction function) {
    switch (function) {
    case RecordFunction::Instantaneous:
        return QStringLiteral("instantaneous");
    case RecordFunction::Maximum:
        return QStringLiteral("maximum");
    case RecordFunction::Minimum:
        return QStringLiteral("minimum");
    case RecordFunction::Error:
        return QStringLiteral("error");
    case RecordFunction::ManufacturerData:
        return QStringLiteral("manufacturer-specific");
    case RecordFunction::MoreRecordsFollow:
        return QStringLiteral("more-records-follow");
    case RecordFunction::GlobalReadout:
        return QStringLiteral("global-readout");
    }
    return {};
}

bool DataRecord::hasQualifier(Qualifier q) const {
    return std::any_of(qualifiers.begin(), qualifiers.end(),
                       [q](const RecordQualifier& x) { return x.qualifier == q; });
}

bool RecordDecoding::hasNote(DecodeNoteKind kind) const {
    return std::any_of(notes.begin(), notes.end(),
                       [kind](const DecodeNote& n) { return n.kind == kind; });
}

bool ciCarriesRecords(uint8_t ci) {
    switch (ci) {
    case 0x51:
    case 0x55:
    case 0x72:
    case 0x73:
    case 0x76:
    case 0x77:
    case 0x78:
    case 0x7A:
        return true;
    default:
        return false;
    }
}

RecordDecoding decodeApplicationData(uint8_t ci, QByteArrayView data, int baseOffset,
                                     bool toDevice) {
    RecordDecoding out;
    out.ci = ci;
    HeaderKind kind = HeaderKind::None;
    bool msbFirst = false;
    switch (ci) {
    case 0x72:
    case 0x76:
        kind = HeaderKind::Long;
        msbFirst = ci == 0x76;
        break;
    case 0x7A:
        kind = HeaderKind::Short;
        break;
    case 0x78:
        break;
    case 0x51:
    case 0x55:
        toDevice = true;
        msbFirst = ci == 0x55;
        break;
    case 0x73:
    case 0x77:
        decodeFixed(data, baseOffset, ci == 0x77, out);
        return out;
    case 0x70:
    case 0x71: {
        const int value = data.isEmpty() ? -1 : at(data, 0);
        out.notes.push_back({ci == 0x70 ? DecodeNoteKind::ApplicationError : DecodeNoteKind::Alarm,
                             -1, baseOffset, value, 0, data.toByteArray()});
        out.complete = true;
        return out;
    }
    default:
        out.notes.push_back({DecodeNoteKind::NoRecords, -1, baseOffset, ci, 0, data.toByteArray()});
        return out;
    }
    out.header.msbFirst = msbFirst;
    if (!readHeader(data, kind, out.header)) {
        const int needed = kind == HeaderKind::Long ? kLongHeaderSize : kShortHeaderSize;
        out.notes.push_back({DecodeNoteKind::HeaderTooShort, -1, baseOffset, needed,
                             static_cast<int>(data.size()), data.toByteArray()});
        return out;
    }
    const int start = kind == HeaderKind::Long ? kLongHeaderSize
                                               : (kind == HeaderKind::Short ? kShortHeaderSize : 0);
    RecordReader reader(data, baseOffset, toDevice, msbFirst);
    reader.run(start, out);
    return out;
}

RecordDecoding decodeRecords(QByteArrayView frame) {
    const qsizetype n = frame.size();
    if (n < 9 || at(frame, 0) != 0x68 || at(frame, 3) != 0x68 || at(frame, 1) != at(frame, 2) ||
        at(frame, 1) < 3 || n != at(frame, 1) + 6) {
        RecordDecoding out;
        out.notes.push_back({DecodeNoteKind::NotLongFrame, -1, 0, static_cast<int>(n), 0, {}});
        return out;
    }
    const int l = at(frame, 1);
    const QByteArrayView user = frame.sliced(4, l);
    const uint8_t c = at(user, 0);
    const uint8_t a = at(user, 1);
    const uint8_t ci = at(user, 2);
    // Master telegrams (PRM bit set) carry records to the meter.
    RecordDecoding out = decodeApplicationData(ci, user.sliced(3), 7, (c & 0x40) != 0);
    out.isLongFrame = true;
    out.c = c;
    out.a = a;
    const uint8_t sum = MBusChecksum(user);
    if (sum != at(frame, l + 4)) {
        out.notes.insert(out.notes.begin(),
                         {DecodeNoteKind::ChecksumMismatch, -1, l + 4, at(frame, l + 4), sum, {}});
    }
    if (at(frame, l + 5) != 0x16) {
        out.notes.insert(out.notes.begin(),
                         {DecodeNoteKind::StopByteMissing, -1, l + 5, at(frame, l + 5), 0, {}});
    }
    return out;
}

} // namespace kestrune::mbus
