// kestrune-cli: the option parsers as data-driven cases, then the built
// program run with QProcess against UDP, TCP and pseudo-terminal peers that
// live in this test process (loopback only): replies, time-out notes, exit
// codes, bad input and the order of the traffic log lines.
#include "cli/CliContext.h"
#include "cli/MeterCommand.h"
#include "cli/SendCommand.h"
#include "mbus/DataRecords.h"
#include "tests/link/Peers.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;
using namespace kestrune::testpeer;

namespace {

// REQ_UD2 to address 1, SND_NKE to address FE.
const QByteArray ReqUd2 = QByteArray::fromHex("105B015C16");
// A complete long frame: 68 L L 68, L user bytes, checksum, 16.
const QByteArray LongFrame = QByteArray::fromHex("680303680801727B16");

using Result = programrun::Result;

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs the program while this process's event loop serves the peers.
    Result runCli(const QStringList& arguments, int limitMs = 15000) {
        return programrun::run(
            QStringLiteral(KESTRUNE_CLI_PATH), arguments,
            fixture::programEnvironment(m_dir.path(), m_dir.filePath(QStringLiteral("config"))),
            limitMs);
    }

    void writeIni(const QByteArray& contents) {
        QCOMPARE(fixture::writeFile(m_dir.filePath(QStringLiteral("Kestrune.INI")), contents),
                 QString());
    }

