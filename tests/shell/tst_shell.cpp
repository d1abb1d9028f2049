// Shell logic without widgets: the Next and Back tables, the command-line
// switch, the program directory, the saved options and twips.

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "tests/simprogram/ProgramFixture.h"
#include "wizard/Navigation.h"
#include "wizard/PageRules.h"
#include "wizard/ShellState.h"

#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;

Q_DECLARE_METATYPE(kestrune::NavigationInput)
Q_DECLARE_METATYPE(kestrune::Transition)

namespace {

NavigationInput at(int page, int task = 0) {
    NavigationInput in;
    in.page = page;
    in.task = task;
    return in;
}

Transition to(int target, int selectTask = -1) {
    Transition t;
    t.moves = true;
    t.target = target;
    t.selectTask = selectTask;
    return t;
}

Transition stays() {
    return Transition{};
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void nextTable_data();
    void nextTable();
    void backTable_data();
    void backTable();
    void serialRouteOfTask3();
    void nextEnabledOnEntry_data();
    void nextEnabledOnEntry();

    void baudRateList_data();
    void baudRateList();
    void storedPort_data();
    void storedPort();
    void timeoutSections();
    void failureTexts();
    void plainIPv4_data();
    void plainIPv4();

    void debugSwitch_data();
    void debugSwitch();
    void programDirSeparator_data();
    void programDirSeparator();

    void firstRunDefaults();
    void savedOptionsRestored();
    void damagedOptionsFallBack_data();
    void damagedOptionsFallBack();
    void taskClickStoresAtOnce();
    void noAdapterFlag();

    void twips_data();
    void twips();

    void defaultIni_data();
    void defaultIni();
    void defaultIniHasNoTestAddresses();

private:
    QTemporaryDir m_config;
};

void TestShell::initTestCase() {
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
}

void TestShell::init() {
    // Every test starts with an empty settings store.
    fixture::clearUserSettings({});
}

void TestShell::nextTable_data() {
    QTest::addColumn<NavigationInput>("in");
    QTest::addColumn<Transition>("expected");

    QTest::newRow("0 -> 1") << at(0) << to(1);
    QTest::newRow("1 task 0 -> 10") << at(1, 0) << to(10);
    QTest::newRow("1 task 1 -> 20") << at(1, 1) << to(20);
    QTest::newRow("1 task 2 -> 30") << at(1, 2) << to(30);
    for (int task = 3; task <= 8; ++task)
        QTest::addRow("1 task %d -> 40", task) << at(1, task) << to(40);
    QTest::newRow("10 -> 1") << at(10) << to(1);
    QTest::newRow("20 -> 21") << at(20, 1) << to(21);

    NavigationInput in = at(21, 1);
    QTest::newRow("21 network -> 22") << in << to(22);
    in.changeIpSettings = 1;
    QTest::newRow("21 serial -> 23") << in << to(23);

    QTest::newRow("22 -> 1, task 2") << at(22, 1) << to(1, 2);
    QTest::newRow("23 task 1 -> 1, task 2") << at(23, 1) << to(1, 2);
    QTest::newRow("23 task 3 -> 50") << at(23, 3) << to(50);

    QTest::newRow("30 -> 1, task 3") << at(30, 2) << to(1, 3);
    in = at(30, 2);
    in.task3Enabled = false;
    QTest::newRow("30, task 3 withheld -> 1, task 4") << in << to(1, 4);

    in = at(40, 3);
    QTest::newRow("40 task 3 network -> 50") << in << to(50);
    in.enterIpAddress = 1;
    QTest::newRow("40 task 3 serial -> 23") << in << to(23);
    QTest::newRow("40 task 4 -> 60") << at(40, 4) << to(60);
    QTest::newRow("40 task 5 -> 70") << at(40, 5) << to(70);
    QTest::newRow("40 task 6 -> 80") << at(40, 6) << to(80);
    QTest::newRow("40 task 7 -> 90") << at(40, 7) << to(90);
    QTest::newRow("40 task 8 -> 100") << at(40, 8) << to(100);
    in = at(40, 4);
    in.enterIpAddress = 1;
    QTest::newRow("40 task 4 serial -> 60") << in << to(60);

    QTest::newRow("50 -> 55") << at(50, 3) << to(55);
    Transition closePort = to(1, 4);
    closePort.closeSerialPort = true;
    QTest::newRow("55 closes the port -> 1, task 4") << at(55, 3) << closePort;

    for (int p : {60, 70, 80, 90, 100})
        QTest::addRow("%d: Next does nothing", p) << at(p, 4) << stays();

    // The forced next page wins over the table and is reset.
    in = at(22, 1);
    in.forcedNextPage = 10;
    Transition forced = to(10);
    forced.resetForcedNextPage = true;
    QTest::newRow("forced 10 from 22") << in << forced;
    in = at(1, 5);
    in.forcedNextPage = 30;
    forced.target = 30;
    QTest::newRow("forced 30 from 1") << in << forced;
    in.forcedNextPage = 7; // not a page: ignored
    QTest::newRow("forced to no page is ignored") << in << to(40);

    // Without a usable adapter the network pages are refused.
    auto refused = [](int target) {
        Transition t = to(target);
        t.refusedNoAdapter = true;
        return t;
    };
    in = at(1, 0);
    in.noAdapter = true;
    QTest::newRow("no adapter: 10 refused -> 1") << in << refused(1);
    in = at(20, 1);
    in.noAdapter = true;
    QTest::newRow("no adapter: 21 network refused -> 20") << in << refused(20);
    in.changeIpSettings = 1;
    QTest::newRow("no adapter: 21 serial allowed") << in << to(21);
    in = at(40, 3);
    in.noAdapter = true;
    QTest::newRow("no adapter: 50 refused -> 40") << in << refused(40);
    // The serial route of task 3 reaches the gateway through its console.
    in = at(23, 3);
    in.noAdapter = true;
    in.enterIpAddress = 1;
    QTest::newRow("no adapter: 50 from 23 (serial link) allowed") << in << to(50);
    in = at(40, 4);
    in.noAdapter = true;
    QTest::newRow("no adapter: 60 network refused -> 40") << in << refused(40);
    in.enterIpAddress = 1;
    QTest::newRow("no adapter: 60 serial allowed") << in << to(60);
    in = at(40, 5);
    in.noAdapter = true;
    QTest::newRow("no adapter: 70 allowed") << in << to(70);
    in = at(30, 2);
    in.noAdapter = true;
    QTest::newRow("no adapter: 1 allowed, task 3 selected") << in << to(1, 3);
    in = at(22, 1);
    in.noAdapter = true;
    in.forcedNextPage = 10;
    Transition forcedRefused = refused(1);
    forcedRefused.resetForcedNextPage = true;
    QTest::newRow("no adapter: forced 10 refused -> 1") << in << forcedRefused;
}

void TestShell::nextTable() {
    QFETCH(NavigationInput, in);
    QFETCH(Transition, expected);
    const Transition t = nextPage(in);
    QCOMPARE(t.moves, expected.moves);
    if (!expected.moves)
        return;
    QCOMPARE(t.target, expected.target);
    QCOMPARE(t.selectTask, expected.selectTask);
    QCOMPARE(t.refusedNoAdapter, expected.refusedNoAdapter);
    QCOMPARE(t.closeSerialPort, expected.closeSerialPort);
    QCOMPARE(t.closeLink, expected.closeLink);
    QCOMPARE(t.resetForcedNextPage, expected.resetForcedNextPage);
    QVERIFY(isPage(t.target));
}

void TestShell::backTable_data() {
    QTest::addColumn<NavigationInput>("in");
    QTest::addColumn<Transition>("expected");

    QTest::newRow("0: Back does nothing") << at(0) << stays();
    QTest::newRow("1 -> 0") << at(1) << to(0);
    QTest::newRow("10 -> 1") << at(10, 0) << to(1);
    QTest::newRow("20 -> 1") << at(20, 1) << to(1);
    QTest::newRow("30 -> 1") << at(30, 2) << to(1);
    QTest::newRow("40 -> 1") << at(40, 5) << to(1);
    QTest::newRow("21 -> 20") << at(21, 1) << to(20);
    QTest::newRow("22 -> 21") << at(22, 1) << to(21);
    Transition closePort = to(21);
    closePort.closeSerialPort = true;
    QTest::newRow("23 task 1 closes the port -> 21") << at(23, 1) << closePort;
    QTest::newRow("23 task 3 -> 40") << at(23, 3) << to(40);
    QTest::newRow("50 network -> 40") << at(50, 3) << to(40);
    NavigationInput in = at(50, 3);
    in.enterIpAddress = 1;
    QTest::newRow("50 serial -> 23") << in << to(23);
    QTest::newRow("55 -> 50") << at(55, 3) << to(50);
    QTest::newRow("60 -> 40") << at(60, 4) << to(40);
    QTest::newRow("90 -> 40") << at(90, 7) << to(40);
    QTest::newRow("100 -> 40") << at(100, 8) << to(40);
    Transition closeLink = to(40);
    closeLink.closeLink = true;
    QTest::newRow("70 closes the link -> 40") << at(70, 5) << closeLink;
    QTest::newRow("80 closes the link -> 40") << at(80, 6) << closeLink;

    // Back always drops a forced next page, also where it doesn't move.
    in = at(22, 1);
    in.forcedNextPage = 10;
    QTest::newRow("forced page reset by Back") << in << to(21);
    in = at(0);
    in.forcedNextPage = 10;
    QTest::newRow("forced page reset on page 0") << in << stays();
}

void TestShell::backTable() {
    QFETCH(NavigationInput, in);
    QFETCH(Transition, expected);
    const Transition t = backPage(in);
    QVERIFY(t.resetForcedNextPage);
    QCOMPARE(t.moves, expected.moves);
    if (!expected.moves)
        return;
    QCOMPARE(t.target, expected.target);
    QCOMPARE(t.selectTask, -1);
    QCOMPARE(t.refusedNoAdapter, false);
    QCOMPARE(t.closeSerialPort, expected.closeSerialPort);
    QCOMPARE(t.closeLink, expected.closeLink);
}

void TestShell::serialRouteOfTask3() {
    // Task 3 over the serial console: 40 -> 23 -> 50 -> 55 -> 1, with task 4
    // selected at the end; Back from 50 returns to 23.
    NavigationInput in = at(40, 3);
    in.enterIpAddress = 1;
    QList<int> visited{in.page};
    for (int step = 0; step < 4; ++step) {
        const Transition t = nextPage(in);
        QVERIFY(t.moves);
        in.page = t.target;
        visited << in.page;
        if (t.selectTask >= 0)
            in.task = t.selectTask;
    }
    QCOMPARE(visited, (QList<int>{40, 23, 50, 55, 1}));
    QCOMPARE(in.task, 4);

    NavigationInput back = at(50, 3);
    back.enterIpAddress = 1;
    QCOMPARE(backPage(back).target, 23);
    back.page = 23;
    QCOMPARE(backPage(back).target, 40);
}

void TestShell::nextEnabledOnEntry_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("enabled");
    for (int p : page::All) {
        const bool enabled = p == 0 || p == 1 || p == 20 || p == 21 || p == 40 || p == 55;
        QTest::addRow("%d", p) << p << enabled;
    }
}

