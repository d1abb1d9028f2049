// Modbus reads against the real simulator: both framings over TCP, UDP and
// the slave's serial line, the replies its fault switches spoil, the
// transaction counter's wrap, the serial line check, registers set from the
// installation file and the control port, the serial line's time, and
// kestrune-cli's modbus read run as a program. Addresses 127.0.0.140-149 only.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "modbus/ModbusClient.h"
#include "modbus/RegisterSheet.h"
#include "tests/link/Peers.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimControl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

const QString Host = QStringLiteral("127.0.0.140");
constexpr quint16 TcpFramingPort = 24140;
constexpr quint16 RtuFramingPort = 24141;
constexpr quint16 ControlPort = 24149;

const char Installation[] = R"([simulator]
listen = 127.0.0.149:24148
control-port = 24149
tag-files = no

[gateway gw]
family = K1
address = 127.0.0.140
console = no
mbus-master = no
modbus = yes
modbus-tcp-port = 24140
modbus-rtu-tcp-port = 24141
modbus-udp-port = 24140
modbus-rtu-udp-port = 24141
modbus-busy = 500 10
modbus-line = 9600,N,8,1
modbus-holding = 100 4120 0000 FF38 0000 0000 0001 E240 4B32 2D53 696D

[gateway slow]
mac = 00-20-4A-00-00-02
family = K1
address = 127.0.0.142
console = no
mbus-master = no
modbus = yes
modbus-line = 2400,N,8,1
modbus-holding = 100 4120 0000 FF38 0000 0000 0001 E240 4B32 2D53 696D
)";

// The sheet's automatic-numbering example: FLOAT, INT16, UINT64, CHAR6 from
// register 100, ten registers.
ReadParameters example(Framing framing) {
    ReadParameters p;
    p.framing = framing;
    p.first = 100;
    p.count = 10;
    return p;
}

} // namespace