    static QStringList linkArgs(const QString& transport, const Peer& peer) {
        const LinkSettings s = peer.linkSettings();
        if (transport == QLatin1String("pty"))
            return {QStringLiteral("--serial"), s.serialDevice};
        return {QStringLiteral("--") + transport,
                s.host + QLatin1Char(':') + QString::number(s.port)};
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFile::exists(QStringLiteral(KESTRUNE_CLI_PATH)));
    }

    void init() {
        // Short reply time-outs so the time-out cases stay quick.
        writeIni("[IP]\r\nBusDelay=0\r\nBusTimeout=400\r\nOpenTimeout=2000\r\n");
    }

    // ---- parsers ------------------------------------------------------------------

    void hostPort_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addRow("v4") << "127.0.0.1:8001" << true << "127.0.0.1" << 8001;
        QTest::addRow("v6") << "[::1]:10001" << true << "::1" << 10001;
        QTest::addRow("highest port") << "127.0.0.2:65535" << true << "127.0.0.2" << 65535;
        QTest::addRow("port 0") << "127.0.0.1:0" << false << "" << 0;
        QTest::addRow("port too big") << "127.0.0.1:65536" << false << "" << 0;
        QTest::addRow("port sign") << "127.0.0.1:+80" << false << "" << 0;
        QTest::addRow("port text") << "127.0.0.1:http" << false << "" << 0;
        QTest::addRow("no port") << "127.0.0.1" << false << "" << 0;
        QTest::addRow("empty port") << "127.0.0.1:" << false << "" << 0;
        QTest::addRow("host name") << "gateway.local:8001" << true << "gateway.local" << 8001;
        QTest::addRow("host name, final dot") << "gateway.:8001" << true << "gateway." << 8001;
        QTest::addRow("blank in the name") << "gate way:8001" << false << "" << 0;
        QTest::addRow("empty label") << "gate..way:8001" << false << "" << 0;
        QTest::addRow("underscore") << "gate_way:8001" << false << "" << 0;
        QTest::addRow("empty host") << ":8001" << false << "" << 0;
        QTest::addRow("bad octet") << "127.0.0.256:8001" << false << "" << 0;
        QTest::addRow("broadcast") << "255.255.255.255:8001" << false << "" << 0;
        QTest::addRow("wildcard") << "0.0.0.0:8001" << false << "" << 0;
        QTest::addRow("multicast") << "239.1.1.1:8001" << false << "" << 0;
        QTest::addRow("v6 without brackets") << "::1:8001" << false << "" << 0;
    }
    void hostPort() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString error;
        const auto hp = cli::parseHostPort(text, error);
        QCOMPARE(hp.has_value(), ok);
        if (ok) {
            QCOMPARE(hp->host, host);
            QCOMPARE(int(hp->port), port);
        } else {
            QVERIFY(!error.isEmpty());
        }
    }

    void milliseconds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -1: refused
        QTest::addRow("zero") << "0" << 0;
        QTest::addRow("plain") << "3000" << 3000;
        QTest::addRow("one hour") << "3600000" << 3600000;
        QTest::addRow("above an hour") << "3600001" << -1;
        QTest::addRow("huge") << "99999999999" << -1;
        QTest::addRow("negative") << "-5" << -1;
        QTest::addRow("text") << "abc" << -1;
        QTest::addRow("trailing text") << "10ms" << -1;
        QTest::addRow("empty") << "" << -1;
    }
    void milliseconds() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QString error;
        const auto ms = cli::parseMilliseconds(text, error);
        QCOMPARE(ms.value_or(-1), expected);
    }

    void comNames_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::addRow("COM1") << "COM1" << 1;
        QTest::addRow("com16") << "com16" << 16;
        QTest::addRow("COM0") << "COM0" << -1;
        QTest::addRow("COM17") << "COM17" << -1;
        QTest::addRow("path") << "/dev/ttyUSB0" << 0;
        QTest::addRow("COMX") << "COMX" << 0;
    }
    void comNames() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(cli::comPortNumber(text), expected);
    }

    void telegrams_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("expected"); // null: refused
        QTest::addRow("pairs") << QStringList{"10", "5b", "FE", "59", "16"}
                               << QByteArray::fromHex("105BFE5916");
        QTest::addRow("one word") << QStringList{"105BFE5916"} << QByteArray::fromHex("105BFE5916");
        QTest::addRow("quoted") << QStringList{"10 5B FE"} << QByteArray::fromHex("105BFE");
        QTest::addRow("odd") << QStringList{"105"} << QByteArray();
        QTest::addRow("split pair") << QStringList{"1", "05"} << QByteArray();
        QTest::addRow("not hex") << QStringList{"1G"} << QByteArray();
        QTest::addRow("nothing") << QStringList{} << QByteArray();
    }
    void telegrams() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, expected);
        QString error;
        const auto bytes = cli::parseTelegram(args, error);
        QCOMPARE(bytes.has_value(), !expected.isNull());
        if (bytes)
            QCOMPARE(*bytes, expected);
        else
            QVERIFY(!error.isEmpty());
    }

    // ---- the program ----------------------------------------------------------------

    void help() {
        const Result r = runCli({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        for (const char* word :
             {"send HEX...", "--udp", "--tcp", "--serial", "--line", "--bus-delay", "--bus-timeout",
              "--open-timeout", "--ini", "--section", "--log"})
            QVERIFY2(r.out.contains(QLatin1String(word)), word);
    }

    void version() {
        const Result r = runCli({QStringLiteral("--version")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("kestrune-cli " KESTRUNE_VERSION));
    }

    // COMMAND --help is that command's help, not the program's.
    void commandHelp_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addRow("after the command") << QStringList{"send", "--help"};
        QTest::addRow("with link options") << QStringList{"--udp", "127.0.0.1:9", "send", "-h"};
    }
    void commandHelp() {
        QFETCH(QStringList, args);
        const Result r = runCli(args);
        QCOMPARE(r.exitCode, 0);
        const QString usage = r.out.section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(usage.endsWith(QLatin1String("[options] send HEX...")), qPrintable(usage));
        QVERIFY2(r.out.contains(QLatin1String("Send the bytes")), qPrintable(r.out));
        QVERIFY(r.out.contains(QLatin1String("--udp")));
        QVERIFY(r.out.contains(QLatin1String("Exit codes")));
        QVERIFY2(!r.out.contains(QLatin1String("Commands:")), qPrintable(r.out));
    }

    // The help says HOST:PORT, and the wizard's fields take names too.
    void hostNames_data() {
        QTest::addColumn<QString>("transport");
        QTest::addRow("udp") << "udp";
        QTest::addRow("tcp") << "tcp";
    }
    void hostNames() {
        QFETCH(QString, transport);
        const auto peer = makePeer(transport);
        QVERIFY(peer && peer->isValid());
        peer->setResponder([](const QByteArray&) { return QByteArray::fromHex("E5"); });
        const Result r = runCli({QStringLiteral("--") + transport,
                                 QStringLiteral("localhost:%1").arg(peer->linkSettings().port),
                                 QStringLiteral("send"), QStringLiteral("105B015C16")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("E5"));
        QCOMPARE(peer->received, ReqUd2);
    }

    // Bytes a device sent before this run (a late answer to the previous
    // run's request) are not this run's reply.
    void staleSerialBytesAreNoReply() {
        PtyPeer peer;
        QVERIFY(peer.isValid());
        peer.write(LongFrame);
        QThread::msleep(30);
        const Result r = runCli({QStringLiteral("--serial"), peer.path(), QStringLiteral("send"),
                                 QStringLiteral("105B015C16")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.trimmed(), QStringLiteral("BusTimeout"));
        QCOMPARE(peer.received, ReqUd2);
    }

    void replies_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QByteArray>("reply");
        for (const char* t : {"udp", "tcp", "pty"}) {
            QTest::addRow("%s E5", t) << t << QByteArray::fromHex("E5");
            QTest::addRow("%s long frame", t) << t << LongFrame;
        }
    }
    void replies() {
        QFETCH(QString, transport);
        QFETCH(QByteArray, reply);
        const auto peer = makePeer(transport);
        QVERIFY(peer && peer->isValid());
        peer->setResponder([reply](const QByteArray&) { return reply; });
        const Result r =
            runCli(linkArgs(transport, *peer) +
                   QStringList{QStringLiteral("send"), QStringLiteral("10 5B 01 5C 16")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QString::fromLatin1(reply.toHex(' ').toUpper()));
        QCOMPARE(peer->received, ReqUd2);
    }

    // The note is the one the link logs; the exit code tells it from a reply.
    void timeoutNotes_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("note");
        QTest::addRow("silence") << QByteArray() << "BusTimeout";
        QTest::addRow("two bytes") << QByteArray::fromHex("6803") << "BusTimeout (Received 2 byte)";
        QTest::addRow("E5 twice") << QByteArray::fromHex("E5E5") << "BusTimeout (Received 2 byte)";
        QTest::addRow("short frame")
            << QByteArray::fromHex("105B015C16") << "BusTimeout (Received only 5 of 6 bytes)";
        QTest::addRow("wrong checksum") << QByteArray::fromHex("680303680801727C16")
                                        << "BusTimeout (Received only 9 of 9 bytes)";
        QTest::addRow("too long") << LongFrame + QByteArray::fromHex("00")
                                  << "BusTimeout (Received to many bytes 10 of 9)";
    }
    void timeoutNotes() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, note);
        UdpPeer peer;
        QVERIFY(peer.isValid());
        peer.setResponder([answer](const QByteArray&) { return answer; });
        const Result r = runCli(linkArgs(QStringLiteral("udp"), peer) +
                                QStringList{QStringLiteral("send"), QStringLiteral("105B015C16")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.trimmed(), note);
    }

    void badInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString udp = QStringLiteral("--udp=127.0.0.1:9");
        QTest::addRow("odd hex") << QStringList{udp, "send", "105"} << "hexadecimal";
        QTest::addRow("not hex") << QStringList{udp, "send", "zz"} << "hexadecimal";
        QTest::addRow("no bytes") << QStringList{udp, "send"} << "no bytes";
        QTest::addRow("unknown option")
            << QStringList{"--frobnicate", "send", "E5"} << "frobnicate";
        QTest::addRow("unknown command") << QStringList{udp, "launch"} << "launch";
        QTest::addRow("no command") << QStringList{udp} << "no command";
        QTest::addRow("malformed host name")
            << QStringList{"--udp", "local..host:9", "send", "E5"} << "nor a host name";
        QTest::addRow("unknown section")
            << QStringList{udp, "--section", "Modbsu", "send", "E5"}
            << "accepted: IP, ModBus, MBusASCII, PadPuls, FreePacketAndString";
        QTest::addRow("speed no port offers")
            << QStringList{"--serial", "/dev/null", "--line", "2401,E,8,1", "send", "E5"}
            << "no serial port offers 2401 baud; the speeds are 50, 75, ";
        QTest::addRow("port 0") << QStringList{"--tcp", "127.0.0.1:0", "send", "E5"} << "65535";
        QTest::addRow("port 65536")
            << QStringList{"--tcp", "127.0.0.1:65536", "send", "E5"} << "65535";
        QTest::addRow("broadcast")
            << QStringList{"--udp", "255.255.255.255:9", "send", "E5"} << "one device";
        QTest::addRow("no link") << QStringList{"send", "E5"} << "--udp, --tcp or --serial";
        QTest::addRow("two links")
            << QStringList{udp, "--tcp", "127.0.0.1:9", "send", "E5"} << "only one";
        QTest::addRow("line without serial")
            << QStringList{udp, "--line", "9600,N,8,1", "send", "E5"} << "--line";
        QTest::addRow("bad line") << QStringList{"--serial",   "/dev/null", "--line",
                                                 "9600,X,8,1", "send",      "E5"}
                                  << "line setting";
        QTest::addRow("COM17") << QStringList{"--serial", "COM17", "send", "E5"} << "COM16";
        QTest::addRow("bad time-out")
            << QStringList{udp, "--bus-timeout", "soon", "send", "E5"} << "--bus-timeout";
        QTest::addRow("negative delay")
            << QStringList{udp, "--bus-delay=-1", "send", "E5"} << "--bus-delay";
        QTest::addRow("missing ini")
            << QStringList{udp, "--ini", "/nonexistent/K.INI", "send", "E5"}
            << "/nonexistent/K.INI";
    }
    void badInput() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Result r = runCli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty()); // results only; messages go to standard error
    }

    void linkThatCannotOpen_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::addRow("absent device")
            << QStringList{"--serial", "/nonexistent/ttyK", "send", "E5"} << "/nonexistent/ttyK";
    }
    void linkThatCannotOpen() {
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        const Result r = runCli(args);
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QLatin1String("could not be opened")), qPrintable(r.err));
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
    }

    void tcpRefused() {
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        } // closed again: nobody listens there now
        const Result r =
            runCli({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:") + QString::number(port),
                    QStringLiteral("send"), QStringLiteral("E5")});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QLatin1String("refused"), Qt::CaseInsensitive), qPrintable(r.err));
    }

    // COMn goes through the INI file's [SerialPorts] map, as in the wizard.
    void comNameUsesTheIniMap() {
        writeIni("[IP]\r\nBusTimeout=400\r\n[SerialPorts]\r\nCOM3=/nonexistent/ttyMapped\r\n");
        Result r = runCli({QStringLiteral("--serial"), QStringLiteral("com3"),
                           QStringLiteral("send"), QStringLiteral("E5")});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QLatin1String("/nonexistent/ttyMapped")), qPrintable(r.err));

        // ... and through a pseudo-terminal that the map names.
        PtyPeer peer;
        QVERIFY(peer.isValid());
        peer.setResponder([](const QByteArray&) { return QByteArray::fromHex("E5"); });
        writeIni("[SerialPorts]\r\nCOM3=" + peer.path().toLocal8Bit() + "\r\n");
        r = runCli({QStringLiteral("--serial"), QStringLiteral("COM3"), QStringLiteral("--line"),
                    QStringLiteral("9600,E,8,1"), QStringLiteral("send"), QStringLiteral("E5")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("E5"));
    }

    void tcpPeerCloseEndsTheWait() {
        TcpPeer peer;
        QVERIFY(peer.isValid());
        peer.setResponder([&peer](const QByteArray&) {
            QTimer::singleShot(0, &peer, [&peer] { peer.drop(); });
            return QByteArray();
        });
        writeIni("[IP]\r\nBusTimeout=10000\r\n");
        const Result r = runCli(linkArgs(QStringLiteral("tcp"), peer) +
                                QStringList{QStringLiteral("send"), QStringLiteral("105B015C16")});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.err.contains(QLatin1String("lost")), qPrintable(r.err));
        QVERIFY2(r.ms < 8000, qPrintable(QString::number(r.ms))); // not the 10 s time-out
    }

    // The traffic log goes to standard error, the transmission before its
    // reply; standard output keeps only the result.
    void logLinesInOrder_data() {
        QTest::addColumn<QString>("transport");
        QTest::addRow("udp") << "udp";
        QTest::addRow("tcp") << "tcp";
    }
    void logLinesInOrder() {
        QFETCH(QString, transport);
        const auto peer = makePeer(transport);
        QVERIFY(peer && peer->isValid());
        peer->setResponder([](const QByteArray&) { return LongFrame; });
        const Result r = runCli(linkArgs(transport, *peer) +
                                QStringList{QStringLiteral("--log"), QStringLiteral("send"),
                                            QStringLiteral("10 5B 01 5C 16")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.trimmed(), QStringLiteral("68 03 03 68 08 01 72 7B 16"));
        const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(QLatin1String(" -> 10 5B 01 5C 16 ")), qPrintable(lines[0]));
        QVERIFY2(lines[1].contains(QLatin1String(" <- 68 03 03 68 08 01 72 7B 16 ")),
                 qPrintable(lines[1]));
    }

    // --explain puts one line of words under every telegram, at the column
    // of its bytes; without --log it has nothing to add to.
    void logExplains() {
        UdpPeer peer;
        QVERIFY(peer.isValid());
        peer.setResponder([](const QByteArray&) { return LongFrame; });
        const QStringList send = {QStringLiteral("send"), QStringLiteral("10 5B 01 5C 16")};
        const Result r =
            runCli(linkArgs(QStringLiteral("udp"), peer) +
                   QStringList{QStringLiteral("--log"), QStringLiteral("--explain")} + send);
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1].trimmed(), QStringLiteral("REQ_UD2 FCB=0 to address 1"));
        QCOMPARE(lines[1].indexOf(QLatin1String("REQ_UD2")),
                 lines[0].indexOf(QLatin1String("10 5B")));
        QVERIFY2(lines[3].trimmed().startsWith(QLatin1String("RSP_UD from address 1")),
                 qPrintable(lines[3]));

        const Result alone = runCli(linkArgs(QStringLiteral("udp"), peer) +
                                    QStringList{QStringLiteral("--explain")} + send);
        QCOMPARE(alone.exitCode, 2);
        QVERIFY2(alone.err.contains(QLatin1String("--log")), qPrintable(alone.err));
    }

    void logShowsTheTimeoutNote() {
        UdpPeer peer;
        QVERIFY(peer.isValid());
        peer.setResponder([](const QByteArray&) { return QByteArray::fromHex("6803"); });
        const Result r = runCli(linkArgs(QStringLiteral("udp"), peer) +
                                QStringList{QStringLiteral("--log"), QStringLiteral("send"),
                                            QStringLiteral("105B015C16")});
        QCOMPARE(r.exitCode, 1);
        const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(QLatin1String(" -> 10 5B 01 5C 16")));
        QVERIFY(lines[1].endsWith(QLatin1String("    BusTimeout (Received 2 byte)")));
        QVERIFY(lines[2].contains(QLatin1String(" <- 68 03 ")));
    }

    // The reply time-out comes from the INI section, unless an option says
    // otherwise.
    void timeoutsFromTheIniFile_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addRow("IP section") << QStringList{} << 1200 << 6000;
        QTest::addRow("other section") << QStringList{"--section", "ModBus"} << 0 << 1100;
        QTest::addRow("option") << QStringList{"--bus-timeout", "100"} << 0 << 1100;
        QTest::addRow("ini option") << QStringList{"--ini", "OTHER"} << 0 << 1100;
        QTest::addRow("section only the file has") << QStringList{"--section", "lab"} << 0 << 1100;
        QTest::addRow("known section the file lacks")
            << QStringList{"--section", "padpuls", "--bus-timeout", "100"} << 0 << 1100;
    }
    void timeoutsFromTheIniFile() {
        QFETCH(QStringList, extra);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        writeIni(
            "[IP]\r\nBusTimeout=1500\r\n[modbus]\r\nbustimeout=100\r\n[Lab]\r\nBusTimeout=100\r\n");
        const QString other = m_dir.filePath(QStringLiteral("other.ini"));
        {
            QFile f(other);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("[IP]\nBusTimeout=100\n");
        }
        extra.replaceInStrings(QStringLiteral("OTHER"), other);
        UdpPeer peer; // says nothing
        QVERIFY(peer.isValid());
        const Result r = runCli(linkArgs(QStringLiteral("udp"), peer) + extra +
                                QStringList{QStringLiteral("send"), QStringLiteral("E5")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out.trimmed(), QStringLiteral("BusTimeout"));
        QVERIFY2(r.ms >= minMs && r.ms <= maxMs, qPrintable(QString::number(r.ms)));
    }

    void decode_data();
    void decode();
    void decodeJsonRecords_data();
    void decodeJsonRecords();
    void meterInput_data();
    void meterInput();
};

