// kestrune-screens: the README's pictures of the wizard. Starts the wizard
// as the program does, walks it like a user (controls found by objectName,
// pressed with mouse clicks) against a running gateway simulator and saves
// one picture per view into OUTDIR. A view it cannot reach is said on
// standard error and makes the exit status 1.
//
//   kestrune-screens OUTDIR METER_GATEWAY MODBUS_GATEWAY
//
// tools/screenshots prepares the program folder, the settings folder and the
// simulator (embedded installation: a K2 gateway with meters, a Modbus slave
// with FLOAT 10.0 at register 100) and runs this under Xvfb.
#include "app/Logo.h"
#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Settings.h"
#include "tests/pages/PageDriver.h"
#include "wizard/ShellState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace kestrune;

QString g_outDir;
QString g_meterGateway;
QString g_modbusGateway;
int g_failures = 0;

void note(const QString& text) {
    std::fprintf(stderr, "kestrune-screens: %s\n", qPrintable(text));
}

template <typename T> T* find(const QWidget* root, const QString& name) {
    return root ? root->findChild<T*>(name) : nullptr;
}

QWidget* topLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

bool click(const QWidget* root, const QString& name) {
    return pagedriver::click(find<QAbstractButton>(root, name));
}

bool type(const QWidget* root, const QString& name, const QString& text) {
    auto* e = find<QLineEdit>(root, name);
    if (!e || !e->isVisible() || !e->isEnabled())
        return false;
    e->selectAll();
    QTest::keyClicks(e, text);
    return true;
}

// Waits in the event loop until done() or the limit.
bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

void save(QWidget* window, const QString& name) {
    QTest::qWait(150); // let the last repaint land
    const QString file = QDir(g_outDir).filePath(name + QStringLiteral(".png"));
    if (window->grab().save(file, "PNG")) {
        note(QStringLiteral("wrote %1").arg(file));
    } else {
        note(QStringLiteral("cannot write %1").arg(file));
        ++g_failures;
    }
}

// The choices a technician made before: English, the task, the gateway.
void prepareSettings(int task, const QString& gateway) {
    settings::save(QStringLiteral("Language"), QStringLiteral("001"));
    settings::save(QStringLiteral("Option_SelectWhatToDo"), QString::number(task));
    settings::save(QStringLiteral("Option_EnterIPAddress"), QStringLiteral("0"));
    settings::save(QStringLiteral("IPAddress"), gateway);
}

std::unique_ptr<WizardWindow> startAt(ShellState& state, int task, int nexts, int page,
                                      const QString& gateway = g_meterGateway) {
    prepareSettings(task, gateway);
    state = ShellState{};
    auto wizard = startWizard(state, {QStringLiteral("Kestrune")});
    if (!wizard || !QTest::qWaitForWindowExposed(wizard.get()))
        return nullptr;
    for (int i = 0; i < nexts; ++i)
        click(wizard.get(), QStringLiteral("Command_Next"));
    if (page >= 0 && (!wizard->pagePanel(page) || !wizard->pagePanel(page)->isVisible())) {
        note(QStringLiteral("page %1 was not reached").arg(page));
        return nullptr;
    }
    return wizard;
}

// Page 0, as the wizard opens.
void startPage() {
    ShellState state;
    auto wizard = startAt(state, 0, 0, 0);
    if (!wizard) {
        ++g_failures;
        return;
    }
    save(wizard.get(), QStringLiteral("start-page"));
}

