#include "channel/gui/DebugWindow.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/Settings.h"
#include "channel/LogViewModel.h"
#include "channel/TrafficLog.h"
#include "channel/gui/TimeoutsWindow.h"
#include "wizard/gui/WizardText.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <array>

namespace kestrune {

namespace {

const QString IniSection = QStringLiteral("Debug");
const QString IniPollInterval = QStringLiteral("PollInterval");
const QString IniMaxDebugLines = QStringLiteral("MaxDebugLines");
const QString KeyExplain = QStringLiteral("Menu_Tools_Explain");

// The save dialog's filters; the first adds its extension to a bare name.
QString textFilesFilter() {
    return wizardtext::fileFilter(wizardtext::TextTextFiles, "(*.txt)");
}
QString allFilesFilter() {
    return wizardtext::fileFilter(wizardtext::TextAllFiles, "(*.*)");
}

// Window width beside the wizard, in twips (1/1440 inch).
constexpr int WindowWidthTwips = 8200;

// Language texts of the captions.
enum Text : int32_t {
    TextCaption = 20,
    TextMenuFile = 130,
    TextMenuSave = 131,
    TextMenuClear = 132,
    TextMenuTools = 135,
    TextMenuResetStats = 136,
    TextMenuTimeouts = 137,
    TextMenuSearchTimeouts = 138,
    TextMenuProperties = 139,
    TextExit = 232, // Command_Exit and Menu_File_Exit
    TextCommandSave = 750,
    TextCommandClear = 751,
    TextComment = 752,
    TextContinuousPoll = 753,
    TextResponseTot = 754,
    TextErrorTot = 755,
    TextInterval = 756,
    TextIntervalUnit = 740, // "ms", shared with the search time-outs
    TextIntervalNotStored = 757,
    TextMenuExplain = 2518,
    TextSaveTitle = 2640,
};

DebugWindow* g_instance = nullptr;

std::array<std::function<void()>, 3>& toolHandlers() {
    // The time-out window lives in this library and is there from the start;
    // the search sets its time-out window, the meter pages the properties.
    static std::array<std::function<void()>, 3> handlers{
        [] {
            QWidget* owner = g_instance ? g_instance->parentWidget() : nullptr;
            TimeoutsWindow::showWindow(owner ? owner : g_instance);
        },
        {},
        {},
    };
    return handlers;
}

} // namespace

PollTarget pollTarget(int page, int meterFeature) {
    switch (page) {
    case 60:
        return (meterFeature == 0 || meterFeature == 4) ? PollTarget::MeterFeatureApply
                                                        : PollTarget::None;
    case 70:
        return PollTarget::ModbusRead;
    case 80:
        return PollTarget::AsciiRead;
    default:
        return PollTarget::None;
    }
}

bool pollBoxEnabledAtLoad(int page, int meterFeature) {
    return (page == 60 && meterFeature == 4) || page == 70 || page == 80;
}

WindowPlacement placeBeside(const QRect& mainFrame, const QSize& wanted, const QMargins& frame,
                            int minWidth, const QRect& available) {
    const int extraW = frame.left() + frame.right();
    const int extraH = frame.top() + frame.bottom();
    // Sizes here are of the whole frame.
    const int maxFrameW = std::max(1, available.width());
    int frameW = std::min(wanted.width() + extraW, maxFrameW);
    const int frameH = std::min(wanted.height() + extraH, std::max(1, available.height()));
    const int minFrameW = std::min(std::max(minWidth, 1) + extraW, frameW);

    const int roomRight = available.x() + available.width() - (mainFrame.x() + mainFrame.width());
    const int roomLeft = mainFrame.x() - available.x();
    int x = 0;
    if (frameW <= roomRight) {
        x = mainFrame.x() + mainFrame.width();
    } else if (frameW <= roomLeft) {
        x = mainFrame.x() - frameW;
    } else if (std::max(roomLeft, roomRight) >= minFrameW) {
        frameW = std::max(roomLeft, roomRight);
        x = roomRight >= roomLeft ? mainFrame.x() + mainFrame.width() : available.x();
    } else {
        x = available.x() + available.width() - frameW;
    }
    const int y =
        std::clamp(mainFrame.y(), available.y(), available.y() + available.height() - frameH);
    return {QPoint(x, y), QSize(frameW - extraW, frameH - extraH)};
}

QString withTextSuffix(const QString& path, const QString& chosenFilter) {
    if (path.isEmpty() || chosenFilter != textFilesFilter())
        return path;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name.contains(QLatin1Char('.')))
        return path;
    return path + QStringLiteral(".txt");
}

