// The wizard's pages, offscreen, through the real start-up: every task walked
// with the network and the serial link, Back from every page, the refusals
// without a network adapter, what the pages store and when, the connection
// page's lists per task, and the link opened on pages 60 to 100 against
// loopback sockets and a pseudo-terminal.
//
// With KESTRUNE_PAGES_SHOTS set to a folder, pictures of the connection page
// and the link pages are saved there.

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "netsetup/Adapters.h"
#include "tests/simprogram/LoopbackAdapter.h"
#include "tests/simprogram/ProgramFixture.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WebPage.h"

#include "channel/gui/DebugWindow.h"
#include "channel/gui/SerialPortBox.h"
#include "tests/link/Peers.h"
#include "tests/pages/PageDriver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using namespace kestrune;

namespace {

const QColor DarkRed(177, 4, 12);
// A serial port name of the length udev gives USB adapters.
const QString LongPortPath =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
const QColor Blue(0, 0, 255);

QString txt(int n) {
    return getText(n).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// Closes every message box that appears while it runs and keeps what they
// said.
class BoxWatcher : public QObject {
public:
    struct Box {
        QString text;
        QMessageBox::Icon icon;
    };
    QList<Box> boxes;

    BoxWatcher() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxes.append({box->text(), box->icon()});
        box->done(QMessageBox::No);
    }
    QTimer m_timer;
};

// Receives the web addresses the wizard opens instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Whether the whole text of an information box shows without scrolling.
bool textFits(QPlainTextEdit* info) {
    const int lines = info->document()->size().toSize().height(); // lines of text
    const int lineHeight = info->fontMetrics().lineSpacing();
    return lines * lineHeight + 2 * int(info->document()->documentMargin()) <=
           info->viewport()->height();
}

// A loopback port on which nothing listens.
quint16 closedTcpPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestPages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void walkEveryTask_data();
    void walkEveryTask();
    void frameShowsEachPage_data();
    void frameShowsEachPage();
    void noAdapterRefusals_data();
    void noAdapterRefusals();
    void connectionPageStoredOnlyOnNext();
    void connectionPageNotStoredOnClose();
    void serialChoicesStoredWhenClicked();
    void baudRateListPerTask_data();
    void baudRateListPerTask();
    void task3HidesLineFields();
    void connectionPageLayout_data();
    void connectionPageLayout();
    void infoTextsSelectTheirOptions();
    void setupPagesStoredOnNext();
    void linkPages_data();
    void linkPages();
    void serialPortBoxesShowTheWholeName_data();
    void serialPortBoxesShowTheWholeName();
    void lineSettingsThePortCannotCarryAreShown_data();
    void lineSettingsThePortCannotCarryAreShown();
    void linkTestPagesSayWhetherTheLinkOpened_data();
    void linkTestPagesSayWhetherTheLinkOpened();
    void lostLinkShownAndReopened();
    void deviceWebPage();

private:
    void start();
    QWidget* w() const { return m_wizard.get(); }
    template <typename T> T* child(const QString& name) const;
    void click(const QString& name);
    void next(bool force = false);
    void back();
    int shownPage() const;
    void goToConnectionPage(int task);
    void shoot(const QString& name);

    QTemporaryDir m_config;
    QTemporaryDir m_program;
    // A pseudo-terminal standing in for a serial port.
    testpeer::PtyPeer m_pty;
    quint16 m_udpPort = 0;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
    std::unique_ptr<BoxWatcher> m_boxes;
};

template <typename T> T* TestPages::child(const QString& name) const {
    return pagedriver::child<T>(m_wizard.get(), name);
}

void TestPages::initTestCase() {
    QVERIFY(m_config.isValid());
    QVERIFY(m_program.isValid());
    QVERIFY(m_pty.isValid());
    QCOMPARE(fixture::prepareProgramDir(m_program.path(), m_config.path(), {},
                                        {QStringLiteral("Kestrune_Language.001")}),
             QString());

    // Short time-outs for every task page; COM1 is the pseudo-terminal, COM2
    // a device that does not exist.
    QByteArray text = fixture::taskWaits(300, 400);
    // The setup pages: short waits, and discovery sent to an address of this
    // machine where nobody answers.
    text += "[IP]\nScanTimeout=100\nUDPTimeOut=100\nSerialTimeOut=100\n"
            "BroadcastAddress=127.0.0.139\n";
    text += "[SerialPorts]\nCOM1=" + m_pty.path().toLocal8Bit() + "\n";
    text += "COM2=" + m_program.path().toLocal8Bit() + "/no-such-tty\n";
    text += "COM3=" + LongPortPath.toLocal8Bit() + "\n";
    QCOMPARE(fixture::writeFile(programDir() + QStringLiteral("Kestrune.INI"), text), QString());

    // A UDP port of our own, so the UDP link points at something of ours.
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
    m_udpPort = probe.localPort();
}

void TestPages::init() {
    fixture::clearUserSettings();
    // Every link of these tests stays on this machine.
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    settings::save(QStringLiteral("TCPPort"), QString::number(m_udpPort));
    m_state = ShellState{};
    m_boxes = std::make_unique<BoxWatcher>();
    fixture::useLoopbackAdapters();
}

void TestPages::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    m_boxes.reset();
    QVERIFY(!link().isOpen());
    QVERIFY(!DebugWindow::instance());
}

void TestPages::start() {
    m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
    QVERIFY(m_wizard);
    QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
}

void TestPages::click(const QString& name) {
    QVERIFY2(pagedriver::click(child<QAbstractButton>(name)), qPrintable(name));
}

// Next as the user presses it; force stands for the later subsystems that
// enable it once their page has done its work.
void TestPages::next(bool force) {
    auto* b = child<QPushButton>(QStringLiteral("Command_Next"));
    if (force)
        b->setEnabled(true);
    click(QStringLiteral("Command_Next"));
}

void TestPages::back() {
    click(QStringLiteral("Command_Back"));
}

int TestPages::shownPage() const {
    return pagedriver::shownPage(m_wizard.get());
}