void TestShell::nextEnabledOnEntry() {
    QFETCH(int, page);
    QFETCH(bool, enabled);
    QCOMPARE(kestrune::nextEnabledOnEntry(page), enabled);
}

void TestShell::baudRateList_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<QStringList>("items");
    const QStringList mbus{"300", "600 (r)", "1200 (r)", "2400", "4800 (r)", "9600"};
    const QStringList full{"300", "600", "1200", "2400", "4800", "9600", "19200"};
    for (int task : {3, 4, 7, 8})
        QTest::addRow("task %d", task) << task << mbus;
    QTest::newRow("task 5") << 5 << full;
    QTest::newRow("task 6") << 6 << full;
}

void TestShell::baudRateList() {
    QFETCH(int, task);
    QFETCH(QStringList, items);
    QCOMPARE(baudRateItems(task, QStringLiteral("(r)")), items);
    // The stored position means the same speed as the link's list.
    const QStringList linkSpeeds = QStringLiteral("300;600;1200;2400;4800;9600;19200").split(';');
    for (int i = 0; i < items.size(); ++i)
        QVERIFY(items.at(i).startsWith(linkSpeeds.at(i)));
}

void TestShell::storedPort_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("usual") << "10001"
                           << "10001";
    QTest::newRow("largest") << "65535"
                             << "65535";
    QTest::newRow("one above") << "65536"
                               << "65535";
    QTest::newRow("70000") << "70000"
                           << "65535";
    QTest::newRow("beyond 64 bits") << "99999999999999999999999"
                                    << "65535";
    QTest::newRow("empty kept") << ""
                                << "";
    QTest::newRow("text kept") << "abc"
                               << "abc";
    QTest::newRow("trailing text, large") << "80000x"
                                          << "65535";
}

