// The setup pages as a technician uses them, offscreen, through the real
// start-up, against the simulator: discovery and the adapter window, the IP
// setup over the network, the console page with its cancel, the device
// settings read and written over the network and the console, and the ping.
//
// With KESTRUNE_SETUPPAGES_SHOTS set to a folder, pictures of the pages are
// saved there.
#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "netsetup/RecordExchange.h"
#include "netsetup/SetupTexts.h"
#include "tests/pages/PageDriver.h"
#include "tests/simprogram/LoopbackAdapter.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimControl.h"
#include "wizard/ShellState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace kestrune;
using namespace kestrune::setuptext;

namespace {

constexpr quint16 kControlPort = 26122;

const char kSimConfig[] = R"([simulator]
listen = 127.0.0.120:30718
dhcp-first = 127.0.0.138
control-port = 26122
tag-files = no

[gateway k2]
family = K2
mac = 00-04-25-01-02-03
address = 127.0.0.129
restart-ms = 200
mbus-master = no

[gateway k1]
family = K1
serial = 0x445566
address = 127.0.0.132
restart-ms = 200
discovery-delay-ms = 100
mbus-master = no
)";

QString txt(int n) {
    return getText(n).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// Handles the modal windows that open while it runs: message boxes are
// answered No and kept; another dialog is handed to `dialog` once.
class ModalWatcher : public QObject {
public:
    QStringList boxes;
    std::function<void(QDialog*)> dialog;

    ModalWatcher() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->done(QMessageBox::No);
        } else if (auto* d = qobject_cast<QDialog*>(modal); d && dialog) {
            auto handler = std::move(dialog);
            dialog = nullptr;
            handler(d);
        }
    }
    QTimer m_timer;
};

} // namespace

class TestSetupPages : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    QTemporaryDir m_program;
    std::unique_ptr<simproc::SimProcess> m_sim;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
    std::unique_ptr<ModalWatcher> m_modal;

    template <typename T> T* child(const QString& name) const {
        T* c = m_wizard->findChild<T*>(name);
        if (!c)
            qWarning("control %s not found", qPrintable(name));
        return c;
    }
    void click(const QString& name) {
        auto* b = child<QAbstractButton>(name);
        QVERIFY(b);
        QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(name));
        QTest::mouseClick(b, Qt::LeftButton, {},
                          qobject_cast<QRadioButton*>(b) ? QPoint(8, b->height() / 2)
                                                         : b->rect().center());
    }
    void next() { click(QStringLiteral("Command_Next")); }
    QString info(int page) const {
        return child<QPlainTextEdit>(QStringLiteral("Text_Info(%1)").arg(page))->toPlainText();
    }
    int shownPage() const { return pagedriver::shownPage(m_wizard.get()); }
    void start(int task) {
        settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
        m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
        QVERIFY(m_wizard);
        QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
        next();
        QCOMPARE(shownPage(), 1);
    }
    void shoot(const QString& name) {
        const QString dir = qEnvironmentVariable("KESTRUNE_SETUPPAGES_SHOTS");
        if (dir.isEmpty())
            return;
        QTest::qWait(50);
        m_wizard->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }
    static QString control(const QString& command) {
        return QString::fromUtf8(simproc::control(kControlPort, command.toUtf8(), 2000));
    }
    static SetupRecord readRecord0(const QString& address) {
        Link link;
        RecordExchange exchange(link);
        SetupRecord r(0);
        if (!exchange.readRecord(r, SetupMethod::Network, address, 1000))
            qWarning("record 0 not read from %s", qPrintable(address));
        return r;
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void discoveryListsTheGateways();
    void adapterWindowWhenThereIsAChoice();
    void ipSetupOverTheNetwork();
    void consoleConnectionCancelled();
    void deviceSettingsOverTheConsole();
    void deviceSettingsOverTheNetwork();
    void deviceSettingsNotRead();
    void ping();
};

void TestSetupPages::initTestCase() {
    QCOMPARE(fixture::prepareProgramDir(m_program.path(), m_config.path(), {},
                                        {QStringLiteral("Kestrune_Language.001")}),
             QString());
    m_sim = std::make_unique<simproc::SimProcess>();
    QVERIFY2(m_sim->startIn(m_program.path(), kSimConfig), m_sim->errors.constData());
    // COM1 is the K2's console; the setup waits are short.
    QCOMPARE(fixture::writeFile(
                 programDir() + QStringLiteral("Kestrune.INI"),
                 "[IP]\nBroadcastAddress=127.0.0.120\nScanTimeout=300\nUDPTimeOut=300\n"
                 "SerialTimeOut=1500\nResetTimeOut=4000\nWriteTimeOut=4000\nRebootDHCPDelay=0\n"
                 "NumberOfPings=2\nPingDelay=50\n[SerialPorts]\nCOM1=" +
                     m_sim->ptyLink(QStringLiteral("k2"), QStringLiteral("console")).toLocal8Bit() +
                     "\n"),
             QString());
}

