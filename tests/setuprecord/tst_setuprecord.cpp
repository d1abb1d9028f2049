#include "netsetup/HexRecord.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecord.h"

#include "base/TextUtil.h"
#include "tests/TestHex.h"

#include <QTest>

using namespace kestrune;

namespace {

using kestrune::testhex::hex;

// "6:08 7:2D" -> a record of `length` bytes of `fill` with those bytes set.
QByteArray recordFrom(int length, uint8_t fill, const QString& bytes) {
    QByteArray out(length, static_cast<char>(fill));
    for (const QString& item : bytes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int colon = item.indexOf(QLatin1Char(':'));
        out[item.left(colon).toInt()] = static_cast<char>(hexToNumber(item.mid(colon + 1)));
    }
    return out;
}

SetupRecord defaultRecord(int n) {
    SetupRecord r(n);
    r.restoreDefaults(false);
    return r;
}

// Record 0 with its defaults and one byte set as a gateway could send it.
SetupRecord recordWithByte(int offset, int value) {
    SetupRecord r = defaultRecord(0);
    QByteArray b = r.bytes();
    b[offset] = static_cast<char>(value);
    r.setBytes(b);
    return r;
}

} // namespace

class TestSetupRecord : public QObject {
    Q_OBJECT

private slots:
    void factoryContents_data();
    void factoryContents();
    void factoryRecord0Meaning();
    void restoreKeepsSettingsOfRecord0Only();
    void netMask_data();
    void netMask();
    void netMaskFromHostBits_data();
    void netMaskFromHostBits();
    void addresses_data();
    void addresses();
    void port_data();
    void port();
    void password_data();
    void password();
    void lineSpeedRead_data();
    void lineSpeedRead();
    void lineSpeedWrite_data();
    void lineSpeedWrite();
    void connectionMode();
    void securityFlags();
    void shortRecordIsNeverReadPast();
    void readAnswer_data();
    void readAnswer();
    void writeRequestAndAck();

    void hexLineEncode_data();
    void hexLineEncode();
    void recordLinesOf120Bytes();
    void consoleCommandsAndWriteLines();
    void hexLineDecode_data();
    void hexLineDecode();
    void hexLineDecodeLeavesOutputsOnFailure();

    void ipSetupDatagram();
    void ipSetupParse_data();
    void ipSetupParse();
    void setupRequests_data();
    void setupRequests();
    void discoveryAnswer_data();
    void discoveryAnswer();
    void discoveryAnswerRoundTrip();
    void serialNumber_data();
    void serialNumber();
};

void TestSetupRecord::factoryContents_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("0") << 0
                       << recordFrom(120, 0x00,
                                     "6:08 7:2D 16:7C 17:04 20:11 21:27 28:CC 29:01 64:4C 65:02 "
                                     "68:12 69:27 76:C0");
    QTest::newRow("1") << 1
                       << recordFrom(126, 0x00, "0:21 34:74 35:65 36:73 37:6D 38:61 39:6C 48:80");
    QTest::newRow("2") << 2 << recordFrom(126, 0xFF, "");
    QTest::newRow("3") << 3 << recordFrom(126, 0x00, "0:03 1:FA 75:0D 76:0D 100:58 101:02");
    QTest::newRow("4") << 4 << recordFrom(126, 0xFF, "");
    QTest::newRow("5") << 5 << recordFrom(126, 0x00, "");
    QTest::newRow("6") << 6
                       << recordFrom(126, 0x00,
                                     "26:03 53:03 54:01 60:03 87:03 88:01 94:03 121:03 122:01");
    QTest::newRow("7") << 7 << recordFrom(126, 0x00, "0:04 1:06 2:08 7:80 9:80 11:80");
}

void TestSetupRecord::factoryContents() {
    QFETCH(int, n);
    QFETCH(QByteArray, expected);
    SetupRecord r(n);
    QVERIFY(r.isEmpty());
    r.restoreDefaults(false);
    QCOMPARE(r.bytes(), expected);
    QCOMPARE(r.recordNumber(), n);
    QCOMPARE(SetupRecord::defaultBytes(n), expected);
}