void TestShell::storedPort() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(portTextToStore(typed), stored);
}

void TestShell::timeoutSections() {
    QCOMPARE(timeoutSectionForPage(60), QStringLiteral("IP"));
    QCOMPARE(timeoutSectionForPage(70), QStringLiteral("ModBus"));
    QCOMPARE(timeoutSectionForPage(80), QStringLiteral("MBusASCII"));
    QCOMPARE(timeoutSectionForPage(90), QStringLiteral("PadPuls"));
    QCOMPARE(timeoutSectionForPage(100), QStringLiteral("FreePacketAndString"));
    for (int p : page::All)
        QCOMPARE(opensLink(p), p >= 60);
    for (int task = 0; task < ShellState::TaskCount; ++task)
        QCOMPARE(serialFormatShown(task), task >= 5);
}

void TestShell::failureTexts() {
    // The words come from the language file; in English they are these.
    QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/") +
                                     languageFileName(1)));
    QCOMPARE(parityItems(), (QStringList{"None", "Odd", "Even"}));
    QCOMPARE(meterPageFailureText("T158", ""), QStringLiteral("T158"));
    QCOMPARE(meterPageFailureText("T158", "refused"),
             QStringLiteral("T158\r\nError description: refused"));
    QCOMPARE(resultLabelFailureText("T158", ""), QStringLiteral("T158"));
    QCOMPARE(resultLabelFailureText("T158", "refused"), QStringLiteral("T158 Error: refused"));

    // Every language offers three different parities: the stored position
    // picks the line's N, O or E whatever the words.
    QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/") +
                                     languageFileName(49)));
    const QStringList german = parityItems();
    QCOMPARE(QSet<QString>(german.cbegin(), german.cend()).size(), 3);
    languageTable().clear();
}

