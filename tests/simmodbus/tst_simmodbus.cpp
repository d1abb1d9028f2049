// The simulated Modbus slave: reads in RTU and TCP framing, exception
// replies, silence where a device stays silent, fault injection, stream
// framers, and the register map against the support library's conversion.
#include "SimFramers.h"
#include "SimModbusSlave.h"
#include "SimRegisterMap.h"

#include <base/TextUtil.h>
#include <zarvek/Zarvek.h>

#include <QtTest>

using namespace kestrune::sim;

namespace {

QByteArray hx(const char* text) {
    QByteArray out;
    if (!kestrune::parseHexBytes(QString::fromLatin1(text), out))
        qFatal("bad hex in test: %s", text);
    return out;
}

// CRC-16/MODBUS bit by bit, written from the polynomial rather than from
// the support library's tables.
QByteArray crcBytes(const QByteArray& data) {
    uint16_t crc = 0xFFFF;
    for (const char c : data) {
        crc ^= uint8_t(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    QByteArray out;
    out.append(char(crc & 0xFF)).append(char(crc >> 8));
    return out;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray rtu(const char* text) {
    const QByteArray b = hx(text);
    return b + crcBytes(b);
}

QByteArray tcp(uint16_t transaction, const char* pduWithUnit) {
    const QByteArray body = hx(pduWithUnit);
    QByteArray out;
    out.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    out.append(char(body.size() >> 8)).append(char(body.size() & 0xFF));
    return out + body;
}

SimModbusSlave testSlave() {
    SimModbusSlave s(1);
    s.setBlock(ModbusTable::Holding, 100, {0x0012, 0x1234, 0xABCD});
    s.setBlock(ModbusTable::Input, 0, {0xABCD, 0x0001, 0x0002});
    s.setBusyRange(500, 10);
    s.addExceptionRange(600, 10, ExServerFailure);
    return s;
}

} // namespace

class TestSimModbus : public QObject {
    Q_OBJECT

private slots:
    void crcGoldenFrame();
    void rtuReplies_data();
    void rtuReplies();
    void rtuSilence_data();
    void rtuSilence();
    void tcpReplies_data();
    void tcpReplies();
    void tcpTransactionEchoed_data();
    void tcpTransactionEchoed();
    void tcpMalformed_data();
    void tcpMalformed();
    void tcpForeignUnit();
    void faults_data();
    void faults();
    void faultCountRunsOut();
    void tcpFramerPieces();
    void tcpFramerGarbageAndBound();
    void rtuFramerPieces();
    void rtuFramerResync();
    void registerMapAgainstFillString_data();
    void registerMapAgainstFillString();
    void registerMapGolden_data();
    void registerMapGolden();
    void defaultSlaveServesMaps();
};

void TestSimModbus::crcGoldenFrame() {
    // A read of 10 holding registers from slave 1 at 0, CRC computed by hand.
    QCOMPARE(withModbusCrc(hx("01 03 00 00 00 0A")), hx("01 03 00 00 00 0A C5 CD"));
    QCOMPARE(crcBytes(hx("01 03 00 00 00 0A")), hx("C5 CD"));
    QVERIFY(modbusCrcValid(hx("01 83 02 C0 F1")));
    QVERIFY(!modbusCrcValid(hx("01 83 02 C0 F2")));
    QCOMPARE(CRC16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x4B37u);
}

void TestSimModbus::rtuReplies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("outcome");
    const int data = int(ModbusOutcome::Reply), ex = int(ModbusOutcome::Exception);
    // Golden replies with their CRC worked out independently.
    QTest::newRow("holding 100..102")
        << rtu("01 03 00 64 00 03") << hx("01 03 06 00 12 12 34 AB CD 63 65") << data;
    QTest::newRow("holding 101") << rtu("01 03 00 65 00 01") << hx("01 03 02 12 34 B5 33") << data;
    QTest::newRow("input 0..2") << rtu("01 04 00 00 00 03")
                                << hx("01 04 06 AB CD 00 01 00 02 84 99") << data;
    QTest::newRow("01 write single") << hx("01 06 00 64 00 01 09 D5") << hx("01 86 01 83 A0") << ex;
    QTest::newRow("01 function 7") << rtu("01 07") << rtu("01 87 01") << ex;
    QTest::newRow("01 function 2B") << rtu("01 2B 0E 01 00") << rtu("01 AB 01") << ex;
    QTest::newRow("02 past block") << hx("01 03 00 69 00 01 54 16") << hx("01 83 02 C0 F1") << ex;
    QTest::newRow("02 overlaps end") << rtu("01 03 00 66 00 02") << hx("01 83 02 C0 F1") << ex;
    QTest::newRow("02 before block") << rtu("01 03 00 63 00 02") << hx("01 83 02 C0 F1") << ex;
    QTest::newRow("02 input at 100") << rtu("01 04 00 64 00 01") << rtu("01 84 02") << ex;
    QTest::newRow("02 wraps 65535") << rtu("01 03 FF FF 00 02") << hx("01 83 02 C0 F1") << ex;
    QTest::newRow("03 count 0") << hx("01 03 00 64 00 00 04 15") << hx("01 83 03 01 31") << ex;
    QTest::newRow("03 count 126") << rtu("01 03 00 64 00 7E") << hx("01 83 03 01 31") << ex;
    QTest::newRow("03 short request") << hx("01 03 00 64 F0 33") << hx("01 83 03 01 31") << ex;
    QTest::newRow("06 busy") << hx("01 03 01 F4 00 01 C4 04") << hx("01 83 06 C1 32") << ex;
    QTest::newRow("06 busy overlap") << rtu("01 04 01 F0 00 05") << rtu("01 84 06") << ex;
    QTest::newRow("04 failure") << rtu("01 03 02 58 00 01") << hx("01 83 04 40 F3") << ex;
}

void TestSimModbus::rtuReplies() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, outcome);
    SimModbusSlave s = testSlave();
    QCOMPARE(s.handleRtu(request), reply);
    QCOMPARE(int(s.lastOutcome()), outcome);
    // The program recognises an exception reply only at exactly 5 bytes.
    if (outcome == int(ModbusOutcome::Exception))
        QCOMPARE(reply.size(), 5);
}

void TestSimModbus::rtuSilence_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("outcome");
    QByteArray bad = rtu("01 03 00 64 00 03");
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 1);
    QTest::newRow("bad crc") << bad << int(ModbusOutcome::IgnoredBadCrc);
    QByteArray flipped = rtu("01 03 00 64 00 03");
    flipped[3] = char(flipped[3] ^ 0x10);
    QTest::newRow("bit flipped in data") << flipped << int(ModbusOutcome::IgnoredBadCrc);
    QTest::newRow("no crc") << hx("01 03 00 64 00 03") << int(ModbusOutcome::IgnoredBadCrc);
    QTest::newRow("other slave") << rtu("02 03 00 64 00 01") << int(ModbusOutcome::IgnoredAddress);
    QTest::newRow("other slave, bad function")
        << rtu("02 06 00 64 00 01") << int(ModbusOutcome::IgnoredAddress);
    QTest::newRow("broadcast") << rtu("00 03 00 64 00 01") << int(ModbusOutcome::IgnoredAddress);
    QTest::newRow("empty") << QByteArray() << int(ModbusOutcome::IgnoredMalformed);
    QTest::newRow("three bytes") << hx("01 03 00") << int(ModbusOutcome::IgnoredMalformed);
    QTest::newRow("oversized") << withModbusCrc(QByteArray(300, '\x01'))
                               << int(ModbusOutcome::IgnoredMalformed);
}

void TestSimModbus::rtuSilence() {
    QFETCH(QByteArray, request);
    QFETCH(int, outcome);
    SimModbusSlave s = testSlave();
    QVERIFY(s.handleRtu(request).isEmpty());
    QCOMPARE(int(s.lastOutcome()), outcome);
    QCOMPARE(s.answered(), 0);
}

void TestSimModbus::tcpReplies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("holding 100..102") << hx("00 01 00 00 00 06 01 03 00 64 00 03")
                                      << hx("00 01 00 00 00 09 01 03 06 00 12 12 34 AB CD");
    QTest::newRow("input 1") << hx("12 34 00 00 00 06 01 04 00 01 00 01")
                             << hx("12 34 00 00 00 05 01 04 02 00 01");
    QTest::newRow("01") << hx("00 07 00 00 00 06 01 10 00 64 00 01")
                        << hx("00 07 00 00 00 03 01 90 01");
    QTest::newRow("02") << hx("00 08 00 00 00 06 01 03 00 00 00 0A")
                        << hx("00 08 00 00 00 03 01 83 02");
    QTest::newRow("03 count 0") << hx("00 09 00 00 00 06 01 04 00 00 00 00")
                                << hx("00 09 00 00 00 03 01 84 03");
    QTest::newRow("03 count 200") << hx("00 09 00 00 00 06 01 03 00 64 00 C8")
                                  << hx("00 09 00 00 00 03 01 83 03");
    QTest::newRow("06 busy") << hx("00 0A 00 00 00 06 01 03 01 F9 00 02")
                             << hx("00 0A 00 00 00 03 01 83 06");
}

