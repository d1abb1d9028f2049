// Page 80 offscreen, driven like a user against the real simulator: tags read
// in both variants over UDP, TCP and the ASCII server's pseudo-terminal, error
// letters, a time-out, the station box corrected and clamped, the simulator's
// tag files loaded through the open dialog, the list saved, the open and save
// error boxes, a link lost in the wait, and the continuous poll, which never
// starts a read while one waits. One simulator on 127.0.0.153 (ports 2617x);
// 127.0.0.155 is a gateway of the test's own that hangs up.
//
// With KESTRUNE_PAGES_SHOTS set to a folder, a picture of the page after a
// tag file was loaded and a tag read is saved there.

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "ascii/AsciiClient.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"
#include "sim/devices/SimAsciiServer.h"
#include "tests/pages/PageDriver.h"
#include "tests/simprogram/ProgramFixture.h"
#include "tests/simprogram/ProgramRun.h"
#include "tests/simprogram/SimControl.h"
#include "wizard/ShellState.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;
using simproc::SimProcess;

namespace {

const QString kHost = QStringLiteral("127.0.0.153");
constexpr quint16 kTcpPort = 26170;
constexpr quint16 kUdpPort = 26171;
constexpr quint16 kControlPort = 26179;

// The tag server answers station 5 and says X to any other.
const char kConfig[] = R"([simulator]
listen = 127.0.0.154:26178
control-port = 26179
tag-files = yes
[gateway gw]
family = K1
serial = 0x153153
address = 127.0.0.153
mbus-port = 26172
console = no
mbus-master = no
ascii = yes
ascii-station = 5
ascii-tcp-port = 26170
ascii-udp-port = 26171
ascii-reply-other-station = yes
)";

const QColor Blue(0, 0, 255);
const QColor DarkRed(177, 4, 12);
const QColor Red(255, 0, 0);

QByteArray control(const QByteArray& command) {
    return simproc::control(kControlPort, command);
}

QStringList simTagNames() {
    QStringList names;
    for (const sim::AsciiTag& t : sim::defaultAsciiTags())
        names << QString::fromLatin1(t.name);
    return names;
}

// Answers the page's dialogs while it lives: a file dialog with path
// (accepted as given, so a path that went away can be answered), a message
// box by closing it; keeps what they showed.
class DialogAnswer : public QObject {
public:
    QString path;
    QString fileTitle;
    QStringList filters;
    QString directory;
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    QList<Box> boxes;

    DialogAnswer() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes.append({box->windowTitle(), box->text(), box->icon()});
                box->done(QMessageBox::Ok);
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                fileTitle = dialog->windowTitle();
                filters = dialog->nameFilters();
                directory = dialog->directory().absolutePath();
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

} // namespace

class TestAsciiPage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void reads_data();
    void reads();
    void tagFiles_data();
    void tagFiles();
    void saveList_data();
    void saveList();
    void fileErrors_data();
    void fileErrors();
    void pollNeverStartsWhileReadWaits();
    void linkLostDuringRead();

private:
    void openPage(const QString& transport, quint16 port = 0);
    // Page 80 over UDP with these entries in its tag list; the list box.
    QComboBox* openWithTags(const QStringList& tags) {
        openPage(QStringLiteral("udp"));
        auto* tag = child<QComboBox>(QStringLiteral("cboMBusAsciiTagName"));
        if (tag)
            tag->addItems(tags);
        return tag;
    }
    template <typename T> T* child(const QString& name) const {
        return pagedriver::child<T>(m_wizard.get(), name);
    }
    void click(const QString& name) {
        QVERIFY2(pagedriver::click(child<QAbstractButton>(name)), qPrintable(name));
    }
    void enter(const QString& name, const QString& text, bool keyByKey = false);
    QString textOf(const QString& name) const { return child<QLineEdit>(name)->text(); }
    QLabel* result() const { return child<QLabel>(QStringLiteral("lblMBusAsciiResultText")); }
    QString tagFilePath(int layout) const {
        return m_sim
            ->lineStarting(QStringLiteral("gateway gw ascii tag-file layout %1 ").arg(layout))
            .section(QLatin1Char(' '), 6);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SimProcess> m_sim;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
    std::unique_ptr<DialogAnswer> m_dialogs;
};

