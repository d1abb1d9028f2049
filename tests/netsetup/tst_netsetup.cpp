#include "base/IniFile.h"
#include "base/Language.h"
#include "base/TextUtil.h"
#include "channel/Link.h"
#include "netsetup/Adapters.h"
#include "netsetup/DeviceScan.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/IcmpEcho.h"
#include "netsetup/InputCheck.h"
#include "netsetup/NeighbourTable.h"
#include "netsetup/Pinger.h"
#include "netsetup/RecordExchange.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecords.h"
#include "netsetup/SetupTexts.h"
#include "tests/TestHex.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <functional>
#include <memory>

using namespace kestrune;
using namespace kestrune::setuptext;

namespace {

using kestrune::testhex::hex;

// A device's setup port played inside the test: every datagram it gets is
// kept, and the responder's answers go back to the sender, each after its
// delay, from this socket or from `from` (another address).
class FakeDevice : public QObject {
public:
    struct Answer {
        QByteArray bytes;
        int delayMs = 0;
        FakeDevice* from = nullptr;
    };
    using Responder = std::function<QList<Answer>(const QByteArray& request)>;

    explicit FakeDevice(const QString& address) {
        bound = socket.bind(QHostAddress(address), kSetupPort);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                received.append(d.data());
                if (!responder)
                    continue;
                for (const Answer& a : responder(d.data())) {
                    QUdpSocket* out = a.from ? &a.from->socket : &socket;
                    const QHostAddress to = d.senderAddress();
                    const quint16 port = quint16(d.senderPort());
                    QTimer::singleShot(a.delayMs, this, [out, to, port, bytes = a.bytes] {
                        out->writeDatagram(bytes, to, port);
                    });
                }
            }
        });
    }
    QUdpSocket socket;
    bool bound = false;
    QList<QByteArray> received;
    Responder responder;
};

// A gateway that answers record reads and acknowledges writes.
FakeDevice::Responder gatewayResponder() {
    return [](const QByteArray& request) -> QList<FakeDevice::Answer> {
        const SetupRequest r = parseSetupRequest(request);
        if (r.kind == SetupRequest::Kind::ReadRecord)
            return {{recordReadAnswer(r.recordNumber, SetupRecord::defaultBytes(r.recordNumber))}};
        if (r.kind == SetupRequest::Kind::WriteRecord)
            return {{recordWriteAck(r.recordNumber)}};
        return {};
    };
}

SetupConfig quickConfig() {
    SetupConfig c;
    c.udpTimeout = 200;
    c.serialTimeout = 200;
    c.resetTimeout = 1500;
    c.rebootDhcpDelay = 0;
    c.writeTimeout = 1500;
    c.scanTimeout = 300;
    c.broadcastAddress = QStringLiteral("127.0.0.128");
    return c;
}

} // namespace

class TestNetSetup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void adapterChoice_data();
    void adapterChoice();
    void adapterListHonoursLoopbackSetting();
    void setupConfigFromIni();
    void startUpCreatesTheEightRecords();

    void inputChecks_data();
    void inputChecks();
    void neighbourTable_data();
    void neighbourTable();
    void icmpEcho_data();
    void icmpEcho();
    void pingTimeText_data();
    void pingTimeText();
    void deviceRows_data();
    void deviceRows();

    void readRecordOverNetwork_data();
    void readRecordOverNetwork();
    void writeRecordOverNetwork_data();
    void writeRecordOverNetwork();
    void badInputIsNeverSent_data();
    void badInputIsNeverSent();
    void ipSetupDhcpSendsTheDatagramAndWaits();

    void scanEndsScanTimeoutAfterTheLastReply_data();
    void scanEndsScanTimeoutAfterTheLastReply();
    void scanWithoutAdapterIsRefused();
    void pingLoopback();
};

