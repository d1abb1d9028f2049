// Every caption fits its control, in every shipped language: the wizard's
// pages (every page of the registry, laid out for every task and both link
// choices, and the meter page for each of its features), the traffic log and
// the windows of its Tools menu, the search and records windows, and the
// modal windows opened from the pages.
// A label, check box, option button, push button, frame caption, list or
// information text whose text is wider (or taller) than the control fails the
// test with the control's name, its text and both measures.
//
// With KESTRUNE_TEXTFIT_SHOTS set to a folder, a picture of every page and
// window is saved there per language (pages as "<language>-page<n>-task<t>").

#include "app/Startup.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "channel/gui/DebugWindow.h"
#include "mbus/gui/RecordsView.h"
#include "search/gui/SearchWindow.h"
#include "tests/pages/PageDriver.h"
#include "tests/simprogram/LoopbackAdapter.h"
#include "tests/simprogram/ProgramFixture.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kestrune;

namespace {

// The name a failure gives a control: its objectName, or its class.
QString nameOf(const QWidget* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

QString visibleText(QString text) {
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// What a control needs (width, height) to show its text whole; an empty size
// for a control without a text to check.
QSize needed(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return {};
        const QRect room = label->contentsRect();
        if (label->wordWrap()) {
            // Every word must fit a line, and the lines the label's height.
            int widest = 0;
            const QFontMetrics fm = label->fontMetrics();
            for (const QString& word :
                 visibleText(label->text())
                     .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                widest = std::max(widest, fm.horizontalAdvance(word));
            const int height = label->heightForWidth(label->width());
            return {widest + label->width() - room.width(), height};
        }
        return label->sizeHint();
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(w))
        return box->text().isEmpty() ? QSize() : box->sizeHint();
    if (const auto* option = qobject_cast<const QRadioButton*>(w))
        return option->text().isEmpty() ? QSize() : option->sizeHint();
    if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        if (button->text().isEmpty())
            return {};
        // The text within the button's frame (the style's minimum width for
        // a button is no need of the text).
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        if (button->autoDefault() || button->isDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        return {text.width() + button->width() - contents.width(),
                text.height() + button->height() - contents.height()};
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(w)) {
        if (frame->title().isEmpty())
            return {};
        // The caption sits after a small indent, with room either side.
        return {frame->fontMetrics().horizontalAdvance(visibleText(frame->title())) + 16, 0};
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        // The chosen entry shows in the box; the open list is as wide as
        // its longest entry.
        if (combo->currentText().isEmpty() || combo->isEditable())
            return {};
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        const QSize hint = combo->style()->sizeFromContents(
            QStyle::CT_ComboBox, &opt,
            QSize(combo->fontMetrics().horizontalAdvance(combo->currentText()),
                  combo->fontMetrics().height()),
            combo);
        return {hint.width(), 0};
    }
    if (const auto* info = qobject_cast<const QPlainTextEdit*>(w)) {
        // The long label of an option shows its text whole, without a scroll
        // bar; other information boxes scroll what a page writes there.
        if (!info->isReadOnly() || info->toPlainText().isEmpty() ||
            info->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
            return {};
        const int lines = info->document()->documentLayout()->documentSize().toSize().height();
        const int height = lines * info->fontMetrics().lineSpacing() +
                           2 * int(info->document()->documentMargin()) +
                           (info->height() - info->viewport()->height());
        return {0, height};
    }
    return {};
}

QString shownText(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(w))
        return frame->title();
    if (const auto* info = qobject_cast<const QPlainTextEdit*>(w))
        return info->toPlainText().left(60);
    if (const auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->currentText();
    return {};
}

// Every control below root whose text does not fit, described for a
// failure message. Controls hidden by the page's state are checked too:
// another state shows them. A window laid out by layouts sizes only what
// it shows, so there visibleOnly leaves the hidden ones to another state.
QStringList overflows(const QWidget* root, const QString& where, bool visibleOnly = false) {
    QStringList found;
    QList<const QWidget*> widgets{root};
    for (const QWidget* w : root->findChildren<const QWidget*>())
        widgets << w;
    for (const QWidget* w : widgets) {
        // Parts of composite controls (the combo's list, a spin box's
        // editor) are the composite's business.
        if (w != root && w->window() != root->window())
            continue;
        if (w->size().isEmpty() || (visibleOnly && !w->isVisibleTo(root)))
            continue;
        const QSize need = needed(w);
        if (need.isEmpty() && need.width() <= 0 && need.height() <= 0)
            continue;
        if (need.width() > w->width() || need.height() > w->height())
            found << QStringLiteral("%1: %2 \"%3\" needs %4x%5, has %6x%7")
                         .arg(where, nameOf(w), shownText(w))
                         .arg(need.width())
                         .arg(need.height())
                         .arg(w->width())
                         .arg(w->height());
    }
    return found;
}

// The entries of one menu.
QStringList acceleratorClashes(const QList<QAction*>& actions, const QString& where) {
    QMap<QString, QStringList> owners;
    for (const QAction* action : actions) {
        const QKeySequence key = QKeySequence::mnemonic(action->text());
        if (!key.isEmpty() && action->isVisible())
            owners[key.toString()] << action->text();
    }
    QStringList found;
    for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
        if (it.value().size() > 1)
            found << QStringLiteral("%1: %2 shared by %3")
                         .arg(where, it.key(), it.value().join(QStringLiteral(", ")));
    }
    return found;
}

// Accelerators that two controls of one window share: Alt and the letter
// would reach only one of them. Only controls the user sees count; a menu's
// entries are a scope of their own, its title belongs to the window.
QStringList acceleratorClashes(const QList<const QWidget*>& roots, const QString& where) {
    QMap<QString, QStringList> owners;
    const auto add = [&](const QString& caption, const QString& name) {
        const QKeySequence key = QKeySequence::mnemonic(caption);
        if (!key.isEmpty())
            owners[key.toString()] << QStringLiteral("%1 \"%2\"").arg(name, caption);
    };
    QStringList found;
    for (const QWidget* root : roots) {
        QList<const QWidget*> widgets{root};
        for (const QWidget* w : root->findChildren<const QWidget*>())
            widgets << w;
        for (const QWidget* w : widgets) {
            if (!w->isVisibleTo(root->window()) || w->window() != root->window())
                continue;
            if (const auto* button = qobject_cast<const QAbstractButton*>(w))
                add(button->text(), nameOf(w));
            else if (const auto* label = qobject_cast<const QLabel*>(w); label && label->buddy())
                add(label->text(), nameOf(w));
            else if (const auto* frame = qobject_cast<const QGroupBox*>(w))
                add(frame->title(), nameOf(w));
            else if (const auto* bar = qobject_cast<const QMenuBar*>(w)) {
                for (const QAction* menu : bar->actions()) {
                    add(menu->text(), menu->objectName());
                    if (menu->menu())
                        found << acceleratorClashes(menu->menu()->actions(),
                                                    where + QLatin1Char(' ') + menu->objectName());
                }
            }
        }
    }
    for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
        if (it.value().size() > 1)
            found << QStringLiteral("%1: %2 shared by %3")
                         .arg(where, it.key(), it.value().join(QStringLiteral(", ")));
    }
    return found;
}

// The language files the build put beside the program.
QStringList builtLanguageFiles() {
    return QDir(QStringLiteral(KESTRUNE_BINARY_DIR))
        .entryList({QStringLiteral("Kestrune_Language.???")}, QDir::Files);
}

// Prints every problem (a failure message alone would be cut short) and
// returns the summary for the failure.
QString listed(const QStringList& problems) {
    for (const QString& problem : problems)
        qWarning().noquote() << problem;
    return QStringLiteral("%1 caption(s) do not fit, listed above").arg(problems.size());
}

// Closes every modal window that appears while it runs, after checking it.
class ModalChecker : public QObject {
public:
    QStringList problems;
    QStringList seen;
    QString language;

    ModalChecker() {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (!qobject_cast<QMessageBox*>(modal)) {
            seen << modal->objectName();
            problems << overflows(modal, modal->objectName());
            problems << acceleratorClashes({modal}, modal->objectName());
            const QString dir = qEnvironmentVariable("KESTRUNE_TEXTFIT_SHOTS");
            if (!dir.isEmpty())
                modal->grab().save(QDir(dir).filePath(
                    QStringLiteral("%1-%2.png").arg(language, modal->objectName())));
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    QTimer m_timer;
};

} // namespace

class TestTextFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pagesFit_data();
    void pagesFit();
    void windowsFit_data();
    void windowsFit();

private:
    void start(const QString& language);
    QList<const QWidget*> withFrameButtons(const QWidget* panel) const;
    void shoot(QWidget* w, const QString& name) const;

    QTemporaryDir m_config;
    QTemporaryDir m_program;
    ShellState m_state;
    std::unique_ptr<WizardWindow> m_wizard;
    std::unique_ptr<ModalChecker> m_modals;
    QString m_language;
};

void TestTextFit::initTestCase() {
    QVERIFY(m_config.isValid());
    QVERIFY(m_program.isValid());
    const QStringList files = builtLanguageFiles();
    QVERIFY(files.size() >= 2);
    // Short waits; whatever the pages send stays on 127.0.0.240 (discovery)
    // and on a port of that address where nothing listens.
    QByteArray text = fixture::taskWaits(100, 100);
    text += "[IP]\nScanTimeout=50\nUDPTimeOut=50\nSerialTimeOut=50\nResetTimeOut=50\n"
            "WriteTimeOut=50\nRebootDHCPDelay=0\n"
            "BroadcastAddress=127.0.0.240\n";
    text += "[SerialPorts]\nCOM1=/dev/ttyK40\n";
    QCOMPARE(fixture::prepareProgramDir(m_program.path(), m_config.path(), text, files), QString());
}

void TestTextFit::init() {
    fixture::clearUserSettings({});
    settings::save(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.240"));
    settings::save(QStringLiteral("TCPPort"), QStringLiteral("9"));
    m_state = ShellState{};
    m_modals = std::make_unique<ModalChecker>();
    // Two adapters, both loopback, so the adapter window has a choice.
    fixture::useLoopbackAdapters({QStringLiteral("127.0.0.240"), QStringLiteral("127.0.0.241")});
}

void TestTextFit::cleanup() {
    if (m_wizard)
        m_wizard->close();
    m_wizard.reset();
    m_modals.reset();
}

void TestTextFit::start(const QString& language) {
    m_language = language;
    m_modals->language = language;
    settings::save(QStringLiteral("Language"), language);
    m_state = ShellState{};
    m_wizard = startWizard(m_state, {QStringLiteral("Kestrune")});
    QVERIFY(m_wizard);
    QVERIFY(QTest::qWaitForWindowExposed(m_wizard.get()));
    // The chosen file is the one loaded.
    const QVector<LanguageChoice> languages = listLanguages(programDir());
    const auto chosen = std::find_if(languages.cbegin(), languages.cend(),
                                     [&](const auto& c) { return c.number == language.toInt(); });
    QVERIFY(chosen != languages.cend());
    QCOMPARE(getText(0), chosen->name);
}

// A page with the frame's Back, Next and Cancel: one window for the keys.
QList<const QWidget*> TestTextFit::withFrameButtons(const QWidget* panel) const {
    QList<const QWidget*> roots{panel};
    for (const QWidget* control : m_wizard->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<const QAbstractButton*>(control))
            roots << control;
    }
    return roots;
}

void TestTextFit::shoot(QWidget* w, const QString& name) const {
    const QString dir = qEnvironmentVariable("KESTRUNE_TEXTFIT_SHOTS");
    if (dir.isEmpty())
        return;
    QTest::qWait(20);
    w->grab().save(
        QDir(dir).filePath(m_language + QLatin1Char('-') + name + QStringLiteral(".png")));
}

// One row per language and task; the stored link choice alternates so both
// the network and the serial fields of the connection pages are laid out.
void TestTextFit::pagesFit_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("task");
    for (const QString& file : builtLanguageFiles()) {
        const QString language = file.right(3);
        for (int task = 0; task <= 8; ++task)
            QTest::addRow("%s task %d", qPrintable(language), task) << language << task;
    }
}

void TestTextFit::pagesFit() {
    QFETCH(QString, language);
    QFETCH(int, task);
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{task});
    for (const char* key : {"Option_EnterIPAddress", "Option_ChangeIPSettings"})
        settings::save(QLatin1String(key), int64_t{task % 2});
    settings::save(QStringLiteral("Option_EnterIPAddress_") + QString::number(task),
                   int64_t{task % 2});
    start(language);
    if (QTest::currentTestFailed())
        return;

