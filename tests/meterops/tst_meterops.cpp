// The meter operations against the real simulator (127.0.0.100..119): the
// telegrams each operation sends by primary, test and secondary address,
// the frame count bits, the reports, the time-outs and the simulator's
// meter faults; the simulator's line delivery; and kestrune-cli meter over
// UDP, TCP and the M-Bus pseudo-terminal giving the same text.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/TextUtil.h"
#include "channel/Link.h"
#include "mbus/FcbState.h"
#include "mbus/MeterOperations.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimControl.h"
#include "zarvek/loader/SupportLibrary.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using namespace kestrune;
using simproc::SimProcess;

namespace {

constexpr quint16 kControlPort = 26109;

// u: a K2 (its own meter at 250) over UDP with the meters of most cases
// and its master pseudo-terminal; t: the same ABB meter alone over TCP;
// m: a K2S over UDP with a meter whose address the tests change, answers
// given whole. All at 9600 baud, u and t with real line timing.
const char kConfig[] = R"(# meter operations test installation
[simulator]
listen = 127.0.0.119:26718
control-port = 26109
tag-files = no

[gateway u]
family = K2
serial = 0x646464
address = 127.0.0.100
mbus-port = 26001
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 5
console = no
bus-voltage = 235
bus-current = 400
# Several meters answer the test address: at one instant their E5s merge.
collisions = aligned

[gateway t]
family = K1
serial = 0x656565
address = 127.0.0.101
mbus-port = 26002
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 5
console = no
mbus-master = no

[gateway m]
family = K2S
serial = 0x666666
address = 127.0.0.102
mbus-port = 26003
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 5
console = no
mbus-master = no
line-timing = no
bus-voltage = 355
bus-current = 60

[meter abb]
gateway = u
capture = abb_delta
address = 1

[meter fixed]
gateway = u
capture = sen_pollusonic_2
address = 8
manufacturer = SEN

[meter short]
gateway = u
reply = 68 08 08 68 08 09 72 78 56 34 12 01 98 16
address = 9
id = 11112222

[meter nohead]
gateway = u
reply = 68 0E 0E 68 08 0A 78 04 13 31 D4 00 00 02 FD 17 00 00 BC 16
address = 10
id = 33334444

[meter faulty]
gateway = u
capture = kamstrup_382_005
address = 11

[meter abb-tcp]
gateway = t
capture = abb_delta
address = 1

[meter mover]
gateway = m
capture = GWF-MTKcoder
address = 1

[meter faulty-m]
gateway = m
capture = kamstrup_382_005
address = 11
)";

struct Gateway {
    ConnectionMode mode;
    const char* host;
    quint16 port;
};
Gateway gateway(const QString& name) {
    if (name == QLatin1String("t"))
        return {ConnectionMode::Tcp, "127.0.0.101", 26002};
    if (name == QLatin1String("m"))
        return {ConnectionMode::Udp, "127.0.0.102", 26003};
    return {ConnectionMode::Udp, "127.0.0.100", 26001};
}

QString hexOf(const QByteArray& bytes) {
    return hexPairs(bytes);
}

// The operation words of the rows: "f1 a=1 b s=78563412 i r=16 n=5 v=5".
ApplyInput input(const QString& words) {
    ApplyInput in;
    for (const QString& w : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString value = w.section(QLatin1Char('='), 1);
        switch (w[0].toLatin1()) {
        case 'f':
            in.feature = w.mid(1).toInt();
            break;
        case 'a':
            in.address = value;
            break;
        case 'n':
            in.newAddress = value;
            break;
        case 'b':
            in.broadcast = true;
            break;
        case 's':
            in.secondary = true;
            in.secId = value;
            break;
        case 'i':
            in.alwaysInit = true;
            break;
        case 'r':
            in.alwaysReset = true;
            in.resetIndex = value.toInt();
            break;
        case 'x':
            in.resetIndex = value.toInt();
            break;
        case 'v':
            in.lineSpeedIndex = value.toInt();
            break;
        default:
            qFatal("unknown word %s", qPrintable(w));
        }
    }
    return in;
}

struct Run {
    MeterOutcome outcome;
    QStringList sent;
    QString text;
};

} // namespace