// Replaces the text of a text box or an editable list: key by key, or at
// once as pasting does (typing "-3" key by key gives "03": the station box
// turns the lone "-" into "0").
void TestAsciiPage::enter(const QString& name, const QString& text, bool keyByKey) {
    QWidget* w = child<QWidget>(name);
    auto* combo = qobject_cast<QComboBox*>(w);
    QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(w);
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    if (!keyByKey)
        return edit->insert(text);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void TestAsciiPage::initTestCase() {
    QVERIFY(m_dir.isValid());
    QCOMPARE(fixture::prepareProgramDir(QDir(m_dir.path()), {},
                                        {QStringLiteral("Kestrune_Language.001")}),
             QString());
    m_sim = std::make_unique<SimProcess>();
    QVERIFY2(m_sim->startIn(m_dir.path(), kConfig), m_sim->errors.constData());
    const QString pty = m_sim->ptyLink(QStringLiteral("gw"), QStringLiteral("ascii serial"));
    QVERIFY(!pty.isEmpty());

    // Page 80's time-outs; COM1 is the ASCII server's serial line.
    QCOMPARE(fixture::writeFile(programDir() + QStringLiteral("Kestrune.INI"),
                                "[MBusASCII]\nBusDelay=0\nBusTimeout=1500\nOpenTimeout=1000\n"
                                "[SerialPorts]\nCOM1=" +
                                    pty.toLocal8Bit() + "\n"),
             QString());
}

void TestAsciiPage::cleanupTestCase() {
    if (m_sim)
        QCOMPARE(m_sim->stopCleanly(), QString());
}

void TestAsciiPage::init() {
    fixture::clearUserSettings();
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{6});
    settings::save(QStringLiteral("IPAddress"), kHost);
    // 9600 baud on the serial line.
    settings::save(settings::perTask(QStringLiteral("Combo_EnterIPAddress_BaudRate"), 6),
                   int64_t{5});
    m_state = ShellState{};
    m_dialogs = std::make_unique<DialogAnswer>();
}

void TestAsciiPage::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    m_dialogs.reset();
    QVERIFY(!link().isOpen());
    QCOMPARE(control("ascii gw delay 0"), QByteArray("ok"));
}

// Starts the wizard and walks to page 80 over "udp", "tcp" or "pty", to the
// simulator or to the given port.
void TestAsciiPage::openPage(const QString& transport, quint16 port) {
    const bool udp = transport == QLatin1String("udp");
    settings::save(QStringLiteral("Option_EnterIPAddress"),
                   transport == QLatin1String("pty") ? "1" : "0");
    settings::save(QStringLiteral("UDPorTCP"), udp ? "1" : "0");
    settings::save(QStringLiteral("TCPPort"), QString::number(port  ? port
                                                              : udp ? kUdpPort
                                                                    : kTcpPort));
    m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
    QVERIFY(m_wizard);
    QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
    for (int step = 0; step < 3; ++step) // to pages 1, 40 and 80
        click(QStringLiteral("Command_Next"));
    QCOMPARE(m_state.currentPage, 80);
    QVERIFY2(link().isOpen(), qPrintable(link().connectionError()));
}

// ---- Reads ------------------------------------------------------------------------------

