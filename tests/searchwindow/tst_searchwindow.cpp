// The search window and the search time-out dialog in the real wizard,
// offscreen, against the simulator (127.0.0.170..179): a primary scan fills
// the list with found meters and a collision, view-found-only, abort, the
// double-click into page 60 (primary and secondary address), the settings
// restored when the window opens again, the start button's rule, and the
// time-out dialog's table, family and speed-button captions.
//
// With KESTRUNE_SEARCH_SHOTS set to a folder, a picture of the window after
// the primary scan is saved there.

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "mbus/gui/RecordsView.h"
#include "search/gui/SearchTimeoutsWindow.h"
#include "search/gui/SearchWindow.h"
#include "tests/pages/PageDriver.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimProcess.h"
#include "wizard/ShellState.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace kestrune;
using pagedriver::child;
using simproc::SimProcess;

namespace {

// A K1 gateway at 9600 baud; meters at 1 and 5, two sharing address 3.
const char kConfig[] = R"(# search window test installation
[simulator]
listen = 127.0.0.179:27728
tag-files = no

[gateway s]
family = K1
serial = 0x5E5E5E
address = 127.0.0.170
mbus-port = 27011
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 5
console = no
mbus-master = no

[meter abb]
gateway = s
capture = abb_delta
address = 1

[meter kam]
gateway = s
capture = kamstrup_382_005
address = 3

[meter sen]
gateway = s
capture = sen_pollusonic_2
address = 3

[meter sontex]
gateway = s
capture = sontex_supercal_531_telegram1
address = 5
)";

