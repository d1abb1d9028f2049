// The time-out window, offscreen: rows and captions, reading and writing the
// INI file, OK/Apply/Cancel/factory defaults, the link's values reloaded for
// the selected task, and the way in through the traffic log's Tools menu.
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"
#include "channel/gui/TimeoutsWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kestrune;

namespace {

class Host : public DebugHost {
public:
    Host() : main(std::make_unique<QWidget>()) {}
    QWidget* mainWindow() override { return main.get(); }
    int currentPage() const override { return 60; }
    int selectedMeterFeature() const override { return 0; }
    void pollAction(PollTarget) override {}
    std::unique_ptr<QWidget> main;
};

QString rowName(const char* prefix, int row) {
    return QLatin1String(prefix) + QLatin1Char('(') + QString::number(row) + QLatin1Char(')');
}

QStringList defaults() {
    return {QStringLiteral("1000"),  QStringLiteral("1000"), QStringLiteral("10000"),
            QStringLiteral("15000"), QStringLiteral("5000"), QStringLiteral("1000"),
            QStringLiteral("50"),    QStringLiteral("3000"), QStringLiteral("3000"),
            QStringLiteral("3000")};
}

} // namespace

class TestTimeoutsWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString iniPath() const { return m_dir.filePath(QStringLiteral("Kestrune.INI")); }

    void writeIni(const QByteArray& contents) {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contents);
    }
    QByteArray iniBytes() const {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    static TimeoutsWindow* window() { return TimeoutsWindow::showWindow(); }
    static QLineEdit* field(int row) { return TimeoutsWindow::instance()->field(row); }
    static void click(const char* button) {
        auto* b = TimeoutsWindow::instance()->findChild<QPushButton*>(QLatin1String(button));
        QVERIFY(b);
        b->click();
    }
    static void closeAndDelete() {
        if (TimeoutsWindow* w = TimeoutsWindow::instance())
            w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!TimeoutsWindow::instance());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        setProgramDir(m_dir.path());
    }

    void init() {
        QFile::remove(iniPath());
        link().setSelectedTask(4);
        link().setBusDelay(-1);
        link().setBusTimeout(-1);
        link().setOpenTimeout(-1);
    }

    void cleanup() {
        closeAndDelete();
        DebugWindow::closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void rowsCarryTheirNamesAndTexts_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < TimeoutRowCount; ++i)
            QTest::addRow("row %d", i) << i;
    }
    void rowsCarryTheirNamesAndTexts() {
        QFETCH(int, row);
        TimeoutsWindow* w = window();
        QCOMPARE(w->objectName(), QStringLiteral("Kestrune_Timeouts"));
        auto* label = w->findChild<QLabel*>(rowName("Label_Timeout", row));
        auto* text = w->findChild<QLineEdit*>(rowName("Text_Timeout", row));
        auto* unit = w->findChild<QLabel*>(rowName("Label_Unit", row));
        QVERIFY(label && text && unit);
        QCOMPARE(text, w->field(row));
        // No language is loaded: the caption names the text number it asks for.
        QCOMPARE(label->text(), QStringLiteral("Invalid Text (%1)").arg(700 + row));
        QCOMPARE(label->toolTip(), QStringLiteral("Invalid Text (%1)").arg(720 + row));
        QCOMPARE(unit->text(), QStringLiteral("Invalid Text (740)"));
    }

    void buttonsAndCaption() {
        TimeoutsWindow* w = window();
        QCOMPARE(w->windowTitle(), QStringLiteral("Invalid Text (40)"));
        const std::pair<const char*, int> buttons[] = {{"Command_OK", 238},
                                                       {"Command_Apply", 230},
                                                       {"Command_Cancel", 231},
                                                       {"Command_FactoryDefaults", 239}};
        for (const auto& [name, text] : buttons) {
            auto* b = w->findChild<QPushButton*>(QLatin1String(name));
            QVERIFY2(b, name);
            QCOMPARE(b->text(), QStringLiteral("Invalid Text (%1)").arg(text));
        }
        QCOMPARE(w->windowModality(), Qt::NonModal);
    }

    // Absent keys show the factory values; present ones show their text as
    // stored, whatever the letter case of section and key.
    void readsTheFile_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("no file") << QByteArray() << defaults();
        QStringList mixed = defaults();
        mixed[0] = QStringLiteral("250");
        mixed[4] = QStringLiteral("abc");
        mixed[7] = QStringLiteral("900");
        mixed[8] = QStringLiteral("1200");
        QTest::addRow("other letter case")
            << QByteArray("[ip]\r\nScanTimeout=250\r\nOPENTIMEOUT=abc\r\nBusTimeout=900\r\n"
                          "[MODBUS]\r\nbustimeout=1200\r\n")
            << mixed;
        QStringList modbusDelayIgnored = defaults();
        QTest::addRow("ModBus BusDelay is not a row")
            << QByteArray("[ModBus]\nBusDelay=7\n[PadPuls]\nBusTimeout=1\n") << modbusDelayIgnored;
    }
    void readsTheFile() {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, expected);
        if (!ini.isNull())
            writeIni(ini);
        window();
        for (int i = 0; i < TimeoutRowCount; ++i)
            QCOMPARE(field(i)->text(), expected[i]);
    }

    void applyThenCancelKeeps() {
        window();
        field(1)->setText(QStringLiteral("1234"));
        field(7)->setText(QStringLiteral("777"));
        click("Command_Apply");
        QVERIFY(TimeoutsWindow::instance()); // Apply leaves the window open
        const QByteArray applied = iniBytes();
        field(1)->setText(QStringLiteral("9"));
        click("Command_Cancel");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!TimeoutsWindow::instance());
        QCOMPARE(iniBytes(), applied);
        const IniFile ini(iniPath());
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("UDPTimeOut")),
                 QStringLiteral("1234"));
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("BusTimeOut")),
                 QStringLiteral("777"));
        // Opened again, the window shows what was applied.
        window();
        QCOMPARE(field(1)->text(), QStringLiteral("1234"));
    }

    void applyShowsWhatIsStored() {
        window();
        field(3)->setText(QStringLiteral(" 20000x"));
        click("Command_Apply");
        QCOMPARE(field(3)->text(),
                 IniFile(iniPath()).read(QStringLiteral("IP"), QStringLiteral("WriteTimeOut")));
    }

    void factoryDefaultsThenCancelWritesNothing_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addRow("no file") << QByteArray();
        QTest::addRow("edited file")
            << QByteArray("; by hand\r\n[IP]\r\nBusDelay=5\r\nbustimeout=100\r\n\r\n[Debug]\r\n"
                          "PollInterval=10\r\n");
    }
    void factoryDefaultsThenCancelWritesNothing() {
        QFETCH(QByteArray, ini);
        if (!ini.isNull())
            writeIni(ini);
        const QByteArray before = iniBytes();
        window();
        click("Command_FactoryDefaults");
        for (int i = 0; i < TimeoutRowCount; ++i)
            QCOMPARE(field(i)->text(), defaults()[i]);
        QCOMPARE(iniBytes(), before); // the button alone writes nothing
        click("Command_Cancel");
        QCOMPARE(iniBytes(), before);
        QCOMPARE(link().busDelay(), -1); // nor does it touch the link
    }

    void okWritesAndCloses() {
        window();
        click("Command_FactoryDefaults");
        field(9)->setText(QStringLiteral("4500"));
        click("Command_OK");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!TimeoutsWindow::instance());
        const IniFile ini(iniPath());
        QStringList expected = defaults();
        expected[9] = QStringLiteral("4500");
        QCOMPARE(readTimeoutTexts(ini), expected);
        // Every row was written under its own key.
        for (const TimeoutRow& row : timeoutRows())
            QVERIFY2(iniBytes().contains(QByteArray(row.key) + '='), row.key);
    }

    // After writing, the link takes BusDelay, BusTimeout and OpenTimeout from
    // the section of the selected task, at once.
    void linkTakesTheTaskSection_data() {
        QTest::addColumn<int>("task");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("busDelay");
        QTest::addColumn<int>("busTimeout");
        QTest::addColumn<int>("openTimeout");
        QTest::addRow("task 5, row 8") << 5 << 8 << "1500" << 50 << 1500 << 5000;
        QTest::addRow("task 5, row 7 is not its section") << 5 << 7 << "1500" << 50 << 3000 << 5000;
        QTest::addRow("task 4, row 6") << 4 << 6 << "20" << 20 << 3000 << 5000;
        QTest::addRow("task 4, row 7") << 4 << 7 << "800" << 50 << 800 << 5000;
        QTest::addRow("task 4, row 4") << 4 << 4 << "900" << 50 << 3000 << 900;
        QTest::addRow("task 6, row 9") << 6 << 9 << "2500" << 50 << 2500 << 5000;
        QTest::addRow("task 6, row 8 is not its section") << 6 << 8 << "2500" << 50 << 3000 << 5000;
        QTest::addRow("task 0, row 7") << 0 << 7 << "100" << 50 << 100 << 5000;
        QTest::addRow("text that is no number") << 4 << 7 << "abc" << 50 << 0 << 5000;
    }
    void linkTakesTheTaskSection() {
        QFETCH(int, task);
        QFETCH(int, row);
        QFETCH(QString, value);
        QFETCH(int, busDelay);
        QFETCH(int, busTimeout);
        QFETCH(int, openTimeout);
        link().setSelectedTask(task);
        window();
        field(row)->setText(value);
        click("Command_Apply");
        QCOMPARE(link().busDelay(), busDelay);
        QCOMPARE(link().busTimeout(), busTimeout);
        QCOMPARE(link().openTimeout(), openTimeout);
        QCOMPARE(field(row)->text(), value); // stored exactly as typed
    }

    // A key written by hand in another letter case is the same entry: the
    // window replaces it instead of adding a second one that readers might
    // not see.
    void otherLetterCaseIsTheSameEntry() {
        writeIni("[ip]\r\nbustimeout=100\r\nBUSDELAY=7\r\n[modbus]\r\nBusTimeout=200\r\n");
        link().setSelectedTask(5);
        window();
        QCOMPARE(field(6)->text(), QStringLiteral("7"));
        QCOMPARE(field(7)->text(), QStringLiteral("100"));
        QCOMPARE(field(8)->text(), QStringLiteral("200"));
        field(7)->setText(QStringLiteral("250"));
        field(8)->setText(QStringLiteral("350"));
        click("Command_Apply");
        const QByteArray bytes = iniBytes().toLower();
        QCOMPARE(bytes.count("bustimeout="), 3); // one each in [ip], [modbus], [mbusascii]
        QCOMPARE(bytes.count("busdelay="), 1);
        const IniFile ini(iniPath());
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("BusTimeout")),
                 QStringLiteral("250"));
        QCOMPARE(link().busTimeout(), 350);
        link().setSelectedTask(4);
        link().loadTimeouts(timeoutSectionForTask(4));
        QCOMPARE(link().busTimeout(), 250);
        QCOMPARE(link().busDelay(), 7);
    }

    // A line break in a field must not reach the file as a line of its own.
    void lineBreakCannotForgeAnEntry() {
        window();
        field(7)->setText(QStringLiteral("100\nBusDelay=1"));
        field(6)->setText(QStringLiteral("60"));
        QVERIFY(TimeoutsWindow::instance()->writeAllTimeouts());
        const IniFile ini(iniPath());
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("BusDelay")), QStringLiteral("60"));
        QCOMPARE(link().busDelay(), 60);
        QCOMPARE(link().busTimeout(), 100);
    }

    // When the file cannot be written, OK does not pretend it was: the window
    // stays open with the typed values and says so.
    void unwritableFileKeepsTheWindow() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Kestrune.INI"))); // a folder in the way
        window();
        field(7)->setText(QStringLiteral("1234"));
        click("Command_OK");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TimeoutsWindow::instance());
        QVERIFY(TimeoutsWindow::instance()->isVisible());
        QCOMPARE(field(7)->text(), QStringLiteral("1234"));
        auto* box = TimeoutsWindow::instance()->findChild<QMessageBox*>(
            QStringLiteral("TimeoutsWriteFailure"));
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QVERIFY(box->text().contains(iniPath()));
        // In the user's language, as every other message of the window.
        QVERIFY2(box->text().startsWith(
                     getText(741).replace(QLatin1String("\r\n"), QLatin1String("\n"))),
                 qPrintable(box->text()));
        box->close();
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("Kestrune.INI")));
    }

    void opensFromTheToolsMenuWithoutBlocking() {
        Host host;
        DebugWindow* debug = DebugWindow::open(host);
        QVERIFY(debug);
        auto* action = debug->findChild<QAction*>(QStringLiteral("Menu_Tools_Timeouts"));
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        action->trigger(); // returns: the window does not block
        TimeoutsWindow* w = TimeoutsWindow::instance();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QVERIFY(w->isWindow());
        // It belongs to the main window, so it never outlives the program's
        // last window on its own.
        QCOMPARE(w->parentWidget(), host.main.get());
        action->trigger();
        QCOMPARE(TimeoutsWindow::instance(), w); // one instance
        QVERIFY(debug->isEnabled());
        closeAndDelete();
        DebugWindow::closeWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(TestTimeoutsWindow)
#include "tst_timeoutswindow.moc"