class TestMeterOps : public QObject {
    Q_OBJECT

    SimProcess m_sim;
    QTemporaryDir m_dir;
    FcbState m_fcb;

    // One Apply on a fresh link to the gateway, as after entering the page.
    Run apply(const QString& gw, const ApplyInput& in, int timeoutMs = 800) {
        Link l;
        const Gateway g = gateway(gw);
        LinkSettings s;
        s.mode = g.mode;
        s.host = QLatin1String(g.host);
        s.port = g.port;
        l.setBusDelay(0);
        l.setBusTimeout(timeoutMs);
        l.setOpenTimeout(2000);
        Run r;
        if (!l.openConnection(s))
            return r;
        MeterOperations ops(l, m_fcb);
        connect(&ops, &MeterOperations::exchanged, this,
                [&r](const QByteArray& sent, const QByteArray&) { r.sent << hexOf(sent); });
        r.outcome = ops.apply(planApply(in));
        r.text = ops.text();
        l.closeConnection();
        return r;
    }

    void enterPage(int policy = FcbState::Toggle) {
        m_fcb.clear();
        m_fcb.setPolicy(policy);
        m_fcb.setResetPending(true);
    }

    static bool control(const QString& command) {
        return simproc::control(kControlPort, command.toUtf8(), 2000) == "ok";
    }

