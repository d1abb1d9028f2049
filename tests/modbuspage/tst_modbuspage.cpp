// The Modbus page (70), offscreen, through the real start-up against the
// real simulator over TCP: a read filling the sheet, the outcomes' texts and
// colours, the entry checks and the yellow range mark written back into the
// boxes, every byte order of a row in its tool tip and panel, a sheet saved
// and got back through the file dialog, and the continuous poll that never
// starts a read while one waits. Addresses 127.0.0.143-148 only.
//
// With KESTRUNE_MODBUS_SHOTS set to a folder, a picture of the page with the
// every-order panel open is saved there.

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"
#include "wizard/ShellState.h"

#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/SimControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace kestrune;

namespace {

const QColor Blue(0, 0, 255);
const QColor DarkRed(177, 4, 12);
const QColor Red(255, 0, 0);

constexpr quint16 TcpFramingPort = 24143;
constexpr quint16 RtuFramingPort = 24144;
constexpr quint16 ControlPort = 24146;

const char Installation[] = R"([simulator]
listen = 127.0.0.148:24145
control-port = 24146
tag-files = no

[gateway gw]
family = K1
address = 127.0.0.143
console = no
mbus-master = no
modbus = yes
modbus-tcp-port = 24143
modbus-rtu-tcp-port = 24144
modbus-busy = 500 10
modbus-holding = 100 4120 0000 FF38 0000 0000 0001 E240 4B32 2D53 696D
)";

QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// Answers the file dialogs named dlgWizard with a path (or cancels them
// when the path is empty), keeping their titles, and closes any message box
// they raise, keeping its text.
class DialogAnswer : public QObject {
public:
    QString title;
    QStringList boxes;
    explicit DialogAnswer(QString path) : m_path(std::move(path)) {
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start(10);
    }

private:
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->done(QMessageBox::Yes);
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(modal);
        if (!d || d->objectName() != QLatin1String("dlgWizard"))
            return;
        title = d->windowTitle();
        if (m_path.isEmpty()) {
            d->reject();
            return;
        }
        // Typed into the file name box, as a user does (selectFile() does
        // not take while the dialog's folder model is still loading).
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name)
            return;
        name->setText(m_path);
        static_cast<QDialog*>(d)->accept(); // as the dialog's Save or Open button
    }
    QString m_path;
    QTimer m_timer;
};

} // namespace

class TestModbusPage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void readFillsTheSheet_data();
    void readFillsTheSheet();
    void outcomes_data();
    void outcomes();
    void entryChecksWriteBack_data();
    void entryChecksWriteBack();
    void manualNumberingMarksOutOfRange();
    void everyOrderView();
    void saveThenGetGivesTheSameSheet();
    void pollNeverStartsWhileAReadWaits();

private:
    void openPage(quint16 port);
    template <typename T> T* child(const QString& name) const;
    void type(const QString& box, const QString& text);
    void leave(const QString& box);
    void choose(const QString& combo, const QString& item);
    void click(const QString& name);
    void read();
    QLabel* result() const { return child<QLabel>(QStringLiteral("lblModbusResultText")); }
    QString rowText(const char* name, int row) const {
        return child<QLineEdit>(indexed(name, row))->text();
    }
    QByteArray control(const QByteArray& command);
    int sentRequests() const;
    void shoot(const QString& name);

    QTemporaryDir m_dir;
    std::unique_ptr<simproc::SimProcess> m_sim;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
};

void TestModbusPage::initTestCase() {
    QVERIFY(m_dir.isValid());
    QCOMPARE(
        fixture::prepareProgramDir(
            m_dir.path(), m_dir.filePath(QStringLiteral("config")),
            "[ModBus]\nBusDelay=0\nBusTimeout=300\nOpenTimeout=1000\n[Debug]\nPollInterval=100\n"),
        QString());
    m_sim = std::make_unique<simproc::SimProcess>();
    QVERIFY2(m_sim->startIn(m_dir.path(), Installation), m_sim->errors.constData());
}

void TestModbusPage::cleanupTestCase() {
    if (m_sim)
        QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestModbusPage::init() {
    fixture::clearUserSettings();
    QCOMPARE(control("modbus gw fault none"), QByteArray("ok"));
    openPage(TcpFramingPort);
}

void TestModbusPage::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    QVERIFY(!link().isOpen());
}

