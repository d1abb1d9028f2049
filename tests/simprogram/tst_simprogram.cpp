// The simulator program itself: started as a separate process with a test
// installation on 127.0.0.2x, every face is exercised the way the wizard
// reaches it (UDP, TCP, pseudo-terminals). libmodbus reads the Modbus slave
// as an independent master.
#include "mbus/MBusFrame.h"
#include "netsetup/Address.h"
#include "netsetup/HexRecord.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecord.h"
#include "sim/devices/SimAsciiServer.h"
#include "sim/devices/SimModbusSlave.h"
#include "sim/devices/SimRegisterMap.h"
#include "tests/simprogram/SimProcess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>

using namespace kestrune;

namespace {

const QString kListenHost = QStringLiteral("127.0.0.29");
constexpr quint16 kListenPort = 24718;
constexpr quint16 kControlPort = 24999;

// The test installation: three gateways with short restarts, meters at 9600
// baud so long frames take little line time. Gateways a and b carry the same
// meters: Kamstrup at 120 and two meters sharing address 1.
const char kTestConfig[] = R"(# test installation
[simulator]
listen = 127.0.0.29:24718
dhcp-first = 127.0.0.60
control-port = 24999
tag-files = no

[gateway a]
family = K1
serial = 0x111111
address = 127.0.0.21
restart-ms = 400
mbus-port = 24001
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 5
modbus = yes
modbus-address = 1
modbus-tcp-port = 24502
modbus-rtu-tcp-port = 24503
modbus-udp-port = 24502
modbus-busy = 500 10
ascii = yes
ascii-station = 0
ascii-udp-port = 24504
ascii-tcp-port = 24504

[gateway b]
family = K2
serial = 0x222222
address = 127.0.0.22
restart-ms = 400
mbus-port = 24002
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 5
self-meter-address = 250
# Answers at one instant: two E5s merge into one (the skewed bus has tests of its own).
collisions = aligned

[gateway c]
family = K2S
serial = 0x333333
address = 127.0.0.23
restart-ms = 300

[meter a-kam]
gateway = a
capture = kamstrup_382_005
address = 120
[meter a-abb]
gateway = a
capture = abb_delta
address = 1
[meter a-son]
gateway = a
capture = sontex_supercal_531_telegram1
address = 1
[meter b-kam]
gateway = b
capture = kamstrup_382_005
address = 120
[meter b-abb]
gateway = b
capture = abb_delta
address = 1
[meter b-son]
gateway = b
capture = sontex_supercal_531_telegram1
address = 1
)";

using simproc::SimProcess;
using simproc::simProgram;
using simproc::waitUntil;
using simproc::waitUntilAny;

// libmodbus as an independent master of slave 1 with a one-second reply
// time-out; connected at once, closed and freed with this object.
struct LibmodbusMaster {
    modbus_t* ctx;
    bool isConnected = false;
    explicit LibmodbusMaster(modbus_t* context) : ctx(context) {
        if (!ctx)
            return;
        modbus_set_slave(ctx, 1);
        modbus_set_response_timeout(ctx, 1, 0);
        isConnected = modbus_connect(ctx) == 0;
    }
    ~LibmodbusMaster() {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
    }
    LibmodbusMaster(const LibmodbusMaster&) = delete;
    LibmodbusMaster& operator=(const LibmodbusMaster&) = delete;
    bool connected() const { return isConnected; }
};

// Waits ms without spinning.
void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A UDP client on 127.0.0.1.
class UdpClient {
public:
    QUdpSocket socket;
    UdpClient() { socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0); }
    void send(const QByteArray& bytes, const QString& host, quint16 port) {
        socket.writeDatagram(bytes, QHostAddress(host), port);
    }
    // Datagrams until count arrived or ms passed.
    QList<QNetworkDatagram> receive(int count, int ms) {
        QList<QNetworkDatagram> got;
        waitUntil(
            &socket, &QUdpSocket::readyRead,
            [&] {
                while (socket.hasPendingDatagrams())
                    got << socket.receiveDatagram(4096);
                return got.size() >= count;
            },
            ms);
        return got;
    }
    QByteArray exchange(const QByteArray& bytes, const QString& host, quint16 port, int ms = 1500) {
        send(bytes, host, port);
        const auto got = receive(1, ms);
        return got.isEmpty() ? QByteArray() : got.first().data();
    }
    // An M-Bus answer comes in several datagrams, as the line delivers it:
    // they are joined until none came for quietMs after the first.
    QByteArray exchangeJoined(const QByteArray& bytes, const QString& host, quint16 port, int ms,
                              int quietMs = 100) {
        while (socket.hasPendingDatagrams())
            socket.receiveDatagram(4096);
        send(bytes, host, port);
        QByteArray joined;
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            const auto got = receive(
                1, joined.isEmpty() ? int(std::max<qint64>(1, deadline.remainingTime())) : quietMs);
            if (got.isEmpty())
                break;
            for (const QNetworkDatagram& d : got)
                joined += d.data();
        }
        return joined;
    }
};

// Reads from a stream until nothing more came for quietMs after the first
// byte, or ms passed.
template <typename Dev> QByteArray readQuiet(Dev* dev, int ms, int quietMs = 250) {
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        const qsizetype before = got.size();
        waitUntil(
            dev, &QIODevice::readyRead,
            [&] {
                got += dev->readAll();
                return got.size() > before;
            },
            got.isEmpty() ? int(std::max<qint64>(1, deadline.remainingTime())) : quietMs);
        if (got.size() == before && !got.isEmpty())
            break;
    }
    return got;
}