class TestModbusSim : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<simproc::SimProcess> m_sim;
    std::unique_ptr<Link> m_link;

    bool open(const QString& transport, Framing framing,
              const QString& line = QStringLiteral("9600,N,8,1")) {
        m_link->closeConnection();
        LinkSettings s;
        if (transport == QLatin1String("pty")) {
            s.mode = ConnectionMode::Serial;
            s.serialDevice = m_sim->ptyLink(QStringLiteral("gw"), QStringLiteral("modbus rtu"));
            s.lineSettings = line;
        } else {
            s.mode = transport == QLatin1String("udp") ? ConnectionMode::Udp : ConnectionMode::Tcp;
            s.host = Host;
            s.port = framing == Framing::Tcp ? TcpFramingPort : RtuFramingPort;
        }
        return m_link->openConnection(s);
    }

    static QByteArray control(const QByteArray& command) {
        return simproc::control(ControlPort, command, 2000);
    }

    programrun::Result cli(const QStringList& arguments) {
        return programrun::run(
            QStringLiteral(KESTRUNE_CLI_PATH), arguments,
            fixture::programEnvironment(m_dir.path(), m_dir.filePath(QStringLiteral("config"))),
            10000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // In-process the build folder; for kestrune-cli a program folder laid
        // out as the demo does.
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
        QVERIFY(fixture::loadLanguage());
        for (const QString& name : fixture::programFiles())
            QVERIFY(
                QFile::copy(QStringLiteral(KESTRUNE_BINARY_DIR "/") + name, m_dir.filePath(name)));
        QCOMPARE(fixture::writeFile(m_dir.filePath(QStringLiteral("Kestrune.INI")),
                                    "[ModBus]\r\nBusDelay=0\r\nBusTimeout=500\r\n"),
                 QString());
        m_sim = std::make_unique<simproc::SimProcess>();
        QVERIFY2(m_sim->startIn(m_dir.path(), Installation), m_sim->errors.constData());
        m_link = std::make_unique<Link>();
        m_link->setBusDelay(0);
        m_link->setBusTimeout(400);
    }

    void cleanupTestCase() {
        m_link.reset();
        if (m_sim) {
            QCOMPARE(m_sim->stopCleanly(), QString());
        }
    }

    void init() { control("modbus gw fault none"); }

    void transports_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("framing");
        QTest::addRow("TCP framing over TCP") << "tcp" << int(Framing::Tcp);
        QTest::addRow("RTU over TCP") << "tcp" << int(Framing::Rtu);
        QTest::addRow("RTU over UDP") << "udp" << int(Framing::Rtu);
        QTest::addRow("TCP framing over UDP") << "udp" << int(Framing::Tcp);
        QTest::addRow("RTU over the serial line") << "pty" << int(Framing::Rtu);
    }
    void transports() {
        QFETCH(QString, transport);
        QFETCH(int, framing);
        QVERIFY(open(transport, Framing(framing)));
        const int32_t responses = trafficLog().responseCount();
        ModbusClient client(*m_link);
        const ReadResult r = client.read(example(Framing(framing)));
        QCOMPARE(r.text, QStringLiteral("Ok"));
        QCOMPARE(r.tone, Tone::Success);
        QCOMPARE(trafficLog().responseCount(), responses + 1);

        RegisterSheet sheet;
        sheet.setAutoRegister(true);
        sheet.setFirstText(QStringLiteral("100"));
        sheet.setCountText(QStringLiteral("10"));
        for (int row = 0; row < 4; ++row)
            sheet.chooseType(row, std::array{6, 0, 5, 10}[size_t(row)]);
        sheet.applyReadResult(r);
        QCOMPARE(sheet.row(0).valueText, QStringLiteral("10.000000"));
        QCOMPARE(sheet.row(1).valueText, QStringLiteral("-200"));
        QCOMPARE(sheet.row(2).valueText, QStringLiteral("123456"));
        QCOMPARE(sheet.row(3).valueText, QStringLiteral("K2-Sim"));
    }

    void spoiledReplies_data() {
        QTest::addColumn<QByteArray>("fault");
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("text");
        QTest::addRow("CRC") << QByteArray("bad-check") << int(Framing::Rtu) << 100
                             << int(Outcome::BadCrc) << "Bad Crc";
        QTest::addRow("transaction id")
            << QByteArray("wrong-id") << int(Framing::Tcp) << 100
            << int(Outcome::WrongTransactionId) << "Wrong Transaction identifier";
        QTest::addRow("partial reply") << QByteArray("truncated") << int(Framing::Rtu) << 100
                                       << int(Outcome::Timeout) << "BusTimeout (Received 8 bytes)";
        QTest::addRow("exception")
            << QByteArray("none") << int(Framing::Rtu) << 500 << int(Outcome::Exception)
            << "Modbuserror 06: Slave device or server is busy";
        QTest::addRow("exception and more bytes")
            << QByteArray("extra") << int(Framing::Rtu) << 500 << int(Outcome::Timeout)
            << "BusTimeout (Received 7 bytes)";
    }
    void spoiledReplies() {
        QFETCH(QByteArray, fault);
        QFETCH(int, framing);
        QFETCH(int, first);
        QFETCH(int, outcome);
        QFETCH(QString, text);
        QCOMPARE(control("modbus gw fault " + fault + " 1"), QByteArray("ok"));
        QVERIFY(open(QStringLiteral("tcp"), Framing(framing)));
        ModbusClient client(*m_link);
        ReadParameters p = example(Framing(framing));
        p.first = first;
        p.count = 2;
        const int32_t failures = trafficLog().failureCount();
        const ReadResult r = client.read(p);
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(r.text, text);
        QVERIFY(!r.registersValid || r.outcome == Outcome::Exception);
        if (r.outcome == Outcome::Timeout || r.outcome == Outcome::Exception)
            QCOMPARE(trafficLog().failureCount(), failures + 1);
    }

    void hundredFirstTcpRequestUsesZero() {
        QVERIFY(open(QStringLiteral("tcp"), Framing::Tcp));
        TransactionCounter counter;
        ModbusClient client(*m_link, counter);
        ReadParameters p = example(Framing::Tcp);
        p.count = 2;
        ReadResult r;
        for (int i = 1; i <= 101; ++i) {
            r = client.read(p);
            QCOMPARE(r.outcome, Outcome::Ok);
        }
        QCOMPARE(r.sent.left(2), QByteArray(2, '\0'));
        QCOMPARE(r.reply.left(2), QByteArray(2, '\0'));
    }

    // A timer tick or a click handled inside the wait (the continuous poll
    // pressing Read) starts no second exchange on the link.
    void noSecondReadWhileOneWaits() {
        QCOMPARE(control("modbus gw fault no-reply 1"), QByteArray("ok"));
        QVERIFY(open(QStringLiteral("tcp"), Framing::Tcp));
        ModbusClient client(*m_link);
        ModbusClient other(*m_link);
        QList<Outcome> inside;
        QTimer::singleShot(50, this, [&] {
            inside << client.read(example(Framing::Tcp)).outcome
                   << other.read(example(Framing::Tcp)).outcome;
        });
        QCOMPARE(client.read(example(Framing::Tcp)).outcome, Outcome::Timeout);
        QCOMPARE(inside, QList<Outcome>({Outcome::Busy, Outcome::Busy}));
        QVERIFY(!client.isBusy());
    }

    void linkLostDuringTheWait() {
        testpeer::TcpPeer peer;
        peer.setResponder([&peer](const QByteArray&) {
            QTimer::singleShot(0, &peer, [&peer] { peer.drop(); });
            return QByteArray::fromHex("0001");
        });
        m_link->closeConnection();
        QVERIFY(m_link->openConnection(peer.linkSettings()));
        ModbusClient client(*m_link);
        const ReadResult r = client.read(example(Framing::Tcp));
        QCOMPARE(r.outcome, Outcome::LinkLost);
        QVERIFY2(r.text.startsWith(getText(1028) + QLatin1Char(' ')), qPrintable(r.text));
        QCOMPARE(r.reply, QByteArray::fromHex("0001"));
        QCOMPARE(client.read(example(Framing::Tcp)).outcome, Outcome::NotOpen);
    }

    void serialLineMustMatch_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("answered");
        QTest::addRow("as configured") << "9600,N,8,1" << true;
        QTest::addRow("other speed") << "2400,N,8,1" << false;
        QTest::addRow("two stop bits") << "9600,N,8,2" << false;
        QTest::addRow("odd parity") << "9600,O,8,1" << false;
    }
    void serialLineMustMatch() {
        QFETCH(QString, line);
        QFETCH(bool, answered);
        QVERIFY(open(QStringLiteral("pty"), Framing::Rtu, line));
        ModbusClient client(*m_link);
        const ReadResult r = client.read(example(Framing::Rtu));
        QCOMPARE(r.outcome, answered ? Outcome::Ok : Outcome::Timeout);
        if (!answered)
            QCOMPARE(r.text, QStringLiteral("BusTimeout (Received 0 bytes)"));
    }

    // On its serial line the slave answers at the line's speed, 10 bits a
    // character at 2400,N,8,1: the 8-byte request takes 34 ms on the line,
    // the end-of-frame silence 15 ms, the 25-byte reply 105 ms.
    void serialReplyTakesTheLineTime() {
        m_link->closeConnection();
        // A link of its own: after the odd-parity read the shared link's
        // port is still heard as odd parity (its flag survives the reopen
        // at no parity, and the pseudo-terminal shows only that flag).
        Link link;
        link.setBusDelay(0);
        link.setBusTimeout(400);
        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = m_sim->ptyLink(QStringLiteral("slow"), QStringLiteral("modbus rtu"));
        s.lineSettings = QStringLiteral("2400,N,8,1");
        QVERIFY(link.openConnection(s));
        ModbusClient client(link);
        QElapsedTimer clock;
        clock.start();
        const ReadResult r = client.read(example(Framing::Rtu));
        const qint64 took = clock.elapsed();
        QVERIFY2(r.outcome == Outcome::Ok, qPrintable(r.text));
        QCOMPARE(r.registers.size(), 20);
        QVERIFY2(took >= 150 && took < 380, qPrintable(QString::number(took)));
    }

    void registersFromTheControlPort() {
        QCOMPARE(control("modbus gw input 7 BEEF"), QByteArray("ok"));
        QVERIFY(control("modbus gw input 7 BEEFF").startsWith("error: "));
        QVERIFY(open(QStringLiteral("udp"), Framing::Tcp));
        ModbusClient client(*m_link);
        ReadParameters p{Framing::Tcp, 1, 4, 7, 1};
        const ReadResult r = client.read(p);
        QCOMPARE(r.registers, QByteArray::fromHex("BEEF"));
    }

    void cliRead_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("lines");
        const QStringList link = {QStringLiteral("--tcp"),     QStringLiteral("127.0.0.140:24140"),
                                  QStringLiteral("modbus"),    QStringLiteral("read"),
                                  QStringLiteral("--framing"), QStringLiteral("tcp")};
        QTest::addRow("FLOAT") << link + QStringList{"--first", "100",    "--count",
                                                     "3",       "--type", "float"}
                               << 0
                               << QStringList{"Ok", "register  bytes      value",
                                              "100       4120 0000  10.000000", "102       FF38",
                                              // the reply ends inside the second value
                                              "note"};
        QTest::addRow("every order") << link + QStringList{"--first", "100",   "--count", "2",
                                                           "--type",  "FLOAT", "--order", "all"}
                                     << 0
                                     << QStringList{"Ok", "register  bytes      ABCD       DCBA",
                                                    "100       4120 0000  10.000000  0.000000"};
        QTest::addRow("exception") << link + QStringList{"--first", "505"} << 4
                                   << QStringList{"Modbuserror 06: Slave device or server is busy"};
        QTest::addRow("count beyond the word")
            << link + QStringList{"--count", "65536"} << 2 << QStringList();
        QTest::addRow("order the type lacks")
            << link + QStringList{"--type", "INT64", "--order", "CDAB"} << 2 << QStringList();
    }
    void cliRead() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QStringList, lines);
        const programrun::Result run = cli(arguments);
        QCOMPARE(run.exitCode, code);
        for (const QString& line : lines)
            QVERIFY2(run.out.contains(line), qPrintable(run.out));
    }

    void cliJson() {
        const programrun::Result run =
            cli({"--udp", "127.0.0.140:24141", "modbus", "read", "--first", "100", "--count", "2",
                 "--type", "INT16", "--order", "BA", "--json"});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o[QStringLiteral("outcome")].toString(), QStringLiteral("ok"));
        QCOMPARE(o[QStringLiteral("framing")].toString(), QStringLiteral("rtu"));
        QCOMPARE(o[QStringLiteral("registers")].toString(), QStringLiteral("41 20 00 00"));
        const QJsonArray values = o[QStringLiteral("values")].toArray();
        QCOMPARE(values.size(), 2);
        QCOMPARE(values[0].toObject()[QStringLiteral("value")].toString(), QStringLiteral("8257"));
    }
};

QTEST_GUILESS_MAIN(TestModbusSim)
#include "tst_modbussim.moc"