// Task 5 over TCP to the simulator's gateway: page 1, 40, then 70.
void TestModbusPage::openPage(quint16 port) {
    if (m_wizard)
        m_wizard->close();
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{5});
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.143"));
    settings::save(QStringLiteral("TCPPort"), QString::number(port));
    settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("0"));
    m_state = ShellState{};
    m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
    QVERIFY(m_wizard);
    m_wizard->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard.get()));
    for (int i = 0; i < 3; ++i)
        click(QStringLiteral("Command_Next"));
    QCOMPARE(m_state.currentPage, 70);
    QVERIFY(link().isOpen());
}

template <typename T> T* TestModbusPage::child(const QString& name) const {
    T* c = m_wizard->findChild<T*>(name);
    if (!c)
        qWarning("control %s not found", qPrintable(name));
    return c;
}

void TestModbusPage::type(const QString& box, const QString& text) {
    auto* b = child<QLineEdit>(box);
    QVERIFY(b && b->isEnabled());
    b->setFocus();
    b->selectAll();
    QTest::keyClick(b, Qt::Key_Delete);
    QTest::keyClicks(b, text);
}

// The box loses the focus, as when the user tabs on.
void TestModbusPage::leave(const QString& box) {
    auto* b = child<QLineEdit>(box);
    QVERIFY(b->hasFocus());
    child<QLineEdit>(indexed("txtModbusDescription", 5))->setFocus();
    QVERIFY(!b->hasFocus());
}

// Picks an item of a closed list with the keyboard, as the user does.
void TestModbusPage::choose(const QString& combo, const QString& item) {
    auto* c = child<QComboBox>(combo);
    QVERIFY(c);
    const int at = c->findText(item);
    QVERIFY2(at >= 0, qPrintable(item));
    c->setFocus();
    while (c->currentIndex() > at)
        QTest::keyClick(c, Qt::Key_Up);
    while (c->currentIndex() < at)
        QTest::keyClick(c, Qt::Key_Down);
}

void TestModbusPage::click(const QString& name) {
    auto* b = child<QAbstractButton>(name);
    QVERIFY(b);
    QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

void TestModbusPage::read() {
    click(QStringLiteral("Command_ModBus_MeterFeature_Read"));
}

QByteArray TestModbusPage::control(const QByteArray& command) {
    return simproc::control(ControlPort, command, 2000);
}

// Requests in the traffic log (while it is open).
int TestModbusPage::sentRequests() const {
    int sent = 0;
    for (const QString& line : trafficLog().lines())
        sent += line.contains(QLatin1String(" -> ")) ? 1 : 0;
    return sent;
}

void TestModbusPage::shoot(const QString& name) {
    const QString dir = qEnvironmentVariable("KESTRUNE_MODBUS_SHOTS");
    if (dir.isEmpty())
        return;
    QTest::qWait(50);
    m_wizard->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// ---- Reads ------------------------------------------------------------------------------

void TestModbusPage::readFillsTheSheet_data() {
    QTest::addColumn<bool>("rtu");
    QTest::newRow("TCP framing") << false;
    QTest::newRow("RTU framing over TCP") << true;
}

// The sheet's example: ten registers from 100 numbered automatically, rows
// FLOAT, INT16, UINT64, CHAR6; rows 4 and 5 lie beyond the reply.
void TestModbusPage::readFillsTheSheet() {
    QFETCH(bool, rtu);
    if (rtu) {
        openPage(RtuFramingPort);
        click(indexed("optModBusRtuTcp", 0));
    } else {
        click(indexed("optModBusRtuTcp", 1));
    }
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("10"));
    QVERIFY(child<QCheckBox>(QStringLiteral("ChkModbusAutoRegister"))->isChecked());
    const char* types[] = {"FLOAT", "INT16", "UINT64", "CHAR6", "INT16", "INT16"};
    for (int row = 0; row < 6; ++row)
        choose(indexed("cboModbusDatatype", row), QLatin1String(types[row]));
    read();
    QCOMPARE(result()->text(), QStringLiteral("Ok"));
    QCOMPARE(result()->palette().color(QPalette::WindowText), Blue);

    const QStringList registers = {"100", "102", "103", "107", "110", "111"};
    const QStringList bytes = {"4120 0000",      "FF38", "0000 0000 0001 E240",
                               "4B32 2D53 696D", "",     ""};
    const QStringList values = {"10.000000", "-200", "123456", "K2-Sim", "", ""};
    for (int row = 0; row < 6; ++row) {
        QCOMPARE(rowText("txtModbusRegister", row), registers[row]);
        QCOMPARE(rowText("txtModbusByte", row), bytes[row]);
        QCOMPARE(rowText("txtModbusValue", row), values[row]);
        QVERIFY(!child<QLineEdit>(indexed("txtModbusRegister", row))->isEnabled());
    }

    // Three registers: the second FLOAT ends beyond the reply. Its bytes
    // show, no value is made from them, and the row says why.
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("3"));
    choose(indexed("cboModbusDatatype", 1), QStringLiteral("FLOAT"));
    read();
    QCOMPARE(rowText("txtModbusByte", 1), QStringLiteral("FF38"));
    QCOMPARE(rowText("txtModbusValue", 1), QString());
    const QString note = child<QLineEdit>(indexed("txtModbusValue", 1))->placeholderText();
    QVERIFY2(note.startsWith(getText(1033)) && note.endsWith(QLatin1String("2/4")),
             qPrintable(note));
}