// ---- static entry points ----------------------------------------------------------

DebugWindow* DebugWindow::open(DebugHost& host) {
    if (g_instance)
        return g_instance;
    trafficLog().setActive(true);
    auto* window = new DebugWindow(host, host.mainWindow());
    g_instance = window;
    window->loadWindow();
    window->showBesideMainWindow();
    return window;
}

void DebugWindow::closeWindow() {
    if (g_instance)
        g_instance->close();
}

void DebugWindow::toggle(DebugHost& host) {
    if (!trafficLog().isActive() || !g_instance)
        open(host);
    else
        closeWindow();
}

DebugWindow* DebugWindow::instance() {
    return g_instance;
}

void DebugWindow::setPollBoxEnabled(bool enabled) {
    if (!g_instance)
        return;
    if (!enabled)
        g_instance->m_checkPoll->setChecked(false);
    g_instance->m_checkPoll->setEnabled(enabled);
}

void DebugWindow::setToolHandler(Tool tool, std::function<void()> handler) {
    toolHandlers()[static_cast<size_t>(tool)] = std::move(handler);
    if (g_instance)
        g_instance->updateToolActions();
}

// ---- construction -------------------------------------------------------------------

DebugWindow::DebugWindow(DebugHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), m_host(&host) {
    setObjectName(QStringLiteral("Kestrune_Debug"));
    buildControls();
    setCaptions();
}

DebugWindow::~DebugWindow() {
    // Destroyed with the main window without being closed first.
    unloadWindow();
}