void TestNetSetup::initTestCase() {
    QVERIFY(languageTable().loadFile(
        QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001")));
}

// ---- Adapters and settings ---------------------------------------------------------------

void TestNetSetup::adapterChoice_data() {
    QTest::addColumn<QList<NetworkAdapter>>("adapters");
    QTest::addColumn<QString>("storedIp");
    QTest::addColumn<QString>("storedDescription");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("selected");
    const NetworkAdapter eth0{QStringLiteral("10.1.1.5"), QStringLiteral("eth0")};
    const NetworkAdapter wlan{QStringLiteral("10.2.2.7"), QStringLiteral("wlan0")};
    // adapters; stored address and description; the choice: address, description, row
    const auto row = [](const char* name, const QList<NetworkAdapter>& adapters,
                        const char* storedIp, const char* storedDescription, const char* ip,
                        const char* description, int selected) {
        QTest::newRow(name) << adapters << QString::fromLatin1(storedIp)
                            << QString::fromLatin1(storedDescription) << QString::fromLatin1(ip)
                            << QString::fromLatin1(description) << selected;
    };
    row("one adapter, nothing stored: chosen", {eth0}, "", "", "10.1.1.5", "eth0", -1);
    row("two adapters, nothing stored: empty", {eth0, wlan}, "", "", "", "", -1);
    row("no adapter", {}, "10.1.1.5", "eth0", "NO_ADAPTER", "", -1);
    row("two adapters, stored one found", {eth0, wlan}, "10.2.2.7", "wlan0", "10.2.2.7", "wlan0",
        1);
    row("stored address moved to another adapter: not the same", {eth0, wlan}, "10.2.2.7", "eth0",
        "", "", -1);
    row("stored adapter gone, one left: that one", {eth0}, "10.2.2.7", "wlan0", "10.1.1.5", "eth0",
        -1);
    row("NO_ADAPTER stored, an adapter came", {wlan}, "NO_ADAPTER", "", "10.2.2.7", "wlan0", -1);
}

void TestNetSetup::adapterChoice() {
    QFETCH(QList<NetworkAdapter>, adapters);
    QFETCH(QString, storedIp);
    QFETCH(QString, storedDescription);
    const AdapterChoice c = chooseAdapter(adapters, storedIp, storedDescription);
    QTEST(c.ip, "ip");
    QTEST(c.description, "description");
    QTEST(c.selected, "selected");
}

void TestNetSetup::adapterListHonoursLoopbackSetting() {
    // The test's own network namespace has at least the loopback interface.
    const auto hasLoopback = [](const QList<NetworkAdapter>& list) {
        return std::any_of(list.cbegin(), list.cend(), [](const NetworkAdapter& a) {
            return a.ip.startsWith(QLatin1String("127."));
        });
    };
    QVERIFY(!hasLoopback(listNetworkAdapters(false)));
    QVERIFY(hasLoopback(listNetworkAdapters(true)));
}

void TestNetSetup::setupConfigFromIni() {
    QTemporaryDir dir;
    const IniFile ini(dir.filePath(QStringLiteral("Kestrune.INI")));
    SetupConfig c = SetupConfig::fromIni(ini);
    QCOMPARE(c.broadcastAddress, QStringLiteral("255.255.255.255"));
    QCOMPARE(c.resetTimeout, 10000);
    QCOMPARE(c.numberOfPings, 4);
    QVERIFY(!c.includeLoopback);
    // Values a hand-edited file may hold are kept within bounds: no wait or
    // send loop without end.
    ini.write(QStringLiteral("IP"), QStringLiteral("NumberOfPings"), QStringLiteral("100000"));
    ini.write(QStringLiteral("ip"), QStringLiteral("scantimeout"), QStringLiteral("-5"));
    ini.write(QStringLiteral("IP"), QStringLiteral("BroadcastAddress"),
              QStringLiteral("127.0.0.128"));
    ini.write(QStringLiteral("IP"), QStringLiteral("IncludeLoopback"), QStringLiteral("1"));
    c = SetupConfig::fromIni(ini);
    QCOMPARE(c.numberOfPings, SetupConfig::MaxPings);
    QCOMPARE(c.scanTimeout, 0);
    QCOMPARE(c.broadcastAddress, QStringLiteral("127.0.0.128"));
    QVERIFY(c.includeLoopback);
}

void TestNetSetup::startUpCreatesTheEightRecords() {
    setupRecord(3).setBytes("changed");
    createSetupRecords();
    for (int n = 0; n < SetupRecord::kRecordCount; ++n) {
        QCOMPARE(setupRecord(n).recordNumber(), n);
        QCOMPARE(setupRecord(n).bytes(), SetupRecord::defaultBytes(n));
    }
}

// ---- Pure parts ------------------------------------------------------------------------------

void TestNetSetup::inputChecks_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("refusal"); // 0: taken
    QTest::newRow("mac") << "mac"
                         << "00-20-4A-12-34-56" << 0;
    QTest::newRow("mac with colons") << "mac"
                                     << "00:20:4a:12:34:56" << 0;
    QTest::newRow("mac four dashes") << "mac"
                                     << "00-20-4A-12-3456" << TextBadMac;
    QTest::newRow("mac not hex") << "mac"
                                 << "00-20-4A-12-34-5G" << TextBadMac;
    QTest::newRow("ip") << "ip"
                        << " 192.168.1.10 " << 0;
    QTest::newRow("ip dhcp") << "ip"
                             << "0.0.0.0" << 0;
    QTest::newRow("ip three parts") << "ip"
                                    << "192.168.1" << TextBadIp;
    QTest::newRow("ip part 256") << "ip"
                                 << "192.168.1.256" << TextBadIp;
    QTest::newRow("ip broadcast") << "ip"
                                  << "255.255.255.255" << TextBadIp;
    QTest::newRow("ip multicast") << "ip"
                                  << "224.0.0.1" << TextBadIp;
    QTest::newRow("mask /24") << "mask"
                              << "255.255.255.0" << 0;
    QTest::newRow("mask /0") << "mask"
                             << "0.0.0.0" << 0;
    QTest::newRow("mask /32") << "mask"
                              << "255.255.255.255" << 0;
    QTest::newRow("mask with a hole") << "mask"
                                      << "255.0.255.0" << TextBadMask;
    QTest::newRow("mask not dotted") << "mask"
                                     << "24" << TextBadMask;
    QTest::newRow("port") << "port"
                          << "10001" << 0;
    QTest::newRow("port 0") << "port"
                            << "0" << TextBadPort;
    QTest::newRow("port 65536") << "port"
                                << "65536" << TextBadPort;
    QTest::newRow("port text") << "port"
                               << "10001x" << TextBadPort;
}

void TestNetSetup::inputChecks() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, refusal);
    QString message;
    bool taken = false;
    if (kind == QLatin1String("mac"))
        taken = checkMacAddress(text, message).has_value();
    else if (kind == QLatin1String("ip"))
        taken = checkDeviceAddress(text, message).has_value();
    else if (kind == QLatin1String("mask"))
        taken = checkNetMask(text, message).has_value();
    else
        taken = checkPort(text, message).has_value();
    QCOMPARE(taken, refusal == 0);
    if (refusal) {
        // The message names what was typed and says what is expected.
        QCOMPARE(message,
                 QLatin1Char('\'') + text.trimmed() + QStringLiteral("' ") + getText(refusal));
    }
}

