// Page 60 in the real wizard, offscreen, against the simulator
// (127.0.0.110..118): the controls each operation shows, reads by primary,
// test and secondary address with the reports in the information box, the
// boxes as Apply leaves them, the frame count bits after entering the page
// and from the properties dialog, and a poll tick during an exchange.
//
// With KESTRUNE_METER_SHOTS set to a folder, pictures of the page after a
// read by primary and by secondary address are saved there (and, on a real
// screen, the whole screen with the records and traffic log windows).

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"
#include "mbus/FcbState.h"
#include "mbus/gui/PropertiesWindow.h"
#include "mbus/gui/RecordsView.h"
#include "tests/simprogram/LoopbackAdapter.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimProcess.h"
#include "wizard/ShellState.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;
using simproc::SimProcess;

namespace {

const char kConfig[] = R"(# meter page test installation
[simulator]
listen = 127.0.0.118:26728
tag-files = no

[gateway p]
family = K2
serial = 0x6E6E6E
address = 127.0.0.110
mbus-port = 26011
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 5
console = no
mbus-master = no
bus-voltage = 235
bus-current = 400

[meter abb]
gateway = p
capture = abb_delta
address = 1

[meter fixed]
gateway = p
capture = sen_pollusonic_2
address = 8
manufacturer = SEN

[meter heat]
gateway = p
capture = engelmann_sensostar2c
address = 3
)";

QString txt(int n) {
    return getText(n).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

const QString ReadReport = QStringLiteral(
    "Meter data received. Primary address 1, identification number 78563412 (ABB).\n\nTo "
    "address this meter, use primary address 1.\nor secondary address 78563412.0442.02.02\n"
    "(identification.manufacturer.version.medium)");

} // namespace