void DebugWindow::buildControls() {
    auto* root = new QVBoxLayout(this);

    m_menuBar = new QMenuBar(this);
    m_menuBar->setNativeMenuBar(false);
    root->setMenuBar(m_menuBar);

    auto makeAction = [this](QMenu* menu, const char* name) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        menu->addAction(action);
        return action;
    };
    m_menuFile = m_menuBar->addMenu(QString());
    m_menuFile->setObjectName(QStringLiteral("Menu_File"));
    m_actSave = makeAction(m_menuFile, "Menu_File_SaveToDebugTXT");
    m_menuFile->addSeparator();
    m_actClear = makeAction(m_menuFile, "Menu_File_Clear");
    m_menuFile->addSeparator();
    m_actExit = makeAction(m_menuFile, "Menu_File_Exit");

    m_menuTools = m_menuBar->addMenu(QString());
    m_menuTools->setObjectName(QStringLiteral("Menu_Tools"));
    m_actResetStats = makeAction(m_menuTools, "Menu_Tools_ResetStats");
    m_menuTools->addSeparator();
    m_actTimeouts = makeAction(m_menuTools, "Menu_Tools_Timeouts");
    m_actSearchTimeouts = makeAction(m_menuTools, "Menu_Tools_SearchTimeouts");
    m_actProperties = makeAction(m_menuTools, "Menu_Tools_Properties");
    m_menuTools->addSeparator();
    m_actExplain = makeAction(m_menuTools, "Menu_Tools_Explain");
    m_actExplain->setCheckable(true);

    // The log: a plain view over the program-wide log, updated at most once
    // per frame, so an entry costs the same however many lines are kept and
    // however often the event loop runs.
    m_viewModel = new LogViewModel(trafficLog(), this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("List_Debug"));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(8.25);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    m_list->setFont(fixed);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setModel(m_viewModel);
    // Long lines are broken at the list's width (see LogViewModel).
    m_list->installEventFilter(this);
    root->addWidget(m_list, 1);

    auto* fields = new QGridLayout;
    m_labelComment = new QLabel(this);
    m_labelComment->setObjectName(QStringLiteral("Label_Comment"));
    m_textComment = new QLineEdit(this);
    m_textComment->setObjectName(QStringLiteral("Text_Comment"));
    m_labelComment->setBuddy(m_textComment);
    fields->addWidget(m_labelComment, 0, 0);
    fields->addWidget(m_textComment, 0, 1, 1, 6);

    m_lblResponseTot = new QLabel(this);
    m_lblResponseTot->setObjectName(QStringLiteral("lblResponseTot"));
    m_txtResponseTot = new QLineEdit(this);
    m_txtResponseTot->setObjectName(QStringLiteral("txtResponseTot"));
    m_txtResponseTot->setReadOnly(true);
    m_lblErrorTot = new QLabel(this);
    m_lblErrorTot->setObjectName(QStringLiteral("lblErrorTot"));
    m_txtErrorTot = new QLineEdit(this);
    m_txtErrorTot->setObjectName(QStringLiteral("txtErrorTot"));
    m_txtErrorTot->setReadOnly(true);
    fields->addWidget(m_lblResponseTot, 1, 0);
    fields->addWidget(m_txtResponseTot, 1, 1);
    fields->addWidget(m_lblErrorTot, 1, 2);
    fields->addWidget(m_txtErrorTot, 1, 3);

    m_checkPoll = new QCheckBox(this);
    m_checkPoll->setObjectName(QStringLiteral("Check_CountinousPoll"));
    m_lblInterval = new QLabel(this);
    m_lblInterval->setObjectName(QStringLiteral("lblInterval"));
    m_lblInterval->installEventFilter(this);
    m_textInterval = new QLineEdit(this);
    m_textInterval->setObjectName(QStringLiteral("Text_Interval"));
    m_lblIntervalSort = new QLabel(this);
    m_lblIntervalSort->setObjectName(QStringLiteral("lblIntervalSort"));
    fields->addWidget(m_checkPoll, 2, 0, 1, 2);
    fields->addWidget(m_lblInterval, 2, 2);
    fields->addWidget(m_textInterval, 2, 3);
    fields->addWidget(m_lblIntervalSort, 2, 4);
    fields->setColumnStretch(5, 1);
    root->addLayout(fields);

    auto* buttons = new QHBoxLayout;
    m_commandSave = new QPushButton(this);
    m_commandSave->setObjectName(QStringLiteral("Command_Save"));
    m_commandClear = new QPushButton(this);
    m_commandClear->setObjectName(QStringLiteral("Command_Clear"));
    m_commandExit = new QPushButton(this);
    m_commandExit->setObjectName(QStringLiteral("Command_Exit"));
    buttons->addWidget(m_commandSave);
    buttons->addWidget(m_commandClear);
    buttons->addStretch(1);
    buttons->addWidget(m_commandExit);
    root->addLayout(buttons);

    m_pollTimer = new QTimer(this);
    m_pollTimer->setObjectName(QStringLiteral("Timer_ContinousPoll"));

    // Wiring.
    TrafficLog& log = trafficLog();
    connect(m_viewModel, &LogViewModel::caughtUp, this, &DebugWindow::scrollToNewest);
    connect(&log, &TrafficLog::countersChanged, this, &DebugWindow::showCounters);
    connect(&log, &TrafficLog::verboseSearchLogChanged, this, &DebugWindow::showVerboseState);

    connect(m_commandSave, &QPushButton::clicked, this, &DebugWindow::saveLog);
    connect(m_actSave, &QAction::triggered, this, &DebugWindow::saveLog);
    connect(m_commandClear, &QPushButton::clicked, this, [] { trafficLog().clear(); });
    connect(m_actClear, &QAction::triggered, this, [] { trafficLog().clear(); });
    connect(m_commandExit, &QPushButton::clicked, this, &DebugWindow::close);
    connect(m_actExit, &QAction::triggered, this, &DebugWindow::close);
    connect(m_actResetStats, &QAction::triggered, this, [] { trafficLog().resetStats(); });
    connect(m_actTimeouts, &QAction::triggered, this, [] {
        if (const auto& h = toolHandlers()[static_cast<size_t>(Tool::Timeouts)])
            h();
    });
    connect(m_actSearchTimeouts, &QAction::triggered, this, [] {
        if (const auto& h = toolHandlers()[static_cast<size_t>(Tool::SearchTimeouts)])
            h();
    });
    connect(m_actProperties, &QAction::triggered, this, [] {
        if (const auto& h = toolHandlers()[static_cast<size_t>(Tool::Properties)])
            h();
    });

    connect(m_actExplain, &QAction::toggled, this, [this](bool on) {
        settings::save(KeyExplain, on ? QStringLiteral("1") : QStringLiteral("0"));
        setExplaining(on);
    });

    connect(m_textInterval, &QLineEdit::textChanged, this, &DebugWindow::intervalChanged);
    connect(m_checkPoll, &QCheckBox::toggled, this, &DebugWindow::pollToggled);
    connect(m_pollTimer, &QTimer::timeout, this, &DebugWindow::pollTick);

    updateToolActions();
}