QString txt(int n) {
    return getText(n).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

class TestSearchWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SimProcess m_sim;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;

    template <typename T> T* wizardChild(const QString& name) const {
        return child<T>(m_wizard.get(), name);
    }
    template <typename T> T* searchChild(const QString& name) const {
        return child<T>(SearchWindow::instance(), name);
    }
    static void click(QAbstractButton* b) { QVERIFY(pagedriver::click(b)); }
    static void type(QLineEdit* e, const QString& text) {
        QVERIFY(e && e->isVisible() && e->isEnabled());
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    QTreeWidget* list() const { return searchChild<QTreeWidget>("ListView_Search"); }

    // Start-up, Next to page 60, then its Search button.
    void openSearch() {
        m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
        QVERIFY(m_wizard);
        QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
        for (int i = 0; i < 3; ++i)
            click(wizardChild<QPushButton>("Command_Next"));
        QVERIFY(m_wizard->pagePanel(60)->isVisible());
        click(wizardChild<QPushButton>("Command_MeterFeature_Search"));
        QVERIFY(SearchWindow::instance());
        QVERIFY(QTest::qWaitForWindowExposed(SearchWindow::instance()));
    }
    // A primary scan from low to high, to its end.
    void scan(int low, int high) {
        type(searchChild<QLineEdit>("Text_LowPrimaryAddress"), QString::number(low));
        type(searchChild<QLineEdit>("Text_HighPrimaryAddress"), QString::number(high));
        click(searchChild<QPushButton>("Command_Search"));
        QTRY_VERIFY_WITH_TIMEOUT(searchChild<QPushButton>("Command_Search")->isVisible(), 20000);
    }
    // The rows on show: their column 1 and icon.
    QList<QTreeWidgetItem*> shownRows() const {
        QList<QTreeWidgetItem*> rows;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (!list()->topLevelItem(i)->isHidden())
                rows.append(list()->topLevelItem(i));
        return rows;
    }
    QTreeWidgetItem* rowOf(const QString& address) const {
        for (QTreeWidgetItem* r : shownRows())
            if (r->text(1) == address)
                return r;
        return nullptr;
    }
    int iconOf(const QString& address) const {
        return SearchWindow::instance()->engine().rows().value(address.toInt()).icon;
    }
    static void shoot(const QString& name) {
        const QString shots = qEnvironmentVariable("KESTRUNE_SEARCH_SHOTS");
        if (!shots.isEmpty())
            SearchWindow::instance()->grab().save(
                QDir(shots).filePath(name + QStringLiteral(".png")));
    }
    void doubleClick(QTreeWidgetItem* item) {
        QVERIFY(item);
        list()->setCurrentItem(item);
        const QRect r = list()->visualItemRect(item);
        // The first click of a double-click is a click of its own.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, r.center());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QCOMPARE(fixture::prepareProgramDir(QDir(m_dir.path())), QString());
        QVERIFY2(m_sim.startIn(m_dir.path(), kConfig), m_sim.errors.constData());
    }

    void init() {
        fixture::clearUserSettings();
        settings::save(QStringLiteral("Option_SelectWhatToDo"), QStringLiteral("4"));
        settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
        settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
        settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.170"));
        settings::save(QStringLiteral("TCPPort"), QStringLiteral("27011"));
        // Short waits, so that a scan takes a second, not minutes.
        QCOMPARE(fixture::writeFile(
                     programDir() + QStringLiteral("Kestrune.INI"),
                     "[IP]\nBusDelay=0\nBusTimeout=800\nOpenTimeout=1000\nUDPTimeOut=500\n"
                     "IncludeLoopback=1\n[Search]\nSND_NKE_Timeout_9600_K1=150\n"
                     "RSP_UD2_Timeout_9600_K1=800\nCollisionPrimDelay=20\nCollisionSecDelay=20\n"),
                 QString());
        m_state = ShellState{};
    }

    void cleanup() {
        if (SearchTimeoutsWindow* t = SearchTimeoutsWindow::instance())
            t->close();
        if (m_wizard)
            m_wizard->close();
        m_wizard.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!SearchWindow::instance());
    }

    void cleanupTestCase() { QCOMPARE(m_sim.stopCleanly(), QString()); }

    // A primary scan over 0..6: a row a probe, the meters with their data,
    // address 3 answered by two meters at once, the counters at the end.
    void primaryScan() {
        openSearch();
        QCOMPARE(SearchWindow::instance()->windowTitle(), getText(50));
        QCOMPARE(list()->headerItem()->text(3), txt(812));
        scan(0, 6);
        QCOMPARE(list()->topLevelItemCount(), 7);
        QTreeWidgetItem* abb = rowOf(QStringLiteral("1"));
        QVERIFY(abb);
        QCOMPARE(abb->text(2), QStringLiteral("1"));
        QCOMPARE(abb->text(3), QStringLiteral("Ok"));
        QCOMPARE(abb->text(4), QStringLiteral("Ok"));
        QCOMPARE(abb->text(5), QStringLiteral("78563412"));
        QCOMPARE(abb->text(6), QStringLiteral("ABB (0442h)"));
        QCOMPARE(iconOf(QStringLiteral("1")), int(ProbeResult::Correct));
        QTreeWidgetItem* collision = rowOf(QStringLiteral("3"));
        QVERIFY(collision);
        QVERIFY2(collision->text(3) == txt(825) || collision->text(4) == txt(825),
                 qPrintable(collision->text(3) + QLatin1Char('|') + collision->text(4)));
        QCOMPARE(iconOf(QStringLiteral("3")), int(ProbeResult::BadOrColliding));
        QCOMPARE(rowOf(QStringLiteral("5"))->text(3), QStringLiteral("Ok"));
        for (const char* silent : {"0", "2", "4", "6"}) {
            QCOMPARE(rowOf(QLatin1String(silent))->text(3), QStringLiteral("--"));
            QCOMPARE(iconOf(QLatin1String(silent)), int(ProbeResult::NoAnswer));
        }
        QCOMPARE(searchChild<QLabel>("Panel_Search(1)")->text(),
                 QStringLiteral("UDP: 127.0.0.170:27011"));
        QVERIFY(searchChild<QLabel>("Panel_Search(2)")
                    ->text()
                    .startsWith(QStringLiteral("7 ") + getText(823)));
        QCOMPARE(searchChild<QProgressBar>("ProgressBar_Search")->value(), 7);
        shoot(QStringLiteral("scan"));

        // The identification goes to the clipboard from the list's menu.
        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(100, this, [] {
            QWidget* popup = QApplication::activePopupWidget();
            QAction* copy =
                popup ? popup->findChild<QAction*>(QStringLiteral("Menu_Popup_CopyToClipBoard"))
                      : nullptr;
            if (copy)
                copy->trigger();
            if (popup)
                popup->close();
        });
        emit list()->customContextMenuRequested(list()->visualItemRect(abb).center());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("78563412"));
    }

    // The K2 gateway chosen on page 10 cannot tell its line speed: the
    // search asks, Yes shows the speed buttons with the stored one selected
    // and scans with its waits; the next search does not ask again.
    void k2SpeedQuestion() {
        settings::save(QStringLiteral("Option_Search_Timeout"), QStringLiteral("2"));
        openSearch();
        m_state.chosenDeviceKind = 2;
        m_state.chosenDeviceIP = QStringLiteral("127.0.0.170");
        QStringList asked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            asked << box->text();
            box->button(QMessageBox::Yes)->click();
        });
        answer.start(20);
        scan(0, 1);
        QCOMPARE(asked, QStringList{txt(829) + QLatin1Char('\n') + txt(830) + QLatin1Char('\n') +
                                    txt(831) + QLatin1Char('\n') + txt(832)});
        QVERIFY(searchChild<QWidget>("Frame_Timeout")->isVisible());
        QCOMPARE(searchChild<QWidget>("Frame_Timeout")->property("title").toString(), txt(840));
        QVERIFY(searchChild<QRadioButton>("Option_Timeout(2)")->isChecked());
        QCOMPARE(searchChild<QRadioButton>("Option_Timeout(2)")->text(),
                 QStringLiteral("150 ms/800 ms (9600 bps)"));
        QCOMPARE(rowOf(QStringLiteral("1"))->text(4), QStringLiteral("Ok"));
        scan(0, 1);
        QCOMPARE(asked.size(), 1);
    }

    // Ticked, only the rows where something answered stay; unticked after
    // the scan, the others come back.
    void viewFoundOnly() {
        openSearch();
        click(searchChild<QCheckBox>("Check_ViewFoundOnly"));
        scan(0, 6);
        QStringList shown;
        for (QTreeWidgetItem* r : shownRows())
            shown << r->text(1);
        QCOMPARE(shown, (QStringList{"1", "3", "5"}));
        click(searchChild<QCheckBox>("Check_ViewFoundOnly"));
        QCOMPARE(shownRows().size(), 7);
    }

    // Abort stops the scan before the next address; the progress bar goes
    // back to its start.
    void abort() {
        openSearch();
        type(searchChild<QLineEdit>("Text_LowPrimaryAddress"), QStringLiteral("0"));
        type(searchChild<QLineEdit>("Text_HighPrimaryAddress"), QStringLiteral("250"));
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (list()->topLevelItemCount() >= 3) {
                watch.stop();
                click(searchChild<QPushButton>("Command_AbortSearch"));
            }
        });
        watch.start(20);
        click(searchChild<QPushButton>("Command_Search"));
        QTRY_VERIFY_WITH_TIMEOUT(searchChild<QPushButton>("Command_Search")->isVisible(), 20000);
        QVERIFY(!searchChild<QPushButton>("Command_AbortSearch")->isVisible());
        QVERIFY2(list()->topLevelItemCount() <= 4,
                 qPrintable(QString::number(list()->topLevelItemCount())));
        QCOMPARE(searchChild<QProgressBar>("ProgressBar_Search")->value(), 0);
    }

    // A double-click hands the row to page 60: the primary address, or with
    // secondary addressing ticked the four parts of the secondary address;
    // a row that holds the meter's data opens its records beside the list.
    void doubleClickIntoPage60() {
        openSearch();
        scan(0, 2);
        doubleClick(rowOf(QStringLiteral("0")));
        QVERIFY(!RecordsView::window());
        doubleClick(rowOf(QStringLiteral("1")));
        QCOMPARE(wizardChild<QLineEdit>("Text_MeterFeature_Address(0)")->text(),
                 QStringLiteral("1"));
        QCOMPARE(settings::get(QStringLiteral("MeterFeature_Address_0")), QStringLiteral("1"));
        QVERIFY(RecordsView::window());
        QCOMPARE(RecordsView::window()->reply(),
                 SearchWindow::instance()->engine().rows()[1].reply);
        QVERIFY(RecordsView::window()->reply().startsWith('\x68'));
        QVERIFY(RecordsView::window()->rowCount() > 0);
        RecordsView::window()->close();

        click(wizardChild<QCheckBox>("Check_MeterFeature_UseSecondaryAddress"));
        doubleClick(rowOf(QStringLiteral("1")));
        const QStringList want{"78563412", "0442", "02", "02"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(
                wizardChild<QLineEdit>(QStringLiteral("Text_MeterFeature_Sec_Address(%1)").arg(i))
                    ->text(),
                want[i]);
            QCOMPARE(settings::get(QStringLiteral("MeterFeature_Sec_Address_%1").arg(i)), want[i]);
        }
    }

    // What the window shows when it opens again is what it held when it
    // closed; the masks start anew.
    void settingsRestored() {
        openSearch();
        type(searchChild<QLineEdit>("Text_LowPrimaryAddress"), QStringLiteral("7"));
        type(searchChild<QLineEdit>("Text_HighPrimaryAddress"), QStringLiteral("9"));
        click(searchChild<QCheckBox>("Check_SND_NKE"));
        click(searchChild<QCheckBox>("Check_ViewFoundOnly"));
        list()->header()->resizeSection(5, 210);
        click(searchChild<QRadioButton>("Option_SearchMethod(1)"));
        QVERIFY(searchChild<QWidget>("Frame_Secondary")->isVisible());
        QCOMPARE(list()->headerItem()->text(3), txt(818));
        type(searchChild<QLineEdit>("Text_SearchMaskId"), QStringLiteral("1234FFFF"));
        click(searchChild<QCheckBox>("Chk_SearchUseFabrication"));
        type(searchChild<QLineEdit>("Text_SearchFabrication"), QStringLiteral("123"));
        QCOMPARE(settings::get(QStringLiteral("SearchFabrication")), QStringLiteral("123"));
        shoot(QStringLiteral("secondary"));
        click(searchChild<QPushButton>("Command_Exit"));
        QVERIFY(!SearchWindow::instance()->isVisible());
        QCOMPARE(settings::get(QStringLiteral("Text_LowPrimaryAddress")), QStringLiteral("7"));
        QCOMPARE(settings::get(QStringLiteral("Check_SND_NKE")), QStringLiteral("0"));
        QCOMPARE(settings::get(QStringLiteral("Option_SearchMethod")), QStringLiteral("1"));

        click(wizardChild<QPushButton>("Command_MeterFeature_Search"));
        QVERIFY(SearchWindow::instance()->isVisible());
        QVERIFY(searchChild<QWidget>("Frame_Secondary")->isVisible());
        QVERIFY(!searchChild<QWidget>("Frame_Primary")->isVisible());
        QCOMPARE(searchChild<QLineEdit>("Text_LowPrimaryAddress")->text(), QStringLiteral("7"));
        QCOMPARE(searchChild<QLineEdit>("Text_HighPrimaryAddress")->text(), QStringLiteral("9"));
        QVERIFY(!searchChild<QCheckBox>("Check_SND_NKE")->isChecked());
        QVERIFY(searchChild<QCheckBox>("Check_REQ_UD2")->isChecked());
        QVERIFY(searchChild<QCheckBox>("Check_ViewFoundOnly")->isChecked());
        QVERIFY(searchChild<QCheckBox>("Chk_SearchUseFabrication")->isChecked());
        QCOMPARE(searchChild<QLineEdit>("Text_SearchFabrication")->text(), QStringLiteral("123"));
        QCOMPARE(searchChild<QLineEdit>("Text_SearchMaskId")->text(), QStringLiteral("FFFFFFFF"));
        QVERIFY(qAbs(list()->header()->sectionSize(5) - 210) <= 1);
    }

    // ValidateSettings: the start button follows the boxes.
    void startRule_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("untick");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("0..251") << 0 << "0"
                                << "251"
                                << ""
                                << "" << true;
        QTest::newRow("252 too high") << 0 << "0"
                                      << "252"
                                      << ""
                                      << "" << false;
        QTest::newRow("high below low") << 0 << "5"
                                        << "4"
                                        << ""
                                        << "" << false;
        QTest::newRow("negative low") << 0 << "-1"
                                      << "3"
                                      << ""
                                      << "" << false;
        QTest::newRow("text starting with a number") << 0 << "3x"
                                                     << "4 "
                                                     << ""
                                                     << "" << true;
        QTest::newRow("REQ_UD2 alone") << 0 << "0"
                                       << "9"
                                       << ""
                                       << "Check_SND_NKE" << true;
        QTest::newRow("neither telegram") << 0 << "0"
                                          << "9"
                                          << ""
                                          << "Check_SND_NKE,Check_REQ_UD2" << false;
        QTest::newRow("mask of 8") << 1 << ""
                                   << ""
                                   << "1234567F"
                                   << "" << true;
        QTest::newRow("mask of 7") << 1 << ""
                                   << ""
                                   << "1234567"
                                   << "" << false;
        QTest::newRow("mask with blanks around") << 1 << ""
                                                 << ""
                                                 << " 12FFFFFF "
                                                 << "" << true;
    }
    void startRule() {
        QFETCH(int, method);
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(QString, mask);
        QFETCH(QString, untick);
        QFETCH(bool, enabled);
        if (!SearchWindow::instance() || !m_wizard)
            openSearch();
        click(searchChild<QRadioButton>(QStringLiteral("Option_SearchMethod(%1)").arg(method)));
        if (method == 0) {
            type(searchChild<QLineEdit>("Text_LowPrimaryAddress"), low);
            type(searchChild<QLineEdit>("Text_HighPrimaryAddress"), high);
        } else {
            type(searchChild<QLineEdit>("Text_SearchMaskId"), mask);
        }
        for (const QString& box : untick.split(QLatin1Char(','), Qt::SkipEmptyParts))
            click(searchChild<QCheckBox>(box));
        QCOMPARE(searchChild<QPushButton>("Command_Search")->isEnabled(), enabled);
    }

    // The dialog: factory values for a table never stored, Cancel stores
    // nothing, Apply with K2 stores the table and the family and the speed
    // buttons of the open search window follow.
    void timeoutDialog() {
        openSearch();
        QFile::remove(programDir() + QStringLiteral("Kestrune.INI"));
        SearchTimeoutsWindow* dialog = SearchTimeoutsWindow::showWindow(m_wizard.get());
        QCOMPARE(dialog->windowTitle(), getText(60));
        QCOMPARE(child<QLineEdit>(dialog, "txtK1(2)")->text(), QStringLiteral("1500"));
        QCOMPARE(child<QLineEdit>(dialog, "txtK2(0)")->text(), QStringLiteral("4000"));
        QVERIFY(child<QRadioButton>(dialog, "optActiveSetting(0)")->isChecked());

        type(child<QLineEdit>(dialog, "txtK1(0)"), QStringLiteral("1"));
        click(child<QPushButton>(dialog, "Command_FactoryDefaults"));
        QCOMPARE(child<QLineEdit>(dialog, "txtK1(0)")->text(), QStringLiteral("3000"));
        click(child<QPushButton>(dialog, "Command_Cancel"));
        QVERIFY(!QFile::exists(programDir() + QStringLiteral("Kestrune.INI")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        dialog = SearchTimeoutsWindow::showWindow(m_wizard.get());
        click(child<QRadioButton>(dialog, "optActiveSetting(1)"));
        type(child<QLineEdit>(dialog, "txtK2(1)"), QStringLiteral("12000"));
        click(child<QPushButton>(dialog, "Command_Apply"));
        QVERIFY(dialog->isVisible());
        const IniFile ini(programDir() + QStringLiteral("Kestrune.INI"));
        QCOMPARE(ini.read(QStringLiteral("Search"), QStringLiteral("RSP_UD2_Timeout_300_K2")),
                 QStringLiteral("12000"));
        QCOMPARE(ini.read(QStringLiteral("Search"), QStringLiteral("SND_NKE_Timeout_9600_K1")),
                 QStringLiteral("700"));
        QCOMPARE(settings::get(QStringLiteral("Option_SearchActiveSetting")), QStringLiteral("1"));
        QCOMPARE(searchChild<QRadioButton>("Option_Timeout(0)")->text(),
                 QStringLiteral("4000 ms/12000 ms (300 bps)"));
        QCOMPARE(searchChild<QRadioButton>("Option_Timeout(1)")->text(),
                 QStringLiteral("4000 ms/5000 ms (2400 bps)"));
        click(child<QRadioButton>(dialog, "optActiveSetting(0)"));
        click(child<QPushButton>(dialog, "Command_OK"));
        QCOMPARE(searchChild<QRadioButton>("Option_Timeout(2)")->text(),
                 QStringLiteral("700 ms/3000 ms (9600 bps)"));
        QCOMPARE(settings::get(QStringLiteral("Option_SearchActiveSetting")), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestSearchWindow)
#include "tst_searchwindow.moc"
