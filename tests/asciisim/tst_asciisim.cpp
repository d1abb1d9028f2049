// The ASCII protocol client against the real simulator program, over UDP,
// TCP and the ASCII server's pseudo-terminal, as the wizard and the command
// line reach a gateway: values in both variants, every error letter the
// simulator gives, replies in pieces, time-outs with partial bytes, the busy
// guard, the tag files of the run folder, and kestrune-cli on the same
// simulator. One simulator on 127.0.0.150 (ports 2615x) for the whole case.
#include "ascii/AsciiClient.h"
#include "ascii/TagFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "sim/devices/SimAsciiServer.h"
#include "tests/link/Transports.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimControl.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;
using kestrune::testpeer::addTransports;
using simproc::SimProcess;

namespace {

const QString kHost = QStringLiteral("127.0.0.150");
constexpr quint16 kTcpPort = 26150;
constexpr quint16 kUdpPort = 26151;
constexpr quint16 kControlPort = 26159;
constexpr int kStation = 5;

// The tag server answers station 5 and says X to any other; its serial line
// answers at the line's speed.
const char kConfig[] = R"(# ASCII client test installation
[simulator]
listen = 127.0.0.159:26158
control-port = 26159
tag-files = yes

[gateway gw]
family = K1
serial = 0x150150
address = 127.0.0.150
mbus-port = 26152
console = no
mbus-master = no
ascii = yes
ascii-station = 5
ascii-tcp-port = 26150
ascii-udp-port = 26151
ascii-reply-other-station = yes
)";

QByteArray control(const QByteArray& command) {
    return simproc::control(kControlPort, command);
}

QList<QByteArray> simTagNames() {
    QList<QByteArray> names;
    for (const sim::AsciiTag& t : sim::defaultAsciiTags())
        names << t.name;
    return names;
}

using CliRun = programrun::Result;

} // namespace