void TestAsciiPage::reads_data() {
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("typed");     // into the station box
    QTest::addColumn<bool>("keyByKey");     // or pasted
    QTest::addColumn<QString>("shown");     // the box after typing
    QTest::addColumn<QString>("tag");       // pasted into the tag box
    QTest::addColumn<QByteArray>("inject"); // control command before the read
    QTest::addColumn<QString>("text");      // result label
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("value");   // value box afterwards (it held "old")
    QTest::addColumn<QString>("station"); // station box afterwards

    const QString heat = QStringLiteral("Meter1.Heat_Energy.Value");
    const QString x = QStringLiteral("Error X: Internal use for wrong multi drop address");
    const QByteArray none;
    QTest::newRow("udp, variant 0")
        << "udp" << 0 << "5" << false << "5" << heat << none << "Ok" << Blue << "12345.678"
        << "5";
    QTest::newRow("tcp, variant 1")
        << "tcp" << 1 << "5" << false << "5" << heat << none << "Ok" << Blue << "12345.678"
        << "5";
    QTest::newRow("pty, variant 0")
        << "pty" << 0 << "5" << false << "5" << heat << none << "Ok" << Blue << "12345.678"
        << "5";
    QTest::newRow("I: its letter in the value box")
        << "udp" << 1 << "5" << false << "5"
        << "No.Such.Tag" << none << "Error I: Can't find Item ID" << DarkRed << "I"
        << "5";
    QTest::newRow("unknown letter")
        << "tcp" << 0 << "5" << false << "5" << heat << QByteArray("ascii gw error Z 1")
        << "Unknown AsciiError" << DarkRed << "Z"
        << "5";
    QTest::newRow("150 typed shows 99")
        << "udp" << 1 << "150" << true << "99" << heat << none << x << DarkRed << "X"
        << "99";
    QTest::newRow("-3 goes to 0") << "udp" << 1 << "-3" << false << "-3" << heat << none << x
                                  << DarkRed << "X"
                                  << "0";
    QTest::newRow("4.6 goes to 5")
        << "udp" << 1 << "4.6" << false << "4.6" << heat << none << "Ok" << Blue << "12345.678"
        << "5";
    QTest::newRow("text shows 0") << "udp" << 1 << "five" << false << "0" << heat << none << x
                                  << DarkRed << "X"
                                  << "0";
    QTest::newRow("time-out keeps the value")
        << "pty" << 1 << "5" << false << "5" << heat << QByteArray("ascii gw fault no-reply 1")
        << "BusTimeout (Received 0 bytes)" << Red << "old"
        << "5";
    QTest::newRow("a tag with a control character is not sent")
        << "udp" << 1 << "5" << false << "5" << QStringLiteral("A.B\tC") << none << getText(1129)
        << Red << "old"
        << "5";
}

