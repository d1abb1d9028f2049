// The wizard window, offscreen, through its real start-up: controls found by
// objectName and clicked as a user would.
//
// With KESTRUNE_WIZARD_SHOTS set to a folder, the test also saves a picture
// of every page it shows there (for looking at the layout).

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "netsetup/Adapters.h"
#include "tests/pages/PageDriver.h"
#include "tests/simprogram/LoopbackAdapter.h"
#include "tests/simprogram/ProgramFixture.h"
#include "wizard/ShellState.h"

#include "channel/gui/DebugWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;

namespace {

using pagedriver::child;

void click(QWidget* w, const QString& name) {
    QVERIFY2(pagedriver::click(child<QAbstractButton>(w, name)), qPrintable(name));
}

// Whether a caption fits its control without being cut.
bool fits(QAbstractButton* b) {
    QString text = b->text();
    text.remove(QLatin1Char('&'));
    const int extra = qobject_cast<QRadioButton*>(b) ? 24 : 8; // mark or frame
    return b->fontMetrics().horizontalAdvance(text) + extra <= b->width();
}

using pagedriver::shownPage;

// Closes the next modal window that appears and remembers its name and text.
struct ModalCloser {
    QString objectName;
    QString text;
    bool seen = false;
};

void closeNextModal(QObject* context, ModalCloser& closer, const char* button) {
    QTimer::singleShot(0, context, [&closer, button] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        closer.seen = true;
        closer.objectName = modal->objectName();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            closer.text = box->text();
            box->accept();
            return;
        }
        if (auto* b = modal->findChild<QPushButton*>(QLatin1String(button)))
            b->click();
    });
}

} // namespace

// Receives the web addresses the wizard opens instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestWizard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startShowsPageZero();
    void windowSizeInTwips();
    void pagesZeroAndOneCaptioned();
    void nextAndBackByClicks();
    void choosingTaskStoresIt();
    void doubleClickOnTaskIsNext();
    void savedTaskRestored();
    void cancelEndsAndStoresNothing();
    void debugSwitchOpensTrafficLog_data();
    void debugSwitchOpensTrafficLog();
    void trafficLogToggledThroughWizard();
    void taskLeadsToItsFirstPage_data();
    void taskLeadsToItsFirstPage();
    void noAdapterRefusesDiscovery();
    void etchedSeparators();
    void changeLanguageShowsLanguageWindow();
    void linksOpenWebSites();
    void linkWithoutBrowserSaysSo();
    void firstStartAsksForLanguage_data();
    void firstStartAsksForLanguage();

private:
    void start(const QStringList& arguments = {QStringLiteral("Kestrune")});
    void shoot(const QString& name);

    QTemporaryDir m_config;
    QTemporaryDir m_program;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
};

void TestWizard::initTestCase() {
    QVERIFY(m_config.isValid());
    QVERIFY(m_program.isValid());
    // The discovery page searches on entry: to an address of this machine
    // where nobody answers, and briefly.
    QCOMPARE(fixture::prepareProgramDir(
                 m_program.path(), m_config.path(),
                 "[IP]\nScanTimeout=100\nUDPTimeOut=100\nBroadcastAddress=127.0.0.139\n",
                 {QStringLiteral("Kestrune_Language.001")}),
             QString());
}

void TestWizard::init() {
    fixture::clearUserSettings();
    // The task pages open a link on entry: keep it on this machine.
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.1"));
    m_state = ShellState{};
    fixture::useLoopbackAdapters();
}

void TestWizard::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    QVERIFY(!DebugWindow::instance());
}

void TestWizard::start(const QStringList& arguments) {
    m_wizard = startWizard(m_state, arguments);
    QVERIFY(m_wizard);
    QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
}

