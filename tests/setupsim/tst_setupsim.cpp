// The setup operations of the wizard against the simulator program, as the
// wizard reaches it: the setup port of each gateway over UDP, its console on
// a pseudo-terminal, discovery and IP-SETUP to the simulator's listener.
#include "base/Language.h"
#include "channel/Link.h"
#include "netsetup/DeviceScan.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/RecordExchange.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecords.h"
#include "netsetup/SetupTexts.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimControl.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;
using namespace kestrune::setuptext;

namespace {

const QString kListen = QStringLiteral("127.0.0.131");
constexpr quint16 kControlPort = 26120;
const QString kAdapter = QStringLiteral("127.0.0.120");

// Four gateways answering discovery at different moments; b keeps its
// transparent port on TCP, consoles with either prompt and check rule.
const char kConfig[] = R"([simulator]
listen = 127.0.0.131:30718
dhcp-first = 127.0.0.130
control-port = 26120
tag-files = no

[gateway a]
family = K1
mac = 00-20-4A-12-34-56
address = 127.0.0.121
restart-ms = 300
mbus-master = no

[gateway b]
family = K2
mac = 00-04-25-01-02-03
address = 127.0.0.122
restart-ms = 300
discovery-delay-ms = 150
mbus-port = 10120
mbus-protocol = tcp
console-prompt = 9>
mbus-master = no

[gateway c]
family = K2S
serial = 0x0D0E0F
address = 127.0.0.123
restart-ms = 300
discovery-delay-ms = 400
console-check = char-sum
mbus-master = no

[gateway d]
family = K1
serial = 0x0A0B0C
address = 127.0.0.124
restart-ms = 300
console-check = byte-sum
mbus-master = no
)";

SetupConfig quickConfig() {
    SetupConfig c;
    c.udpTimeout = 300;
    c.serialTimeout = 1500;
    c.resetTimeout = 4000;
    c.writeTimeout = 4000;
    c.scanTimeout = 300;
    c.broadcastAddress = kListen;
    return c;
}

} // namespace

class TestSetupSim : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    std::unique_ptr<simproc::SimProcess> m_sim;

    static QString control(const QString& command) {
        return QString::fromUtf8(simproc::control(kControlPort, command.toUtf8(), 2000));
    }
    QString console(const QString& gateway) {
        return m_sim->ptyLink(gateway, QStringLiteral("console"));
    }
    static bool read(Link& link, SetupRecord& r, const QString& address, int timeout = 300) {
        RecordExchange exchange(link);
        return exchange.readRecord(r, SetupMethod::Network, address, timeout);
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void discoveryFindsEveryFamily();
    void recordsOverNetwork_data();
    void recordsOverNetwork();
    void recordsOverConsole_data();
    void recordsOverConsole();
    void restartDropsTcpConnections();
    void ipSetupMovesTheGateway();
    void moveOntoATakenAddressIsRefused();
    void consoleCancel();
    void setupFaults_data();
    void setupFaults();
    void outsideLoopbackOnlyInAPrivateNamespace();
};

void TestSetupSim::initTestCase() {
    QVERIFY(fixture::loadLanguage());
    QVERIFY(m_tmp.isValid());
    m_sim = std::make_unique<simproc::SimProcess>();
    QVERIFY2(m_sim->startIn(m_tmp.path(), kConfig), m_sim->errors.constData());
    createSetupRecords();
}

