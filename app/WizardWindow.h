#pragma once

#include "channel/gui/DebugHost.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageLayout.h"
#include "wizard/gui/WizardPage.h"

#include <QWidget>

#include <map>

class QPushButton;

namespace kestrune {

class LogoWidget;

// The wizard (Kestrune_Wizard): the frame around its pages. It holds the
// logo, the Back, Next and Cancel buttons, the page registry (number ->
// page), the shell state and the traffic log's host; the pages' own
// controls live in their page classes (see wizard/gui/WizardPage.h).
// Controls carry their names as objectName; arrays use the form
// "Name(index)".
class WizardWindow : public QWidget, public DebugHost, public WizardFrame {
    Q_OBJECT
public:
    // Size of the window and the lines of the frame, in twips.
    static constexpr int WidthTwips = twips::WindowWidth;
    static constexpr int HeightTwips = twips::WindowHeight;
    static constexpr int ButtonSeparatorTwips = twips::ButtonSeparator;
    static constexpr int PageSeparatorTwips = twips::PageSeparator;

    explicit WizardWindow(ShellState& state, QWidget* parent = nullptr);
    ~WizardWindow() override;

    // Start-up steps that belong to the window: caption, size, the saved
    // options, every caption from the language.
    void prepare();
    // Lays out and shows a page (LoadPageSettings, then ShowPage); start-up
    // uses it for page 0.
    void enterPage(int page);

    // Opens the traffic log window as its Debug buttons do ("/DEBUG").
    void openTrafficLog();

    // Command_Back.
    void back();

    // The panel of a page, nullptr for a page number that doesn't exist.
    QWidget* pagePanel(int page) const;

    int twipsX(int twips) const { return m_layout.x(twips); }
    int twipsY(int twips) const { return m_layout.y(twips); }

    // WizardFrame and DebugHost
    ShellState& state() override { return m_state; }
    QWidget* mainWindow() override { return this; }
    Link& link() override;
    void closeLink() override;
    void setNextEnabled(bool enabled) override;
    void setNextText(const QString& text) override;
    void next() override; // Command_Next
    void showInformation(int textNumber) override;
    void toggleTrafficLog() override;
    void notifyShellStateChanged() override;
    int currentPage() const override { return m_state.currentPage; }
    int selectedMeterFeature() const override { return m_state.selectedMeterFeature; }
    void pollAction(PollTarget target) override;
    TelegramProtocol trafficProtocol() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Registry;

    void buildFrame();
    void registerPages();
    WizardPage* page(int number) const;

    void loadPageSettings(int page);
    void showPage(int page);
    void savePageSettings(int page, bool store);
    void applyTransition(const Transition& t);
    NavigationInput navigationInput() const;
    void linkLost(const QString& reason);

    ShellState& m_state;
    PageLayout m_layout;
    std::map<int, WizardPage*> m_pages; // owned as child widgets
    LogoWidget* m_logo = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrune
