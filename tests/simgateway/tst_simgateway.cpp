#include "sim/gateway/SimConsole.h"
#include "sim/gateway/SimGateway.h"

#include "netsetup/HexRecord.h"
#include "netsetup/SetupDatagram.h"

#include "base/TextUtil.h"
#include "tests/TestHex.h"

#include <QTest>

using namespace kestrune;
using namespace kestrune::sim;

namespace {

using kestrune::testhex::hex;

constexpr Ipv4Address kHome{127, 0, 0, 2};
constexpr int64_t kRestart = 2000;

SimGateway makeGateway(GatewayFamily family = GatewayFamily::K2, uint32_t serial = 0x123456,
                       Ipv4Address address = kHome) {
    SimGateway g(family, SimGateway::makeMac(family, serial), address);
    g.setRestartMs(kRestart);
    return g;
}

// What the wizard does with console output when it reads a record: lines
// split at LF with CR removed, each kept when its offset continues the
// buffer behind the 4-byte header.
QByteArray readLikeTheWizard(const QByteArray& output, int n) {
    QByteArray buffer = recordReadAnswer(n, {});
    QByteArray text = output;
    text.replace('\r', QByteArray());
    for (const QByteArray& line : text.split('\n')) {
        QByteArray data;
        uint16_t offset = 0;
        if (decodeHexRecordLine(QByteArrayView(line), data, offset) && offset + 4 == buffer.size())
            buffer += data;
    }
    return buffer;
}

// What the wizard sends for a serial record write.
QByteArray serialWrite(int n, const QByteArray& record, HexCheck rule) {
    QByteArray out = "S" + QByteArray::number(n) + "\r";
    for (const QByteArray& line : encodeRecordLines(record, rule))
        out += line + "\r";
    return out + hexEndLine();
}

bool hasEvent(const QList<SimEvent>& events, SimEvent::Kind kind) {
    for (const SimEvent& e : events) {
        if (e.kind == kind)
            return true;
    }
    return false;
}

} // namespace

class TestSimGateway : public QObject {
    Q_OBJECT

private slots:
    void discovery_data();
    void discovery();
    void recordRead_data();
    void recordRead();
    void recordWrite_data();
    void recordWrite();
    void writeOfRecord0ChangesTransport();
    void shortWriteKeepsRecordLength();
    void runtimeSetUpWithoutRestart();
    void malformedDatagramsIgnored_data();
    void malformedDatagramsIgnored();
    void ipSetupMovesOnlyTheMatchingGateway();
    void ipSetupDhcp();
    void ipSetupOutsideLoopbackRefused();
    void setupPortLockedByRecord1();
    void setupFaults_data();
    void setupFaults();
    void setupFaultCountsOnlyRequestsTaken();

    void consoleWakeUp();
    void consoleRead_data();
    void consoleRead();
    void consoleWrite_data();
    void consoleWrite();
    void consoleRestartAndQuit();
    void consoleMovesAddressOnRestart_data();
    void consoleMovesAddressOnRestart();
    void consoleBadRecordLines_data();
    void consoleBadRecordLines();
    void consoleGarbage_data();
    void consoleGarbage();
    void consoleInputInPieces();
    void consoleSleepsAfterNetworkRestart();
    void consoleFaults();
};

void TestSimGateway::discovery_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("kind");
    QTest::newRow("K1") << int(GatewayFamily::K1) << 0x00 << "00-20-4A" << int(DeviceKind::K1);
    QTest::newRow("K2") << int(GatewayFamily::K2) << 0x02 << "00-04-25" << int(DeviceKind::K2);
    QTest::newRow("K2S") << int(GatewayFamily::K2S) << 0x01 << "02-4B-7D" << int(DeviceKind::K2S);
}

void TestSimGateway::discovery() {
    QFETCH(int, family);
    QFETCH(int, variant);
    QFETCH(QString, prefix);
    QFETCH(int, kind);
    SimGateway g = makeGateway(GatewayFamily(family), 0xABCDEF);
    const SetupReply reply = g.handleSetupDatagram(discoveryRequest(), 0);
    QCOMPARE(reply.datagrams.size(), 1);
    QVERIFY(reply.events.isEmpty());
    const QByteArray& answer = reply.datagrams.first();
    QVERIFY(answer.size() >= 30);
    QCOMPARE(static_cast<uint8_t>(answer[0]), variant);
    QCOMPARE(macText(parseDiscoveryAnswer(answer).mac), prefix + QStringLiteral("-AB-CD-EF"));
    QCOMPARE(answer.mid(24, 6), QByteArray(reinterpret_cast<const char*>(g.mac().data()), 6));
    QCOMPARE(int(deviceKind(g.mac(), static_cast<uint8_t>(answer[0]))), kind);
    QCOMPARE(parseDiscoveryAnswer(answer).port, uint16_t(10001));
}

void TestSimGateway::recordRead_data() {
    QTest::addColumn<int>("n");
    for (int n = 0; n < 8; ++n)
        QTest::addRow("record %d", n) << n;
}

void TestSimGateway::recordRead() {
    QFETCH(int, n);
    SimGateway g = makeGateway();
    const SetupReply reply = g.handleSetupDatagram(recordReadRequest(n), 0);
    QCOMPARE(reply.datagrams.size(), 1);
    const QByteArray& answer = reply.datagrams.first();
    QVERIFY(answer.size() >= 124);
    QCOMPARE(answer.left(4), recordReadAnswer(n, {}));
    QCOMPARE(answer.mid(4), SetupRecord::defaultBytes(n));
    SetupRecord r(n);
    QVERIFY(r.decodeReadAnswer(answer));
}

void TestSimGateway::recordWrite_data() {
    QTest::addColumn<int>("n");
    for (int n = 0; n < 8; ++n)
        QTest::addRow("record %d", n) << n;
}

void TestSimGateway::recordWrite() {
    QFETCH(int, n);
    SimGateway g = makeGateway();
    QByteArray record = SetupRecord::defaultBytes(n);
    record[40] = '\x5A';
    if (n == 1)
        record[0] = '\x21'; // keep setup through the network allowed

    const int64_t t0 = 10000;
    const SetupReply ack = g.handleSetupDatagram(recordWriteRequest(n, record), t0);
    QCOMPARE(ack.datagrams.size(), 1);
    QByteArray expectedAck = hex("00 00 00 B0");
    expectedAck[3] = static_cast<char>(0xB0 + n);
    QCOMPARE(ack.datagrams.first(), expectedAck);

    // Restarting: silent to everything until the restart time.
    for (int64_t t : {t0, t0 + 1, t0 + kRestart - 1}) {
        QVERIFY(g.isRestarting(t));
        QVERIFY(g.handleSetupDatagram(recordReadRequest(0), t).datagrams.isEmpty());
        QVERIFY(g.handleSetupDatagram(discoveryRequest(), t).datagrams.isEmpty());
    }
    const SetupReply back = g.handleSetupDatagram(recordReadRequest(n), t0 + kRestart);
    QCOMPARE(back.datagrams.size(), 1);
    QCOMPARE(back.datagrams.first(), recordReadAnswer(n, record));
}

void TestSimGateway::writeOfRecord0ChangesTransport() {
    SimGateway g = makeGateway();
    QCOMPARE(g.transparentPort(), uint16_t(10001));
    QVERIFY(g.transparentUdp());

    SetupRecord r(0);
    r.setBytes(g.record(0).bytes());
    QVERIFY(r.setIpPort(u"10005"));
    QVERIFY(r.setUsingUdp(false));
    const SetupReply reply = g.handleSetupDatagram(r.writeRequest(), 0);
    QCOMPARE(reply.datagrams, QList<QByteArray>{hex("00 00 00 B0")});
    QVERIFY(hasEvent(reply.events, SimEvent::Kind::TransportChanged));
    QVERIFY(!hasEvent(reply.events, SimEvent::Kind::MoveAddress));
    QCOMPARE(g.transparentPort(), uint16_t(10005));
    QVERIFY(!g.transparentUdp());

    // Writing the same settings again changes nothing to rebind.
    const SetupReply again = g.handleSetupDatagram(r.writeRequest(), kRestart);
    QCOMPARE(again.datagrams.size(), 1);
    QVERIFY(again.events.isEmpty());
}

void TestSimGateway::shortWriteKeepsRecordLength() {
    SimGateway g = makeGateway();
    const SetupReply reply = g.handleSetupDatagram(hex("00 00 00 C0 0A 00 00 05"), 0);
    QCOMPARE(reply.datagrams.size(), 1);
    const QByteArray answer =
        g.handleSetupDatagram(recordReadRequest(0), kRestart).datagrams.value(0);
    QCOMPARE(answer.size(), 124);
    QCOMPARE(answer.mid(4, 4), hex("0A 00 00 05"));
    QCOMPARE(answer.mid(8), SetupRecord::defaultBytes(0).mid(4));

    // Longer than the record: cut to the record's length.
    const QByteArray tooLong(300, '\x01');
    QCOMPARE(g.handleSetupDatagram(recordWriteRequest(3, tooLong), 2 * kRestart).datagrams.size(),
             1);
    QCOMPARE(g.record(3).bytes(), QByteArray(126, '\x01'));
}

void TestSimGateway::runtimeSetUpWithoutRestart() {
    SimGateway g = makeGateway();
    SetupRecord r = g.record(0);
    QVERIFY(r.setPort(10020));
    QVERIFY(r.setUsingUdp(false));
    QVERIFY(g.storeRecord(0, r.bytes()));
    g.adoptRecordSettings();
    QCOMPARE(g.transparentPort(), uint16_t(10020));
    QVERIFY(!g.transparentUdp());
    QVERIFY(!g.isRestarting(0));
    QVERIFY(g.takeEvents().isEmpty());
    // A later restart with the same record has nothing to report.
    g.restart(0);
    QVERIFY(g.takeEvents().isEmpty());
}

void TestSimGateway::malformedDatagramsIgnored_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << hex("00");
    QTest::newRow("three bytes") << hex("00 00 00");
    QTest::newRow("read 8") << hex("00 00 00 E8");
    QTest::newRow("discovery with tail") << hex("00 00 00 F6 FF");
    QTest::newRow("write without record") << hex("00 00 00 C0");
    QTest::newRow("read answer") << QByteArray(hex("00 00 00 D0") + QByteArray(120, 0));
    QTest::newRow("ack") << hex("00 00 00 B0");
    QTest::newRow("all FF") << hex("FF FF FF FF");
    QTest::newRow("prefix not zero") << hex("00 01 00 E0");
    QTest::newRow("ip setup 19 bytes")
        << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 7F 00 00");
    QTest::newRow("ip setup for another MAC")
        << hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 99 99 7F 00 00 09");
}

void TestSimGateway::malformedDatagramsIgnored() {
    QFETCH(QByteArray, datagram);
    SimGateway g = makeGateway();
    const SetupReply reply = g.handleSetupDatagram(datagram, 0);
    QVERIFY(reply.datagrams.isEmpty());
    QVERIFY(reply.events.isEmpty());
    QVERIFY(!g.isRestarting(0));
    QCOMPARE(g.address(), kHome);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(g.record(n).bytes(), SetupRecord::defaultBytes(n));
}

void TestSimGateway::ipSetupMovesOnlyTheMatchingGateway() {
    SimGateway a = makeGateway(GatewayFamily::K1, 0x001234, {127, 0, 0, 2});
    SimGateway b = makeGateway(GatewayFamily::K2, 0x001235, {127, 0, 0, 3});
    const Ipv4Address target{127, 0, 0, 50};
    const QByteArray datagram = buildIpSetup(a.mac(), target);

    const SetupReply ra = a.handleSetupDatagram(datagram, 0);
    const SetupReply rb = b.handleSetupDatagram(datagram, 0);
    QVERIFY(ra.datagrams.isEmpty()); // the gateway answers on its new address, after restarting
    QCOMPARE(ra.events.size(), 1);
    QCOMPARE(ra.events.first().kind, SimEvent::Kind::MoveAddress);
    QCOMPARE(ra.events.first().address, target);
    QCOMPARE(a.address(), target);
    QCOMPARE(a.record(0).ipv4(), target);
    QVERIFY(a.isRestarting(kRestart - 1));

    QVERIFY(rb.datagrams.isEmpty());
    QVERIFY(rb.events.isEmpty());
    QCOMPARE(b.address(), (Ipv4Address{127, 0, 0, 3}));
    QVERIFY(!b.isRestarting(0));
    QCOMPARE(b.handleSetupDatagram(recordReadRequest(0), 1).datagrams.size(), 1);

    // After the restart the moved gateway answers record-0 reads again, and
    // record 0 tells the address it now has.
    const QByteArray answer =
        a.handleSetupDatagram(recordReadRequest(0), kRestart).datagrams.value(0);
    SetupRecord r(0);
    QVERIFY(r.decodeReadAnswer(answer));
    QCOMPARE(r.ipAddress(), QStringLiteral("127.0.0.50"));
}

void TestSimGateway::ipSetupDhcp() {
    SimGateway g = makeGateway();
    const SetupReply reply = g.handleSetupDatagram(buildIpSetup(g.mac(), {}), 100);
    QVERIFY(reply.datagrams.isEmpty());
    QCOMPARE(reply.events.size(), 1);
    QCOMPARE(reply.events.first().kind, SimEvent::Kind::DhcpRequested);
    QVERIFY(g.isRestarting(100 + kRestart - 1));
    QVERIFY(isZero(g.record(0).ipv4()));
    g.setAddress({127, 0, 0, 77});
    QCOMPARE(g.address(), (Ipv4Address{127, 0, 0, 77}));
    QCOMPARE(g.handleSetupDatagram(discoveryRequest(), 100 + kRestart).datagrams.size(), 1);
}

void TestSimGateway::ipSetupOutsideLoopbackRefused() {
    SimGateway g = makeGateway();
    const SetupReply reply = g.handleSetupDatagram(buildIpSetup(g.mac(), {192, 168, 1, 10}), 0);
    QVERIFY(reply.datagrams.isEmpty());
    QCOMPARE(reply.events.size(), 1);
    QCOMPARE(reply.events.first().kind, SimEvent::Kind::AddressRefused);
    QCOMPARE(reply.events.first().address, (Ipv4Address{192, 168, 1, 10}));
    QCOMPARE(g.address(), kHome);
    QVERIFY(!g.isRestarting(0));
    QCOMPARE(g.record(0).bytes(), SetupRecord::defaultBytes(0));
}

void TestSimGateway::setupPortLockedByRecord1() {
    SimGateway g = makeGateway();
    SetupRecord r1(1);
    r1.restoreDefaults(false);
    QVERIFY(r1.setAllow77FE(false));
    QCOMPARE(g.handleSetupDatagram(r1.writeRequest(), 0).datagrams.size(), 1);
    const int64_t t = kRestart;
    QVERIFY(g.handleSetupDatagram(recordReadRequest(0), t).datagrams.isEmpty());
    QVERIFY(g.handleSetupDatagram(recordWriteRequest(1, SetupRecord::defaultBytes(1)), t)
                .datagrams.isEmpty());
    QVERIFY(g.handleSetupDatagram(buildIpSetup(g.mac(), {127, 0, 0, 9}), t).events.isEmpty());
    QCOMPARE(g.handleSetupDatagram(discoveryRequest(), t).datagrams.size(), 1);
}

void TestSimGateway::consoleWakeUp() {
    SimGateway g = makeGateway();
    SimConsole c(g);
    QCOMPARE(c.state(), SimConsole::State::Asleep);
    QCOMPARE(c.feed("G0\r", 0).output, QByteArray());
    QCOMPARE(c.feed("\rzz", 0).output, QByteArray());
    QCOMPARE(c.feed("\r", 0).output, QByteArray()); // the run of z is broken
    QCOMPARE(c.feed("z", 0).output, QByteArray());
    QCOMPARE(c.feed("z", 0).output, QByteArray());
    QCOMPARE(c.feed("Z", 0).output, QByteArray("0>"));
    QCOMPARE(c.state(), SimConsole::State::Awake);
    // Wake-ups that arrive after the prompt do not spoil the next command.
    const QByteArray out = c.feed("\rzzzG0\r", 0).output;
    QCOMPARE(readLikeTheWizard(out, 0), recordReadAnswer(0, SetupRecord::defaultBytes(0)));
}

void TestSimGateway::consoleRead_data() {
    QTest::addColumn<int>("n");
    for (int n = 0; n < 8; ++n)
        QTest::addRow("record %d", n) << n;
}

void TestSimGateway::consoleRead() {
    QFETCH(int, n);
    SimGateway g = makeGateway();
    SimConsole c(g);
    // The prompt from the wake-up stays unterminated in the wizard's line
    // buffer; the answer must still decode from its first line.
    QByteArray out = c.feed("\rzzz", 0).output;
    out += c.feed("G" + QByteArray::number(n) + "\r", 0).output;
    QVERIFY(out.endsWith("0>"));
    const QByteArray answer = readLikeTheWizard(out, n);
    QVERIFY(answer.size() >= 124);
    QCOMPARE(answer, recordReadAnswer(n, SetupRecord::defaultBytes(n)));
    // A line break ahead of the first line, and one after every line.
    QVERIFY(out.startsWith("0>\r\n:"));
    QCOMPARE(out.count('\n'), out.count(':') + 1);
}

void TestSimGateway::consoleWrite_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("rule");    // check value on the lines sent
    QTest::addColumn<int>("console"); // check value the console takes
    QTest::addColumn<QByteArray>("prompt");
    QTest::addColumn<bool>("taken");
    const int either = int(ConsoleCheck::Either);
    const int charSum = int(HexCheck::CharSum);
    const int byteSum = int(HexCheck::ByteSum);
    QTest::newRow("record 0, character sum") << 0 << charSum << either << QByteArray("0>") << true;
    QTest::newRow("record 0, byte sum") << 0 << byteSum << either << QByteArray("0>") << true;
    QTest::newRow("record 1, character sum") << 1 << charSum << either << QByteArray("0>") << true;
    QTest::newRow("record 7, byte sum") << 7 << byteSum << either << QByteArray("0>") << true;
    QTest::newRow("character-sum console, character sum")
        << 0 << charSum << int(ConsoleCheck::CharSum) << QByteArray("0>") << true;
    QTest::newRow("character-sum console refuses the byte sum")
        << 0 << byteSum << int(ConsoleCheck::CharSum) << QByteArray("0>") << false;
    QTest::newRow("byte-sum console refuses the character sum")
        << 0 << charSum << int(ConsoleCheck::ByteSum) << QByteArray("0>") << false;
    QTest::newRow("9> console: a stored write is still answered 0>")
        << 1 << charSum << either << QByteArray("9>") << true;
}

void TestSimGateway::consoleWrite() {
    QFETCH(int, n);
    QFETCH(int, rule);
    QFETCH(int, console);
    QFETCH(QByteArray, prompt);
    QFETCH(bool, taken);
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.setCheckRule(ConsoleCheck(console));
    c.setPrompt(prompt);
    QCOMPARE(c.feed("\rzzz", 0).output, prompt);
    QByteArray record = SetupRecord::defaultBytes(n);
    record[100] = '\x77';
    const QByteArray sent = serialWrite(n, record, HexCheck(rule));
    // Up to the closing line nothing comes back; then exactly "0>".
    const qsizetype end = sent.size() - hexEndLine().size();
    QCOMPARE(c.feed(sent.left(end), 0).output, QByteArray());
    QCOMPARE(c.state(), SimConsole::State::ReceivingRecord);
    QCOMPARE(c.feed(sent.mid(end), 0).output,
             taken ? QByteArray("0>") : "\r\nRecord error\r\n" + prompt);
    QCOMPARE(c.state(), SimConsole::State::Awake);
    QCOMPARE(g.record(n).bytes(), taken ? record : SetupRecord::defaultBytes(n));
}

void TestSimGateway::consoleRestartAndQuit() {
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.feed("\rzzz", 0);
    SetupRecord r(0);
    r.setBytes(g.record(0).bytes());
    QVERIFY(r.setIpPort(u"10010"));
    QCOMPARE(c.feed(serialWrite(0, r.bytes(), HexCheck::CharSum), 0).output, QByteArray("0>"));
    // Stored, but the gateway runs with the old settings until it restarts.
    QCOMPARE(g.transparentPort(), uint16_t(10001));

    const int64_t t = 1000;
    const ConsoleReply rs = c.feed("RS\r", t);
    QCOMPARE(rs.output, QByteArray());
    QVERIFY(hasEvent(rs.events, SimEvent::Kind::TransportChanged));
    QCOMPARE(g.transparentPort(), uint16_t(10010));
    QCOMPARE(c.state(), SimConsole::State::Asleep);
    // Wake-ups during the restart get nothing, network requests neither.
    QCOMPARE(c.feed("\rzzz", t + 250).output, QByteArray());
    QVERIFY(g.handleSetupDatagram(discoveryRequest(), t + 250).datagrams.isEmpty());
    QCOMPARE(c.feed("\rzzz", t + kRestart - 1).output, QByteArray());
    QCOMPARE(c.feed("\rzzz", t + kRestart).output, QByteArray("0>"));

    QCOMPARE(c.feed("QU\r", t + kRestart).output, QByteArray());
    QCOMPARE(c.state(), SimConsole::State::Asleep);
    QCOMPARE(c.feed("G0\r", t + kRestart).output, QByteArray());
}

void TestSimGateway::consoleMovesAddressOnRestart_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("address");
    QTest::newRow("loopback") << "127.0.0.9" << int(SimEvent::Kind::MoveAddress) << "127.0.0.9";
    QTest::newRow("LAN address refused")
        << "192.168.1.10" << int(SimEvent::Kind::AddressRefused) << "127.0.0.2";
}

void TestSimGateway::consoleMovesAddressOnRestart() {
    QFETCH(QString, ip);
    QFETCH(int, event);
    QFETCH(QString, address);
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.feed("\rzzz", 0);
    SetupRecord r(0);
    r.setBytes(g.record(0).bytes());
    QVERIFY(r.setIpAddress(ip));
    QCOMPARE(c.feed(serialWrite(0, r.bytes(), HexCheck::CharSum), 0).output, QByteArray("0>"));
    QCOMPARE(ipv4Text(g.address()), QStringLiteral("127.0.0.2"));
    const ConsoleReply rs = c.feed("RS\r", 0);
    QCOMPARE(rs.events.size(), 1);
    QCOMPARE(int(rs.events.first().kind), event);
    QCOMPARE(ipv4Text(rs.events.first().address), ip);
    QCOMPARE(ipv4Text(g.address()), address);
}

void TestSimGateway::consoleBadRecordLines_data() {
    QTest::addColumn<QByteArray>("input");
    const QByteArray record = SetupRecord::defaultBytes(0);
    const QList<QByteArray> lines = encodeRecordLines(record, HexCheck::ByteSum);
    QByteArray badCheck = lines[1];
    badCheck[badCheck.size() - 1] = badCheck.endsWith('0') ? '1' : '0';
    QTest::newRow("bad check value")
        << QByteArray("S0\r" + lines[0] + "\r" + badCheck + "\r" + lines[2] + "\r" + lines[3] +
                      "\r" + hexEndLine());
    QTest::newRow("line missing") << QByteArray("S0\r" + lines[0] + "\r" + lines[2] + "\r" +
                                                lines[3] + "\r" + hexEndLine());
    QTest::newRow("out of order") << QByteArray("S0\r" + lines[1] + "\r" + lines[0] + "\r" +
                                                lines[2] + "\r" + lines[3] + "\r" + hexEndLine());
    QTest::newRow("no lines") << QByteArray("S0\r" + hexEndLine());
    QTest::newRow("not hexadecimal") << QByteArray("S0\r:20000010XYZ\r" + hexEndLine());
    QTest::newRow("overlong line")
        << QByteArray("S0\r:" + QByteArray(5000, '0') + "\r" + hexEndLine());
    QTest::newRow("end record type inside")
        << QByteArray("S0\r" + encodeHexRecordLine(0, record.left(4), HexCheck::ByteSum, 0x05) +
                      "\r" + hexEndLine());
    QTest::newRow("beyond the largest record") << QByteArray(
        "S0\r" + encodeRecordLines(QByteArray(600, 'x'), HexCheck::ByteSum).join('\r') + "\r" +
        hexEndLine());
}

void TestSimGateway::consoleBadRecordLines() {
    QFETCH(QByteArray, input);
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.feed("\rzzz", 0);
    const QByteArray out = c.feed(input, 0).output;
    QVERIFY2(out != "0>", out.constData());
    QVERIFY(out.endsWith("0>"));
    QCOMPARE(g.record(0).bytes(), SetupRecord::defaultBytes(0));
    QCOMPARE(c.state(), SimConsole::State::Awake);
}

void TestSimGateway::consoleGarbage_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("word") << QByteArray("HELLO\r");
    QTest::newRow("record 8") << QByteArray("G8\r");
    QTest::newRow("no record number") << QByteArray("S\r");
    QTest::newRow("two digits") << QByteArray("G10\r");
    QTest::newRow("binary") << QByteArray("\x00\xff\x01\x7f\r", 5);
    QTest::newRow("overlong") << QByteArray(QByteArray(10000, 'A') + "\r");
    QTest::newRow("hex line outside a write") << QByteArray(":020000100102EB\r");
}

void TestSimGateway::consoleGarbage() {
    QFETCH(QByteArray, input);
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.feed("\rzzz", 0);
    const QByteArray out = c.feed(input, 0).output;
    QVERIFY(out.endsWith("0>"));
    QVERIFY(out != "0>");
    QVERIFY(out.size() < 100);
    QCOMPARE(c.state(), SimConsole::State::Awake);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(g.record(n).bytes(), SetupRecord::defaultBytes(n));
    // Still usable afterwards.
    QVERIFY(readLikeTheWizard(c.feed("G0\r", 0).output, 0).size() >= 124);
    // Empty lines are no commands.
    QCOMPARE(c.feed("\r\n\r", 0).output, QByteArray());
}

void TestSimGateway::consoleInputInPieces() {
    SimGateway g = makeGateway();
    SimConsole c(g);
    QByteArray record = SetupRecord::defaultBytes(2);
    record[0] = '\x12';
    const QByteArray all = "\rzzz" + serialWrite(2, record, HexCheck::CharSum);
    QByteArray out;
    for (char ch : all)
        out += c.feed(QByteArrayView(&ch, 1), 0).output;
    QCOMPARE(out, QByteArray("0>0>"));
    QCOMPARE(g.record(2).bytes(), record);
}

void TestSimGateway::consoleSleepsAfterNetworkRestart() {
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.feed("\rzzz", 0);
    QCOMPARE(c.feed("S3\r", 0).output, QByteArray());
    QCOMPARE(
        g.handleSetupDatagram(recordWriteRequest(3, QByteArray(126, 'a')), 10).datagrams.size(), 1);
    QCOMPARE(c.feed(hexEndLine(), 20).output, QByteArray());
    QCOMPARE(c.feed("G3\r", 10 + kRestart).output, QByteArray());
    QCOMPARE(c.state(), SimConsole::State::Asleep);
    QCOMPARE(c.feed("zzz", 10 + kRestart).output, QByteArray("0>"));
    QCOMPARE(g.record(3).bytes(), QByteArray(126, 'a'));
}