void DebugWindow::setCaptions() {
    setWindowTitle(getText(TextCaption));
    m_menuFile->setTitle(getText(TextMenuFile));
    m_actSave->setText(getText(TextMenuSave));
    m_actClear->setText(getText(TextMenuClear));
    m_actExit->setText(getText(TextExit));
    m_menuTools->setTitle(getText(TextMenuTools));
    m_actResetStats->setText(getText(TextMenuResetStats));
    m_actTimeouts->setText(getText(TextMenuTimeouts));
    m_actSearchTimeouts->setText(getText(TextMenuSearchTimeouts));
    m_actProperties->setText(getText(TextMenuProperties));
    m_actExplain->setText(getText(TextMenuExplain));
    m_commandSave->setText(getText(TextCommandSave));
    m_commandClear->setText(getText(TextCommandClear));
    m_commandExit->setText(getText(TextExit));
    m_labelComment->setText(getText(TextComment) + QLatin1Char(':'));
    m_lblResponseTot->setText(getText(TextResponseTot));
    m_lblErrorTot->setText(getText(TextErrorTot));
    m_checkPoll->setText(getText(TextContinuousPoll));
    m_lblInterval->setText(getText(TextInterval));
    m_lblIntervalSort->setText(getText(TextIntervalUnit));
}

// ---- load and unload ------------------------------------------------------------------

void DebugWindow::loadWindow() {
    m_checkPoll->setEnabled(
        pollBoxEnabledAtLoad(m_host->currentPage(), m_host->selectedMeterFeature()));
    TrafficLog& log = trafficLog();
    log.setMaxLines(programIni().readNumber(IniSection, IniMaxDebugLines, QStringLiteral("500")));
    m_textInterval->setText(
        programIni().read(IniSection, IniPollInterval, QStringLiteral("10000")));
    intervalChanged(m_textInterval->text()); // also when the text was already equal
    showCounters(log.responseCount(), log.failureCount());
    showVerboseState(log.verboseSearchLog());
    {
        const QSignalBlocker block(m_actExplain);
        m_actExplain->setChecked(settings::getNumber(KeyExplain, QStringLiteral("0")) != 0);
    }
    setExplaining(m_actExplain->isChecked());
}

