// The search engine and kestrune-cli scan against the simulator's default
// installation, moved to 127.0.0.160..169, without line timing and with
// short waits so that a whole scan takes seconds.
#include "base/IniFile.h"
#include "base/Language.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "search/SearchEngine.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrune;
using simproc::SimProcess;

namespace {

const QString K1Host = QStringLiteral("127.0.0.160");
const QString K2Host = QStringLiteral("127.0.0.161");
constexpr quint16 MBusPort = 10001;
constexpr int ProbeWait = 60; // SND_NKE wait of the tests, ms

// Records the questions and answers them as told.
class Answers : public SearchQuestions {
public:
    bool yes = false;
    QStringList asked;
    bool confirmK2Speed(const QString& q) override {
        asked << QStringLiteral("k2:") + q;
        return yes;
    }
    bool confirmUnknownSpeed(const QString& q) override {
        asked << QStringLiteral("unknown:") + q;
        return yes;
    }
};

// When each row was added and decided, in ms since the start of the run.
struct RowTimes {
    QList<qint64> added, changed;
};

} // namespace

class TestSearch : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SimProcess m_sim;
    QString m_iniPath;
    Link m_link;
    std::unique_ptr<IniFile> m_ini;
    QHash<QString, QString> m_meterIds; // gateway -> ids of its meters

    void writeIni(int collisionPrim, int collisionSec) {
        QFile f(m_iniPath);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral("[Search]\r\n"
                               "SND_NKE_Timeout_2400_K1=%1\r\nRSP_UD2_Timeout_2400_K1=800\r\n"
                               "SND_NKE_Timeout_2400_K2=%2\r\nRSP_UD2_Timeout_2400_K2=900\r\n"
                               "CollisionPrimDelay=%3\r\nCollisionSecDelay=%4\r\n"
                               "[IP]\r\nUDPTimeOut=300\r\n")
                    .arg(ProbeWait)
                    .arg(ProbeWait + 10)
                    .arg(collisionPrim)
                    .arg(collisionSec)
                    .toLatin1());
    }

    SearchSettings settings(const QString& host = K2Host) const {
        SearchSettings s;
        s.link.mode = ConnectionMode::Udp;
        s.link.host = host;
        s.link.port = MBusPort;
        s.busDelay = 0;
        s.typedAddress = host;
        return s;
    }

    SearchSettings secondary(const QString& mask) const {
        SearchSettings s = settings();
        s.method = SearchMethod::Secondary;
        s.maskId = mask;
        return s;
    }

    // Runs a search and notes when each row came and went.
    SearchEngine::Outcome run(SearchEngine& engine, const SearchSettings& s,
                              RowTimes* times = nullptr) {
        QElapsedTimer clock;
        clock.start();
        QMetaObject::Connection a, c;
        if (times) {
            a = connect(&engine, &SearchEngine::rowAdded, this,
                        [&](int, const ProbeResult&) { times->added << clock.elapsed(); });
            c = connect(&engine, &SearchEngine::rowChanged, this,
                        [&](int, const ProbeResult&) { times->changed << clock.elapsed(); });
        }
        const SearchEngine::Outcome o = engine.run(s);
        disconnect(a);
        disconnect(c);
        return o;
    }

    static const ProbeResult* rowProbing(const SearchEngine& engine, const QString& probed) {
        for (const ProbeResult& r : engine.rows())
            if (r.cell(1) == probed)
                return &r;
        return nullptr;
    }

    static QStringList probed(const SearchEngine& engine) {
        QStringList l;
        for (const ProbeResult& r : engine.rows())
            l << r.cell(1);
        return l;
    }

    using CliResult = programrun::Result;
    CliResult cli(const QStringList& arguments, int interruptAfterMs = -1) {
        return programrun::run(
            QStringLiteral(KESTRUNE_CLI_PATH),
            QStringList{QStringLiteral("--udp"), K2Host + QStringLiteral(":10001"),
                        QStringLiteral("--ini"), m_iniPath, QStringLiteral("--bus-delay"),
                        QStringLiteral("0")} +
                arguments,
            fixture::programEnvironment(QStringLiteral(KESTRUNE_BINARY_DIR),
                                        m_dir.filePath(QStringLiteral("config"))),
            60000, interruptAfterMs);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(fixture::loadLanguage());
        m_iniPath = m_dir.filePath(QStringLiteral("Kestrune.INI"));
        writeIni(400, 0);
        m_ini = std::make_unique<IniFile>(m_iniPath);

        // The default installation, moved into this test's addresses, with
        // answers at once and a quick K2.
        QProcess print;
        print.start(simproc::simProgram(), {QStringLiteral("--print-config")});
        QVERIFY(print.waitForFinished(5000));
        QString config = QString::fromUtf8(print.readAllStandardOutput());
        QVERIFY(config.contains(QStringLiteral("[gateway gw2]")));
        config.replace(QStringLiteral("127.255.255.255:30718"),
                       QStringLiteral("127.0.0.169:27718"));
        config.replace(QStringLiteral("dhcp-first = 127.0.0.100"),
                       QStringLiteral("dhcp-first = 127.0.0.165"));
        config.replace(QStringLiteral("address = 127.0.0.2\n"),
                       QStringLiteral("address = 127.0.0.160\n"));
        config.replace(QStringLiteral("address = 127.0.0.3\n"),
                       QStringLiteral("address = 127.0.0.161\n"));
        config.replace(QStringLiteral("address = 127.0.0.4\n"),
                       QStringLiteral("address = 127.0.0.162\n"));
        config.replace(QStringLiteral("forward-delay-ms = 100"),
                       QStringLiteral("forward-delay-ms = 5"));
        config.replace(QRegularExpression(QStringLiteral("reply-delay-ms = \\d+\\n")), QString());
        config.replace(QRegularExpression(QStringLiteral("(\\[gateway gw\\d\\]\\n)")),
                       QStringLiteral("\\1line-timing = no\nreply-delay-ms = 2\n"));
        QVERIFY2(m_sim.startIn(m_dir.path(), config.toUtf8()), m_sim.errors.constData());
        static const QRegularExpression meterLine(
            QStringLiteral("^meter on (\\w+) address \\d+ id (\\d{8}) "));
        for (const QString& l : std::as_const(m_sim.lines)) {
            const QRegularExpressionMatch m = meterLine.match(l);
            if (m.hasMatch())
                m_meterIds[m.captured(1)] += m.captured(2) + QLatin1Char(' ');
        }
        QVERIFY(m_meterIds.value(QStringLiteral("gw2")).contains(QStringLiteral("12000071")));
    }

    void cleanupTestCase() {
        m_link.closeConnection();
        QCOMPARE(m_sim.stopCleanly(), QString());
    }

    // A primary scan of the whole range over the K2: every meter found with
    // its identification, the shared address 1 a collision that gets no
    // REQ_UD2 and holds the next telegram back by CollisionPrimDelay.
    void primaryWholeRange() {
        Answers answers;
        SearchEngine engine(m_link, *m_ini, &answers);
        SearchSettings s = settings();
        RowTimes times;
        QCOMPARE(run(engine, s, &times), SearchEngine::Outcome::Completed);
        QCOMPARE(engine.rows().size(), 251);
        QCOMPARE(engine.baudText(), QStringLiteral("2400"));
        QCOMPARE(engine.portSettings(), QStringLiteral("UDP: 127.0.0.161:10001"));
        QVERIFY(answers.asked.isEmpty());

        const ProbeResult& one = engine.rows().at(1);
        QCOMPARE(one.icon, int(ProbeResult::BadOrColliding));
        QCOMPARE(one.cell(3), getText(825));
        QCOMPARE(one.cell(4), QString()); // no REQ_UD2 after a collision
        // CollisionPrimDelay (400 ms) of silence before address 2.
        QVERIFY2(times.changed.at(2) - times.changed.at(1) >= 400,
                 qPrintable(QString::number(times.changed.at(2) - times.changed.at(1))));
        QVERIFY(times.changed.at(3) - times.changed.at(2) < 400);

        const QHash<int, QString> found{
            {2, QStringLiteral("12000071")},  {4, QStringLiteral("11216345")},
            {6, QStringLiteral("12000093")},  {7, QStringLiteral("12082058")},
            {22, QStringLiteral("11216301")}, {250, QStringLiteral("23456789")}};
        for (int a = 0; a <= 250; ++a) {
            const ProbeResult& r = engine.rows().at(a);
            QCOMPARE(r.cell(1), QString::number(a));
            if (a == 1)
                continue;
            if (found.contains(a)) {
                QCOMPARE(r.icon, int(ProbeResult::Correct));
                QCOMPARE(r.cell(2), QString::number(a));
                QCOMPARE(r.cell(3), QStringLiteral("Ok"));
                QCOMPARE(r.cell(4), QStringLiteral("Ok"));
                QCOMPARE(r.cell(5), found.value(a));
            } else {
                QCOMPARE(r.icon, int(ProbeResult::NoAnswer));
                QCOMPARE(r.cell(3), QStringLiteral("--"));
            }
        }
        QCOMPARE(engine.rows().at(2).cell(6), QStringLiteral("ACW (0477h)"));
        QCOMPARE(engine.rows().at(7).cell(8), QStringLiteral("Gas (03h)"));
        QCOMPARE(engine.counters().sndNkeFound, 6);
        QCOMPARE(engine.counters().rspUd2Found, 6);
        QCOMPARE(engine.counters().numberOfScans, 251);
    }

    // Check_SND_NKE / Check_REQ_UD2 over addresses 0..2 and what "view
    // found only" keeps.
    void primarySwitches_data() {
        QTest::addColumn<bool>("sndNke");
        QTest::addColumn<bool>("reqUd2");
        QTest::addColumn<QStringList>("first");  // column 3 of addresses 0..2
        QTest::addColumn<QStringList>("second"); // column 4
        QTest::addColumn<QList<int>>("icons");
        QTest::addColumn<int>("foundOnly"); // rows kept with view found only
        const QString c = QStringLiteral("825");
        QTest::newRow("both") << true << true << QStringList{"--", c, "Ok"}
                              << QStringList{"", "", "Ok"} << QList<int>{1, 3, 2} << 2;
        QTest::newRow("SND_NKE only") << true << false << QStringList{"--", c, "Ok"}
                                      << QStringList{"", "", ""} << QList<int>{1, 3, 2} << 2;
        // Without SND_NKE the REQ_UD2 meets the collision itself.
        QTest::newRow("REQ_UD2 only") << false << true << QStringList{"", "", ""}
                                      << QStringList{"--", c, "Ok"} << QList<int>{1, 3, 2} << 2;
    }
    void primarySwitches() {
        QFETCH(bool, sndNke);
        QFETCH(bool, reqUd2);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QList<int>, icons);
        QFETCH(int, foundOnly);
        SearchEngine engine(m_link, *m_ini, nullptr);
        SearchSettings s = settings();
        s.low = 0;
        s.high = 2;
        s.sndNke = sndNke;
        s.reqUd2 = reqUd2;
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Completed);
        QCOMPARE(engine.rows().size(), 3);
        int kept = 0;
        for (int a = 0; a < 3; ++a) {
            const ProbeResult& r = engine.rows().at(a);
            const auto expect = [](const QString& e) {
                return e == QLatin1String("825") ? getText(825) : e;
            };
            QCOMPARE(r.cell(3), expect(first[a]));
            QCOMPARE(r.cell(4), expect(second[a]));
            QCOMPARE(r.icon, icons[a]);
            kept += keptWhenFoundOnly(SearchMethod::Primary, r) ? 1 : 0;
        }
        QCOMPARE(kept, foundOnly);
    }

    // From FFFFFFFF every meter of the K2's bus is found exactly once and
    // read through 253; the shared leading digits are descended through.
    void secondaryWholeBus() {
        SearchEngine engine(m_link, *m_ini, nullptr);
        QCOMPARE(run(engine, secondary(QStringLiteral("FFFFFFFF"))),
                 SearchEngine::Outcome::Completed);
        QStringList found;
        for (const ProbeResult& r : engine.rows()) {
            if (r.icon != ProbeResult::Correct)
                continue;
            QCOMPARE(r.cell(4), QStringLiteral("Ok"));
            QCOMPARE(r.cell(5), r.cell(1)); // the data read names the meter selected
            found << r.cell(1);
        }
        QStringList expected =
            m_meterIds.value(QStringLiteral("gw2")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        // Several meters under 1 and under 12: collisions, not a clean E5.
        for (const QString& mask :
             {QStringLiteral("1FFFFFFF"), QStringLiteral("12FFFFFF"), QStringLiteral("1200FFFF")}) {
            const ProbeResult* r = rowProbing(engine, mask);
            QVERIFY2(r, qPrintable(mask));
            QCOMPARE(r->icon, int(ProbeResult::BadOrColliding));
            QCOMPARE(r->cell(3), getText(825));
        }
        // One meter alone under 7: one clean E5, still descended.
        const ProbeResult* seven = rowProbing(engine, QStringLiteral("7FFFFFFF"));
        QVERIFY(seven);
        QCOMPARE(seven->icon, int(ProbeResult::SingleE5));
        QCOMPARE(seven->cell(3), getText(825) + QLatin1Char('?'));
        QVERIFY(rowProbing(engine, QStringLiteral("78FFFFFF")));
        // Depth first: the whole subtree of 1 before 2 is tried.
        const QStringList order = probed(engine);
        QVERIFY(order.indexOf(QStringLiteral("11216345")) <
                order.indexOf(QStringLiteral("2FFFFFFF")));
        QCOMPARE(order.indexOf(QStringLiteral("10FFFFFF")),
                 order.indexOf(QStringLiteral("1FFFFFFF")) + 1);
        QCOMPARE(engine.counters().numberOfScans, engine.rows().size());
        QCOMPARE(engine.counters().rspUd2Found, expected.size());
    }

    // The order of the tree: ten probes a level, digits after the first F
    // varied once the search reaches them, and what a mask without F does.
    void secondaryOrder_data() {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QStringList>("expected"); // probes in order
        QStringList tenOf1200007;
        for (int i = 0; i <= 9; ++i)
            tenOf1200007 << QStringLiteral("1200007%1").arg(i);
        QTest::newRow("last digit") << "1200007F" << tenOf1200007;
        // The 0 at position 6 is overwritten at the next level.
        QStringList deeper;
        for (int i = 0; i <= 9; ++i) {
            deeper << QStringLiteral("120000%1F").arg(i);
            if (i == 7) {
                for (int j = 0; j <= 9; ++j)
                    deeper << QStringLiteral("1200007%1").arg(j);
            }
            if (i == 9) {
                for (int j = 0; j <= 9; ++j)
                    deeper << QStringLiteral("1200009%1").arg(j);
            }
        }
        QTest::newRow("two levels") << "120000FF" << deeper;
        QTest::newRow("no F: one probe") << "12000071" << QStringList{"12000071"};
    }
    void secondaryOrder() {
        QFETCH(QString, mask);
        QFETCH(QStringList, expected);
        SearchEngine engine(m_link, *m_ini, nullptr);
        QCOMPARE(run(engine, secondary(mask)), SearchEngine::Outcome::Completed);
        const QStringList order = probed(engine);
        QCOMPARE(order, expected);
        if (mask == QLatin1String("12000071")) {
            QCOMPARE(engine.rows().at(0).icon, int(ProbeResult::Correct));
            QCOMPARE(engine.counters().numberOfScans, 1);
        }
    }

    // The user's 0 at position 5 is sent only until the search reaches that
    // position; from then on it is varied like a wildcard.
    void secondaryDigitsAfterFirstF() {
        SearchEngine engine(m_link, *m_ini, nullptr);
        QCOMPARE(run(engine, secondary(QStringLiteral("1200F0FF"))),
                 SearchEngine::Outcome::Completed);
        const QStringList order = probed(engine);
        QCOMPARE(order.mid(0, 3),
                 (QStringList{QStringLiteral("120000FF"), QStringLiteral("120000FF"),
                              QStringLiteral("1200000F")}));
        QVERIFY(order.contains(QStringLiteral("120001FF")));
        QVERIFY(order.contains(QStringLiteral("1200010F")) == false);
        // 10 at each of positions 4 and 5, 10 under 120000, 10 under each of
        // 1200007 and 1200009.
        QCOMPARE(order.size(), 50);
    }

    // CollisionSecDelay holds back every telegram inside a subtree, and only
    // there.
    void collisionDelayInsideSubtree() {
        writeIni(400, 300);
        SearchEngine engine(m_link, *m_ini, nullptr);
        RowTimes t;
        QCOMPARE(
            run(engine, secondary(QStringLiteral("1200007F").left(6) + QStringLiteral("FF")), &t),
            SearchEngine::Outcome::Completed);
        writeIni(400, 0);
        const QStringList order = probed(engine);
        const int parent = int(order.indexOf(QStringLiteral("1200007F")));
        QVERIFY(parent >= 0);
        // Inside: each probe starts CollisionSecDelay after the last reply.
        for (int i = parent + 1; i <= parent + 10; ++i)
            QVERIFY2(t.changed.at(i) - t.changed.at(i - 1) >= 300, qPrintable(order.at(i)));
        // The first probe after the subtree goes out with the bus delay (0).
        QCOMPARE(order.at(parent + 11), QStringLiteral("1200008F"));
        QVERIFY(t.changed.at(parent + 11) - t.changed.at(parent + 10) < 250);
    }

    // A fabrication-number search finds the one meter with that number.
    void fabricationSearch() {
        SearchEngine engine(m_link, *m_ini, nullptr);
        SearchSettings s = secondary(QStringLiteral("FFFFFFFF"));
        s.useFabrication = true;
        s.fabrication = QStringLiteral("00182007");
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Completed);
        QStringList found;
        for (const ProbeResult& r : engine.rows())
            if (r.icon == ProbeResult::Correct)
                found << r.cell(5);
        QCOMPARE(found, QStringList{QStringLiteral("12000093")});
    }

    // Abort takes effect before the next address or digit.
    void abortInTheMiddle_data() {
        QTest::addColumn<int>("method");
        QTest::newRow("primary") << int(SearchMethod::Primary);
        QTest::newRow("secondary") << int(SearchMethod::Secondary);
    }
    void abortInTheMiddle() {
        QFETCH(int, method);
        SearchEngine engine(m_link, *m_ini, nullptr);
        connect(&engine, &SearchEngine::rowChanged, this, [&](int index, const ProbeResult&) {
            if (index == 4)
                engine.abort();
        });
        int progressLast = -1, progressMin = -1;
        connect(&engine, &SearchEngine::progressRangeChanged, this,
                [&](int minimum, int) { progressMin = minimum; });
        connect(&engine, &SearchEngine::progressChanged, this, [&](int v) { progressLast = v; });
        SearchSettings s = method == int(SearchMethod::Primary)
                               ? settings()
                               : secondary(QStringLiteral("FFFFFFFF"));
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Aborted);
        QCOMPARE(engine.rows().size(), 5);
        QCOMPARE(progressLast, progressMin);
    }

    // The waits per speed and family, and the defaults for any other speed.
    void timeoutSelection_data() {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("sndNke");
        QTest::addColumn<int>("rspUd2");
        QTest::newRow("2400 K1") << "2400" << 0 << ProbeWait << 800;
        QTest::newRow("2400 K2") << "2400" << 1 << ProbeWait + 10 << 900;
        QTest::newRow("4800: no key") << "4800" << 0 << 1000 << 10000;
        QTest::newRow("unknown speed") << "" << 1 << 1000 << 10000;
        QTest::newRow("300 not stored") << "300" << 0 << 1000 << 10000;
    }
    void timeoutSelection() {
        QFETCH(QString, baud);
        QFETCH(int, family);
        const SearchTimeouts t = searchTimeouts(*m_ini, baud, GatewayFamily(family));
        QTEST(t.sndNke, "sndNke");
        QTEST(t.rspUd2, "rspUd2");
    }

    // A value that is not a number keeps the wait the search had; the
    // speed buttons' captions.
    void timeoutTableText() {
        IniFile ini(m_dir.filePath(QStringLiteral("table.ini")));
        QVERIFY(ini.write(QStringLiteral("Search"), QStringLiteral("SND_NKE_Timeout_300_K2"),
                          QStringLiteral("4000")));
        QVERIFY(ini.write(QStringLiteral("Search"), QStringLiteral("RSP_UD2_Timeout_300_K2"),
                          QStringLiteral("abc")));
        const SearchTimeouts t =
            searchTimeouts(ini, QStringLiteral("300"), GatewayFamily::K2, SearchTimeouts{7, 77});
        QCOMPARE(t.sndNke, 4000);
        QCOMPARE(t.rspUd2, 77);
        QCOMPARE(speedChoiceCaption(ini, 2, GatewayFamily::K1),
                 QStringLiteral("1000 ms/10000 ms (9600 bps)"));
    }

    // The bus-speed questions: a K2 chosen on the discovery page, and a
    // gateway whose setup record cannot be read.
    void speedQuestions() {
        Answers answers;
        SearchEngine engine(m_link, *m_ini, &answers);
        SearchSettings s = settings(QStringLiteral("127.0.0.168")); // nobody there
        s.low = s.high = 0;
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Abandoned);
        QCOMPARE(answers.asked.size(), 1);
        QVERIFY(answers.asked[0].startsWith(QStringLiteral("unknown:") + getText(833) +
                                            QStringLiteral(" 127.0.0.168, ")));
        QCOMPARE(engine.portSettings(), getText(839) + QStringLiteral(" 127.0.0.168"));
        QVERIFY(engine.rows().isEmpty());

        answers.yes = true;
        s.speedChoice = 1;
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Completed);
        QVERIFY(engine.speedChoiceShown());
        QCOMPARE(engine.baudText(), QStringLiteral("2400")); // the speed button's
        QCOMPARE(engine.timeouts().sndNke, ProbeWait);

        // A K2 chosen on the discovery page is asked about once per host.
        answers.asked.clear();
        SearchEngine k2(m_link, *m_ini, &answers);
        SearchSettings k = settings();
        k.low = k.high = 2;
        k.chosenDeviceKind = 2;
        k.chosenDeviceIp = K2Host;
        QCOMPARE(run(k2, k), SearchEngine::Outcome::Completed);
        QCOMPARE(run(k2, k), SearchEngine::Outcome::Completed);
        QCOMPARE(answers.asked.size(), 1);
        QVERIFY(answers.asked[0].startsWith(QStringLiteral("k2:") + getText(829)));
        QCOMPARE(k2.rows().at(0).icon, int(ProbeResult::Correct));
    }

    // The verbose notes of SearchReceive.
    void verboseNotes() {
        TrafficLog& log = trafficLog();
        log.setActive(true);
        log.clear();
        log.setVerboseSearchLog(true);
        SearchEngine engine(m_link, *m_ini, nullptr);
        SearchSettings s = settings();
        s.low = 0;
        s.high = 2;
        QCOMPARE(run(engine, s), SearchEngine::Outcome::Completed);
        log.setVerboseSearchLog(false);
        const QString all = log.lines().join(QLatin1Char('\n'));
        log.setActive(false);
        QVERIFY2(all.contains(QStringLiteral("BusTimeout")), qPrintable(all));
        QVERIFY(all.contains(QStringLiteral("Received 1 byte")));
        QVERIFY(QRegularExpression(QStringLiteral("Received \\d{2,3} byte")).match(all).hasMatch());
    }

    // kestrune-cli scan through the real program.
    void cli_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("lines");        // lines on standard output (-1: any)
        QTest::addColumn<QString>("contains"); // text on standard output or error
        QTest::newRow("primary") << QStringList{"scan", "primary", "0", "2"} << 0 << 4
                                 << "12000071";
        QTest::newRow("json") << QStringList{"scan", "primary", "2", "2", "--json"} << 0 << 1
                              << "\"identification\":\"12000071\"";
        QTest::newRow("found only")
            << QStringList{"scan", "primary", "0", "3", "--found-only"} << 0 << 3 << "Collision";
        QTest::newRow("secondary one meter")
            << QStringList{"scan", "secondary", "1200009F"} << 0 << 11 << "GWF (1EE6h)";
        QTest::newRow("high above 251")
            << QStringList{"scan", "primary", "0", "252"} << 2 << 0 << "LOW and HIGH";
        QTest::newRow("nothing to send")
            << QStringList{"scan", "primary", "0", "1", "--no-snd-nke", "--no-req-ud2"} << 2 << 0
            << "nothing to send";
        QTest::newRow("short mask")
            << QStringList{"scan", "secondary", "12AB"} << 2 << 0 << "8 digits";
        QTest::newRow("unknown method")
            << QStringList{"scan", "tertiary"} << 2 << 0 << "unknown method";
    }
    void cli() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, lines);
        QFETCH(QString, contains);
        const CliResult r = cli(arguments);
        QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
        if (lines >= 0)
            QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), lines);
        QVERIFY2(r.out.contains(contains) || r.err.contains(contains), qPrintable(r.out + r.err));
    }

    // The exports of kestrune-cli scan, and Ctrl-C in the middle.
    void cliExportsAndInterrupt() {
        const QString csv = m_dir.filePath(QStringLiteral("scan.csv"));
        const QString report = m_dir.filePath(QStringLiteral("scan.txt"));
        const CliResult r =
            cli({QStringLiteral("scan"), QStringLiteral("secondary"), QStringLiteral("1200009F"),
                 QStringLiteral("--csv"), csv, QStringLiteral("--report"), report});
        QCOMPARE(r.exitCode, 0);
        QFile c(csv);
        QVERIFY(c.open(QIODevice::ReadOnly));
        const QByteArray csvText = c.readAll();
        QVERIFY(csvText.contains("#Portsettings: UDP: 127.0.0.161:10001\r\n"));
        QVERIFY(csvText.contains("\r\n12000093,1EE6,35,07\r\n"));
        QFile t(report);
        QVERIFY(t.open(QIODevice::ReadOnly));
        QVERIFY(t.readAll().startsWith("ADDRESS INFO\r\n"));

        // Ctrl-C: the rows so far are printed and saved, exit 130.
        const CliResult i =
            cli({QStringLiteral("scan"), QStringLiteral("primary"), QStringLiteral("0"),
                 QStringLiteral("250"), QStringLiteral("--csv"), csv},
                600);
        QCOMPARE(i.exitCode, 130);
        const int printed = int(i.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size()) - 1;
        QVERIFY2(printed > 0 && printed < 251, qPrintable(QString::number(printed)));
        QFile again(csv);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(int(again.readAll().count('\n')), 3 + printed);
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