void TestNetSetup::neighbourTable_data() {
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mac"); // empty: not found
    const QByteArray head =
        "IP address       HW type     Flags       HW address            Mask     Device\n";
    QTest::newRow("complete") << head + "10.213.0.2       0x1         0x2         00:04:25:01:02:03"
                                        "     *        vkw\n"
                              << "10.213.0.2"
                              << "00-04-25-01-02-03";
    QTest::newRow("complete, no line end") << head + "10.0.0.7 0x1 0x6 00:20:4a:aa:bb:cc * eth0"
                                           << "10.0.0.7"
                                           << "00-20-4A-AA-BB-CC";
    QTest::newRow("incomplete entry") << head + "10.0.0.7 0x1 0x0 00:00:00:00:00:00 * eth0\n"
                                      << "10.0.0.7"
                                      << "";
    QTest::newRow("flag set, zero address") << head + "10.0.0.7 0x1 0x2 00:00:00:00:00:00 * eth0\n"
                                            << "10.0.0.7"
                                            << "";
    QTest::newRow("other address only") << head + "10.0.0.70 0x1 0x2 00:20:4a:aa:bb:cc * eth0\n"
                                        << "10.0.0.7"
                                        << "";
    QTest::newRow("second line") << head + "10.0.0.8 0x1 0x2 02:4b:7d:00:00:01 * eth0\n"
                                           "10.0.0.7 0x1 0x2 02:4b:7d:00:00:02 * eth0\n"
                                 << "10.0.0.7"
                                 << "02-4B-7D-00-00-02";
    QTest::newRow("cut line") << head + "10.0.0.7 0x1 0x2\n"
                              << "10.0.0.7"
                              << "";
    QTest::newRow("flags not hex") << head + "10.0.0.7 0x1 two 00:20:4a:aa:bb:cc * eth0\n"
                                   << "10.0.0.7"
                                   << "";
}