    QStringList problems;
    for (int p : page::All) {
        m_wizard->enterPage(p);
        QWidget* panel = m_wizard->pagePanel(p);
        QVERIFY(panel);
        const QString where = QStringLiteral("page %1").arg(p);
        problems << overflows(panel, where);
        problems << acceleratorClashes(withFrameButtons(panel), where);
        shoot(m_wizard.get(), QStringLiteral("page%1-task%2").arg(p).arg(task));
        if (p == page::MeterFeatures && task == 4) {
            // Each feature has its own header, captions and fields.
            for (int f = 0; f < 6; ++f) {
                auto* option = panel->findChild<QRadioButton*>(
                    QStringLiteral("Option_SelectMeterFeature(%1)").arg(f));
                QVERIFY(option);
                option->click();
                problems << overflows(panel, where + QStringLiteral(" feature %1").arg(f));
                problems << acceleratorClashes(withFrameButtons(panel),
                                               where + QStringLiteral(" feature %1").arg(f));
                shoot(m_wizard.get(), QStringLiteral("page60-feature%1").arg(f));
            }
        }
        if (p == page::Modbus && task == 5) {
            // Every data type and byte order in the sheet's boxes.
            auto* type = panel->findChild<QComboBox*>(QStringLiteral("cboModbusDatatype(0)"));
            auto* order = panel->findChild<QComboBox*>(QStringLiteral("cboModbusFormat(0)"));
            QVERIFY(type && order);
            for (int t = 0; t < type->count(); ++t) {
                type->setCurrentIndex(t);
                emit type->activated(t);
                problems << overflows(type, where);
                for (int o = 0; o < order->count(); ++o) {
                    order->setCurrentIndex(o);
                    problems << overflows(order, where);
                }
            }
        }
        // Leave the page as Back would, so the next one shows alone.
        panel->hide();
        m_wizard->closeLink();
    }
    // The frame's own buttons.
    for (QWidget* control : m_wizard->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QAbstractButton*>(control))
            problems << overflows(control, QStringLiteral("wizard frame"));
    }
    problems << m_modals->problems;
    QVERIFY2(problems.isEmpty(), qPrintable(listed(problems)));
}