// Page 60: read the meter at primary address 22 of the K2 gateway.
void meterRead() {
    settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("1"));
    settings::save(QStringLiteral("TCPPort"), QStringLiteral("10001"));
    settings::save(QStringLiteral("Option_SelectMeterFeature"), QStringLiteral("1"));
    settings::save(QStringLiteral("MeterFeature_Address_0"), QStringLiteral("22"));
    ShellState state;
    auto wizard = startAt(state, 4, 3, 60);
    if (!wizard) {
        ++g_failures;
        return;
    }
    WizardWindow* w = wizard.get();
    click(w, QStringLiteral("Option_SelectMeterFeature(1)"));
    type(w, QStringLiteral("Text_MeterFeature_Address(0)"), QStringLiteral("22"));
    if (!click(w, QStringLiteral("Command_MeterFeature_Apply"))) {
        note(QStringLiteral("meter read: no Apply button on page 60"));
        ++g_failures;
        return;
    }
    waitFor([w] { return w->isEnabled(); }, 10000);
    save(w, QStringLiteral("meter-read"));

    // The search window opens from the same page.
    if (!click(w, QStringLiteral("Command_MeterFeature_Search")) ||
        !waitFor([] { return topLevel(QStringLiteral("Kestrune_Search")) != nullptr; }, 2000)) {
        note(QStringLiteral("search: missing: the search window (Kestrune_Search) is not there "
                            "in this build"));
        ++g_failures;
        return;
    }
    QWidget* search = topLevel(QStringLiteral("Kestrune_Search"));
    type(search, QStringLiteral("Text_LowPrimaryAddress"), QStringLiteral("0"));
    type(search, QStringLiteral("Text_HighPrimaryAddress"), QStringLiteral("30"));
    if (!click(search, QStringLiteral("Command_Search"))) {
        note(QStringLiteral("search: missing: no Command_Search in the search window"));
        ++g_failures;
        return;
    }
    auto* start = find<QPushButton>(search, QStringLiteral("Command_Search"));
    QTest::qWait(200);
    waitFor([start] { return start->isEnabled(); }, 120000);
    // The meters it found, not the thirty probes.
    click(search, QStringLiteral("Check_ViewFoundOnly"));
    save(search, QStringLiteral("search"));

    // A double-click on a found meter shows its data records beside the list.
    auto* list = find<QTreeWidget>(search, QStringLiteral("ListView_Search"));
    QTreeWidgetItem* found = nullptr;
    for (int i = 0; list && i < list->topLevelItemCount() && !found; ++i)
        if (!list->topLevelItem(i)->isHidden() && !list->topLevelItem(i)->text(5).isEmpty())
            found = list->topLevelItem(i);
    if (found) {
        list->setCurrentItem(found);
        const QPoint at = list->visualItemRect(found).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    if (waitFor([] { return topLevel(QStringLiteral("Kestrune_Records")) != nullptr; }, 2000)) {
        QWidget* records = topLevel(QStringLiteral("Kestrune_Records"));
        save(records, QStringLiteral("records"));
        records->close();
    } else {
        note(QStringLiteral("records: no records window after a double-click on a found meter"));
        ++g_failures;
    }
    search->close();
    // Closing the wizard closes its link, so the next walk opens its own.
    w->close();
}

// Page 70: the register sheet with the simulator's values from register 100.
void modbusSheet() {
    settings::save(QStringLiteral("UDPorTCP"), QStringLiteral("0"));
    settings::save(QStringLiteral("TCPPort"), QStringLiteral("10502"));
    ShellState state;
    auto wizard = startAt(state, 5, 3, -1, g_modbusGateway);
    if (!wizard) {
        ++g_failures;
        return;
    }
    WizardWindow* w = wizard.get();
    if (!w->pagePanel(70) || !w->pagePanel(70)->isVisible() ||
        !find<QLineEdit>(w, QStringLiteral("txtModbusFirstRegister"))) {
        note(QStringLiteral("Modbus sheet: missing: page 70 has no register sheet in this build"));
        ++g_failures;
        return;
    }
    type(w, QStringLiteral("txtModbusSlaveAddress"), QStringLiteral("1"));
    type(w, QStringLiteral("txtModbusFirstRegister"), QStringLiteral("100"));
    type(w, QStringLiteral("txtModbusNoOfRegisters"), QStringLiteral("10"));
    // The simulator's slave talks Modbus TCP; from register 100 it holds a
    // FLOAT, an INT16, a UINT64 and a CHAR6.
    click(w, QStringLiteral("optModBusRtuTcp(1)"));
    const char* const types[] = {"FLOAT", "INT16", "UINT64", "CHAR6"};
    for (int row = 0; row < 4; ++row)
        if (auto* box = find<QComboBox>(w, QStringLiteral("cboModbusDatatype(%1)").arg(row)))
            QTest::keyClicks(box, QLatin1String(types[row])); // as typed into the closed list
    if (!click(w, QStringLiteral("Command_ModBus_MeterFeature_Read"))) {
        note(QStringLiteral("Modbus sheet: missing: Read is not available"));
        ++g_failures;
        return;
    }
    waitFor([w] { return w->isEnabled(); }, 10000);
    save(w, QStringLiteral("modbus-sheet"));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrune"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(logoImage(64))));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        note(QStringLiteral("usage: kestrune-screens OUTDIR METER_GATEWAY MODBUS_GATEWAY"));
        return 2;
    }
    g_outDir = args[1];
    g_meterGateway = args[2];
    g_modbusGateway = args[3];
    if (!QDir().mkpath(g_outDir)) {
        note(QStringLiteral("cannot make %1").arg(g_outDir));
        return 1;
    }
    initProgramDir();
    // A message box means the walk went astray: say what it said and close
    // it, so that the walk ends instead of waiting for a click.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &guard, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        note(QStringLiteral("closed an unexpected message: %1")
                 .arg(box ? box->text() : modal->objectName()));
        ++g_failures;
        modal->close();
    });
    guard.start(500);
    startPage();
    meterRead();
    modbusSheet();
    return g_failures == 0 ? 0 : 1;
}
