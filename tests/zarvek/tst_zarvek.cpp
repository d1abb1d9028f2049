// The support library through the program's loader: CRC16 and FillString
// bound by name from libZarvek.so in the build folder, and the library's
// other exports reached the same way a foreign caller would.

#include "base/ProgramDir.h"
#include "zarvek/Zarvek.h"
#include "zarvek/loader/SupportLibrary.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

using namespace kestrune;

namespace {

const QString kBuildDir = QStringLiteral(KESTRUNE_BINARY_DIR);

// CRC-16/MODBUS bit by bit, as the rule reads: no tables.
uint16_t referenceCrc(const QByteArray& data) {
    uint16_t crc = 0xFFFF;
    for (char c : data) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
    return crc;
}

// Where each wire byte ends up in the value (most significant byte first),
// for byte orders ABCD, DCBA, CDAB, BADC and values of 2, 4 and 8 bytes.
std::vector<int> valuePositions(int width, int order) {
    static const std::vector<int> two[4] = {{0, 1}, {1, 0}, {0, 1}, {1, 0}};
    static const std::vector<int> four[4] = {
        {0, 1, 2, 3}, {3, 2, 1, 0}, {2, 3, 0, 1}, {1, 0, 3, 2}};
    static const std::vector<int> eight[4] = {{0, 1, 2, 3, 4, 5, 6, 7},
                                              {7, 6, 5, 4, 3, 2, 1, 0},
                                              {6, 7, 4, 5, 2, 3, 0, 1},
                                              {1, 0, 3, 2, 5, 4, 7, 6}};
    return width == 2 ? two[order] : width == 4 ? four[order] : eight[order];
}

quint64 valueOf(const QByteArray& wire, int order) {
    quint64 v = 0;
    for (int pos : valuePositions(int(wire.size()), order))
        v = (v << 8) | static_cast<uint8_t>(wire.at(pos));
    return v;
}

// Wire bytes that carry the value bytes (most significant first) in the order.
QByteArray wireFor(const QByteArray& value, int order) {
    const std::vector<int> pos = valuePositions(int(value.size()), order);
    QByteArray wire(value.size(), '\0');
    for (int i = 0; i < value.size(); ++i)
        wire[pos[i]] = value[i];
    return wire;
}

QString integerText(int type, quint64 v) {
    switch (type) {
    case ZARVEK_INT16:
        return QString::number(static_cast<qint16>(v));
    case ZARVEK_UINT16:
        return QString::number(static_cast<quint16>(v));
    case ZARVEK_INT32:
        return QString::number(static_cast<qint32>(v));
    case ZARVEK_UINT32:
        return QString::number(static_cast<quint32>(v));
    case ZARVEK_INT64:
        return QString::number(static_cast<qint64>(v));
    default:
        return QString::number(v);
    }
}

const char* const kOrderNames[4] = {"ABCD", "DCBA", "CDAB", "BADC"};

bool decimalComma() {
    const char* point = std::localeconv()->decimal_point;
    return point && std::strcmp(point, ",") == 0;
}

// Switches the whole process to a locale that writes a decimal comma: an
// installed German one, else one compiled into folder with localedef and
// found through LOCPATH. Empty with why set when neither can be had.
QByteArray enterDecimalCommaLocale(const QString& folder, QString& why) {
    const char* const names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "de_DE@euro",
                                 "fr_FR.UTF-8", "fr_FR.utf8", "fr_FR"};
    for (const char* name : names) {
        if (std::setlocale(LC_ALL, name) && decimalComma())
            return name;
    }
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"), folder + QStringLiteral("/de_DE.UTF-8")});
    if (!localedef.waitForFinished(180000) || localedef.exitCode() != 0) {
        why = QStringLiteral("no decimal-comma locale is installed and localedef could not "
                             "make one: ") +
              QString::fromLocal8Bit(localedef.readAllStandardError()).trimmed() +
              localedef.errorString();
        return {};
    }
    qputenv("LOCPATH", QFile::encodeName(folder));
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") && decimalComma())
        return "de_DE.UTF-8 (made here)";
    why = QStringLiteral("the locale made by localedef does not load");
    return {};
}