// decode: the identification row of a reply, as lines or one JSON object;
// no link is needed.
void TestCli::decode_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // standard output, or a part of standard error
    const QString abb = QStringLiteral(
        "68 98 98 68 08 01 72 12 34 56 78 42 04 02 02 45 00 00 00 0E 84 00 00 00 00 00 00 00 8E "
        "10 84 00 00 00 00 00 00 00 8E 20 84 00 00 00 00 00 00 00 8E B0 00 84 00 00 00 00 00 00 "
        "00 8E 80 10 84 00 00 00 00 00 00 00 8E 80 40 84 00 00 00 00 00 00 00 8E 90 40 84 00 00 "
        "00 00 00 00 00 8E A0 40 84 00 00 00 00 00 00 00 8E B0 40 84 00 00 00 00 00 00 00 8E 80 "
        "50 84 00 00 00 00 00 00 00 01 FF 93 00 00 0C FF 92 00 00 00 00 01 07 FD 97 00 00 00 00 "
        "00 00 00 00 00 01 FF 98 00 00 1F 75 16");
    const QString fixed = QStringLiteral(
        "68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00 3F 16");
    QTest::addRow("lines")
        << QStringList{"decode", "68 1B 1B 68 08 01 72 07 20 18 00 E6 1E 35 07 4C 00 00 00 0C 78 "
                                 "07 20 18 00 0C 16 69 02 00 00 96 16"}
        << 0
        << "Address         1\n"
           "Identification  00182007\n"
           "Manufacturer    GWF (1EE6h)\n"
           "Version         53 (35h)\n"
           "Medium          Water (07h)\n"
           "Device type     N/A\n"
           "\n"
           "Record  Function       Storage  Tariff  Subunit  Quantity            Value     Unit\n"
           "     1  Instantaneous        0       0        0  Fabrication number  00182007\n"
           "     2  Instantaneous        0       0        0  Volume              269       m^3\n";
    QTest::addRow("identification of the ABB") << QStringList{"decode", abb} << 0
                                               << "Address         1\n"
                                                  "Identification  78563412\n"
                                                  "Manufacturer    ABB (0442h)\n"
                                                  "Version         2 (02h)\n"
                                                  "Medium          Electricity (02h)\n"
                                                  "Device type     Delta\n\n";
    QTest::addRow("fixed structure as JSON")
        << QStringList{"decode", "--json", fixed} << 0
        << "{\"address\":\"1\",\"decoded\":true,\"deviceType\":\"Fixed\",\"fixedStructure\":"
           "true,\"identification\":\"90919293\",\"manufacturer\":\"N/A\",\"medium\":\"N/A\","
           "\"records\":[{\"function\":\"instantaneous\",\"qualifiers\":[],\"quantity\":"
           "\"energy\",\"storage\":0,\"subunit\":0,\"tariff\":0,\"unit\":\"Wh\",\"value\":"
           "6531000},{\"function\":\"instantaneous\",\"qualifiers\":[],\"quantity\":"
           "\"volume\",\"storage\":0,\"subunit\":0,\"tariff\":0,\"unit\":\"m^3\",\"value\":"
           "0.069}],\"recordsComplete\":true,\"version\":\"N/A\"}\n";
    QTest::addRow("no header") << QStringList{"decode", "--json",
                                              "68 08 08 68 08 09 72 78 56 34 "
                                              "12 01 98 16"}
                               << 0
                               << "{\"address\":\"\",\"decoded\":false,\"deviceType\":\"\","
                                  "\"fixedStructure\":false,\"identification\":\"\","
                                  "\"manufacturer\":\"\",\"medium\":\"\",\"records\":[],"
                                  "\"recordsComplete\":false,\"version\":\"\"}\n";
    QTest::addRow("acknowledgement") << QStringList{"decode", "E5"} << 2 << "acknowledgement";
    QTest::addRow("short frame") << QStringList{"decode", "10 5B 01 5C 16"} << 2
                                 << "not a long frame";
    QTest::addRow("wrong checksum")
        << QStringList{"decode", "68 03 03 68 08 01 72 7C 16"} << 2 << "checksum byte is 7C";
    QTest::addRow("cut short") << QStringList{"decode", "68 03 03 68 08 01 72 7B"} << 2
                               << "announces 9 bytes, but 8";
    QTest::addRow("odd hex") << QStringList{"decode", "68 0"} << 2 << "hexadecimal";
}