QByteArray shortFrame(uint8_t c, uint8_t a) {
    return buildShortFrame(c, a);
}

} // namespace

class TestSimProgram : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void startLines();
    void discovery();
    void recordReadWriteRestart();
    void ipSetupMove();
    void ipSetupOutsideLoopbackRefused();
    void ipSetupDhcp();
    void recordZeroRebindsTransparentPort();
    void console_data();
    void console();
    void meterTelegrams_data();
    void meterTelegrams();
    void fcbRepeat_data();
    void fcbRepeat();
    void k2GatewayAsMeter();
    void lineTiming();
    void modbusLibmodbusTcp();
    void modbusLibmodbusPty();
    void modbusCrcFault();
    void asciiUdp_data();
    void asciiUdp();
    void asciiStreams_data();
    void asciiStreams();
    void garbageEverywhere();
    void helpAndBindConflict();
    void printedConfigChecks();
    void badConfig_data();
    void meterFaultCommand_data();
    void meterFaultCommand();
    void meterFaultOnTheWire();
    void badConfig();
    void sigtermCleansUp();

private:
    QString writeConfig(const QString& name, const QByteArray& text);
    QByteArray mbusExchange(const QString& transport, const QByteArray& request);

    QTemporaryDir m_tmp;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<QTcpSocket> m_tcp;
    std::unique_ptr<QSerialPort> m_mbusPty;
    UdpClient m_udp;
};

QString TestSimProgram::writeConfig(const QString& name, const QByteArray& text) {
    const QString path = m_tmp.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
    return path;
}

void TestSimProgram::initTestCase() {
    QVERIFY(m_tmp.isValid());
    qputenv("XDG_CONFIG_HOME", m_tmp.filePath(QStringLiteral("config")).toUtf8());
    qputenv("KESTRUNE_PROGRAM_DIR", m_tmp.filePath(QStringLiteral("program")).toUtf8());
    QVERIFY2(QFileInfo::exists(simProgram()), qPrintable(simProgram()));
    const QString config = writeConfig(QStringLiteral("test.ini"), kTestConfig);
    m_sim = std::make_unique<SimProcess>();
    QVERIFY2(m_sim->start({QStringLiteral("--config"), config, QStringLiteral("--run-dir"),
                           m_tmp.filePath(QStringLiteral("run"))}),
             m_sim->errors.constData());

    m_tcp = std::make_unique<QTcpSocket>();
    m_tcp->connectToHost(QHostAddress(QStringLiteral("127.0.0.22")), 24002);
    QVERIFY(m_tcp->waitForConnected(2000));

    m_mbusPty = std::make_unique<QSerialPort>();
    m_mbusPty->setPortName(m_sim->ptyLink(QStringLiteral("a"), QStringLiteral("mbus-master")));
    QVERIFY(m_mbusPty->open(QIODevice::ReadWrite));
    m_mbusPty->setBaudRate(9600);
}

void TestSimProgram::cleanupTestCase() {
    m_tcp.reset();
    m_mbusPty.reset();
    if (m_sim)
        QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestSimProgram::startLines() {
    const QString run = m_tmp.filePath(QStringLiteral("run"));
    QVERIFY(m_sim->hasLine(QStringLiteral("sim discovery udp 127.0.0.29:24718")));
    QVERIFY(m_sim->hasLine(QStringLiteral("sim control udp 127.0.0.1:24999")));
    QVERIFY(m_sim->hasLine(
        QStringLiteral("gateway a K1 mac 00-20-4A-11-11-11 setup udp 127.0.0.21:30718")));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway b mbus tcp 127.0.0.22:24002 baud 9600")));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway a modbus tcp 127.0.0.21:24502")));
    // Links at stable names pointing at the pseudo-terminals.
    for (const QString& what : {QStringLiteral("console"), QStringLiteral("mbus-master")}) {
        const QString link = m_sim->ptyLink(QStringLiteral("c"), what);
        QVERIFY2(link.startsWith(run + QStringLiteral("/c-")), qPrintable(link));
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    }
}

void TestSimProgram::discovery() {
    UdpClient client;
    client.send(discoveryRequest(), kListenHost, kListenPort);
    const QList<QNetworkDatagram> got = client.receive(3, 1500);
    // Nothing beyond one answer per gateway.
    const QList<QNetworkDatagram> extra = client.receive(1, 300);
    QCOMPARE(got.size(), 3);
    QVERIFY(extra.isEmpty());
    QMap<QString, QByteArray> byAddress;
    for (const QNetworkDatagram& d : got) {
        QCOMPARE(d.senderPort(), 30718);
        byAddress.insert(d.senderAddress().toString(), d.data());
    }
    struct Expect {
        const char* address;
        uint8_t variant;
        MacAddress mac;
    };
    const Expect expected[] = {
        {"127.0.0.21", 0, {0x00, 0x20, 0x4A, 0x11, 0x11, 0x11}},
        {"127.0.0.22", 2, {0x00, 0x04, 0x25, 0x22, 0x22, 0x22}},
        {"127.0.0.23", 1, {0x02, 0x4B, 0x7D, 0x33, 0x33, 0x33}},
    };
    for (const Expect& e : expected) {
        const QByteArray d = byAddress.value(QLatin1String(e.address));
        QVERIFY2(d.size() >= 30, e.address);
        QCOMPARE(uint8_t(d[0]), e.variant);
        QCOMPARE(d.mid(24, 6), QByteArray(reinterpret_cast<const char*>(e.mac.data()), 6));
    }
    // A gateway answers discovery on its own address too.
    const QByteArray own = client.exchange(discoveryRequest(), QStringLiteral("127.0.0.22"), 30718);
    QCOMPARE(own, byAddress.value(QStringLiteral("127.0.0.22")));
}

