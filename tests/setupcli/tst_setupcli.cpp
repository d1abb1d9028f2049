// The setup commands of kestrune-cli through the real program, against the
// simulator: what a script sees (lines, JSON, exit codes, the wizard's texts).
#include "base/Language.h"
#include "netsetup/SetupTexts.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::setuptext;

namespace {

const char kConfig[] = R"([simulator]
listen = 127.0.0.136:30718
dhcp-first = 127.0.0.137
control-port = 26121
tag-files = no

[gateway k2]
family = K2
mac = 00-04-25-01-02-03
address = 127.0.0.133
restart-ms = 200
mbus-master = no

[gateway k1]
family = K1
serial = 0x445566
address = 127.0.0.134
restart-ms = 200
discovery-delay-ms = 100
mbus-master = no

[gateway k2s]
family = K2S
serial = 0x778899
address = 127.0.0.135
restart-ms = 200
discovery-delay-ms = 200
mbus-master = no
)";

const QByteArray kIni = "[IP]\nBroadcastAddress=127.0.0.136\nScanTimeout=300\nUDPTimeOut=300\n"
                        "SerialTimeOut=1500\nResetTimeOut=4000\nWriteTimeOut=4000\n"
                        "NumberOfPings=2\nPingDelay=50\n";

using Result = programrun::Result;

QList<QJsonObject> jsonLines(const QString& out) {
    QList<QJsonObject> objects;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        objects << QJsonDocument::fromJson(line.toUtf8()).object();
    return objects;
}

} // namespace

class TestSetupCli : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<simproc::SimProcess> m_sim;

    Result run(const QStringList& arguments, const QStringList& prefix = {}) {
        const QProcessEnvironment env =
            fixture::programEnvironment(m_dir.path(), m_dir.filePath(QStringLiteral("config")));
        const QString cli = QStringLiteral(KESTRUNE_CLI_PATH);
        if (prefix.isEmpty())
            return programrun::run(cli, arguments, env);
        return programrun::run(prefix.first(), prefix.mid(1) + QStringList{cli} + arguments, env);
    }
    static QString plain(int text) {
        return getText(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void discoverLinesAndJson();
    void recordGetAndSet();
    void recordOverTheConsole();
    void badInputRefused_data();
    void badInputRefused();
    void ipSetupMovesTheGateway();
    void pingAnswered();
    void pingWithoutIcmpSocketSaysWhy();
};

void TestSetupCli::initTestCase() {
    QVERIFY(fixture::loadLanguage());
    QCOMPARE(fixture::writeFile(m_dir.filePath(QStringLiteral("Kestrune.INI")), kIni), QString());
    m_sim = std::make_unique<simproc::SimProcess>();
    QVERIFY2(m_sim->startIn(m_dir.path(), kConfig), m_sim->errors.constData());
}

void TestSetupCli::cleanupTestCase() {
    QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestSetupCli::discoverLinesAndJson() {
    const QStringList args{QStringLiteral("discover"), QStringLiteral("--adapter"),
                           QStringLiteral("127.0.0.120")};
    Result r = run(args);
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("127.0.0.133\t00-04-25-01-02-03\tK2\t41976066\t") +
                              plain(TextNotReachable));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("127.0.0.134\t00-20-4A-44-55-66\tK1\t-\t")));
    QCOMPARE(lines.at(3), plain(TextDevicesFound) + QStringLiteral(" 3"));

    r = run(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QList<QJsonObject> devices = jsonLines(r.out);
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices.at(2).value(QStringLiteral("type")).toString(), QStringLiteral("K2S"));
    QCOMPARE(devices.at(2).value(QStringLiteral("kind")).toInt(), 3);
    QCOMPARE(devices.at(0).value(QStringLiteral("identity")).toString(),
             QStringLiteral("41976066"));
    QCOMPARE(devices.at(0).value(QStringLiteral("reachable")).toBool(), false);

    // Nobody there: exit 1 with the wizard's text.
    r = run(args + QStringList{QStringLiteral("--broadcast"), QStringLiteral("127.0.0.139")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.trimmed(), plain(TextNoDeviceFound));
}

