// The wizard's side (kestrune-cli) and a simulated K2 gateway in two network
// namespaces of this test, joined by a veth pair whose gateway end carries
// the gateway's MAC address: discovery with the default broadcast address,
// the neighbour-table check, IP-SETUP to another address of the link, the
// record-0 reads at the new address, and a ping. The namespaces (and the
// veth pair with them) are removed however the test ends.
#include "base/Language.h"
#include "netsetup/SetupTexts.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimProcess.h"

#include <QCoreApplication>
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

const QString kPid = QString::number(QCoreApplication::applicationPid() % 100000);
const QString kWizardNs = QStringLiteral("kst-w-") + kPid;
const QString kGatewayNs = QStringLiteral("kst-g-") + kPid;
const QString kWizardEnd = QStringLiteral("kvw") + kPid;
const QString kGatewayEnd = QStringLiteral("kvg") + kPid;

const char kSimConfig[] = R"([simulator]
network = namespace
listen = 255.255.255.255:30718
dhcp-first = 10.213.0.4
tag-files = no

[gateway g]
family = K2
mac = 00-04-25-01-02-03
address = 10.213.0.2
restart-ms = 300
mbus-master = no
)";

// The wizard's INI: no broadcast address, so the default 255.255.255.255.
const QByteArray kIni = "[IP]\nScanTimeout=500\nUDPTimeOut=300\nResetTimeOut=5000\n"
                        "WriteTimeOut=5000\nNumberOfPings=2\nPingDelay=50\n";

using Result = programrun::Result;

Result runProgram(const QString& program, const QStringList& args, int limitMs = 30000,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    return programrun::run(program, args, env, limitMs);
}

// The two namespaces; removed when this goes out of scope, whatever happened.
class PrivateLink {
public:
    explicit PrivateLink(QString ip) : m_ip(std::move(ip)) { remove(); }
    ~PrivateLink() { remove(); }
    PrivateLink(const PrivateLink&) = delete;
    PrivateLink& operator=(const PrivateLink&) = delete;

    // Empty on success, else the failing command and what it said.
    QString create() {
        const QList<QStringList> steps = {
            {"netns", "add", kWizardNs},
            {"netns", "add", kGatewayNs},
            {"-n", kWizardNs, "link", "add", kWizardEnd, "type", "veth", "peer", "name",
             kGatewayEnd, "netns", kGatewayNs},
            {"-n", kGatewayNs, "link", "set", kGatewayEnd, "address", "00:04:25:01:02:03"},
            {"-n", kWizardNs, "addr", "add", "10.213.0.1/24", "dev", kWizardEnd},
            {"-n", kGatewayNs, "addr", "add", "10.213.0.2/24", "dev", kGatewayEnd},
            {"-n", kGatewayNs, "addr", "add", "10.213.0.3/24", "dev", kGatewayEnd},
            {"-n", kWizardNs, "link", "set", "lo", "up"},
            {"-n", kGatewayNs, "link", "set", "lo", "up"},
            {"-n", kWizardNs, "link", "set", kWizardEnd, "up"},
            {"-n", kGatewayNs, "link", "set", kGatewayEnd, "up"},
        };
        for (const QStringList& step : steps) {
            const Result r = runProgram(m_ip, step, 10000);
            if (r.exitCode != 0)
                return QStringLiteral("ip %1: %2").arg(step.join(u' '), r.err.trimmed());
        }
        return {};
    }
    void remove() {
        // Deleting a namespace deletes the veth end in it, and with it the
        // pair.
        for (const QString& ns : {kWizardNs, kGatewayNs})
            runProgram(m_ip, {QStringLiteral("netns"), QStringLiteral("del"), ns}, 10000);
    }

private:
    QString m_ip;
};

QJsonObject firstJson(const QString& out) {
    return QJsonDocument::fromJson(out.section(u'\n', 0, 0).toUtf8()).object();
}

} // namespace

class TestNetns : public QObject {
    Q_OBJECT

    QString m_ip;
    QTemporaryDir m_dir;
    std::unique_ptr<PrivateLink> m_link;
    std::unique_ptr<simproc::SimProcess> m_sim;