void TestSimProgram::recordReadWriteRestart() {
    UdpClient client;
    const QString gw = QStringLiteral("127.0.0.21");
    const QByteArray r0 = client.exchange(recordReadRequest(0), gw, 30718);
    SetupRecord record0(0);
    QVERIFY(record0.decodeReadAnswer(r0));
    QCOMPARE(record0.ipAddress(), gw);
    QCOMPARE(record0.port(), uint16_t(24001));
    QVERIFY(record0.isUsingUdp());

    const QByteArray r3 = client.exchange(recordReadRequest(3), gw, 30718);
    QVERIFY(r3.size() >= SetupRecord::kMinReadAnswerLength);
    QCOMPARE(r3.left(4), QByteArray::fromHex("000000D3"));
    QByteArray changed = r3.mid(4);
    changed[5] = char(uint8_t(changed[5]) ^ 0x5A);

    QCOMPARE(client.exchange(recordWriteRequest(3, changed), gw, 30718),
             QByteArray::fromHex("000000B3"));
    QElapsedTimer since;
    since.start();
    // Restarting: silent.
    QVERIFY(client.exchange(recordReadRequest(3), gw, 30718, 150).isEmpty());
    // Back after the restart time (400 ms), with the written record.
    QByteArray back;
    for (int i = 0; i < 10 && back.isEmpty(); ++i)
        back = client.exchange(recordReadRequest(3), gw, 30718, 200);
    QVERIFY(since.elapsed() >= 380);
    QCOMPARE(back.mid(4), changed);
}

void TestSimProgram::ipSetupMove() {
    MacAddress mac{};
    const QStringList w = m_sim->lineStarting(QStringLiteral("gateway c K2S mac ")).split(' ');
    QVERIFY(w.size() > 4 && parseMac(w[4], mac));
    UdpClient client;
    const Ipv4Address target{127, 0, 0, 35};
    client.send(buildIpSetup(mac, target), kListenHost, kListenPort);
    QVERIFY(m_sim->waitLine(QStringLiteral("gateway c moved to 127.0.0.35"), 2000));
    QByteArray answer;
    for (int i = 0; i < 15 && answer.isEmpty(); ++i)
        answer = client.exchange(recordReadRequest(0), QStringLiteral("127.0.0.35"), 30718, 200);
    SetupRecord r(0);
    QVERIFY(r.decodeReadAnswer(answer));
    QCOMPARE(r.ipAddress(), QStringLiteral("127.0.0.35"));
    // The old address is given up.
    QVERIFY(
        client.exchange(recordReadRequest(0), QStringLiteral("127.0.0.23"), 30718, 200).isEmpty());
    // A discovery answer now comes from the new address.
    client.send(discoveryRequest(), kListenHost, kListenPort);
    bool seen = false;
    for (const QNetworkDatagram& d : client.receive(3, 1500))
        seen = seen || d.senderAddress() == QHostAddress(QStringLiteral("127.0.0.35"));
    QVERIFY(seen);
}

void TestSimProgram::ipSetupOutsideLoopbackRefused() {
    MacAddress mac{};
    const QStringList w = m_sim->lineStarting(QStringLiteral("gateway b K2 mac ")).split(' ');
    QVERIFY(w.size() > 4 && parseMac(w[4], mac));
    UdpClient client;
    // The datagram goes to the simulator's listener on loopback; only the
    // address it carries lies outside.
    client.send(buildIpSetup(mac, Ipv4Address{10, 1, 2, 3}), kListenHost, kListenPort);
    QVERIFY(waitUntil(
        &m_sim->proc, &QProcess::readyReadStandardError,
        [this] { return m_sim->errors.contains("refused to move to 10.1.2.3"); }, 2000));
    QByteArray answer;
    for (int i = 0; i < 10 && answer.isEmpty(); ++i)
        answer = client.exchange(recordReadRequest(0), QStringLiteral("127.0.0.22"), 30718, 200);
    QVERIFY(!answer.isEmpty());
}

void TestSimProgram::ipSetupDhcp() {
    // Runs after ipSetupMove: gateway c lives at 127.0.0.35 and asks for an
    // address by DHCP; it gets the first free one from dhcp-first.
    MacAddress mac{};
    const QStringList w = m_sim->lineStarting(QStringLiteral("gateway c K2S mac ")).split(' ');
    QVERIFY(w.size() > 4 && parseMac(w[4], mac));
    UdpClient client;
    client.send(buildIpSetup(mac, Ipv4Address{0, 0, 0, 0}), kListenHost, kListenPort);
    QVERIFY(m_sim->waitLine(QStringLiteral("gateway c moved to 127.0.0.60"), 2000));
    QByteArray answer;
    for (int i = 0; i < 15 && answer.isEmpty(); ++i)
        answer = client.exchange(recordReadRequest(0), QStringLiteral("127.0.0.60"), 30718, 200);
    QVERIFY(!answer.isEmpty());
}

