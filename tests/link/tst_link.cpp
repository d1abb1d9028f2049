// The link: its receive rules as pure functions, then the link itself against
// small peers over UDP, TCP and a pseudo-terminal.
#include "Peers.h"
#include "Transports.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/ReceiveRules.h"
#include "channel/SerialPorts.h"
#include "channel/TrafficLog.h"
#include "tests/TestHex.h"
#include "tests/simprogram/ProgramFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrune;
using kestrune::testpeer::addTransports;
using testpeer::Peer;
using testpeer::PtyPeer;

namespace {

using kestrune::testhex::hex;

// A real meter's reply (RSP_UD, 33 bytes).
const QByteArray MeterReply =
    hex("681B1B68080172072018 00E61E35074C0000000C78072018000C16690200009616");
// REQ_UD2 to primary address 254.
const QByteArray ReqUd2 = hex("105BFE5916");
// REQ_UD2 to primary address 9.
const QByteArray ReqUd2To9 = hex("105B096416");

int indexOfLine(const QStringList& lines, const QString& a, const QString& b, int from = 0) {
    for (int i = from; i < lines.size(); ++i)
        if (lines[i].contains(a) && lines[i].contains(b))
            return i;
    return -1;
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Link> m_link;

    // Opens the link to a fresh peer of the current row's transport.
    std::unique_ptr<Peer> openPeer(const QString& transport) {
        auto peer = testpeer::makePeer(transport);
        if (!peer || !peer->isValid())
            return nullptr;
        if (!m_link->openConnection(peer->linkSettings()))
            return nullptr;
        return peer;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        fixture::useProgramDir(m_dir.path(), m_dir.filePath(QStringLiteral("config")));
    }

    void init() {
        m_link = std::make_unique<Link>();
        m_link->setBusDelay(0);
        m_link->setOpenTimeout(500);
        trafficLog().setActive(true);
        trafficLog().setMaxLines(10000);
        trafficLog().clear();
        trafficLog().resetStats();
    }

    void cleanup() { m_link.reset(); }

    // ---- Receive rules ------------------------------------------------------------

    void completeness_data() {
        QTest::addColumn<QByteArray>("rx");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("announced");
        QTest::newRow("nothing") << QByteArray() << false << 0;
        QTest::newRow("E5 alone") << hex("E5") << true << 0;
        QTest::newRow("E5 twice") << hex("E5E5") << false << 0;
        QTest::newRow("E5 then a frame start") << hex("E568") << false << 0;
        QTest::newRow("meter reply") << MeterReply << true << 0x1B;
        QTest::newRow("smallest long frame") << hex("6803036808017283 16") << false << 3;
        QTest::newRow("smallest long frame, right sum") << hex("680303680801727B16") << true << 3;
        QTest::newRow("length bytes differ") << hex("680304680801727B16") << false << 3;
        QTest::newRow("stop byte missing") << hex("680303680801727B") << false << 3;
        QTest::newRow("one byte too many") << hex("680303680801727B1600") << false << 3;
        QTest::newRow("wrong checksum") << hex("680303680801727C16") << false << 3;
        QTest::newRow("wrong stop byte accepted") << hex("680303680801727B17") << true << 3;
        QTest::newRow("short frame never") << hex("105BFE5916") << false << 0;
        QTest::newRow("header only") << hex("68030368") << false << 3;
        QTest::newRow("three bytes") << hex("680303") << false << 0;
        QTest::newRow("second 68 missing") << hex("680303670801727B16") << false << 0;
        QTest::newRow("L zero") << hex("6800006800 16") << true << 0;
    }
    void completeness() {
        QFETCH(QByteArray, rx);
        QFETCH(bool, complete);
        QFETCH(int, announced);
        int l = 0;
        QCOMPARE(receive::isCompleteMBusReply(rx, l), complete);
        QCOMPARE(l, announced);
    }

    void announcedLengthIsKept() {
        // The length of the last header seen stays when the header is gone
        // from the buffer (the socket buffer drops its oldest bytes).
        int l = 0;
        QVERIFY(!receive::isCompleteMBusReply(hex("68101068"), l));
        QVERIFY(!receive::isCompleteMBusReply(hex("0102030405"), l));
        QCOMPARE(l, 0x10);
    }

    void timeoutNote_data() {
        QTest::addColumn<QByteArray>("rx");
        QTest::addColumn<QString>("note");
        QTest::newRow("0 bytes") << QByteArray() << QStringLiteral("BusTimeout");
        QTest::newRow("1 byte") << hex("E5") << QStringLiteral("BusTimeout (Received 1 byte)");
        QTest::newRow("2 stray") << hex("0102") << QStringLiteral("BusTimeout (Received 2 byte)");
        QTest::newRow("3 stray") << hex("010203") << QStringLiteral("BusTimeout (Received 3 byte)");
        QTest::newRow("5 stray") << hex("0102030405")
                                 << QStringLiteral("BusTimeout (Received only 5 of 6 bytes)");
        QTest::newRow("6 stray") << hex("010203040506")
                                 << QStringLiteral("BusTimeout (Received only 6 of 6 bytes)");
        QTest::newRow("8 stray") << hex("0102030405060708")
                                 << QStringLiteral("BusTimeout (Received 8 bytes)");
        QTest::newRow("frame cut short")
            << MeterReply.left(20) << QStringLiteral("BusTimeout (Received only 20 of 33 bytes)");
        QTest::newRow("to many") << MeterReply + hex("E5E5")
                                 << QStringLiteral("BusTimeout (Received to many bytes 35 of 33)");
        QTest::newRow("wrong checksum, full length")
            << hex("680303680801727C16")
            << QStringLiteral("BusTimeout (Received only 9 of 9 bytes)");
    }
    void timeoutNote() {
        // As the receive wait does it: the rule runs over the buffer, then
        // the note is chosen from what it saw.
        QFETCH(QByteArray, rx);
        QFETCH(QString, note);
        int l = 0;
        (void)receive::isCompleteMBusReply(rx, l);
        QCOMPARE(receive::mbusTimeoutNote(rx.size(), l), note);
    }

    void hexRecordLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray header = hex("000000D0");
        QTest::newRow("first record")
            << QByteArray(":0400000001020304F2") << header << header + hex("01020304");
        QTest::newRow("lower case digits")
            << QByteArray(":04000000deadbeefc4") << header << header + hex("DEADBEEF");
        QTest::newRow("second record") << QByteArray(":02000400AABB95") << header + hex("01020304")
                                       << header + hex("01020304AABB");
        QTest::newRow("no colon") << QByteArray("0400000001020304F2") << header << header;
        QTest::newRow("colon not first") << QByteArray(" :0400000001020304F2") << header << header;
        QTest::newRow("end record, 11 chars") << QByteArray(":00000001FF") << hex("") << hex("");
        QTest::newRow("bad checksum") << QByteArray(":0400000001020304F3") << header << header;
        QTest::newRow("address ahead of buffer")
            << QByteArray(":02000400AABB95") << header << header;
        QTest::newRow("address behind buffer")
            << QByteArray(":0400000001020304F2") << header + hex("01020304")
            << header + hex("01020304");
        QTest::newRow("empty buffer, address 0")
            << QByteArray(":0400000001020304F2") << QByteArray() << QByteArray();
        QTest::newRow("console text") << QByteArray("0>") << header << header;
    }
    void hexRecordLine() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QByteArray rx = before;
        QCOMPARE(receive::decodeHexRecordLine(line, rx), before != after);
        QCOMPARE(rx, after);
    }

    void hexRecordsOutOfOrderAreIgnored() {
        QByteArray rx = hex("000000D0");
        QVERIFY(!receive::decodeHexRecordLine(QByteArray(":02000400AABB95"), rx));
        QVERIFY(receive::decodeHexRecordLine(QByteArray(":0400000001020304F2"), rx));
        QVERIFY(!receive::decodeHexRecordLine(QByteArray(":0300060010203097"), rx));
        QVERIFY(receive::decodeHexRecordLine(QByteArray(":02000400AABB95"), rx));
        QVERIFY(receive::decodeHexRecordLine(QByteArray(":0300060010203097"), rx));
        QCOMPARE(rx, hex("000000D001020304AABB102030"));
    }

    void consolePrompt_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("prompt");
        QTest::newRow("0>") << QByteArray("zzz\r\n0>") << true;
        QTest::newRow("9>") << QByteArray("9>") << true;
        QTest::newRow("other digit") << QByteArray("1>") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("split") << QByteArray("0\r>") << false;
    }
    void consolePrompt() {
        QFETCH(QByteArray, text);
        QFETCH(bool, prompt);
        QCOMPARE(receive::containsConsolePrompt(text), prompt);
    }

    // ---- Serial settings and port names -----------------------------------------------

    void lineSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("normal");
        QTest::newRow("M-Bus") << QStringLiteral("2400,E,8,1") << true
                               << QStringLiteral("2400,E,8,1");
        QTest::newRow("lower case, blanks")
            << QStringLiteral(" 300 , o , 7 , 2 ") << true << QStringLiteral("300,O,7,2");
        QTest::newRow("one and a half")
            << QStringLiteral("9600,S,5,1.5") << true << QStringLiteral("9600,S,5,1.5");
        QTest::newRow("no speed") << QStringLiteral(",E,8,1") << false << QString();
        QTest::newRow("speed not a number") << QStringLiteral("fast,N,8,1") << false << QString();
        QTest::newRow("unknown parity") << QStringLiteral("9600,X,8,1") << false << QString();
        QTest::newRow("nine data bits") << QStringLiteral("9600,N,9,1") << false << QString();
        QTest::newRow("three fields") << QStringLiteral("9600,N,8") << false << QString();
    }
    void lineSettings() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, normal);
        const auto parsed = parseLineSettings(text);
        QCOMPARE(parsed.has_value(), valid);
        if (parsed)
            QCOMPARE(lineSettingsText(*parsed), normal);
    }

    void storedSettings_data() {
        QTest::addColumn<int>("task");
        QTest::addColumn<QString>("line");
        QTest::newRow("M-Bus task ignores stored format") << 4 << QStringLiteral("9600,E,8,1");
        QTest::newRow("Modbus task") << 5 << QStringLiteral("9600,O,7,2");
        QTest::newRow("ASCII task") << 6 << QStringLiteral("9600,O,7,2");
    }
    void storedSettings() {
        QFETCH(int, task);
        QFETCH(QString, line);
        settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
        settings::save(settings::perTask(QStringLiteral("SerialPort"), task), QStringLiteral("2"));
        settings::save(settings::perTask(QStringLiteral("Combo_EnterIPAddress_BaudRate"), task),
                       QStringLiteral("5"));
        settings::save(settings::perTask(QStringLiteral("SerialDatabits"), task),
                       QStringLiteral("0"));
        settings::save(settings::perTask(QStringLiteral("SerialStopbits"), task),
                       QStringLiteral("1"));
        settings::save(settings::perTask(QStringLiteral("SerialParity"), task),
                       QStringLiteral("1"));
        const LinkSettings s = storedLinkSettings(task);
        QCOMPARE(s.mode, ConnectionMode::Serial);
        QCOMPARE(s.serialPortIndex, 2);
        QCOMPARE(s.lineSettings, line);
    }

    void storedNetworkSettings() {
        settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
        settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("0"));
        settings::save(QStringLiteral("IPAddress"), QStringLiteral(" 127.0.0.9 "));
        settings::save(QStringLiteral("TCPPort"), QStringLiteral("70000"));
        LinkSettings s = storedLinkSettings(4);
        QCOMPARE(s.mode, ConnectionMode::Tcp);
        QCOMPARE(s.host, QStringLiteral("127.0.0.9"));
        QCOMPARE(s.port, quint16(65535));
        settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
        s = storedLinkSettings(4);
        QCOMPARE(s.mode, ConnectionMode::Udp);
    }

    void loadTimeouts() {
        QVERIFY(programIni().write(QStringLiteral("modbus"), QStringLiteral("busdelay"),
                                   QStringLiteral("7")));
        QVERIFY(programIni().write(QStringLiteral("ModBus"), QStringLiteral("BusTimeOut"),
                                   QStringLiteral("abc")));
        m_link->loadTimeouts(QStringLiteral("ModBus"));
        QCOMPARE(m_link->busDelay(), 7);
        QCOMPARE(m_link->busTimeout(), 0);
        QCOMPARE(m_link->openTimeout(), 5000);
        m_link->loadTimeouts(QStringLiteral("PadPuls"));
        QCOMPARE(m_link->busDelay(), 50);
        QCOMPARE(m_link->busTimeout(), 3000);
        QCOMPARE(timeoutSectionForTask(5), QStringLiteral("ModBus"));
        QCOMPARE(timeoutSectionForTask(6), QStringLiteral("MBusASCII"));
        QCOMPARE(timeoutSectionForTask(0), QStringLiteral("IP"));
    }

    void portPaths() {
        const QString ini = m_dir.filePath(QStringLiteral("ports.ini"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[serialports]\r\ncom3=/dev/pts/9\r\n");
        f.close();
        const QStringList system{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyACM0")};
        QCOMPARE(serialPortPath(1, ini, system), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(serialPortPath(2, ini, system), QStringLiteral("/dev/ttyUSB1"));
        QCOMPARE(serialPortPath(3, ini, system), QStringLiteral("/dev/pts/9"));
        QCOMPARE(serialPortPath(16, ini, system), QStringLiteral("/dev/ttyS15"));
        const QStringList names = serialPortDisplayNames();
        QCOMPARE(names.size(), SerialPortCount);
        QVERIFY(names[15].startsWith(QStringLiteral("COM16 (/")));
    }

    void lineEvents() {
        LineCounters before;
        LineCounters after;
        after.frame = 1;
        after.parity = 3;
        after.brk = 1;
        const QList<int> codes = lineEventCodes(before, after);
        QCOMPARE(codes, (QList<int>{1001, 1004, 1009}));
        QCOMPARE(serialEventNote(1009), QStringLiteral("Receive Parity Error"));
        QCOMPARE(serialEventNote(1004), QStringLiteral("Framing Error"));
        QCOMPARE(serialEventNote(1001), QStringLiteral("Break Received"));
        QVERIFY(serialEventNote(2).isEmpty());
        QVERIFY(lineEventCodes(after, after).isEmpty());
    }

    // ---- The link against peers -----------------------------------------------------

    void exchangeIsLoggedInOrder_data() { addTransports(); }
    void exchangeIsLoggedInOrder() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        peer->setResponder([](const QByteArray&) { return MeterReply; });
        m_link->sendBytes(ReqUd2);
        const QByteArray reply = m_link->receiveMBusFrame(1000);
        QCOMPARE(reply, MeterReply);
        QCOMPARE(peer->received, ReqUd2);
        QCOMPARE(trafficLog().responseCount(), 1);
        QCOMPARE(trafficLog().failureCount(), 0);
        const QStringList lines = trafficLog().lines();
        const int sent =
            indexOfLine(lines, QStringLiteral(" -> "), QStringLiteral("10 5B FE 59 16"));
        const int received =
            indexOfLine(lines, QStringLiteral(" <- "), QStringLiteral("68 1B 1B 68 08 01 72"));
        QVERIFY2(sent >= 0 && received > sent, qPrintable(lines.join(QLatin1Char('\n'))));
    }

    void replyInPieces_data() { addTransports(); }
    void replyInPieces() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        Peer* p = peer.get();
        peer->setResponder([p](const QByteArray&) {
            QTimer::singleShot(30, p, [p] { p->write(MeterReply.mid(10)); });
            return MeterReply.left(10);
        });
        m_link->sendBytes(ReqUd2);
        QCOMPARE(m_link->receiveMBusFrame(1000), MeterReply);
    }

    void timeoutWithStrayBytes_data() { addTransports(); }
    void timeoutWithStrayBytes() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        peer->setResponder([](const QByteArray&) { return hex("0102"); });
        m_link->sendBytes(ReqUd2);
        QElapsedTimer t;
        t.start();
        QVERIFY(m_link->receiveMBusFrame(200).isEmpty());
        QVERIFY(t.elapsed() >= 190);
        QCOMPARE(trafficLog().failureCount(), 1);
        const QStringList lines = trafficLog().lines();
        const int note =
            indexOfLine(lines, QStringLiteral("BusTimeout (Received 2 byte)"), QString());
        QVERIFY(note >= 0);
        QVERIFY(note + 1 < lines.size());
        QVERIFY(lines[note + 1].contains(QStringLiteral(" <- 01 02 ")));
    }

    void silentTimeoutLogsOnlyTheNote() {
        auto peer = openPeer(QStringLiteral("udp"));
        QVERIFY(peer);
        m_link->sendBytes(ReqUd2);
        QVERIFY(m_link->receiveMBusFrame(100).isEmpty());
        const QStringList lines = trafficLog().lines();
        QVERIFY(lines.last().endsWith(QStringLiteral("    BusTimeout")));
    }

    void openFromStoredSettings() {
        testpeer::UdpPeer peer;
        QVERIFY(peer.isValid());
        settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
        settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
        settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
        settings::save(QStringLiteral("TCPPort"), QString::number(peer.linkSettings().port));
        m_link->setSelectedTask(4);
        QVERIFY(m_link->openConnection());
        QCOMPARE(m_link->connectionMode(), ConnectionMode::Udp);
        peer.setResponder([](const QByteArray&) { return hex("E5"); });
        m_link->sendBytes(ReqUd2);
        QVERIFY(!m_link->isWaiting());
        QCOMPARE(m_link->receiveMBusFrame(500), hex("E5"));
        QCOMPARE(peer.received, ReqUd2);
    }

    void udpOpenSendsNothing() {
        auto peer = openPeer(QStringLiteral("udp"));
        QVERIFY(peer);
        QCOMPARE(m_link->connectionMode(), ConnectionMode::Udp);
        QVERIFY(m_link->isOpen());
        m_link->pause(50);
        QVERIFY(peer->received.isEmpty());
    }

    void openWhenOpenChangesNothing() {
        auto peer = openPeer(QStringLiteral("udp"));
        QVERIFY(peer);
        LinkSettings other;
        other.mode = ConnectionMode::Serial;
        other.serialDevice = QStringLiteral("/dev/kestrune-no-such-port");
        QVERIFY(m_link->openConnection(other));
        QCOMPARE(m_link->connectionMode(), ConnectionMode::Udp);
        QVERIFY(m_link->connectionError().isEmpty());
    }

    void busDelayIsKept() {
        auto peer = openPeer(QStringLiteral("udp"));
        QVERIFY(peer);
        peer->setResponder([](const QByteArray&) { return hex("E5"); });
        m_link->sendBytes(ReqUd2);
        QCOMPARE(m_link->receiveMBusFrame(500), hex("E5"));
        // The delay counts from the reply, whatever the pause took on a
        // busy machine.
        QElapsedTimer t;
        t.start();
        m_link->setBusDelay(50);
        m_link->pause(10);
        m_link->sendBytes(ReqUd2);
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 45 && waited <= 90, qPrintable(QString::number(waited)));
    }

    void busDelayIsCapped() {
        auto peer = openPeer(QStringLiteral("udp"));
        QVERIFY(peer);
        m_link->setBusDelay(5000);
        m_link->markBusActivity();
        QElapsedTimer t;
        t.start();
        m_link->sendBytes(ReqUd2);
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 995 && waited <= 1300, qPrintable(QString::number(waited)));
        m_link->pause(20);
        QCOMPARE(peer->received, ReqUd2);
    }

    void tcpRefused() {
        quint16 port = 0;
        {
            QTcpServer s;
            QVERIFY(s.listen(QHostAddress::LocalHost, 0));
            port = s.serverPort();
        }
        LinkSettings s;
        s.mode = ConnectionMode::Tcp;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->openConnection(s));
        QVERIFY(t.elapsed() < 400);
        QCOMPARE(m_link->connectionMode(), ConnectionMode::Tcp);
        QVERIFY(!m_link->isOpen());
        QVERIFY(!m_link->connectionError().isEmpty());
    }

    void farEndGoesAwayDuringWait_data() {
        QTest::addColumn<QString>("transport");
        QTest::newRow("tcp peer closes") << QStringLiteral("tcp");
        QTest::newRow("serial device disappears") << QStringLiteral("pty");
    }
    void farEndGoesAwayDuringWait() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        Peer* p = peer.get();
        peer->setResponder([p](const QByteArray&) {
            QTimer::singleShot(50, p, [p] { p->drop(); });
            return QByteArray();
        });
        QSignalSpy lost(m_link.get(), &Link::connectionLost);
        m_link->sendBytes(ReqUd2);
        QElapsedTimer t;
        t.start();
        QVERIFY(m_link->receiveMBusFrame(3000).isEmpty());
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!m_link->isOpen());
        QVERIFY(!m_link->connectionError().isEmpty());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(trafficLog().failureCount(), 1);
        // The exchange that got no reply is logged as one, after the reason.
        const QStringList lines = trafficLog().lines();
        const int lostAt = indexOfLine(lines, QStringLiteral("    Connection lost: "), QString());
        QVERIFY2(lostAt >= 0, qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY2(indexOfLine(lines, QStringLiteral("    BusTimeout"), QString(), lostAt + 1) >
                     lostAt,
                 qPrintable(lines.join(QLatin1Char('\n'))));
        // Nothing more is sent or awaited on a closed link.
        m_link->sendBytes(ReqUd2);
        QVERIFY(m_link->receiveMBusFrame(1000).isEmpty());
        QVERIFY(t.elapsed() < 1000);
        if (transport == QLatin1String("tcp")) {
            // The next open connects again.
            QVERIFY(m_link->openConnection(peer->linkSettings()));
            QVERIFY(m_link->connectionError().isEmpty());
        }
    }

    void socketBufferKeepsNewest_data() {
        QTest::addColumn<QString>("transport");
        QTest::newRow("udp") << QStringLiteral("udp");
        QTest::newRow("tcp") << QStringLiteral("tcp");
    }
    void socketBufferKeepsNewest() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        QByteArray all;
        for (int i = 0; i < 1500; ++i)
            all.append(static_cast<char>(i % 251));
        Peer* p = peer.get();
        peer->setResponder([p, all](const QByteArray&) {
            p->write(all.left(500));
            p->write(all.mid(500, 500));
            return all.mid(1000);
        });
        m_link->sendBytes(ReqUd2);
        const QByteArray tail = all.right(1024);
        QVERIFY(m_link->waitUntil([&tail](const QByteArray& rx) { return rx == tail; }, 500));
        QCOMPARE(m_link->rxBuffer().size(), Link::SocketBufferLimit);
    }

    void serialKeepsEveryByte() {
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        QByteArray all;
        for (int i = 0; i < 3000; ++i)
            all.append(static_cast<char>(i % 253));
        peer->setResponder([all](const QByteArray&) { return all; });
        m_link->sendBytes(ReqUd2);
        QVERIFY(m_link->waitUntil([](const QByteArray& rx) { return rx.size() >= 3000; }, 1000));
        QCOMPARE(m_link->rxBuffer(), all);
        QCOMPARE(m_link->serialRxBuffer(), all);
    }

    void genericWait_data() { addTransports(); }
    void genericWait() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        peer->setResponder([](const QByteArray&) {
            return QByteArray("\x06"
                              "12.5\x03");
        });
        m_link->sendBytes(QByteArray("\x05T1"));
        QVERIFY(m_link->waitUntil([](const QByteArray& rx) { return rx.endsWith('\x03'); }, 500));
        QCOMPARE(m_link->rxBuffer(), QByteArray("\x06"
                                                "12.5\x03"));
        QVERIFY(!m_link->waitUntil([](const QByteArray& rx) { return rx.size() > 100; }, 50));
    }

    void serialHexRecordLines() {
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        m_link->setRxBuffer(hex("000000D0"));
        m_link->serialSend(QByteArray("G0\r"));
        Peer* p = peer.get();
        QTimer::singleShot(10, p, [p] {
            // A line far too long for a record, ending like one: ignored.
            p->write(QByteArray(5000, 'x') + ":0400000001020304F2\r\n");
            p->write(QByteArray(":02000400AABB95\r\n:04000000010"));
            QTimer::singleShot(20, p,
                               [p] { p->write(QByteArray("20304F2\r\n:02000400AABB95\r\n")); });
        });
        QVERIFY(m_link->waitFor([this] { return m_link->rxBuffer().size() >= 10; }, 500));
        QCOMPARE(m_link->rxBuffer(), hex("000000D001020304AABB"));
        QVERIFY(m_link->serialRxBuffer().startsWith(QByteArray(5000, 'x')));
        QCOMPARE(peer->received, QByteArray("G0\r"));
    }

    void consoleWakeUp() {
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        Peer* p = peer.get();
        peer->setResponder([p](const QByteArray&) {
            return p->received.count("zzz") == 2 ? QByteArray("\r\nzzz\r\n0>") : QByteArray();
        });
        QStringList headers;
        QElapsedTimer t;
        t.start();
        QVERIFY(m_link->waitForConsolePrompt(
            3000, [&headers](const QString& header) { headers.append(header); }));
        const qint64 took = t.elapsed();
        QVERIFY2(took >= 1000 + 200 && took < 1000 + 600, qPrintable(QString::number(took)));
        QCOMPARE(headers.size(), 2);
        QCOMPARE(headers[0], getText(153));
        QCOMPARE(headers[1], getText(153) + QLatin1Char('.'));
        QCOMPARE(peer->received, QByteArray("\rzzz\rzzz"));
    }

    void consoleWakeUpAborted() {
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        QTimer::singleShot(300, m_link.get(), [this] { m_link->requestAbort(); });
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->waitForConsolePrompt(-1));
        QVERIFY2(t.elapsed() < 700, qPrintable(QString::number(t.elapsed())));
        QVERIFY(m_link->abortRequested());
    }

    void consoleWakeUpLimit() {
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->waitForConsolePrompt(300));
        QVERIFY2(t.elapsed() >= 700 && t.elapsed() < 1100,
                 qPrintable(QString::number(t.elapsed())));
        QCOMPARE(peer->received.count("zzz"), 3);
    }

    // The prompt must come within the limit: one that arrives in the round in
    // which the limit runs out is as late as none.
    void consoleWakeUpAtTheLimit_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("answerAt"); // the wake-up that gets the prompt; 0: none
        QTest::addColumn<bool>("seen");
        QTest::addColumn<int>("wakeUps");
        QTest::newRow("second round, in time") << 300 << 2 << true << 2;
        QTest::newRow("third round, limit ran out") << 300 << 3 << false << 3;
        QTest::newRow("first round, limit 0") << 0 << 1 << true << 1;
        QTest::newRow("second round, limit 0") << 0 << 2 << false << 2;
        QTest::newRow("never") << 300 << 0 << false << 3;
    }
    void consoleWakeUpAtTheLimit() {
        QFETCH(int, limit);
        QFETCH(int, answerAt);
        QFETCH(bool, seen);
        QFETCH(int, wakeUps);
        auto peer = openPeer(QStringLiteral("pty"));
        QVERIFY(peer);
        Peer* p = peer.get();
        peer->setResponder([p, answerAt](const QByteArray&) {
            return p->received.count("zzz") == answerAt ? QByteArray("\r\n0>") : QByteArray();
        });
        QCOMPARE(m_link->waitForConsolePrompt(limit), seen);
        QCOMPARE(peer->received.count("zzz"), wakeUps);
    }

    // A reply that comes after its time-out lies unread in the operating
    // system until the next exchange; it must not be taken as the answer to
    // the next telegram, which here is a plain E5 that comes in time.
    void lateReplyIsNoAnswerToTheNextTelegram_data() { addTransports(); }
    void lateReplyIsNoAnswerToTheNextTelegram() {
        QFETCH(QString, transport);
        auto peer = openPeer(transport);
        QVERIFY(peer);
        peer->setResponder(
            [](const QByteArray& chunk) { return chunk == ReqUd2To9 ? hex("E5") : QByteArray(); });
        m_link->sendBytes(ReqUd2);
        QVERIFY(m_link->receiveMBusFrame(100).isEmpty());
        // Now the first meter answers. No event runs before the next send
        // (bus delay 0), so the link has not read it yet; a pseudo-terminal
        // hands written bytes on a moment later.
        peer->write(MeterReply);
        QThread::msleep(30);
        m_link->sendBytes(ReqUd2To9);
        QCOMPARE(m_link->receiveMBusFrame(500), hex("E5"));
        QCOMPARE(peer->received, ReqUd2 + ReqUd2To9);
        QCOMPARE(trafficLog().responseCount(), 1);
        QCOMPARE(trafficLog().failureCount(), 1);
    }

    // Bytes a serial device sent before the port was opened (a late answer
    // to a request of an earlier run) are not kept.
    void serialOpenDropsEarlierBytes() {
        PtyPeer peer;
        QVERIFY(peer.isValid());
        peer.write(MeterReply);
        QThread::msleep(30);
        QVERIFY(m_link->openConnection(peer.linkSettings()));
        m_link->pause(100);
        QVERIFY(m_link->serialRxBuffer().isEmpty());
        // The port still hears what comes after.
        peer.write(hex("E5"));
        QVERIFY(m_link->waitUntil([](const QByteArray& rx) { return rx == hex("E5"); }, 500));
    }

    void ptyWithParityOpensWithNote() {
        PtyPeer peer;
        QVERIFY(peer.isValid());
        LinkSettings s = peer.linkSettings();
        s.lineSettings = QStringLiteral("2400,E,8,1");
        QVERIFY(m_link->openConnection(s));
        QVERIFY(m_link->isOpen());
        const QString note = QStringLiteral("Line setting parity E not supported by ") +
                             peer.path() + QStringLiteral("; using N");
        QVERIFY2(indexOfLine(trafficLog().lines(), note, QString()) >= 0,
                 qPrintable(trafficLog().lines().join(QLatin1Char('\n'))));
        m_link->closeConnection();
        QVERIFY(!m_link->isOpen());
        QVERIFY(!m_link->isSerialPortOpen());
        // Closing the port of a serial link closes the link.
        QVERIFY(m_link->openConnection(s));
        m_link->closeSerialPort();
        QVERIFY(!m_link->isOpen());
        QVERIFY(m_link->receiveMBusFrame(1000).isEmpty());
        QCOMPARE(trafficLog().failureCount(), 0);
    }

    // A port this user may not open keeps its reason and says what to do; a
    // port refused for another reason (held by another program) gets no
    // such advice. As root, where permissions do not bite, the open runs as
    // "nobody" for the moment (the effective user decides).
    void serialPermissionDenied() {
        QVERIFY(languageTable().loadFile(
            QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001")));
        PtyPeer peer;
        QVERIFY(peer.isValid());
        const QByteArray path = QFile::encodeName(peer.path());
        QCOMPARE(::chmod(path.constData(), 0), 0);
        const uid_t uid = ::geteuid();
        if (uid == 0)
            QCOMPARE(::seteuid(65534), 0); // nobody
        const bool opened = m_link->openConnection(peer.linkSettings());
        const QString name = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        if (uid == 0)
            QCOMPARE(::seteuid(0), 0);
        QVERIFY(!opened);
        const QString error = m_link->connectionError();
        QVERIFY2(error.startsWith(peer.path() + QStringLiteral(": ")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("ermission")), qPrintable(error));
        // Mode 0 gives the group no access: the advice names Debian's group.
        QVERIFY2(error.endsWith(getText(1300).arg(QStringLiteral("dialout"), name)),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("sudo adduser %1 dialout").arg(name)),
                 qPrintable(error));

        // The same port open elsewhere: refused, but not for want of rights.
        QCOMPARE(::chmod(path.constData(), 0660), 0);
        QCOMPARE(serialAccessAdvice(peer.path()), QString());
        Link holder;
        QVERIFY(holder.openConnection(peer.linkSettings()));
        QVERIFY(!m_link->openConnection(peer.linkSettings()));
        QVERIFY2(!m_link->connectionError().contains(QStringLiteral("adduser")),
                 qPrintable(m_link->connectionError()));
        QCOMPARE(serialAccessAdvice(QStringLiteral("/dev/kestrune-no-such-port")), QString());
    }

    void serialOpenFailures() {
        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = QStringLiteral("/dev/kestrune-no-such-port");
        QVERIFY(!m_link->openConnection(s));
        QCOMPARE(m_link->connectionMode(), ConnectionMode::Serial);
        QVERIFY2(m_link->connectionError().contains(s.serialDevice),
                 qPrintable(m_link->connectionError()));

        // A port another program holds.
        PtyPeer peer;
        QVERIFY(peer.isValid());
        Link other;
        QVERIFY(other.openConnection(peer.linkSettings()));
        QVERIFY(!m_link->openConnection(peer.linkSettings()));
        QVERIFY(!m_link->connectionError().isEmpty());

        // Settings text that is no settings text.
        s.serialDevice = peer.path();
        s.lineSettings = QStringLiteral("9600;N;8;1");
        Link third;
        QVERIFY(!third.openConnection(s));
        QVERIFY(third.connectionError().contains(QStringLiteral("9600;N;8;1")));
    }

    void sendErrorIsReported() {
        LinkSettings s;
        s.mode = ConnectionMode::Udp;
        s.host = QString();
        s.port = 8001;
        QVERIFY(m_link->openConnection(s));
        QSignalSpy failed(m_link.get(), &Link::sendFailed);
        m_link->sendBytes(ReqUd2);
        QCOMPARE(failed.count(), 1);
        const QString message = failed.first().first().toString();
        QVERIFY(message.startsWith(getText(154) + QStringLiteral("\r\n\r\n'")));
        QVERIFY(message.endsWith(QLatin1Char('\'')));
        QVERIFY(m_link->receiveMBusFrame(50).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
