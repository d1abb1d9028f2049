// The data record decoder against the records an independent decoder read
// from real meter replies (tests/data/mbus-records.tsv, see the README of
// the captures), and against hand-made records for the codings and code
// tables the captures do not use.
#include "base/Language.h"
#include "base/TextUtil.h"
#include "mbus/DataRecords.h"
#include "mbus/MBusFrame.h"
#include "mbus/RecordTexts.h"
#include "tests/TestHex.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>

using namespace kestrune;
using namespace kestrune::mbus;

namespace {

using testhex::hex;

QList<QStringList> readTsv(const QString& name) {
    QFile file(QStringLiteral(KESTRUNE_SOURCE_DIR "/tests/data/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(file.fileName()));
    }
    QList<QStringList> rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        if (!lines[i].isEmpty()) {
            rows << QString::fromUtf8(lines[i]).split(QLatin1Char('\t'));
        }
    }
    return rows;
}

const QHash<QString, QByteArray>& captures() {
    static const QHash<QString, QByteArray> frames = [] {
        QHash<QString, QByteArray> h;
        for (const QStringList& row : readTsv(QStringLiteral("mbus-frames.tsv"))) {
            h.insert(row[0], hex(row[1]));
        }
        return h;
    }();
    return frames;
}

const RecordDecoding& decoded(const QString& name) {
    static QHash<QString, RecordDecoding> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        it = cache.insert(name, decodeRecords(captures().value(name)));
    }
    return *it;
}

// The units the reference writes, normalised as the decoder does.
const QHash<QString, std::pair<QString, double>> kPhysicalUnits{
    {QStringLiteral("Wh"), {QStringLiteral("Wh"), 1.0}},
    {QStringLiteral("kWh"), {QStringLiteral("Wh"), 1000.0}},
    {QStringLiteral("J"), {QStringLiteral("J"), 1.0}},
    {QStringLiteral("m^3"), {QStringLiteral("m^3"), 1.0}},
    {QStringLiteral("l"), {QStringLiteral("m^3"), 0.001}},
    {QStringLiteral("W"), {QStringLiteral("W"), 1.0}},
    {QStringLiteral("m^3/h"), {QStringLiteral("m^3/h"), 1.0}},
    {QStringLiteral("s"), {QStringLiteral("s"), 1.0}},
    {QStringLiteral("V"), {QStringLiteral("V"), 1.0}},
    {QStringLiteral("A"), {QStringLiteral("A"), 1.0}},
    {QStringLiteral("\u00B0C"), {QStringLiteral("\u00B0C"), 1.0}},
    {QStringLiteral("K"), {QStringLiteral("K"), 1.0}},
};

// Where the reference reads a record against the standard, the standard's
// reading is kept; the reason is the value.
const QHash<QString, QString> kStandardOverReference{
    // VIFE 6F is "date (/time) of": the four bytes are a date and time (the
    // reference ignores the VIFE and scales them as a temperature or power).
    {QStringLiteral("test-frames/landis+gyr_ultraheat_t230#19"), QStringLiteral("date of")},
    {QStringLiteral("test-frames/landis+gyr_ultraheat_t230#20"), QStringLiteral("date of")},
    {QStringLiteral("test-frames/landis+gyr_ultraheat_t230#21"), QStringLiteral("date of")},
    {QStringLiteral("test-frames/landis+gyr_ultraheat_t230#22"), QStringLiteral("date of")},
    // VIFE 28 is "increment per input pulse": the value is a volume per pulse
    // (the reference ignores the VIFE and writes m^3).
    {QStringLiteral("test-frames/EFE_Engelmann-Elster-SensoStar-2#24"),
     QStringLiteral("per pulse")},
    {QStringLiteral("test-frames/engelmann_sensostar2c#13"), QStringLiteral("per pulse")},
    // The year field holds 127, outside 0..99: no date (the reference makes
    // 2027 of it).
    {QStringLiteral("test-frames/landis+gyr_ultraheat_t230#32"), QStringLiteral("no date")},
    // The reference leaves the function of a reserved FB code empty; the DIF
    // (0C) says instantaneous all the same.
    {QStringLiteral("test-frames/sen_pollutherm#2"), QStringLiteral("function")},
};

bool isPhysical(const QString& unit) {
    return kPhysicalUnits.contains(unit);
}