void TestAsciiPage::reads() {
    QFETCH(QString, transport);
    QFETCH(int, variant);
    QFETCH(QString, typed);
    QFETCH(bool, keyByKey);
    QFETCH(QString, shown);
    QFETCH(QString, tag);
    QFETCH(QByteArray, inject);
    QFETCH(QString, text);
    QFETCH(QColor, color);
    QFETCH(QString, value);
    QFETCH(QString, station);

    openPage(transport);
    child<QLineEdit>(QStringLiteral("txtMBusAsciiValue"))->setText(QStringLiteral("old"));
    enter(QStringLiteral("txtMBusAsciiStationID"), typed, keyByKey);
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiStationID")), shown);
    child<QComboBox>(QStringLiteral("cboMBusAsciiProtocol"))->setCurrentIndex(variant);
    enter(QStringLiteral("cboMBusAsciiTagName"), tag);
    if (!inject.isEmpty())
        QCOMPARE(control(inject), QByteArray("ok"));
    const int sequence = ascii::client().sequence().current();

    click(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    QCOMPARE(result()->text(), text);
    QCOMPARE(result()->palette().color(QPalette::WindowText), color);
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiValue")), value);
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiStationID")), station);
    // One request a press; none for a tag that can't be sent.
    const int sent = text == getText(1129) ? 0 : 1;
    QCOMPARE((ascii::client().sequence().current() - sequence + 100) % 100, sent);
}

// ---- Tag files --------------------------------------------------------------------------

void TestAsciiPage::tagFiles_data() {
    QTest::addColumn<int>("fileLayout"); // which of the simulator's files
    QTest::addColumn<int>("layout");     // the option chosen
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("color");
    QTest::newRow("OPC item file") << 0 << 0 << getText(1118) << Blue;
    QTest::newRow("tag table") << 1 << 1 << getText(1120) << Blue;
    QTest::newRow("item table") << 2 << 2 << getText(1122) << Blue;
    QTest::newRow("tag table read as an item table")
        << 1 << 2 << QStringLiteral("gw-tags-table.txt ") + getText(1121) << Red;
    QTest::newRow("OPC items read as a tag table")
        << 0 << 1 << QStringLiteral("gw-tags-opc.txt ") + getText(1119) << Red;
}

void TestAsciiPage::tagFiles() {
    QFETCH(int, fileLayout);
    QFETCH(int, layout);
    QFETCH(QString, text);
    QFETCH(QColor, color);

    QComboBox* tag = openWithTags({QStringLiteral("Earlier.List.Entry")});
    enter(QStringLiteral("txtMBusAsciiStationID"), QStringLiteral("5"));
    click(QStringLiteral("optMBusAsciiFileFormat(%1)").arg(layout));
    m_dialogs->path = tagFilePath(fileLayout);
    click(QStringLiteral("cmdMBusAsciiGetFile"));
    QCOMPARE(m_dialogs->fileTitle, QStringLiteral("Get Modbus Configuration"));
    QCOMPARE(m_dialogs->filters, (QStringList{QStringLiteral("Comma Separated Files(*.csv)"),
                                              QStringLiteral("All Files(*.*)")}));
    QCOMPARE(QDir(m_dialogs->directory), QDir(programDir()));
    QCOMPARE(result()->text(), text);
    QCOMPARE(result()->palette().color(QPalette::WindowText), color);
    QStringList listed;
    for (int i = 0; i < tag->count(); ++i)
        listed << tag->itemText(i);
    if (color == Red) { // rejected at the first line: the old list is gone
        QCOMPARE(listed, QStringList());
        return;
    }
    QCOMPARE(listed, simTagNames());
    // The first entry is chosen, and Read reads it.
    QCOMPARE(tag->currentText(), simTagNames().first());
    click(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiValue")), QStringLiteral("12345.678"));
    if (fileLayout != 1)
        return;
    // A later entry chosen from the list; the command line reads the same.
    tag->setCurrentIndex(simTagNames().indexOf(QStringLiteral("Meter2.Power.Value")));
    click(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiValue")), QStringLiteral("-1.5"));
    const programrun::Result cli = programrun::run(
        QStringLiteral(KESTRUNE_BINARY_DIR "/kestrune-cli"),
        {QStringLiteral("--udp"), kHost + QLatin1Char(':') + QString::number(kUdpPort),
         QStringLiteral("ascii"), QStringLiteral("read"), QStringLiteral("--station=5"),
         QStringLiteral("Meter2.Power.Value")},
        QProcessEnvironment::systemEnvironment(), 10000);
    QCOMPARE(cli.out, QStringLiteral("-1.5\n"));
    const QString shots = qEnvironmentVariable("KESTRUNE_PAGES_SHOTS");
    if (!shots.isEmpty())
        m_wizard->grab().save(QDir(shots).filePath(QStringLiteral("page80-tags.png")));
}

void TestAsciiPage::saveList_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("boxAfter"); // the last entry stays selected
    QTest::newRow("list") << QStringList{"A.B.C", "D.E.F", "G.H.I"} << "D.E.F"
                          << QByteArray("A.B.C\r\nD.E.F\r\nG.H.I\r\n") << "G.H.I";
    QTest::newRow("empty list: the box alone")
        << QStringList{} << "A.B.C" << QByteArray("A.B.C\r\n") << "A.B.C";
    QTest::newRow("nothing at all") << QStringList{} << "" << QByteArray() << "";
}

void TestAsciiPage::saveList() {
    QFETCH(QStringList, list);
    QFETCH(QString, box);
    QFETCH(QByteArray, file);
    QFETCH(QString, boxAfter);
    QComboBox* tag = openWithTags(list);
    enter(QStringLiteral("cboMBusAsciiTagName"), box);
    m_dialogs->path = m_dir.filePath(QStringLiteral("saved-%1.csv").arg(QTest::currentDataTag()));
    click(QStringLiteral("cmdMBusAsciiSaveFile"));
    QCOMPARE(m_dialogs->fileTitle, QStringLiteral("Save Ascii File"));
    QCOMPARE(m_dialogs->filters,
             (QStringList{QStringLiteral("Text Files(*.csv)"), QStringLiteral("All Files(*.*)")}));
    QFile f(m_dialogs->path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), file);
    QCOMPARE(tag->currentText(), boxAfter);
}

void TestAsciiPage::fileErrors_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("path"); // below the test folder
    QTest::addColumn<QString>("title");
    QTest::newRow("open: the file went away") << "cmdMBusAsciiGetFile"
                                              << "gone.csv"
                                              << "Open Error";
    QTest::newRow("save: the folder went away") << "cmdMBusAsciiSaveFile"
                                                << "gone/list.csv"
                                                << "Save Error";
}