void TestWizard::shoot(const QString& name) {
    const QString dir = qEnvironmentVariable("KESTRUNE_WIZARD_SHOTS");
    if (!dir.isEmpty())
        m_wizard->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

void TestWizard::startShowsPageZero() {
    start();
    QCOMPARE(m_wizard->objectName(), QStringLiteral("Kestrune_Wizard"));
    QCOMPARE(m_wizard->windowTitle(), getText(10));
    QCOMPARE(shownPage(m_wizard.get()), 0);
    QCOMPARE(m_state.currentPage, 0);
    QVERIFY(!child<QPushButton>(m_wizard.get(), "Command_Back")->isEnabled());
    QVERIFY(child<QPushButton>(m_wizard.get(), "Command_Next")->isEnabled());
    QVERIFY(child<QPushButton>(m_wizard.get(), "Command_ChangeLanguage")->isVisible());
    // First run: the defaults are selected and stored by the click handlers.
    QVERIFY(child<QRadioButton>(m_wizard.get(), "Option_SelectWhatToDo(0)")->isChecked());
    QCOMPARE(settings::get("Option_SelectWhatToDo"), QStringLiteral("0"));
    QCOMPARE(settings::get("Option_DHCP"), QStringLiteral("1"));
    QCOMPARE(settings::get("Option_EnterIPAddress"), QStringLiteral("0"));
    shoot(QStringLiteral("page0"));
}

void TestWizard::windowSizeInTwips() {
    start();
    const int dpiX = m_wizard->logicalDpiX();
    const int dpiY = m_wizard->logicalDpiY();
    // Within one pixel of 7530 x 6500 twips.
    QVERIFY(qAbs(pixelsToTwips(m_wizard->width(), dpiX) - WizardWindow::WidthTwips) <= 1440 / dpiX);
    QVERIFY(qAbs(pixelsToTwips(m_wizard->height(), dpiY) - WizardWindow::HeightTwips) <=
            1440 / dpiY);
    // Every page panel and every control lies inside the window.
    const QRect inside = m_wizard->rect();
    for (QWidget* w : m_wizard->findChildren<QWidget*>()) {
        if (w->parentWidget() == m_wizard.get())
            QVERIFY2(inside.contains(w->geometry()), qPrintable(w->objectName()));
    }
}

void TestWizard::pagesZeroAndOneCaptioned() {
    start();
    // No control of pages 0 and 1 or of the window's bottom is left with a
    // missing text or a text that doesn't fit.
    auto checkTexts = [this](QWidget* panel) {
        for (QAbstractButton* b : panel->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(m_wizard.get()))
                continue;
            QVERIFY2(!b->text().isEmpty(), qPrintable(b->objectName()));
            QVERIFY2(!b->text().contains(QLatin1String("Invalid Text (")),
                     qPrintable(b->objectName()));
            QVERIFY2(fits(b), qPrintable(b->objectName()));
        }
        for (QLabel* l : panel->findChildren<QLabel*>()) {
            QVERIFY2(!l->text().contains(QLatin1String("Invalid Text (")),
                     qPrintable(l->objectName()));
            if (!l->wordWrap() && l->isVisibleTo(m_wizard.get()))
                QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(l->objectName()));
        }
        for (QPlainTextEdit* t : panel->findChildren<QPlainTextEdit*>()) {
            QVERIFY(t->isReadOnly());
            QVERIFY2(!t->toPlainText().contains(QLatin1String("Invalid Text (")),
                     qPrintable(t->objectName()));
        }
    };
    checkTexts(m_wizard->pagePanel(0));
    checkTexts(m_wizard->pagePanel(1));
    for (const char* name : {"Command_Back", "Command_Next", "Command_Cancel"}) {
        auto* b = child<QPushButton>(m_wizard.get(), QLatin1String(name));
        QVERIFY(!b->text().contains(QLatin1String("Invalid Text (")));
        QVERIFY2(fits(b), name);
    }

    QCOMPARE(child<QLabel>(m_wizard.get(), "Label_Header(0)")->text(), getText(100));
    QCOMPARE(child<QLabel>(m_wizard.get(), "Label_Header(1)")->text(), getText(103));
    QVERIFY(child<QLabel>(m_wizard.get(), "Label_Version")->text().endsWith("3.2.1"));
    QVERIFY(child<QLabel>(m_wizard.get(), "Label_Link(0)")->isVisible());
    QVERIFY(child<QLabel>(m_wizard.get(), "Label_Link(1)")->isVisible());
    QVERIFY(child<QPlainTextEdit>(m_wizard.get(), "Text_Info(0)")->isVisible());
    // Tasks 7 and 8 are not offered.
    for (int i = 0; i < ShellState::TaskCount; ++i) {
        auto* option =
            child<QRadioButton>(m_wizard.get(), QStringLiteral("Option_SelectWhatToDo(%1)").arg(i));
        QVERIFY(option);
        QCOMPARE(option->isVisibleTo(m_wizard->pagePanel(1)), i < 7);
        QCOMPARE(option->text(), getText(110 + i).replace("\r\n", "\n"));
    }
}