const QRegularExpression
    kDate(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(T\\d{2}:\\d{2}(:\\d{2})?)?Z?$"));

// A well-formed date of the reference, or empty: "2000-00-00" and the like
// are the reference's way of writing "no date".
QString referenceDate(const QString& value) {
    const auto m = kDate.match(value);
    if (!m.hasMatch() || m.captured(2) == QLatin1String("00") ||
        m.captured(3) == QLatin1String("00")) {
        return {};
    }
    QString v = value;
    if (v.endsWith(QLatin1Char('Z'))) {
        v.chop(1);
    }
    return v;
}

QByteArray longHeader() {
    return hex(QStringLiteral("78 56 34 12 42 04 02 04 2A 00 00 00"));
}

// A reply with CI 72, a long header and the given records.
QByteArray reply72(const QString& records) {
    return buildLongFrame(0x08, 0x01, 0x72, longHeader() + hex(records));
}

} // namespace

class TestDataRecords : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void referenceRecord_data();
    void referenceRecord();
    void referenceCount_data();
    void referenceCount();
    void faultyCaptures_data();
    void faultyCaptures();
    void handMade_data();
    void handMade();
    void stops_data();
    void stops();
    void structures_data();
    void structures();
    void texts_data();
    void texts();
};

void TestDataRecords::initTestCase() {
    QFile lang(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001"));
    QVERIFY(lang.open(QIODevice::ReadOnly));
    languageTable().parse(lang.readAll());
}

void TestDataRecords::referenceRecord_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("function");
    QTest::addColumn<qulonglong>("storage");
    QTest::addColumn<uint>("tariff");
    QTest::addColumn<uint>("subunit");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("value");
    for (const QStringList& row : readTsv(QStringLiteral("mbus-records.tsv"))) {
        const QString tag = row[0] + QLatin1Char('#') + row[1];
        QTest::newRow(qPrintable(tag))
            << row[0] << row[1].toInt() << row[2] << row[3].toULongLong() << row[4].toUInt()
            << row[5].toUInt() << row.value(7) << row.value(8);
    }
}

void TestDataRecords::referenceRecord() {
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, unit);
    QFETCH(QString, value);
    const RecordDecoding& d = decoded(name);
    QVERIFY2(index < static_cast<int>(d.records.size()), "record missing");
    const DataRecord& r = d.records[static_cast<size_t>(index)];
    const QString tag = name + QLatin1Char('#') + QString::number(index);
    const QString exception = kStandardOverReference.value(tag);

    if (exception != QLatin1String("function")) {
        QTEST(functionId(r.function), "function");
    }
    QTEST(qulonglong(r.storage), "storage");
    QTEST(uint(r.tariff), "tariff");
    QTEST(uint(r.subunit), "subunit");

    if (exception == QLatin1String("date of")) {
        QVERIFY(r.hasQualifier(Qualifier::DateOf));
        QVERIFY(r.kind == ValueKind::DateTime || r.has(FlagInvalidDate));
        return;
    }
    if (exception == QLatin1String("no date")) {
        QVERIFY(r.has(FlagInvalidDate));
        return;
    }
    if (exception == QLatin1String("per pulse")) {
        QVERIFY(r.hasQualifier(Qualifier::PerInputPulse));
        QCOMPARE(r.unit, unit + QStringLiteral("/pulse"));
    }
    if (isPhysical(unit)) {
        const auto [normalUnit, scale] = kPhysicalUnits.value(unit);
        if (exception.isEmpty()) {
            QCOMPARE(r.unit, normalUnit);
        }
        QCOMPARE(r.kind, ValueKind::Number);
        const double expected = value.toDouble() * scale;
        // Relative 1e-6, or half the last of the six decimals the reference
        // writes, whichever is larger.
        const double tolerance = std::max(std::abs(expected) * 1e-6, 0.5e-6 * scale);
        QVERIFY2(std::abs(r.number - expected) <= tolerance,
                 qPrintable(QStringLiteral("%1 != %2").arg(r.text, QString::number(expected))));
        return;
    }
    // Dates the reference could read must read the same (it writes them as
    // UTC; meters keep local time, so the decoder gives no zone). A date and
    // time whose IV bit says "invalid" keeps that remark here; the reference
    // writes 1900-01-00 for it, and 2000-00-00 for an all-zero date, which
    // the decoder shows as bytes with the remark "no valid date or time".
    const QString date = referenceDate(value);
    if (!date.isEmpty() && !r.has(FlagTimeInvalid)) {
        QString mine = r.text;
        if (date.size() == 19 && mine.size() == 16) {
            mine += QStringLiteral(":00");
        }
        QCOMPARE(mine, date);
    }
}