void TestSimModbus::tcpReplies() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    SimModbusSlave s = testSlave();
    const QByteArray got = s.handleTcp(request);
    QCOMPARE(got, reply);
    if (got.size() > 8 && (uint8_t(got[7]) & 0x80))
        QCOMPARE(got.size(), 9);
}

void TestSimModbus::tcpTransactionEchoed_data() {
    QTest::addColumn<int>("transaction");
    for (int t : {0, 1, 100, 0x00FF, 0x0100, 0x1234, 0xFFFF})
        QTest::addRow("%d", t) << t;
}

void TestSimModbus::tcpTransactionEchoed() {
    QFETCH(int, transaction);
    SimModbusSlave s = testSlave();
    const QByteArray reply = s.handleTcp(tcp(uint16_t(transaction), "01 03 00 64 00 01"));
    QCOMPARE(reply.size(), 11);
    QCOMPARE((uint8_t(reply[0]) << 8) | uint8_t(reply[1]), transaction);
    QCOMPARE(reply.mid(2), hx("00 00 00 05 01 03 02 00 12"));
}

void TestSimModbus::tcpMalformed_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("protocol id 1") << hx("00 01 00 01 00 06 01 03 00 64 00 01");
    QTest::newRow("length too big") << hx("00 01 00 00 00 07 01 03 00 64 00 01");
    QTest::newRow("length too small") << hx("00 01 00 00 00 05 01 03 00 64 00 01");
    QTest::newRow("header only") << hx("00 01 00 00 00 01 01");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("rtu frame on tcp") << rtu("01 03 00 64 00 01");
}

void TestSimModbus::tcpMalformed() {
    QFETCH(QByteArray, request);
    SimModbusSlave s = testSlave();
    QVERIFY(s.handleTcp(request).isEmpty());
    QCOMPARE(int(s.lastOutcome()), int(ModbusOutcome::IgnoredMalformed));
}

void TestSimModbus::tcpForeignUnit() {
    SimModbusSlave s = testSlave();
    const QByteArray req = hx("00 05 00 00 00 06 07 03 00 64 00 01");
    // A gateway with nothing at unit 7 says the target did not respond.
    QCOMPARE(s.handleTcp(req), hx("00 05 00 00 00 03 07 83 0B"));
    s.setReplyToForeignUnit(false);
    QVERIFY(s.handleTcp(req).isEmpty());
    QCOMPARE(int(s.lastOutcome()), int(ModbusOutcome::IgnoredUnit));
    s.setAcceptAnyUnit(true);
    QCOMPARE(s.handleTcp(req), hx("00 05 00 00 00 05 07 03 02 00 12"));
}

void TestSimModbus::faults_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("useTcp");
    QTest::newRow("rtu no reply") << int(ReplyFault::NoReply) << false;
    QTest::newRow("rtu garbage") << int(ReplyFault::Garbage) << false;
    QTest::newRow("rtu bad crc") << int(ReplyFault::BadCheck) << false;
    QTest::newRow("rtu truncated") << int(ReplyFault::Truncated) << false;
    QTest::newRow("rtu extra") << int(ReplyFault::ExtraBytes) << false;
    QTest::newRow("tcp wrong id") << int(ReplyFault::WrongTransactionId) << true;
    QTest::newRow("tcp no reply") << int(ReplyFault::NoReply) << true;
    QTest::newRow("tcp garbage") << int(ReplyFault::Garbage) << true;
    QTest::newRow("tcp truncated") << int(ReplyFault::Truncated) << true;
}