void TestNetSetup::neighbourTable() {
    QFETCH(QByteArray, table);
    QFETCH(QString, ip);
    QFETCH(QString, mac);
    Ipv4Address address{};
    QVERIFY(parseIpv4(ip, address));
    const std::optional<MacAddress> found = findNeighbour(table, address);
    QCOMPARE(found ? macText(*found) : QString(), mac);
}

void TestNetSetup::icmpEcho_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("withHeader");
    QTest::addColumn<int>("sequence"); // -1: refused
    // Echo reply, id 1234, seq 0007, payload "ab": its checksum makes the
    // whole message sum to zero.
    const QByteArray reply = hex("00 00 00 00 12 34 00 07 61 62");
    QByteArray good = reply;
    const uint16_t sum = internetChecksum(good);
    good[2] = char(sum >> 8);
    good[3] = char(sum & 0xFF);
    // A 20-byte IPv4 header from 127.0.0.130 (its own checksum is not ours
    // to check).
    const QByteArray ip = hex("45 00 00 1E 00 00 00 00 40 01 00 00 7F 00 00 82 7F 00 00 01");
    QByteArray ipWithOptions = hex("46 00 00 22 00 00 00 00 40 01 00 00 7F 00 00 82 7F 00 00 01"
                                   "01 01 01 00");
    QByteArray badSum = good;
    badSum[9] = 'x';
    QByteArray request = good;
    request[0] = 8;
    QTest::newRow("datagram socket") << good << false << 7;
    QTest::newRow("raw socket") << ip + good << true << 7;
    QTest::newRow("raw with ip options") << ipWithOptions + good << true << 7;
    QTest::newRow("bad checksum") << badSum << false << -1;
    QTest::newRow("echo request") << request << false << -1;
    QTest::newRow("header length past the end") << ip.left(19) << true << -1;
    QTest::newRow("icmp cut") << ip + good.left(7) << true << -1;
    QTest::newRow("header expected, none") << good << true << -1;
}

void TestNetSetup::icmpEcho() {
    QFETCH(QByteArray, packet);
    QFETCH(bool, withHeader);
    QFETCH(int, sequence);
    const std::optional<EchoReply> r = parseEchoReply(packet, withHeader);
    QCOMPARE(r.has_value(), sequence >= 0);
    if (r) {
        QCOMPARE(int(r->sequence), sequence);
        QCOMPARE(r->identifier, uint16_t(0x1234));
        QCOMPARE(r->payload, QByteArray("ab"));
    }
    // What we send is a valid request of its own.
    const QByteArray req = buildEchoRequest(0xBEEF, 3, "payload");
    QCOMPARE(req.left(8), hex("08 00") + req.mid(2, 2) + hex("BE EF 00 03"));
    QCOMPARE(internetChecksum(req), uint16_t(0));
}

void TestNetSetup::pingTimeText_data() {
    QTest::addColumn<qint64>("us");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "< 1";
    QTest::newRow("999 us") << qint64(999) << "< 1";
    QTest::newRow("1 ms") << qint64(1000) << "1";
    QTest::newRow("12.9 ms") << qint64(12999) << "12";
}

void TestNetSetup::pingTimeText() {
    QFETCH(qint64, us);
    QTEST(kestrune::pingTimeText(us), "text");
}