void TestDataRecords::referenceCount_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("count");
    QMap<QString, int> counts;
    for (const QStringList& row : readTsv(QStringLiteral("mbus-records.tsv"))) {
        counts[row[0]] = std::max(counts.value(row[0]), row[1].toInt() + 1);
    }
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }
}

void TestDataRecords::referenceCount() {
    QFETCH(QString, name);
    QFETCH(int, count);
    const RecordDecoding& d = decoded(name);
    QVERIFY(d.isLongFrame);
    QCOMPARE(static_cast<int>(d.records.size()), count);
    QVERIFY2(d.complete, qPrintable(d.notes.empty() ? QString() : decodeNoteText(d.notes.back())));
}

// The captures the reference could not read: the records before the fault
// are kept, the fault is noted.
void TestDataRecords::faultyCaptures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("note"); // -1: decoded to the end
    QTest::addColumn<int>("noteA");
    QTest::addColumn<uint>("lastFlags");

    const int none = -1;
    const auto past = int(DecodeNoteKind::RecordPastEnd);
    const auto appError = int(DecodeNoteKind::ApplicationError);
    const auto header = int(DecodeNoteKind::HeaderTooShort);
    QTest::newRow("text length past the end")
        << "error-frames/premature_end_of_var_vif1" << 3 << past << 10 << uint(FlagTextBeforeVifes);
    QTest::newRow("VIF missing") << "error-frames/premature_end_of_vif1" << 2 << past << 3 << 0u;
    QTest::newRow("text length far too long")
        << "error-frames/too_long_var_vif" << 3 << past << 10 << uint(FlagTextBeforeVifes);
    QTest::newRow("eleven DIFEs") << "error-frames/too_many_dife" << 3 << none << 0
                                  << uint(FlagTooManyDifes);
    QTest::newRow("variable header too short")
        << "error-frames/too_short_header" << 0 << header << 12 << 0u;
    QTest::newRow("fixed structure one byte short")
        << "unsupported-frames/invalid_length2" << 0 << header << 16 << 0u;
    QTest::newRow("buffer too long") << "error-frames/buffer_too_long" << 0 << appError << 2 << 0u;
    QTest::newRow("too many readouts")
        << "error-frames/too_many_readouts" << 0 << appError << 9 << 0u;
}

void TestDataRecords::faultyCaptures() {
    QFETCH(QString, name);
    QFETCH(int, note);
    QFETCH(int, noteA);
    QFETCH(uint, lastFlags);
    const RecordDecoding& d = decoded(name);
    QVERIFY(d.isLongFrame);
    QTEST(static_cast<int>(d.records.size()), "records");
    if (note < 0) {
        QVERIFY(d.complete);
        QVERIFY(d.notes.empty());
    } else {
        QVERIFY(!d.notes.empty());
        QCOMPARE(int(d.notes.back().kind), note);
        QCOMPARE(d.notes.back().a, noteA);
        QVERIFY(!decodeNoteText(d.notes.back()).contains(QLatin1String("Invalid Text")));
    }
    if (!d.records.empty()) {
        QCOMPARE(d.records.back().flags, lastFlags);
    }
}