void TestPages::goToConnectionPage(int task) {
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    start();
    next();
    next();
    QCOMPARE(shownPage(), 40);
}

void TestPages::shoot(const QString& name) {
    const QString dir = qEnvironmentVariable("KESTRUNE_PAGES_SHOTS");
    if (dir.isEmpty())
        return;
    QTest::qWait(50);
    m_wizard->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// ---- Navigation ------------------------------------------------------------------------

void TestPages::walkEveryTask_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<int>("linkChoice"); // task 1: IP setup method; tasks 3-8: link
    // Pages reached by Next from page 1, each with the page Back leads to.
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QList<int>>("backTo");
    QTest::addColumn<int>("taskAtEnd"); // task selected when the walk is back on page 1, or -1

    for (int choice = 0; choice < 2; ++choice) {
        const char* kind = choice == 0 ? "network" : "serial";
        QTest::addRow("0 %s", kind) << 0 << choice << QList<int>{10, 1} << QList<int>{1, 0} << 0;
        if (choice == 0)
            QTest::addRow("1 %s", kind)
                << 1 << choice << QList<int>{20, 21, 22, 1} << QList<int>{1, 20, 21, 0} << 2;
        else
            QTest::addRow("1 %s", kind)
                << 1 << choice << QList<int>{20, 21, 23, 1} << QList<int>{1, 20, 21, 0} << 2;
        QTest::addRow("2 %s", kind) << 2 << choice << QList<int>{30, 1} << QList<int>{1, 0} << 3;
        if (choice == 0)
            QTest::addRow("3 %s", kind)
                << 3 << choice << QList<int>{40, 50, 55, 1} << QList<int>{1, 40, 50, 0} << 4;
        else
            QTest::addRow("3 %s", kind) << 3 << choice << QList<int>{40, 23, 50, 55, 1}
                                        << QList<int>{1, 40, 23, 50, 0} << 4;
        QTest::addRow("4 %s", kind) << 4 << choice << QList<int>{40, 60} << QList<int>{1, 40} << -1;
        QTest::addRow("5 %s", kind) << 5 << choice << QList<int>{40, 70} << QList<int>{1, 40} << -1;
        QTest::addRow("6 %s", kind) << 6 << choice << QList<int>{40, 80} << QList<int>{1, 40} << -1;
        QTest::addRow("7 %s", kind) << 7 << choice << QList<int>{40, 90} << QList<int>{1, 40} << -1;
        QTest::addRow("8 %s", kind)
            << 8 << choice << QList<int>{40, 100} << QList<int>{1, 40} << -1;
    }
}

void TestPages::walkEveryTask() {
    QFETCH(int, task);
    QFETCH(int, linkChoice);
    QFETCH(QList<int>, pages);
    QFETCH(QList<int>, backTo);
    QFETCH(int, taskAtEnd);

    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    settings::save(QStringLiteral("Option_ChangeIPSettings"), int64_t{linkChoice});
    settings::save(QStringLiteral("Option_EnterIPAddress"), int64_t{linkChoice});
    start();
    next();
    QCOMPARE(shownPage(), 1);
    if (task < 7)
        click(QStringLiteral("Option_SelectWhatToDo(%1)").arg(task));
    QCOMPARE(m_state.selectedTask, task);

    for (int i = 0; i < pages.size(); ++i) {
        const int expected = pages.at(i);
        next(true);
        QCOMPARE(shownPage(), expected);
        QCOMPARE(m_state.currentPage, expected);
        if (expected == 1) {
            QVERIFY(m_state.selectedTask == taskAtEnd);
            QVERIFY(child<QRadioButton>(QStringLiteral("Option_SelectWhatToDo(%1)").arg(taskAtEnd))
                        ->isChecked());
        }
        // The task pages open the link on entry: UDP without traffic, or
        // the pseudo-terminal as COM1.
        if (expected >= 60)
            QVERIFY2(link().isOpen(), qPrintable(link().connectionError()));

        // Back leads one step back; Next from there returns here.
        back();
        QCOMPARE(shownPage(), backTo.at(i));
        if (expected >= 60)
            QVERIFY(!link().isOpen());
        if (backTo.at(i) == 0)
            break; // the walk ended on page 1: Back went to the start page
        next(true);
        QCOMPARE(shownPage(), expected);
    }
    // A walk that ended on a task page leaves it the one way there is.
    if (shownPage() >= 60) {
        QVERIFY(link().isOpen());
        back();
        QCOMPARE(shownPage(), 40);
    }
    // The serial port of the gateway's console is closed at the end of task
    // 3, the link whenever a task page is left.
    QVERIFY(!link().isOpen());
    QVERIFY(!link().isSerialPortOpen());
}

// What the frame shows for each page of a task: the page's own header text,
// the caption of Next, and whether Next starts enabled.
void TestPages::frameShowsEachPage_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<int>("linkChoice");
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QList<int>>("headers"); // language text of each page's header

    QTest::addRow("0") << 0 << 0 << QList<int>{10} << QList<int>{110};
    QTest::addRow("1 network") << 1 << 0 << QList<int>{20, 21, 22} << QList<int>{200, 205, 208};
    QTest::addRow("1 serial") << 1 << 1 << QList<int>{20, 21, 23} << QList<int>{200, 205, 222};
    QTest::addRow("2") << 2 << 0 << QList<int>{30} << QList<int>{350};
    QTest::addRow("3 network") << 3 << 0 << QList<int>{40, 50, 55} << QList<int>{360, 212, 213};
    QTest::addRow("3 serial") << 3 << 1 << QList<int>{40, 23, 50, 55}
                              << QList<int>{360, 300, 212, 213};
    // Page 60 with its link open heads the chosen operation (0 by default).
    QTest::addRow("4") << 4 << 0 << QList<int>{40, 60} << QList<int>{371, 620};
    QTest::addRow("5") << 5 << 1 << QList<int>{40, 70} << QList<int>{373, 115};
    QTest::addRow("6") << 6 << 0 << QList<int>{40, 80} << QList<int>{375, 1100};
    QTest::addRow("7") << 7 << 0 << QList<int>{40, 90} << QList<int>{377, 117};
    QTest::addRow("8") << 8 << 1 << QList<int>{40, 100} << QList<int>{379, 118};
}