void TestSetupRecord::factoryRecord0Meaning() {
    const SetupRecord r = defaultRecord(0);
    QCOMPARE(r.ipAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.netMask(), QStringLiteral("255.255.255.0"));
    QCOMPARE(r.telnetPassword(), QString());
    QCOMPARE(r.gateway(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.lineSpeed(), 3);
    QCOMPARE(SetupRecord::lineSpeedBaud(r.lineSpeed()), 2400);
    QCOMPARE(r.ipPort(), QStringLiteral("10001"));
    QVERIFY(r.isUsingUdp());
    QVERIFY(SetupRecord::defaultBytes(8).isEmpty());
    QVERIFY(SetupRecord::defaultBytes(-1).isEmpty());
}

void TestSetupRecord::restoreKeepsSettingsOfRecord0Only() {
    SetupRecord r(0);
    r.setBytes(QByteArray(120, '\xAA'));
    r.restoreDefaults(true);
    QByteArray expected = SetupRecord::defaultBytes(0);
    for (int i : {0, 1, 2, 3, 6, 8, 9, 10, 11, 12, 13, 14, 15, 17, 20, 21, 28, 29})
        expected[i] = '\xAA';
    QCOMPARE(r.bytes(), expected);

    r.setBytes(QByteArray(120, '\xAA'));
    r.restoreDefaults(false);
    QCOMPARE(r.bytes(), SetupRecord::defaultBytes(0));

    SetupRecord r1(1);
    r1.setBytes(QByteArray(126, '\xAA'));
    r1.restoreDefaults(true);
    QCOMPARE(r1.bytes(), SetupRecord::defaultBytes(1));

    // Keeping the settings of an empty or short record keeps what is there.
    SetupRecord empty(0);
    empty.restoreDefaults(true);
    QCOMPARE(empty.bytes(), SetupRecord::defaultBytes(0));
    SetupRecord shortOne(0);
    shortOne.setBytes(QByteArray(10, '\x55'));
    shortOne.restoreDefaults(true);
    expected = SetupRecord::defaultBytes(0);
    for (int i : {0, 1, 2, 3, 6})
        expected[i] = '\x55';
    QCOMPARE(shortOne.bytes(), expected);
}

void TestSetupRecord::netMask_data() {
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("hostBits");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("/24") << "255.255.255.0" << 8 << "255.255.255.0";
    QTest::newRow("/16") << "255.255.0.0" << 16 << "255.255.0.0";
    QTest::newRow("/0") << "0.0.0.0" << 32 << "0.0.0.0";
    QTest::newRow("/32") << "255.255.255.255" << 0 << "255.255.255.255";
    QTest::newRow("/25") << "255.255.255.128" << 7 << "255.255.255.128";
    QTest::newRow("/12") << "255.240.0.0" << 20 << "255.240.0.0";
    QTest::newRow("holes count from the low end") << "255.0.255.0" << 8 << "255.255.255.0";
}

void TestSetupRecord::netMask() {
    QFETCH(QString, mask);
    QFETCH(int, hostBits);
    QFETCH(QString, readBack);
    SetupRecord r = defaultRecord(0);
    QVERIFY(r.setNetMask(mask));
    QCOMPARE(r.maskHostBits(), hostBits);
    QCOMPARE(static_cast<uint8_t>(r.bytes()[SetupRecord::kOffsetMask]), hostBits);
    QCOMPARE(r.netMask(), readBack);
}

void TestSetupRecord::netMaskFromHostBits_data() {
    QTest::addColumn<int>("hostBits");
    QTest::addColumn<QString>("mask");
    QTest::newRow("8") << 8 << "255.255.255.0";
    QTest::newRow("0") << 0 << "255.255.255.255";
    QTest::newRow("31") << 31 << "128.0.0.0";
    QTest::newRow("32") << 32 << "0.0.0.0";
    QTest::newRow("above 32") << 200 << "0.0.0.0";
}

void TestSetupRecord::netMaskFromHostBits() {
    QFETCH(int, hostBits);
    QFETCH(QString, mask);
    SetupRecord r = recordWithByte(SetupRecord::kOffsetMask, hostBits);
    QCOMPARE(r.netMask(), mask);
}

void TestSetupRecord::addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "192.168.1.10" << true << hex("C0 A8 01 0A");
    QTest::newRow("blanks around") << " 10.0.0.1 " << true << hex("0A 00 00 01");
    QTest::newRow("zeros") << "0.0.0.0" << true << hex("00 00 00 00");
    QTest::newRow("octet above 255") << "1.2.3.256" << false << QByteArray();
    QTest::newRow("three parts") << "1.2.3" << false << QByteArray();
    QTest::newRow("five parts") << "1.2.3.4.5" << false << QByteArray();
    QTest::newRow("letters") << "a.b.c.d" << false << QByteArray();
    QTest::newRow("empty part") << "1..3.4" << false << QByteArray();
    QTest::newRow("sign") << "1.-2.3.4" << false << QByteArray();
    QTest::newRow("empty") << "" << false << QByteArray();
}