// One record of a hand-made reply: its quantity, unit and value.
void TestDataRecords::handMade_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<uint>("flags");

    const auto row = [](const char* tag, const QString& records, int index, const char* quantity,
                        const QString& unit, ValueKind kind, const char* value, uint flags = 0) {
        QTest::newRow(tag) << reply72(records) << index << QString::fromLatin1(quantity) << unit
                           << int(kind) << QString::fromLatin1(value) << flags;
    };
    const ValueKind N = ValueKind::Number;
    const ValueKind T = ValueKind::Text;
    const ValueKind B = ValueKind::Bytes;
    const QString none;
    const QString wh = QStringLiteral("Wh");
    const QString degC = QStringLiteral("\u00B0C");
    const QString m3 = QStringLiteral("m^3");
    const QString s = QStringLiteral("s");

    // Integer codings, two's complement, least significant byte first.
    row("int8 negative", "01 03 FE", 0, "energy", wh, N, "-2");
    row("int16", "02 13 39 30", 0, "volume", m3, N, "12.345");
    row("int24 negative", "03 06 FF FF FF", 0, "energy", wh, N, "-1000");
    row("int32", "04 2B 40 E2 01 00", 0, "power", "W", N, "123456");
    row("int48", "06 06 01 00 00 00 00 01", 0, "energy", wh, N, "1099511627777000");
    row("int64 smallest", "07 03 00 00 00 00 00 00 00 80", 0, "energy", wh, N,
        "-9223372036854775808");
    // BCD, most significant nibble F is a minus sign.
    row("bcd2", "09 5A 75", 0, "flow-temperature", degC, N, "7.5");
    row("bcd4", "0A 60 34 12", 0, "temperature-difference", "K", N, "1.234");
    row("bcd6 negative", "0B 62 02 00 F0", 0, "temperature-difference", "K", N, "-0.2");
    row("bcd8", "0C 13 78 56 34 12", 0, "volume", m3, N, "12345.678");
    row("bcd12", "0E 06 11 22 33 44 55 66", 0, "energy", wh, N, "665544332211000");
    row("bcd with hex digits", "0C 13 78 56 3A 12", 0, "volume", m3, T, "123A5678",
        FlagInvalidDigits);
    row("real32", "05 5B 00 00 C8 41", 0, "flow-temperature", degC, N, "25");
    row("real32 large, no exponent", "05 2B 91 DE 4C 4B", 0, "power", "W", N, "13426321");
    row("real32 small", "05 3B 95 CF B2 43", 0, "volume-flow", "m^3/h", N, "0.3576217");
    // Variable length: text (last character first), BCD, binary.
    row("text", "0D FD 11 04 43 42 41 5A", 0, "customer", none, T, "ZABC");
    row("positive bcd lvar", "0D 13 C2 45 23", 0, "volume", m3, N, "2.345");
    row("negative bcd lvar", "0D 13 D2 45 23", 0, "volume", m3, N, "-2.345");
    row("binary lvar", "0D 03 E3 01 02 03", 0, "energy", wh, N, "197121");
    row("binary lvar of 16 bytes", "0D 03 F0 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F", 0,
        "energy", none, B, "0F0E0D0C0B0A09080706050403020100");
    row("selection for readout", "08 13 04 13 01 00 00 00", 0, "volume", m3, ValueKind::None, "");
    row("no data", "00 13 04 13 01 00 00 00", 1, "volume", m3, N, "0.001");
    row("filler skipped", "2F 2F 04 13 01 00 00 00 2F", 0, "volume", m3, N, "0.001");

    // Primary VIF table.
    row("energy in J", "02 0B 05 00", 0, "energy", "J", N, "5000");
    row("mass", "02 1A 05 00", 0, "mass", "kg", N, "0.5");
    row("on time in days", "02 23 02 00", 0, "on-time", s, N, "172800");
    row("operating time in minutes", "02 25 03 00", 0, "operating-time", s, N, "180");
    row("power in J/h", "02 31 07 00", 0, "power", "J/h", N, "70");
    row("volume flow per minute", "02 46 01 00", 0, "volume-flow", "m^3/h", N, "6");
    row("volume flow per second", "02 4F 01 00", 0, "volume-flow", "m^3/h", N, "36");
    row("mass flow", "02 53 01 00", 0, "mass-flow", "kg/h", N, "1");
    row("external temperature", "02 65 2E 08", 0, "external-temperature", degC, N, "20.94");
    row("pressure", "02 69 E8 03", 0, "pressure", "bar", N, "10");
    row("units for hca", "02 6E 0A 00", 0, "hca-units", none, N, "10");
    row("averaging duration in hours", "01 72 18", 0, "averaging-duration", s, N, "86400");
    row("actuality duration", "01 74 04", 0, "actuality-duration", s, N, "4");
    row("fabrication number keeps zeros", "0C 78 45 23 01 00", 0, "fabrication-number", none, T,
        "00012345");
    row("enhanced identification", "0C 79 78 56 34 12", 0, "enhanced-identification", none, T,
        "12345678");
    row("bus address", "01 7A 05", 0, "bus-address", none, N, "5");
    row("reserved vif 6F", "02 6F 01 02", 0, "reserved", none, B, "01 02", FlagReservedCode);
    row("any vif", "00 7E", 0, "any-vif", none, ValueKind::None, "");
    // Dates and times: G, F (with summer time and the invalid bit), I, J.
    row("date G", "02 6C DF 1C", 0, "date", none, ValueKind::Date, "2014-12-31");
    row("date G of 1996", "02 6C 05 C5", 0, "date", none, ValueKind::Date, "1996-05-05");
    row("date and time F", "04 6D 0B 0B CD 13", 0, "date-time", none, ValueKind::DateTime,
        "2014-03-13T11:11");
    row("summer time", "04 6D 0B 8B CD 13", 0, "date-time", none, ValueKind::DateTime,
        "2014-03-13T11:11", FlagSummerTime);
    row("marked invalid", "04 6D A1 15 E9 17", 0, "date-time", none, ValueKind::DateTime,
        "2015-07-09T21:33", FlagTimeInvalid);
    row("date and time I", "06 6D 1E 00 08 16 27 00", 0, "date-time", none, ValueKind::DateTime,
        "2016-07-22T08:00:30");
    row("time J", "03 6D 05 0B 0C", 0, "date-time", none, ValueKind::Time, "12:11:05");
    row("no date", "02 6C 00 00", 0, "date", none, B, "00 00", FlagInvalidDate);
    row("date in bcd", "0A 6C 31 12", 0, "date", none, B, "31 12", FlagUnexpectedSize);

    // Plain-text unit: the standard's example (VIFEs "per hour" and 10^-3
    // before the text), a text alone, and the text sent before the VIFEs.
    row("plain text with vifes", "0C FC A2 73 04 6C 61 67 69 26 08 42 75", 0, "plain-text",
        QStringLiteral("igal/h"), N, "75420.826");
    row("plain text", "02 7C 03 48 52 25 4A 14", 0, "plain-text", QStringLiteral("%RH"), N, "5194");
    row("plain text before vifes", "02 FC 03 48 52 25 74 22 15", 0, "plain-text",
        QStringLiteral("%RH"), N, "54.1", FlagTextBeforeVifes);

    // Extension table FD.
    row("credit", "02 FD 02 10 27", 0, "credit", none, N, "1000");
    row("debit", "02 FD 05 10 27", 0, "debit", none, N, "100");
    row("access number", "01 FD 08 2A", 0, "access-number", none, N, "42");
    row("medium", "01 FD 09 04", 0, "medium", none, T, "4");
    row("manufacturer", "02 FD 0A 42 04", 0, "manufacturer", none, T, "1090");
    row("parameter set", "0D FD 0B 05 31 32 48 46 57", 0, "parameter-set", none, T, "WFH21");
    row("model version", "06 FD 0C 0A 00 01 00 FA 01", 0, "model-version", none, T,
        "2173253517322");
    row("hardware version", "01 FD 0D 03", 0, "hardware-version", none, N, "3");
    row("firmware version", "01 FD 0E 0B", 0, "firmware-version", none, N, "11");
    row("software version", "02 FD 0F 04 03", 0, "software-version", none, N, "772");
    row("customer location", "0C FD 10 76 00 05 21", 0, "customer-location", none, T, "21050076");
    row("error flags unsigned", "02 FD 17 FF FF", 0, "error-flags", none, N, "65535");
    row("digital output", "01 FD 1A 01", 0, "digital-output", none, N, "1");
    row("digital input", "01 FD 1B 02", 0, "digital-input", none, N, "2");
    row("reset counter", "01 FD 60 38", 0, "reset-counter", none, N, "56");
    row("voltage", "02 FD 46 D2 04", 0, "voltage", "V", N, "1.234");
    row("current", "04 FD 59 40 E2 01 00", 0, "current", "A", N, "123.456");
    row("remaining battery in days", "02 FD 74 0A 00", 0, "remaining-battery-life", s, N, "864000");
    row("battery operating time in months", "02 FD 6E 0C 00", 0, "battery-operating-time",
        QStringLiteral("month"), N, "12");
    row("reserved fd 19", "02 FD 19 01 02", 0, "reserved", none, B, "01 02", FlagReservedCode);
    row("reserved fd 7F", "01 FD 7F 07", 0, "reserved", none, B, "07", FlagReservedCode);
    // Extension table FB.
    row("energy in MWh", "02 FB 01 05 00", 0, "energy", wh, N, "5000000");
    row("energy in GJ", "02 FB 08 05 00", 0, "energy", "J", N, "500000000");
    row("volume x100", "02 FB 10 05 00", 0, "volume", m3, N, "500");
    row("mass in t", "02 FB 19 05 00", 0, "mass", "kg", N, "5000000");
    row("power in MW", "02 FB 29 02 00", 0, "power", "W", N, "2000000");
    row("power in GJ/h", "02 FB 31 02 00", 0, "power", "J/h", N, "2000000000");
    row("flow temperature in Fahrenheit", "02 FB 5B D4 00", 0, "flow-temperature", degC, N, "100");
    row("reserved fb 02", "04 FB 02 02 03 00 00", 0, "reserved", none, B, "02 03 00 00",
        FlagReservedCode);
    // Manufacturer-specific VIF: its VIFEs are not read as combinable ones.
    row("manufacturer vif", "02 FF 68 2A 00", 0, "manufacturer-specific", none, N, "42");
    row("manufacturer vif with vifes", "01 FF 81 15 07", 0, "manufacturer-specific", none, N, "7");

    // Combinable VIFEs.
    row("per hour", "02 93 22 05 00", 0, "volume", QStringLiteral("m^3/h"), N, "0.005");
    row("multiplicative correction", "02 86 73 05 00", 0, "energy", wh, N, "5");
    row("correction times 1000", "02 83 7D 05 00", 0, "energy", wh, N, "5000");
    row("start date of", "02 86 39 DF 1C", 0, "energy", none, ValueKind::Date, "2014-12-31");
    row("duration of the last lower limit exceed", "02 AB 57 02 00", 0, "power", s, N, "172800");
    row("number of upper limit exceeds", "02 AB 49 07 00", 0, "power", none, N, "7");
    row("error code no data", "02 93 15 00 00", 0, "volume", m3, N, "0");
    row("reserved vife", "02 93 3D 01 00", 0, "volume", m3, N, "0.001", FlagReservedCode);
    row("manufacturer vife ends the combinable ones", "02 93 FF 22 01 00", 0, "volume", m3, N,
        "0.001");
    row("too many vifes", "02 93 80 80 80 80 80 80 80 80 80 80 22 01 00", 0, "volume", m3, N,
        "0.001", FlagTooManyVifes);
    row("too many difes", "82 80 80 80 80 80 80 80 80 80 80 00 13 01 00", 0, "volume", m3, N,
        "0.001", FlagTooManyDifes);
}