void TestPages::frameShowsEachPage() {
    QFETCH(int, task);
    QFETCH(int, linkChoice);
    QFETCH(QList<int>, pages);
    QFETCH(QList<int>, headers);

    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    settings::save(QStringLiteral("Option_ChangeIPSettings"), int64_t{linkChoice});
    settings::save(QStringLiteral("Option_EnterIPAddress"), int64_t{linkChoice});
    start();
    next();
    QCOMPARE(child<QLabel>(QStringLiteral("Label_Header(1)"))->text(), txt(103));
    auto* nextButton = child<QPushButton>(QStringLiteral("Command_Next"));
    for (int i = 0; i < pages.size(); ++i) {
        const int n = pages.at(i);
        next(true);
        QCOMPARE(shownPage(), n);
        QCOMPARE(child<QLabel>(QStringLiteral("Label_Header(%1)").arg(n))->text(),
                 txt(headers.at(i)));
        // Page 50 writes the gateway's settings with Next.
        QCOMPARE(nextButton->text(), txt(n == 50 ? 370 : 234));
        QCOMPARE(nextButton->isEnabled(), nextEnabledOnEntry(n));
    }
}

void TestPages::noAdapterRefusals_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<int>("linkChoice");
    QTest::addColumn<QList<int>>("pages"); // shown after each Next from page 1
    QTest::addColumn<bool>("refused");     // the last Next was refused with text 225

    QTest::newRow("0: discovery refused") << 0 << 0 << QList<int>{1} << true;
    QTest::newRow("1 network: address page refused") << 1 << 0 << QList<int>{20, 20} << true;
    QTest::newRow("1 serial console: allowed") << 1 << 1 << QList<int>{20, 21, 23} << false;
    QTest::newRow("3 network: device settings refused") << 3 << 0 << QList<int>{40, 40} << true;
    QTest::newRow("3 serial: device settings through the console")
        << 3 << 1 << QList<int>{40, 23, 50} << false;
    QTest::newRow("4 network: meter page refused") << 4 << 0 << QList<int>{40, 40} << true;
    QTest::newRow("4 serial: meter page allowed") << 4 << 1 << QList<int>{40, 60} << false;
    QTest::newRow("5 network: Modbus page allowed") << 5 << 0 << QList<int>{40, 70} << false;
    QTest::newRow("2: ping page allowed") << 2 << 0 << QList<int>{30} << false;
}

void TestPages::noAdapterRefusals() {
    QFETCH(int, task);
    QFETCH(int, linkChoice);
    QFETCH(QList<int>, pages);
    QFETCH(bool, refused);

    settings::save(QStringLiteral("SelectedAdapterIP"), QStringLiteral("NO_ADAPTER"));
    setAdapterLister([](bool) { return QList<NetworkAdapter>{}; });
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    settings::save(QStringLiteral("Option_ChangeIPSettings"), int64_t{linkChoice});
    settings::save(QStringLiteral("Option_EnterIPAddress"), int64_t{linkChoice});
    start();
    next();
    for (int i = 0; i < pages.size(); ++i) {
        const qsizetype boxesBefore = m_boxes->boxes.size();
        next(true);
        QCOMPARE(shownPage(), pages.at(i));
        const bool last = i == pages.size() - 1;
        const bool boxShown = m_boxes->boxes.size() > boxesBefore;
        QCOMPARE(boxShown, last && refused);
        if (boxShown) {
            QCOMPARE(m_boxes->boxes.last().text, txt(225));
            QCOMPARE(m_boxes->boxes.last().icon, QMessageBox::Information);
        }
    }
    if (refused) // the refused page was not entered: no link was opened
        QVERIFY(!link().isOpen());
}

// ---- What the connection page stores ----------------------------------------------------

