// The traffic log window, offscreen: controls, list, counters, poll timer,
// placement, save and close.
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/LogViewModel.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"
#include "tests/simprogram/ProgramFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace kestrune;

namespace {

class Host : public DebugHost {
public:
    Host() {
        main = std::make_unique<QWidget>();
        main->setGeometry(100, 80, 500, 400);
    }
    QWidget* mainWindow() override { return main.get(); }
    int currentPage() const override { return page; }
    int selectedMeterFeature() const override { return feature; }
    void pollAction(PollTarget target) override {
        ++polls;
        lastTarget = target;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (onPoll)
            onPoll();
        --depth;
    }

    std::unique_ptr<QWidget> main;
    int page = 70;
    int feature = 0;
    int polls = 0;
    int depth = 0;
    int maxDepth = 0;
    PollTarget lastTarget = PollTarget::None;
    std::function<void()> onPoll;
};

// Waits for ms while the window's timers run (as an exchange's wait does).
void processFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename T> T* child(const char* name) {
    DebugWindow* w = DebugWindow::instance();
    return w ? w->findChild<T*>(QLatin1String(name)) : nullptr;
}

// Clicks button and answers the file dialog it opens with answer(). False
// when no dialog came within 5 s (a modal left behind is rejected, as it
// would hang the run).
bool answerFileDialog(QAbstractButton* button, const std::function<void(QFileDialog*)>& answer) {
    bool answered = false;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (waited.elapsed() > 5000) {
                poll.stop();
                if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    modal->reject();
            }
            return;
        }
        poll.stop();
        answer(dialog);
        answered = true;
    });
    poll.start(20);
    QTest::mouseClick(button, Qt::LeftButton);
    return answered;
}

} // namespace

class TestDebugWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Host> m_host;

    QString iniPath() const { return m_dir.filePath(QStringLiteral("Kestrune.INI")); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        fixture::useProgramDir(m_dir.path(), m_dir.filePath(QStringLiteral("config")));
        // The dialog's title and filter names are the English texts.
        QVERIFY(fixture::loadLanguage());
    }

    void init() {
        QFile::remove(iniPath());
        m_host = std::make_unique<Host>();
        trafficLog().resetStats();
        trafficLog().setVerboseSearchLog(false);
    }

    void cleanup() {
        DebugWindow::closeWindow();
        for (auto t : {DebugWindow::Tool::Timeouts, DebugWindow::Tool::SearchTimeouts,
                       DebugWindow::Tool::Properties})
            DebugWindow::setToolHandler(t, nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_host.reset();
    }

    void controlsCarryTheirNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        const char* const rows[][2] = {
            {"List_Debug", "QListView"},
            {"Text_Comment", "QLineEdit"},
            {"Label_Comment", "QLabel"},
            {"txtResponseTot", "QLineEdit"},
            {"lblResponseTot", "QLabel"},
            {"txtErrorTot", "QLineEdit"},
            {"lblErrorTot", "QLabel"},
            {"Text_Interval", "QLineEdit"},
            {"lblInterval", "QLabel"},
            {"lblIntervalSort", "QLabel"},
            {"Check_CountinousPoll", "QCheckBox"},
            {"Timer_ContinousPoll", "QTimer"},
            {"Command_Save", "QPushButton"},
            {"Command_Clear", "QPushButton"},
            {"Command_Exit", "QPushButton"},
            {"Menu_File", "QMenu"},
            {"Menu_File_SaveToDebugTXT", "QAction"},
            {"Menu_File_Clear", "QAction"},
            {"Menu_File_Exit", "QAction"},
            {"Menu_Tools", "QMenu"},
            {"Menu_Tools_ResetStats", "QAction"},
            {"Menu_Tools_Timeouts", "QAction"},
            {"Menu_Tools_SearchTimeouts", "QAction"},
            {"Menu_Tools_Properties", "QAction"},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
    }
    void controlsCarryTheirNames() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        DebugWindow* w = DebugWindow::open(*m_host);
        QCOMPARE(w->objectName(), QStringLiteral("Kestrune_Debug"));
        QCOMPARE(w->windowTitle(), getText(20));
        QObject* o = w->findChild<QObject*>(name);
        QVERIFY2(o, qPrintable(name));
        QVERIFY(o->inherits(qPrintable(type)));
        QCOMPARE(w->findChildren<QObject*>(name).size(), 1);
    }

    void captions() {
        DebugWindow::open(*m_host);
        QCOMPARE(child<QLabel>("Label_Comment")->text(), getText(752) + QLatin1Char(':'));
        QCOMPARE(child<QPushButton>("Command_Exit")->text(), getText(232));
        QCOMPARE(child<QAction>("Menu_File_Exit")->text(), getText(232));
    }

    void openActivatesAndCloseStoresTheInterval() {
        IniFile(iniPath()).write(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                                 QStringLiteral("2500"));
        QVERIFY(!trafficLog().isActive());
        DebugWindow* w = DebugWindow::open(*m_host);
        QVERIFY(w);
        QCOMPARE(DebugWindow::instance(), w);
        QCOMPARE(DebugWindow::open(*m_host), w); // single instance
        QVERIFY(trafficLog().isActive());
        QVERIFY(w->isVisible());
        QCOMPARE(child<QLineEdit>("Text_Interval")->text(), QStringLiteral("2500"));

        child<QLineEdit>("Text_Interval")->setText(QStringLiteral("1234"));
        trafficLog().note(QStringLiteral("kept while open"));
        QTest::mouseClick(child<QPushButton>("Command_Exit"), Qt::LeftButton);
        QVERIFY(!DebugWindow::instance());
        QVERIFY(!trafficLog().isActive());
        QCOMPARE(trafficLog().lineCount(), 0);
        QCOMPARE(IniFile(iniPath()).read(QStringLiteral("Debug"), QStringLiteral("PollInterval")),
                 QStringLiteral("1234"));
        trafficLog().note(QStringLiteral("not logged"));
        QCOMPARE(trafficLog().lineCount(), 0);
    }

    void defaultsWithoutIni() {
        DebugWindow::open(*m_host);
        QCOMPARE(child<QLineEdit>("Text_Interval")->text(), QStringLiteral("10000"));
        QCOMPARE(trafficLog().maxLines(), 500);
    }

    void maxDebugLinesFromIni_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("3") << "3" << 3;
        QTest::newRow("0 is taken as 1") << "0" << 1;
        QTest::newRow("not a number is taken as 1") << "lots" << 1;
    }
    void maxDebugLinesFromIni() {
        QFETCH(QString, value);
        QFETCH(int, expected);
        IniFile(iniPath()).write(QStringLiteral("Debug"), QStringLiteral("MaxDebugLines"), value);
        DebugWindow::open(*m_host);
        QCOMPARE(trafficLog().maxLines(), expected);
        for (int i = 0; i < 10; ++i)
            trafficLog().note(QStringLiteral("n%1").arg(i));
        QTRY_COMPARE(child<QListView>("List_Debug")->model()->rowCount(), expected);
    }

    void toggle() {
        DebugWindow::toggle(*m_host);
        QVERIFY(DebugWindow::instance());
        QVERIFY(trafficLog().isActive());
        DebugWindow::toggle(*m_host);
        QVERIFY(!DebugWindow::instance());
        QVERIFY(!trafficLog().isActive());
        DebugWindow::toggle(*m_host);
        QVERIFY(DebugWindow::instance());
    }

    void menuExitCloses() {
        DebugWindow::open(*m_host);
        child<QAction>("Menu_File_Exit")->trigger();
        QVERIFY(!DebugWindow::instance());
        QVERIFY(!trafficLog().isActive());
    }

    void mainWindowGoneUnloads() {
        DebugWindow::open(*m_host);
        child<QLineEdit>("Text_Interval")->setText(QStringLiteral("777"));
        m_host->main.reset();
        QVERIFY(!DebugWindow::instance());
        QVERIFY(!trafficLog().isActive());
        QCOMPARE(IniFile(iniPath()).read(QStringLiteral("Debug"), QStringLiteral("PollInterval")),
                 QStringLiteral("777"));
    }

    void placedBesideTheMainWindow() {
        // Room for the log beside it on the offscreen platform's screen.
        m_host->main->setGeometry(10, 20, 180, 300);
        m_host->main->show();
        DebugWindow* w = DebugWindow::open(*m_host);
        QTRY_VERIFY(w->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect mainFrame = m_host->main->frameGeometry();
        QCOMPARE(w->pos().x(), mainFrame.x() + mainFrame.width());
        QCOMPARE(w->pos().y(), mainFrame.y());
        QCOMPARE(w->height(), m_host->main->height());
        const qreal dpi = w->screen()->logicalDotsPerInchX();
        QVERIFY(qAbs(w->width() - 8200 * dpi / 1440.0) <= 1.0);
    }

    void placeBeside_data() {
        QTest::addColumn<QRect>("mainFrame");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("framePos");
        QTest::addColumn<QSize>("clientSize");
        // The log: 547 x 400 client area, frame 2 px at the sides, 30 on top.
        const QRect screen(0, 0, 1280, 1024);
        QTest::newRow("right of the wizard")
            << QRect(0, 0, 506, 464) << screen << QPoint(506, 0) << QSize(547, 400);
        QTest::newRow("wizard centred on 1280: narrowed to the room on the right")
            << QRect(387, 280, 506, 464) << screen << QPoint(893, 280) << QSize(383, 400);
        QTest::newRow("wizard at the right edge: left of it")
            << QRect(774, 100, 506, 464) << screen << QPoint(223, 100) << QSize(547, 400);
        QTest::newRow("no room on either side: at the screen's right edge")
            << QRect(150, 100, 506, 464) << QRect(0, 0, 800, 600) << QPoint(249, 100)
            << QSize(547, 400);
        QTest::newRow("panel at the top, wizard above it")
            << QRect(0, 0, 506, 464) << QRect(0, 40, 1280, 984) << QPoint(506, 40)
            << QSize(547, 400);
        QTest::newRow("wizard low on the screen: moved up")
            << QRect(0, 800, 506, 464) << screen << QPoint(506, 592) << QSize(547, 400);
        QTest::newRow("screen smaller than the log")
            << QRect(0, 0, 100, 100) << QRect(0, 0, 300, 200) << QPoint(0, 0) << QSize(296, 168);
    }
    void placeBeside() {
        QFETCH(QRect, mainFrame);
        QFETCH(QRect, available);
        QFETCH(QPoint, framePos);
        QFETCH(QSize, clientSize);
        const WindowPlacement at = kestrune::placeBeside(mainFrame, QSize(547, 400),
                                                         QMargins(2, 30, 2, 2), 300, available);
        QCOMPARE(at.framePos, framePos);
        QCOMPARE(at.clientSize, clientSize);
        // Always wholly on the available area.
        const QRect frame(at.framePos, at.clientSize + QSize(4, 32));
        QVERIFY(available.contains(frame));
    }

    // The wizard is shown and then placed by the window manager: the log goes
    // beside where the wizard ends up, not where it was asked to be.
    void waitsForTheWizardToBePlaced() {
        m_host->main->setGeometry(10, 20, 180, 300);
        m_host->main->show();
        DebugWindow* w = DebugWindow::open(*m_host);
        m_host->main->move(40, 60); // the window manager's choice
        QVERIFY(!w->isVisible());
        QTRY_VERIFY(w->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QRect mainFrame = m_host->main->frameGeometry();
        QCOMPARE(mainFrame.topLeft(), QPoint(40, 60));
        QCOMPARE(w->pos(), QPoint(mainFrame.x() + mainFrame.width(), mainFrame.y()));
    }

    // A bare name typed with the text filter chosen gets ".txt", whatever
    // the language calls the filters.
    void saveAddsTheTextExtension_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("allFiles"); // the user picked "All Files"
        QTest::addColumn<QString>("written");
        QTest::newRow("bare name") << 1 << "bare" << false << "bare.txt";
        QTest::newRow("own extension") << 1 << "own.log" << false << "own.log";
        QTest::newRow("bare name, all files") << 1 << "all" << true << "all";
        QTest::newRow("bare name, German") << 49 << "bare" << false << "bare.txt";
        QTest::newRow("bare name, all files, German") << 49 << "all" << true << "all";
    }
    void saveAddsTheTextExtension() {
        QFETCH(int, language);
        QFETCH(QString, typed);
        QFETCH(bool, allFiles);
        QFETCH(QString, written);
        QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/") +
                                         languageFileName(language)));
        const auto english = qScopeGuard([] {
            languageTable().loadFile(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/") +
                                     languageFileName(1));
        });
        DebugWindow::open(*m_host);
        trafficLog().note(QStringLiteral("saved"));
        QDir dir(m_dir.filePath(QStringLiteral("save-%1")
                                    .arg(QTest::currentDataTag())
                                    .replace(QLatin1Char(' '), QLatin1Char('-'))
                                    .remove(QLatin1Char(','))));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        const bool answered =
            answerFileDialog(child<QPushButton>("Command_Save"), [&](QFileDialog* dialog) {
                dialog->setDirectory(dir);
                if (allFiles) {
                    // Chosen from the file type list as a user does.
                    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                    QVERIFY(types);
                    QTest::keyClick(types, Qt::Key_Down);
                    QCOMPARE(dialog->selectedNameFilter(), getText(2651) + QStringLiteral("(*.*)"));
                }
                auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(edit);
                edit->setText(typed);
                QTest::keyClick(edit, Qt::Key_Return);
            });
        QVERIFY(answered);
        QCOMPARE(dir.entryList(QDir::Files), QStringList{written});
    }

    // Closing the log stores the poll interval; when the file refuses it the
    // user hears so instead of losing it silently.
    void intervalNotStoredIsTold() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Kestrune.INI"))); // a folder in the way
        DebugWindow::open(*m_host);
        child<QLineEdit>("Text_Interval")->setText(QStringLiteral("4321"));
        QString told;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&told] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    told = box->text();
                    box->done(QMessageBox::Ok);
                }
            }
        });
        watch.start(10);
        QTest::mouseClick(child<QPushButton>("Command_Exit"), Qt::LeftButton);
        watch.stop();
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("Kestrune.INI")));
        QVERIFY(!DebugWindow::instance());
        QVERIFY2(told.startsWith(getText(757)), qPrintable(told));
        QVERIFY(told.contains(iniPath()));
    }

    void listShowsEntriesAndScrollsToTheNewest() {
        DebugWindow::open(*m_host);
        auto* list = child<QListView>("List_Debug");
        QCOMPARE(list->model(), &DebugWindow::instance()->viewModel());
        QCOMPARE(list->font().pointSizeF(), 8.25);
        // Hexadecimal columns line up only in a fixed-pitch font.
        const QFontMetrics metrics(list->font());
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("WWWW")),
                 metrics.horizontalAdvance(QStringLiteral("iiii")));
        trafficLog().log(QByteArray::fromHex("105BFE5916"), Direction::Sent);
        trafficLog().log(QByteArray(17, char(0xE5)), Direction::Received);
        trafficLog().log(QByteArray::fromHex("107BFE7916"), Direction::Sent);
        QTRY_COMPARE(list->model()->rowCount(), 5); // 1 + 2 + separator + 1
        QCOMPARE(list->model()->index(3, 0).data().toString(), QString());
        QCOMPARE(list->model()->index(4, 0).data().toString(), trafficLog().line(4));
        QTRY_COMPARE(list->currentIndex().row(), 4);

        QTest::mouseClick(child<QPushButton>("Command_Clear"), Qt::LeftButton);
        QCOMPARE(list->model()->rowCount(), 0);
        trafficLog().note(QStringLiteral("again"));
        QTRY_COMPARE(list->model()->rowCount(), 1);
        child<QAction>("Menu_File_Clear")->trigger();
        QCOMPARE(list->model()->rowCount(), 0);
    }

    void counters() {
        trafficLog().countResponse();
        DebugWindow::open(*m_host);
        QCOMPARE(child<QLineEdit>("txtResponseTot")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>("txtErrorTot")->text(), QStringLiteral("0"));
        trafficLog().countResponse();
        trafficLog().countFailure();
        QCOMPARE(child<QLineEdit>("txtResponseTot")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>("txtErrorTot")->text(), QStringLiteral("1"));
        child<QAction>("Menu_Tools_ResetStats")->trigger();
        QCOMPARE(trafficLog().responseCount(), 0);
        QCOMPARE(trafficLog().failureCount(), 0);
        QCOMPARE(child<QLineEdit>("txtResponseTot")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLineEdit>("txtErrorTot")->text(), QStringLiteral("0"));
    }

    void intervalField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("interval");
        QTest::newRow("abc") << "abc"
                             << "0" << 0;
        QTest::newRow("70000") << "70000"
                               << "65535" << 65535;
        QTest::newRow("empty") << ""
                               << "" << 0;
        QTest::newRow("50") << "50"
                            << "50" << 50;
    }
    void intervalField() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, interval);
        DebugWindow::open(*m_host);
        auto* text = child<QLineEdit>("Text_Interval");
        auto* timer = child<QTimer>("Timer_ContinousPoll");
        child<QCheckBox>("Check_CountinousPoll")->setChecked(true);
        QVERIFY(timer->isActive()); // 10000 ms from the default
        m_host->page = 10;          // nothing to press: the tick itself is harmless
        text->setText(typed);
        QCOMPARE(text->text(), shown);
        QCOMPARE(timer->isActive(), interval > 0);
        if (interval > 0)
            QCOMPARE(timer->interval(), interval);
    }

    void pollBoxEnabledAtLoad_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("feature");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("page 60 feature 4") << 60 << 4 << true;
        QTest::newRow("page 60 feature 0") << 60 << 0 << false;
        QTest::newRow("page 60 feature 2") << 60 << 2 << false;
        QTest::newRow("page 70") << 70 << 0 << true;
        QTest::newRow("page 80") << 80 << 3 << true;
        QTest::newRow("page 40") << 40 << 4 << false;
    }
    void pollBoxEnabledAtLoad() {
        QFETCH(int, page);
        QFETCH(int, feature);
        QFETCH(bool, enabled);
        m_host->page = page;
        m_host->feature = feature;
        DebugWindow::open(*m_host);
        QCOMPARE(child<QCheckBox>("Check_CountinousPoll")->isEnabled(), enabled);
    }

    void pollTargets_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("feature");
        QTest::addColumn<int>("target");
        QTest::newRow("60/0") << 60 << 0 << int(PollTarget::MeterFeatureApply);
        QTest::newRow("60/4") << 60 << 4 << int(PollTarget::MeterFeatureApply);
        QTest::newRow("60/1") << 60 << 1 << int(PollTarget::None);
        QTest::newRow("60/5") << 60 << 5 << int(PollTarget::None);
        QTest::newRow("70") << 70 << 0 << int(PollTarget::ModbusRead);
        QTest::newRow("80") << 80 << 0 << int(PollTarget::AsciiRead);
        QTest::newRow("50") << 50 << 0 << int(PollTarget::None);
    }
    void pollTargets() {
        QFETCH(int, page);
        QFETCH(int, feature);
        QFETCH(int, target);
        QCOMPARE(int(pollTarget(page, feature)), target);
    }

    void pollTicksAndNeverReenters() {
        IniFile(iniPath()).write(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                                 QStringLiteral("10"));
        m_host->page = 70;
        DebugWindow* w = DebugWindow::open(*m_host);
        // A poll that waits like an exchange: events are processed while the
        // timer keeps ticking.
        m_host->onPoll = [&] {
            QVERIFY(w->pollBusy());
            processFor(150);
        };
        auto* box = child<QCheckBox>("Check_CountinousPoll");
        QVERIFY(box->isEnabled());
        box->setChecked(true); // one tick at once
        QCOMPARE(m_host->polls, 1);
        QCOMPARE(m_host->lastTarget, PollTarget::ModbusRead);
        QVERIFY(!w->pollBusy());
        m_host->onPoll = nullptr;
        processFor(120);
        QVERIFY(m_host->polls > 3);
        QCOMPARE(m_host->maxDepth, 1);

        box->setChecked(false);
        QVERIFY(!child<QTimer>("Timer_ContinousPoll")->isActive());
        const int polls = m_host->polls;
        processFor(60);
        QCOMPARE(m_host->polls, polls);
    }

    void pagesDisableThePollBox() {
        IniFile(iniPath()).write(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                                 QStringLiteral("10"));
        m_host->page = 70;
        DebugWindow::open(*m_host);
        auto* box = child<QCheckBox>("Check_CountinousPoll");
        box->setChecked(true);
        DebugWindow::setPollBoxEnabled(false);
        QVERIFY(!box->isEnabled());
        QVERIFY(!box->isChecked());
        QVERIFY(!child<QTimer>("Timer_ContinousPoll")->isActive());
        DebugWindow::setPollBoxEnabled(true);
        QVERIFY(box->isEnabled());
        QVERIFY(!box->isChecked());
    }

    void closingDuringAPollIsSafe() {
        IniFile(iniPath()).write(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                                 QStringLiteral("10"));
        m_host->page = 80;
        DebugWindow::open(*m_host);
        m_host->onPoll = [] {
            processFor(20);
            DebugWindow::closeWindow();
            processFor(20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        child<QCheckBox>("Check_CountinousPoll")->setChecked(true);
        QVERIFY(!DebugWindow::instance());
        QVERIFY(!trafficLog().isActive());
        const int polls = m_host->polls;
        processFor(50);
        QCOMPARE(m_host->polls, polls);
    }

    void intervalLabelTogglesVerboseSearchLog() {
        DebugWindow::open(*m_host);
        auto* label = child<QLabel>("lblInterval");
        QVERIFY(!trafficLog().verboseSearchLog());
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(trafficLog().verboseSearchLog());
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!trafficLog().verboseSearchLog());
    }

    void toolEntriesFollowTheirHandlers() {
        DebugWindow::open(*m_host);
        auto* timeouts = child<QAction>("Menu_Tools_Timeouts");
        // Without a handler an entry is disabled.
        DebugWindow::setToolHandler(DebugWindow::Tool::Timeouts, nullptr);
        QVERIFY(!timeouts->isEnabled());
        QVERIFY(!child<QAction>("Menu_Tools_Properties")->isEnabled());
        int shown = 0;
        DebugWindow::setToolHandler(DebugWindow::Tool::Timeouts, [&] { ++shown; });
        QVERIFY(timeouts->isEnabled());
        timeouts->trigger();
        QCOMPARE(shown, 1);
        QVERIFY(!child<QAction>("Menu_Tools_SearchTimeouts")->isEnabled());
    }

    void saveThroughTheDialogAppends() {
        DebugWindow::open(*m_host);
        trafficLog().log(QByteArray::fromHex("105BFE5916"), Direction::Sent);
        trafficLog().log(QByteArray::fromHex("E5"), Direction::Received);
        child<QLineEdit>("Text_Comment")->setText(QStringLiteral("meter 5"));
        // A file of its own: an existing one would make the dialog ask
        // before overwriting.
        const QString path = m_dir.filePath(QStringLiteral("dialog-save.txt"));
        QFile::remove(path);
        QString title;
        QStringList filters;
        const bool answered =
            answerFileDialog(child<QPushButton>("Command_Save"), [&](QFileDialog* dialog) {
                title = dialog->windowTitle();
                filters = dialog->nameFilters();
                // Type the name as a user would and confirm.
                if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    edit->setText(path);
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            });
        QVERIFY(answered);
        QCOMPARE(title, QStringLiteral("Save Debug Information"));
        QCOMPARE(filters, (QStringList{QStringLiteral("Text Files(*.txt)"),
                                       QStringLiteral("All Files(*.*)")}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        QVERIFY(content.startsWith("DEBUG INFO\r\n"));
        QVERIFY(content.contains("Comment: meter 5\r\n"));
        QVERIFY(content.contains(" -> 10 5B FE 59 16"));
        QVERIFY(content.contains("\r\n001 "));
    }
};

QTEST_MAIN(TestDebugWindow)
#include "tst_debugwindow.moc"