void TestSetupSim::cleanupTestCase() {
    QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestSetupSim::discoveryFindsEveryFamily() {
    Link link;
    DeviceScan scan(link);
    scan.setAdapterAddress(kAdapter);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(scan.scan(kListen, 300));
    // The last gateway answers 400 ms after the request; the scan waits the
    // scan time-out after that one.
    QVERIFY2(clock.elapsed() >= 690, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(scan.devices().size(), 4);
    QMap<QString, QStringList> rows;
    for (const DiscoveredDevice& d : scan.devices())
        rows.insert(d.ip, {d.macText, d.type, d.identity, d.key});
    QCOMPARE(rows.value(QStringLiteral("127.0.0.121")),
             (QStringList{"00-20-4A-12-34-56", "K1", "-", "00-20-4A-12-34-56/1"}));
    QCOMPARE(rows.value(QStringLiteral("127.0.0.122")),
             (QStringList{"00-04-25-01-02-03", "K2", "41976066", "00-04-25-01-02-03/2"}));
    QCOMPARE(rows.value(QStringLiteral("127.0.0.123")).mid(0, 2),
             (QStringList{"02-4B-7D-0D-0E-0F", "K2S"}));
    // In the order they answered.
    QCOMPARE(scan.devices().last().ip, QStringLiteral("127.0.0.123"));
}

void TestSetupSim::recordsOverNetwork_data() {
    QTest::addColumn<int>("record");
    QTest::newRow("record 0: port and protocol") << 0;
    QTest::newRow("record 1: security flags") << 1;
}

void TestSetupSim::recordsOverNetwork() {
    QFETCH(int, record);
    Link link;
    RecordExchange exchange(link);
    exchange.setAdapterAddress(kAdapter);
    const QString gw = QStringLiteral("127.0.0.121");
    SetupRecord r(record);
    QVERIFY(exchange.readRecord(r, SetupMethod::Network, gw, 300));
    if (record == 0) {
        QCOMPARE(r.ipAddress(), gw);
        QVERIFY(r.setIpPort(u"10121"));
        QVERIFY(r.setUsingUdp(false));
    } else {
        QVERIFY(!r.telnetAllowed()); // the factory setting
        QVERIFY(r.setAllowTelnet(true));
    }
    // The write is acknowledged, the gateway restarts and answers again.
    QVERIFY(exchange.writeRecord(r, SetupMethod::Network, gw, 4000));
    SetupRecord back(record);
    QVERIFY(exchange.readRecord(back, SetupMethod::Network, gw, 300));
    QCOMPARE(back.bytes(), r.bytes());
    if (record == 0) {
        QVERIFY(m_sim->waitLine(QStringLiteral("gateway a mbus tcp 127.0.0.121:10121"), 2000));
        // Back to the factory port for the tests that follow.
        back.restoreDefaults(true);
        QVERIFY(back.setIpPort(u"10001") && back.setUsingUdp(true));
        QVERIFY(exchange.writeRecord(back, SetupMethod::Network, gw, 4000));
    }
}

void TestSetupSim::recordsOverConsole_data() {
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<int>("record");
    QTest::addColumn<bool>("writeTaken");
    QTest::newRow("0> prompt, either check value") << "a" << 0 << true;
    QTest::newRow("record 1") << "a" << 1 << true;
    QTest::newRow("9> prompt") << "b" << 0 << true;
    QTest::newRow("character-sum check value only") << "c" << 0 << true;
    // The wizard writes the character sum; a console that takes only the
    // Intel HEX sum refuses the record, and the wizard says so.
    QTest::newRow("byte-sum check value only") << "d" << 0 << false;
}

void TestSetupSim::recordsOverConsole() {
    QFETCH(QString, gateway);
    QFETCH(int, record);
    QFETCH(bool, writeTaken);
    Link link;
    GatewaySetup setup(link);
    setup.setConfig(quickConfig());
    QVERIFY2(setup.connectConsole(console(gateway)), qPrintable(setup.info()));
    SetupRecord r(record);
    QVERIFY(setup.exchange().readRecord(r, SetupMethod::Serial, {}, 1500));
    QCOMPARE(r.bytes().size(), record == 0 ? 120 : 126);
    const QByteArray before = r.bytes();
    QByteArray changed = before;
    changed[50] = 'K'; // a byte the gateway carries unchanged
    r.setBytes(changed);
    QCOMPARE(setup.exchange().writeRecord(r, SetupMethod::Serial, {}, 4000), writeTaken);
    if (!writeTaken)
        QCOMPARE(setup.exchange().lastFailure(), ExchangeFailure::ConsoleRejected);
    SetupRecord back(record);
    const QString address = QStringLiteral("127.0.0.12%1").arg(gateway[0].unicode() - u'a' + 1);
    QVERIFY(read(link, back, address, 1500));
    QCOMPARE(back.bytes(), writeTaken ? changed : before);
    link.closeSerialPort();
}

void TestSetupSim::restartDropsTcpConnections() {
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.122"), 10120);
    QVERIFY(client.waitForConnected(2000));
    Link link;
    RecordExchange exchange(link);
    SetupRecord r(0);
    QVERIFY(exchange.readRecord(r, SetupMethod::Network, QStringLiteral("127.0.0.122"), 300));
    QVERIFY(exchange.writeRecord(r, SetupMethod::Network, QStringLiteral("127.0.0.122"), 4000));
    QVERIFY(simproc::waitUntil(
        &client, &QTcpSocket::stateChanged,
        [&client] { return client.state() == QAbstractSocket::UnconnectedState; }, 2000));
}

void TestSetupSim::ipSetupMovesTheGateway() {
    Link link;
    GatewaySetup setup(link);
    setup.setConfig(quickConfig());
    setup.setAdapterAddress(kAdapter);
    const GatewaySetup::IpSetupResult result =
        setup.setIpOverNetwork(QStringLiteral("00-20-4A-12-34-56"), QStringLiteral("127.0.0.130"),
                               QStringLiteral("127.0.0.1"), QStringLiteral("255.255.0.0"));
    QVERIFY2(result.ok, qPrintable(setup.info()));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway a moved to 127.0.0.130")));
    SetupRecord r(0);
    QVERIFY(read(link, r, QStringLiteral("127.0.0.130")));
    QCOMPARE(r.ipAddress(), QStringLiteral("127.0.0.130"));
    QCOMPARE(r.gateway(), QStringLiteral("127.0.0.1"));
    QCOMPARE(r.netMask(), QStringLiteral("255.255.0.0"));
    QVERIFY(!read(link, r, QStringLiteral("127.0.0.121")));
    // And home again.
    QVERIFY(setup
                .setIpOverNetwork(QStringLiteral("00-20-4A-12-34-56"),
                                  QStringLiteral("127.0.0.121"), QString(), QString())
                .ok);
}

void TestSetupSim::moveOntoATakenAddressIsRefused() {
    Link link;
    RecordExchange exchange(link);
    exchange.setAdapterAddress(kAdapter);
    MacAddress mac{};
    QVERIFY(parseMac(u"00-20-4A-12-34-56", mac));
    QVERIFY(exchange.broadcast(buildIpSetup(mac, {127, 0, 0, 123}), kListen));
    QVERIFY(simproc::waitUntil(
        &m_sim->proc, &QProcess::readyReadStandardError,
        [this] { return m_sim->errors.contains("refused to move to 127.0.0.123"); }, 2000));
    QVERIFY(m_sim->errors.contains("which gateway c already uses; it stays at 127.0.0.121"));
    // Still where it was, and record 0 says so; gateway c untouched.
    SetupRecord r(0);
    QTest::qWait(400); // its restart
    QVERIFY(read(link, r, QStringLiteral("127.0.0.121"), 1000));
    QCOMPARE(r.ipAddress(), QStringLiteral("127.0.0.121"));
    SetupRecord c(0);
    QVERIFY(read(link, c, QStringLiteral("127.0.0.123")));
    QCOMPARE(c.ipAddress(), QStringLiteral("127.0.0.123"));
}

void TestSetupSim::consoleCancel() {
    QCOMPARE(control(QStringLiteral("console d fault silent")), QStringLiteral("ok"));
    Link link;
    GatewaySetup setup(link);
    SetupConfig config = quickConfig();
    config.resetTimeout = 20000;
    setup.setConfig(config);
    QStringList headers;
    connect(&setup, &GatewaySetup::headerChanged, this,
            [&headers](const QString& h) { headers << h; });
    QTimer::singleShot(700, &setup, [&setup] { setup.cancelConsole(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!setup.connectConsole(console(QStringLiteral("d"))));
    QVERIFY(clock.elapsed() < 1500);
    QVERIFY(setup.info().endsWith(getText(TextCancelled)));
    QVERIFY(!link.isSerialPortOpen());
    // The header counts the rounds with dots.
    QVERIFY(headers.size() >= 2);
    QCOMPARE(headers.at(0), getText(TextConsoleWait));
    QCOMPARE(headers.at(1), getText(TextConsoleWait) + u'.');
    QCOMPARE(control(QStringLiteral("console d fault none")), QStringLiteral("ok"));
}

void TestSetupSim::setupFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("reason");
    QTest::newRow("no reply") << "no-reply" << false << TextNoReply;
    QTest::newRow("short read") << "short-read" << false << TextShortReply;
    QTest::newRow("wrong acknowledgement") << "wrong-ack" << true << TextNotAcknowledged;
    // Last: the gateway never comes back.
    QTest::newRow("no comeback") << "no-comeback" << true << TextNoComeback;
}

void TestSetupSim::setupFaults() {
    QFETCH(QString, fault);
    QFETCH(bool, write);
    QFETCH(int, reason);
    const QString gw = QStringLiteral("127.0.0.124");
    Link link;
    GatewaySetup setup(link);
    setup.setConfig(quickConfig());
    createSetupRecords();
    // The previous case may have left the gateway restarting.
    QTRY_VERIFY_WITH_TIMEOUT(setup.readDeviceSettings(SetupMethod::Network, gw).has_value(), 3000);
    const QByteArray before = setupRecord(0).bytes();
    QCOMPARE(control(QStringLiteral("setup d fault %1 1").arg(fault)), QStringLiteral("ok"));
    if (write) {
        DeviceSettings s = GatewaySetup::defaultDeviceSettings();
        s.port = QStringLiteral("10124");
        QVERIFY(!setup.writeDeviceSettings(SetupMethod::Network, gw, s, {}));
        QCOMPARE(setup.info(), getText(TextWritingSettings) + QStringLiteral("\r\n") +
                                   getText(TextSettingsNotWritten) + QStringLiteral("\r\n") +
                                   getText(reason));
    } else {
        QVERIFY(!setup.readDeviceSettings(SetupMethod::Network, gw));
        QCOMPARE(setup.info(),
                 getText(TextSettingsNotRead) + QStringLiteral("\r\n") + getText(reason));
        QCOMPARE(setupRecord(0).bytes(), before); // untouched
    }
}

void TestSetupSim::outsideLoopbackOnlyInAPrivateNamespace() {
    // The test runs in no namespace made for the simulator: addresses
    // outside loopback are refused before anything is bound.
    const QString dir = m_tmp.filePath(QStringLiteral("namespace"));
    QVERIFY(QDir().mkpath(dir));
    simproc::SimProcess sim;
    QVERIFY(!sim.startIn(dir,
                         "[simulator]\nnetwork = namespace\nlisten = 10.213.9.255:30718\n"
                         "[gateway g]\naddress = 10.213.9.2\nmbus-master = no\nconsole = no\n"));
    QVERIFY(sim.waitFinished());
    QCOMPARE(sim.proc.exitCode(), 1);
    QVERIFY(sim.errors.contains("not a private network namespace"));
}

QTEST_GUILESS_MAIN(TestSetupSim)
#include "tst_setupsim.moc"