void TestTextFit::windowsFit_data() {
    QTest::addColumn<QString>("language");
    for (const QString& file : builtLanguageFiles())
        QTest::newRow(qPrintable(file.right(3))) << file.right(3);
}

// The traffic log and every window of its Tools menu, and the modal windows
// the pages open: the language window and the adapter window.
void TestTextFit::windowsFit() {
    QFETCH(QString, language);
    settings::save(QStringLiteral("Option_SelectWhatToDo"), int64_t{4});
    start(language);
    if (QTest::currentTestFailed())
        return;

    QStringList problems;
    m_wizard->openTrafficLog();
    DebugWindow* log = DebugWindow::instance();
    QVERIFY(log);
    QVERIFY(QTest::qWaitForWindowExposed(log));
    auto* tools = log->findChild<QMenu*>(QStringLiteral("Menu_Tools"));
    QVERIFY(tools);
    const QList<QWidget*> before = QApplication::topLevelWidgets();
    for (QAction* action : tools->actions()) {
        if (!action->isEnabled() || action->isSeparator() ||
            action->objectName() == QLatin1String("Menu_Tools_ResetStats"))
            continue;
        action->trigger();
        QTest::qWait(50);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window == m_wizard.get() ||
            qobject_cast<QMenu*>(window) != nullptr)
            continue;
        problems << overflows(window, window->objectName());
        problems << acceleratorClashes({window}, window->objectName());
        shoot(window, window->objectName());
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window != m_wizard.get() && !before.contains(window))
            window->close();
    }
    DebugWindow::closeWindow();

    // The windows beside page 60: the search window with each method's
    // fields, and the records of a reply with long quantity names and a
    // plain-text unit.
    m_wizard->enterPage(page::MeterFeatures);
    QVERIFY(pagedriver::click(pagedriver::child<QAbstractButton>(
        m_wizard.get(), QStringLiteral("Command_MeterFeature_Search"))));
    QTRY_VERIFY(SearchWindow::instance() && SearchWindow::instance()->isVisible());
    RecordsView* records = RecordsView::showWindow(
        QByteArray::fromHex("685656680801722315010977041407250000000C78231501090D7C084449202E"
                            "747375630A353537363730414C3930046D1A0ECD13027C09656D6974202E7461"
                            "62D40904131F00000004937F0000000044131F0000000F00011FA916"),
        SearchWindow::instance());
    QVERIFY(records && records->rowCount() > 0);
    QVERIFY(QTest::qWaitForWindowExposed(records));
    problems << overflows(records, records->objectName(), true);
    problems << acceleratorClashes({records}, records->objectName());
    shoot(records, records->objectName());
    SearchWindow* search = SearchWindow::instance();
    for (int method = 0; method < 2; ++method) {
        QVERIFY(pagedriver::click(pagedriver::child<QAbstractButton>(
            search, QStringLiteral("Option_SearchMethod(%1)").arg(method))));
        const QString where = QStringLiteral("%1 method %2").arg(search->objectName()).arg(method);
        problems << overflows(search, where, true);
        problems << acceleratorClashes({search}, where);
        shoot(search, QStringLiteral("%1-method%2").arg(search->objectName()).arg(method));
    }
    records->close();
    search->close();

    // The modal windows: the language window from the start page, the
    // adapter window from the discovery page.
    m_wizard->enterPage(page::Start);
    QVERIFY(pagedriver::click(pagedriver::child<QAbstractButton>(
        m_wizard.get(), QStringLiteral("Command_ChangeLanguage"))));
    m_wizard->enterPage(page::Discovery);
    auto* adapters = pagedriver::child<QAbstractButton>(
        m_wizard.get(), QStringLiteral("Command_ScanDevicesSelectAdapter"));
    QVERIFY(adapters);
    QTRY_VERIFY(adapters->isEnabled());
    QVERIFY(pagedriver::click(adapters));
    QTRY_VERIFY(m_modals->seen.contains(QStringLiteral("Kestrune_Language")));
    QTRY_VERIFY(m_modals->seen.contains(QStringLiteral("Kestrune_Adapters")));
    problems << m_modals->problems;
    QVERIFY2(problems.isEmpty(), qPrintable(listed(problems)));
}

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