class TestAsciiSim : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<ascii::Client> m_client;

    LinkSettings settingsFor(const QString& transport) const {
        LinkSettings s;
        s.host = kHost;
        if (transport == QLatin1String("udp")) {
            s.mode = ConnectionMode::Udp;
            s.port = kUdpPort;
        } else if (transport == QLatin1String("tcp")) {
            s.mode = ConnectionMode::Tcp;
            s.port = kTcpPort;
        } else {
            s.mode = ConnectionMode::Serial;
            s.serialDevice = serialPath();
            s.lineSettings = QStringLiteral("9600,N,8,1");
        }
        return s;
    }

    QString serialPath() const {
        return m_sim->ptyLink(QStringLiteral("gw"), QStringLiteral("ascii serial"));
    }

    QStringList cliLink(const QString& transport) const {
        if (transport == QLatin1String("udp"))
            return {QStringLiteral("--udp"),
                    kHost + QStringLiteral(":") + QString::number(kUdpPort)};
        if (transport == QLatin1String("tcp"))
            return {QStringLiteral("--tcp"),
                    kHost + QStringLiteral(":") + QString::number(kTcpPort)};
        return {QStringLiteral("--serial"), serialPath()};
    }

    void open(const QString& transport) {
        QVERIFY2(m_link->openConnection(settingsFor(transport)),
                 qPrintable(m_link->connectionError()));
    }

    ascii::ReadResult read(const QByteArray& tag, int protocol = 1,
                           const QString& station = QString::number(kStation)) {
        return m_client->read({protocol, station, tag});
    }

    QString tagFilePath(int layout) const {
        const QString l =
            m_sim->lineStarting(QStringLiteral("gateway gw ascii tag-file layout %1 ").arg(layout));
        return l.section(QLatin1Char(' '), 6);
    }

    // Runs the program while this process's event loop keeps going.
    CliRun runCli(const QStringList& arguments) {
        return programrun::run(
            QStringLiteral(KESTRUNE_BINARY_DIR "/kestrune-cli"), arguments,
            fixture::programEnvironment(m_dir.path(), m_dir.filePath(QStringLiteral("config"))),
            15000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        fixture::useProgramDir(m_dir.path(), m_dir.filePath(QStringLiteral("config")));
        QVERIFY(fixture::loadLanguage());
        m_sim = std::make_unique<SimProcess>();
        QVERIFY2(m_sim->startIn(m_dir.path(), kConfig), m_sim->errors.constData());
        QVERIFY(!serialPath().isEmpty());
    }

    void cleanupTestCase() {
        m_client.reset();
        m_link.reset();
        if (m_sim)
            QCOMPARE(m_sim->stopCleanly(), QString());
    }

    void init() {
        m_link = std::make_unique<Link>();
        m_link->setBusDelay(0);
        m_link->setBusTimeout(1500);
        m_link->setOpenTimeout(2000);
        m_client = std::make_unique<ascii::Client>(m_link.get());
        trafficLog().setActive(true);
        trafficLog().setMaxLines(10000);
        trafficLog().clear();
        trafficLog().resetStats();
    }

    void cleanup() {
        // Late pieces of a reply that timed out must not reach the next test.
        if (m_link)
            m_link->pause(50);
        m_client.reset();
        m_link.reset();
        QCOMPARE(control("ascii gw pieces 0"), QByteArray("ok"));
        QCOMPARE(control("ascii gw fault none"), QByteArray("ok"));
        QCOMPARE(control("ascii gw error - 0"), QByteArray("ok"));
    }

    // ---- Values -----------------------------------------------------------------------

    void values_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<QByteArray>("value");
        for (const char* t : {"udp", "tcp", "pty"}) {
            for (int protocol = 0; protocol < 2; ++protocol) {
                QTest::addRow("%s, variant %d", t, protocol)
                    << QString::fromLatin1(t) << protocol << QByteArray("Meter1.Heat_Energy.Value")
                    << QByteArray("12345.678");
            }
            QTest::addRow("%s, text value", t)
                << QString::fromLatin1(t) << 1 << QByteArray("Gateway.Info.Name")
                << QByteArray("Kestrune gateway simulator");
        }
    }
    void values() {
        QFETCH(QString, transport);
        QFETCH(int, protocol);
        QFETCH(QByteArray, tag);
        QFETCH(QByteArray, value);
        open(transport);
        const ascii::ReadResult r = read(tag, protocol);
        QCOMPARE(int(r.status), int(ascii::ReadStatus::Value));
        QCOMPARE(r.value, value);
        QCOMPARE(r.text, QStringLiteral("Ok"));
        QVERIFY(r.tone == ResultTone::Success);
        QCOMPARE(r.sequence, 1);
        QCOMPARE(trafficLog().responseCount(), 1);
        QCOMPARE(trafficLog().failureCount(), 0);
        // The request, then the reply, in the log.
        const QString log = trafficLog().lines().join(QLatin1Char('\n'));
        const qsizetype sent = log.indexOf(QStringLiteral(" -> "));
        const qsizetype got = log.indexOf(QStringLiteral(" <- "));
        QVERIFY2(sent >= 0 && got > sent, qPrintable(log));
        // The sequence runs on.
        QCOMPARE(read(tag, protocol).sequence, 2);
    }

    // ---- Error replies ----------------------------------------------------------------

    void errors_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QByteArray>("inject"); // control command, or empty
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sentStation");
        struct Row {
            const char* name;
            const char* inject;
            QByteArray tag;
            const char* station;
            const char* text;
            int sent;
        };
        const Row rows[] = {
            {"I unknown tag", "", "No.Such.Tag", "5", "Error I: Can't find Item ID", 5},
            {"T dead meter", "", "Meter4.Heat_Energy.Value", "5", "Error T: Timeout slave port", 5},
            {"L long tag", "", QByteArray(65, 'x'), "5", "Error L: Bad Length", 5},
            {"X station 150 sent as 99", "", "Meter1.Volume.Value", "150",
             "Error X: Internal use for wrong multi drop address", 99},
            {"X station -3 sent as 0", "", "Meter1.Volume.Value", "-3",
             "Error X: Internal use for wrong multi drop address", 0},
            {"C", "C", "Meter1.Volume.Value", "5", "Error C: Crc fault", 5},
            {"D", "D", "Meter1.Volume.Value", "5", "Error D: Wrong data type (Must be VT_BSTR)", 5},
            {"M", "M", "Meter1.Volume.Value", "5", "Error M: Timeout master port", 5},
            {"N", "N", "Meter1.Volume.Value", "5", "Error N: No complete request message", 5},
            {"O", "O", "Meter1.Volume.Value", "5", "Error O: To many read items", 5},
            {"S", "S", "Meter1.Volume.Value", "5", "Error S: No start character", 5},
            {"V", "V", "Meter1.Volume.Value", "5", "Error V: Validation (Write value out of range)",
             5},
            {"unknown letter", "Z", "Meter1.Volume.Value", "5", "Unknown AsciiError", 5},
            {"lower-case letter", "x", "Meter1.Volume.Value", "5", "Unknown AsciiError", 5},
        };
        for (const char* t : {"udp", "tcp", "pty"}) {
            for (const Row& row : rows) {
                const QByteArray inject =
                    *row.inject ? QByteArray("ascii gw error ") + row.inject + " 1" : QByteArray();
                QTest::addRow("%s, %s", t, row.name) << QString::fromLatin1(t) << inject << row.tag
                                                     << QString::fromLatin1(row.station)
                                                     << QString::fromLatin1(row.text) << row.sent;
            }
        }
    }
    void errors() {
        QFETCH(QString, transport);
        QFETCH(QByteArray, inject);
        QFETCH(QByteArray, tag);
        QFETCH(QString, station);
        QFETCH(QString, text);
        QFETCH(int, sentStation);
        if (!inject.isEmpty())
            QCOMPARE(control(inject), QByteArray("ok"));
        open(transport);
        const ascii::ReadResult r = read(tag, 1, station);
        QCOMPARE(int(r.status), int(ascii::ReadStatus::DeviceError));
        QCOMPARE(r.text, text);
        QVERIFY(r.tone == ResultTone::DeviceError);
        QCOMPARE(r.station, sentStation);
        QCOMPARE(r.request.mid(5, 2), QByteArray::number(sentStation).rightJustified(2, '0'));
        // A nine-character error reply shows its letter in the value box.
        QCOMPARE(r.reply.size(), 9);
        QCOMPARE(r.value, QByteArray(1, r.errorCode));
        QCOMPARE(trafficLog().failureCount(), 1);
        QCOMPARE(trafficLog().responseCount(), 0);
        QVERIFY(trafficLog().lines().join(QLatin1Char('\n')).contains(text));
    }

    // ---- Replies in pieces and time-outs ----------------------------------------------

    void pieces_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray full = "\x06"
                                "010105987.654" +
                                ascii::checksumText("010105987.654") + "\x03";
        for (const char* t : {"udp", "tcp", "pty"}) {
            const QString tr = QString::fromLatin1(t);
            QTest::addRow("%s, ACK first, ETX later", t)
                << tr << QByteArray("ascii gw pieces 200") << 1500 << int(ascii::ReadStatus::Value)
                << "Ok" << full;
            QTest::addRow("%s, time-out after the ACK", t)
                << tr << QByteArray("ascii gw pieces 600") << 250 << int(ascii::ReadStatus::Timeout)
                << "BusTimeout (Received 1 bytes)" << QByteArray("\x06");
            QTest::addRow("%s, reply without its ETX", t)
                << tr << QByteArray("ascii gw fault truncated 1") << 250
                << int(ascii::ReadStatus::Timeout)
                << QStringLiteral("BusTimeout (Received %1 bytes)").arg(full.size() - 1)
                << full.left(full.size() - 1);
            QTest::addRow("%s, no reply", t) << tr << QByteArray("ascii gw fault no-reply 1") << 250
                                             << int(ascii::ReadStatus::Timeout)
                                             << "BusTimeout (Received 0 bytes)" << QByteArray();
        }
    }
    void pieces() {
        QFETCH(QString, transport);
        QFETCH(QByteArray, setup);
        QFETCH(int, timeout);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QByteArray, reply);
        QCOMPARE(control(setup), QByteArray("ok"));
        open(transport);
        m_link->setBusTimeout(timeout);
        QElapsedTimer clock;
        clock.start();
        const ascii::ReadResult r = read("Meter1.Volume.Value");
        const qint64 took = clock.elapsed();
        QCOMPARE(int(r.status), status);
        QCOMPARE(r.text, text);
        QCOMPARE(r.reply, reply);
        if (r.status == ascii::ReadStatus::Value) {
            QCOMPARE(r.value, QByteArray("987.654"));
            QVERIFY2(took >= 200, QByteArray::number(took).constData());
        } else {
            QVERIFY(r.tone == ResultTone::Failure);
            QVERIFY(r.value.isEmpty());
            QCOMPARE(trafficLog().failureCount(), 1);
            QVERIFY2(took >= timeout - 20 && took < timeout + 500,
                     QByteArray::number(took).constData());
            QVERIFY(trafficLog().lines().join(QLatin1Char('\n')).contains(text));
            m_link->pause(700); // the rest of the reply arrives and goes with this test
        }
    }

    // The serial line answers at its speed: at 1200 baud a request and its
    // reply of some 50 characters take about 0.4 s on the wire.
    void serialLineSpeed() {
        LinkSettings s = settingsFor(QStringLiteral("pty"));
        s.lineSettings = QStringLiteral("1200,N,8,1");
        QVERIFY(m_link->openConnection(s));
        QElapsedTimer clock;
        clock.start();
        const ascii::ReadResult r = read("Gateway.Info.Name");
        const qint64 took = clock.elapsed();
        QCOMPARE(int(r.status), int(ascii::ReadStatus::Value));
        const qsizetype chars = r.request.size() + r.reply.size();
        const qint64 wire = chars * 10 * 1000 / 1200;
        QVERIFY2(took >= wire - 5 && took < wire + 400,
                 qPrintable(QStringLiteral("%1 ms for %2 ms on the wire").arg(took).arg(wire)));
    }

    // ---- Busy guard ---------------------------------------------------------------------

    void secondReadWhileWaiting() {
        QCOMPARE(control("ascii gw pieces 300"), QByteArray("ok"));
        open(QStringLiteral("udp"));
        std::optional<ascii::ReadResult> second;
        QTimer::singleShot(100, m_link.get(), [&] { second = read("Meter1.Volume.Value"); });
        const ascii::ReadResult first = read("Meter1.Heat_Energy.Value");
        QVERIFY(second);
        QCOMPARE(int(second->status), int(ascii::ReadStatus::Busy));
        QVERIFY(second->request.isEmpty());
        QCOMPARE(int(first.status), int(ascii::ReadStatus::Value));
        QCOMPARE(first.value, QByteArray("12345.678"));
        // Nothing was sent, counted or numbered for the refused read.
        QCOMPARE(trafficLog().responseCount() + trafficLog().failureCount(), 1);
        QCOMPARE(m_client->sequence().current(), 1);
        QVERIFY(!m_client->isBusy());
    }

    // A link that is not open: the read times out at once with nothing.
    void closedLink() {
        QElapsedTimer clock;
        clock.start();
        const ascii::ReadResult r = read("Meter1.Volume.Value");
        QCOMPARE(int(r.status), int(ascii::ReadStatus::Timeout));
        QVERIFY(r.linkLost);
        QCOMPARE(r.text, QStringLiteral("BusTimeout (Received 0 bytes)"));
        QVERIFY(clock.elapsed() < 500);
    }

    // ---- Tag files of the run folder -------------------------------------------------

    void runFolderTagFiles_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("text");
        QTest::newRow("OPC items") << 0 << "OPC item file loaded.";
        QTest::newRow("tag table") << 1 << "Tag table loaded.";
        QTest::newRow("item table") << 2 << "Modbus file loaded.";
    }
    void runFolderTagFiles() {
        QFETCH(int, layout);
        QFETCH(QString, text);
        const QString path = tagFilePath(layout);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const ascii::TagFileLoad load = ascii::loadTagFile(path, ascii::TagFileLayout(layout));
        QVERIFY(load.opened && load.error.ok);
        QCOMPARE(load.text, text);
        QStringList expected;
        for (const QByteArray& name : simTagNames())
            expected << QString::fromLatin1(name);
        QCOMPARE(load.reading.tags, expected);
        // The first tag of the file reads.
        open(QStringLiteral("udp"));
        const ascii::ReadResult r = read(load.reading.tags.first().toLatin1());
        QCOMPARE(r.value, QByteArray("12345.678"));
    }

    // ---- The command line ---------------------------------------------------------------

    void cliRead_data() { addTransports(); }
    void cliRead() {
        QFETCH(QString, transport);
        CliRun r = runCli(cliLink(transport) +
                          QStringList{QStringLiteral("ascii"), QStringLiteral("read"),
                                      QStringLiteral("--station"), QStringLiteral("5"),
                                      QStringLiteral("--protocol"), QStringLiteral("1"),
                                      QStringLiteral("Meter1.Volume.Value")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("987.654\n"));

        r = runCli(cliLink(transport) + QStringList{QStringLiteral("--json"),
                                                    QStringLiteral("ascii"), QStringLiteral("read"),
                                                    QStringLiteral("--station=5"),
                                                    QStringLiteral("Meter3.Water_Volume.Unit"),
                                                    QStringLiteral("No.Such.Tag")});
        QCOMPARE(r.exitCode, 4);
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QJsonObject value = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(value.value(QStringLiteral("status")).toString(), QStringLiteral("value"));
        QCOMPARE(value.value(QStringLiteral("value")).toString(), QStringLiteral("m3"));
        QCOMPARE(value.value(QStringLiteral("sequence")).toInt(), 1);
        const QJsonObject error = QJsonDocument::fromJson(lines[1].toUtf8()).object();
        QCOMPARE(error.value(QStringLiteral("status")).toString(), QStringLiteral("error"));
        QCOMPARE(error.value(QStringLiteral("code")).toString(), QStringLiteral("I"));
        QCOMPARE(error.value(QStringLiteral("text")).toString(),
                 QStringLiteral("Error I: Can't find Item ID"));
        QCOMPARE(error.value(QStringLiteral("sequence")).toInt(), 2);
    }

    void cliCases_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // a piece of standard error
        const QStringList udp{QStringLiteral("--udp"), QStringLiteral("127.0.0.150:26151")};
        QTest::newRow("several tags")
            << udp + QStringList{"ascii",
                                 "read",
                                 "--station",
                                 "5",
                                 "Meter2.Power.Value",
                                 "Meter3.Water_Volume.Unit"}
            << 0 << "Meter2.Power.Value\t-1.5\nMeter3.Water_Volume.Unit\tm3\n"
            << "";
        QTest::newRow("station clamped")
            << udp + QStringList{"ascii", "read", "--station", "150", "Meter2.Power.Value"} << 4
            << "Error X: Internal use for wrong multi drop address\n"
            << "station 150 is sent as 99";
        QTest::newRow("no reply") << QStringList{"--udp",         "127.0.0.151:26199",
                                                 "--bus-timeout", "200",
                                                 "ascii",         "read",
                                                 "A.B.C"}
                                  << 1 << "BusTimeout (Received 0 bytes)\n"
                                  << "";
        QTest::newRow("station not a number")
            << udp + QStringList{"ascii", "read", "--station", "five", "A.B.C"} << 2 << ""
            << "--station";
        QTest::newRow("protocol 2")
            << udp + QStringList{"ascii", "read", "--protocol", "2", "A"} << 2 << ""
            << "--protocol";
        QTest::newRow("no tag") << udp + QStringList{"ascii", "read"} << 2 << ""
                                << "tag";
        QTest::newRow("no subcommand") << QStringList{"ascii"} << 2 << ""
                                       << "read TAG";
        QTest::newRow("missing tag file")
            << QStringList{"ascii", "tags", "/nonexistent/x.csv"} << 2 << ""
            << "/nonexistent/x.csv";
        QTest::newRow("bad layout")
            << QStringList{"ascii", "tags", "--layout", "3", "x.csv"} << 2 << ""
            << "--layout";
    }
    void cliCases() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const CliRun r = runCli(arguments);
        QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
        QCOMPARE(r.out, out);
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    }

    void cliTags_data() { runFolderTagFiles_data(); }
    void cliTags() {
        QFETCH(int, layout);
        const QString path = tagFilePath(layout);
        QStringList expected;
        for (const QByteArray& name : simTagNames())
            expected << QString::fromLatin1(name);
        // The layout as given, and as the first line suggests.
        for (const QStringList& layoutArgs :
             {QStringList{QStringLiteral("--layout"), QString::number(layout)}, QStringList{}}) {
            const CliRun r = runCli(QStringList{QStringLiteral("ascii"), QStringLiteral("tags")} +
                                    layoutArgs + QStringList{path});
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
        }
    }

    // A file rejected mid-way: the tags before, the reason, exit 2.
    void cliRejectedTagFile() {
        const QString bad = m_dir.filePath(QStringLiteral("bad.csv"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[TAG],a,b,c,d,\r\nnot a tag line\r\n");
        f.close();
        const CliRun r = runCli(
            {QStringLiteral("--json"), QStringLiteral("ascii"), QStringLiteral("tags"), bad});
        QCOMPARE(r.exitCode, 2);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("accepted")).toBool(), false);
        QCOMPARE(o.value(QStringLiteral("rejectedLine")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("tags")).toArray(), QJsonArray{QStringLiteral("a.b_c.d")});
        QCOMPARE(o.value(QStringLiteral("layout")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("text")).toString(),
                 QStringLiteral("bad.csv is not a valid tag table."));
    }
};

QTEST_GUILESS_MAIN(TestAsciiSim)
#include "tst_asciisim.moc"
