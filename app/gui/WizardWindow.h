#pragma once

#include "app/gui/Navigation.h"
#include "app/gui/ShellState.h"
#include "channel/gui/DebugHost.h"

#include <QWidget>

#include <map>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

class LogoWidget;

// A page panel (Picture_Page(n)) or the window itself may carry an etched
// separator: a grey line with a white line one pixel below it.
class PagePanel : public QWidget {
    Q_OBJECT
public:
    explicit PagePanel(QWidget* parent = nullptr) : QWidget(parent) {}
    // Vertical position of the separator in pixels; negative for none.
    void setSeparatorY(int y);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_separatorY = -1;
};

// Draws the etched separator across a widget at height y.
void drawEtchedLine(QWidget* widget, int y);

// The wizard (Kestrune_Wizard): one page visible at a time, Back, Next and
// Cancel along the bottom. Controls carry their names as objectName; arrays
// use the form "Name(index)".
class WizardWindow : public QWidget, public DebugHost {
    Q_OBJECT
public:
    // Size of the window in twips (1/1440 inch).
    static constexpr int WidthTwips = 7530;
    static constexpr int HeightTwips = 6500;
    // The etched line above the buttons, from the top of the window.
    static constexpr int ButtonSeparatorTwips = 5330;
    // The etched line below the header of every page but page 0.
    static constexpr int PageSeparatorTwips = 705;
    // Header heights: page 0 and the others.
    static constexpr int StartHeaderTwips = 1095;
    static constexpr int HeaderTwips = 690;
    // Left edge of the logo in the headers of pages other than 0.
    static constexpr int LogoLeftTwips = 5400;

    explicit WizardWindow(ShellState& state, QWidget* parent = nullptr);
    ~WizardWindow() override;

    // Start-up steps that belong to the window: caption, size, the saved
    // options, every caption from the language, the version label.
    void prepare();
    // Lays out and shows a page (LoadPageSettings, then ShowPage); start-up
    // uses it for page 0.
    void enterPage(int page);

    // Opens the traffic log window as its Debug buttons do ("/DEBUG").
    void openTrafficLog();

    // Command_Next and Command_Back.
    void next();
    void back();

    // The panel of a page, nullptr for a page number that doesn't exist.
    QWidget* pagePanel(int page) const;

    ShellState& state() { return m_state; }

    // DebugHost
    QWidget* mainWindow() override { return this; }
    int currentPage() const override { return m_state.currentPage; }
    int selectedMeterFeature() const override { return m_state.selectedMeterFeature; }
    void pollAction(PollTarget target) override;

    int twipsX(int twips) const;
    int twipsY(int twips) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Page {
        PagePanel* panel = nullptr;
        QWidget* header = nullptr;
        QLabel* headerLabel = nullptr;
    };

    void buildWindow();
    void buildPage(int page);
    void buildStartPage();
    void buildTaskPage();
    QPlainTextEdit* addInfoText(QWidget* parent, int index, const QRect& twips);
    void setCaptions();
    void setGeometryTwips(QWidget* w, int left, int top, int width, int height) const;

    void loadPageSettings(int page);
    void showPage(int page);
    void savePageSettings(int page, bool store);
    void applyTransition(const Transition& t);
    NavigationInput navigationInput() const;

    void taskOptionClicked(int index);
    void openLink(int index);
    void changeLanguage();
    void showInformation(int textNumber);

    // The link of the task pages and the serial port of the gateway's console.
    void closeLink();
    void closeSerialPort();

    // ---- Page content (WizardPages.cpp) ---------------------------------------
    void buildSetupIpMacPage();
    void buildSetupIpAddressPage();
    void buildPingPage();
    void buildConnectionPage();
    void buildDeviceSettingsPage();
    void buildMeterFeaturesPage();
    void buildModbusPage();
    void buildAsciiPage();
    void buildLinkTestPage(int page);
    QLabel* addLabel(QWidget* parent, const QString& name, int left, int top, int width);
    QLineEdit* addLineEdit(QWidget* parent, const QString& name, int left, int top, int width);
    QComboBox* addCombo(QWidget* parent, const QString& name, int left, int top, int width);
    QLabel* addResultLabel(QWidget* parent, const QString& name, int top);
    QPushButton* addButton(QWidget* parent, const QString& name, int left, int top, int width);
    // An option button whose long label is an information text box beside it:
    // a click on the text selects the option.
    QRadioButton* addLongLabelOption(QWidget* parent, const QString& name, int infoIndex, int top,
                                     int height);
    void setPageCaptions();
    void fillFixedLists();