void TestSimModbus::faults() {
    QFETCH(int, fault);
    QFETCH(bool, useTcp);
    const auto f = ReplyFault(fault);
    SimModbusSlave clean = testSlave();
    SimModbusSlave s = testSlave();
    s.faults().set(f);
    const QByteArray req =
        useTcp ? hx("00 2A 00 00 00 06 01 03 00 64 00 03") : rtu("01 03 00 64 00 03");
    const QByteArray good = useTcp ? clean.handleTcp(req) : clean.handleRtu(req);
    const QByteArray got = useTcp ? s.handleTcp(req) : s.handleRtu(req);
    switch (f) {
    case ReplyFault::NoReply:
        QVERIFY(got.isEmpty());
        break;
    case ReplyFault::Garbage:
        QCOMPARE(got.size(), good.size());
        QVERIFY(got != good);
        break;
    case ReplyFault::BadCheck:
        QCOMPARE(got.size(), good.size());
        QCOMPARE(got.left(got.size() - 2), good.left(good.size() - 2));
        QVERIFY(!modbusCrcValid(got));
        break;
    case ReplyFault::Truncated:
        QCOMPARE(got, good.left(good.size() - 1));
        break;
    case ReplyFault::ExtraBytes:
        QCOMPARE(got.left(good.size()), good);
        QCOMPARE(got.size(), good.size() + 2);
        break;
    case ReplyFault::WrongTransactionId:
        QCOMPARE(got.mid(2), good.mid(2));
        QVERIFY(got.left(2) != req.left(2));
        break;
    default:
        QFAIL("row without a check");
    }
}

void TestSimModbus::faultCountRunsOut() {
    SimModbusSlave s = testSlave();
    s.faults().set(ReplyFault::NoReply, 2);
    const QByteArray req = rtu("01 03 00 64 00 01");
    QVERIFY(s.handleRtu(req).isEmpty());
    QVERIFY(s.handleRtu(req).isEmpty());
    QVERIFY(modbusCrcValid(s.handleRtu(req)));
    // Ignored requests do not use up a fault.
    s.faults().set(ReplyFault::NoReply, 1);
    QVERIFY(s.handleRtu(rtu("05 03 00 64 00 01")).isEmpty());
    QVERIFY(s.handleRtu(req).isEmpty());
    QVERIFY(!s.handleRtu(req).isEmpty());
}

void TestSimModbus::tcpFramerPieces() {
    const QByteArray a = hx("00 01 00 00 00 06 01 03 00 64 00 03");
    const QByteArray b = hx("00 02 00 00 00 06 01 04 00 00 00 02");
    const QByteArray stream = a + b;
    for (int piece = 1; piece <= stream.size(); ++piece) {
        ModbusTcpFramer f;
        QList<QByteArray> got;
        for (int i = 0; i < stream.size(); i += piece) {
            f.append(stream.mid(i, piece));
            while (auto adu = f.next())
                got.append(*adu);
        }
        QCOMPARE(got, (QList<QByteArray>{a, b}));
        QCOMPARE(f.pending(), 0);
        QCOMPARE(f.discarded(), 0);
    }
    // A header alone is not a request yet.
    ModbusTcpFramer f;
    f.append(a.left(7));
    QVERIFY(!f.next());
    f.append(a.mid(7));
    QCOMPARE(f.next(), std::optional<QByteArray>(a));
}

void TestSimModbus::tcpFramerGarbageAndBound() {
    const QByteArray a = hx("00 01 00 00 00 06 01 03 00 64 00 03");
    ModbusTcpFramer f;
    // Bytes that cannot form a header are skipped up to the request.
    f.append(hx("FF FF FF 01 02") + a);
    QCOMPARE(f.next(), std::optional<QByteArray>(a));
    QCOMPARE(f.discarded(), 5);
    // A flood is held to the limit, and the framer still finds a request
    // after it.
    ModbusTcpFramer g(512);
    for (int i = 0; i < 200; ++i) {
        g.append(QByteArray(1000, '\x7F'));
        QVERIFY(!g.next());
        QVERIFY(g.pending() <= 512);
    }
    g.append(a);
    QCOMPARE(g.next(), std::optional<QByteArray>(a));
}