void TestAsciiPage::fileErrors() {
    QFETCH(QString, button);
    QFETCH(QString, path);
    QFETCH(QString, title);
    QComboBox* tag = openWithTags({QStringLiteral("Kept.In.List")});
    const QString before = result()->text();
    m_dialogs->path = m_dir.filePath(path);
    click(button);
    QCOMPARE(m_dialogs->boxes.size(), 1);
    const DialogAnswer::Box& box = m_dialogs->boxes.first();
    QCOMPARE(box.title, title);
    QCOMPARE(box.icon, QMessageBox::Critical);
    // The system's description of the error follows the number.
    QVERIFY2(box.text.contains(QRegularExpression(
                 QStringLiteral("^The following error has occurred:\r\nErr # \\d+ - \\w"))),
             qPrintable(box.text));
    // Nothing else changed.
    QCOMPARE(tag->count(), 1);
    QCOMPARE(result()->text(), before);
}

// ---- The continuous poll and the lost link ------------------------------------------------

// The poll presses Read every 50 ms while each read waits 300 ms for its
// reply: presses during a wait start nothing, so requests and replies
// alternate in the log.
void TestAsciiPage::pollNeverStartsWhileReadWaits() {
    openPage(QStringLiteral("udp"));
    enter(QStringLiteral("txtMBusAsciiStationID"), QStringLiteral("5"));
    enter(QStringLiteral("cboMBusAsciiTagName"), QStringLiteral("Meter1.Volume.Value"));
    QCOMPARE(control("ascii gw delay 300"), QByteArray("ok"));
    click(QStringLiteral("Command_MBusAscii_MeterFeature_Debug"));
    QVERIFY(DebugWindow::instance());
    trafficLog().clear();
    trafficLog().resetStats();
    auto* read = child<QPushButton>(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    int presses = 0;
    connect(read, &QPushButton::clicked, this, [&presses] { ++presses; });
    auto* poll = DebugWindow::instance()->findChild<QCheckBox*>("Check_CountinousPoll");
    QVERIFY(poll && poll->isEnabled());
    DebugWindow::instance()->findChild<QLineEdit*>("Text_Interval")->setText(QStringLiteral("50"));

    // A press of Read first, the poll switched on during its wait.
    const int sequence = ascii::client().sequence().current();
    QTimer::singleShot(20, poll, [poll] { poll->setChecked(true); });
    click(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    QCOMPARE(textOf(QStringLiteral("txtMBusAsciiValue")), QStringLiteral("987.654"));
    QVERIFY2(presses > 2, QByteArray::number(presses).constData()); // the poll pressed meanwhile
    QCOMPARE(ascii::client().sequence().current(), (sequence + 1) % 100);

    // Then the poll on its own for a while.
    QTest::qWait(1000);
    poll->setChecked(false);
    QString order;
    for (const QString& line : trafficLog().lines())
        order += line.contains(QLatin1String(" -> "))   ? QStringLiteral(">")
                 : line.contains(QLatin1String(" <- ")) ? QStringLiteral("<")
                                                        : QString();
    QVERIFY2(order.size() >= 6 && !order.contains(QLatin1String(">>")) &&
                 !order.contains(QLatin1String("<<")),
             qPrintable(order));
    QCOMPARE(trafficLog().failureCount(), 0);
}

// A gateway that hangs up while a read waits: the page says the link was
// lost (not a time-out) and Read waits for the link to be opened again.
void TestAsciiPage::linkLostDuringRead() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.155")), 0));
    connect(&server, &QTcpServer::newConnection, this, [&server] {
        QTcpSocket* peer = server.nextPendingConnection();
        connect(peer, &QTcpSocket::readyRead, peer, [peer] { peer->close(); });
    });
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.155"));
    openPage(QStringLiteral("tcp"), server.serverPort());
    enter(QStringLiteral("cboMBusAsciiTagName"), QStringLiteral("Meter1.Volume.Value"));
    QElapsedTimer clock;
    clock.start();
    click(QStringLiteral("Command_MBusAscii_MeterFeature_Read"));
    QVERIFY(clock.elapsed() < 1000); // not the time-out of 1.5 s
    const QString lost = getText(398).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QVERIFY2(result()->text().startsWith(lost), qPrintable(result()->text()));
    QCOMPARE(result()->palette().color(QPalette::WindowText), DarkRed);
    QVERIFY(
        !child<QPushButton>(QStringLiteral("Command_MBusAscii_MeterFeature_Read"))->isEnabled());
}

QTEST_MAIN(TestAsciiPage)
#include "tst_asciipage.moc"