void TestModbusPage::outcomes_data() {
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("sheetEmptied");
    QTest::newRow("exception") << QByteArray("none") << "500"
                               << "Modbuserror 06: Slave device or server is busy" << DarkRed
                               << true;
    QTest::newRow("time-out") << QByteArray("no-reply") << "100"
                              << "BusTimeout (Received 0 bytes)" << Red << false;
    QTest::newRow("wrong transaction id") << QByteArray("wrong-id") << "100"
                                          << "Wrong Transaction identifier" << DarkRed << true;
    QTest::newRow("count beyond one read")
        << QByteArray("none") << "100"
        << "Modbuserror 03: Illegal data value" << DarkRed << true;
}

// What each outcome shows, and what it does to the values of the last read.
void TestModbusPage::outcomes() {
    QFETCH(QByteArray, fault);
    QFETCH(QString, first);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    QFETCH(bool, sheetEmptied);
    click(indexed("optModBusRtuTcp", 1));
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("2"));
    read();
    QCOMPARE(rowText("txtModbusValue", 0), QStringLiteral("16672")); // INT16 of 41 20

    QCOMPARE(control("modbus gw fault " + fault + " 1"), QByteArray("ok"));
    type(QStringLiteral("txtModbusFirstRegister"), first);
    if (QTest::currentDataTag() == QLatin1String("count beyond one read"))
        type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("126"));
    read();
    QCOMPARE(result()->text(), text);
    QCOMPARE(result()->palette().color(QPalette::WindowText), colour);
    QCOMPARE(rowText("txtModbusValue", 0), sheetEmptied ? QString() : QStringLiteral("16672"));
    QCOMPARE(rowText("txtModbusByte", 0), sheetEmptied ? QString() : QStringLiteral("4120"));
}

// ---- Entries ----------------------------------------------------------------------------

void TestModbusPage::entryChecksWriteBack_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("slave above 255") << "txtModbusSlaveAddress"
                                     << "300"
                                     << "255";
    QTest::newRow("slave not a number") << "txtModbusSlaveAddress"
                                        << "x"
                                        << "0";
    QTest::newRow("first above 65535") << "txtModbusFirstRegister"
                                       << "70000"
                                       << "65535";
    QTest::newRow("count not a number") << "txtModbusNoOfRegisters"
                                        << "abc"
                                        << "0";
    QTest::newRow("count emptied") << "txtModbusNoOfRegisters"
                                   << ""
                                   << "";
    QTest::newRow("row register above 65535") << "txtModbusRegister(2)"
                                              << "99999"
                                              << "65535";
}

void TestModbusPage::entryChecksWriteBack() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    // Row registers are checked (and typed) only while numbering is manual.
    click(QStringLiteral("ChkModbusAutoRegister"));
    type(box, typed);
    QCOMPARE(child<QLineEdit>(box)->text(), shown);
}

// Manual numbering: a row outside the read's range turns yellow and shows
// nothing when its box loses the focus; automatic numbering clears the mark.
void TestModbusPage::manualNumberingMarksOutOfRange() {
    click(indexed("optModBusRtuTcp", 1));
    click(QStringLiteral("ChkModbusAutoRegister"));
    QVERIFY(child<QLineEdit>(indexed("txtModbusRegister", 0))->isEnabled());
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("2"));
    type(indexed("txtModbusRegister", 0), QStringLiteral("101"));
    read();
    QCOMPARE(rowText("txtModbusByte", 0), QStringLiteral("0000"));

    auto* box = child<QLineEdit>(indexed("txtModbusRegister", 0));
    type(indexed("txtModbusRegister", 0), QStringLiteral("102"));
    leave(indexed("txtModbusRegister", 0));
    QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 255, 0));
    QCOMPARE(rowText("txtModbusByte", 0), QString());
    QCOMPARE(rowText("txtModbusValue", 0), QString());

    click(QStringLiteral("ChkModbusAutoRegister"));
    QVERIFY(!box->isEnabled());
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    leave(QStringLiteral("txtModbusFirstRegister"));
    QCOMPARE(box->text(), QStringLiteral("100"));
    QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 255, 255));
    QCOMPARE(rowText("txtModbusValue", 0), QStringLiteral("16672"));
}