void TestSetupRecord::addresses() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, bytes);
    for (int offset : {SetupRecord::kOffsetIp, SetupRecord::kOffsetGateway}) {
        SetupRecord r = defaultRecord(0);
        const QByteArray before = r.bytes();
        const bool ok =
            offset == SetupRecord::kOffsetIp ? r.setIpAddress(text) : r.setGateway(text);
        QCOMPARE(ok, accepted);
        if (!accepted) {
            QCOMPARE(r.bytes(), before);
            continue;
        }
        QCOMPARE(r.bytes().mid(offset, 4), bytes);
        QByteArray expected = before;
        expected.replace(offset, 4, bytes);
        QCOMPARE(r.bytes(), expected);
        QCOMPARE(offset == SetupRecord::kOffsetIp ? r.ipAddress() : r.gateway(), text.trimmed());
    }
}

void TestSetupRecord::port_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("10001") << "10001" << hex("11 27") << "10001";
    QTest::newRow("0") << "0" << hex("00 00") << "0";
    QTest::newRow("65535") << "65535" << hex("FF FF") << "65535";
    QTest::newRow("clamped high") << "70000" << hex("FF FF") << "65535";
    QTest::newRow("clamped low") << "-5" << hex("00 00") << "0";
    QTest::newRow("leading number") << "502x" << hex("F6 01") << "502";
    QTest::newRow("not a number") << "abc" << hex("00 00") << "0";
}

void TestSetupRecord::port() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readBack);
    SetupRecord r = defaultRecord(0);
    QVERIFY(r.setIpPort(text));
    QCOMPARE(r.bytes().mid(SetupRecord::kOffsetPort, 2), bytes);
    QCOMPARE(r.ipPort(), readBack);
    QCOMPARE(r.bytes().size(), 120);
}

void TestSetupRecord::password_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("six characters") << "secret" << QByteArray("secr") << "secr";
    QTest::newRow("two characters") << "ab" << QByteArray("ab\0\0", 4) << "ab";
    QTest::newRow("empty") << "" << QByteArray(4, '\0') << "";
    QTest::newRow("four") << "1234" << QByteArray("1234") << "1234";
}

void TestSetupRecord::password() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readBack);
    SetupRecord r = defaultRecord(0);
    QVERIFY(r.setTelnetPassword(text));
    QCOMPARE(r.bytes().mid(SetupRecord::kOffsetPassword, 4), bytes);
    QCOMPARE(r.telnetPassword(), readBack);
    // The gateway address right behind it is untouched.
    QCOMPARE(r.gateway(), QStringLiteral("0.0.0.0"));
}

void TestSetupRecord::lineSpeedRead_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("position");
    QTest::newRow("2400") << 0x04 << 3;
    QTest::newRow("9600") << 0x02 << 5;
    QTest::newRow("300") << 0x07 << 0;
    QTest::newRow("below 2") << 0x01 << 5;
    QTest::newRow("zero") << 0x00 << 5;
    QTest::newRow("above 7") << 0x08 << 0;
    QTest::newRow("0x1F") << 0x1F << 0;
    QTest::newRow("high bits masked") << 0x24 << 3;
    QTest::newRow("high bits masked, 4800") << 0xE3 << 4;
}

void TestSetupRecord::lineSpeedRead() {
    QFETCH(int, code);
    QFETCH(int, position);
    SetupRecord r = recordWithByte(SetupRecord::kOffsetLineSpeed, code);
    QCOMPARE(r.lineSpeed(), position);
}

void TestSetupRecord::lineSpeedWrite_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("after");
    QTest::newRow("300") << 0x04 << 0 << 0x07;
    QTest::newRow("9600") << 0x04 << 5 << 0x02;
    QTest::newRow("clamped low") << 0x04 << -1 << 0x07;
    QTest::newRow("clamped high") << 0x04 << 9 << 0x02;
    QTest::newRow("high bits kept") << 0xA4 << 1 << 0xA6;
}