void TestNetSetup::deviceRows_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<QString>("key");
    const auto answer = [](uint8_t variant, const char* mac) {
        DiscoveryAnswer a;
        a.variant = variant;
        MacAddress m{};
        if (!parseMac(QString::fromLatin1(mac), m))
            qFatal("bad MAC in test data");
        a.mac = m;
        return buildDiscoveryAnswer(a);
    };
    QTest::newRow("K2 identity") << answer(2, "00-04-25-01-02-03") << "00-04-25-01-02-03"
                                 << "K2"
                                 << "41976066"
                                 << "00-04-25-01-02-03/2";
    QTest::newRow("K1 Lantronix prefix") << answer(0, "00-80-A3-11-22-33") << "00-80-A3-11-22-33"
                                         << "K1"
                                         << "-"
                                         << "00-80-A3-11-22-33/1";
    QTest::newRow("K2S by variant") << answer(1, "02-4B-7D-00-00-10") << "02-4B-7D-00-00-10"
                                    << "K2S"
                                    << "41943048"
                                    << "02-4B-7D-00-00-10/3";
    QTest::newRow("K2 by other variant") << answer(5, "02-4B-7D-00-00-10") << "02-4B-7D-00-00-10"
                                         << "K2"
                                         << "41943048"
                                         << "02-4B-7D-00-00-10/2";
    QTest::newRow("unknown prefix") << answer(1, "AA-BB-CC-00-00-01") << "AA-BB-CC-00-00-01"
                                    << getText(TextUnknownFamily) << "-"
                                    << "AA-BB-CC-00-00-01/0";
    QTest::newRow("short reply: missing bytes 00")
        << answer(2, "00-04-25-01-02-03").left(27) << "00-04-25-00-00-00"
        << "K2"
        << "41943040"
        << "00-04-25-00-00-00/2";
    QTest::newRow("empty reply") << QByteArray() << "00-00-00-00-00-00"
                                 << getText(TextUnknownFamily) << "-"
                                 << "00-00-00-00-00-00/0";
}

void TestNetSetup::deviceRows() {
    QFETCH(QByteArray, reply);
    DiscoveredDevice d = deviceFromReply(reply, QStringLiteral("127.0.0.125"));
    QCOMPARE(d.ip, QStringLiteral("127.0.0.125"));
    QTEST(d.macText, "mac");
    QTEST(d.type, "type");
    QTEST(d.identity, "identity");
    QTEST(d.key, "key");
    QCOMPARE(d.info, getText(TextAnswered));
    setReachability(d, true);
    QCOMPARE(d.info, getText(d.kind == DeviceKind::Unknown ? TextNotReachable : TextReachable));
    setReachability(d, false);
    QCOMPARE(d.info, getText(TextNotReachable));
}

// ---- Record exchange against devices played here -----------------------------------------------

void TestNetSetup::readRecordOverNetwork_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("failure");
    QTest::newRow("whole record") << "record" << int(ExchangeFailure::None);
    QTest::newRow("longer record kept whole") << "long" << int(ExchangeFailure::None);
    QTest::newRow("another record") << "other" << int(ExchangeFailure::WrongReply);
    QTest::newRow("from the wrong address") << "stranger" << int(ExchangeFailure::NoReply);
    QTest::newRow("short reply, then the whole one")
        << "short+record" << int(ExchangeFailure::None);
}

void TestNetSetup::readRecordOverNetwork() {
    QFETCH(QString, answer);
    QFETCH(int, failure);
    FakeDevice device(QStringLiteral("127.0.0.125"));
    FakeDevice stranger(QStringLiteral("127.0.0.126"));
    QVERIFY(device.bound && stranger.bound);
    QByteArray record1 = SetupRecord::defaultBytes(1);
    record1[0] = 0x5A;
    device.responder = [&](const QByteArray&) -> QList<FakeDevice::Answer> {
        const QByteArray whole = recordReadAnswer(1, record1);
        if (answer == QLatin1String("record"))
            return {{whole}};
        if (answer == QLatin1String("long"))
            return {{whole + QByteArray(130, 'L')}};
        if (answer == QLatin1String("other"))
            return {{recordReadAnswer(2, record1)}};
        if (answer == QLatin1String("stranger"))
            return {{whole, 0, &stranger}};
        if (answer == QLatin1String("short+record"))
            return {{whole.left(100)}, {whole, 30}};
        return {};
    };
    Link link;
    RecordExchange exchange(link);
    SetupRecord r(1);
    r.restoreDefaults(false);
    const QByteArray before = r.bytes();
    const bool ok =
        exchange.readRecord(r, SetupMethod::Network, QStringLiteral("127.0.0.125"), 300);
    QCOMPARE(device.received, QList<QByteArray>{hex("00 00 00 E1")});
    QCOMPARE(int(exchange.lastFailure()), failure);
    QCOMPARE(ok, failure == int(ExchangeFailure::None));
    if (!ok)
        QCOMPARE(r.bytes(), before); // untouched
    else if (answer == QLatin1String("long"))
        QCOMPARE(r.bytes(), record1 + QByteArray(130, 'L'));
    else
        QCOMPARE(r.bytes(), record1);
}