// The library opened straight with dlopen, the way a foreign caller would,
// for the exports the program never binds and for calls the loader's wrapper
// would not make. It is a handle of its own: closing it never pulls the
// library from under the program's loader, and the loader's reset really
// unloads the library when no test holds this handle.
class Direct {
public:
    Direct() = default;
    Direct(const Direct&) = delete;
    Direct& operator=(const Direct&) = delete;
    ~Direct() { close(); }

    bool open() {
        if (handle_)
            return true;
        const QByteArray path = QFile::encodeName(kBuildDir + QStringLiteral("/libZarvek.so"));
        handle_ = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            error_ = QString::fromLocal8Bit(dlerror());
            return false;
        }
        crc16 = reinterpret_cast<decltype(crc16)>(dlsym(handle_, "CRC16"));
        fillString = reinterpret_cast<decltype(fillString)>(dlsym(handle_, "FillString"));
        sendPrn = reinterpret_cast<decltype(sendPrn)>(dlsym(handle_, "SendPRN"));
        getProcesses = reinterpret_cast<decltype(getProcesses)>(dlsym(handle_, "GetProcesses"));
        error_ = QStringLiteral("an export is missing");
        return crc16 && fillString && sendPrn && getProcesses;
    }

    void close() {
        if (handle_)
            dlclose(handle_);
        handle_ = nullptr;
        crc16 = nullptr;
        fillString = nullptr;
        sendPrn = nullptr;
        getProcesses = nullptr;
    }

    QString error() const { return error_; }

    decltype(&::CRC16) crc16 = nullptr;
    decltype(&::FillString) fillString = nullptr;
    decltype(&::SendPRN) sendPrn = nullptr;
    decltype(&::GetProcesses) getProcesses = nullptr;

private:
    void* handle_ = nullptr;
    QString error_;
};

} // namespace

class TestZarvek : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    Direct direct_;
    QTemporaryDir localeFolder_;
    QByteArray commaLocale_;
    QString commaLocaleWhy_;