void TestSetupPages::init() {
    fixture::clearUserSettings();
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.132"));
    m_state = ShellState{};
    m_modal = std::make_unique<ModalWatcher>();
    fixture::useLoopbackAdapters({QStringLiteral("127.0.0.120")});
}

void TestSetupPages::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    m_modal.reset();
    QVERIFY(!link().isSerialPortOpen());
}

void TestSetupPages::cleanupTestCase() {
    QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestSetupPages::discoveryListsTheGateways() {
    start(0);
    next();
    QCOMPARE(shownPage(), 10);
    auto* list = child<QTreeWidget>(QStringLiteral("ListView_Devices"));
    QCOMPARE(list->topLevelItemCount(), 2);
    const QStringList k2{"127.0.0.129", "00-04-25-01-02-03", "K2", "41976066",
                         txt(TextNotReachable)};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(list->topLevelItem(0)->text(c), k2.at(c));
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("K1"));
    QCOMPARE(info(10), txt(TextDevicesFound) + QStringLiteral(" 2"));
    // One adapter: nothing to choose.
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_ScanDevicesSelectAdapter"))->isVisible());
    auto* nextButton = child<QPushButton>(QStringLiteral("Command_Next"));
    QVERIFY(!nextButton->isEnabled());
    shoot(QStringLiteral("page10"));

    // Choosing the K1 keeps its addresses; a double click goes on.
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(nextButton->isEnabled());
    QCOMPARE(settings::get(QStringLiteral("MACAddress")), QStringLiteral("00-20-4A-44-55-66"));
    QCOMPARE(settings::get(QStringLiteral("IPAddress")), QStringLiteral("127.0.0.132"));
    QCOMPARE(m_state.chosenDeviceKind, 1);
    // Search again: the same two.
    click(QStringLiteral("Command_ScanDevicesRefresh"));
    QCOMPARE(list->topLevelItemCount(), 2);
    QVERIFY(!nextButton->isEnabled());
    // The K2 has a web page of its own: Next asks (answered No here) and
    // withholds task 3.
    const QPoint k2At = list->visualItemRect(list->topLevelItem(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, k2At);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, k2At);
    QTRY_COMPARE(shownPage(), 1);
    QCOMPARE(m_modal->boxes, QStringList{txt(226)});
    QVERIFY(!child<QRadioButton>(QStringLiteral("Option_SelectWhatToDo(3)"))->isEnabled());
}

void TestSetupPages::adapterWindowWhenThereIsAChoice() {
    setAdapterLister([](bool) {
        return QList<NetworkAdapter>{{QStringLiteral("10.9.9.9"), QStringLiteral("eth9")},
                                     {QStringLiteral("127.0.0.120"), QStringLiteral("lo")}};
    });
    QStringList listed;
    m_modal->dialog = [&listed](QDialog* window) {
        QCOMPARE(window->objectName(), QStringLiteral("Kestrune_Adapters"));
        auto* adapters = window->findChild<QTreeWidget*>(QStringLiteral("ListView_Adapters"));
        for (int i = 0; i < adapters->topLevelItemCount(); ++i)
            listed << adapters->topLevelItem(i)->text(0) + u' ' +
                          adapters->topLevelItem(i)->text(1);
        auto* ok = window->findChild<QPushButton*>(QStringLiteral("OK_Adapters"));
        QVERIFY(!ok->isEnabled()); // nothing chosen yet
        adapters->setCurrentItem(adapters->topLevelItem(1));
        if (!qEnvironmentVariableIsEmpty("KESTRUNE_SETUPPAGES_SHOTS"))
            window->grab().save(QDir(qEnvironmentVariable("KESTRUNE_SETUPPAGES_SHOTS"))
                                    .filePath(QStringLiteral("adapters.png")));
        QTest::mouseClick(ok, Qt::LeftButton);
    };
    start(0);
    QVERIFY(m_state.selectedAdapterIP.isEmpty());
    next();
    QCOMPARE(shownPage(), 10);
    // Several adapters and none chosen: the wizard says so and asks.
    QCOMPARE(m_modal->boxes, QStringList{txt(224)});
    QCOMPARE(listed, (QStringList{"10.9.9.9 eth9", "127.0.0.120 lo"}));
    QCOMPARE(m_state.selectedAdapterIP, QStringLiteral("127.0.0.120"));
    QCOMPARE(settings::get(QStringLiteral("SelectedAdapterDescription")), QStringLiteral("lo"));
    QCOMPARE(child<QTreeWidget>(QStringLiteral("ListView_Devices"))->topLevelItemCount(), 2);
    QVERIFY(child<QPushButton>(QStringLiteral("Command_ScanDevicesSelectAdapter"))->isVisible());
}