void TestSimProgram::recordZeroRebindsTransparentPort() {
    // Gateway c (now at 127.0.0.60): its transparent port becomes TCP 24077.
    const QString gw = QStringLiteral("127.0.0.60");
    UdpClient client;
    SetupRecord r0(0);
    QVERIFY(r0.decodeReadAnswer(client.exchange(recordReadRequest(0), gw, 30718)));
    QVERIFY(r0.setPort(24077));
    QVERIFY(r0.setUsingUdp(false));
    QCOMPARE(client.exchange(r0.writeRequest(), gw, 30718), QByteArray::fromHex("000000B0"));
    QVERIFY(m_sim->waitLine(QStringLiteral("gateway c mbus tcp 127.0.0.60:24077"), 2000));
    pause(350); // the restart
    QTcpSocket tcp;
    tcp.connectToHost(QHostAddress(gw), 24077);
    QVERIFY(tcp.waitForConnected(2000));
    tcp.write(shortFrame(0x5B, 250));
    const auto h = readReplyHeader(readQuiet(&tcp, 2000));
    QVERIFY(h);
    QCOMPARE(h->version, uint8_t(3)); // the K2S answering as a meter
}

void TestSimProgram::console_data() {

    QTest::addColumn<int>("rule");
    QTest::newRow("char-sum check") << int(HexCheck::CharSum);
    QTest::newRow("intel check") << int(HexCheck::ByteSum);
}

void TestSimProgram::console() {
    QFETCH(int, rule);
    QSerialPort pty;
    pty.setPortName(m_sim->ptyLink(QStringLiteral("a"), QStringLiteral("console")));
    QVERIFY(pty.open(QIODevice::ReadWrite));
    pty.setBaudRate(9600);
    auto wake = [&] {
        QByteArray got;
        for (int i = 0; i < 8 && !got.contains("0>"); ++i) {
            pty.write("\rzzz");
            got += readQuiet(&pty, 250, 100);
        }
        return got.contains("0>");
    };
    // At the wrong speed the console hears nothing.
    pty.setBaudRate(2400);
    pty.write("\rzzz");
    QVERIFY(readQuiet(&pty, 300, 100).isEmpty());
    pty.setBaudRate(9600);
    QVERIFY(wake());

    // G0: record 0 as hexadecimal lines, then the prompt.
    pty.write("G0\r");
    const QByteArray listing = readQuiet(&pty, 2000);
    QVERIFY(listing.endsWith("0>"));
    QByteArray record;
    for (QByteArray line : listing.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith(':') || line == hexEndLine())
            continue;
        QByteArray data;
        uint16_t offset = 0;
        QVERIFY2(decodeHexRecordLine(QByteArrayView(line), data, offset), line.constData());
        QCOMPARE(int(offset), int(record.size()));
        record += data;
    }
    UdpClient client;
    const QByteArray r0 =
        client.exchange(recordReadRequest(0), QStringLiteral("127.0.0.21"), 30718);
    QCOMPARE(record, r0.mid(4));

    // S5: write record 5 by lines; the console answers exactly the prompt.
    QByteArray r5 =
        client.exchange(recordReadRequest(5), QStringLiteral("127.0.0.21"), 30718).mid(4);
    QVERIFY(r5.size() >= 120);
    r5[10] = char(0x40 + rule);
    QByteArray write = "S5\r";
    for (const QByteArray& l : encodeRecordLines(r5, HexCheck(rule)))
        write += l + '\r';
    write += hexEndLine() + '\r';
    pty.write(write);
    QCOMPARE(readQuiet(&pty, 1000, 300), QByteArray("0>"));
    QCOMPARE(client.exchange(recordReadRequest(5), QStringLiteral("127.0.0.21"), 30718).mid(4), r5);

    // RS restarts the gateway; the wake-up brings the prompt back.
    pty.write("RS\r");
    readQuiet(&pty, 300, 100);
    QVERIFY(wake());
    // QU leaves silently.
    pty.write("QU\r");
    QVERIFY(readQuiet(&pty, 400, 100).isEmpty());
    // Wait out the restart so later tests find the gateway answering.
    pause(450);
}

QByteArray TestSimProgram::mbusExchange(const QString& transport, const QByteArray& request) {
    if (transport == QLatin1String("udp"))
        return m_udp.exchangeJoined(request, QStringLiteral("127.0.0.21"), 24001, 600);
    if (transport == QLatin1String("tcp")) {
        m_tcp->readAll();
        m_tcp->write(request);
        return readQuiet(m_tcp.get(), 600);
    }
    m_mbusPty->readAll();
    m_mbusPty->write(request);
    return readQuiet(m_mbusPty.get(), 600);
}