private slots:
    void initTestCase() {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }

    // Every test starts with the library unloaded and the program folder set
    // to the build folder, where libZarvek.so lies.
    void init() {
        setProgramDir(kBuildDir);
        zarvek::resetForTests();
    }

    void cleanup() { direct_.close(); }

    void cleanupTestCase() {
        setProgramDir(kBuildDir);
        zarvek::resetForTests();
    }

    // ---- CRC16 -----------------------------------------------------------

    void crc16_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<uint>("crc");
        QTest::newRow("check value") << QByteArray("123456789") << 0x4B37u;
        QTest::newRow("read 10 holding registers")
            << QByteArray::fromHex("01030000000A") << 0xCDC5u;
        QTest::newRow("read 3 holding registers of slave 17")
            << QByteArray::fromHex("1103006B0003") << 0x8776u;
        QTest::newRow("read 1 input register") << QByteArray::fromHex("010400000001") << 0xCA31u;
        QTest::newRow("empty") << QByteArray() << 0xFFFFu;
        QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0x40BFu;
        QTest::newRow("one FF byte") << QByteArray(1, '\xFF') << 0x00FFu;
    }

    void crc16() {
        QFETCH(QByteArray, data);
        QFETCH(uint, crc);
        uint16_t got = 0;
        QString error;
        QVERIFY2(zarvek::crc16(data, got, &error), qPrintable(error));
        QCOMPARE(got, static_cast<uint16_t>(crc));
        QCOMPARE(got, referenceCrc(data));
    }

    void crc16WireOrder() {
        // The request as it goes on the wire: CRC low-order byte first.
        QByteArray frame = QByteArray::fromHex("01030000000A");
        uint16_t crc = 0;
        QVERIFY(zarvek::crc16(frame, crc));
        frame.append(char(crc & 0xFF)).append(char(crc >> 8));
        QCOMPARE(frame.toHex(' '), QByteArray("01 03 00 00 00 0a c5 cd"));
        // A frame followed by its own CRC leaves a remainder of zero.
        QVERIFY(zarvek::crc16(frame, crc));
        QCOMPARE(crc, uint16_t(0));
    }

    void crc16MatchesBitwiseRule() {
        QRandomGenerator rng(20261207);
        for (int len : {1, 2, 3, 7, 8, 255, 256, 257, 1000, 65535}) {
            QByteArray data(len, '\0');
            for (auto& c : data)
                c = char(rng.bounded(256));
            uint16_t crc = 0;
            QVERIFY(zarvek::crc16(data, crc));
            QCOMPARE(crc, referenceCrc(data));
        }
    }

    void crc16CountsLow16BitsOfLength() {
        QVERIFY2(direct_.open(), qPrintable(direct_.error()));
        const char one = 0x5A;
        const auto* p = reinterpret_cast<const uint8_t*>(&one);
        const uint32_t single = direct_.crc16(p, 1);
        QCOMPARE(single, uint32_t(referenceCrc(QByteArray(1, one))));
        // 0x10001 is one byte as far as the library is concerned.
        QCOMPARE(direct_.crc16(p, 0x10001u), single);
        // Multiples of 65536 read nothing (a one-byte buffer proves it under
        // the address sanitizer).
        QCOMPARE(direct_.crc16(p, 0x10000u), 0xFFFFu);
        QCOMPARE(direct_.crc16(p, 0xFFFF0000u), 0xFFFFu);
        QCOMPARE(direct_.crc16(nullptr, 10), 0xFFFFu);
        // The upper half of the result is always zero.
        QCOMPARE(direct_.crc16(reinterpret_cast<const uint8_t*>("123456789"), 9) >> 16, 0u);
    }

    void crc16RefusesDataItCannotCover() {
        uint16_t crc = 0x1111;
        QString error;
        QVERIFY(!zarvek::crc16(QByteArray(65536, 'x'), crc, &error));
        QCOMPARE(crc, uint16_t(0x1111));
        QVERIFY2(error.contains(QLatin1String("65535")), qPrintable(error));
        QCOMPARE(zarvek::lastError(), error);
    }

    // ---- FillString: numbers in every byte order --------------------------

    void fillIntegers_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("expected");

        const QList<QByteArray> sources[3] = {
            {QByteArray::fromHex("1234"), QByteArray::fromHex("FFFE"), QByteArray::fromHex("8001")},
            {QByteArray::fromHex("12345678"), QByteArray::fromHex("FFFFFFFE"),
             QByteArray::fromHex("80000001"), QByteArray::fromHex("0001FF00")},
            {QByteArray::fromHex("0102030405060708"), QByteArray::fromHex("FFFFFFFFFFFFFFFE"),
             QByteArray::fromHex("8000000000000001"), QByteArray::fromHex("00FF00FF00FF00FF")}};
        const int typesOfWidth[3][2] = {{ZARVEK_INT16, ZARVEK_UINT16},
                                        {ZARVEK_INT32, ZARVEK_UINT32},
                                        {ZARVEK_INT64, ZARVEK_UINT64}};
        const char* const typeNames[] = {"INT16", "UINT16", "INT32", "UINT32", "INT64", "UINT64"};
        for (int w = 0; w < 3; ++w) {
            for (const QByteArray& source : sources[w]) {
                for (int type : typesOfWidth[w]) {
                    for (int order = 0; order < 4; ++order) {
                        QTest::addRow("%s %s %s", typeNames[type], source.toHex().constData(),
                                      kOrderNames[order])
                            << source << type << order << integerText(type, valueOf(source, order));
                    }
                }
            }
        }
        // Worked examples, written out.
        QTest::newRow("12 34 INT16 ABCD") << QByteArray::fromHex("1234") << 0 << 0 << "4660";
        QTest::newRow("12 34 INT16 DCBA") << QByteArray::fromHex("1234") << 0 << 1 << "13330";
        QTest::newRow("12 34 INT16 CDAB") << QByteArray::fromHex("1234") << 0 << 2 << "4660";
        QTest::newRow("12 34 INT16 BADC") << QByteArray::fromHex("1234") << 0 << 3 << "13330";
        QTest::newRow("FF FE INT16") << QByteArray::fromHex("FFFE") << 0 << 0 << "-2";
        QTest::newRow("FF FE UINT16") << QByteArray::fromHex("FFFE") << 1 << 0 << "65534";
        QTest::newRow("INT32 CDAB") << QByteArray::fromHex("00010000") << 2 << 2 << "1";
        QTest::newRow("INT32 -1") << QByteArray::fromHex("FFFFFFFF") << 2 << 0 << "-1";
        QTest::newRow("UINT32 max") << QByteArray::fromHex("FFFFFFFF") << 3 << 1 << "4294967295";
        QTest::newRow("INT64 min")
            << QByteArray::fromHex("8000000000000000") << 4 << 0 << "-9223372036854775808";
        QTest::newRow("UINT64 max")
            << QByteArray::fromHex("FFFFFFFFFFFFFFFF") << 5 << 2 << "18446744073709551615";
        // The meter reply field: two bytes, least significant first.
        QTest::newRow("M-Bus field 34 12") << QByteArray::fromHex("3412") << 0 << 1 << "4660";
        QTest::newRow("M-Bus field E8 FF") << QByteArray::fromHex("E8FF") << 0 << 1 << "-24";
        // Order codes outside 0..3 reorder nothing.
        QTest::newRow("order 4 acts as ABCD") << QByteArray::fromHex("1234") << 0 << 4 << "4660";
        QTest::newRow("order -1 acts as ABCD")
            << QByteArray::fromHex("12345678") << 3 << -1 << "305419896";
    }

    void fillIntegers() { checkFill(); }

    void fillFloats_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("expected");
        struct Value {
            const char* hex; // most significant byte first
            int type;
            const char* text;
        };
        const Value values[] = {
            {"3FC00000", ZARVEK_FLOAT, "1.500000"},
            {"C0100000", ZARVEK_FLOAT, "-2.250000"},
            {"40490FDB", ZARVEK_FLOAT, "3.141593"},
            {"00000000", ZARVEK_FLOAT, "0.000000"},
            {"3FF8000000000000", ZARVEK_DFLOAT, "1.500000"},
            {"4202A05F20000000", ZARVEK_DFLOAT, "10000000000.000000"},
            {"BFB999999999999A", ZARVEK_DFLOAT, "-0.100000"},
        };
        for (const Value& v : values) {
            const QByteArray value = QByteArray::fromHex(v.hex);
            for (int order = 0; order < 4; ++order)
                QTest::addRow("%s %s", v.hex, kOrderNames[order])
                    << wireFor(value, order) << v.type << order << QString::fromLatin1(v.text);
        }
        QTest::newRow("FLOAT 1.5 as received")
            << QByteArray::fromHex("3FC00000") << 6 << 0 << "1.500000";
        QTest::newRow("FLOAT 1.5 stored CDAB")
            << QByteArray::fromHex("00003FC0") << 6 << 2 << "1.500000";
        QTest::newRow("FLOAT infinity") << QByteArray::fromHex("7F800000") << 6 << 0 << "inf";
        QTest::newRow("DFLOAT -infinity")
            << QByteArray::fromHex("FFF0000000000000") << 7 << 0 << "-inf";
    }

    void fillFloats() { checkFill(); }

    void fillCharacters_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CHAR4 ABCD") << QByteArray("ABCD") << 9 << 0 << "ABCD";
        QTest::newRow("CHAR4 DCBA") << QByteArray("ABCD") << 9 << 1 << "DCBA";
        QTest::newRow("CHAR4 CDAB") << QByteArray("ABCD") << 9 << 2 << "CDAB";
        QTest::newRow("CHAR4 BADC") << QByteArray("ABCD") << 9 << 3 << "BADC";
        QTest::newRow("CHAR2 DCBA") << QByteArray("AB") << 8 << 1 << "BA";
        QTest::newRow("CHAR6 CDAB") << QByteArray("ABCDEF") << 10 << 2 << "EFCDAB";
        QTest::newRow("CHAR16 ABCD")
            << QByteArray("0123456789ABCDEF") << 15 << 0 << "0123456789ABCDEF";
        QTest::newRow("CHAR16 DCBA")
            << QByteArray("0123456789ABCDEF") << 15 << 1 << "FEDCBA9876543210";
        QTest::newRow("CHAR16 CDAB")
            << QByteArray("0123456789ABCDEF") << 15 << 2 << "EFCDAB8967452301";
        QTest::newRow("CHAR16 BADC")
            << QByteArray("0123456789ABCDEF") << 15 << 3 << "1032547698BADCFE";
        QTest::newRow("CHAR8 11 bytes") << QByteArray("ABCDEFGH") << 11 << 0 << "ABCDEFGH";
        QTest::newRow("CHAR10") << QByteArray("ABCDEFGHIJ") << 12 << 0 << "ABCDEFGHIJ";
        QTest::newRow("CHAR12") << QByteArray("ABCDEFGHIJKL") << 13 << 0 << "ABCDEFGHIJKL";
        QTest::newRow("CHAR14") << QByteArray("ABCDEFGHIJKLMN") << 14 << 0 << "ABCDEFGHIJKLMN";
        QTest::newRow("starts with zero") << QByteArray("\0ABC", 4) << 9 << 0 << "";
        QTest::newRow("zero in the middle cuts") << QByteArray("AB\0D", 4) << 9 << 0 << "AB";
        QTest::newRow("zero in the middle, reversed") << QByteArray("AB\0D", 4) << 9 << 1 << "D";
        QTest::newRow("blanks around are trimmed") << QByteArray(" A B") << 9 << 0 << "A B";
        QTest::newRow("bytes above 127 are Latin-1")
            << QByteArray("\xC4\xD6", 2) << 8 << 0 << QStringLiteral(u"\u00C4\u00D6");
    }

    void fillCharacters() { checkFill(); }

    // Lengths that do not fit the type, and unknown types: the empty text.
    void fillRefuses_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("expected");
        QTest::newRow("type 16") << QByteArray::fromHex("1234") << 16 << 0 << "";
        QTest::newRow("type 255") << QByteArray::fromHex("1234") << 255 << 0 << "";
        QTest::newRow("type -1") << QByteArray::fromHex("1234") << -1 << 0 << "";
        QTest::newRow("INT16 given 4 bytes") << QByteArray::fromHex("12345678") << 0 << 0 << "";
        QTest::newRow("INT32 given 2 bytes") << QByteArray::fromHex("1234") << 2 << 0 << "";
        QTest::newRow("DFLOAT given 4 bytes") << QByteArray::fromHex("3FC00000") << 7 << 0 << "";
        QTest::newRow("CHAR4 given 16 bytes") << QByteArray(16, 'A') << 9 << 0 << "";
        QTest::newRow("CHAR16 given 17 bytes") << QByteArray(17, 'A') << 15 << 0 << "";
        QTest::newRow("CHAR2 given 3 bytes") << QByteArray("ABC") << 8 << 0 << "";
        QTest::newRow("no bytes") << QByteArray() << 0 << 0 << "";
        QTest::newRow("many bytes") << QByteArray(4096, 'A') << 15 << 0 << "";
    }

    void fillRefuses() { checkFill(); }

    // DFLOAT texts never exceed 255 characters.
    void fillLongDoubles_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("length");
        // Powers of two print exactly: 2^823 has 248 digits, 2^826 has 249.
        QTest::newRow("2^664, 200 digits") << std::ldexp(1.0, 664) << 200 + 7;
        QTest::newRow("2^823 fits exactly") << std::ldexp(1.0, 823) << 255;
        QTest::newRow("2^826 is cut") << std::ldexp(1.0, 826) << 255;
        QTest::newRow("1e300 is cut") << 1e300 << 255;
        QTest::newRow("largest double is cut") << std::numeric_limits<double>::max() << 255;
        QTest::newRow("most negative is cut") << -std::numeric_limits<double>::max() << 255;
    }

    void fillLongDoubles() {
        QFETCH(double, value);
        QFETCH(int, length);
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        QByteArray wire(8, '\0');
        for (int i = 0; i < 8; ++i)
            wire[i] = char(bits >> (56 - 8 * i));
        QString text;
        QVERIFY(zarvek::fillString(wire, ZARVEK_DFLOAT, 0, text));
        QCOMPARE(text.size(), length);
        const QString digits = text.startsWith(QLatin1Char('-')) ? text.mid(1) : text;
        QVERIFY2(digits.at(0).isDigit() && digits.at(digits.size() - 1).isDigit(),
                 qPrintable(text));
    }

    void fillNotANumber() {
        QString text;
        QVERIFY(zarvek::fillString(QByteArray::fromHex("7FF8000000000000"), 7, 0, text));
        QVERIFY2(text == QLatin1String("nan") || text == QLatin1String("-nan"), qPrintable(text));
        QVERIFY(zarvek::fillString(QByteArray::fromHex("FFC00000"), 6, 0, text));
        QVERIFY2(text.endsWith(QLatin1String("nan")), qPrintable(text));
    }

    // Register values read the same whatever locale the user runs under:
    // the caller parses them back, and a decimal comma would turn 1.5 into
    // 1500000 or 1 there.
    void fillIgnoresDecimalCommaLocale_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FLOAT 1.5") << QByteArray::fromHex("3FC00000") << 6 << "1.500000";
        QTest::newRow("FLOAT 10") << QByteArray::fromHex("41200000") << 6 << "10.000000";
        QTest::newRow("DFLOAT -0.1") << QByteArray::fromHex("BFB999999999999A") << 7 << "-0.100000";
        QTest::newRow("DFLOAT 1e10, no grouping")
            << QByteArray::fromHex("4202A05F20000000") << 7 << "10000000000.000000";
        QTest::newRow("INT32 stays plain") << QByteArray::fromHex("00BC614E") << 2 << "12345678";
    }

    void fillIgnoresDecimalCommaLocale() {
        QFETCH(QByteArray, source);
        QFETCH(int, type);
        QFETCH(QString, expected);
        const QByteArray before = std::setlocale(LC_ALL, nullptr);
        // Found (or made) once for all rows.
        if (commaLocale_.isEmpty() && commaLocaleWhy_.isEmpty()) {
            QVERIFY(localeFolder_.isValid());
            commaLocale_ = enterDecimalCommaLocale(localeFolder_.path(), commaLocaleWhy_);
        } else if (!commaLocale_.isEmpty()) {
            const QByteArray name = commaLocale_.split(' ').first();
            QVERIFY(std::setlocale(LC_ALL, name.constData()));
        }
        if (commaLocale_.isEmpty())
            QSKIP(qPrintable(commaLocaleWhy_));
        const QByteArray name = commaLocale_;
        QString text;
        QString error;
        const bool ok = zarvek::fillString(source, type, 0, text, &error);
        // The caller's own choice is still in force afterwards.
        const bool stillComma = decimalComma();
        std::setlocale(LC_ALL, before.constData());
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(text, expected);
        QVERIFY2(stillComma, name.constData());
    }

    // Straight at the export: nothing is read or written outside the buffers,
    // and the target is untouched past the terminating zero.
    void fillStaysInsideBuffers_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("textLength");
        const QByteArray huge = QByteArray::fromHex("7FEFFFFFFFFFFFFF"); // largest double
        QTest::newRow("INT16") << QByteArray::fromHex("1234") << 2 << 0 << 4;
        QTest::newRow("largest DFLOAT") << huge << 8 << 7 << 255;
        QTest::newRow("CHAR16 without zero") << QByteArray(16, 'Z') << 16 << 15 << 16;
        QTest::newRow("length 17") << QByteArray(17, 'Z') << 17 << 15 << 0;
        QTest::newRow("length 1000, 16 bytes") << QByteArray(16, 'Z') << 1000 << 15 << 0;
        QTest::newRow("odd length 3") << QByteArray(3, 'Z') << 3 << 8 << 0;
        QTest::newRow("negative length") << QByteArray(16, 'Z') << -2 << 8 << 0;
        QTest::newRow("length 2^31-1") << QByteArray(16, 'Z') << INT32_MAX << 15 << 0;
    }

    void fillStaysInsideBuffers() {
        QVERIFY2(direct_.open(), qPrintable(direct_.error()));
        QFETCH(QByteArray, source);
        QFETCH(int, length);
        QFETCH(int, type);
        QFETCH(int, textLength);
        constexpr int kCanary = 64;
        std::array<char, ZARVEK_TEXT_SIZE + kCanary> target;
        target.fill('\xA5');
        // A heap copy of exactly the source's size, so any read past it
        // shows under the address sanitizer.
        std::vector<uint8_t> bytes(source.begin(), source.end());
        QCOMPARE(direct_.fillString(bytes.data(), type, 0, target.data(), length), 0);
        const auto used = static_cast<int>(qstrnlen(target.data(), target.size()));
        QCOMPARE(used, textLength);
        for (std::size_t i = std::size_t(used) + 1; i < target.size(); ++i)
            QVERIFY2(target[i] == '\xA5', qPrintable(QStringLiteral("byte %1 written").arg(i)));
    }

    void fillWithoutBuffers() {
        QVERIFY2(direct_.open(), qPrintable(direct_.error()));
        char target[ZARVEK_TEXT_SIZE];
        std::memset(target, 'x', sizeof target);
        QCOMPARE(direct_.fillString(nullptr, 0, 0, target, 2), 0);
        QCOMPARE(target[0], '\0');
        QCOMPARE(target[1], 'x');
        const uint8_t bytes[2] = {0x12, 0x34};
        QCOMPARE(direct_.fillString(bytes, 0, 0, nullptr, 2), 0);
    }

    // ---- the other exports -------------------------------------------------

    void attachCounter() {
        QVERIFY2(direct_.open(), qPrintable(direct_.error()));
        QCOMPARE(direct_.getProcesses(), int16_t(1));
        // Loading it again in the same process, by another path and through
        // the program's loader, is the same copy: still attached once.
        QLibrary again(QStringLiteral(KESTRUNE_BINARY_DIR "/tests/../libZarvek.so"));
        QVERIFY2(again.load(), qPrintable(again.errorString()));
        auto get = reinterpret_cast<decltype(&::GetProcesses)>(again.resolve("GetProcesses"));
        QVERIFY(get);
        QCOMPARE(get(), int16_t(1));
        uint16_t crc = 0;
        QVERIFY(zarvek::crc16(QByteArray("x"), crc));
        QCOMPARE(direct_.getProcesses(), int16_t(1));
        QVERIFY(again.unload());
        QCOMPARE(direct_.getProcesses(), int16_t(1));
    }

    void sendPrnMissingPort_data() {
        QTest::addColumn<uint>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("port 64999") << 64999u << "/dev/lp64999";
        QTest::newRow("only the low 16 bits count") << (0x70000u | 65001u) << "/dev/lp65001";
    }

    void sendPrnMissingPort() {
        QVERIFY2(direct_.open(), qPrintable(direct_.error()));
        QFETCH(uint, port);
        QFETCH(QString, device);
        QVERIFY2(!QFile::exists(device), qPrintable(device + QLatin1String(" exists")));
        QCOMPARE(direct_.sendPrn("hello\n", port), int16_t(0));
        // Even with the rights to create files in /dev, none appears.
        QVERIFY(!QFile::exists(device));
        QCOMPARE(direct_.sendPrn(nullptr, port), int16_t(0));
    }

    // ---- the loader ---------------------------------------------------------

    void missingLibrary() {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        setProgramDir(empty.path());
        zarvek::resetForTests();

        uint16_t crc = 0x2222;
        QString error;
        QVERIFY(!zarvek::crc16(QByteArray("123456789"), crc, &error));
        QCOMPARE(crc, uint16_t(0x2222));
        QVERIFY2(error.startsWith(QLatin1String("The support library \"libZarvek.so\" could not be "
                                                "loaded from ")),
                 qPrintable(error));
        QVERIFY2(error.contains(empty.path()), qPrintable(error));
        QVERIFY2(error.contains(QLatin1String("system library path")), qPrintable(error));
        QCOMPARE(zarvek::lastError(), error);

        QString text = QStringLiteral("untouched");
        QVERIFY(!zarvek::fillString(QByteArray::fromHex("1234"), 0, 0, text, &error));
        QCOMPARE(text, QStringLiteral("untouched"));
        QVERIFY(error.contains(QLatin1String("libZarvek.so")));
        QVERIFY(!zarvek::isBound());

        // Once the library is where the program looks, the next call finds it.
        setProgramDir(kBuildDir);
        QVERIFY(zarvek::crc16(QByteArray("123456789"), crc));
        QCOMPARE(crc, uint16_t(0x4B37));
    }

    // With nothing beside the program, the system's library search path is
    // tried. The plain run has the build folder off that path; the CTest
    // entry tst_zarvek_system_path runs this with LD_LIBRARY_PATH on it.
    void systemPathFallback() {
        bool onPath = false;
        for (const QString& dir : qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':')))
            onPath =
                onPath || (!dir.isEmpty() && QDir::cleanPath(dir) == QDir::cleanPath(kBuildDir));
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        setProgramDir(empty.path());
        zarvek::resetForTests();
        uint16_t crc = 0;
        QString error;
        QCOMPARE(zarvek::crc16(QByteArray("123456789"), crc, &error), onPath);
        if (onPath)
            QCOMPARE(crc, uint16_t(0x4B37));
        else
            QVERIFY2(error.contains(QLatin1String("libZarvek.so")), qPrintable(error));
    }

    void missingFunction() {
        setProgramDir(QStringLiteral(ZARVEK_STUB_DIR));
        zarvek::resetForTests();
        // The copy beside the program wins over any other.
        uint16_t crc = 0;
        QVERIFY(zarvek::crc16(QByteArray("123456789"), crc));
        QCOMPARE(crc, uint16_t(0x1234));

        QString text;
        QString error;
        QVERIFY(!zarvek::fillString(QByteArray::fromHex("1234"), 0, 0, text, &error));
        QVERIFY2(error.contains(QLatin1String("does not export the function \"FillString\"")),
                 qPrintable(error));
        QVERIFY2(error.contains(QLatin1String("zarvek-stub")), qPrintable(error));
        QVERIFY(!zarvek::isBound());
    }

    void bindsOnceAcrossThreads() {
        constexpr int kThreads = 8;
        std::atomic<int> ok{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&ok] {
                uint16_t crc = 0;
                QString text;
                if (zarvek::crc16(QByteArray("123456789"), crc) && crc == 0x4B37 &&
                    zarvek::fillString(QByteArray::fromHex("FFFE"), 0, 0, text) &&
                    text == QLatin1String("-2"))
                    ++ok;
            });
        }
        for (auto& t : threads)
            t.join();
        QCOMPARE(ok.load(), kThreads);
        QVERIFY(zarvek::isBound());
    }

private:
    void checkFill() {
        QFETCH(QByteArray, source);
        QFETCH(int, type);
        QFETCH(int, order);
        QFETCH(QString, expected);
        QString text = QStringLiteral("stale");
        QString error;
        QVERIFY2(zarvek::fillString(source, type, order, text, &error), qPrintable(error));
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestZarvek)
#include "tst_zarvek.moc"