bool DebugWindow::unloadWindow() {
    if (m_unloaded)
        return true;
    m_unloaded = true;
    m_pollTimer->stop();
    if (m_awaitedMain)
        m_awaitedMain->removeEventFilter(this);
    const bool stored = storePollInterval();
    trafficLog().setActive(false);
    trafficLog().setExplainer({});
    trafficLog().clear();
    if (g_instance == this)
        g_instance = nullptr;
    return stored;
}

bool DebugWindow::storePollInterval() {
    const QString text = m_textInterval->text();
    IniFile& ini = programIni();
    // Unchanged: nothing to write (an installation whose INI file the user
    // may not write stays quiet until something is to be kept).
    const QString absent = QStringLiteral("\n");
    if (ini.read(IniSection, IniPollInterval, absent) == text)
        return true;
    return ini.write(IniSection, IniPollInterval, text);
}

void DebugWindow::showStoreFailure() {
    QString text = getText(TextIntervalNotStored) + QLatin1Char('\n') + programIni().path();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The window is going; the box belongs to the wizard, which stays (or
    // ends the program after it).
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok,
                    m_host->mainWindow());
    box.setObjectName(QStringLiteral("PollIntervalNotStored"));
    box.exec();
}

void DebugWindow::closeEvent(QCloseEvent* event) {
    const bool stored = unloadWindow();
    event->accept();
    if (!stored)
        showStoreFailure();
    // A poll still running (closed from inside its waits) has this window and
    // its check box on the stack: it deletes the window when it returns.
    if (!m_pollBusy)
        deleteLater();
}

void DebugWindow::showBesideMainWindow() {
    QWidget* main = m_host->mainWindow();
    QWindow* handle = main ? main->windowHandle() : nullptr;
    if (main && main->isVisible() && handle && !handle->isExposed()) {
        // Shown but not yet on the screen: the window manager places it
        // first, and only then is there a place beside it.
        m_awaitedMain = handle;
        handle->installEventFilter(this);
        return;
    }
    placeBesideMainWindow();
    show();
}

void DebugWindow::placeBesideMainWindow() {
    QWidget* main = m_host->mainWindow();
    const QScreen* scr = main ? main->screen() : screen();
    const qreal dpi = scr ? scr->logicalDotsPerInchX() : 96.0;
    const int width = qRound(WindowWidthTwips * dpi / 1440.0);
    if (!main) {
        resize(width, height());
        return;
    }
    const QRect frame = main->frameGeometry();
    const QRect inner = main->geometry();
    // Our frame is not known before we are shown; the wizard's is the same
    // window manager's.
    const QMargins margins(inner.x() - frame.x(), inner.y() - frame.y(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const QRect available =
        scr ? scr->availableGeometry() : QRect(frame.topLeft(), QSize(1 << 16, 1 << 16));
    const WindowPlacement at = placeBeside(frame, QSize(width, inner.height()), margins,
                                           minimumSizeHint().width(), available);
    move(at.framePos);
    resize(at.clientSize);
}

// ---- fields -----------------------------------------------------------------------------

void DebugWindow::showCounters(int32_t responses, int32_t failures) {
    m_txtResponseTot->setText(QString::number(responses));
    m_txtErrorTot->setText(QString::number(failures));
}

void DebugWindow::showVerboseState(bool verbose) {
    // The label is the switch for the searches' verbose log; bold shows it on.
    QFont f = m_lblInterval->font();
    f.setBold(verbose);
    m_lblInterval->setFont(f);
}

void DebugWindow::setExplaining(bool on) {
    if (!on) {
        trafficLog().setExplainer({});
        return;
    }
    // The host outlives the window, and the window takes the explainer
    // away when it unloads.
    DebugHost* host = m_host;
    trafficLog().setExplainer([host](const QByteArray& bytes, Direction direction) {
        return explainTelegram(bytes, direction,
                               chooseProtocol(bytes, direction, host->trafficProtocol()));
    });
}

bool DebugWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_awaitedMain && event->type() == QEvent::Expose && m_awaitedMain->isExposed()) {
        m_awaitedMain->removeEventFilter(this);
        m_awaitedMain = nullptr;
        // The window manager has placed the wizard and its frame is known.
        if (!m_unloaded) {
            placeBesideMainWindow();
            show();
        }
        return false;
    }
    if (watched == m_lblInterval && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        TrafficLog& log = trafficLog();
        log.setVerboseSearchLog(!log.verboseSearchLog());
        return true;
    }
    if (watched == m_list && event->type() == QEvent::Resize)
        updateWrapColumns();
    return QWidget::eventFilter(watched, event);
}