void TestShell::plainIPv4_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("plain");
    QTest::newRow("usual") << "192.168.0.10" << true;
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("255") << "255.255.255.255" << true;
    QTest::newRow("256") << "192.168.0.256" << false;
    QTest::newRow("short form") << "10.1" << false;
    QTest::newRow("five parts") << "1.2.3.4.5" << false;
    QTest::newRow("empty part") << "1..3.4" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("blank") << " 1.2.3.4" << false;
    QTest::newRow("port") << "1.2.3.4:80" << false;
    QTest::newRow("path") << "1.2.3.4/x" << false;
    QTest::newRow("shell") << "1.2.3.4;rm -rf" << false;
    QTest::newRow("quote") << "1.2.3.4\" --x" << false;
    QTest::newRow("host name") << "gateway.local" << false;
    QTest::newRow("four digits") << "1.2.3.0004" << false;
    QTest::newRow("sign") << "+1.2.3.4" << false;
    QTest::newRow("arabic digits") << QString::fromUtf8("\u0661.2.3.4") << false;
    QTest::newRow("empty") << "" << false;
}

void TestShell::plainIPv4() {
    QFETCH(QString, text);
    QFETCH(bool, plain);
    QCOMPARE(isPlainIPv4(text), plain);
    const QUrl url = deviceWebPageUrl(text);
    QCOMPARE(url.isValid(), plain);
    if (plain) {
        QCOMPARE(url.scheme(), QStringLiteral("http"));
        QCOMPARE(url.host(), text);
        QCOMPARE(url.port(), -1);
        QVERIFY(url.path().isEmpty());
    }
}