void TestDataRecords::handMade() {
    QFETCH(QByteArray, frame);
    QFETCH(int, index);
    QFETCH(uint, flags);
    const RecordDecoding d = decodeRecords(frame);
    QVERIFY(!frame.isEmpty());
    QVERIFY2(d.complete, qPrintable(d.notes.empty() ? QString() : decodeNoteText(d.notes.back())));
    QVERIFY(index < static_cast<int>(d.records.size()));
    const DataRecord& r = d.records[static_cast<size_t>(index)];
    QTEST(quantityId(r.quantity), "quantity");
    QTEST(r.unit, "unit");
    QTEST(int(r.kind), "kind");
    QTEST(r.text, "value");
    QCOMPARE(r.flags, flags);
    if (r.kind == ValueKind::Number) { // the text rounds reals to their precision
        QVERIFY(std::abs(r.number - r.text.toDouble()) <= std::abs(r.number) * 1e-6);
    }
}

// Replies whose decoding stops early: the records before keep their values.
void TestDataRecords::stops_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("noteA");

    const auto kPast = int(DecodeNoteKind::RecordPastEnd);
    QTest::newRow("data past the end")
        << reply72("04 13 05 00 00 00 04 13 01 00") << 1 << kPast << 6;
    QTest::newRow("dife past the end") << reply72("01 13 05 84") << 1 << kPast << 2;
    QTest::newRow("vif missing") << reply72("01 13 05 04") << 1 << kPast << 2;
    QTest::newRow("vife chain past the end") << reply72("01 13 05 04 93 A2") << 1 << kPast << 4;
    QTest::newRow("extension table code missing") << reply72("01 13 05 04 FD") << 1 << kPast << 3;
    QTest::newRow("lvar past the end") << reply72("01 13 05 0D 13") << 1 << kPast << 3;
    QTest::newRow("text longer than the reply") << reply72("0D FD 11 09 41 42") << 0 << kPast << 13;
    QTest::newRow("plain text past the end") << reply72("02 7C 05 41 42") << 0 << kPast << 6;
    QTest::newRow("reserved lvar")
        << reply72("01 13 05 0D 13 F8 00 00") << 1 << int(DecodeNoteKind::ReservedLvar) << 0xF8;
    QTest::newRow("reserved special function")
        << reply72("01 13 05 3F 00") << 1 << int(DecodeNoteKind::ReservedSpecialDif) << 0x3F;
    QTest::newRow("header too short") << buildLongFrame(0x08, 1, 0x72, hex("78 56 34 12 42")) << 0
                                      << int(DecodeNoteKind::HeaderTooShort) << 12;
    QTest::newRow("short frame") << hex("10 5B 01 5C 16") << 0 << int(DecodeNoteKind::NotLongFrame)
                                 << 5;
    QTest::newRow("length bytes differ")
        << hex("68 04 05 68 08 01 72 00 7B 16") << 0 << int(DecodeNoteKind::NotLongFrame) << 10;
    QTest::newRow("application error")
        << hex("68 04 04 68 08 01 70 02 7B 16") << 0 << int(DecodeNoteKind::ApplicationError) << 2;
    QTest::newRow("no records in CI 52")
        << buildLongFrame(0x53, 0xFD, 0x52, hex("78 56 34 12 FF FF FF FF")) << 0
        << int(DecodeNoteKind::NoRecords) << 0x52;
}