void TestCli::decode() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    const QString language = m_dir.filePath(QStringLiteral("Kestrune_Language.001"));
    if (!QFile::exists(language))
        QVERIFY(QFile::copy(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001"),
                            language));
    const Result r = runCli(args);
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode == 0 && QTest::currentDataTag() == QLatin1String("identification of the ABB"))
        QVERIFY2(r.out.startsWith(out), qPrintable(r.out)); // its records follow
    else if (exitCode == 0)
        QCOMPARE(r.out, out);
    else
        QVERIFY2(r.err.contains(out), qPrintable(r.err));
}

// decode --json gives every record of real captures with the decoder's
// stable names, numbers as JSON numbers and everything else as text; a
// reply whose last record runs past its end keeps the records before it.
void TestCli::decodeJsonRecords_data() {
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("complete");
    QFile f(QStringLiteral(KESTRUNE_SOURCE_DIR "/tests/data/mbus-frames.tsv"));
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList wanted = {
        "test-frames/ACW_Itron-BM-plus-m",      // dates, storage 1, manufacturer data
        "test-frames/ACW_Itron-CYBLE-M-Bus-14", // plain-text units
        "test-frames/landis+gyr_ultraheat_t230", "test-frames/kamstrup_382_005"};
    int found = 0;
    while (!f.atEnd()) {
        const QStringList cells = QString::fromUtf8(f.readLine()).split(QLatin1Char('\t'));
        if (cells.size() > 1 && wanted.contains(cells[0])) {
            QTest::addRow("%s", qPrintable(cells[0]))
                << cells[1] << !cells[0].startsWith(QLatin1String("error"));
            ++found;
        }
    }
    QCOMPARE(found, wanted.size());
    // A volume, then a second one of which only one data byte came.
    QTest::addRow("record past the end")
        << "68 18 18 68 08 01 72 78 56 34 12 42 04 02 04 2A 00 00 00 04 13 01 00 00 00 04 13 01 "
           "35 16"
        << false;
}