void TestSimGateway::setupFaults_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("backAfterRestart");
    const QByteArray write = recordWriteRequest(0, SetupRecord::defaultBytes(0));
    QTest::newRow("no reply to a read")
        << int(SetupFault::NoReply) << recordReadRequest(0) << QByteArray() << true;
    QTest::newRow("no reply to a write, written all the same")
        << int(SetupFault::NoReply) << write << QByteArray() << true;
    QTest::newRow("short read answer")
        << int(SetupFault::ShortReadAnswer) << recordReadRequest(0)
        << recordReadAnswer(0, SetupRecord::defaultBytes(0)).left(100) << true;
    QTest::newRow("wrong ack") << int(SetupFault::WrongAck) << write << hex("00 00 00 B1") << true;
    QTest::newRow("never comes back")
        << int(SetupFault::NoComeback) << write << hex("00 00 00 B0") << false;
}

void TestSimGateway::setupFaults() {
    QFETCH(int, fault);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(bool, backAfterRestart);
    SimGateway g = makeGateway();
    g.setSetupFault(SetupFault(fault), 1);
    const SetupReply reply = g.handleSetupDatagram(request, 0);
    QCOMPARE(reply.datagrams.value(0), answer);
    QCOMPARE(g.setupFault(), SetupFault::None);
    const int64_t later = 10 * kRestart;
    QCOMPARE(g.handleSetupDatagram(recordReadRequest(0), later).datagrams.size(),
             backAfterRestart ? 1 : 0);
}

void TestSimGateway::setupFaultCountsOnlyRequestsTaken() {
    SimGateway g = makeGateway();
    g.setSetupFault(SetupFault::NoReply, 2);
    // Not for this gateway, or not a request at all: the fault waits.
    QVERIFY(g.handleSetupDatagram(hex("00 00 00 E9"), 0).datagrams.isEmpty());
    QVERIFY(g.handleSetupDatagram(buildIpSetup({0, 0, 0, 0, 0x99, 0x99}, {127, 0, 0, 9}), 0)
                .events.isEmpty());
    QCOMPARE(g.setupFault(), SetupFault::NoReply);
    QVERIFY(g.handleSetupDatagram(discoveryRequest(), 0).datagrams.isEmpty());
    QVERIFY(g.handleSetupDatagram(recordReadRequest(0), 0).datagrams.isEmpty());
    QCOMPARE(g.handleSetupDatagram(recordReadRequest(0), 0).datagrams.size(), 1);

    g.setSetupFault(SetupFault::NoReply);
    for (int i = 0; i < 5; ++i)
        QVERIFY(g.handleSetupDatagram(discoveryRequest(), 0).datagrams.isEmpty());
    g.setSetupFault(SetupFault::None);
    QCOMPARE(g.handleSetupDatagram(discoveryRequest(), 0).datagrams.size(), 1);
}

void TestSimGateway::consoleFaults() {
    SimGateway g = makeGateway();
    SimConsole c(g);
    c.setFault(ConsoleFault::Silent);
    QCOMPARE(c.feed("\rzzz", 0).output, QByteArray());
    QCOMPARE(c.feed("G0\r", 0).output, QByteArray());
    c.setFault(ConsoleFault::BadLineCheck);
    const QByteArray listing = c.feed("G0\r", 0).output;
    QVERIFY(listing.endsWith("0>"));
    QCOMPARE(readLikeTheWizard(listing, 0), recordReadAnswer(0, {}));
    c.setFault(ConsoleFault::RejectWrite);
    const QByteArray out =
        c.feed(serialWrite(0, QByteArray(120, 'w'), HexCheck::CharSum), 0).output;
    QVERIFY(out != "0>");
    QVERIFY(out.endsWith("0>"));
    QCOMPARE(g.record(0).bytes(), SetupRecord::defaultBytes(0));
    c.setFault(ConsoleFault::None);
    QCOMPARE(c.feed(serialWrite(0, QByteArray(120, 'w'), HexCheck::CharSum), 0).output,
             QByteArray("0>"));
    QCOMPARE(g.record(0).bytes(), QByteArray(120, 'w'));
}

QTEST_GUILESS_MAIN(TestSimGateway)
#include "tst_simgateway.moc"