void TestDataRecords::stops() {
    QFETCH(QByteArray, frame);
    QFETCH(int, records);
    QFETCH(int, note);
    QFETCH(int, noteA);
    const RecordDecoding d = decodeRecords(frame);
    QCOMPARE(static_cast<int>(d.records.size()), records);
    QVERIFY(!d.notes.empty());
    QCOMPARE(int(d.notes.back().kind), note);
    QCOMPARE(d.notes.back().a, noteA);
    if (records > 0) {
        QCOMPARE(d.records[0].text, QStringLiteral("0.005"));
    }
    QVERIFY(!decodeNoteText(d.notes.back()).contains(QLatin1String("Invalid Text")));
}

// Headers, storage/tariff/subunit across DIFEs, mode 2, the fixed structure,
// records sent to a meter.
void TestDataRecords::structures_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("function");
    QTest::addColumn<qulonglong>("storage");
    QTest::addColumn<uint>("tariff");
    QTest::addColumn<uint>("subunit");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("value");

    QTest::newRow("storage, tariff and subunit over two DIFEs")
        << reply72("C4 FF 4A 13 01 00 00 00") << 0 << "instantaneous" << qulonglong(351) << 3u << 3u
        << "volume"
        << "0.001";
    QTest::newRow("storage over ten DIFEs")
        << reply72("C1 8F 8F 8F 8F 8F 8F 8F 8F 8F 0F 13 01") << 0 << "instantaneous"
        << qulonglong(0x1FFFFFFFFFF) << 0u << 0u << "volume"
        << "0.001";
    QTest::newRow("maximum") << reply72("12 13 01 00") << 0 << "maximum" << qulonglong(0) << 0u
                             << 0u << "volume"
                             << "0.001";
    QTest::newRow("minimum") << reply72("22 13 01 00") << 0 << "minimum" << qulonglong(0) << 0u
                             << 0u << "volume"
                             << "0.001";
    QTest::newRow("error state") << reply72("72 13 01 00") << 0 << "error" << qulonglong(1) << 0u
                                 << 0u << "volume"
                                 << "0.001";
    QTest::newRow("manufacturer data")
        << reply72("01 13 01 0F 01 02") << 1 << "manufacturer-specific" << qulonglong(0) << 0u << 0u
        << "none"
        << "01 02";
    QTest::newRow("more records follow")
        << reply72("1F") << 0 << "more-records-follow" << qulonglong(0) << 0u << 0u << "none"
        << "";
    QTest::newRow("global readout")
        << reply72("7F 01 13 01") << 1 << "instantaneous" << qulonglong(0) << 0u << 0u << "volume"
        << "0.001";
    QTest::newRow("mode 2 sends high byte first")
        << buildLongFrame(0x08, 1, 0x76, longHeader() + hex("02 13 01 02")) << 0 << "instantaneous"
        << qulonglong(0) << 0u << 0u << "volume"
        << "0.258";
    QTest::newRow("short header") << buildLongFrame(0x08, 1, 0x7A, hex("2A 00 00 00 02 13 01 02"))
                                  << 0 << "instantaneous" << qulonglong(0) << 0u << 0u << "volume"
                                  << "0.513";
    QTest::newRow("no header") << buildLongFrame(0x08, 1, 0x78, hex("02 13 01 02")) << 0
                               << "instantaneous" << qulonglong(0) << 0u << 0u << "volume"
                               << "0.513";
    QTest::newRow("set primary address")
        << buildLongFrame(0x53, 5, 0x51, hex("01 7A 07")) << 0 << "instantaneous" << qulonglong(0)
        << 0u << 0u << "bus-address"
        << "7";
    QTest::newRow("fixed structure in BCD")
        << hex("68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00 3F 16") << 1
        << "instantaneous" << qulonglong(0) << 0u << 0u << "volume"
        << "0.069";
    QTest::newRow("fixed structure binary, historic")
        << buildLongFrame(0x08, 1, 0x73, hex("93 92 91 90 10 C0 05 3E 10 27 00 00 20 4E 00 00"))
        << 1 << "instantaneous" << qulonglong(1) << 0u << 0u << "energy"
        << "20000000";
}