void TestSetupRecord::lineSpeedWrite() {
    QFETCH(int, before);
    QFETCH(int, position);
    QFETCH(int, after);
    SetupRecord r = recordWithByte(SetupRecord::kOffsetLineSpeed, before);
    QVERIFY(r.setLineSpeed(position));
    QCOMPARE(static_cast<uint8_t>(r.bytes()[SetupRecord::kOffsetLineSpeed]), after);
    QCOMPARE(r.lineSpeed(), qBound(0, position, 5));
}

void TestSetupRecord::connectionMode() {
    SetupRecord r = defaultRecord(0);
    QVERIFY(r.setUsingUdp(false));
    QCOMPARE(r.bytes().mid(28, 2), hex("C0 00"));
    QVERIFY(!r.isUsingUdp());
    QVERIFY(r.setUsingUdp(true));
    QCOMPARE(r.bytes().mid(28, 2), hex("CC 01"));
    QVERIFY(r.isUsingUdp());
}

void TestSetupRecord::securityFlags() {
    SetupRecord r = defaultRecord(1);
    QCOMPARE(static_cast<uint8_t>(r.bytes()[0]), 0x21);
    QVERIFY(!r.telnetAllowed());
    QVERIFY(r.setup77FEAllowed());
    QVERIFY(r.setAllowTelnet(true));
    QCOMPARE(static_cast<uint8_t>(r.bytes()[0]), 0x20);
    QVERIFY(r.setAllow77FE(false));
    QCOMPARE(static_cast<uint8_t>(r.bytes()[0]), 0x30);
    QVERIFY(!r.setup77FEAllowed());
    QVERIFY(r.setAllowTelnet(false));
    QVERIFY(r.setAllow77FE(true));
    QCOMPARE(static_cast<uint8_t>(r.bytes()[0]), 0x21);
    QCOMPARE(r.bytes().mid(1), SetupRecord::defaultBytes(1).mid(1));
}

void TestSetupRecord::shortRecordIsNeverReadPast() {
    SetupRecord r(0);
    // Empty: getters read zeros, setters refuse.
    QCOMPARE(r.ipAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.ipPort(), QStringLiteral("0"));
    QVERIFY(!r.isUsingUdp());
    QVERIFY(!r.setIpAddress(u"1.2.3.4"));
    QVERIFY(!r.setPort(1));
    QVERIFY(!r.setUsingUdp(true));
    QVERIFY(!r.setLineSpeed(1));
    QVERIFY(!r.setTelnetPassword(u"ab"));
    QVERIFY(!r.setAllowTelnet(true));
    QVERIFY(r.isEmpty());
    QVERIFY(r.writeRequest().isEmpty());

    // 21 bytes: the port's high byte is missing.
    r.setBytes(QByteArray(21, '\x01'));
    QCOMPARE(r.ipAddress(), QStringLiteral("1.1.1.1"));
    QCOMPARE(r.port(), uint16_t(1));
    QVERIFY(!r.setPort(10001));
    QVERIFY(!r.setIpPort(u"10001"));
    QVERIFY(!r.setUsingUdp(false));
    QVERIFY(r.setLineSpeed(0));
    QCOMPARE(r.bytes().size(), 21);
}

void TestSetupRecord::readAnswer_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    const QByteArray body(120, '\x42');
    QTest::newRow("124 bytes") << 0 << QByteArray(hex("00 00 00 D0") + body) << true;
    QTest::newRow("record 5") << 5 << QByteArray(hex("00 00 00 D5") + body) << true;
    QTest::newRow("longer kept whole")
        << 0 << QByteArray(hex("00 00 00 D0") + QByteArray(196, 'x')) << true;
    QTest::newRow("123 bytes") << 0 << QByteArray(hex("00 00 00 D0") + body.left(119)) << false;
    QTest::newRow("header only") << 0 << hex("00 00 00 D0") << false;
    QTest::newRow("empty") << 0 << QByteArray() << false;
    QTest::newRow("other record") << 0 << QByteArray(hex("00 00 00 D1") + body) << false;
    QTest::newRow("write ack marker") << 0 << QByteArray(hex("00 00 00 B0") + body) << false;
}

void TestSetupRecord::readAnswer() {
    QFETCH(int, n);
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);
    SetupRecord r = defaultRecord(n);
    const QByteArray before = r.bytes();
    QCOMPARE(r.decodeReadAnswer(answer), accepted);
    QCOMPARE(r.bytes(), accepted ? answer.mid(4) : before);
}