void TestSimModbus::rtuFramerPieces() {
    const QByteArray a = rtu("01 03 00 64 00 03");
    const QByteArray b = rtu("01 10 00 64 00 02 04 00 01 00 02");
    const QByteArray c = rtu("01 2B 0E 01 00"); // length found by its CRC
    const QByteArray stream = a + b + c;
    for (int piece = 1; piece <= stream.size(); ++piece) {
        ModbusRtuFramer f;
        QList<QByteArray> got;
        for (int i = 0; i < stream.size(); i += piece) {
            f.append(stream.mid(i, piece));
            while (auto frame = f.next())
                got.append(*frame);
        }
        QCOMPARE(got, (QList<QByteArray>{a, b, c}));
        QCOMPARE(f.discarded(), 0);
    }
}

void TestSimModbus::rtuFramerResync() {
    const QByteArray a = rtu("01 03 00 64 00 03");
    QByteArray bad = rtu("01 03 00 10 00 01");
    bad[7] = char(bad[7] ^ 0xFF);
    ModbusRtuFramer f;
    // Noise, a request whose CRC is wrong, then a good one: only the good
    // one comes out, and the bad one is never handed to the slave.
    f.append(hx("FF 00 13") + bad + a);
    QCOMPARE(f.next(), std::optional<QByteArray>(a));
    QVERIFY(!f.next());
    QCOMPARE(f.discarded(), 3 + bad.size());
    // A write whose byte count no RTU frame can hold is not a request, even
    // with a valid CRC.
    const QByteArray huge = withModbusCrc(hx("01 10 00 00 00 7F FF") + QByteArray(255, '\x11'));
    f.append(huge + a);
    QCOMPARE(f.next(), std::optional<QByteArray>(a));
    QVERIFY(!f.next());
    // A half-received frame waits; line silence (clear) drops it.
    f.append(a.left(5));
    QVERIFY(!f.next());
    f.clear();
    f.append(a);
    QCOMPARE(f.next(), std::optional<QByteArray>(a));
    // A flood stays bounded.
    ModbusRtuFramer g(1024);
    for (int i = 0; i < 50; ++i) {
        g.append(QByteArray(700, '\x41'));
        QVERIFY(!g.next());
        QVERIFY(g.pending() <= 1024);
    }
    g.append(a);
    QCOMPARE(g.next(), std::optional<QByteArray>(a));
}

void TestSimModbus::registerMapAgainstFillString_data() {
    QTest::addColumn<bool>("input");
    QTest::newRow("holding") << false;
    QTest::newRow("input") << true;
}

void TestSimModbus::registerMapAgainstFillString() {
    // Every value of the default map, read back from the slave's reply and
    // converted by the support library the way the sheet does, shows the
    // documented text; and the sheet's automatic numbering lands on each
    // value in turn.
    QFETCH(bool, input);
    const uint16_t start = input ? 1000 : 0;
    const RegisterMapBuilder map = input ? defaultInputMap(start) : defaultHoldingMap(start);
    SimModbusSlave s(1);
    s.setBlock(input ? ModbusTable::Input : ModbusTable::Holding, start, map.registers());
    if (!input) {
        QCOMPARE(map.entries().size(), 4 + 4 + 4 + 2 + 2 + 4 + 4 + 8);
        QCOMPARE(int(map.nextAddress()), 96);
    }
    uint32_t expectedAddress = start;
    QSet<QPair<int, int>> seen;
    for (const RegisterEntry& e : map.entries()) {
        QCOMPARE(uint32_t(e.address), expectedAddress);
        expectedAddress += uint32_t(e.registerCount());
        QCOMPARE(e.wire.size(), regTypeBytes(e.type));
        QVERIFY2(sheetOffersOrder(e.type, e.order), qPrintable(e.description));
        seen.insert({int(e.type), int(e.order)});

        const QByteArray reply = s.handleRtu(withModbusCrc(
            bytes({1, input ? 4 : 3, e.address >> 8, e.address & 0xFF, 0, e.registerCount()})));
        QCOMPARE(reply.size(), 5 + e.wire.size());
        const QByteArray data = reply.mid(3, e.wire.size());
        QCOMPARE(data, e.wire);
        QCOMPARE(sheetByteText(data), e.byteText);

        char text[ZARVEK_TEXT_SIZE + 4];
        FillString(reinterpret_cast<const uint8_t*>(data.constData()), int(e.type),
                   sheetOrderPosition(e.type, e.order), text, int(data.size()));
        QVERIFY2(QString::fromLatin1(text).trimmed() == e.valueText,
                 qPrintable(e.description + QStringLiteral(": ") + QString::fromLatin1(text) +
                            QStringLiteral(" vs ") + e.valueText));
    }
    if (input)
        return;
    // Every data type in every order the sheet offers for it.
    int offered = 0;
    for (int t = 0; t < 16; ++t)
        for (int o = 0; o < 4; ++o)
            offered += sheetOffersOrder(RegType(t), ByteOrder(o)) ? 1 : 0;
    QCOMPARE(seen.size(), offered);
    QVERIFY(map.report().contains(QStringLiteral("Simulated device")));
}