void TestDataRecords::structures() {
    QFETCH(QByteArray, frame);
    QFETCH(int, index);
    const RecordDecoding d = decodeRecords(frame);
    QVERIFY2(d.complete, qPrintable(d.notes.empty() ? QString() : decodeNoteText(d.notes.back())));
    QVERIFY(index < static_cast<int>(d.records.size()));
    const DataRecord& r = d.records[static_cast<size_t>(index)];
    QTEST(functionId(r.function), "function");
    QTEST(qulonglong(r.storage), "storage");
    QTEST(uint(r.tariff), "tariff");
    QTEST(uint(r.subunit), "subunit");
    QTEST(quantityId(r.quantity), "quantity");
    QTEST(r.text, "value");
}

// What a user reads: quantity with its qualifiers, remarks, notes.
void TestDataRecords::texts_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("remarks");

    QTest::newRow("energy accumulated if positive")
        << reply72("04 83 3B 88 13 00 00") << 0
        << "Energy, accumulation only of positive contributions"
        << "";
    QTest::newRow("date of the last begin")
        << reply72("94 10 AD 6F 32 14 7A 18") << 0 << "Power, date of the last begin"
        << "";
    QTest::newRow("reserved code with its bytes")
        << reply72("02 FB 02 01 00") << 0 << "Reserved code (FB 02)"
        << "reserved code";
    QTest::newRow("manufacturer code shown")
        << reply72("02 FF 68 2A 00") << 0 << "Manufacturer specific (FF 68)"
        << "";
    QTest::newRow("plain text per hour")
        << reply72("0C FC A2 73 04 6C 61 67 69 26 08 42 75") << 0 << "igal, per hour"
        << "";
    QTest::newRow("invalid time in summer") << reply72("04 6D A1 95 E9 17") << 0 << "Date and time"
                                            << "the meter marks this time invalid; summer time";
    QTest::newRow("error reported by the meter")
        << reply72("02 93 15 00 00") << 0 << "Volume, no data available (undefined value)"
        << "";
    QTest::newRow("object action to the meter")
        << buildLongFrame(0x53, 5, 0x51, hex("04 93 07 00 00 00 00")) << 0 << "Volume, clear"
        << "";
    QTest::newRow("more records follow")
        << reply72("1F 00") << 0 << "Manufacturer-specific data, more records follow"
        << "";
}

void TestDataRecords::texts() {
    QFETCH(QByteArray, frame);
    QFETCH(int, index);
    const RecordDecoding d = decodeRecords(frame);
    QVERIFY(index < static_cast<int>(d.records.size()));
    const DataRecord& r = d.records[static_cast<size_t>(index)];
    QTEST(recordQuantityText(r), "quantity");
    QTEST(recordRemarksText(r), "remarks");
}

QTEST_GUILESS_MAIN(TestDataRecords)
#include "tst_datarecords.moc"