void TestShell::debugSwitch_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("debug");
    const QString program = QStringLiteral("/opt/kestrune/Kestrune");
    QTest::newRow("none") << QStringList{program} << false;
    QTest::newRow("upper") << QStringList{program, "/DEBUG"} << true;
    QTest::newRow("lower") << QStringList{program, "/debug"} << true;
    QTest::newRow("mixed") << QStringList{program, "/DeBuG"} << true;
    QTest::newRow("after others") << QStringList{program, "-x", "foo", "/Debug"} << true;
    QTest::newRow("inside an argument") << QStringList{program, "x/debugy"} << true;
    QTest::newRow("without slash") << QStringList{program, "DEBUG"} << false;
    QTest::newRow("dash form") << QStringList{program, "--debug"} << false;
    QTest::newRow("split") << QStringList{program, "/DE", "BUG"} << false;
    QTest::newRow("program path only") << QStringList{"/debug/Kestrune"} << false;
    QTest::newRow("empty") << QStringList{} << false;
}

void TestShell::debugSwitch() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, debug);
    QCOMPARE(hasDebugSwitch(arguments), debug);
}

void TestShell::programDirSeparator_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("without") << "/opt/kestrune"
                             << "/opt/kestrune/";
    QTest::newRow("with") << "/opt/kestrune/"
                          << "/opt/kestrune/";
    QTest::newRow("with two") << "/opt/kestrune//"
                              << "/opt/kestrune/";
}

void TestShell::programDirSeparator() {
    QFETCH(QString, given);
    QFETCH(QString, expected);
    setProgramDir(given);
    QCOMPARE(programDir(), expected);
}

void TestShell::firstRunDefaults() {
    ShellState state;
    state.restoreSavedOptions();
    QCOMPARE(state.selectedTask, 0);
    QCOMPARE(state.changeIpSettingsOption, 0);
    QCOMPARE(state.enterIpAddressOption, 0);
    QCOMPARE(state.dhcpOption, 1);
    QCOMPARE(state.selectedMeterFeature, 0);
    QCOMPARE(state.currentPage, 0);
    QCOMPARE(state.forcedNextPage, 0);
    QVERIFY(state.selectedAdapterIP.isEmpty());
    // The click handlers ran: the defaults are now stored.
    QCOMPARE(settings::get("Option_SelectWhatToDo"), QStringLiteral("0"));
    QCOMPARE(settings::get("Option_DHCP"), QStringLiteral("1"));
    QCOMPARE(settings::get("Option_EnterIPAddress"), QStringLiteral("0"));
    QCOMPARE(settings::get("Option_ChangeIPSettings"), QStringLiteral("0"));
    QCOMPARE(settings::get("Option_SelectMeterFeature"), QStringLiteral("0"));
}

void TestShell::savedOptionsRestored() {
    settings::save("Option_SelectWhatToDo", "5");
    settings::save("Option_ChangeIPSettings", "1");
    settings::save("Option_DHCP", "0");
    settings::save("Option_EnterIPAddress", "1");
    settings::save("Option_SelectMeterFeature", "4");
    settings::save("SelectedAdapterDescription", "eth0");
    settings::save("SelectedAdapterIP", "127.0.0.1");
    ShellState state;
    state.restoreSavedOptions();
    QCOMPARE(state.selectedTask, 5);
    QCOMPARE(state.changeIpSettingsOption, 1);
    QCOMPARE(state.dhcpOption, 0);
    QCOMPARE(state.enterIpAddressOption, 1);
    QCOMPARE(state.selectedMeterFeature, 4);
    QCOMPARE(state.selectedAdapterDescription, QStringLiteral("eth0"));
    QCOMPARE(state.selectedAdapterIP, QStringLiteral("127.0.0.1"));
    QVERIFY(!state.noAdapter());
}

void TestShell::damagedOptionsFallBack_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("restored");
    QTest::newRow("task too big") << "Option_SelectWhatToDo"
                                  << "9"
                                  << "0";
    QTest::newRow("task negative") << "Option_SelectWhatToDo"
                                   << "-1"
                                   << "0";
    QTest::newRow("task not a number") << "Option_SelectWhatToDo"
                                       << "abc"
                                       << "0";
    QTest::newRow("task with trailing text") << "Option_SelectWhatToDo"
                                             << "6x"
                                             << "6";
    QTest::newRow("DHCP too big") << "Option_DHCP"
                                  << "2"
                                  << "1";
    QTest::newRow("link too big") << "Option_EnterIPAddress"
                                  << "7"
                                  << "0";
    QTest::newRow("method too big") << "Option_ChangeIPSettings"
                                    << "2"
                                    << "0";
    QTest::newRow("feature too big") << "Option_SelectMeterFeature"
                                     << "6"
                                     << "0";
    QTest::newRow("feature last") << "Option_SelectMeterFeature"
                                  << "5"
                                  << "5";
}