void TestSimProgram::meterTelegrams_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QString>("expect");
    const QByteArray select = buildSelectionFrame(u"1483FFFF", u"FFFF", u"FF", u"FF");
    const QByteArray selectNone = buildSelectionFrame(u"99FFFFFF", u"FFFF", u"FF", u"FF");
    for (const QString& t : {QStringLiteral("udp"), QStringLiteral("tcp"), QStringLiteral("pty")}) {
        const QByteArray tb = t.toLatin1();
        QTest::newRow(tb + " SND_NKE")
            << t << QList<QByteArray>{shortFrame(0x40, 120)} << QStringLiteral("E5");
        QTest::newRow(tb + " REQ_UD2")
            << t << QList<QByteArray>{shortFrame(0x5B, 120)} << QStringLiteral("long 120");
        QTest::newRow(tb + " nobody at 77")
            << t << QList<QByteArray>{shortFrame(0x5B, 77)} << QStringLiteral("none");
        QTest::newRow(tb + " bad checksum")
            << t << QList<QByteArray>{QByteArray::fromHex("1040787716")} << QStringLiteral("none");
        QTest::newRow(tb + " select wildcard")
            << t << QList<QByteArray>{select, shortFrame(0x7B, 0xFD)}
            << QStringLiteral("long 120 14839120");
        QTest::newRow(tb + " select nobody")
            << t << QList<QByteArray>{selectNone, shortFrame(0x7B, 0xFD)} << QStringLiteral("none");
        QTest::newRow(tb + " two E5 merge")
            << t << QList<QByteArray>{shortFrame(0x40, 1)} << QStringLiteral("E5");
        QTest::newRow(tb + " two long frames garble")
            << t << QList<QByteArray>{shortFrame(0x5B, 1)} << QStringLiteral("garbled");
    }
}

void TestSimProgram::meterTelegrams() {
    QFETCH(QString, transport);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QString, expect);
    QByteArray answer;
    for (int i = 0; i < requests.size(); ++i) {
        answer = mbusExchange(transport, requests[i]);
        if (i + 1 < requests.size() && expect != QLatin1String("none"))
            QCOMPARE(answer, QByteArray("\xE5"));
        if (i + 1 < requests.size() && expect == QLatin1String("none"))
            QVERIFY(answer.isEmpty());
    }
    if (expect == QLatin1String("E5")) {
        QCOMPARE(answer, QByteArray("\xE5"));
    } else if (expect == QLatin1String("none")) {
        QVERIFY2(answer.isEmpty(), answer.toHex().constData());
    } else if (expect == QLatin1String("garbled")) {
        QVERIFY(!answer.isEmpty());
        QVERIFY2(!parseMBusFrame(answer), answer.toHex().constData());
    } else {
        const QStringList w = expect.split(' ');
        const auto frame = parseMBusFrame(answer);
        QVERIFY2(frame, answer.toHex().constData());
        QVERIFY(isCompleteMBusReply(answer));
        QCOMPARE(int(frame->a), w[1].toInt());
        QCOMPARE(int(frame->c), 0x08);
        if (w.size() > 2) {
            const auto h = readReplyHeader(answer);
            QVERIFY(h);
            QCOMPARE(h->id, w[2]);
        }
    }
    // A selected meter answers at 253 until deselected: leave none selected.
    if (requests.size() > 1)
        mbusExchange(transport, shortFrame(0x40, 0xFD));
}

void TestSimProgram::fcbRepeat_data() {
    QTest::addColumn<QString>("transport");
    QTest::newRow("udp") << QStringLiteral("udp");
    QTest::newRow("tcp") << QStringLiteral("tcp");
    QTest::newRow("pty") << QStringLiteral("pty");
}

void TestSimProgram::fcbRepeat() {
    QFETCH(QString, transport);
    // Access number: byte 15 of a variable-data reply (after 68 L L 68 C A
    // CI and the 4+2+1+1 identification bytes).
    auto access = [](const QByteArray& a) { return a.size() > 15 ? int(uint8_t(a[15])) : -1; };
    QCOMPARE(mbusExchange(transport, shortFrame(0x40, 120)), QByteArray("\xE5"));
    const QByteArray first = mbusExchange(transport, shortFrame(0x7B, 120));
    const QByteArray repeat = mbusExchange(transport, shortFrame(0x7B, 120));
    const QByteArray next = mbusExchange(transport, shortFrame(0x5B, 120));
    QVERIFY(isCompleteMBusReply(first));
    QCOMPARE(repeat, first);
    QVERIFY(isCompleteMBusReply(next));
    QVERIFY(access(next) != access(first));
}

void TestSimProgram::k2GatewayAsMeter() {
    const QByteArray answer = mbusExchange(QStringLiteral("tcp"), shortFrame(0x5B, 250));
    const auto h = readReplyHeader(answer);
    QVERIFY2(h, answer.toHex().constData());
    QCOMPARE(h->medium, uint8_t(0x31));
    QCOMPARE(h->version, uint8_t(2));
}

void TestSimProgram::lineTiming() {
    // 9600 baud, 11 bits a byte: the answer is complete no earlier than the
    // request's and the answer's time on the wire plus the 5 ms delay.
    QElapsedTimer t;
    t.start();
    const QByteArray answer = mbusExchange(QStringLiteral("udp"), shortFrame(0x5B, 120));
    const qint64 elapsed = t.elapsed();
    QVERIFY(isCompleteMBusReply(answer));
    const qint64 wire = (qint64(answer.size() + 5) * 11 * 1000) / 9600;
    QVERIFY2(elapsed >= wire + 5 - 1, qPrintable(QString::number(elapsed)));
}