void TestNetSetup::writeRecordOverNetwork_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("requests"); // what the device got (at least)
    QTest::newRow("acknowledged, back after its restart")
        << "good" << int(ExchangeFailure::None) << 2;
    QTest::newRow("acknowledged twice, then silent")
        << "ack-twice" << int(ExchangeFailure::NoComeback) << 2;
    QTest::newRow("no acknowledgement") << "none" << int(ExchangeFailure::NoReply) << 1;
    QTest::newRow("acknowledgement of another record")
        << "wrong-ack" << int(ExchangeFailure::NotAcknowledged) << 1;
    QTest::newRow("moved by the record: asked at its new address")
        << "moves" << int(ExchangeFailure::None) << 1;
    QTest::newRow("acknowledged from the wrong address")
        << "stranger" << int(ExchangeFailure::NoReply) << 1;
}

void TestNetSetup::writeRecordOverNetwork() {
    QFETCH(QString, device);
    QFETCH(int, failure);
    QFETCH(int, requests);
    FakeDevice gateway(QStringLiteral("127.0.0.127"));
    FakeDevice stranger(QStringLiteral("127.0.0.126"));
    QVERIFY(gateway.bound && stranger.bound);
    gateway.responder = [&](const QByteArray& request) -> QList<FakeDevice::Answer> {
        const SetupRequest r = parseSetupRequest(request);
        if (device == QLatin1String("good"))
            return gatewayResponder()(request);
        if (device == QLatin1String("ack-twice") && r.kind == SetupRequest::Kind::WriteRecord)
            return {{recordWriteAck(0)}, {recordWriteAck(0), 1100}};
        if (device == QLatin1String("wrong-ack") && r.kind == SetupRequest::Kind::WriteRecord)
            return {{recordWriteAck(1)}};
        if (device == QLatin1String("stranger"))
            return {{recordWriteAck(0), 0, &stranger}};
        if (device == QLatin1String("moves") && r.kind == SetupRequest::Kind::WriteRecord)
            return {{recordWriteAck(0)}};
        return {};
    };
    // Where the gateway lives after a record that moves it.
    if (device == QLatin1String("moves"))
        stranger.responder = gatewayResponder();
    Link link;
    RecordExchange exchange(link);
    exchange.setAdapterAddress(QStringLiteral("127.0.0.120"));
    SetupRecord r(0);
    r.restoreDefaults(false);
    QVERIFY(r.setIpPort(u"10010"));
    if (device == QLatin1String("moves"))
        QVERIFY(r.setIpAddress(u"127.0.0.126"));
    QElapsedTimer clock;
    clock.start();
    const bool ok =
        exchange.writeRecord(r, SetupMethod::Network, QStringLiteral("127.0.0.127"), 2000);
    QCOMPARE(int(exchange.lastFailure()), failure);
    QCOMPARE(ok, failure == int(ExchangeFailure::None));
    QVERIFY(gateway.received.size() >= requests);
    QCOMPARE(gateway.received.first(), r.writeRequest());
    if (device == QLatin1String("moves"))
        QCOMPARE(stranger.received, QList<QByteArray>{hex("00 00 00 E0")});
    if (requests > 1) {
        // One second for the restart, then record 0 is asked for.
        QCOMPARE(gateway.received.at(1), hex("00 00 00 E0"));
        QVERIFY(clock.elapsed() >= RecordExchange::RestartPauseMs);
    }
    QVERIFY(clock.elapsed() < 3000);
    // Nothing to write: nothing is sent.
    SetupRecord empty(0);
    gateway.received.clear();
    QVERIFY(!exchange.writeRecord(empty, SetupMethod::Network, QStringLiteral("127.0.0.127"), 500));
    QCOMPARE(exchange.lastFailure(), ExchangeFailure::EmptyRecord);
    QTest::qWait(20);
    QVERIFY(gateway.received.isEmpty());
}