void TestWizard::nextAndBackByClicks() {
    start();
    click(m_wizard.get(), "Command_Next");
    QCOMPARE(shownPage(m_wizard.get()), 1);
    QCOMPARE(m_state.currentPage, 1);
    QVERIFY(child<QPushButton>(m_wizard.get(), "Command_Back")->isEnabled());
    shoot(QStringLiteral("page1"));

    click(m_wizard.get(), "Command_Back");
    QCOMPARE(shownPage(m_wizard.get()), 0);
    QVERIFY(!child<QPushButton>(m_wizard.get(), "Command_Back")->isEnabled());

    // Task 5 leads to the connection page, Back from there to the tasks.
    click(m_wizard.get(), "Command_Next");
    click(m_wizard.get(), "Option_SelectWhatToDo(5)");
    click(m_wizard.get(), "Command_Next");
    QCOMPARE(shownPage(m_wizard.get()), 40);
    shoot(QStringLiteral("page40"));
    click(m_wizard.get(), "Command_Back");
    QCOMPARE(shownPage(m_wizard.get()), 1);
}

void TestWizard::choosingTaskStoresIt() {
    start();
    click(m_wizard.get(), "Command_Next");
    click(m_wizard.get(), "Option_SelectWhatToDo(2)");
    QCOMPARE(settings::get("Option_SelectWhatToDo"), QStringLiteral("2"));
    QCOMPARE(m_state.selectedTask, 2);
    click(m_wizard.get(), "Option_SelectWhatToDo(6)");
    QCOMPARE(settings::get("Option_SelectWhatToDo"), QStringLiteral("6"));
    QCOMPARE(m_state.selectedTask, 6);
}

void TestWizard::doubleClickOnTaskIsNext() {
    start();
    click(m_wizard.get(), "Command_Next");
    auto* option = child<QRadioButton>(m_wizard.get(), "Option_SelectWhatToDo(2)");
    QVERIFY(option);
    QTest::mouseDClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
    QCOMPARE(m_state.selectedTask, 2);
    QCOMPARE(shownPage(m_wizard.get()), 30);
    // The ping page enables Next itself once a ping answered.
    QVERIFY(!child<QPushButton>(m_wizard.get(), "Command_Next")->isEnabled());
    QCOMPARE(child<QLabel>(m_wizard.get(), "Label_Header(30)")->text(), getText(350));
}

void TestWizard::savedTaskRestored() {
    settings::save("Option_SelectWhatToDo", "4");
    start();
    QVERIFY(child<QRadioButton>(m_wizard.get(), "Option_SelectWhatToDo(4)")->isChecked());
    QCOMPARE(m_state.selectedTask, 4);
    click(m_wizard.get(), "Command_Next");
    click(m_wizard.get(), "Command_Next");
    QCOMPARE(shownPage(m_wizard.get()), 40);
}

void TestWizard::cancelEndsAndStoresNothing() {
    start();
    click(m_wizard.get(), "Command_Next");
    QSettings store = fixture::userSettings();
    store.sync();
    const QStringList before = store.allKeys();
    click(m_wizard.get(), "Command_Cancel");
    QVERIFY(!m_wizard->isVisible());
    store.sync();
    QCOMPARE(store.allKeys(), before);
}

void TestWizard::debugSwitchOpensTrafficLog_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("open");
    QTest::newRow("none") << QStringList{"Kestrune"} << false;
    QTest::newRow("/debug") << QStringList{"Kestrune", "/debug"} << true;
    QTest::newRow("/DEBUG after another") << QStringList{"Kestrune", "x", "/DEBUG"} << true;
}