void TestSimProgram::modbusLibmodbusTcp() {
    const LibmodbusMaster master(modbus_new_tcp("127.0.0.21", 24502));
    QVERIFY(master.connected());
    modbus_t* ctx = master.ctx;
    const QList<uint16_t> expected = sim::defaultHoldingMap(0).registers();
    uint16_t regs[64] = {};
    QCOMPARE(modbus_read_registers(ctx, 0, 40, regs), 40);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(regs[i], expected[i]);
    const QList<uint16_t> input = sim::defaultInputMap(0).registers();
    QCOMPARE(modbus_read_input_registers(ctx, 0, 8, regs), 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(regs[i], input[i]);
    // The busy range answers exception 06; an address outside the map 02.
    QCOMPARE(modbus_read_registers(ctx, 502, 2, regs), -1);
    QCOMPARE(errno, int(EMBXSBUSY));
    QCOMPARE(modbus_read_registers(ctx, 3000, 2, regs), -1);
    QCOMPARE(errno, int(EMBXILADD));
}

void TestSimProgram::modbusLibmodbusPty() {
    const QString link = m_sim->ptyLink(QStringLiteral("a"), QStringLiteral("modbus rtu"));
    QVERIFY(!link.isEmpty());
    const LibmodbusMaster master(modbus_new_rtu(link.toLocal8Bit().constData(), 9600, 'N', 8, 1));
    QVERIFY(master.connected());
    modbus_t* ctx = master.ctx;
    const QList<uint16_t> expected = sim::defaultHoldingMap(0).registers();
    uint16_t regs[100] = {};
    QCOMPARE(modbus_read_registers(ctx, 10, 20, regs), 20);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(regs[i], expected[10 + i]);
    // Another slave address on the line: no answer.
    modbus_set_slave(ctx, 7);
    modbus_set_response_timeout(ctx, 0, 300000);
    QCOMPARE(modbus_read_registers(ctx, 0, 2, regs), -1);
    QCOMPARE(errno, ETIMEDOUT);
}

void TestSimProgram::modbusCrcFault() {
    UdpClient control;
    QCOMPARE(
        control.exchange("modbus a fault bad-check 1", QStringLiteral("127.0.0.1"), kControlPort),
        QByteArray("ok"));
    QTcpSocket rtu;
    rtu.connectToHost(QHostAddress(QStringLiteral("127.0.0.21")), 24503);
    QVERIFY(rtu.waitForConnected(2000));
    const QByteArray request = QByteArray::fromHex("010300000002C40B");
    rtu.write(request);
    const QByteArray bad = readQuiet(&rtu, 1000, 150);
    QCOMPARE(bad.size(), 9);
    QCOMPARE(bad.left(3), QByteArray::fromHex("010304"));
    QVERIFY(!sim::modbusCrcValid(bad));
    rtu.write(request);
    const QByteArray good = readQuiet(&rtu, 1000, 150);
    QVERIFY(sim::modbusCrcValid(good));
    QCOMPARE(good.left(7), bad.left(7));
    // A request with a wrong CRC is not answered.
    rtu.write(QByteArray::fromHex("010300000002C40C"));
    QVERIFY(readQuiet(&rtu, 400, 150).isEmpty());
    QCOMPARE(
        control.exchange("modbus zz fault none", QStringLiteral("127.0.0.1"), kControlPort).left(6),
        QByteArray("error:"));
}

void TestSimProgram::asciiUdp_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expect");
    const QByteArray tag = "Meter1.Heat_Energy.Value";
    QTest::newRow("variant 00") << sim::SimAsciiServer::buildRequest(1, 0, 0, tag)
                                << QByteArray("\x06"
                                              "01000012345.678\x03");
    QByteArray v01 = "020100" + tag;
    v01 = '\x02' + v01 + sim::SimAsciiServer::checksum(v01) + '\x03';
    QByteArray ack01 = "0201"
                       "00"
                       "12345.678";
    ack01 = '\x06' + ack01 + sim::SimAsciiServer::checksum(ack01) + '\x03';
    QTest::newRow("variant 01") << v01 << ack01;
    QByteArray badSum = v01;
    badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
    QTest::newRow("C wrong checksum") << badSum
                                      << QByteArray("\x15"
                                                    "020100C\x03");
    QTest::newRow("I unknown tag") << sim::SimAsciiServer::buildRequest(3, 0, 0, "No.Such.Tag")
                                   << QByteArray("\x15"
                                                 "030000I\x03");
    QTest::newRow("S no start") << QByteArray("040000" + tag + '\x03')
                                << QByteArray("\x15"
                                              "040000S\x03");
    QTest::newRow("other station")
        << sim::SimAsciiServer::buildRequest(5, 0, 7, tag) << QByteArray();
}

void TestSimProgram::asciiUdp() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expect);
    UdpClient client;
    QCOMPARE(client.exchange(request, QStringLiteral("127.0.0.21"), 24504,
                             expect.isEmpty() ? 400 : 1500),
             expect);
}