// ---- The every-order view -----------------------------------------------------------------

void TestModbusPage::everyOrderView() {
    click(indexed("optModBusRtuTcp", 1));
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("10"));
    choose(indexed("cboModbusDatatype", 0), QStringLiteral("FLOAT"));
    choose(indexed("cboModbusDatatype", 1), QStringLiteral("INT16"));
    read();

    // The tool tip of a row's value: every order of its type side by side.
    const QString tip = child<QLineEdit>(indexed("txtModbusValue", 1))->toolTip();
    for (const char* part : {"AB", "BA", "-200", "14591"})
        QVERIFY2(tip.contains(QLatin1String(part)), qPrintable(tip));

    auto* panel = child<QWidget>(QStringLiteral("pnlModbusEveryOrder"));
    QVERIFY(!panel->isVisible());
    click(indexed("cmdModbusEveryOrder", 1));
    QVERIFY(panel->isVisible());
    auto* ab = child<QToolButton>(indexed("cmdModbusOrder", 0));
    auto* ba = child<QToolButton>(indexed("cmdModbusOrder", 1));
    QCOMPARE(ab->text(), QStringLiteral("AB\n-200"));
    QCOMPARE(ba->text(), QStringLiteral("BA\n14591"));
    QVERIFY(ab->isChecked() && !ba->isChecked());
    QVERIFY(!child<QToolButton>(indexed("cmdModbusOrder", 2))->isVisible());
    // Below its row, clear of the rows' own controls and the result row.
    const QRect row1 = child<QWidget>(indexed("txtModbusValue", 1))->geometry();
    QVERIFY(panel->geometry().top() >= row1.bottom());
    QVERIFY(panel->geometry().bottom() < result()->geometry().top());
    shoot(QStringLiteral("page70-every-order"));

    // Pressing an order uses it in the row, as the row's list does.
    click(indexed("cmdModbusOrder", 1));
    QCOMPARE(child<QComboBox>(indexed("cboModbusFormat", 1))->currentText(), QStringLiteral("BA"));
    QCOMPARE(rowText("txtModbusValue", 1), QStringLiteral("14591"));
    QVERIFY(ba->isChecked() && !ab->isChecked());

    // The panel follows the sheet: another row, a read that fails, Clear.
    click(indexed("cmdModbusEveryOrder", 0));
    QCOMPARE(child<QToolButton>(indexed("cmdModbusOrder", 0))->text(),
             QStringLiteral("ABCD\n10.000000"));
    QVERIFY(child<QToolButton>(indexed("cmdModbusOrder", 3))->isVisible());
    QVERIFY(!child<QToolButton>(indexed("cmdModbusEveryOrder", 1))->isChecked());
    click(QStringLiteral("Command_ModBus_MeterFeature_Clear"));
    QCOMPARE(ab->text(), QStringLiteral("AB\n\u2013"));
    click(indexed("cmdModbusEveryOrder", 0));
    QVERIFY(!panel->isVisible());
}

// ---- Files --------------------------------------------------------------------------------