void TestSetupRecord::writeRequestAndAck() {
    const SetupRecord r = defaultRecord(0);
    QCOMPARE(r.readRequest(), hex("00 00 00 E0"));
    QCOMPARE(r.writeRequest(), hex("00 00 00 C0") + SetupRecord::defaultBytes(0));
    QVERIFY(r.isWriteAck(hex("00 00 00 B0")));
    QVERIFY(!r.isWriteAck(hex("00 00 00 B1")));
    QVERIFY(!r.isWriteAck(hex("00 00 00 B0 00")));
    QVERIFY(!r.isWriteAck(hex("00 00 B0")));
    const SetupRecord r7 = defaultRecord(7);
    QCOMPARE(r7.readRequest(), hex("00 00 00 E7"));
    QCOMPARE(r7.writeRequest().left(4), hex("00 00 00 C7"));
    QVERIFY(r7.isWriteAck(hex("00 00 00 B7")));
}

void TestSetupRecord::hexLineEncode_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("byte sum") << 0 << hex("01 02") << int(HexCheck::ByteSum) << 0x10
                              << QByteArray(":020000100102EB");
    QTest::newRow("character sum")
        << 0 << hex("01 02") << int(HexCheck::CharSum) << 0x10 << QByteArray(":020000100102BA");
    // The classic Intel HEX example line.
    QTest::newRow("intel example")
        << 0x100 << hex("21 46 01 36 01 21 47 01 36 00 7E FE 09 D2 19 01") << int(HexCheck::ByteSum)
        << 0x00 << QByteArray(":10010000214601360121470136007EFE09D2190140");
    QTest::newRow("no data") << 0 << QByteArray() << int(HexCheck::ByteSum) << 0x01
                             << QByteArray(":00000001FF");
}

void TestSetupRecord::hexLineEncode() {
    QFETCH(int, offset);
    QFETCH(QByteArray, data);
    QFETCH(int, rule);
    QFETCH(int, type);
    QFETCH(QByteArray, line);
    QCOMPARE(encodeHexRecordLine(static_cast<uint16_t>(offset), data, HexCheck(rule),
                                 static_cast<uint8_t>(type)),
             line);

    QByteArray decoded;
    uint16_t decodedOffset = 0xFFFF;
    uint8_t decodedType = 0xFF;
    const bool charSum = HexCheck(rule) == HexCheck::CharSum;
    QVERIFY(
        decodeHexRecordLine(QByteArrayView(line), decoded, decodedOffset, charSum, &decodedType));
    QCOMPARE(decoded, data);
    QCOMPARE(decodedOffset, offset);
    QCOMPARE(decodedType, type);
    if (charSum)
        QVERIFY(!decodeHexRecordLine(QByteArrayView(line), decoded, decodedOffset));
}

void TestSetupRecord::recordLinesOf120Bytes() {
    const QByteArray record = SetupRecord::defaultBytes(0);
    for (HexCheck rule : {HexCheck::ByteSum, HexCheck::CharSum}) {
        const QList<QByteArray> lines = encodeRecordLines(record, rule);
        QCOMPARE(lines.size(), 4);
        const char* headers[] = {":2000001", ":2000201", ":2000401", ":1800601"};
        QByteArray joined;
        for (int i = 0; i < 4; ++i) {
            QVERIFY2(lines[i].startsWith(QByteArray(headers[i]) + '0'), lines[i].constData());
            QByteArray data;
            uint16_t offset = 0;
            QVERIFY(decodeHexRecordLine(QByteArrayView(lines[i]), data, offset, true));
            QCOMPARE(offset, i * 32);
            joined += data;
        }
        QCOMPARE(joined, record);
    }
    QCOMPARE(hexEndLine(), QByteArray(":00000001FF"));
    QVERIFY(encodeRecordLines(QByteArray(), HexCheck::ByteSum).isEmpty());
}