void TestWizard::debugSwitchOpensTrafficLog() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, open);
    start(arguments);
    QCOMPARE(DebugWindow::instance() != nullptr, open);
    if (open) {
        QVERIFY(DebugWindow::instance()->isVisible());
        // The traffic log opens beside the wizard, wholly on the screen (its
        // Exit button within reach) and clear of the wizard when there is
        // room for that.
        QWidget* log = DebugWindow::instance();
        QCOMPARE(log->objectName(), QStringLiteral("Kestrune_Debug"));
        const QRect available = m_wizard->screen()->availableGeometry();
        QVERIFY(available.contains(log->frameGeometry()));
        const int logFrame = log->frameGeometry().width() - log->width();
        if (available.right() - m_wizard->frameGeometry().right() >=
            log->minimumSizeHint().width() + logFrame)
            QVERIFY(!log->frameGeometry().intersects(m_wizard->frameGeometry()));
        // Closing the wizard closes the traffic log.
        click(m_wizard.get(), "Command_Cancel");
        QVERIFY(!DebugWindow::instance());
    }
}

void TestWizard::trafficLogToggledThroughWizard() {
    start();
    QVERIFY(!DebugWindow::instance());
    DebugWindow::toggle(*m_wizard);
    QVERIFY(DebugWindow::instance());
    QVERIFY(DebugWindow::instance()->isVisible());
    // Laying out a page unchecks the continuous poll.
    click(m_wizard.get(), "Command_Next");
    DebugWindow::toggle(*m_wizard);
    QVERIFY(!DebugWindow::instance());
}

void TestWizard::taskLeadsToItsFirstPage_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<QList<int>>("pages"); // shown by Next, Next, ... from page 1
    QTest::newRow("0 discovery") << 0 << QList<int>{10};
    QTest::newRow("1 IP by MAC, network") << 1 << QList<int>{20, 21, 22};
    QTest::newRow("2 ping") << 2 << QList<int>{30};
    QTest::newRow("3 device settings") << 3 << QList<int>{40, 50};
    QTest::newRow("4 meter features") << 4 << QList<int>{40, 60};
    QTest::newRow("5 Modbus") << 5 << QList<int>{40, 70};
    QTest::newRow("6 ASCII protocol") << 6 << QList<int>{40, 80};
}

void TestWizard::taskLeadsToItsFirstPage() {
    QFETCH(int, task);
    QFETCH(QList<int>, pages);
    start();
    click(m_wizard.get(), "Command_Next");
    click(m_wizard.get(), QStringLiteral("Option_SelectWhatToDo(%1)").arg(task));
    for (int expected : pages) {
        click(m_wizard.get(), "Command_Next");
        QCOMPARE(shownPage(m_wizard.get()), expected);
    }
    // Back retraces the way to the task list.
    for (int i = 0; i < pages.size(); ++i)
        click(m_wizard.get(), "Command_Back");
    QCOMPARE(shownPage(m_wizard.get()), 1);
    QVERIFY(
        child<QRadioButton>(m_wizard.get(), QStringLiteral("Option_SelectWhatToDo(%1)").arg(task))
            ->isChecked());
}

void TestWizard::noAdapterRefusesDiscovery() {
    settings::save("SelectedAdapterIP", "NO_ADAPTER");
    setAdapterLister([](bool) { return QList<NetworkAdapter>{}; });
    start();
    click(m_wizard.get(), "Command_Next");
    ModalCloser closer;
    closeNextModal(this, closer, "");
    click(m_wizard.get(), "Command_Next");
    QVERIFY(closer.seen);
    QCOMPARE(closer.text, getText(225).replace("\r\n", "\n"));
    QCOMPARE(shownPage(m_wizard.get()), 1);
}