    Result cli(const QStringList& args) {
        return runProgram(
            m_ip,
            QStringList{QStringLiteral("netns"), QStringLiteral("exec"), kWizardNs,
                        QStringLiteral(KESTRUNE_CLI_PATH)} +
                args,
            30000,
            fixture::programEnvironment(m_dir.path(), m_dir.filePath(QStringLiteral("config"))));
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void discoverFindsTheGatewayAndItsHardwareAddress();
    void ipSetupMovesItAndRecordZeroIsReadThere();
    void pingIsAnswered();
};

void TestNetns::initTestCase() {
    m_ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (::geteuid() != 0)
        QSKIP("needs root to create network namespaces");
    if (m_ip.isEmpty())
        QSKIP("needs the ip program (iproute2) to create network namespaces");
    QVERIFY(fixture::loadLanguage());
    m_link = std::make_unique<PrivateLink>(m_ip);
    const QString failed = m_link->create();
    if (!failed.isEmpty()) {
        m_link.reset();
        // Root without the right to make namespaces (a restricted container).
        if (failed.startsWith(QStringLiteral("ip netns add")))
            QSKIP(qPrintable(QStringLiteral("network namespaces not available: ") + failed));
        QFAIL(qPrintable(failed));
    }
    QCOMPARE(fixture::writeFile(m_dir.filePath(QStringLiteral("Kestrune.INI")), kIni), QString());
    // "ip netns exec" becomes the simulator (same process), so the usual
    // helper starts and ends it by its own process id.
    m_sim = std::make_unique<simproc::SimProcess>(m_ip);
    QVERIFY2(m_sim->startIn(m_dir.path(), kSimConfig,
                            {QStringLiteral("netns"), QStringLiteral("exec"), kGatewayNs,
                             simproc::simProgram()}),
             m_sim->errors.constData());
    QVERIFY(m_sim->hasLine(QStringLiteral("sim discovery udp 255.255.255.255:30718")));
}

void TestNetns::cleanupTestCase() {
    if (m_sim && m_sim->proc.state() == QProcess::Running) {
        QCOMPARE(m_sim->stopCleanly(), QString());
        m_sim.reset();
    }
    m_link.reset();
}

void TestNetns::discoverFindsTheGatewayAndItsHardwareAddress() {
    const Result r = cli({QStringLiteral("discover"), QStringLiteral("--json")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    const QJsonObject d = firstJson(r.out);
    QCOMPARE(d.value(QStringLiteral("ip")).toString(), QStringLiteral("10.213.0.2"));
    QCOMPARE(d.value(QStringLiteral("mac")).toString(), QStringLiteral("00-04-25-01-02-03"));
    QCOMPARE(d.value(QStringLiteral("type")).toString(), QStringLiteral("K2"));
    QCOMPARE(d.value(QStringLiteral("identity")).toString(), QStringLiteral("41976066"));
    QVERIFY(d.value(QStringLiteral("reachable")).toBool());
    QCOMPARE(d.value(QStringLiteral("info")).toString(), getText(TextReachable));
}

void TestNetns::ipSetupMovesItAndRecordZeroIsReadThere() {
    Result r = cli({QStringLiteral("ip-setup"), QStringLiteral("00-04-25-01-02-03"),
                    QStringLiteral("10.213.0.3"), QStringLiteral("--gateway"),
                    QStringLiteral("10.213.0.254"), QStringLiteral("--mask"),
                    QStringLiteral("255.255.255.0")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway g moved to 10.213.0.3")));
    r = cli({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--host"), QStringLiteral("10.213.0.3"), QStringLiteral("--json")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QJsonObject o = firstJson(r.out);
    QCOMPARE(o.value(QStringLiteral("ip")).toString(), QStringLiteral("10.213.0.3"));
    QCOMPARE(o.value(QStringLiteral("gateway")).toString(), QStringLiteral("10.213.0.254"));
    QCOMPARE(o.value(QStringLiteral("mask")).toString(), QStringLiteral("255.255.255.0"));
    // Nobody is left at the old address.
    r = cli({QStringLiteral("record"), QStringLiteral("get"), QStringLiteral("0"),
             QStringLiteral("--host"), QStringLiteral("10.213.0.2")});
    QCOMPARE(r.exitCode, 1);
}

void TestNetns::pingIsAnswered() {
    Result r =
        cli({QStringLiteral("ping"), QStringLiteral("10.213.0.3"), QStringLiteral("--json")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QJsonObject o = firstJson(r.out);
    QCOMPARE(o.value(QStringLiteral("answered")).toInt(), 2);
    // An address of the link nobody has: no answer.
    r = cli({QStringLiteral("ping"), QStringLiteral("10.213.0.77"), QStringLiteral("--count"),
             QStringLiteral("1")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.contains(getText(TextPingNoAnswer)));
}

QTEST_GUILESS_MAIN(TestNetns)
#include "tst_netns.moc"