    // The per-page parts of LoadPageSettings, ShowPage and SavePageSettings.
    void loadPageContent(int page);
    void runEntryAction(int page);
    void storePageContent(int page);
    void loadConnectionPage();
    void storeConnectionPage();

    void enterIpAddressClicked(int index);
    void changeIpSettingsClicked(int index);
    void dhcpClicked(int index);
    void showEnterIpAddressPanel();
    void showChangeIpSettingsFields();
    void updateAddressFields();
    void updateMacAddressNext();
    bool infoTextClicked(QObject* watched);

    // Entry action of pages 60 to 100: opens the link and shows the outcome.
    void openLinkOnPage(int page);
    // The link closed by itself while a task page showed it.
    void linkLost(const QString& reason);
    void showLinkFailure(int page, int textNumber, const QString& error);
    void setResultText(QLabel* label, const QString& text, const QColor& color);
    void toggleTrafficLog();

    ShellState& m_state;
    std::map<int, Page> m_pages;
    LogoWidget* m_logo = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_changeLanguage = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_maker = nullptr;
    QLabel* m_links[2] = {nullptr, nullptr};
    QRadioButton* m_taskOptions[ShellState::TaskCount] = {};
    std::map<int, QPlainTextEdit*> m_infoTexts;

    // Page 20: how the gateway is reached, its MAC address or serial port.
    QRadioButton* m_changeIpOptions[2] = {nullptr, nullptr};
    QLabel* m_macLabel = nullptr;
    QLineEdit* m_macAddress = nullptr;
    QLabel* m_setupSerialLabel = nullptr;
    QComboBox* m_setupSerialPort = nullptr;
    // Page 21: the new IP settings.
    QRadioButton* m_dhcpOptions[2] = {nullptr, nullptr};
    QLineEdit* m_newIpAddress = nullptr;
    QLineEdit* m_gateway = nullptr;
    QLineEdit* m_netMask = nullptr;
    // Page 30.
    QLineEdit* m_pingAddress = nullptr;
    // Page 40: the link of tasks 3 to 8.
    QLabel* m_connectionIntro = nullptr;
    QRadioButton* m_enterIpOptions[2] = {nullptr, nullptr};
    QWidget* m_enterIpPanels[2] = {nullptr, nullptr};
    QLineEdit* m_ipAddress = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_udpOrTcp = nullptr;
    QComboBox* m_serialPort = nullptr;
    QLabel* m_baudRateLabel = nullptr;
    QComboBox* m_baudRate = nullptr;
    QLabel* m_formatLabels[3] = {nullptr, nullptr, nullptr};
    QComboBox* m_formatLists[3] = {nullptr, nullptr, nullptr}; // data bits, parity, stop bits
    // Page 50.
    QCheckBox* m_setupUdpOrTcp = nullptr;
    QLineEdit* m_setupPort = nullptr;
    // Pages 60, 70 and 80: their action buttons and result labels.
    QPushButton* m_meterApply = nullptr;
    QPushButton* m_meterSearch = nullptr;
    QPushButton* m_meterDebug = nullptr;
    QLabel* m_modbusResult = nullptr;
    QLabel* m_modbusResultText = nullptr;
    QPushButton* m_modbusRead = nullptr;
    QPushButton* m_modbusDebug = nullptr;
    QLabel* m_asciiResult = nullptr;
    QLabel* m_asciiResultText = nullptr;
    QPushButton* m_asciiRead = nullptr;
    QPushButton* m_asciiDebug = nullptr;
};

} // namespace kestrune
