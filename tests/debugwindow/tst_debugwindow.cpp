// The traffic log window, offscreen: controls, list, counters, poll timer,
// placement, save and close.
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
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

} // namespace

class TestDebugWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Host> m_host;

    QString iniPath() const { return m_dir.filePath(QStringLiteral("Kestrune.INI")); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("KESTRUNE_PROGRAM_DIR", m_dir.path().toLocal8Bit());
        setProgramDir(m_dir.path());
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
        QCOMPARE(child<QListView>("List_Debug")->model()->rowCount(), expected);
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
        m_host->main->show();
        DebugWindow* w = DebugWindow::open(*m_host);
        const QRect mainFrame = m_host->main->frameGeometry();
        QCOMPARE(w->pos().x(), mainFrame.x() + mainFrame.width());
        QCOMPARE(w->pos().y(), mainFrame.y());
        QCOMPARE(w->height(), m_host->main->height());
        const qreal dpi = w->screen()->logicalDotsPerInchX();
        QVERIFY(qAbs(w->width() - 8200 * dpi / 1440.0) <= 1.0);
    }

    void listShowsEntriesAndScrollsToTheNewest() {
        DebugWindow::open(*m_host);
        auto* list = child<QListView>("List_Debug");
        QCOMPARE(list->model(), &trafficLog());
        QCOMPARE(list->font().pointSizeF(), 8.25);
        // Hexadecimal columns line up only in a fixed-pitch font.
        const QFontMetrics metrics(list->font());
        QCOMPARE(metrics.horizontalAdvance(QStringLiteral("WWWW")),
                 metrics.horizontalAdvance(QStringLiteral("iiii")));
        trafficLog().log(QByteArray::fromHex("105BFE5916"), Direction::Sent);
        trafficLog().log(QByteArray(17, char(0xE5)), Direction::Received);
        trafficLog().log(QByteArray::fromHex("107BFE7916"), Direction::Sent);
        QCOMPARE(list->model()->rowCount(), 5); // 1 + 2 + separator + 1
        QCOMPARE(list->model()->index(3, 0).data().toString(), QString());
        QCoreApplication::processEvents();
        QCOMPARE(list->currentIndex().row(), 4);

        QTest::mouseClick(child<QPushButton>("Command_Clear"), Qt::LeftButton);
        QCOMPARE(list->model()->rowCount(), 0);
        trafficLog().note(QStringLiteral("again"));
        QCOMPARE(list->model()->rowCount(), 1);
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
        bool answered = false;
        QString title;
        QStringList filters;
        // Answer the dialog once it is up; give up (rejecting it) after 5 s.
        QTimer answer;
        QElapsedTimer waited;
        waited.start();
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (waited.elapsed() > 5000) {
                    // Never leave a modal dialog behind: that would hang the run.
                    answer.stop();
                    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                        modal->reject();
                }
                return;
            }
            answer.stop();
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            // Type the name as a user would and confirm.
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            answered = true;
        });
        answer.start(20);
        QTest::mouseClick(child<QPushButton>("Command_Save"), Qt::LeftButton);
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