void TestSetupPages::ipSetupOverTheNetwork() {
    start(1);
    next();
    QCOMPARE(shownPage(), 20);
    auto* mac = child<QLineEdit>(QStringLiteral("Text_SetupIP_MacAddress"));
    mac->setText(QStringLiteral("00-20-4A-44-55-6G"));
    next();
    click(QStringLiteral("Option_DHCP(1)"));
    child<QLineEdit>(QStringLiteral("Text_IPAddress"))->setText(QStringLiteral("127.0.0.138"));
    child<QLineEdit>(QStringLiteral("Text_Gateway"))->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(QStringLiteral("Text_NetMask"))->setText(QStringLiteral("255.0.0.0"));
    next();
    QCOMPARE(shownPage(), 22);
    // A MAC address that is no MAC address is refused, nothing is sent.
    click(QStringLiteral("Command_SetIPUsingUDP"));
    QCOMPARE(m_modal->boxes, QStringList{"'00-20-4A-44-55-6G' " + txt(TextBadMac)});
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());

    click(QStringLiteral("Command_Back"));
    click(QStringLiteral("Command_Back"));
    mac->setText(QStringLiteral("00-20-4A-44-55-66"));
    next();
    next();
    click(QStringLiteral("Command_SetIPUsingUDP"));
    QVERIFY2(info(22).endsWith(txt(TextIpSetupMaskWritten)), qPrintable(info(22)));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway k1 moved to 127.0.0.138")));
    shoot(QStringLiteral("page22"));
    next();
    QCOMPARE(shownPage(), 1);
    const SetupRecord r = readRecord0(QStringLiteral("127.0.0.138"));
    QCOMPARE(r.netMask(), QStringLiteral("255.0.0.0"));
    QCOMPARE(r.gateway(), QStringLiteral("127.0.0.1"));
    // Home again, for the tests that follow: record 0 with its old address.
    Link l;
    RecordExchange exchange(l);
    SetupRecord back = r;
    QVERIFY(back.setIpAddress(u"127.0.0.132"));
    QVERIFY(exchange.writeRecord(back, SetupMethod::Network, QStringLiteral("127.0.0.138"), 4000));
    QVERIFY(m_sim->hasLine(QStringLiteral("gateway k1 moved to 127.0.0.132")));
}