void TestSetupCli::recordGetAndSet() {
    const QStringList host{QStringLiteral("--host"), QStringLiteral("127.0.0.134")};
    Result r = run(QStringList{QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
                               QStringLiteral("--json")} +
                   host);
    QCOMPARE(r.exitCode, 0);
    QJsonObject o = jsonLines(r.out).value(0);
    QCOMPARE(o.value(QStringLiteral("ip")).toString(), QStringLiteral("127.0.0.134"));
    QCOMPARE(o.value(QStringLiteral("port")).toString(), QStringLiteral("10001"));
    QCOMPARE(o.value(QStringLiteral("protocol")).toString(), QStringLiteral("udp"));
    QCOMPARE(o.value(QStringLiteral("line-speed")).toString(), QStringLiteral("2400"));
    QCOMPARE(o.value(QStringLiteral("length")).toInt(), 120);

    r = run(QStringList{QStringLiteral("record"), QStringLiteral("set"), QStringLiteral("0"),
                        QStringLiteral("port=10134"), QStringLiteral("protocol=tcp"),
                        QStringLiteral("line-speed=9600")} +
            host);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.trimmed(), plain(TextSettingsWritten));
    QVERIFY(
        m_sim->waitLine(QStringLiteral("gateway k1 mbus tcp 127.0.0.134:10134 baud 9600"), 2000));

    r = run(QStringList{QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0")} +
            host);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QStringLiteral("\nport: 10134\nprotocol: tcp\nline-speed: 9600\n")));

    r = run(QStringList{QStringLiteral("record"), QStringLiteral("set"), QStringLiteral("1"),
                        QStringLiteral("telnet=deny"), QStringLiteral("--json")} +
            host);
    QCOMPARE(r.exitCode, 0);
    o = jsonLines(r.out).value(0);
    QCOMPARE(o.value(QStringLiteral("telnet")).toString(), QStringLiteral("deny"));
    QCOMPARE(o.value(QStringLiteral("setup-77fe")).toString(), QStringLiteral("allow"));
    QCOMPARE(o.value(QStringLiteral("written")).toBool(), true);

    // A gateway that does not answer: exit 1 and why.
    r = run({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--host"), QStringLiteral("127.0.0.139")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(plain(TextSettingsNotRead) + u'\n' + plain(TextNoReply)));
}

void TestSetupCli::recordOverTheConsole() {
    const QString console = m_sim->ptyLink(QStringLiteral("k2s"), QStringLiteral("console"));
    QVERIFY(!console.isEmpty());
    Result r = run({QStringLiteral("record"), QStringLiteral("set"), QStringLiteral("0"),
                    QStringLiteral("gateway=127.0.0.1"), QStringLiteral("--serial"), console});
    QCOMPARE(r.exitCode, 0);
    r = run({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--serial"), console, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(jsonLines(r.out).value(0).value(QStringLiteral("gateway")).toString(),
             QStringLiteral("127.0.0.1"));
    // A port that does not exist: the link failed.
    r = run({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--serial"), m_dir.filePath(QStringLiteral("no-such-tty"))});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.err.contains(plain(TextPortNotOpened)));
}

void TestSetupCli::badInputRefused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("MAC with four dashes")
        << QStringList{"ip-setup", "00-20-4A-12-3456", "127.0.0.137", "--adapter", "127.0.0.120"}
        << "'00-20-4A-12-3456' " + plain(TextBadMac);
    QTest::newRow("IP with three parts")
        << QStringList{"ip-setup", "00-20-4A-44-55-66", "127.0.0", "--adapter", "127.0.0.120"}
        << "'127.0.0' " + plain(TextBadIp);
    QTest::newRow("broadcast as the new IP")
        << QStringList{"ip-setup", "00-20-4A-44-55-66", "255.255.255.255"}
        << "'255.255.255.255' " + plain(TextBadIp);
    QTest::newRow("mask with a hole")
        << QStringList{"ip-setup", "00-20-4A-44-55-66", "127.0.0.137", "--mask", "255.0.255.0"}
        << "'255.0.255.0' " + plain(TextBadMask);
    QTest::newRow("dhcp with a gateway")
        << QStringList{"ip-setup", "00-20-4A-44-55-66", "--dhcp", "--gateway", "127.0.0.1"}
        << "--dhcp takes no --gateway or --mask";
    QTest::newRow("record field of another record")
        << QStringList{"record", "set", "1", "port=1", "--host", "127.0.0.134"}
        << "port is a field of record 0";
    QTest::newRow("record port out of range")
        << QStringList{"record", "set", "0", "port=70000", "--host", "127.0.0.134"}
        << "'70000' " + plain(TextBadPort);
    QTest::newRow("record number") << QStringList{"record", "get", "8", "--host", "127.0.0.134"}
                                   << "records are numbered 0 to 7";
    QTest::newRow("record password too long")
        << QStringList{"record", "set", "0", "password=abcde", "--host", "127.0.0.134"}
        << "the password is at most 4 characters";
    QTest::newRow("ping a broadcast")
        << QStringList{"ping", "255.255.255.255"} << "'255.255.255.255' " + plain(TextBadIp);
    QTest::newRow("ping count") << QStringList{"ping", "127.0.0.133", "--count", "0"}
                                << "--count: '0' is not a number from 1 to 100";
}

void TestSetupCli::badInputRefused() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const qsizetype linesBefore = m_sim->lines.size();
    const Result r = run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // Nothing reached a gateway: no move, no rebinding.
    QTest::qWait(50);
    QCOMPARE(m_sim->lines.size(), linesBefore);
}

void TestSetupCli::ipSetupMovesTheGateway() {
    Result r =
        run({QStringLiteral("ip-setup"), QStringLiteral("00-04-25-01-02-03"),
             QStringLiteral("127.0.0.137"), QStringLiteral("--gateway"),
             QStringLiteral("127.0.0.1"), QStringLiteral("--mask"), QStringLiteral("255.0.0.0"),
             QStringLiteral("--adapter"), QStringLiteral("127.0.0.120"), QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = jsonLines(r.out).value(0);
    QVERIFY(o.value(QStringLiteral("ok")).toBool());
    QVERIFY(o.value(QStringLiteral("text")).toString().contains(plain(TextIpSetupMaskWritten)));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway k2 moved to 127.0.0.137")));
    r = run({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--host"), QStringLiteral("127.0.0.137"), QStringLiteral("--json")});
    QCOMPARE(jsonLines(r.out).value(0).value(QStringLiteral("mask")).toString(),
             QStringLiteral("255.0.0.0"));
    // A MAC address nobody has: nobody answers at the new address.
    r = run({QStringLiteral("ip-setup"), QStringLiteral("00-04-25-0A-0B-0C"),
             QStringLiteral("127.0.0.139"), QStringLiteral("--adapter"),
             QStringLiteral("127.0.0.120")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.trimmed().endsWith(plain(TextIpSetupNoAnswer)));
}

void TestSetupCli::pingAnswered() {
    const Result r =
        run({QStringLiteral("ping"), QStringLiteral("127.0.0.133"), QStringLiteral("--json")});
    if (r.exitCode == 3)
        QSKIP(qPrintable(QStringLiteral("no ICMP socket allowed here: ") + r.err));
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = jsonLines(r.out).value(0);
    QCOMPARE(o.value(QStringLiteral("sent")).toInt(), 2);
    QCOMPARE(o.value(QStringLiteral("answered")).toInt(), 2);
    QCOMPARE(o.value(QStringLiteral("ms")).toArray().size(), 2);
    const Result text = run({QStringLiteral("ping"), QStringLiteral("127.0.0.133"),
                             QStringLiteral("--count"), QStringLiteral("1")});
    QCOMPARE(text.exitCode, 0);
    QVERIFY(text.out.startsWith(plain(TextPingStart) + QStringLiteral(" 127.0.0.133\n") +
                                plain(TextPing) + QStringLiteral(" 1 - ") + plain(TextPingAnswer)));
}

void TestSetupCli::pingWithoutIcmpSocketSaysWhy() {
    // A user without raw sockets, in a network namespace of this test where
    // no group may open ICMP datagram sockets (a new namespace's default).
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || unshare.isEmpty() || setpriv.isEmpty())
        QSKIP("needs root, unshare and setpriv to play an unprivileged user");
    const Result r = run({QStringLiteral("ping"), QStringLiteral("127.0.0.1")},
                         {unshare, QStringLiteral("-n"), setpriv, QStringLiteral("--reuid=65534"),
                          QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                          QStringLiteral("--")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains(plain(TextPingImpossible)), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestSetupCli)
#include "tst_setupcli.moc"