    using CliResult = programrun::Result;
    CliResult cli(const QStringList& arguments) {
        return programrun::run(
            QStringLiteral(KESTRUNE_CLI_PATH),
            QStringList{QStringLiteral("--bus-delay"), QStringLiteral("0"),
                        QStringLiteral("--bus-timeout"), QStringLiteral("800")} +
                arguments,
            fixture::programEnvironment(QStringLiteral(KESTRUNE_BINARY_DIR),
                                        m_dir.filePath(QStringLiteral("config"))),
            15000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR)); // libZarvek.so
        QVERIFY(fixture::loadLanguage());
        QVERIFY2(m_sim.startIn(m_dir.path(), kConfig), m_sim.errors.constData());
    }

    void cleanupTestCase() { QCOMPARE(m_sim.stopCleanly(), QString()); }

    // The telegrams of each operation, addressed every way, and how it ends.
    void telegrams_data() {
        QTest::addColumn<QString>("gw");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("failure"); // 0: done

        const QString selectAbb =
            QStringLiteral("68 0B 0B 68 53 FD 52 12 34 56 78 FF FF FF FF B2 16");
        // name, gateway, page input words, telegrams sent, failure text (0: done)
        const auto row = [](const char* name, const char* gw, const char* words,
                            const QStringList& sent, int failure) {
            QTest::newRow(name) << QString::fromLatin1(gw) << QString::fromLatin1(words) << sent
                                << failure;
        };
        row("initialise, primary", "u", "f0 a=1", {"10 40 01 41 16"}, 0);
        row("initialise, test address", "u", "f0 a=1 b", {"10 40 FE 3E 16"}, 0);
        row("initialise, secondary", "u", "f0 s=78563412", {selectAbb, "10 40 FD 3D 16"}, 0);
        row("read, primary: 7B after entering the page", "u", "f1 a=1", {"10 7B 01 7C 16"}, 0);
        row("read, test address", "t", "f1 a=3 b", {"10 7B FE 79 16"}, 0);
        row("read, secondary", "u", "f1 s=78563412", {selectAbb, "10 7B FD 78 16"}, 0);
        row("read, wildcard selection over TCP", "t", "f1 s=7856****",
            {"68 0B 0B 68 53 FD 52 FF FF 56 78 FF FF FF FF 6A 16", "10 7B FD 78 16"}, 0);
        row("read, always-init", "u", "f1 a=1 i", {"10 40 01 41 16", "10 7B 01 7C 16"}, 0);
        row("diagnostic, always-init and reset subcode 00", "u", "f4 a=1 i r=1",
            {"10 40 01 41 16", "68 04 04 68 53 01 50 00 A4 16", "10 7B 01 7C 16"}, 0);
        row("diagnostic, reset subcode F0", "u", "f4 a=250 r=16",
            {"68 04 04 68 53 FA 50 F0 8D 16", "10 7B FA 75 16"}, 0);
        row("application reset, no subcode", "u", "f5 a=1", {"68 03 03 68 53 01 50 A4 16"}, 0);
        row("application reset, secondary", "u", "f5 s=78563412 x=3",
            {selectAbb, "68 04 04 68 53 FD 50 20 C0 16"}, 0);
        row("line speed 9600: CI BD", "u", "f3 a=1 v=5", {"68 03 03 68 53 01 BD 11 16"}, 0);
        row("line speed after always-init: FCB set", "u", "f3 a=1 v=5 i",
            {"10 40 01 41 16", "68 03 03 68 73 01 BD 31 16"}, 0);
        row("line speed not chosen: nothing sent", "u", "f3 a=1", {}, 0);

        // Time-outs: the failure text of the step that got no answer.
        row("initialise, nobody: 176", "u", "f0 a=77", {"10 40 4D 8D 16"}, 176);
        row("selection, nobody: 178", "u", "f1 s=99999999",
            {"68 0B 0B 68 53 FD 52 99 99 99 99 FF FF FF FF 02 16"}, 178);
        row("read, nobody: 173", "u", "f1 a=77", {"10 7B 4D C8 16"}, 173);
        row("read after failed initialise stops: 176", "u", "f4 a=77 i r=0", {"10 40 4D 8D 16"},
            176);
        row("address change, nobody: 181", "u", "f2 a=77 n=5",
            {"68 06 06 68 53 4D 51 01 7A 05 71 16"}, 181);
    }
    void telegrams() {
        QFETCH(QString, gw);
        QFETCH(QString, words);
        QFETCH(QStringList, sent);
        QFETCH(int, failure);
        enterPage();
        const ApplyInput in = input(words);
        const Run r = apply(gw, in, failure ? 300 : 800);
        QCOMPARE(r.sent, sent);
        QCOMPARE(r.outcome.failureText, failure);
        QCOMPARE(r.outcome.done, failure == 0 && !sent.isEmpty());
        QCOMPARE(r.outcome.sent, !sent.isEmpty());
        if (failure)
            QVERIFY2(r.text.endsWith(getText(failure)), qPrintable(r.text));
    }

    // 7B then 5B after entering the page; SelectedFCB pins the bit.
    void frameCountBits_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QStringList>("controls");
        QTest::newRow("toggle") << 0 << QStringList{"7B", "5B", "7B"};
        QTest::newRow("always set") << 1 << QStringList{"7B", "7B", "7B"};
        QTest::newRow("always reset") << 2 << QStringList{"5B", "5B", "5B"};
    }
    void frameCountBits() {
        QFETCH(int, policy);
        enterPage(policy);
        QStringList controls;
        for (int i = 0; i < 3; ++i) {
            const Run r = apply(QStringLiteral("u"), input(QStringLiteral("f1 a=1")));
            QVERIFY(r.outcome.done);
            controls << r.sent.value(0).mid(3, 2);
        }
        QTEST(controls, "controls");
    }

    void readReport() {
        enterPage();
        const Run r = apply(QStringLiteral("u"), input(QStringLiteral("f1 a=1")));
        QCOMPARE(r.text, QStringLiteral("Requesting the meter data (REQ_UD2)...\r\nMeter data "
                                        "received. Primary address 1, identification number "
                                        "78563412 (ABB).\r\n\r\nTo address this meter, use "
                                        "primary address 1.\r\nor secondary address "
                                        "78563412.0442.02.02\r\n(identification.manufacturer."
                                        "version.medium)"));
        QVERIFY(r.outcome.columns);
        QCOMPARE(r.outcome.columns->deviceType, QStringLiteral("Delta"));
    }

    // What the read and the diagnostic read show for unusual meters.
    void reports_data() {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("contains");
        QTest::addColumn<QString>("ends");
        QTest::newRow("fixed structure, read")
            << "f1 a=8"
            << "90919293.FFFF.FF.FF"
            << "The meter answered with a fixed data structure: its manufacturer, version and "
               "medium are not known.";
        QTest::newRow("fixed structure, diagnostic")
            << "f4 a=8"
            << "Meter data received."
            << "The meter answered with a fixed data structure: no diagnostic values can be "
               "shown.";
        QTest::newRow("14-byte reply") << "f1 a=9"
                                       << "Primary address 9, identification number  ()."
                                       << "or secondary address ...\r\n(identification."
                                          "manufacturer.version.medium)";
        QTest::newRow("CI 78 reply") << "f1 a=10"
                                     << "Primary address 10, identification number  ()."
                                     << "(identification.manufacturer.version.medium)";
        QTest::newRow("diagnostic of a plain meter")
            << "f4 a=1"
            << "Meter data received.\r\nAnswer of the meter (hexadecimal):\r\n\r\n68 98 98 68 08 "
               "01 72 "
               "12 34 56 78 42 04 02 02"
            << QStringLiteral("16") + QString(7, QLatin1Char(' '));
        QTest::newRow("diagnostic of a short reply")
            << "f4 a=9"
            << "Answer of the meter (hexadecimal):\r\n\r\n68 08 08 68 08 09 72 22 22 11 11 00"
            << QStringLiteral("16") + QString(7, QLatin1Char(' '));
    }
    void reports() {
        QFETCH(QString, words);
        QFETCH(QString, contains);
        QFETCH(QString, ends);
        enterPage();
        const Run r = apply(QStringLiteral("u"), input(words));
        QVERIFY2(r.outcome.done, qPrintable(r.text));
        QVERIFY2(r.text.contains(contains), qPrintable(r.text));
        QVERIFY2(r.text.endsWith(ends), qPrintable(r.text));
        QVERIFY(!r.text.contains(QLatin1String("Zelmor")));
    }

    void k2Line_data() {
        QTest::addColumn<QString>("gw");
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("milliamps");
        QTest::newRow("K2 V2") << "u"
                               << "\r\n\r\nZelmor M-Bus K2 V2: U = 23.5 V  I = 40 mA\r\n"
                               << 23.5 << 40.0;
        QTest::newRow("K2S") << "m"
                             << "\r\n\r\nZelmor M-Bus K2S: U = 35.5 V  I = 6 mA\r\n"
                             << 35.5 << 6.0;
    }
    void k2Line() {
        QFETCH(QString, gw);
        QFETCH(QString, line);
        enterPage();
        const Run r = apply(gw, input(QStringLiteral("f4 a=250")));
        QVERIFY2(r.outcome.done, qPrintable(r.text));
        QVERIFY2(r.text.contains(QStringLiteral("Meter data received.") + line +
                                 QStringLiteral("\r\nAnswer of the meter")),
                 qPrintable(r.text));
        QTEST(r.outcome.voltage.value_or(-1), "volts");
        QTEST(r.outcome.current.value_or(-1), "milliamps");
    }

    // Without the support library the read still shows the reply, and says
    // why the bus values are missing instead of showing wrong ones.
    void k2LineWithoutLibrary() {
        QTemporaryDir empty;
        setProgramDir(empty.path());
        zarvek::resetForTests();
        enterPage();
        const Run r = apply(QStringLiteral("u"), input(QStringLiteral("f4 a=250")));
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
        zarvek::resetForTests();
        QVERIFY2(r.outcome.done, qPrintable(r.text));
        QVERIFY(!r.outcome.voltage);
        QVERIFY(!r.text.contains(QLatin1String("Zelmor")));
        QVERIFY2(
            r.text.contains(QLatin1String("The support library \"libZarvek.so\" could not be")),
            qPrintable(r.text));
        QVERIFY(r.text.contains(QLatin1String("Answer of the meter")));
    }

    // A meter that took a new primary address answers there, and no
    // longer at the old one.
    void newPrimaryAddress() {
        enterPage();
        Run r = apply(QStringLiteral("m"), input(QStringLiteral("f2 a=1 n=5")));
        QCOMPARE(r.sent, QStringList{"68 06 06 68 53 01 51 01 7A 05 25 16"});
        QVERIFY2(r.outcome.done, qPrintable(r.text));
        QCOMPARE(r.text, QStringLiteral("Writing the new setting to the meter...\r\nThe meter "
                                        "accepted the new setting.\r\n\r\n"));
        r = apply(QStringLiteral("m"), input(QStringLiteral("f1 a=5")));
        QVERIFY2(r.outcome.done, qPrintable(r.text));
        QVERIFY(r.text.contains(QLatin1String("use primary address 5.")));
        r = apply(QStringLiteral("m"), input(QStringLiteral("f1 a=1")), 300);
        QCOMPARE(r.outcome.failureText, 173);
        // Back and forth once more: an acknowledged setting inverts the
        // bit of its address, so the second setting to each goes with 73.
        const QStringList expected = {"68 06 06 68 53 05 51 01 7A 01 25 16",
                                      "68 06 06 68 73 01 51 01 7A 05 45 16",
                                      "68 06 06 68 73 05 51 01 7A 01 45 16"};
        QStringList sent;
        for (const char* words : {"f2 a=5 n=1", "f2 a=1 n=5", "f2 a=5 n=1"}) {
            r = apply(QStringLiteral("m"), input(QLatin1String(words)));
            QVERIFY2(r.outcome.done, qPrintable(r.text));
            sent += r.sent;
        }
        QCOMPARE(sent, expected);
    }

    // The simulator spoils a meter's next answer; the operation reports the
    // failure of its step (or, for the stop byte nobody examines, goes on as
    // usual), and the meter answers cleanly again afterwards. Stray bytes
    // are tried on m, which gives answers whole: with line timing they come
    // off the line after the frame, and whether the master sees them with
    // it depends on when it looks, as on a real line.
    void simulatorFaults_data() {
        QTest::addColumn<QString>("gw");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("words");
        QTest::addColumn<int>("failure");
        QTest::newRow("silence") << "u"
                                 << "silence"
                                 << "f1 a=11" << 173;
        QTest::newRow("garbage") << "u"
                                 << "garbage"
                                 << "f1 a=11" << 173;
        QTest::newRow("wrong checksum") << "u"
                                        << "bad-check"
                                        << "f1 a=11" << 173;
        QTest::newRow("truncated") << "u"
                                   << "truncated"
                                   << "f1 a=11" << 173;
        QTest::newRow("wrong stop byte is not examined") << "u"
                                                         << "wrong-stop"
                                                         << "f1 a=11" << 0;
        QTest::newRow("stray bytes with the frame") << "m"
                                                    << "extra"
                                                    << "f1 a=11" << 173;
        QTest::newRow("E5 keeps its checksum fault for the read") << "u"
                                                                  << "bad-check"
                                                                  << "f1 a=11 i" << 173;
        QTest::newRow("silent link reset") << "u"
                                           << "silence"
                                           << "f0 a=11" << 176;
        QTest::newRow("stray bytes with E5") << "m"
                                             << "extra"
                                             << "f0 a=11" << 176;
        QTest::newRow("garbage for E5") << "m"
                                        << "garbage"
                                        << "f0 a=11" << 176;
        QTest::newRow("silent setting") << "u"
                                        << "no-reply"
                                        << "f3 a=11 v=5" << 181;
        QTest::newRow("garbled selection") << "m"
                                           << "garbage"
                                           << "f0 s=14839120" << 178;
    }
    void simulatorFaults() {
        QFETCH(QString, gw);
        QFETCH(QString, fault);
        QFETCH(QString, words);
        QFETCH(int, failure);
        const QString meter =
            gw == QLatin1String("m") ? QStringLiteral("faulty-m") : QStringLiteral("faulty");
        QVERIFY(control(QStringLiteral("meter %1 fault %2 1").arg(meter, fault)));
        enterPage();
        Run r = apply(gw, input(words), 400);
        QCOMPARE(r.outcome.failureText, failure);
        // Used up: the next answer is clean.
        r = apply(gw, input(QStringLiteral("f1 a=11")), 400);
        QVERIFY2(r.outcome.done, qPrintable(r.text));
    }

    void busyRefuses() {
        Link l;
        MeterOperations ops(l, m_fcb);
        // A link that is not open fails at once; while a wait of the link
        // runs, nothing starts.
        bool refused = false;
        QTimer::singleShot(10, this, [&] {
            refused = ops.apply(planApply(input(QStringLiteral("f0 a=1")))).busy;
        });
        l.pause(100);
        QVERIFY(refused);
        const MeterOutcome idle = ops.apply(planApply(input(QStringLiteral("f0 a=1"))));
        QVERIFY(!idle.busy);
        QVERIFY(!idle.sent);
        QCOMPARE(idle.failureText, 176);
    }

    // The answer leaves as a line delivers it: the first byte after the
    // reaction time and one character, the rest in pieces at 9600 baud.
    void lineDelivery() {
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QElapsedTimer clock;
        QList<QPair<qint64, QByteArray>> pieces;
        socket.writeDatagram(QByteArray::fromHex("105B015C16"),
                             QHostAddress(QStringLiteral("127.0.0.100")), 26001);
        clock.start();
        simproc::waitUntil(
            &socket, &QUdpSocket::readyRead,
            [&] {
                while (socket.hasPendingDatagrams())
                    pieces.append({clock.elapsed(), socket.receiveDatagram().data()});
                qsizetype n = 0;
                for (const auto& p : pieces)
                    n += p.second.size();
                return n >= 158;
            },
            3000);
        QByteArray whole;
        for (const auto& p : pieces)
            whole += p.second;
        QCOMPARE(whole.size(), 158);
        QCOMPARE(pieces.first().second.size(), 1);
        // 6 + 5 ms for request and reaction, 2 ms for the first character;
        // the whole answer takes 182 ms on the line. (Timers never fire
        // early; a loaded machine may make them late.)
        const qint64 first = pieces.first().first;
        const qint64 last = pieces.last().first;
        QVERIFY2(last >= 190, qPrintable(QString::number(last)));
        QVERIFY2(first < last - 100, qPrintable(QStringLiteral("%1 %2").arg(first).arg(last)));
        QVERIFY(pieces.size() > 20);
        for (const auto& p : pieces)
            QVERIFY(p.second.size() <= 8);
    }

    // The master pseudo-terminal is heard only at the bus's own speed.
    void ptySpeed_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("heard");
        QTest::newRow("9600") << 9600 << true;
        QTest::newRow("4800") << 4800 << false;
        QTest::newRow("2401") << 2401 << false;
        QTest::newRow("9601") << 9601 << false;
        QTest::newRow("12345") << 12345 << false;
    }
    void ptySpeed() {
        QFETCH(int, baud);
        Link l;
        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = m_sim.ptyLink(QStringLiteral("u"), QStringLiteral("mbus-master"));
        l.setBusDelay(0);
        // From 9600, so a speed the terminal refused would show as heard.
        s.lineSettings = QStringLiteral("9600,E,8,1");
        QVERIFY(l.openConnection(s));
        l.closeConnection();
        s.lineSettings = QString::number(baud) + QStringLiteral(",E,8,1");
        QVERIFY(l.openConnection(s));
        l.sendBytes(QByteArray::fromHex("1040014116"));
        const QByteArray reply = l.receiveMBusFrame(300);
        QTEST(reply == QByteArray::fromHex("E5"), "heard");
        l.closeConnection();
    }

    // kestrune-cli meter prints the page's text, the same over every link.
    void cliSameTextEverywhere() {
        const QStringList read = {QStringLiteral("meter"), QStringLiteral("read"),
                                  QStringLiteral("--address"), QStringLiteral("1")};
        const CliResult udp =
            cli(QStringList{QStringLiteral("--udp"), QStringLiteral("127.0.0.100:26001")} + read);
        const CliResult tcp =
            cli(QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.101:26002")} + read);
        const CliResult pty =
            cli(QStringList{QStringLiteral("--serial"),
                            m_sim.ptyLink(QStringLiteral("u"), QStringLiteral("mbus-master")),
                            QStringLiteral("--line"), QStringLiteral("9600,E,8,1")} +
                read);
        QCOMPARE(udp.exitCode, 0);
        QCOMPARE(tcp.exitCode, 0);
        QCOMPARE(pty.exitCode, 0);
        QCOMPARE(udp.out, QStringLiteral("Requesting the meter data (REQ_UD2)...\nMeter data "
                                         "received. Primary address 1, identification number "
                                         "78563412 (ABB).\n\nTo address this meter, use primary "
                                         "address 1.\nor secondary address 78563412.0442.02.02\n"
                                         "(identification.manufacturer.version.medium)\n"));
        QCOMPARE(tcp.out, udp.out);
        QCOMPARE(pty.out, udp.out);
    }

    void cliOutcomes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("ends");
        QTest::newRow("initialise by secondary")
            << QStringList{"meter", "init", "--secondary", "78563412.0442"} << 0
            << "Initialising the meter (SND_NKE)...\nThe meter answered.\n";
        QTest::newRow("diagnostic of the K2")
            << QStringList{"meter", "diag", "--address", "250", "--always-init"} << 0
            << QStringLiteral("16") + QString(25, QLatin1Char(' ')) + QLatin1Char('\n');
        QTest::newRow("nobody there") << QStringList{"meter", "read", "--address", "77"} << 1
                                      << "Check the address and the line speed.\n";
        QTest::newRow("application reset with subcode")
            << QStringList{"meter", "app-reset", "3", "--address", "1"} << 0
            << "Sending application reset...\nThe meter answered.\n";
    }
    void cliOutcomes() {
        QFETCH(QStringList, args);
        QFETCH(QString, ends);
        const CliResult r =
            cli(QStringList{QStringLiteral("--udp"), QStringLiteral("127.0.0.100:26001")} + args);
        QTEST(r.exitCode, "exitCode");
        QVERIFY2(r.out.endsWith(ends), qPrintable(r.out + r.err));
    }

    // meter read --json carries the reply's records with the decoder's stable
    // names: from a reply without a header, and from a fixed structure.
    void cliJsonRecords_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("first"); // quantity, unit, value of the first record
        QTest::addColumn<int>("count");
        QTest::newRow("no header") << "10"
                                   << "volume m^3 54.321" << 2;
        QTest::newRow("fixed structure") << "8"
                                         << "energy Wh 6531000" << 2;
    }
    void cliJsonRecords() {
        QFETCH(QString, address);
        const CliResult r = cli({QStringLiteral("--udp"), QStringLiteral("127.0.0.100:26001"),
                                 QStringLiteral("meter"), QStringLiteral("read"),
                                 QStringLiteral("--address"), address, QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonArray records = o.value(QStringLiteral("records")).toArray();
        QTEST(static_cast<int>(records.size()), "count");
        const QJsonObject first = records.first().toObject();
        QTEST(QStringLiteral("%1 %2 %3")
                  .arg(first.value(QStringLiteral("quantity")).toString(),
                       first.value(QStringLiteral("unit")).toString())
                  .arg(first.value(QStringLiteral("value")).toDouble(), 0, 'g', 10),
              "first");
        QCOMPARE(first.value(QStringLiteral("function")).toString(),
                 QStringLiteral("instantaneous"));
        QVERIFY(o.value(QStringLiteral("recordsComplete")).toBool());
    }

    void cliJson() {
        const CliResult r =
            cli({QStringLiteral("--udp"), QStringLiteral("127.0.0.100:26001"),
                 QStringLiteral("meter"), QStringLiteral("diag"), QStringLiteral("--address"),
                 QStringLiteral("250"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.count(QLatin1Char('\n')), 1);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("operation")).toString(), QStringLiteral("diag"));
        QCOMPARE(o.value(QStringLiteral("done")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("address")).toString(), QStringLiteral("250"));
        QCOMPARE(o.value(QStringLiteral("manufacturer")).toString(), QStringLiteral("ZXQ (6B11h)"));
        QCOMPARE(o.value(QStringLiteral("deviceType")).toString(), QStringLiteral("ZX-K2v2"));
        QCOMPARE(o.value(QStringLiteral("voltage")).toDouble(), 23.5);
        QCOMPARE(o.value(QStringLiteral("current")).toDouble(), 40.0);
        QVERIFY(o.value(QStringLiteral("text")).toString().contains(QLatin1String("K2 V2")));
        QVERIFY(o.value(QStringLiteral("reply")).toString().startsWith(QLatin1String("68 ")));
    }
};

QTEST_GUILESS_MAIN(TestMeterOps)
#include "tst_meterops.moc"