void TestPages::connectionPageStoredOnlyOnNext() {
    settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
    goToConnectionPage(4);
    auto* ip = child<QLineEdit>(QStringLiteral("Text_EnterIPAddress"));
    auto* port = child<QLineEdit>(QStringLiteral("Text_EnterIPAddress_Port"));
    auto* udp = child<QCheckBox>(QStringLiteral("Check_EnterIPAddress_UDPorTCP"));
    QCOMPARE(ip->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(udp->isChecked());

    // Typed, then Back: nothing stored, and the page shows the stored values
    // again when it comes back.
    ip->setText(QStringLiteral("127.0.0.9"));
    port->setText(QStringLiteral("70000"));
    QTest::mouseClick(udp, Qt::LeftButton, {}, QPoint(8, udp->height() / 2));
    QVERIFY(!udp->isChecked());
    back();
    QCOMPARE(settings::get("IPAddress"), QStringLiteral("127.0.0.1"));
    QCOMPARE(settings::get("TCPPort"), QString::number(m_udpPort));
    QCOMPARE(settings::get("UDPorTCP"), QStringLiteral("1"));
    next();
    QCOMPARE(ip->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(udp->isChecked());

    // Typed, then Next: stored, the port capped at 65535.
    ip->setText(QStringLiteral("127.0.0.9"));
    port->setText(QStringLiteral("70000"));
    udp->setChecked(false);
    next();
    QCOMPARE(shownPage(), 60);
    QCOMPARE(settings::get("IPAddress"), QStringLiteral("127.0.0.9"));
    QCOMPARE(settings::get("TCPPort"), QStringLiteral("65535"));
    QCOMPARE(settings::get("UDPorTCP"), QStringLiteral("0"));
    QCOMPARE(settings::get("SerialDatabits_4"), QStringLiteral("1"));
    QCOMPARE(settings::get("SerialStopbits_4"), QStringLiteral("0"));
    QCOMPARE(settings::get("SerialParity_4"), QStringLiteral("0"));
    back();
    QVERIFY(!link().isOpen());
}

void TestPages::connectionPageNotStoredOnClose() {
    goToConnectionPage(5);
    child<QLineEdit>(QStringLiteral("Text_EnterIPAddress"))->setText(QStringLiteral("127.0.0.7"));
    child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Parity"))->setCurrentIndex(2);
    click(QStringLiteral("Command_Cancel"));
    QVERIFY(!m_wizard->isVisible());
    QCOMPARE(settings::get("IPAddress"), QStringLiteral("127.0.0.1"));
    QVERIFY(!settings::contains(QStringLiteral("SerialParity_5")));
}

void TestPages::serialChoicesStoredWhenClicked() {
    goToConnectionPage(5);
    click(QStringLiteral("Option_EnterIPAddress(1)"));
    QCOMPARE(settings::get("Option_EnterIPAddress"), QStringLiteral("1"));
    QVERIFY(child<QWidget>(QStringLiteral("Picture_EnterIPAddress(1)"))->isVisible());
    QVERIFY(!child<QWidget>(QStringLiteral("Picture_EnterIPAddress(0)"))->isVisible());

    // Port and speed are stored as soon as they are chosen, per task.
    auto* baud = child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_BaudRate"));
    auto* port = child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_SerialPort"));
    QCOMPARE(port->count(), 16);
    QCOMPARE(port->itemText(0), QStringLiteral("COM1 (%1)").arg(m_pty.path()));
    QVERIFY(port->itemText(15).startsWith(QLatin1String("COM16 (")));
    QVERIFY(!settings::contains(QStringLiteral("Combo_EnterIPAddress_BaudRate_5")));
    baud->setFocus();
    QTest::keyClick(baud, Qt::Key_Down); // 2400 -> 4800
    QCOMPARE(settings::get("Combo_EnterIPAddress_BaudRate_5"), QStringLiteral("4"));
    port->setFocus();
    QTest::keyClick(port, Qt::Key_Down);
    QCOMPARE(settings::get("SerialPort_5"), QStringLiteral("1"));
    QVERIFY(!settings::contains(QStringLiteral("Combo_EnterIPAddress_BaudRate_4")));

    // The line format waits for Next; Back keeps nothing of it.
    child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Parity"))->setCurrentIndex(2);
    back();
    QVERIFY(!settings::contains(QStringLiteral("SerialParity_5")));
    next();
    QCOMPARE(child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Parity"))->currentIndex(), 0);
    QCOMPARE(baud->currentIndex(), 4);
    QCOMPARE(port->currentIndex(), 1);
    child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Parity"))->setCurrentIndex(2);
    child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Databits"))->setCurrentIndex(0);
    child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Stopbits"))->setCurrentIndex(1);
    next();
    QCOMPARE(shownPage(), 70);
    QCOMPARE(settings::get("SerialParity_5"), QStringLiteral("2"));
    QCOMPARE(settings::get("SerialDatabits_5"), QStringLiteral("0"));
    QCOMPARE(settings::get("SerialStopbits_5"), QStringLiteral("1"));
    // COM2 does not exist: the page says so and keeps Read disabled.
    QVERIFY(!link().isOpen());
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_ModBus_MeterFeature_Read"))->isEnabled());
    QVERIFY(child<QLabel>(QStringLiteral("lblModbusResultText"))
                ->text()
                .startsWith(txt(158) + QStringLiteral(" Error: ")));
    back();
}

void TestPages::baudRateListPerTask_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("formatShown");
    QTest::newRow("3 gateway settings") << 3 << 6 << false;
    QTest::newRow("4 meter features") << 4 << 6 << false;
    QTest::newRow("5 Modbus") << 5 << 7 << true;
    QTest::newRow("6 ASCII protocol") << 6 << 7 << true;
    QTest::newRow("7 link test") << 7 << 6 << true;
    QTest::newRow("8 link test") << 8 << 6 << true;
}

void TestPages::baudRateListPerTask() {
    QFETCH(int, task);
    QFETCH(int, count);
    QFETCH(bool, formatShown);
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
    settings::save(settings::perTask(QStringLiteral("Combo_EnterIPAddress_BaudRate"), task),
                   QStringLiteral("5"));
    goToConnectionPage(task);
    auto* baud = child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_BaudRate"));
    QCOMPARE(baud->count(), count);
    QCOMPARE(baud->currentIndex(), 5);
    QCOMPARE(baud->itemText(5), QStringLiteral("9600"));
    if (count == 6) {
        for (int i : {1, 2, 4})
            QVERIFY(baud->itemText(i).endsWith(QLatin1Char(' ') + getText(690)));
        QCOMPARE(baud->itemText(3), QStringLiteral("2400"));
    } else {
        QCOMPARE(baud->itemText(1), QStringLiteral("600"));
        QCOMPARE(baud->itemText(6), QStringLiteral("19200"));
    }
    for (const char* name : {"Combo_EnterIPAddress_Databits", "Combo_EnterIPAddress_Parity",
                             "Combo_EnterIPAddress_Stopbits", "Label_EnterIPAddress_Databits",
                             "Label_EnterIPAddress_Parity", "Label_EnterIPAddress_Stopbits"})
        QCOMPARE(child<QWidget>(QLatin1String(name))->isVisible(), formatShown);
    QCOMPARE(child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_Parity"))->itemText(2),
             QStringLiteral("Even"));
    // Every text on the page comes from the language file.
    for (QWidget* c : m_wizard->pagePanel(40)->findChildren<QWidget*>()) {
        if (auto* l = qobject_cast<QLabel*>(c))
            QVERIFY2(!l->text().contains(QLatin1String("Invalid Text")), qPrintable(l->text()));
    }
    QVERIFY(!child<QLabel>(QStringLiteral("Label_Header(40)"))->text().isEmpty());
    QVERIFY(!child<QLabel>(QStringLiteral("Label_Info(40)"))->text().isEmpty());

    // The list comes back when the task changes (rebuilt on every entry).
    back();
    const int other = (task == 5 || task == 6) ? 4 : 5;
    click(QStringLiteral("Option_SelectWhatToDo(%1)").arg(other));
    next();
    QCOMPARE(baud->count(), other == 5 ? 7 : 6);
}

void TestPages::task3HidesLineFields() {
    goToConnectionPage(3);
    QCOMPARE(child<QLabel>(QStringLiteral("Label_Header(40)"))->text(), txt(360));
    QCOMPARE(child<QLabel>(QStringLiteral("Label_Info(40)"))->text(), txt(361));
    QVERIFY(child<QLineEdit>(QStringLiteral("Text_EnterIPAddress"))->isVisible());
    for (const char* name :
         {"Text_EnterIPAddress_Port", "Label_EnterIPAddress_Port", "Check_EnterIPAddress_UDPorTCP"})
        QVERIFY2(!child<QWidget>(QLatin1String(name))->isVisible(), name);
    click(QStringLiteral("Option_EnterIPAddress(1)"));
    QVERIFY(child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_SerialPort"))->isVisible());
    for (const char* name : {"Combo_EnterIPAddress_BaudRate", "Label_EnterIPAddress_BaudRate",
                             "Combo_EnterIPAddress_Databits", "Combo_EnterIPAddress_Parity",
                             "Combo_EnterIPAddress_Stopbits"})
        QVERIFY2(!child<QWidget>(QLatin1String(name))->isVisible(), name);
    // Task 4 has texts of its own and shows the speed again.
    back();
    click(QStringLiteral("Option_SelectWhatToDo(4)"));
    next();
    QVERIFY(child<QLabel>(QStringLiteral("Label_Header(40)"))->text() != txt(360));
    QVERIFY(child<QComboBox>(QStringLiteral("Combo_EnterIPAddress_BaudRate"))->isVisible());
}

void TestPages::connectionPageLayout_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<int>("option");
    for (int task : {3, 4, 5})
        for (int option : {0, 1})
            QTest::addRow("task %d %s", task, option ? "serial" : "network") << task << option;
}

void TestPages::connectionPageLayout() {
    QFETCH(int, task);
    QFETCH(int, option);
    settings::save(QStringLiteral("Option_EnterIPAddress"), int64_t{option});
    goToConnectionPage(task);
    QVERIFY(
        child<QRadioButton>(QStringLiteral("Option_EnterIPAddress(%1)").arg(option))->isChecked());
    QVERIFY(child<QWidget>(QStringLiteral("Picture_EnterIPAddress(%1)").arg(option))->isVisible());
    QVERIFY(
        !child<QWidget>(QStringLiteral("Picture_EnterIPAddress(%1)").arg(1 - option))->isVisible());
    // Every visible control lies inside the page, above the buttons, and no
    // two of them overlap; captions are not cut.
    QWidget* panel = m_wizard->pagePanel(40);
    QList<QWidget*> controls;
    for (QWidget* c : panel->findChildren<QWidget*>()) {
        if (!c->isVisible() || c->objectName().isEmpty() ||
            c->objectName().startsWith(QLatin1String("Picture_")) ||
            c->objectName().startsWith(QLatin1String("Label_Header")) ||
            c->objectName().startsWith(QLatin1String("Image_")) ||
            c->objectName().startsWith(QLatin1String("qt_")))
            continue;
        controls << c;
    }
    QVERIFY(controls.size() >= 6);
    auto rectOf = [panel](QWidget* c) { return QRect(c->mapTo(panel, QPoint(0, 0)), c->size()); };
    for (QWidget* c : controls) {
        QVERIFY2(panel->rect().contains(rectOf(c)), qPrintable(c->objectName()));
        if (auto* l = qobject_cast<QLabel*>(c); l && !l->wordWrap())
            QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(l->objectName()));
        if (auto* b = qobject_cast<QCheckBox*>(c))
            QVERIFY2(b->sizeHint().width() <= b->width(), qPrintable(b->objectName()));
        for (QWidget* d : controls) {
            if (c != d && !c->isAncestorOf(d) && !d->isAncestorOf(c))
                QVERIFY2(!rectOf(c).intersects(rectOf(d)),
                         qPrintable(c->objectName() + " / " + d->objectName()));
        }
    }
    for (int i : {40, 41})
        QVERIFY2(textFits(child<QPlainTextEdit>(QStringLiteral("Text_Info(%1)").arg(i))),
                 qPrintable(QString::number(i)));
    shoot(QStringLiteral("page40-task%1-%2").arg(task).arg(option ? "serial" : "network"));
}

void TestPages::infoTextsSelectTheirOptions() {
    goToConnectionPage(4);
    struct Case {
        int info;
        const char* option;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {41, "Option_EnterIPAddress(1)", "Option_EnterIPAddress", "1"},
        {40, "Option_EnterIPAddress(0)", "Option_EnterIPAddress", "0"},
    };
    for (const Case& c : cases) {
        auto* info = child<QPlainTextEdit>(QStringLiteral("Text_Info(%1)").arg(c.info));
        QVERIFY(info && info->isVisible());
        QTest::mouseClick(info->viewport(), Qt::LeftButton, {}, QPoint(10, 8));
        auto* option = child<QRadioButton>(QLatin1String(c.option));
        QVERIFY(option->isChecked());
        QCOMPARE(m_wizard->focusWidget(), option);
        QCOMPARE(settings::get(QLatin1String(c.key)), QLatin1String(c.value));
        QCOMPARE(child<QWidget>(QStringLiteral("Picture_EnterIPAddress(%1)").arg(c.info - 40))
                     ->isVisible(),
                 true);
    }

    // Page 20: the two ways of giving a gateway its address.
    back();
    click(QStringLiteral("Option_SelectWhatToDo(1)"));
    next();
    QCOMPARE(shownPage(), 20);
    auto* mac = child<QLineEdit>(QStringLiteral("Text_SetupIP_MacAddress"));
    auto* port = child<QComboBox>(QStringLiteral("Combo_SetupIP_SerialPort"));
    QVERIFY(mac->isVisible() && !port->isVisible());
    QTest::mouseClick(child<QPlainTextEdit>(QStringLiteral("Text_Info(21)"))->viewport(),
                      Qt::LeftButton, {}, QPoint(10, 8));
    QVERIFY(child<QRadioButton>(QStringLiteral("Option_ChangeIPSettings(1)"))->isChecked());
    QCOMPARE(settings::get("Option_ChangeIPSettings"), QStringLiteral("1"));
    QVERIFY(!mac->isVisible() && port->isVisible());
    QTest::mouseClick(child<QPlainTextEdit>(QStringLiteral("Text_Info(20)"))->viewport(),
                      Qt::LeftButton, {}, QPoint(10, 8));
    QCOMPARE(settings::get("Option_ChangeIPSettings"), QStringLiteral("0"));
    QVERIFY(mac->isVisible());
    // Over the network Next waits for a MAC address of six groups.
    QVERIFY(child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    shoot(QStringLiteral("page20"));
    for (int i : {20, 21})
        QVERIFY2(textFits(child<QPlainTextEdit>(QStringLiteral("Text_Info(%1)").arg(i))),
                 qPrintable(QString::number(i)));
    mac->setText(QStringLiteral("00-20-4A"));
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    mac->setText(QStringLiteral("00-20-4A-01-02-03"));
    QVERIFY(child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
}

void TestPages::setupPagesStoredOnNext() {
    settings::save(QStringLiteral("Option_SelectWhatToDo"), QStringLiteral("1"));
    start();
    next();
    next();
    QCOMPARE(shownPage(), 20);
    QCOMPARE(child<QLineEdit>(QStringLiteral("Text_SetupIP_MacAddress"))->text(),
             QStringLiteral("00-20-4A-00-00-00"));
    child<QLineEdit>(QStringLiteral("Text_SetupIP_MacAddress"))
        ->setText(QStringLiteral("00-20-4A-11-22-33"));
    back();
    QVERIFY(!settings::contains(QStringLiteral("MACAddress")));
    next();
    child<QLineEdit>(QStringLiteral("Text_SetupIP_MacAddress"))
        ->setText(QStringLiteral("00-20-4A-11-22-33"));
    next();
    QCOMPARE(shownPage(), 21);
    QCOMPARE(settings::get("MACAddress"), QStringLiteral("00-20-4A-11-22-33"));
    QCOMPARE(settings::get("SerialPort_1"), QStringLiteral("0"));

    auto* gw = child<QLineEdit>(QStringLiteral("Text_Gateway"));
    QCOMPARE(gw->text(), QStringLiteral("192.168.0.1"));
    QCOMPARE(child<QLineEdit>(QStringLiteral("Text_NetMask"))->text(),
             QStringLiteral("255.255.255.0"));
    // DHCP (option 0) leaves the three fields to the network.
    click(QStringLiteral("Option_DHCP(0)"));
    QCOMPARE(settings::get("Option_DHCP"), QStringLiteral("0"));
    QVERIFY(!gw->isEnabled());
    click(QStringLiteral("Option_DHCP(1)"));
    QVERIFY(gw->isEnabled());
    child<QLineEdit>(QStringLiteral("Text_IPAddress"))->setText(QStringLiteral("127.0.0.5"));
    gw->setText(QStringLiteral("127.0.0.6"));
    shoot(QStringLiteral("page21"));
    next();
    QCOMPARE(shownPage(), 22);
    QCOMPARE(settings::get("IPAddress"), QStringLiteral("127.0.0.5"));
    QCOMPARE(settings::get("Gateway"), QStringLiteral("127.0.0.6"));
    QCOMPARE(settings::get("NetMask"), QStringLiteral("255.255.255.0"));

    // The ping page starts with the stored address.
    next(true);
    next();
    QCOMPARE(shownPage(), 30);
    QCOMPARE(child<QLineEdit>(QStringLiteral("Text_PingIPAddress"))->text(),
             QStringLiteral("127.0.0.5"));
    shoot(QStringLiteral("page30"));
}

// ---- The link of the task pages --------------------------------------------------------

void TestPages::linkPages_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<QString>("kind"); // udp, tcp-refused, serial, serial-absent
    QTest::addColumn<bool>("opens");
    for (int task : {4, 5, 6}) {
        QTest::addRow("%d udp", task) << task << "udp" << true;
        QTest::addRow("%d tcp refused", task) << task << "tcp-refused" << false;
        QTest::addRow("%d serial", task) << task << "serial" << true;
        QTest::addRow("%d serial absent", task) << task << "serial-absent" << false;
    }
}

void TestPages::linkPages() {
    QFETCH(int, task);
    QFETCH(QString, kind);
    QFETCH(bool, opens);
    const bool serial = kind.startsWith(QLatin1String("serial"));
    settings::save(QStringLiteral("Option_EnterIPAddress"), serial ? "1" : "0");
    settings::save(QStringLiteral("UDPorTCP"), kind == QLatin1String("udp") ? "1" : "0");
    if (kind == QLatin1String("tcp-refused"))
        settings::save(QStringLiteral("TCPPort"), QString::number(closedTcpPort()));
    settings::save(settings::perTask(QStringLiteral("SerialPort"), task),
                   kind == QLatin1String("serial-absent") ? "1" : "0");
    goToConnectionPage(task);
    DebugWindow::open(*m_wizard);
    QElapsedTimer timer;
    timer.start();
    next();
    const int target = task == 4 ? 60 : task == 5 ? 70 : 80;
    QCOMPARE(shownPage(), target);
    QCOMPARE(link().isOpen(), opens);
    QVERIFY(timer.elapsed() < 3000); // a refused TCP connect doesn't wait for OpenTimeout
    // The time-outs of the page's INI section.
    QCOMPARE(link().openTimeout(), 400);
    QCOMPARE(link().busTimeout(), 300);
    QVERIFY(!child<QPushButton>(QStringLiteral("Command_Next"))->isEnabled());
    QVERIFY(m_wizard->isEnabled());

    if (target == 60) {
        auto* apply = child<QPushButton>(QStringLiteral("Command_MeterFeature_Apply"));
        auto* info = child<QPlainTextEdit>(QStringLiteral("Text_Info(60)"));
        QCOMPARE(apply->isEnabled(), opens);
        QCOMPARE(m_state.meterPageLinkOpen, opens);
        if (opens) {
            // The open link runs the stored operation's set-up: its text.
            QVERIFY(info->toPlainText().startsWith(txt(630)));
        } else {
            QVERIFY(info->toPlainText().startsWith(txt(158) + "\nError description: "));
            QVERIFY(info->toPlainText().size() > txt(158).size() + 22);
        }
        QVERIFY(child<QPushButton>(QStringLiteral("Command_MeterFeature_Debug"))->isEnabled());
        // Feature 0 (the default) can be repeated by the continuous poll.
        auto* poll = DebugWindow::instance()->findChild<QCheckBox*>("Check_CountinousPoll");
        QVERIFY(poll);
        QCOMPARE(poll->isEnabled(), opens);
    } else {
        const QString prefix =
            target == 70 ? QStringLiteral("ModBus") : QStringLiteral("MBusAscii");
        auto* read = child<QPushButton>(QStringLiteral("Command_%1_MeterFeature_Read").arg(prefix));
        auto* result = child<QLabel>(target == 70 ? QStringLiteral("lblModbusResultText")
                                                  : QStringLiteral("lblMBusAsciiResultText"));
        QCOMPARE(read->isEnabled(), opens);
        if (opens) {
            QVERIFY(result->text().isEmpty());
        } else {
            QVERIFY2(result->text().startsWith(txt(158) + QStringLiteral(" Error: ")),
                     qPrintable(result->text()));
            QCOMPARE(result->palette().color(QPalette::WindowText), DarkRed);
        }
        auto* poll = DebugWindow::instance()->findChild<QCheckBox*>("Check_CountinousPoll");
        QVERIFY(poll);
        QCOMPARE(poll->isEnabled(), opens);
    }
    shoot(QStringLiteral("page%1-%2").arg(target).arg(kind));

    // The Debug button closes the traffic log.
    const QString debug = target == 60   ? QStringLiteral("Command_MeterFeature_Debug")
                          : target == 70 ? QStringLiteral("Command_ModBus_MeterFeature_Debug")
                                         : QStringLiteral("Command_MBusAscii_MeterFeature_Debug");
    click(debug);
    QVERIFY(!DebugWindow::instance());
    back();
    QCOMPARE(shownPage(), 40);
    QVERIFY(!link().isOpen());
    QVERIFY(!m_state.meterPageLinkOpen);
    // Pages 70 and 80 show "ready" in blue whenever they are laid out.
    if (target != 60 && opens) {
        next();
        auto* result = child<QLabel>(target == 70 ? QStringLiteral("lblModbusResultText")
                                                  : QStringLiteral("lblMBusAsciiResultText"));
        QCOMPARE(result->palette().color(QPalette::WindowText), Blue);
        back();
    }
}

void TestPages::serialPortBoxesShowTheWholeName_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<QString>("box");
    QTest::newRow("page 40") << 5 << "Combo_EnterIPAddress_SerialPort";
    QTest::newRow("page 20") << 1 << "Combo_SetupIP_SerialPort";
}

// "COMn (path)" is longer than the box: the closed box keeps the COM number
// and the end of the path, the open list and the tool tips the whole name.
void TestPages::serialPortBoxesShowTheWholeName() {
    QFETCH(int, task);
    QFETCH(QString, box);
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
    settings::save(QStringLiteral("Option_ChangeIPSettings"), QStringLiteral("1"));
    settings::save(settings::perTask(QStringLiteral("SerialPort"), task), QStringLiteral("2"));
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    start();
    next();
    next();
    auto* ports = child<SerialPortBox>(box);
    QVERIFY(ports && ports->isVisible());
    const QString whole = QStringLiteral("COM3 (%1)").arg(LongPortPath);
    QCOMPARE(ports->currentText(), whole);
    QVERIFY(ports->fontMetrics().horizontalAdvance(whole) > ports->width());

    const QString shown = ports->shownText();
    QVERIFY2(shown.startsWith(QLatin1String("COM3 (/dev")) && shown.endsWith("-port0)") &&
                 shown.contains(QChar(0x2026)),
             qPrintable(shown));
    QVERIFY(ports->fontMetrics().horizontalAdvance(shown) < ports->width());
    QCOMPARE(ports->toolTip(), whole);
    QCOMPARE(ports->itemData(2, Qt::ToolTipRole).toString(), whole);
    shoot(QStringLiteral("serial-port-box-%1").arg(task));
    ports->showPopup();
    QAbstractItemView* list = ports->view();
    QTRY_VERIFY(list->isVisible());
    QVERIFY2(list->viewport()->width() >= list->fontMetrics().horizontalAdvance(whole),
             qPrintable(QString::number(list->viewport()->width())));
    // Still on the screen.
    const QRect screen = ports->screen()->availableGeometry();
    QVERIFY(screen.contains(list->window()->frameGeometry()));
    if (const QString dir = qEnvironmentVariable("KESTRUNE_PAGES_SHOTS"); !dir.isEmpty())
        list->window()->grab().save(QDir(dir).filePath(QStringLiteral("serial-port-list.png")));
    ports->hidePopup();
    // The box's tip follows the entry chosen.
    ports->setCurrentIndex(0);
    QCOMPARE(ports->toolTip(), QStringLiteral("COM1 (%1)").arg(m_pty.path()));
}

void TestPages::lineSettingsThePortCannotCarryAreShown_data() {
    QTest::addColumn<int>("task");
    QTest::newRow("meter page") << 4;
    QTest::newRow("Modbus page") << 5;
    QTest::newRow("link test page") << 7;
}

// A pseudo-terminal has no parity: the M-Bus line 2400,E,8,1 opens as
// 2400,N,8,1, and the page that opened the link says so beside its word.
void TestPages::lineSettingsThePortCannotCarryAreShown() {
    QFETCH(int, task);
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("1"));
    settings::save(settings::perTask(QStringLiteral("SerialParity"), task), QStringLiteral("2"));
    goToConnectionPage(task);
    const qsizetype boxes = m_boxes->boxes.size();
    next();
    QVERIFY(link().isOpen());
    QCOMPARE(link().lineSettingsInUse(), QStringLiteral("2400,N,8,1"));
    const QString note = txt(396).arg(QStringLiteral("2400,E,8,1"), QStringLiteral("2400,N,8,1"));
    if (task == 4) {
        // Whole on the page beside the information text, which keeps it
        // when another feature is chosen.
        auto* shown = child<QLabel>(QStringLiteral("lblMeterFeatureLineNote"));
        QCOMPARE(shown->text(), note);
        QVERIFY(shown->isVisible());
        QVERIFY(shown->height() >= shown->heightForWidth(shown->width()));
        QVERIFY(shown->parentWidget()->rect().contains(shown->geometry()));
        auto* info = child<QPlainTextEdit>(QStringLiteral("Text_Info(60)"));
        QCOMPARE(info->toPlainText(), txt(630));
        QVERIFY(info->geometry().bottom() < shown->geometry().top());
        click(QStringLiteral("Option_SelectMeterFeature(1)"));
        QCOMPARE(info->toPlainText(), txt(631));
        QVERIFY(shown->isVisible());
    } else if (task == 5) {
        auto* result = child<QLabel>(QStringLiteral("lblModbusResultText"));
        QCOMPARE(result->text(), note);
        QCOMPARE(result->palette().color(QPalette::WindowText), Blue);
    } else {
        QCOMPARE(m_boxes->boxes.size(), boxes + 1);
        QCOMPARE(m_boxes->boxes.last().text, txt(395) + QStringLiteral("\n") + note);
        QVERIFY(child<QPlainTextEdit>(QStringLiteral("Text_Info(90)"))
                    ->toPlainText()
                    .endsWith(txt(395) + QStringLiteral("\n") + note));
    }
    shoot(QStringLiteral("line-note-%1").arg(task));
    back();
}