void TestSimProgram::asciiStreams_data() {
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void TestSimProgram::asciiStreams() {
    QFETCH(bool, pty);
    std::unique_ptr<QIODevice> dev;
    if (pty) {
        auto port = std::make_unique<QSerialPort>();
        port->setPortName(m_sim->ptyLink(QStringLiteral("a"), QStringLiteral("ascii serial")));
        QVERIFY(port->open(QIODevice::ReadWrite));
        dev = std::move(port);
    } else {
        auto tcp = std::make_unique<QTcpSocket>();
        tcp->connectToHost(QHostAddress(QStringLiteral("127.0.0.21")), 24504);
        QVERIFY(tcp->waitForConnected(2000));
        dev = std::move(tcp);
    }
    // A request in two pieces, then one cut short by the next STX.
    const QByteArray request =
        sim::SimAsciiServer::buildRequest(7, 0, 0, "Meter3.Water_Volume.Unit");
    dev->write(request.left(9));
    QVERIFY(readQuiet(dev.get(), 150, 100).isEmpty());
    dev->write(request.mid(9));
    QCOMPARE(readQuiet(dev.get(), 1000, 150), QByteArray("\x06"
                                                         "070000m3\x03"));
    dev->write("\x02"
               "080000Meter3" +
               request);
    QCOMPARE(readQuiet(dev.get(), 1000, 150), QByteArray("\x15"
                                                         "080000N\x03"
                                                         "\x06"
                                                         "070000m3\x03"));
}

void TestSimProgram::garbageEverywhere() {
    // Noise of every length on every face: no crash, no answer to noise on
    // the setup and M-Bus ports, and everything still answers afterwards.
    QRandomGenerator rng(4711);
    auto noise = [&rng](int n) {
        QByteArray b(n, 0);
        for (char& c : b)
            c = char(rng.bounded(256));
        return b;
    };
    UdpClient client;
    const QList<QPair<QString, quint16>> udpTargets = {{QStringLiteral("127.0.0.21"), 30718},
                                                       {QStringLiteral("127.0.0.21"), 24001},
                                                       {QStringLiteral("127.0.0.21"), 24502},
                                                       {QStringLiteral("127.0.0.21"), 24504},
                                                       {kListenHost, kListenPort}};
    QTcpSocket tcpTargets[3];
    const quint16 tcpPorts[3] = {24502, 24503, 24504};
    for (int i = 0; i < 3; ++i) {
        tcpTargets[i].connectToHost(QHostAddress(QStringLiteral("127.0.0.21")), tcpPorts[i]);
        QVERIFY(tcpTargets[i].waitForConnected(2000));
    }
    QSerialPort console;
    console.setPortName(m_sim->ptyLink(QStringLiteral("b"), QStringLiteral("console")));
    QVERIFY(console.open(QIODevice::ReadWrite));
    for (int round = 0; round < 40; ++round) {
        const QByteArray bytes = noise(int(rng.bounded(1, 700)));
        for (const auto& t : udpTargets)
            client.send(bytes, t.first, t.second);
        for (QTcpSocket& t : tcpTargets)
            t.write(bytes);
        m_mbusPty->write(bytes.left(300));
        console.write(bytes.left(300));
    }
    pause(300);
    // Setup and M-Bus ports stay silent on noise (with this seed the noise
    // holds no valid telegram by chance).
    for (const QNetworkDatagram& d : client.receive(100, 300))
        QVERIFY(d.senderPort() != 30718 && d.senderPort() != 24001);
    QCOMPARE(m_sim->proc.state(), QProcess::Running);
    m_mbusPty->readAll();
    pause(400);
    QCOMPARE(client.exchange(discoveryRequest(), QStringLiteral("127.0.0.21"), 30718).size(), 30);
    QCOMPARE(mbusExchange(QStringLiteral("udp"), shortFrame(0x40, 120)), QByteArray("\xE5"));
    QCOMPARE(mbusExchange(QStringLiteral("pty"), shortFrame(0x40, 120)), QByteArray("\xE5"));
}

void TestSimProgram::helpAndBindConflict() {
    SimProcess help;
    help.proc.start(simProgram(), {QStringLiteral("--help")});
    QVERIFY(help.waitFinished());
    QCOMPARE(help.proc.exitCode(), 0);
    QVERIFY(!help.lineStarting(QStringLiteral("Usage: kestrune-gateway-sim")).isEmpty());
    // The test installation is in use by the running simulator: a second
    // one can't bind and says so.
    SimProcess second;
    QVERIFY(!second.start({QStringLiteral("--config"), m_tmp.filePath(QStringLiteral("test.ini")),
                           QStringLiteral("--run-dir"), m_tmp.filePath(QStringLiteral("run-2"))}));
    QVERIFY(second.waitFinished());
    QCOMPARE(second.proc.exitCode(), 1);
    QVERIFY2(second.errors.contains("can't bind"), second.errors.constData());
}

void TestSimProgram::printedConfigChecks() {
    // The embedded installation, printed for users to start from, reads
    // back without a complaint.
    QProcess print;
    print.start(simProgram(), {QStringLiteral("--print-config")});
    QVERIFY(print.waitForFinished(5000));
    QCOMPARE(print.exitCode(), 0);
    const QByteArray text = print.readAllStandardOutput();
    QVERIFY(text.contains("[gateway gw1]"));
    const QString path = writeConfig(QStringLiteral("printed.ini"), text);
    SimProcess check;
    check.proc.start(simProgram(), {QStringLiteral("--config"), path, QStringLiteral("--check")});
    QVERIFY(check.waitFinished());
    QCOMPARE(check.proc.exitCode(), 0);
    QVERIFY2(check.hasLine(path + QStringLiteral(": 3 gateways, 10 meters")),
             qPrintable(check.lines.join('|')));
}

void TestSimProgram::badConfig_data() {

    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("address outside loopback")
        << QByteArray("[gateway g]\nfamily = K1\naddress = 192.168.1.5\n") << 3
        << QStringLiteral("127.0.0.0/8");
    QTest::newRow("unknown key") << QByteArray("[gateway g]\naddress = 127.0.0.50\nadress = 1\n")
                                 << 3 << QStringLiteral("unknown key");
    QTest::newRow("unknown capture")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[meter m]\ngateway = g\n"
                      "capture = nothing\naddress = 3\n")
        << 5 << QStringLiteral("known captures");
    QTest::newRow("meter on unknown gateway")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[meter m]\ngateway = h\n"
                      "capture = abb_delta\naddress = 3\n")
        << 4 << QStringLiteral("not defined");
    QTest::newRow("listen outside loopback")
        << QByteArray("[simulator]\nlisten = 255.255.255.255:30718\n[gateway g]\n"
                      "address = 127.0.0.50\n")
        << 2 << QStringLiteral("127.0.0.0/8");
    QTest::newRow("two gateways one address")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[gateway h]\nserial = 9\n"
                      "address = 127.0.0.50\n")
        << 5 << QStringLiteral("taken");
    QTest::newRow("bad line speed")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\nmbus-baud = 2401\n") << 3
        << QStringLiteral("mbus-baud");
    QTest::newRow("unknown meter fault")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[meter m]\ngateway = g\n"
                      "capture = abb_delta\naddress = 3\nfault = sometimes\n")
        << 7 << QStringLiteral("wrong-stop");
    QTest::newRow("meter fault count")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[meter m]\ngateway = g\n"
                      "capture = abb_delta\naddress = 3\nfault-count = -2\n")
        << 7 << QStringLiteral("fault-count");
    QTest::newRow("reply too short for a meter")
        << QByteArray("[gateway g]\naddress = 127.0.0.50\n[meter m]\ngateway = g\n"
                      "reply = 68 02 02 68 08 01 09 16\naddress = 3\n")
        << 5 << QStringLiteral("no complete M-Bus long frame");
}

