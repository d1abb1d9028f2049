// The link against the real simulator program: one simulator for the whole
// test case on 127.0.0.41..43 (ports 25xxx), reached over UDP, TCP, the
// M-Bus master pseudo-terminal and the gateway's serial console, exactly as
// the wizard reaches a gateway.
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "channel/ReceiveRules.h"
#include "channel/TrafficLog.h"
#include "tests/TestHex.h"
#include "tests/link/Transports.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kestrune;
using kestrune::testpeer::addTransports;
using simproc::SimProcess;

namespace {

constexpr quint16 kControlPort = 25999;

// Three gateways, one per way of reaching the bus, each with the same two
// meters; answers without line time or delay unless a test asks for them.
const char kConfig[] = R"(# link test installation
[simulator]
listen = 127.0.0.49:25718
control-port = 25999
tag-files = no

[gateway u]
family = K1
serial = 0x414141
address = 127.0.0.41
mbus-port = 25001
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no

[gateway t]
family = K2
serial = 0x424242
address = 127.0.0.42
mbus-port = 25002
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no

[gateway p]
family = K1
serial = 0x434343
address = 127.0.0.43
mbus-port = 25003
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no

[meter u-kam]
gateway = u
capture = kamstrup_382_005
address = 120
[meter u-abb]
gateway = u
capture = abb_delta
address = 1
[meter t-kam]
gateway = t
capture = kamstrup_382_005
address = 120
[meter t-abb]
gateway = t
capture = abb_delta
address = 1
[meter p-kam]
gateway = p
capture = kamstrup_382_005
address = 120
[meter p-abb]
gateway = p
capture = abb_delta
address = 1
)";

// A gateway of its own, for the peer that goes away.
const char kDoomedConfig[] = R"(# second simulator, stopped during a wait
[simulator]
listen = 127.0.0.48:25719
tag-files = no

[gateway d]
family = K2
serial = 0x444444
address = 127.0.0.44
mbus-port = 25004
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no
)";

using kestrune::testhex::hex;

// SND_NKE and REQ_UD2 (FCB clear) to primary address 120; REQ_UD2 to an
// address nobody has.
const QByteArray SndNke120 = hex("104078B816");
const QByteArray ReqUd2_120 = hex("105B78D316");
const QByteArray ReqUd2_7 = hex("105B076216");

int indexOfLine(const QStringList& lines, const QString& a, const QString& b, int from = 0) {
    for (int i = from; i < lines.size(); ++i)
        if (lines[i].contains(a) && lines[i].contains(b))
            return i;
    return -1;
}

// The log's hexadecimal form of the first bytes of a telegram.
QString logHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

using simproc::udpExchange;

QByteArray control(const QByteArray& command) {
    return simproc::control(kControlPort, command);
}

} // namespace