void TestSimModbus::registerMapGolden_data() {
    // Byte layouts worked out by hand from the value and the order.
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<QString>("value");
    QTest::newRow("INT16 AB") << 0 << 0 << "FB2E"
                              << "-1234";
    QTest::newRow("INT16 BA") << 1 << 1 << "2EFB"
                              << "-1234";
    QTest::newRow("UINT16 BA") << 3 << 3 << "FECA"
                               << "51966";
    QTest::newRow("INT32 ABCD") << 4 << 4 << "F8A4 32EB"
                                << "-123456789";
    QTest::newRow("INT32 DCBA") << 5 << 6 << "EB32 A4F8"
                                << "-123456789";
    QTest::newRow("INT32 CDAB") << 6 << 8 << "32EB F8A4"
                                << "-123456789";
    QTest::newRow("INT32 BADC") << 7 << 10 << "A4F8 EB32"
                                << "-123456789";
    QTest::newRow("UINT32 ABCD") << 8 << 12 << "B2D0 5E00"
                                 << "3000000000";
    QTest::newRow("INT64 DCBA") << 13 << 24 << "EB7E 1682 0BEF DDEE"
                                << "-1234567890123456789";
    QTest::newRow("UINT64 ABCD") << 14 << 28 << "F9CC D8A1 C508 0000"
                                 << "18000000000000000000";
    QTest::newRow("FLOAT ABCD") << 16 << 36 << "41AC 0000"
                                << "21.500000";
    QTest::newRow("FLOAT CDAB") << 18 << 40 << "0000 41AC"
                                << "21.500000";
    QTest::newRow("FLOAT BADC") << 19 << 42 << "AC41 0000"
                                << "21.500000";
    QTest::newRow("DFLOAT ABCD") << 20 << 44 << "C093 4A40 0000 0000"
                                 << "-1234.562500";
    QTest::newRow("DFLOAT CDAB") << 22 << 52 << "0000 0000 4A40 C093"
                                 << "-1234.562500";
    QTest::newRow("CHAR2") << 24 << 60 << "4B32"
                           << "K2";
    QTest::newRow("CHAR16") << 31 << 88 << "5369 6D75 6C61 7465 6420 6465 7669 6365"
                            << "Simulated device";
}

void TestSimModbus::registerMapGolden() {
    QFETCH(int, index);
    QFETCH(QString, bytes);
    QFETCH(QString, value);
    const RegisterMapBuilder map = defaultHoldingMap(0);
    QVERIFY(index < map.entries().size());
    const RegisterEntry& e = map.entries().at(index);
    QFETCH(int, address);
    QCOMPARE(int(e.address), address);
    QCOMPARE(e.byteText, bytes);
    QCOMPARE(e.valueText, value);
}

void TestSimModbus::defaultSlaveServesMaps() {
    SimModbusSlave s = defaultModbusSlave();
    const RegisterMapBuilder holding = defaultHoldingMap(0);
    const RegisterMapBuilder input = defaultInputMap(0);
    // One read fetches the whole holding map.
    const QByteArray all = s.handleTcp(tcp(3, "01 03 00 00 00 60"));
    QCOMPARE(all.size(), 9 + 192);
    QByteArray wires;
    for (const RegisterEntry& e : holding.entries())
        wires += e.wire;
    QCOMPARE(all.mid(9), wires);
    QByteArray inputWires;
    for (const RegisterEntry& e : input.entries())
        inputWires += e.wire;
    const int n = int(inputWires.size() / 2);
    const QByteArray in = s.handleRtu(withModbusCrc(bytes({1, 4, 0, 0, 0, n})));
    QCOMPARE(in.mid(3, inputWires.size()), inputWires);
    QCOMPARE(s.handleRtu(rtu("01 03 01 F4 00 01")), hx("01 83 06 C1 32"));
}

QTEST_GUILESS_MAIN(TestSimModbus)
#include "tst_simmodbus.moc"