// The control port's meter fault switch: by the meter's name, for a count.
void TestSimProgram::meterFaultCommand_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("set") << QByteArray("meter a-kam fault bad-check 1") << QByteArray("ok");
    QTest::newRow("clear") << QByteArray("meter a-kam fault none") << QByteArray("ok");
    QTest::newRow("unknown meter")
        << QByteArray("meter zz fault silence") << QByteArray("error: no meter zz");
    QTest::newRow("Modbus fault") << QByteArray("meter a-kam fault wrong-id")
                                  << QByteArray("error: unknown meter fault wrong-id");
    QTest::newRow("negative count") << QByteArray("meter a-kam fault silence -1")
                                    << QByteArray("error: COUNT must be a number of answers");
    QTest::newRow("no fault") << QByteArray("meter a-kam")
                              << QByteArray("error: expected meter NAME fault KIND [COUNT]");
}

void TestSimProgram::meterFaultCommand() {
    QFETCH(QByteArray, command);
    UdpClient control;
    QTEST(control.exchange(command, QStringLiteral("127.0.0.1"), kControlPort), "answer");
}

// A spoiled answer reaches the master as it left the meter.
void TestSimProgram::meterFaultOnTheWire() {
    UdpClient control;
    QCOMPARE(control.exchange("meter a-kam fault bad-check 1", QStringLiteral("127.0.0.1"),
                              kControlPort),
             QByteArray("ok"));
    const QByteArray bad = mbusExchange(QStringLiteral("udp"), shortFrame(0x5B, 120));
    QCOMPARE(bad.size(), 76);
    QVERIFY(!isCompleteMBusReply(bad));
    QVERIFY(isCompleteMBusReply(mbusExchange(QStringLiteral("udp"), shortFrame(0x7B, 120))));
}

void TestSimProgram::badConfig() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, reason);
    const QString path = writeConfig(QStringLiteral("bad.ini"), text);
    SimProcess sim;
    QVERIFY(!sim.start({QStringLiteral("--config"), path, QStringLiteral("--run-dir"),
                        m_tmp.filePath(QStringLiteral("run-bad"))},
                       5000));
    QVERIFY(sim.waitFinished());
    QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.proc.exitCode(), 2);
    const QString err = QString::fromUtf8(sim.errors + sim.proc.readAllStandardError());
    QVERIFY2(err.startsWith(path + QStringLiteral(":%1: ").arg(line)), qPrintable(err));
    QVERIFY2(err.contains(reason), qPrintable(err));
    QVERIFY(!sim.lineStarting(QStringLiteral("gateway")).size());
}

void TestSimProgram::sigtermCleansUp() {
    const QString config =
        writeConfig(QStringLiteral("term.ini"), "[simulator]\nlisten = 127.0.0.39:24718\n"
                                                "[gateway t]\nfamily = K2\naddress = 127.0.0.31\n"
                                                "mbus-port = 24031\n");
    const QString run = m_tmp.filePath(QStringLiteral("run-term"));
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--config"), config, QStringLiteral("--run-dir"), run}),
             sim.errors.constData());
    const QString console = sim.ptyLink(QStringLiteral("t"), QStringLiteral("console"));
    const QString master = sim.ptyLink(QStringLiteral("t"), QStringLiteral("mbus-master"));
    QVERIFY(QFileInfo(console).isSymLink());
    QVERIFY(QFileInfo(master).isSymLink());
    sim.terminate();
    QVERIFY(sim.waitFinished());
    QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.proc.exitCode(), 0);
    QVERIFY(!QFileInfo(console).isSymLink());
    QVERIFY(!QFileInfo(master).isSymLink());
    // The ports are free again.
    QUdpSocket s;
    QVERIFY(s.bind(QHostAddress(QStringLiteral("127.0.0.31")), 30718));
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