void TestWizard::etchedSeparators() {
    start();
    const QColor grey(128, 128, 128);
    const QColor white(255, 255, 255);
    QImage window = m_wizard->grab().toImage();
    const int y = m_wizard->twipsY(WizardWindow::ButtonSeparatorTwips);
    for (int x : {0, m_wizard->width() / 2, m_wizard->width() - 1}) {
        QCOMPARE(window.pixelColor(x, y), grey);
        QCOMPARE(window.pixelColor(x, y + 1), white);
    }
    // Page 0 has no line below its header; the other pages have one.
    const int py = m_wizard->twipsY(WizardWindow::PageSeparatorTwips);
    QVERIFY(window.pixelColor(m_wizard->width() / 2, py) != grey);
    click(m_wizard.get(), "Command_Next");
    window = m_wizard->grab().toImage();
    QCOMPARE(window.pixelColor(m_wizard->width() / 2, py), grey);
    QCOMPARE(window.pixelColor(m_wizard->width() / 2, py + 1), white);
}

void TestWizard::changeLanguageShowsLanguageWindow() {
    start();
    ModalCloser closer;
    closeNextModal(this, closer, "Command_Cancel");
    click(m_wizard.get(), "Command_ChangeLanguage");
    QVERIFY(closer.seen);
    QCOMPARE(closer.objectName, QStringLiteral("Kestrune_Language"));
    // Cancelled: the language stays.
    QCOMPARE(settings::get("Language"), QStringLiteral("001"));
    QCOMPARE(shownPage(m_wizard.get()), 0);
}

void TestWizard::linksOpenWebSites() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    start();
    for (int i = 0; i < 2; ++i) {
        auto* link = child<QLabel>(m_wizard.get(), QStringLiteral("Label_Link(%1)").arg(i));
        QVERIFY(link);
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.urls.size(), 2);
    QVERIFY(catcher.urls.at(0).isValid());
    QVERIFY(catcher.urls.at(1).isValid());
    QVERIFY(catcher.urls.at(0) != catcher.urls.at(1));
}

// With nothing to open web addresses (the offscreen platform has nothing),
// the start page's links say so in their own words and give the address,
// not the device web page's advice to type in a device's IP address.
void TestWizard::linkWithoutBrowserSaysSo() {
    start();
    auto* link = child<QLabel>(m_wizard.get(), QStringLiteral("Label_Link(0)"));
    QVERIFY(link);
    ModalCloser closer;
    closeNextModal(this, closer, "");
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    QVERIFY(closer.seen);
    const auto text = [](int n) {
        return getText(n).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    };
    QVERIFY2(closer.text.startsWith(text(903) + QLatin1Char('\n') + text(904)),
             qPrintable(closer.text));
    QVERIFY2(closer.text.contains(QLatin1String("https://")), qPrintable(closer.text));
    QVERIFY(!closer.text.contains(text(901)));
    QVERIFY(!closer.text.contains(text(902)));
}

// A first start without a stored language asks for one: OK takes the first
// language and the wizard opens in it; Cancel ends the start-up.
void TestWizard::firstStartAsksForLanguage_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("started");
    QTest::newRow("chosen") << QStringLiteral("Command_OK") << true;
    QTest::newRow("cancelled") << QStringLiteral("Command_Cancel") << false;
}

void TestWizard::firstStartAsksForLanguage() {
    QFETCH(QString, button);
    QFETCH(bool, started);
    fixture::userSettings().remove(QStringLiteral("Wizard/Language"));
    bool asked = false;
    QTimer::singleShot(0, this, [&asked, button] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QLatin1String("Kestrune_Language"))
            return;
        asked = true;
        auto* combo = modal->findChild<QComboBox*>(QStringLiteral("Combo_Language"));
        if (combo && combo->count() > 0)
            combo->setCurrentIndex(0);
        if (auto* b = modal->findChild<QPushButton*>(button))
            b->click();
    });
    m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
    QVERIFY(asked);
    QCOMPARE(bool(m_wizard), started);
    if (!started)
        return;
    QCOMPARE(settings::get("Language"), QStringLiteral("001"));
    QCOMPARE(m_wizard->windowTitle(), getText(10));
    QVERIFY(!getText(10).startsWith(QLatin1String("Invalid Text (")));
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