void TestPages::linkTestPagesSayWhetherTheLinkOpened_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<bool>("opens");
    QTest::newRow("7 opens") << 7 << true;
    QTest::newRow("7 refused") << 7 << false;
    QTest::newRow("8 opens") << 8 << true;
    QTest::newRow("8 refused") << 8 << false;
}

void TestPages::linkTestPagesSayWhetherTheLinkOpened() {
    QFETCH(int, task);
    QFETCH(bool, opens);
    settings::save(QStringLiteral("UDPorTCP"), opens ? "1" : "0");
    if (!opens)
        settings::save(QStringLiteral("TCPPort"), QString::number(closedTcpPort()));
    goToConnectionPage(task);
    const qsizetype before = m_boxes->boxes.size();
    next();
    QCOMPARE(shownPage(), task == 7 ? 90 : 100);
    QCOMPARE(link().isOpen(), opens);
    // The section of the task's time-outs was loaded.
    QCOMPARE(link().openTimeout(), 400);
    QCOMPARE(m_boxes->boxes.size(), before + 1);
    shoot(QStringLiteral("page%1-%2").arg(task == 7 ? 90 : 100).arg(opens ? "open" : "refused"));
    const BoxWatcher::Box box = m_boxes->boxes.last();
    if (opens) {
        QCOMPARE(box.text, txt(395));
        QCOMPARE(box.icon, QMessageBox::Information);
    } else {
        QVERIFY(box.text.startsWith(txt(158)));
        QVERIFY(box.text.contains(QLatin1String("Error description: ")));
        QCOMPARE(box.icon, QMessageBox::Warning);
    }
    back();
    QVERIFY(!link().isOpen());
}