void TestSetupRecord::consoleCommandsAndWriteLines() {
    const SetupRecord r = defaultRecord(1);
    QCOMPARE(r.consoleReadCommand(), QByteArray("G1\r"));
    QCOMPARE(r.consoleWriteCommand(), QByteArray("S1\r"));
    const QList<QByteArray> lines = r.consoleWriteLines();
    // 126 bytes: three full lines and one of 30 bytes, then the end line.
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines[3].startsWith(":1E006010"));
    QCOMPARE(lines.last(), QByteArray(":00000001FF"));
    QByteArray joined;
    for (int i = 0; i < 4; ++i) {
        QVERIFY(lines[i].endsWith('\r'));
        QByteArray data;
        uint16_t offset = 0;
        const QByteArray line = lines[i].chopped(1);
        // The wizard's own check value is the character sum.
        QVERIFY(!decodeHexRecordLine(QByteArrayView(line), data, offset));
        QVERIFY(decodeHexRecordLine(QByteArrayView(line), data, offset, true));
        joined += data;
    }
    QCOMPARE(joined, r.bytes());
    QVERIFY(SetupRecord(0).consoleWriteLines().isEmpty());
}

void TestSetupRecord::hexLineDecode_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("acceptCharSum");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("intel") << ":10010000214601360121470136007EFE09D2190140" << false << true
                           << 0x100 << hex("21 46 01 36 01 21 47 01 36 00 7E FE 09 D2 19 01");
    QTest::newRow("lower case") << ":020000100102eb" << false << true << 0 << hex("01 02");
    QTest::newRow("end line") << ":00000001FF" << false << true << 0 << QByteArray();
    QTest::newRow("bad check value") << ":020000100102EC" << false << false << 0 << QByteArray();
    QTest::newRow("character sum refused by default")
        << ":020000100102BA" << false << false << 0 << QByteArray();
    QTest::newRow("character sum when asked")
        << ":020000100102BA" << true << true << 0 << hex("01 02");
    QTest::newRow("count larger than data")
        << ":030000100102EA" << false << false << 0 << QByteArray();
    QTest::newRow("count smaller than data")
        << ":010000100102EC" << false << false << 0 << QByteArray();
    QTest::newRow("odd digit count") << ":020000100102E" << false << false << 0 << QByteArray();
    QTest::newRow("not hexadecimal") << ":0200001001G2EB" << false << false << 0 << QByteArray();
    QTest::newRow("no colon") << "020000100102EB" << false << false << 0 << QByteArray();
    QTest::newRow("too short") << ":000000FF" << false << false << 0 << QByteArray();
    QTest::newRow("carriage return left on")
        << ":020000100102EB\r" << false << false << 0 << QByteArray();
    QTest::newRow("blank inside") << ":02000010 0102EB" << false << false << 0 << QByteArray();
    QTest::newRow("non-latin") << QString::fromUtf8(":020000100102E\u00c9") << false << false << 0
                               << QByteArray();
    QTest::newRow("empty") << "" << false << false << 0 << QByteArray();
}

void TestSetupRecord::hexLineDecode() {
    QFETCH(QString, line);
    QFETCH(bool, acceptCharSum);
    QFETCH(bool, accepted);
    QFETCH(int, offset);
    QFETCH(QByteArray, data);
    QByteArray decoded;
    uint16_t decodedOffset = 0;
    QCOMPARE(decodeHexRecordLine(QStringView(line), decoded, decodedOffset, acceptCharSum),
             accepted);
    if (accepted) {
        QCOMPARE(decodedOffset, offset);
        QCOMPARE(decoded, data);
    }
}

void TestSetupRecord::hexLineDecodeLeavesOutputsOnFailure() {
    QByteArray data("keep");
    uint16_t offset = 1234;
    uint8_t type = 77;
    QVERIFY(!decodeHexRecordLine(QByteArrayView(":020000100102EC"), data, offset, true, &type));
    QCOMPARE(data, QByteArray("keep"));
    QCOMPARE(offset, uint16_t(1234));
    QCOMPARE(type, uint8_t(77));
}