void TestCli::decodeJsonRecords() {
    QFETCH(QString, hex);
    const Result r = runCli(QStringList{QStringLiteral("decode"), QStringLiteral("--json")} +
                            hex.split(QLatin1Char(' ')));
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QTEST(o.value(QStringLiteral("recordsComplete")).toBool(), "complete");
    const QJsonArray records = o.value(QStringLiteral("records")).toArray();
    const mbus::RecordDecoding d =
        mbus::decodeRecords(QByteArray::fromHex(hex.toLatin1().replace(' ', "")));
    QVERIFY(!d.records.empty());
    QCOMPARE(records.size(), static_cast<qsizetype>(d.records.size()));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QJsonObject j = records[i].toObject();
        const mbus::DataRecord& e = d.records[static_cast<size_t>(i)];
        QCOMPARE(j.value(QStringLiteral("function")).toString(), mbus::functionId(e.function));
        QCOMPARE(j.value(QStringLiteral("quantity")).toString(), mbus::quantityId(e.quantity));
        QCOMPARE(j.value(QStringLiteral("storage")).toDouble(), static_cast<double>(e.storage));
        QCOMPARE(j.value(QStringLiteral("tariff")).toDouble(), static_cast<double>(e.tariff));
        QCOMPARE(j.value(QStringLiteral("subunit")).toDouble(), static_cast<double>(e.subunit));
        QCOMPARE(j.value(QStringLiteral("unit")).toString(), e.unit);
        const QJsonValue v = j.value(QStringLiteral("value"));
        if (e.kind == mbus::ValueKind::Number)
            QCOMPARE(v.toDouble(), e.number);
        else
            QCOMPARE(v.toString(), e.text);
    }
}