void TestShell::damagedOptionsFallBack() {
    // A hand-edited store must not select an option that doesn't exist.
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, restored);
    settings::save(key, stored);
    ShellState state;
    state.restoreSavedOptions();
    QCOMPARE(settings::get(key), restored);
}

void TestShell::taskClickStoresAtOnce() {
    ShellState state;
    state.selectTask(6);
    QCOMPARE(state.selectedTask, 6);
    QCOMPARE(settings::get("Option_SelectWhatToDo"), QStringLiteral("6"));
    ShellState later;
    later.restoreSavedOptions();
    QCOMPARE(later.selectedTask, 6);
}

void TestShell::noAdapterFlag() {
    ShellState state;
    QVERIFY(!state.noAdapter());
    state.selectedAdapterIP = QStringLiteral("NO_ADAPTER");
    QVERIFY(state.noAdapter());
}

void TestShell::twips_data() {
    QTest::addColumn<int>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("width at 96") << 7530 << 96.0 << 502;
    QTest::newRow("height at 96") << 6500 << 96.0 << 433;
    QTest::newRow("separator at 96") << 5330 << 96.0 << 355;
    QTest::newRow("width at 120") << 7530 << 120.0 << 628;
    QTest::newRow("height at 144") << 6500 << 144.0 << 650;
    QTest::newRow("zero") << 0 << 96.0 << 0;
}

void TestShell::twips() {
    QFETCH(int, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(twipsToPixels(twips, dpi), pixels);
    // Back to twips within one pixel's worth.
    QVERIFY(qAbs(pixelsToTwips(pixels, dpi) - twips) <= qCeil(1440.0 / dpi / 2));
}

void TestShell::defaultIni_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } rows[] = {
        {"IP", "BusDelay", "50"},
        {"IP", "BusTimeOut", "3000"}, // spelled both ways by the program
        {"IP", "OpenTimeOut", "5000"},
        {"IP", "SerialTimeOut", "1000"},
        {"IP", "UDPTimeOut", "1000"},
        {"IP", "ResetTimeOut", "10000"},
        {"IP", "WriteTimeOut", "15000"},
        {"IP", "ScanTimeOut", "1000"},
        {"IP", "RebootDHCPDelay", "10000"},
        {"IP", "NumberOfPings", "4"},
        {"IP", "PingDelay", "500"},
        {"Debug", "PollInterval", "10000"},
        {"Debug", "MaxDebugLines", "500"},
    };
    for (const auto& r : rows)
        QTest::addRow("%s/%s", r.section, r.key) << r.section << r.key << r.value;
    for (const char* section : {"ModBus", "MBusASCII", "PadPuls", "FreePacketAndString"}) {
        QTest::addRow("%s/BusDelay", section) << section << "BusDelay"
                                              << "50";
        QTest::addRow("%s/BusTimeout", section) << section << "BusTimeout"
                                                << "3000";
        QTest::addRow("%s/OpenTimeout", section) << section << "OpenTimeout"
                                                 << "5000";
    }
}

void TestShell::defaultIni() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const IniFile ini(QStringLiteral(KESTRUNE_SOURCE_DIR "/app/Kestrune.INI"));
    QVERIFY(QFile::exists(ini.path()));
    QCOMPARE(ini.read(section, key, QStringLiteral("absent")), value);
}

void TestShell::defaultIniHasNoTestAddresses() {
    // Loopback broadcast and adapter overrides belong to tests and the demo.
    const IniFile ini(QStringLiteral(KESTRUNE_SOURCE_DIR "/app/Kestrune.INI"));
    QCOMPARE(ini.read("IP", "BroadcastAddress", "absent"), QStringLiteral("absent"));
    QCOMPARE(ini.read("IP", "IncludeLoopback", "absent"), QStringLiteral("absent"));
}

QTEST_GUILESS_MAIN(TestShell)
#include "tst_shell.moc"