void TestSetupRecord::ipSetupDatagram() {
    MacAddress mac;
    QVERIFY(parseMac(u"00-20-4A-12-34-56", mac));
    Ipv4Address ip;
    QVERIFY(parseIpv4(u"192.168.1.10", ip));
    QCOMPARE(buildIpSetup(mac, ip),
             hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 C0 A8 01 0A"));
    QCOMPARE(buildIpSetup(mac, Ipv4Address{}),
             hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 00 00 00 00"));
}

void TestSetupRecord::ipSetupParse_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("address");
    QTest::newRow("fixed") << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00 05")
                           << true << "127.0.0.5";
    QTest::newRow("dhcp") << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 00 00 00 00")
                          << true << "0.0.0.0";
    QTest::newRow("19 bytes") << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00")
                              << false << "";
    QTest::newRow("21 bytes")
        << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00 05 00") << false << "";
    QTest::newRow("other text")
        << hex("00 00 00 FC 49 50 2D 53 45 54 55 51 00 00 34 56 7F 00 00 05") << false << "";
    QTest::newRow("other marker")
        << hex("00 00 00 FD 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00 05") << false << "";
    QTest::newRow("bytes 12..13 not zero")
        << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 01 00 34 56 7F 00 00 05") << false << "";
}

void TestSetupRecord::ipSetupParse() {
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, address);
    IpSetupRequest request;
    QCOMPARE(parseIpSetup(datagram, request), accepted);
    if (!accepted)
        return;
    QCOMPARE(ipv4Text(request.address), address);
    QCOMPARE(request.isDhcp(), address == QLatin1String("0.0.0.0"));
    QVERIFY(request.matches({0x00, 0x20, 0x4A, 0x12, 0x34, 0x56}));
    QVERIFY(request.matches({0x02, 0x4B, 0x7D, 0x99, 0x34, 0x56}));
    QVERIFY(!request.matches({0x00, 0x20, 0x4A, 0x12, 0x34, 0x57}));
    QVERIFY(!request.matches({0x00, 0x20, 0x4A, 0x12, 0x35, 0x56}));
}

void TestSetupRecord::setupRequests_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("recordNumber");
    using K = SetupRequest::Kind;
    QTest::newRow("discovery") << hex("00 00 00 F6") << int(K::Discovery) << -1;
    QTest::newRow("discovery with tail") << hex("00 00 00 F6 00") << int(K::Invalid) << -1;
    QTest::newRow("read 0") << hex("00 00 00 E0") << int(K::ReadRecord) << 0;
    QTest::newRow("read 7") << hex("00 00 00 E7") << int(K::ReadRecord) << 7;
    QTest::newRow("read 8") << hex("00 00 00 E8") << int(K::Invalid) << -1;
    QTest::newRow("read with tail") << hex("00 00 00 E1 01") << int(K::Invalid) << -1;
    QTest::newRow("write 2") << hex("00 00 00 C2 01 02") << int(K::WriteRecord) << 2;
    QTest::newRow("write without record") << hex("00 00 00 C2") << int(K::Invalid) << -1;
    QTest::newRow("write 9") << hex("00 00 00 C9 01") << int(K::Invalid) << -1;
    QTest::newRow("ip setup") << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00 05")
                              << int(K::IpSetup) << -1;
    QTest::newRow("read answer") << QByteArray(hex("00 00 00 D0") + QByteArray(120, 0))
                                 << int(K::Invalid) << -1;
    QTest::newRow("ack") << hex("00 00 00 B0") << int(K::Invalid) << -1;
    QTest::newRow("prefix not zero") << hex("01 00 00 E0") << int(K::Invalid) << -1;
    QTest::newRow("three bytes") << hex("00 00 00") << int(K::Invalid) << -1;
    QTest::newRow("empty") << QByteArray() << int(K::Invalid) << -1;
}

void TestSetupRecord::setupRequests() {
    QFETCH(QByteArray, datagram);
    QFETCH(int, kind);
    QFETCH(int, recordNumber);
    const SetupRequest request = parseSetupRequest(datagram);
    QCOMPARE(int(request.kind), kind);
    QCOMPARE(request.recordNumber, recordNumber);
    if (request.kind == SetupRequest::Kind::WriteRecord)
        QCOMPARE(request.record, datagram.mid(4));
    QCOMPARE(isDiscoveryRequest(datagram), kind == int(SetupRequest::Kind::Discovery));
}