// What meter makes of its words and options before any link is opened.
void TestCli::meterInput_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("secondary");
    QTest::addColumn<QString>("options"); // i always-init, r always-reset, f fabrication, s subcode
    QTest::addColumn<QString>("result");  // feature|A|N|speed|reset|sec, or the error's words

    const auto row = [](const char* name, const QStringList& words, const char* address,
                        const char* secondary, const char* options, const char* result) {
        QTest::addRow("%s", name) << words << QString::fromLatin1(address)
                                  << QString::fromLatin1(secondary) << QString::fromLatin1(options)
                                  << QString::fromLatin1(result);
    };
    row("read", {"read"}, "5", "", "", "1|5||-1|0|");
    row("set-address", {"set-address", "250"}, "5", "", "", "2|5|250|-1|0|");
    row("set-speed 9600", {"set-speed", "9600"}, "5", "", "", "3|5||5|0|");
    row("app-reset 15", {"app-reset", "15"}, "5", "", "", "5|5||-1|16|");
    row("app-reset without subcode", {"app-reset"}, "254", "", "", "5|254||-1|0|");
    row("diag with reset 0", {"diag"}, "5", "", "irs", "4|5||-1|1|");
    row("secondary", {"read"}, "", "12*4.0442..07", "", "1|||-1|0|12*4,0442,,07");
    row("secondary with fabrication", {"init"}, "", "1", "f", "0|||-1|0|1,,,");

    row("no operation", {}, "5", "", "", "name the operation");
    row("unknown operation", {"launch"}, "5", "", "", "unknown operation");
    row("address 251", {"set-address", "251"}, "5", "", "", "0 to 250");
    row("speed 19200", {"set-speed", "19200"}, "5", "", "", "300, 600");
    row("subcode 16", {"app-reset", "16"}, "5", "", "", "0 to 15");
    row("no meter", {"read"}, "", "", "", "name the meter");
    row("two meters", {"read"}, "5", "1234", "", "only one");
    row("address 256", {"read"}, "256", "", "", "0 to 255");
    row("secondary letters", {"read"}, "", "12x4", "", "wildcards");
    row("secondary parts", {"read"}, "", "1.2.3.4.5", "", "four parts");
    row("always-init on init", {"init"}, "5", "", "i", "does not go with init");
    row("always-init with secondary", {"read"}, "", "1", "i", "end the selection");
    row("always-reset on read", {"read"}, "5", "", "r", "diag only");
    row("fabrication without secondary", {"read"}, "5", "", "f", "goes with --secondary");
    row("subcode without reset", {"read"}, "5", "", "s", "--subcode goes with");
}

void TestCli::meterInput() {
    QFETCH(QStringList, words);
    QFETCH(QString, address);
    QFETCH(QString, secondary);
    QFETCH(QString, options);
    QFETCH(QString, result);
    QString error;
    const auto in = cli::meterApplyInput(
        words, address, secondary,
        options.contains(QLatin1Char('f')) ? QStringLiteral("1234") : QString(),
        options.contains(QLatin1Char('i')), options.contains(QLatin1Char('r')),
        options.contains(QLatin1Char('s')) ? QStringLiteral("0") : QString(), error);
    if (!in) {
        QVERIFY2(error.contains(result), qPrintable(error));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString sec =
        in->secondary
            ? QStringList{in->secId, in->secManufacturer, in->secVersion, in->secMedium}.join(
                  QLatin1Char(','))
            : QString();
    QCOMPARE(
        QStringList({QString::number(in->feature), in->address, in->newAddress,
                     QString::number(in->lineSpeedIndex), QString::number(in->resetIndex), sec})
            .join(QLatin1Char('|')),
        result);
    QCOMPARE(in->enhanced, options.contains(QLatin1Char('f')));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