void TestSetupPages::consoleConnectionCancelled() {
    QCOMPARE(control(QStringLiteral("console k2 fault silent")), QStringLiteral("ok"));
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
    start(3);
    next();
    QCOMPARE(shownPage(), 40);
    next();
    QCOMPARE(shownPage(), 23);
    auto* cancel = child<QPushButton>(QStringLiteral("Command_ConnectRS232AndDoSomething_Cancel"));
    QVERIFY(!cancel->isEnabled());
    QTimer::singleShot(600, cancel, [this, cancel] {
        QVERIFY(cancel->isEnabled());
        QVERIFY(child<QLabel>(QStringLiteral("Label_Header(23)"))->text().startsWith(txt(153)));
        shoot(QStringLiteral("page23-waking"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    click(QStringLiteral("Command_ConnectRS232AndDoSomething"));
    QVERIFY(info(23).endsWith(txt(TextCancelled)));
    QVERIFY(!link().isSerialPortOpen());
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    QCOMPARE(child<QLabel>(QStringLiteral("Label_Header(23)"))->text(), txt(300));
    QCOMPARE(control(QStringLiteral("console k2 fault none")), QStringLiteral("ok"));
}

void TestSetupPages::deviceSettingsOverTheConsole() {
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
    start(3);
    next();
    next();
    QCOMPARE(shownPage(), 23);
    click(QStringLiteral("Command_ConnectRS232AndDoSomething"));
    QVERIFY2(info(23).endsWith(txt(TextConsoleConnected)), qPrintable(info(23)));
    next();
    QCOMPARE(shownPage(), 50);
    QCOMPARE(info(50), txt(TextSettingsRead));
    auto* port = child<QLineEdit>(QStringLiteral("Text_SetupDevice_Port"));
    QVERIFY(port->isVisible());
    QCOMPARE(port->text(), QStringLiteral("10001"));
    QCOMPARE(child<QComboBox>(QStringLiteral("Combo_SetupDevice_LineSpeed"))->currentIndex(), 3);
    QVERIFY(child<QCheckBox>(QStringLiteral("Check_SetupDevice_UDPorTCP"))->isChecked());
    port->setText(QStringLiteral("10129"));
    shoot(QStringLiteral("page50"));
    next();
    QCOMPARE(shownPage(), 55);
    QVERIFY2(info(55).endsWith(txt(TextSettingsWritten)), qPrintable(info(55)));
    QVERIFY(m_sim->waitLine(QStringLiteral("gateway k2 mbus udp 127.0.0.129:10129"), 3000));
    QCOMPARE(settings::get(QStringLiteral("TCPPort")), QStringLiteral("10129"));
    shoot(QStringLiteral("page55"));
    next();
    QCOMPARE(shownPage(), 1);
}

void TestSetupPages::deviceSettingsOverTheNetwork() {
    start(3);
    next();
    next();
    QCOMPARE(shownPage(), 50);
    // "Default" fills in the factory channel settings; nothing is written.
    child<QLineEdit>(QStringLiteral("Text_SetupDevice_Port"))->setText(QStringLiteral("4711"));
    child<QComboBox>(QStringLiteral("Combo_SetupDevice_LineSpeed"))->setCurrentIndex(5);
    click(QStringLiteral("Check_SetupDevice_UDPorTCP"));
    click(QStringLiteral("cmdChangeParameters"));
    QCOMPARE(child<QLineEdit>(QStringLiteral("Text_SetupDevice_Port"))->text(),
             QStringLiteral("10001"));
    QCOMPARE(child<QComboBox>(QStringLiteral("Combo_SetupDevice_LineSpeed"))->currentIndex(), 3);
    QVERIFY(child<QCheckBox>(QStringLiteral("Check_SetupDevice_UDPorTCP"))->isChecked());
    // The security options: a password and Telnet allowed.
    auto* frame = child<QWidget>(QStringLiteral("Frame_SetupDevice_Security"));
    QVERIFY(!frame->isEnabled());
    click(QStringLiteral("Check_SetupDevice_Security"));
    QVERIFY(frame->isEnabled());
    child<QLineEdit>(QStringLiteral("Text_SetupDevice_Password"))->setText(QStringLiteral("k1pw"));
    click(QStringLiteral("Check_SetupDevice_Telnet"));
    next();
    QCOMPARE(shownPage(), 55);
    QVERIFY2(info(55).endsWith(txt(TextSettingsWritten)), qPrintable(info(55)));
    QVERIFY(info(55).contains(txt(TextWritingSecurity)));
    QCOMPARE(readRecord0(QStringLiteral("127.0.0.132")).telnetPassword(), QStringLiteral("k1pw"));
    Link l;
    RecordExchange exchange(l);
    SetupRecord r1(1);
    QVERIFY(exchange.readRecord(r1, SetupMethod::Network, QStringLiteral("127.0.0.132"), 1000));
    QVERIFY(r1.telnetAllowed());
    QVERIFY(r1.setup77FEAllowed());
}

void TestSetupPages::deviceSettingsNotRead() {
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.139"));
    start(3);
    next();
    next();
    QCOMPARE(shownPage(), 50);
    QCOMPARE(info(50), txt(TextSettingsNotRead) + u'\n' + txt(TextNoReply));
    QVERIFY(!child<QLineEdit>(QStringLiteral("Text_SetupDevice_Port"))->isVisible());
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    // The explanation reads whole, without a scroll.
    QCOMPARE(child<QPlainTextEdit>(QStringLiteral("Text_Info(50)"))->verticalScrollBar()->maximum(),
             0);
}

void TestSetupPages::ping() {
    start(2);
    next();
    QCOMPARE(shownPage(), 30);
    auto* address = child<QLineEdit>(QStringLiteral("Text_PingIPAddress"));
    QCOMPARE(address->text(), QStringLiteral("127.0.0.132"));
    address->setText(QStringLiteral("127.0.0.300"));
    click(QStringLiteral("Command_Ping"));
    QCOMPARE(m_modal->boxes, QStringList{"'127.0.0.300' " + txt(TextBadIp)});
    address->setText(QStringLiteral("127.0.0.129"));
    click(QStringLiteral("Command_Ping"));
    const QStringList lines = info(30).split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), txt(TextPingStart) + QStringLiteral(" 127.0.0.129"));
    QVERIFY2(lines.at(2).startsWith(txt(TextPing) + QStringLiteral(" 2 - ") + txt(TextPingAnswer)),
             qPrintable(info(30)));
    QCOMPARE(settings::get(QStringLiteral("IPAddress")), QStringLiteral("127.0.0.129"));
    QVERIFY(child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    shoot(QStringLiteral("page30"));
}

QTEST_MAIN(TestSetupPages)
#include "tst_setuppages.moc"