void TestSetupRecord::discoveryAnswer_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("identity");
    auto answer = [](uint8_t variant, const char* macHex) {
        QByteArray d(30, '\0');
        d[0] = static_cast<char>(variant);
        d.replace(24, 6, hex(macHex));
        return d;
    };
    QTest::newRow("K1 00-20-4A") << answer(0, "00 20 4A 12 34 56") << "00-20-4A-12-34-56" << 1
                                 << "K1"
                                 << "-";
    QTest::newRow("K1 00-80-A3") << answer(5, "00 80 A3 01 02 03") << "00-80-A3-01-02-03" << 1
                                 << "K1"
                                 << "-";
    QTest::newRow("K2 00-04-25") << answer(0, "00 04 25 01 02 03") << "00-04-25-01-02-03" << 2
                                 << "K2"
                                 << "41976066";
    QTest::newRow("K2S") << answer(1, "02 4B 7D 01 02 03") << "02-4B-7D-01-02-03" << 3 << "K2S"
                         << "41976066";
    QTest::newRow("K2 by variant")
        << answer(2, "02 4B 7D 01 02 03") << "02-4B-7D-01-02-03" << 2 << "K2"
        << "41976066";
    QTest::newRow("variant 1 elsewhere is no K2S")
        << answer(1, "00 04 25 01 02 03") << "00-04-25-01-02-03" << 2 << "K2"
        << "41976066";
    QTest::newRow("unknown") << answer(0, "AA BB CC 01 02 03") << "AA-BB-CC-01-02-03" << 0 << ""
                             << "-";
    QTest::newRow("short answer") << answer(0, "00 04 25 01 02 03").left(27) << "00-04-25-00-00-00"
                                  << 2 << "K2"
                                  << "41943040";
    QTest::newRow("empty answer") << QByteArray() << "00-00-00-00-00-00" << 0 << ""
                                  << "-";
}

void TestSetupRecord::discoveryAnswer() {
    QFETCH(QByteArray, datagram);
    QFETCH(QString, mac);
    QFETCH(int, kind);
    QFETCH(QString, family);
    QFETCH(QString, identity);
    const DiscoveryAnswer answer = parseDiscoveryAnswer(datagram);
    QCOMPARE(macText(answer.mac), mac);
    const DeviceKind k = deviceKind(answer.mac, answer.variant);
    QCOMPARE(int(k), kind);
    QCOMPARE(deviceFamilyName(k), family);
    QCOMPARE(deviceIdentity(k, answer.mac), identity);
    QCOMPARE(deviceItemKey(answer.mac, k), mac + QLatin1Char('/') + QString::number(kind));
}

void TestSetupRecord::discoveryAnswerRoundTrip() {
    DiscoveryAnswer a;
    a.variant = 1;
    a.name = "K2S";
    a.firmwareMajor = 2;
    a.firmwareMinor = 4;
    a.port = 10001;
    a.mac = {0x02, 0x4B, 0x7D, 0x00, 0x00, 0x07};
    const QByteArray bytes = buildDiscoveryAnswer(a);
    QCOMPARE(bytes.size(), kDiscoveryAnswerLength);
    QCOMPARE(bytes.left(4), hex("01 00 00 F7"));
    QCOMPARE(bytes.mid(24, 6), hex("02 4B 7D 00 00 07"));
    const DiscoveryAnswer b = parseDiscoveryAnswer(bytes);
    QCOMPARE(b.variant, a.variant);
    QCOMPARE(b.name, a.name);
    QCOMPARE(b.firmwareMajor, a.firmwareMajor);
    QCOMPARE(b.firmwareMinor, a.firmwareMinor);
    QCOMPARE(b.port, a.port);
    QCOMPARE(b.mac, a.mac);
    // A 16-character name fills its field without a terminator.
    a.name = QByteArray(20, 'N');
    QCOMPARE(parseDiscoveryAnswer(buildDiscoveryAnswer(a)).name, QByteArray(16, 'N'));
}

void TestSetupRecord::serialNumber_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<uint>("serial");
    QTest::newRow("tie rounds up to even") << "00-04-25-01-02-03" << 41976066u;
    QTest::newRow("third MAC byte counts") << "00-04-25-00-00-00" << 41943040u;
    QTest::newRow("1.5 -> 2") << "00-04-00-00-00-03" << 2u;
    QTest::newRow("2.5 -> 2") << "00-04-00-00-00-05" << 2u;
    QTest::newRow("even") << "00-04-00-00-00-08" << 4u;
    QTest::newRow("top of range") << "00-04-FF-FF-FF-FF" << 0u;
    QTest::newRow("low 26 bits") << "00-04-07-FF-FF-FE" << 0x3FFFFFFu;
}

void TestSetupRecord::serialNumber() {
    QFETCH(QString, mac);
    QFETCH(uint, serial);
    MacAddress m;
    QVERIFY(parseMac(mac, m));
    QCOMPARE(deviceSerialNumber(m), serial);
}

QTEST_GUILESS_MAIN(TestSetupRecord)
#include "tst_setuprecord.moc"
