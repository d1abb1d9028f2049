#pragma once

#include "channel/gui/DebugHost.h"

#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;
class QWindow;

namespace kestrune {

class LogViewModel;

// Where a window opened beside another goes: the top-left corner of its
// frame and the size of its client area.
struct WindowPlacement {
    QPoint framePos;
    QSize clientSize;
};

// Places a window of client size wanted beside a main window whose frame is
// mainFrame, both with the window frame margins given: to the right of it at
// the same top, else to its left when only that side has room, always within
// available (the screen's area without panels). When neither side has room
// for the full width, the wider side takes the window narrowed to fit, down
// to minWidth; below that it keeps its width at the screen's right edge,
// over the main window. It is never taller or wider than available.
WindowPlacement placeBeside(const QRect& mainFrame, const QSize& wanted, const QMargins& frame,
                            int minWidth, const QRect& available);

// "name" + ".txt" when the "Text Files" filter was chosen and the file name
// has no extension of its own; otherwise the name as chosen.
QString withTextSuffix(const QString& path, const QString& chosenFilter);

// The traffic log window (Kestrune_Debug): the log list, the exchange
// counters, saving the log with a comment, the continuous poll and the tools
// menu. One instance at most; it exists while the log is active.
//
// Typical use from the wizard:
//   Debug button of a task page:  DebugWindow::toggle(*this);
//   "/DEBUG" at start-up:          DebugWindow::open(*this);
//   main window closing:           DebugWindow::closeWindow();
// Its Tools menu also switches the explanation lines of the log
// (Menu_Tools_Explain, stored in the setting of that name; off by default,
// so that a saved log keeps its layout).
//   a page laid out:               DebugWindow::setPollBoxEnabled(false);
//   pages 70/80 entered, link open, or page 60 feature 0/4 clicked:
//                                  DebugWindow::setPollBoxEnabled(true);
class DebugWindow : public QWidget {
    Q_OBJECT
public:
    // Windows of other subsystems reachable from the Tools menu.
    enum class Tool {
        Timeouts,       // Menu_Tools_Timeouts
        SearchTimeouts, // Menu_Tools_SearchTimeouts
        Properties,     // Menu_Tools_Properties
    };

    // Opens the window (when it is not open yet) beside host.mainWindow() and
    // makes the log active. Returns the window.
    static DebugWindow* open(DebugHost& host);
    // Closes the window when it is open: stops the poll, stores the interval
    // in the INI file, makes the log inactive and drops its lines.
    static void closeWindow();
    // Debug button: opens when the log is inactive, closes otherwise.
    static void toggle(DebugHost& host);
    // The open window, or nullptr.
    static DebugWindow* instance();

    // Enables the continuous-poll box; disabling also unchecks it (which
    // stops the poll). No effect while the window is closed.
    static void setPollBoxEnabled(bool enabled);

    // What a Tools menu entry shows. An entry without a handler is disabled.
    // Handlers may be set at any time, before or after the window opens.
    static void setToolHandler(Tool tool, std::function<void()> handler);

    ~DebugWindow() override;

    // The poll busy flag (true while a continuous-poll tick runs).
    bool pollBusy() const { return m_pollBusy; }

    // What the list shows: the log, brought up to date once per frame.
    LogViewModel& viewModel() { return *m_viewModel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DebugWindow(DebugHost& host, QWidget* parent);

    // The narrowest the list's rows are broken to, in characters.
    static constexpr int MinWrapColumns = 24;
    void updateWrapColumns();

    void buildControls();
    void setCaptions();
    void loadWindow();
    // False when the poll interval could not be stored.
    bool unloadWindow();
    bool storePollInterval();
    void showStoreFailure();
    // Shows the window beside the wizard; while the window manager has not
    // placed the wizard yet, once it has.
    void showBesideMainWindow();
    void placeBesideMainWindow();
    void showCounters(int32_t responses, int32_t failures);
    void intervalChanged(const QString& text);
    void pollToggled(bool checked);
    void applyPollTimer();
    void pollTick();
    void saveLog();
    void scrollToNewest();
    void updateToolActions();
    void showVerboseState(bool verbose);
    // Menu_Tools_Explain: the log explains every telegram in words, or not.
    void setExplaining(bool on);

    DebugHost* m_host;
    bool m_unloaded = false;
    bool m_pollBusy = false;
    int m_pollInterval = 0;
    LogViewModel* m_viewModel = nullptr;
    QPointer<QWindow> m_awaitedMain;

    QMenuBar* m_menuBar = nullptr;
    QMenu* m_menuFile = nullptr;
    QMenu* m_menuTools = nullptr;
    QAction* m_actSave = nullptr;
    QAction* m_actClear = nullptr;
    QAction* m_actExit = nullptr;
    QAction* m_actResetStats = nullptr;
    QAction* m_actTimeouts = nullptr;
    QAction* m_actSearchTimeouts = nullptr;
    QAction* m_actProperties = nullptr;
    QAction* m_actExplain = nullptr;

    QListView* m_list = nullptr;
    QLabel* m_labelComment = nullptr;
    QLineEdit* m_textComment = nullptr;
    QLabel* m_lblResponseTot = nullptr;
    QLineEdit* m_txtResponseTot = nullptr;
    QLabel* m_lblErrorTot = nullptr;
    QLineEdit* m_txtErrorTot = nullptr;
    QLabel* m_lblInterval = nullptr;
    QLineEdit* m_textInterval = nullptr;
    QLabel* m_lblIntervalSort = nullptr;
    QCheckBox* m_checkPoll = nullptr;
    QTimer* m_pollTimer = nullptr;
    QPushButton* m_commandSave = nullptr;
    QPushButton* m_commandClear = nullptr;
    QPushButton* m_commandExit = nullptr;
};

} // namespace kestrune