void TestModbusPage::saveThenGetGivesTheSameSheet() {
    click(indexed("optModBusRtuTcp", 1));
    type(QStringLiteral("txtModbusSlaveAddress"), QStringLiteral("1"));
    type(QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("10"));
    choose(QStringLiteral("cboModbusFunction"), QStringLiteral("3"));
    choose(indexed("cboModbusDatatype", 0), QStringLiteral("FLOAT"));
    choose(indexed("cboModbusFormat", 0), QStringLiteral("CDAB"));
    choose(indexed("cboModbusDatatype", 3), QStringLiteral("UINT32"));
    choose(indexed("cboModbusFormat", 3), QStringLiteral("BADC"));
    type(indexed("txtModbusDescription", 0), QStringLiteral("Flow"));
    type(indexed("txtModbusDescription", 5), QStringLiteral("last row"));
    read();

    // Every control the file keeps, as text.
    auto snapshot = [this] {
        QStringList s;
        for (const char* name :
             {"txtModbusSlaveAddress", "txtModbusFirstRegister", "txtModbusNoOfRegisters"})
            s << child<QLineEdit>(QLatin1String(name))->text();
        s << child<QComboBox>(QStringLiteral("cboModbusFunction"))->currentText();
        s << QString::number(child<QRadioButton>(indexed("optModBusRtuTcp", 1))->isChecked());
        s << QString::number(
            child<QCheckBox>(QStringLiteral("ChkModbusAutoRegister"))->isChecked());
        for (int row = 0; row < 6; ++row) {
            s << child<QComboBox>(indexed("cboModbusDatatype", row))->currentText()
              << child<QComboBox>(indexed("cboModbusFormat", row))->currentText();
            for (const char* name :
                 {"txtModbusRegister", "txtModbusByte", "txtModbusValue", "txtModbusDescription"})
                s << rowText(name, row);
        }
        return s;
    };
    const QStringList saved = snapshot();
    QVERIFY(saved.contains(QStringLiteral("last row")));
    const QString path = m_dir.filePath(QStringLiteral("sheet.csv"));
    {
        DialogAnswer answer(path);
        click(QStringLiteral("Command_ModBus_MeterFeature_Save"));
        QCOMPARE(answer.title, QStringLiteral("Save Modbus Configuration"));
    }
    QVERIFY(QFile::exists(path));

    click(QStringLiteral("Command_ModBus_MeterFeature_Clear"));
    click(indexed("optModBusRtuTcp", 0));
    type(QStringLiteral("txtModbusSlaveAddress"), QStringLiteral("7"));
    QVERIFY(snapshot() != saved);
    QCOMPARE(rowText("txtModbusDescription", 0), QString());

    // A file that is not a sheet changes nothing and says so in red.
    const QString other = m_dir.filePath(QStringLiteral("other.csv"));
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("WizardModbus \r\n1,True,False,0,9,9,9,\r\n");
    f.close();
    const QStringList cleared = snapshot();
    {
        DialogAnswer answer(other);
        click(QStringLiteral("Command_ModBus_MeterFeature_Get"));
        QCOMPARE(answer.title, QStringLiteral("Get Modbus Configuration"));
    }
    QCOMPARE(result()->text(), QStringLiteral("other.csv ") + getText(1021));
    QCOMPARE(result()->palette().color(QPalette::WindowText), Red);
    QCOMPARE(snapshot(), cleared);

    {
        DialogAnswer answer(path);
        click(QStringLiteral("Command_ModBus_MeterFeature_Get"));
    }
    QCOMPARE(result()->text(), getText(1020));
    QCOMPARE(result()->palette().color(QPalette::WindowText), Blue);
    QCOMPARE(snapshot(), saved);

    // A cancelled dialog does nothing.
    {
        DialogAnswer answer{QString()};
        click(QStringLiteral("Command_ModBus_MeterFeature_Get"));
    }
    QCOMPARE(snapshot(), saved);
}

// ---- The continuous poll ------------------------------------------------------------------

// The poll presses Read; while a read waits, neither the poll's tick nor a
// click that reaches the button sends anything, and the first read's
// outcome is what the page shows.
void TestModbusPage::pollNeverStartsWhileAReadWaits() {
    click(QStringLiteral("Command_ModBus_MeterFeature_Debug"));
    DebugWindow* debug = DebugWindow::instance();
    QVERIFY(debug);
    auto* poll = debug->findChild<QCheckBox*>(QStringLiteral("Check_CountinousPoll"));
    QVERIFY(poll && poll->isEnabled());
    click(indexed("optModBusRtuTcp", 1));
    trafficLog().clear();

    QCOMPARE(control("modbus gw fault no-reply 1"), QByteArray("ok"));
    auto* readButton = child<QPushButton>(QStringLiteral("Command_ModBus_MeterFeature_Read"));
    bool windowDisabled = false;
    QTimer::singleShot(80, this, [&] {
        windowDisabled = !m_wizard->isEnabled();
        poll->setChecked(true);     // the poll ticks at once
        emit readButton->clicked(); // a click that got through anyway
    });
    read();
    QVERIFY(windowDisabled);
    QCOMPARE(result()->text(), QStringLiteral("BusTimeout (Received 0 bytes)"));
    QCOMPARE(sentRequests(), 1);
    QVERIFY(m_wizard->isEnabled());

    // Once nothing waits, the poll reads every 100 ms.
    QTRY_VERIFY_WITH_TIMEOUT(sentRequests() >= 3, 3000);
    QCOMPARE(result()->text(), QStringLiteral("Ok"));
    poll->setChecked(false);
    click(QStringLiteral("Command_ModBus_MeterFeature_Debug"));
    QVERIFY(!DebugWindow::instance());
}

QTEST_MAIN(TestModbusPage)
#include "tst_modbuspage.moc"