void DebugWindow::updateWrapColumns() {
    // Counted as if the vertical scroll bar showed, so that it appearing
    // does not change the rows again.
    const int width = m_list->width() - 2 * m_list->frameWidth() -
                      m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list) -
                      2 * m_list->spacing() - 4;
    const int charWidth = std::max(1, m_list->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    m_viewModel->setWrapColumns(std::max(MinWrapColumns, width / charWidth));
}

void DebugWindow::updateToolActions() {
    const auto& h = toolHandlers();
    m_actTimeouts->setEnabled(static_cast<bool>(h[static_cast<size_t>(Tool::Timeouts)]));
    m_actSearchTimeouts->setEnabled(
        static_cast<bool>(h[static_cast<size_t>(Tool::SearchTimeouts)]));
    m_actProperties->setEnabled(static_cast<bool>(h[static_cast<size_t>(Tool::Properties)]));
}

void DebugWindow::scrollToNewest() {
    const int rows = m_viewModel->rowCount();
    if (rows == 0)
        return;
    const QModelIndex last = m_viewModel->index(rows - 1, 0);
    m_list->setCurrentIndex(last);
    m_list->scrollTo(last, QAbstractItemView::PositionAtBottom);
}

// ---- continuous poll ------------------------------------------------------------------

void DebugWindow::intervalChanged(const QString& text) {
    const PollInterval fixed = correctPollInterval(text);
    if (fixed.text != text) {
        const QSignalBlocker block(m_textInterval);
        m_textInterval->setText(fixed.text);
    }
    m_pollInterval = fixed.interval;
    applyPollTimer();
}

void DebugWindow::applyPollTimer() {
    // A zero interval stops the timer (a zero Qt timer would fire on every
    // pass of the event loop).
    if (m_checkPoll->isChecked() && m_pollInterval > 0 && !m_unloaded) {
        if (m_pollTimer->interval() != m_pollInterval || !m_pollTimer->isActive())
            m_pollTimer->start(m_pollInterval);
    } else {
        m_pollTimer->stop();
    }
}

void DebugWindow::pollToggled(bool checked) {
    applyPollTimer();
    if (checked)
        pollTick();
}

void DebugWindow::pollTick() {
    if (m_pollBusy)
        return;
    m_pollBusy = true;
    QPointer<DebugWindow> self(this);
    if (m_checkPoll->isChecked()) {
        const PollTarget target = pollTarget(m_host->currentPage(), m_host->selectedMeterFeature());
        if (target != PollTarget::None)
            m_host->pollAction(target); // processes events while it waits
    }
    if (!self)
        return;
    m_pollBusy = false;
    if (m_unloaded)
        deleteLater();
}

// ---- save ---------------------------------------------------------------------------------

void DebugWindow::saveLog() {
    QFileDialog dialog(this, getText(TextSaveTitle), QString(),
                       textFilesFilter() + QStringLiteral(";;") + allFilesFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A bare name gets ".txt" while the text filter is chosen (so the dialog
    // also asks about overwriting the file that will really be written).
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter == textFilesFilter() ? QStringLiteral("txt") : QString());
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path =
        withTextSuffix(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter());
    if (path.isEmpty())
        return;
    const SaveResult result = appendSaveBlock(path, trafficLog().lines(), m_textComment->text());
    if (!result.ok)
        QMessageBox::critical(this, wizardtext::saveErrorTitle(), result.message());
}

} // namespace kestrune