class TestMeterPage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SimProcess m_sim;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;

    template <typename T> T* child(const QString& name) const {
        T* c = m_wizard->findChild<T*>(name);
        if (!c)
            qWarning("control %s not found", qPrintable(name));
        return c;
    }
    QString info() const { return child<QPlainTextEdit>("Text_Info(60)")->toPlainText(); }

    void click(const QString& name) {
        auto* b = child<QAbstractButton>(name);
        QVERIFY(b);
        QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(name));
        const QPoint at =
            qobject_cast<QPushButton*>(b) ? b->rect().center() : QPoint(8, b->height() / 2);
        QTest::mouseClick(b, Qt::LeftButton, {}, at);
    }
    void type(const QString& name, const QString& text) {
        auto* e = child<QLineEdit>(name);
        QVERIFY(e);
        QVERIFY2(e->isVisible() && e->isEnabled(), qPrintable(name));
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    // Start-up, then Next to the connection page and on to page 60.
    void enterPage() {
        m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
        QVERIFY(m_wizard);
        QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
        for (int i = 0; i < 3; ++i)
            click(QStringLiteral("Command_Next"));
        QVERIFY(m_wizard->pagePanel(60)->isVisible());
        QVERIFY(link().isOpen());
    }
    // Apply as the user clicks it; back when the window takes input again.
    void apply() {
        click(QStringLiteral("Command_MeterFeature_Apply"));
        QTRY_VERIFY_WITH_TIMEOUT(m_wizard->isEnabled(), 5000);
    }
    // The telegrams the traffic log shows as sent, as hexadecimal pairs.
    QStringList sent() const {
        QStringList out;
        for (const QString& line : trafficLog().lines()) {
            const qsizetype at = line.indexOf(QLatin1String(" -> "));
            if (at >= 0)
                out << line.mid(at + 4).trimmed();
        }
        return out;
    }
    void shoot(const QString& name) {
        const QString dir = qEnvironmentVariable("KESTRUNE_METER_SHOTS");
        if (dir.isEmpty())
            return;
        QTest::qWait(50);
        m_wizard->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
            QTest::qWait(300);
            QGuiApplication::primaryScreen()->grabWindow(0).save(
                QDir(dir).filePath(name + QStringLiteral("-screen.png")));
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QCOMPARE(fixture::prepareProgramDir(QDir(m_dir.path()),
                                            "[IP]\nBusDelay=0\nBusTimeout=800\nOpenTimeout=1000\n"),
                 QString());
        QVERIFY2(m_sim.startIn(m_dir.path(), kConfig), m_sim.errors.constData());
    }

    void init() {
        fixture::clearUserSettings();
        settings::save(QStringLiteral("Option_SelectWhatToDo"), QStringLiteral("4"));
        settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
        settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
        settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.110"));
        settings::save(QStringLiteral("TCPPort"), QStringLiteral("26011"));
        settings::save(QStringLiteral("MeterFeature_Address_0"), QStringLiteral("1"));
        m_state = ShellState{};
        fcbState().clear();
        // Without a network adapter, page 60 over the network is refused.
        fixture::useLoopbackAdapters();
    }

    void cleanup() {
        if (m_wizard)
            m_wizard->close();
        m_wizard.reset();
        QVERIFY(!link().isOpen());
    }

    void cleanupTestCase() { QCOMPARE(m_sim.stopCleanly(), QString()); }

    // The page copies the control rules onto its widgets.
    void controls_data() {
        QTest::addColumn<int>("feature");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<QStringList>("disabled");
        QTest::newRow("initialise")
            << 0 << "" << QStringList{"Check_MeterFeature_TestAndDiagnostics"}
            << QStringList{"Text_MeterFeature_Address(1)", "Combo_MeterFeature_LineSpeed"}
            << QStringList{"Check_MeterFeature_AlwaysInit", "Combo_MeterFeature_AppReset"};
        QTest::newRow("change address")
            << 2 << "" << QStringList{"Text_MeterFeature_Address(1)", "Label_MeterFeature(1)"}
            << QStringList{"Check_MeterFeature_TestAndDiagnostics", "Combo_MeterFeature_LineSpeed"}
            << QStringList{"Check_MeterFeature_AlwaysApp"};
        QTest::newRow("change speed") << 3 << "" << QStringList{"Combo_MeterFeature_LineSpeed"}
                                      << QStringList{"Text_MeterFeature_Address(1)"}
                                      << QStringList{"Combo_MeterFeature_AppReset"};
        QTest::newRow("secondary")
            << 1 << "Check_MeterFeature_UseSecondaryAddress"
            << QStringList{"Text_MeterFeature_Sec_Address(0)", "Text_MeterFeature_Sec_Address(3)",
                           "Check_MeterFeature_UseEnhancedSecondary"}
            << QStringList{"Text_MeterFeature_Address(0)", "Text_MeterFeature_Fabrication"}
            << QStringList{"Check_MeterFeature_AlwaysInit",
                           "Check_MeterFeature_TestAndDiagnostics"};
        QTest::newRow("broadcast") << 4 << "Check_MeterFeature_TestAndDiagnostics"
                                   << QStringList{"Check_MeterFeature_AlwaysApp"}
                                   << QStringList{"Text_MeterFeature_Sec_Address(0)"}
                                   << QStringList{"Text_MeterFeature_Address(0)"};
    }
    void controls() {
        QFETCH(int, feature);
        QFETCH(QString, clicks);
        enterPage();
        click(QStringLiteral("Option_SelectMeterFeature(%1)").arg(feature));
        if (!clicks.isEmpty())
            click(clicks);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, hidden);
        QFETCH(QStringList, disabled);
        for (const QString& n : shown)
            QVERIFY2(child<QWidget>(n)->isVisible(), qPrintable(n));
        for (const QString& n : hidden)
            QVERIFY2(!child<QWidget>(n)->isVisible(), qPrintable(n));
        for (const QString& n : disabled)
            QVERIFY2(!child<QWidget>(n)->isEnabled(), qPrintable(n));
        QCOMPARE(child<QPushButton>("Command_MeterFeature_Apply")->text(),
                 QLatin1Char('&') + txt(691 + feature));
        if (clicks.isEmpty())
            QCOMPARE(info(), txt(630 + feature));
        if (clicks == QLatin1String("Check_MeterFeature_TestAndDiagnostics"))
            QCOMPARE(child<QLineEdit>("Text_MeterFeature_Address(0)")->text(),
                     QStringLiteral("254"));
        // The option is stored as it is clicked.
        QCOMPARE(settings::get(QStringLiteral("Option_SelectMeterFeature")),
                 QString::number(feature));
    }

    // Apply by primary, test and secondary address: the information box.
    void reads_data() {
        QTest::addColumn<int>("feature");
        QTest::addColumn<QString>("address");  // empty: by secondary address
        QTest::addColumn<QString>("contains"); // a part of the text
        QTest::addColumn<QString>("ends");
        QTest::addColumn<QString>("shot");
        QTest::newRow("read by primary") << 1 << "1" << ReadReport << ReadReport << "primary";
        QTest::newRow("read by secondary") << 1 << "" << ReadReport << ReadReport << "secondary";
        QTest::newRow("diagnostic of the K2") << 4 << "250"
                                              << "Zelmor M-Bus K2 V2: U = 23.5 V  I = 40 mA"
                                              << "16"
                                              << "k2";
        QTest::newRow("fixed structure") << 1 << "8"
                                         << "90919293.FFFF.FF.FF" << txt(647) << "";
        QTest::newRow("nobody answers") << 0 << "77" << txt(174) << txt(176) << "";
    }
    void reads() {
        QFETCH(int, feature);
        QFETCH(QString, address);
        QFETCH(QString, contains);
        QFETCH(QString, ends);
        enterPage();
        click(QStringLiteral("Option_SelectMeterFeature(%1)").arg(feature));
        if (address.isEmpty()) {
            click(QStringLiteral("Check_MeterFeature_UseSecondaryAddress"));
            type(QStringLiteral("Text_MeterFeature_Sec_Address(0)"), QStringLiteral("78563412"));
        } else {
            type(QStringLiteral("Text_MeterFeature_Address(0)"), address);
        }
        apply();
        QVERIFY2(info().contains(contains), qPrintable(info()));
        QVERIFY2(info().trimmed().endsWith(ends), qPrintable(info()));
        QVERIFY(child<QPushButton>("Command_MeterFeature_Apply")->isEnabled());
        QFETCH(QString, shot);
        if (!shot.isEmpty())
            shoot(QStringLiteral("page60-") + shot);
    }

    // A read fills the records window beside the page, the report stays as
    // it was; the table copies as CSV with decimal points in any locale; the
    // traffic log explains each telegram while its Tools menu says so.
    void recordsBesideTheReport() {
        enterPage();
        click(QStringLiteral("Command_MeterFeature_Debug"));
        DebugWindow* log = DebugWindow::instance();
        QVERIFY(log);
        auto* explain = log->findChild<QAction*>(QStringLiteral("Menu_Tools_Explain"));
        QVERIFY(explain && explain->isCheckable() && !explain->isChecked());
        explain->trigger();
        QCOMPARE(settings::get(QStringLiteral("Menu_Tools_Explain")), QStringLiteral("1"));
        click(QStringLiteral("Option_SelectMeterFeature(1)"));
        type(QStringLiteral("Text_MeterFeature_Address(0)"), QStringLiteral("3"));
        apply();
        QVERIFY2(info().trimmed().endsWith(QStringLiteral(
                     "Meter data received. Primary address 3, identification number 10380010 "
                     "(EFE).\n\nTo address this meter, use primary address 3.\nor secondary "
                     "address 10380010.14C5.01.04\n(identification.manufacturer.version.medium)")),
                 qPrintable(info()));

        RecordsView* view = RecordsView::window();
        QVERIFY(view && view->isVisible() && view->isEnabled());
        const auto* table = view->findChild<QTableWidget*>(QStringLiteral("List_Records"));
        QCOMPARE(table->rowCount(), 24);
        const auto cell = [table](int row, int column) { return table->item(row, column)->text(); };
        QCOMPARE(cell(8, 5), QStringLiteral("Flow temperature"));
        QCOMPARE(cell(8, 6) + QLatin1Char(' ') + cell(8, 7), QStringLiteral("95 °C"));
        QCOMPARE(cell(10, 6) + QLatin1Char(' ') + cell(10, 7), QStringLiteral("52.58 K"));
        QVERIFY(view->findChild<QLabel*>(QStringLiteral("Label_Records"))
                    ->text()
                    .contains(QLatin1String("10380010")));

        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        view->findChild<QPushButton*>(QStringLiteral("Command_CopyCsv"))->click();
        QLocale::setDefault(before);
        const QStringList csv = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
        QCOMPARE(csv.size(), 24 + 2); // header, rows, the empty rest after the last line end
        QCOMPARE(csv[0], QStringLiteral("Record,Function,Storage,Tariff,Subunit,Quantity,Value,"
                                        "Unit,Remarks"));
        QCOMPARE(csv[11], QStringLiteral("11,Instantaneous,0,0,0,Temperature difference,52.58,K,"));
        QCOMPARE(csv[14], QStringLiteral("14,Instantaneous,0,0,0,\"Volume, increment per input "
                                         "pulse on channel 0\",0.1,m^3/pulse,"));

        // Each telegram has its words under its bytes, at the bytes' column.
        const QStringList lines = trafficLog().lines();
        const qsizetype sentAt = lines.indexOf(lines.filter(QStringLiteral(" -> ")).value(0));
        QVERIFY(sentAt >= 0 && sentAt + 1 < lines.size());
        QCOMPARE(lines[sentAt + 1].trimmed(), QStringLiteral("REQ_UD2 FCB=1 to address 3"));
        QCOMPARE(lines[sentAt + 1].indexOf(QLatin1String("REQ_UD2")),
                 lines[sentAt].indexOf(QLatin1String("10 7B 03")));
        QVERIFY2(lines.filter(QStringLiteral("RSP_UD from address 3: variable data: "
                                             "identification 10380010, manufacturer EFE (14C5h), "
                                             "version 1, medium Heat (04h), 24 records"))
                         .size() == 1,
                 qPrintable(lines.join(QLatin1Char('\n'))));
        shoot(QStringLiteral("page60-records"));

        // Off again: the next telegrams take their old lines only.
        explain->trigger();
        const int kept = trafficLog().lineCount();
        apply();
        const QStringList added = trafficLog().lines().mid(kept);
        QVERIFY(!added.isEmpty());
        // Time stamps, arrows and hexadecimal pairs only: no words.
        QCOMPARE(added.filter(QRegularExpression(QStringLiteral("[G-Zg-z]"))), QStringList());
        QCOMPARE(settings::get(QStringLiteral("Menu_Tools_Explain")), QStringLiteral("0"));
    }

    // Apply writes back what it made of the boxes, and keeps it.
    void boxesAfterApply() {
        enterPage();
        click(QStringLiteral("Option_SelectMeterFeature(0)"));
        type(QStringLiteral("Text_MeterFeature_Address(0)"), QStringLiteral("300"));
        click(QStringLiteral("Check_MeterFeature_UseSecondaryAddress"));
        type(QStringLiteral("Text_MeterFeature_Sec_Address(0)"), QStringLiteral("12*4"));
        type(QStringLiteral("Text_MeterFeature_Sec_Address(1)"), QStringLiteral("2C2D"));
        apply();
        QCOMPARE(child<QLineEdit>("Text_MeterFeature_Sec_Address(0)")->text(),
                 QStringLiteral("FFFF12F4"));
        QCOMPARE(child<QLineEdit>("Text_MeterFeature_Sec_Address(2)")->text(),
                 QStringLiteral("FF"));
        QCOMPARE(child<QLineEdit>("Text_MeterFeature_Address(0)")->text(), QStringLiteral("250"));
        QCOMPARE(settings::get(QStringLiteral("MeterFeature_Sec_Address_0")),
                 QStringLiteral("FFFF12F4"));
        QCOMPARE(settings::get(QStringLiteral("MeterFeature_Address_0")), QStringLiteral("250"));
        QVERIFY2(info().endsWith(txt(178)), qPrintable(info())); // nobody has that id
    }

    // After entering the page the first read goes with FCB 1, the next with
    // 0; a stored SelectedFCB 2 makes every read 5B from the start.
    void frameCountBits_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("reads");
        QTest::newRow("toggle") << "0" << QStringList{"10 7B 01 7C 16", "10 5B 01 5C 16"};
        QTest::newRow("always reset") << "2" << QStringList{"10 5B 01 5C 16", "10 5B 01 5C 16"};
    }
    void frameCountBits() {
        QFETCH(QString, stored);
        settings::save(QStringLiteral("SelectedFCB"), stored);
        enterPage();
        click(QStringLiteral("Command_MeterFeature_Debug"));
        QVERIFY(DebugWindow::instance());
        click(QStringLiteral("Option_SelectMeterFeature(1)"));
        apply();
        apply();
        QTEST(sent(), "reads");
    }

    // Tools > Properties stores the choice and the next read follows it.
    void propertiesDialog() {
        enterPage();
        click(QStringLiteral("Command_MeterFeature_Debug"));
        DebugWindow* log = DebugWindow::instance();
        QVERIFY(log);
        auto* action = log->findChild<QAction*>(QStringLiteral("Menu_Tools_Properties"));
        QVERIFY(action && action->isEnabled());
        action->trigger();
        QPointer<QWidget> dialog = PropertiesWindow::instance();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->objectName(), QStringLiteral("Kestrune_Properties"));
        QCOMPARE(dialog->windowTitle(), txt(70));
        auto* toggle = dialog->findChild<QRadioButton*>(QStringLiteral("optFCB(0)"));
        auto* reset = dialog->findChild<QRadioButton*>(QStringLiteral("optFCB(2)"));
        QVERIFY(toggle && toggle->isChecked());
        reset->click();
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
        QCOMPARE(settings::get(QStringLiteral("SelectedFCB")), QStringLiteral("2"));
        QTRY_VERIFY(!dialog); // closed and gone
        click(QStringLiteral("Option_SelectMeterFeature(1)"));
        apply();
        QCOMPARE(sent(), QStringList{"10 5B 01 5C 16"});
        // Cancel leaves the choice alone.
        action->trigger();
        QWidget* again = PropertiesWindow::instance();
        QVERIFY(again && again->isVisible());
        QVERIFY(again->findChild<QRadioButton*>(QStringLiteral("optFCB(2)"))->isChecked());
        again->findChild<QRadioButton*>(QStringLiteral("optFCB(1)"))->click();
        again->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
        QCOMPARE(settings::get(QStringLiteral("SelectedFCB")), QStringLiteral("2"));
    }

    // A poll tick while Apply waits for the meter starts no second exchange.
    void pollDuringAnExchange() {
        enterPage();
        click(QStringLiteral("Command_MeterFeature_Debug"));
        click(QStringLiteral("Option_SelectMeterFeature(0)"));
        type(QStringLiteral("Text_MeterFeature_Address(0)"), QStringLiteral("77"));
        int ticks = 0;
        QTimer::singleShot(100, this, [&] {
            m_wizard->pollAction(PollTarget::MeterFeatureApply);
            ++ticks;
        });
        apply();
        QCOMPARE(ticks, 1);
        QCOMPARE(sent(), QStringList{"10 40 4D 8D 16"});
        QVERIFY2(info().endsWith(txt(176)), qPrintable(info()));
        // Idle again, the poll presses Apply.
        m_wizard->pollAction(PollTarget::MeterFeatureApply);
        QTRY_COMPARE_WITH_TIMEOUT(sent().size(), 2, 3000);
    }
};

QTEST_MAIN(TestMeterPage)
#include "tst_meterpage.moc"