void TestNetSetup::badInputIsNeverSent_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("typed"); // named in the box
    QTest::addColumn<int>("refusal");
    QTest::newRow("MAC with four dashes") << "00-20-4A-12-3456"
                                          << "127.0.0.127"
                                          << ""
                                          << ""
                                          << "00-20-4A-12-3456" << TextBadMac;
    QTest::newRow("IP not dotted") << "00-20-4A-12-34-56"
                                   << "127.0.0"
                                   << ""
                                   << ""
                                   << "127.0.0" << TextBadIp;
    QTest::newRow("gateway not dotted") << "00-20-4A-12-34-56"
                                        << "127.0.0.127"
                                        << "10.0.0"
                                        << "255.255.255.0"
                                        << "10.0.0" << TextBadIp;
    QTest::newRow("mask with a hole") << "00-20-4A-12-34-56"
                                      << "127.0.0.127"
                                      << "10.0.0.1"
                                      << "255.0.255.0"
                                      << "255.0.255.0" << TextBadMask;
}

void TestNetSetup::badInputIsNeverSent() {
    QFETCH(QString, mac);
    QFETCH(QString, ip);
    QFETCH(QString, gateway);
    QFETCH(QString, mask);
    QFETCH(QString, typed);
    QFETCH(int, refusal);
    FakeDevice broadcast(QStringLiteral("127.0.0.128"));
    QVERIFY(broadcast.bound);
    Link link;
    GatewaySetup setup(link);
    setup.setConfig(quickConfig());
    setup.setAdapterAddress(QStringLiteral("127.0.0.120"));
    QStringList boxes;
    connect(&setup, &GatewaySetup::messageBox, this, [&boxes](const QString& t) { boxes << t; });
    QVERIFY(!setup.setIpOverNetwork(mac, ip, gateway, mask).ok);
    QCOMPARE(boxes,
             QStringList{QLatin1Char('\'') + typed + QStringLiteral("' ") + getText(refusal)});
    QVERIFY(setup.info().isEmpty());
    QTest::qWait(30);
    QVERIFY(broadcast.received.isEmpty());
}

void TestNetSetup::ipSetupDhcpSendsTheDatagramAndWaits() {
    FakeDevice broadcast(QStringLiteral("127.0.0.128"));
    QVERIFY(broadcast.bound);
    Link link;
    GatewaySetup setup(link);
    SetupConfig config = quickConfig();
    config.rebootDhcpDelay = 2000;
    setup.setConfig(config);
    setup.setAdapterAddress(QStringLiteral("127.0.0.120"));
    QList<bool> busy;
    connect(&setup, &GatewaySetup::busyChanged, this, [&busy](bool b) { busy << b; });
    QElapsedTimer clock;
    clock.start();
    const GatewaySetup::IpSetupResult r =
        setup.setIpOverNetwork(QStringLiteral("00-20-4a-12-34-56"), QStringLiteral("0.0.0.0"),
                               QStringLiteral("not used"), QString());
    QVERIFY(r.ok);
    QVERIFY(r.goToDiscovery);
    QCOMPARE(broadcast.received,
             QList<QByteArray>{hex("00 00 00 FC 49 50 2D 53 45 54 55 50 00 00 34 56 00 00 00 00")});
    // One second for the restart, then the DHCP wait with a dot a second.
    QVERIFY(clock.elapsed() >= 3000);
    QVERIFY(setup.info().contains(getText(TextDhcpWaiting) + QStringLiteral("..")));
    QVERIFY(setup.info().endsWith(getText(TextDhcpDone)));
    QCOMPARE(busy, (QList<bool>{true, false}));
}

// ---- Discovery ---------------------------------------------------------------------------------

void TestNetSetup::scanEndsScanTimeoutAfterTheLastReply_data() {
    QTest::addColumn<QList<int>>("delays"); // reply moments of three devices after the request
    QTest::addColumn<int>("found");
    QTest::addColumn<int>("endsAfter"); // at least, ms
    QTest::newRow("replies close together") << QList<int>{0, 100, 400} << 3 << 700;
    QTest::newRow("a reply after the quiet time is too late") << QList<int>{0, 50, 500} << 2 << 350;
    QTest::newRow("nobody answers") << QList<int>{-1, -1, -1} << 0 << 300;
}