void TestPages::lostLinkShownAndReopened() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("0"));
    settings::save(QStringLiteral("TCPPort"), QString::number(server.serverPort()));
    goToConnectionPage(5);
    next();
    QCOMPARE(shownPage(), 70);
    QVERIFY(link().isOpen());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket* peer = server.nextPendingConnection();
    auto* read = child<QPushButton>(QStringLiteral("Command_ModBus_MeterFeature_Read"));
    QVERIFY(read->isEnabled());

    // The gateway goes away: the page says why and Read is disabled.
    peer->close();
    QTRY_VERIFY(!link().isOpen());
    auto* result = child<QLabel>(QStringLiteral("lblModbusResultText"));
    QTRY_VERIFY(result->text().startsWith(txt(398) + QStringLiteral(" Error: ")));
    QCOMPARE(result->palette().color(QPalette::WindowText), DarkRed);
    QVERIFY(!read->isEnabled());

    // The next entry of the page opens the link again.
    back();
    next();
    QCOMPARE(shownPage(), 70);
    QVERIFY(link().isOpen());
    QVERIFY(read->isEnabled());
    QVERIFY(result->text().isEmpty());
    back();
}

// ---- Web pages -------------------------------------------------------------------------

void TestPages::deviceWebPage() {
    start();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    QVERIFY(openDeviceWebPage(m_wizard.get(), QStringLiteral("127.0.0.1")));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1"))});
    QVERIFY(m_boxes->boxes.isEmpty());

    // Whatever a device reports that is no plain address opens nothing and
    // says that the page cannot be opened.
    for (const char* bad : {"127.0.0.1/../x", "127.1", "127.0.0.1 --new-window", "file:///etc"}) {
        QVERIFY(!openDeviceWebPage(m_wizard.get(), QLatin1String(bad)));
        QCOMPARE(m_boxes->boxes.last().text, txt(901) + QLatin1Char('\n') + txt(902));
        QCOMPARE(m_boxes->boxes.last().icon, QMessageBox::Warning);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls.size(), 1);
}

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