class TestLinkSim : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Link> m_link;

    LinkSettings settingsFor(const QString& transport) const {
        LinkSettings s;
        if (transport == QLatin1String("udp")) {
            s.mode = ConnectionMode::Udp;
            s.host = QStringLiteral("127.0.0.41");
            s.port = 25001;
        } else if (transport == QLatin1String("tcp")) {
            s.mode = ConnectionMode::Tcp;
            s.host = QStringLiteral("127.0.0.42");
            s.port = 25002;
        } else {
            s.mode = ConnectionMode::Serial;
            s.serialDevice = m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("mbus-master"));
            s.lineSettings = QStringLiteral("9600,E,8,1");
        }
        return s;
    }

    QString logText() const { return trafficLog().lines().join(QLatin1Char('\n')); }

    // One exchange that must bring a complete reply.
    QByteArray exchange(const QByteArray& request) {
        m_link->sendBytes(request);
        return m_link->receiveMBusFrame(1500);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        fixture::useProgramDir(m_dir.path(), m_dir.filePath(QStringLiteral("config")));
        QVERIFY2(QFileInfo::exists(simproc::simProgram()), qPrintable(simproc::simProgram()));
        m_sim = std::make_unique<SimProcess>();
        QVERIFY2(m_sim->startIn(m_dir.path(), kConfig), m_sim->errors.constData());
        QVERIFY(!m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("mbus-master")).isEmpty());
        QVERIFY(!m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("console")).isEmpty());
    }

    void cleanupTestCase() {
        m_link.reset();
        if (m_sim)
            QCOMPARE(m_sim->stopCleanly(), QString());
    }

    void init() {
        m_link = std::make_unique<Link>();
        m_link->setBusDelay(0);
        m_link->setOpenTimeout(2000);
        trafficLog().setActive(true);
        trafficLog().setMaxLines(10000);
        trafficLog().clear();
        trafficLog().resetStats();
    }

    void cleanup() {
        // The wizard ends a console session with "QU", which puts the
        // console back to sleep; the next test's wake-up needs that.
        if (m_link && m_link->isSerialPortOpen() &&
            m_link->serialDevicePath().endsWith(QLatin1String("-console"))) {
            m_link->serialSend("QU\r");
            m_link->pause(150);
        }
        m_link.reset();
        control("console p fault none");
    }

    // ---- Exchanges ------------------------------------------------------------------

    void exchangesLoggedInOrder_data() { addTransports(); }
    void exchangesLoggedInOrder() {
        QFETCH(QString, transport);
        QVERIFY2(m_link->openConnection(settingsFor(transport)),
                 qPrintable(m_link->connectionError()));

        QCOMPARE(exchange(SndNke120), hex("E5"));
        const QByteArray reply = exchange(ReqUd2_120);
        int announced = 0;
        QVERIFY2(receive::isCompleteMBusReply(reply, announced), reply.toHex().constData());
        QCOMPARE(uint8_t(reply[0]), uint8_t(0x68));
        QCOMPARE(uint8_t(reply[5]), uint8_t(120)); // the meter's own address

        // Nobody at address 7: a failure with the plain time-out note.
        m_link->sendBytes(ReqUd2_7);
        QVERIFY(m_link->receiveMBusFrame(300).isEmpty());
        QVERIFY(m_link->isOpen());

        QCOMPARE(trafficLog().responseCount(), 2);
        QCOMPARE(trafficLog().failureCount(), 1);
        const QStringList lines = trafficLog().lines();
        const int sentNke = indexOfLine(lines, QStringLiteral(" -> "), logHex(SndNke120));
        const int gotE5 = indexOfLine(lines, QStringLiteral(" <- "), QStringLiteral("E5"));
        const int sentReq = indexOfLine(lines, QStringLiteral(" -> "), logHex(ReqUd2_120));
        const int gotFrame =
            indexOfLine(lines, QStringLiteral(" <- "), logHex(reply.left(7)), sentReq + 1);
        const int sentReq7 = indexOfLine(lines, QStringLiteral(" -> "), logHex(ReqUd2_7));
        const int timeout = indexOfLine(lines, QStringLiteral("BusTimeout"), QString());
        QVERIFY2(sentNke >= 0 && gotE5 > sentNke && sentReq > gotE5 && gotFrame > sentReq &&
                     sentReq7 > gotFrame && timeout > sentReq7,
                 qPrintable(logText()));
    }

    // ---- Bus delay --------------------------------------------------------------------

    void busDelayKept_data() { addTransports(); }
    void busDelayKept() {
        QFETCH(QString, transport);
        QVERIFY(m_link->openConnection(settingsFor(transport)));
        m_link->setBusDelay(50);
        QCOMPARE(exchange(SndNke120), hex("E5"));
        QElapsedTimer sinceReply;
        sinceReply.start();
        m_link->pause(10);
        QElapsedTimer send;
        send.start();
        m_link->sendBytes(ReqUd2_120);
        const qint64 held = send.elapsed();
        const qint64 gap = sinceReply.elapsed();
        QVERIFY(!m_link->receiveMBusFrame(1500).isEmpty());
        // About 40 ms held back; a loaded machine may add to it, never take.
        QVERIFY2(gap >= 49, qPrintable(QString::number(gap)));
        QVERIFY2(held >= 25 && held <= 200, qPrintable(QString::number(held)));
    }

    void busDelayCapped_data() { addTransports(); }
    void busDelayCapped() {
        QFETCH(QString, transport);
        QVERIFY(m_link->openConnection(settingsFor(transport)));
        m_link->setBusDelay(5000);
        m_link->setLastBusActivity(0); // long ago: the first send is not held
        QCOMPARE(exchange(SndNke120), hex("E5"));
        QElapsedTimer send;
        send.start();
        m_link->sendBytes(ReqUd2_120);
        const qint64 held = send.elapsed();
        QVERIFY(!m_link->receiveMBusFrame(1500).isEmpty());
        QVERIFY2(held >= 950 && held <= 1700, qPrintable(QString::number(held)));
    }

    // ---- TCP faults ---------------------------------------------------------------------

    void tcpRefused() {
        LinkSettings s = settingsFor(QStringLiteral("tcp"));
        s.port = 25009; // nothing listens here
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->openConnection(s));
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(!m_link->isOpen());
        QVERIFY2(m_link->connectionError().contains(QStringLiteral("refused"), Qt::CaseInsensitive),
                 qPrintable(m_link->connectionError()));
        // Sending on the closed link does nothing.
        m_link->sendBytes(ReqUd2_120);
        QVERIFY(m_link->receiveMBusFrame(100).isEmpty());
    }

    void tcpPeerCloseDuringWait() {
        SimProcess doomed;
        const QString dir = m_dir.filePath(QStringLiteral("doomed"));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY2(doomed.startIn(dir, kDoomedConfig), doomed.errors.constData());
        LinkSettings s;
        s.mode = ConnectionMode::Tcp;
        s.host = QStringLiteral("127.0.0.44");
        s.port = 25004;
        QVERIFY2(m_link->openConnection(s), qPrintable(m_link->connectionError()));
        QSignalSpy lost(m_link.get(), &Link::connectionLost);
        // Nobody answers address 7; the simulator stops during the wait.
        m_link->sendBytes(ReqUd2_7);
        QTimer::singleShot(300, &doomed, [&doomed] { doomed.terminate(); });
        QElapsedTimer t;
        t.start();
        QVERIFY(m_link->receiveMBusFrame(5000).isEmpty());
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 250 && waited < 2500, qPrintable(QString::number(waited)));
        QVERIFY(!m_link->isOpen());
        QCOMPARE(lost.count(), 1);
        QVERIFY(!m_link->connectionError().isEmpty());
        QCOMPARE(trafficLog().failureCount(), 1);
        QVERIFY2(indexOfLine(trafficLog().lines(), QStringLiteral("Connection lost"), QString()) >=
                     0,
                 qPrintable(logText()));
        // Said once, and the exchange that got no reply is logged as timed
        // out after it.
        const int lostAt =
            indexOfLine(trafficLog().lines(), QStringLiteral("Connection lost"), QString());
        QCOMPARE(indexOfLine(trafficLog().lines(), QStringLiteral("Connection lost"), QString(),
                             lostAt + 1),
                 -1);
        QVERIFY2(indexOfLine(trafficLog().lines(), QStringLiteral("    BusTimeout"), QString()) >
                     lostAt,
                 qPrintable(logText()));
        QVERIFY(doomed.waitFinished());
    }

    // ---- Receive buffers ----------------------------------------------------------------

    void manyAnswersBetweenSends_data() { addTransports(); }
    void manyAnswersBetweenSends() {
        // Several requests in one telegram: the gateway answers each, and
        // everything lands in the buffer before the next send. A socket
        // keeps the newest 1024 bytes; the serial line keeps them all.
        QFETCH(QString, transport);
        QVERIFY(m_link->openConnection(settingsFor(transport)));
        QCOMPARE(exchange(SndNke120), hex("E5"));
        const QByteArray answer = exchange(ReqUd2_120);
        QVERIFY(!answer.isEmpty());
        // The same frame count bit again: each is answered by a repeat.
        const int count = int(Link::SocketBufferLimit / answer.size()) + 4;
        const QByteArray all = answer.repeated(count);
        QVERIFY(all.size() > Link::SocketBufferLimit);
        m_link->sendBytes(ReqUd2_120.repeated(count));
        const bool serial = transport == QLatin1String("pty");
        const auto received = [&] {
            return serial ? m_link->serialRxBuffer().size() : m_link->rxBuffer().size();
        };
        // Until the last answer's end is in and nothing followed for a while.
        qsizetype before = -1;
        for (int i = 0; i < 40 && before != received(); ++i) {
            before = received();
            m_link->waitFor([&] { return received() != before; }, 150);
        }
        if (serial) {
            QCOMPARE(m_link->serialRxBuffer().size(), all.size());
            QCOMPARE(m_link->serialRxBuffer(), all);
        } else {
            QCOMPARE(m_link->rxBuffer().size(), Link::SocketBufferLimit);
            QCOMPARE(m_link->rxBuffer(), all.right(Link::SocketBufferLimit));
        }
    }

    // ---- The serial console -------------------------------------------------------------

    void consoleRecordRead_data() {
        QTest::addColumn<QByteArray>("preset");
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<bool>("whole");
        const QByteArray header = hex("000000D0");
        QTest::newRow("header preset") << header << QByteArray("none") << true;
        QTest::newRow("one byte more") << header + hex("00") << QByteArray("none") << false;
        QTest::newRow("header cut short") << header.left(3) << QByteArray("none") << false;
        QTest::newRow("nothing preset") << QByteArray() << QByteArray("none") << false;
        QTest::newRow("bad line checks") << header << QByteArray("bad-line-check") << false;
    }
    void consoleRecordRead() {
        // The record read over the console must give the bytes the setup
        // port gives; lines only count when they continue the buffer.
        QFETCH(QByteArray, preset);
        QFETCH(QByteArray, fault);
        QFETCH(bool, whole);
        const QByteArray overUdp =
            udpExchange(hex("000000E0"), QStringLiteral("127.0.0.43"), 30718);
        QVERIFY(overUdp.size() >= 124);
        QCOMPARE(overUdp.left(4), hex("000000D0"));
        QCOMPARE(control("console p fault " + fault), QByteArray("ok"));

        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("console"));
        s.lineSettings = QStringLiteral("9600,N,8,1");
        QVERIFY2(m_link->openConnection(s), qPrintable(m_link->connectionError()));
        QVERIFY(m_link->waitForConsolePrompt(3000));

        m_link->clearSerialRxBuffer();
        m_link->setRxBuffer(preset);
        m_link->serialSend("G0\r");
        // The console ends the record with the end line and its prompt.
        const bool ended = m_link->waitFor(
            [&] {
                const QByteArray& text = m_link->serialRxBuffer();
                const qsizetype end = text.indexOf(":00000001FF");
                return end >= 0 && receive::containsConsolePrompt(text.mid(end));
            },
            3000);
        QVERIFY2(ended, m_link->serialRxBuffer().constData());
        if (whole)
            QCOMPARE(m_link->rxBuffer(), overUdp);
        else
            QCOMPARE(m_link->rxBuffer(), preset);
    }

    void consoleAwakeAnswersWakeUp() {
        // The wizard wakes the console before every console action, also
        // when an earlier one left it awake (a record read ends without
        // "QU"): the wake-up must bring the prompt again.
        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("console"));
        s.lineSettings = QStringLiteral("9600,N,8,1");
        QVERIFY(m_link->openConnection(s));
        QVERIFY(m_link->waitForConsolePrompt(3000));
        QVERIFY(m_link->waitForConsolePrompt(1000));
    }

    void consolePromptLimit() {
        QCOMPARE(control("console p fault silent"), QByteArray("ok"));
        QVERIFY(
            m_link->openSerialDevice(m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("console")),
                                     QStringLiteral("9600,N,8,1")));
        int rounds = 0;
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->waitForConsolePrompt(600, [&rounds](const QString&) { ++rounds; }));
        const qint64 waited = t.elapsed();
        QVERIFY(m_link->abortRequested());
        QVERIFY2(waited >= 600 && waited < 2000, qPrintable(QString::number(waited)));
        QVERIFY2(rounds >= 3, qPrintable(QString::number(rounds)));
        // The wake-up went out every round.
        QVERIFY(m_link->isSerialPortOpen());
    }

    void consolePromptAbort() {
        QCOMPARE(control("console p fault silent"), QByteArray("ok"));
        QVERIFY(
            m_link->openSerialDevice(m_sim->ptyLink(QStringLiteral("p"), QStringLiteral("console")),
                                     QStringLiteral("9600,N,8,1")));
        QTimer::singleShot(400, m_link.get(), [this] { m_link->requestAbort(); });
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_link->waitForConsolePrompt(-1));
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 380 && waited < 1200, qPrintable(QString::number(waited)));
        // Once the console speaks again, the wait succeeds.
        // (The silent console did wake up; "QU" puts it back to sleep.)
        QCOMPARE(control("console p fault none"), QByteArray("ok"));
        m_link->serialSend("QU\r");
        m_link->pause(150);
        QVERIFY(m_link->waitForConsolePrompt(3000));
    }
};

QTEST_GUILESS_MAIN(TestLinkSim)
#include "tst_linksim.moc"