void TestNetSetup::scanEndsScanTimeoutAfterTheLastReply() {
    QFETCH(QList<int>, delays);
    QFETCH(int, found);
    QFETCH(int, endsAfter);
    FakeDevice broadcast(QStringLiteral("127.0.0.128"));
    std::vector<std::unique_ptr<FakeDevice>> devices;
    for (int i = 0; i < 3; ++i) {
        devices.push_back(std::make_unique<FakeDevice>(QStringLiteral("127.0.0.12%1").arg(i + 5)));
        QVERIFY(devices.back()->bound);
    }
    QVERIFY(broadcast.bound);
    broadcast.responder = [&](const QByteArray& request) {
        QList<FakeDevice::Answer> answers;
        if (!isDiscoveryRequest(request))
            return answers;
        for (int i = 0; i < 3; ++i) {
            if (delays[i] < 0)
                continue;
            DiscoveryAnswer a;
            a.variant = 2;
            a.mac = {0x00, 0x04, 0x25, 0x01, 0x02, static_cast<uint8_t>(0x03 + i)};
            answers.append({buildDiscoveryAnswer(a), delays[i], devices[size_t(i)].get()});
            // A device that repeats itself is listed once.
            answers.append({buildDiscoveryAnswer(a), delays[i] + 5, devices[size_t(i)].get()});
        }
        return answers;
    };
    Link link;
    DeviceScan scan(link);
    scan.setAdapterAddress(QStringLiteral("127.0.0.120"));
    QList<int> rows;
    connect(&scan, &DeviceScan::deviceFound, this,
            [&rows](int row, const DiscoveredDevice&) { rows << row; });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(scan.scan(QStringLiteral("127.0.0.128"), 300));
    const qint64 took = clock.elapsed();
    QCOMPARE(broadcast.received, QList<QByteArray>{hex("00 00 00 F6")});
    QCOMPARE(scan.devices().size(), found);
    QCOMPARE(rows.size(), found);
    QVERIFY2(took >= endsAfter - 20 && took < endsAfter + 600, qPrintable(QString::number(took)));
    for (int i = 0; i < found; ++i) {
        const DiscoveredDevice& d = scan.devices().at(i);
        QCOMPARE(d.ip, QStringLiteral("127.0.0.12%1").arg(i + 5));
        QCOMPARE(d.type, QStringLiteral("K2"));
        // Loopback devices have no hardware address to look up.
        QCOMPARE(d.info, getText(TextNotReachable));
    }
    if (found > 0)
        QCOMPARE(scan.devices().first().identity, QStringLiteral("41976066"));
    QCOMPARE(scan.resultText(), found ? getText(TextDevicesFound) + u' ' + QString::number(found)
                                      : getText(TextNoDeviceFound));
}

void TestNetSetup::scanWithoutAdapterIsRefused() {
    FakeDevice broadcast(QStringLiteral("127.0.0.128"));
    QVERIFY(broadcast.bound);
    Link link;
    DeviceScan scan(link);
    scan.setAdapterAddress(QLatin1String(NoAdapter));
    QStringList boxes;
    connect(&scan, &DeviceScan::messageBox, this, [&boxes](const QString& t) { boxes << t; });
    QVERIFY(!scan.scan(QStringLiteral("127.0.0.128"), 300));
    QCOMPARE(boxes, QStringList{getText(TextSendFailed) + QStringLiteral("\r\n\r\n'") +
                                getText(TextNoAdapterChosen) + QLatin1Char('\'')});
    QTest::qWait(30);
    QVERIFY(broadcast.received.isEmpty());
}

void TestNetSetup::pingLoopback() {
    Link link;
    Pinger pinger(link);
    QString message;
    if (!pinger.open(message))
        QSKIP(qPrintable(QStringLiteral("no ICMP socket allowed here: ") + message));
    QStringList lines;
    const PingSeries s = runPingSeries(pinger, link, QStringLiteral("127.0.0.120"), 2, 100, 1000,
                                       [&lines](const QString& piece) { lines << piece; });
    QCOMPARE(s.sent, 2);
    QCOMPARE(s.answered, 2);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("\r\n") + getText(TextPing) + QStringLiteral(" 1"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral(" - ") + getText(TextPingAnswer) + u' '));
    QVERIFY(lines.at(1).endsWith(u' ' + getText(TextMs) + u'.'));
    QCOMPARE(lines.at(2), QStringLiteral("\r\n") + getText(TextPing) + QStringLiteral(" 2"));
}

QTEST_GUILESS_MAIN(TestNetSetup)
#include "tst_netsetup.moc"
