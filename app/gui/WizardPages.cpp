// The content of the wizard's pages: their controls, what each page loads
// when it is laid out, what it stores when it is left with Next, and the
// entry actions of the task pages 60 to 100, which open the link.

#include "WizardWindow.h"

#include "app/Language.h"
#include "app/Settings.h"
#include "app/Tick.h"
#include "app/gui/PageRules.h"
#include "app/gui/WizardText.h"
#include "channel/Link.h"
#include "channel/SerialPorts.h"

#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
#include "channel/gui/DebugWindow.h"
#endif

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>

namespace kestrune {

using wizardtext::indexed;
using wizardtext::shown;
using wizardtext::text;

namespace {

// Language texts of the pages.
// texts: 110, 114, 115, 117, 118, 158, 200-203, 205-207, 210-213, 360, 361, 364, 371-392
// texts: 393, 395, 397, 398, 650, 690, 826, 1100, 1110, 1113, 1115
constexpr int TextDiscoveryHeader = 110;
constexpr int TextMeterFeaturesHeader = 114;
constexpr int TextModbusHeader = 115;
constexpr int TextTask7Header = 117;
constexpr int TextTask8Header = 118;
constexpr int TextLinkFailed = 158;
constexpr int TextSetupIpMacHeader = 200;
constexpr int TextChangeIpNetwork = 201; // long label of Option_ChangeIPSettings(0)
constexpr int TextChangeIpSerial = 202;  // long label of Option_ChangeIPSettings(1)
constexpr int TextMacAddress = 203;
constexpr int TextSetupIpAddressHeader = 205;
constexpr int TextDhcp = 206; // Option_DHCP(0), (1): 206, 207
constexpr int TextGateway = 210;
constexpr int TextNetMask = 211;
constexpr int TextDeviceSettingsHeader = 212;
constexpr int TextDeviceSettingsWriteHeader = 213;
constexpr int TextReady = 364;
// The connection page: header and explanation per task 3 to 8 (task 3:
// 360/361, tasks 4 to 8: 371/372 to 379/380), the options' long labels, the
// field labels.
constexpr int TextConnectionTask3Header = 360;
constexpr int TextConnectionTask3Info = 361;
constexpr int TextConnectionTask4Header = 371;
constexpr int TextLinkNetwork = 381;
constexpr int TextLinkNetworkGateway = 393;
constexpr int TextLinkSerialConsole = 382;
constexpr int TextLinkSerial = 383;
constexpr int TextIpAddress = 384;
constexpr int TextPort = 385;
constexpr int TextUdp = 386;
constexpr int TextSerialPort = 387;
constexpr int TextBaudRate = 388;
constexpr int TextDataBits = 389; // 389 data bits, 390 parity, 391 stop bits
constexpr int TextMBusSpeed = 392;
constexpr int TextLinkOpened = 395;
constexpr int TextLinkTestInfo = 397;
constexpr int TextLinkLost = 398;
constexpr int TextApplyStart = 650;
constexpr int TextRarelySupported = 690;
constexpr int TextSearch = 826;
constexpr int TextAsciiHeader = 1100;
constexpr int TextResult = 1110;
constexpr int TextAsciiRead = 1113;
constexpr int TextDebug = 1115;

// Colours of the result labels.
const QColor ResultBlue(0, 0, 255);
const QColor ResultDarkRed(177, 4, 12);

// Rows of fields on the pages, in twips.
constexpr int RowHeight = 345;
constexpr int RowStep = 435;
constexpr int ButtonHeight = 375;
// A result label holds up to three lines (a failure text with its reason).
constexpr int ResultHeight = 960;

// Settings of the pages and their defaults.
const char* const DefaultIpAddress = "192.168.0.10";
const char* const DefaultMacAddress = "00-20-4A-00-00-00";

QString key(const char* name) {
    return QLatin1String(name);
}

QString taskKey(const char* name, int task) {
    return settings::perTask(QLatin1String(name), task);
}

// A stored list position, or the default when the stored one is not in the
// list (a hand-edited store, or a list that is shorter for this task).
int storedPosition(const QString& settingKey, int defaultPosition, int count) {
    const int64_t v = settings::getNumber(settingKey, QString::number(defaultPosition));
    return (v >= 0 && v < count) ? static_cast<int>(v) : defaultPosition;
}

void setPosition(QComboBox* combo, const QString& settingKey, int defaultPosition) {
    combo->setCurrentIndex(storedPosition(settingKey, defaultPosition, combo->count()));
}

} // namespace

// ---- Building ----------------------------------------------------------------------

QLabel* WizardWindow::addLabel(QWidget* parent, const QString& name, int left, int top, int width) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setGeometryTwips(label, left, top, width, RowHeight);
    return label;
}

QLineEdit* WizardWindow::addLineEdit(QWidget* parent, const QString& name, int left, int top,
                                     int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    setGeometryTwips(edit, left, top, width, RowHeight);
    return edit;
}

QComboBox* WizardWindow::addCombo(QWidget* parent, const QString& name, int left, int top,
                                  int width) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    setGeometryTwips(combo, left, top, width, RowHeight);
    return combo;
}

QLabel* WizardWindow::addResultLabel(QWidget* parent, const QString& name, int top) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setGeometryTwips(label, 1200, top + 45, WidthTwips - 1200 - 240, ResultHeight - 120);
    return label;
}

QPushButton* WizardWindow::addButton(QWidget* parent, const QString& name, int left, int top,
                                     int width) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    setGeometryTwips(button, left, top, width, ButtonHeight);
    return button;
}

QRadioButton* WizardWindow::addLongLabelOption(QWidget* parent, const QString& name, int infoIndex,
                                               int top, int height) {
    auto* option = new QRadioButton(parent);
    option->setObjectName(name);
    setGeometryTwips(option, 240, top + 30, 330, 300);
    QPlainTextEdit* info =
        addInfoText(parent, infoIndex, QRect(600, top, WidthTwips - 840, height));
    // The whole text shows: no room (and no need) for a scroll bar.
    info->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    info->document()->setDocumentMargin(1);
    info->viewport()->installEventFilter(this);
    info->viewport()->setCursor(Qt::ArrowCursor);
    return option;
}

void WizardWindow::buildSetupIpMacPage() {
    QWidget* panel = m_pages[page::SetupIpMac].panel;
    m_changeIpOptions[0] =
        addLongLabelOption(panel, indexed("Option_ChangeIPSettings", 0), 20, 870, 750);
    m_changeIpOptions[1] =
        addLongLabelOption(panel, indexed("Option_ChangeIPSettings", 1), 21, 1680, 750);
    for (int i = 0; i < 2; ++i)
        connect(m_changeIpOptions[i], &QRadioButton::clicked, this,
                [this, i] { changeIpSettingsClicked(i); });

    const int top = 2580;
    m_macLabel = addLabel(panel, QStringLiteral("Label_SetupIP_MacAddress"), 600, top, 1800);
    m_macAddress = addLineEdit(panel, QStringLiteral("Text_SetupIP_MacAddress"), 2460, top, 2400);
    m_macAddress->setMaxLength(64);
    connect(m_macAddress, &QLineEdit::textChanged, this, &WizardWindow::updateMacAddressNext);
    m_setupSerialLabel =
        addLabel(panel, QStringLiteral("Label_SetupIP_SerialPort"), 600, top, 1800);
    m_setupSerialPort =
        addCombo(panel, QStringLiteral("Combo_SetupIP_SerialPort"), 2460, top, 3000);
    // A change of the console's port is kept at once.
    connect(m_setupSerialPort, &QComboBox::activated, this, [this](int index) {
        settings::save(taskKey("SerialPort", m_state.selectedTask), int64_t{index});
    });
}

void WizardWindow::buildSetupIpAddressPage() {
    QWidget* panel = m_pages[page::SetupIpAddress].panel;
    for (int i = 0; i < 2; ++i) {
        m_dhcpOptions[i] = new QRadioButton(panel);
        m_dhcpOptions[i]->setObjectName(indexed("Option_DHCP", i));
        setGeometryTwips(m_dhcpOptions[i], 240, 900 + i * RowStep, WidthTwips - 480, RowHeight);
        connect(m_dhcpOptions[i], &QRadioButton::clicked, this, [this, i] { dhcpClicked(i); });
    }
    const int top = 900 + 2 * RowStep + 150;
    struct Field {
        const char* label;
        const char* name;
        QLineEdit** edit;
    };
    const Field fields[] = {
        {"Label_IPAddress", "Text_IPAddress", &m_newIpAddress},
        {"Label_Gateway", "Text_Gateway", &m_gateway},
        {"Label_NetMask", "Text_NetMask", &m_netMask},
    };
    for (int i = 0; i < 3; ++i) {
        addLabel(panel, QLatin1String(fields[i].label), 600, top + i * RowStep, 1800);
        *fields[i].edit =
            addLineEdit(panel, QLatin1String(fields[i].name), 2460, top + i * RowStep, 2400);
        (*fields[i].edit)->setMaxLength(64);
    }
}

void WizardWindow::buildPingPage() {
    QWidget* panel = m_pages[page::Ping].panel;
    addLabel(panel, QStringLiteral("Label_PingIPAddress"), 240, 2520, 1800);
    m_pingAddress = addLineEdit(panel, QStringLiteral("Text_PingIPAddress"), 2100, 2520, 2400);
    m_pingAddress->setMaxLength(64);
    // The ping itself (Command_Ping and its results) comes with the network
    // tools of the setup subsystem.
}

void WizardWindow::buildConnectionPage() {
    QWidget* panel = m_pages[page::Connection].panel;
    m_connectionIntro = new QLabel(panel);
    m_connectionIntro->setObjectName(indexed("Label_Info", page::Connection));
    m_connectionIntro->setWordWrap(true);
    m_connectionIntro->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setGeometryTwips(m_connectionIntro, 240, 810, WidthTwips - 480, 660);

    m_enterIpOptions[0] =
        addLongLabelOption(panel, indexed("Option_EnterIPAddress", 0), 40, 1530, 540);
    m_enterIpOptions[1] =
        addLongLabelOption(panel, indexed("Option_EnterIPAddress", 1), 41, 2100, 540);
    for (int i = 0; i < 2; ++i) {
        connect(m_enterIpOptions[i], &QRadioButton::clicked, this,
                [this, i] { enterIpAddressClicked(i); });
        m_enterIpPanels[i] = new QWidget(panel);
        m_enterIpPanels[i]->setObjectName(indexed("Picture_EnterIPAddress", i));
        setGeometryTwips(m_enterIpPanels[i], 600, 2730, WidthTwips - 840, 3 * RowStep);
    }

    // The network link: address, port, UDP or TCP.
    QWidget* net = m_enterIpPanels[0];
    addLabel(net, QStringLiteral("Label_EnterIPAddress"), 0, 0, 1440);
    m_ipAddress = addLineEdit(net, QStringLiteral("Text_EnterIPAddress"), 1500, 0, 2400);
    m_ipAddress->setMaxLength(255);
    m_portLabel = addLabel(net, QStringLiteral("Label_EnterIPAddress_Port"), 0, RowStep, 1440);
    m_port = addLineEdit(net, QStringLiteral("Text_EnterIPAddress_Port"), 1500, RowStep, 1080);
    m_port->setMaxLength(10);
    m_udpOrTcp = new QCheckBox(net);
    m_udpOrTcp->setObjectName(QStringLiteral("Check_EnterIPAddress_UDPorTCP"));
    setGeometryTwips(m_udpOrTcp, 1500, 2 * RowStep, 4500, RowHeight);

    // The serial link: port and speed, and for the protocols other than
    // M-Bus the data bits, parity and stop bits.
    QWidget* ser = m_enterIpPanels[1];
    addLabel(ser, QStringLiteral("Label_EnterIPAddress_SerialPort"), 0, 0, 1440);
    m_serialPort = addCombo(ser, QStringLiteral("Combo_EnterIPAddress_SerialPort"), 1500, 0, 2640);
    m_baudRateLabel =
        addLabel(ser, QStringLiteral("Label_EnterIPAddress_BaudRate"), 0, RowStep, 1440);
    m_baudRate =
        addCombo(ser, QStringLiteral("Combo_EnterIPAddress_BaudRate"), 1500, RowStep, 2640);
    const char* formatLabels[3] = {"Label_EnterIPAddress_Databits", "Label_EnterIPAddress_Parity",
                                   "Label_EnterIPAddress_Stopbits"};
    const char* formatLists[3] = {"Combo_EnterIPAddress_Databits", "Combo_EnterIPAddress_Parity",
                                  "Combo_EnterIPAddress_Stopbits"};
    for (int i = 0; i < 3; ++i) {
        m_formatLabels[i] = addLabel(ser, QLatin1String(formatLabels[i]), 4320, i * RowStep, 1080);
        m_formatLists[i] = addCombo(ser, QLatin1String(formatLists[i]), 5400, i * RowStep, 1290);
    }
    // Port and speed are kept as soon as they are chosen.
    connect(m_serialPort, &QComboBox::activated, this, [this](int index) {
        settings::save(taskKey("SerialPort", m_state.selectedTask), int64_t{index});
    });
    connect(m_baudRate, &QComboBox::activated, this, [this](int index) {
        settings::save(taskKey("Combo_EnterIPAddress_BaudRate", m_state.selectedTask),
                       int64_t{index});
    });
}

void WizardWindow::buildDeviceSettingsPage() {
    QWidget* panel = m_pages[page::DeviceSettings].panel;
    // The gateway's port and protocol as its setup record 0 holds them. The
    // record is read and written, and the rest of the page laid out, with
    // the gateway setup subsystem.
    addLabel(panel, QStringLiteral("Label_SetupDevice_Port"), 240, 900, 1440);
    m_setupPort = addLineEdit(panel, QStringLiteral("Text_SetupDevice_Port"), 1740, 900, 1080);
    m_setupPort->setMaxLength(10);
    m_setupUdpOrTcp = new QCheckBox(panel);
    m_setupUdpOrTcp->setObjectName(QStringLiteral("Check_SetupDevice_UDPorTCP"));
    setGeometryTwips(m_setupUdpOrTcp, 1740, 900 + RowStep, 4500, RowHeight);
}

void WizardWindow::buildMeterFeaturesPage() {
    QWidget* panel = m_pages[page::MeterFeatures].panel;
    addInfoText(panel, page::MeterFeatures, QRect(240, 900, WidthTwips - 480, 3600));
    const int top = ButtonSeparatorTwips - 30 - 120 - ButtonHeight;
    m_meterApply = addButton(panel, QStringLiteral("Command_MeterFeature_Apply"), 240, top, 1500);
    m_meterSearch =
        addButton(panel, QStringLiteral("Command_MeterFeature_Search"), 1860, top, 1500);
    m_meterDebug = addButton(panel, QStringLiteral("Command_MeterFeature_Debug"),
                             WidthTwips - 240 - 1500, top, 1500);
    // The six meter operations behind Apply (and their option buttons and
    // address fields) come with the meter configuration subsystem: until
    // then Apply follows the link's state and runs nothing. The search
    // window behind Search comes with the meter search; the button stays
    // disabled until it is there.
    m_meterSearch->setEnabled(false);
    connect(m_meterDebug, &QPushButton::clicked, this, &WizardWindow::toggleTrafficLog);
}

void WizardWindow::buildModbusPage() {
    QWidget* panel = m_pages[page::Modbus].panel;
    const int top = ButtonSeparatorTwips - 30 - 120 - ButtonHeight;
    m_modbusResult =
        addLabel(panel, QStringLiteral("lblModbusResult"), 240, top - ResultHeight, 900);
    m_modbusResultText =
        addResultLabel(panel, QStringLiteral("lblModbusResultText"), top - ResultHeight);
    m_modbusRead =
        addButton(panel, QStringLiteral("Command_ModBus_MeterFeature_Read"), 240, top, 1200);
    m_modbusDebug = addButton(panel, QStringLiteral("Command_ModBus_MeterFeature_Debug"),
                              WidthTwips - 240 - 1200, top, 1200);
    // The Modbus read exchange behind Read and the register sheet come with
    // the Modbus client.
    connect(m_modbusDebug, &QPushButton::clicked, this, &WizardWindow::toggleTrafficLog);
}

void WizardWindow::buildAsciiPage() {
    QWidget* panel = m_pages[page::MBusAscii].panel;
    const int top = ButtonSeparatorTwips - 30 - 120 - ButtonHeight;
    m_asciiResult =
        addLabel(panel, QStringLiteral("lblMBusAsciiResult"), 240, top - ResultHeight, 900);
    m_asciiResultText =
        addResultLabel(panel, QStringLiteral("lblMBusAsciiResultText"), top - ResultHeight);
    m_asciiRead =
        addButton(panel, QStringLiteral("Command_MBusAscii_MeterFeature_Read"), 240, top, 1200);
    m_asciiDebug = addButton(panel, QStringLiteral("Command_MBusAscii_MeterFeature_Debug"),
                             WidthTwips - 240 - 1200, top, 1200);
    // The tag read behind Read, the station, protocol and tag fields and the
    // tag files come with the ASCII protocol client.
    connect(m_asciiDebug, &QPushButton::clicked, this, &WizardWindow::toggleTrafficLog);
}

void WizardWindow::buildLinkTestPage(int n) {
    addInfoText(m_pages[n].panel, n, QRect(240, 900, WidthTwips - 480, 3600));
}

void WizardWindow::setPageCaptions() {
    m_pages[page::Discovery].headerLabel->setText(text(TextDiscoveryHeader));
    m_pages[page::SetupIpMac].headerLabel->setText(text(TextSetupIpMacHeader));
    m_infoTexts[20]->setPlainText(text(TextChangeIpNetwork));
    m_infoTexts[21]->setPlainText(text(TextChangeIpSerial));
    m_macLabel->setText(text(TextMacAddress));
    m_setupSerialLabel->setText(text(TextSerialPort));
    for (int i = 0; i < 2; ++i) {
        m_changeIpOptions[i]->setAccessibleName(m_infoTexts[20 + i]->toPlainText());
        m_enterIpOptions[i]->setAccessibleName(QString()); // set per task on page 40
    }

    m_pages[page::SetupIpAddress].headerLabel->setText(text(TextSetupIpAddressHeader));
    m_dhcpOptions[0]->setText(text(TextDhcp));
    m_dhcpOptions[1]->setText(text(TextDhcp + 1));
    findChild<QLabel*>(QStringLiteral("Label_IPAddress"))->setText(text(TextIpAddress));
    findChild<QLabel*>(QStringLiteral("Label_Gateway"))->setText(text(TextGateway));
    findChild<QLabel*>(QStringLiteral("Label_NetMask"))->setText(text(TextNetMask));
    findChild<QLabel*>(QStringLiteral("Label_PingIPAddress"))->setText(text(TextIpAddress));

    findChild<QLabel*>(QStringLiteral("Label_EnterIPAddress"))->setText(text(TextIpAddress));
    m_portLabel->setText(text(TextPort));
    m_udpOrTcp->setText(text(TextUdp));
    findChild<QLabel*>(QStringLiteral("Label_EnterIPAddress_SerialPort"))
        ->setText(text(TextSerialPort));
    for (int i = 0; i < 3; ++i)
        m_formatLabels[i]->setText(text(TextDataBits + i));

    m_pages[page::DeviceSettings].headerLabel->setText(text(TextDeviceSettingsHeader));
    m_pages[page::DeviceSettingsWrite].headerLabel->setText(text(TextDeviceSettingsWriteHeader));
    findChild<QLabel*>(QStringLiteral("Label_SetupDevice_Port"))->setText(text(TextPort));
    m_setupUdpOrTcp->setText(text(TextUdp));

    m_pages[page::MeterFeatures].headerLabel->setText(text(TextMeterFeaturesHeader));
    m_meterApply->setText(QLatin1Char('&') + text(TextApplyStart));
    m_meterSearch->setText(text(TextSearch));
    m_meterDebug->setText(text(TextDebug));

    m_pages[page::Modbus].headerLabel->setText(text(TextModbusHeader));
    m_modbusResult->setText(QStringLiteral("Result:"));
    m_modbusRead->setText(QStringLiteral("&Read"));
    m_modbusDebug->setText(QStringLiteral("Debug"));

    m_pages[page::MBusAscii].headerLabel->setText(text(TextAsciiHeader));
    m_asciiResult->setText(text(TextResult));
    m_asciiRead->setText(text(TextAsciiRead));
    m_asciiDebug->setText(text(TextDebug));

    m_pages[page::Task7].headerLabel->setText(text(TextTask7Header));
    m_pages[page::Task8].headerLabel->setText(text(TextTask8Header));
}

void WizardWindow::fillFixedLists() {
    const QStringList ports = serialPortDisplayNames();
    m_setupSerialPort->clear();
    m_setupSerialPort->addItems(ports);
    m_serialPort->clear();
    m_serialPort->addItems(ports);
    m_formatLists[0]->addItems(dataBitsItems());
    m_formatLists[1]->addItems(parityItems());
    m_formatLists[2]->addItems(stopBitsItems());
    // The MAC field starts with its own stored text; page 20 then loads the
    // gateway's MAC address over it.
    m_macAddress->setText(
        settings::get(key("Text_SetupIP_MacAddress"), QLatin1String(DefaultMacAddress)));
}

// ---- Options ------------------------------------------------------------------

void WizardWindow::enterIpAddressClicked(int index) {
    m_state.selectEnterIpAddress(index);
    m_enterIpOptions[m_state.enterIpAddressOption]->setChecked(true);
    showEnterIpAddressPanel();
}

void WizardWindow::showEnterIpAddressPanel() {
    for (int i = 0; i < 2; ++i)
        m_enterIpPanels[i]->setVisible(i == m_state.enterIpAddressOption);
}

void WizardWindow::changeIpSettingsClicked(int index) {
    m_state.selectChangeIpSettings(index);
    m_changeIpOptions[m_state.changeIpSettingsOption]->setChecked(true);
    showChangeIpSettingsFields();
    updateMacAddressNext();
}

void WizardWindow::showChangeIpSettingsFields() {
    const bool network = m_state.changeIpSettingsOption == 0;
    m_macLabel->setVisible(network);
    m_macAddress->setVisible(network);
    m_setupSerialLabel->setVisible(!network);
    m_setupSerialPort->setVisible(!network);
}

void WizardWindow::dhcpClicked(int index) {
    m_state.selectDhcp(index);
    m_dhcpOptions[m_state.dhcpOption]->setChecked(true);
    updateAddressFields();
}

void WizardWindow::updateAddressFields() {
    // DHCP leaves the addresses to the network; a kind-2 device keeps its own
    // gateway and mask.
    const bool fixed = m_state.dhcpOption != 0;
    m_newIpAddress->setEnabled(fixed);
    m_gateway->setEnabled(fixed && m_state.task3Enabled);
    m_netMask->setEnabled(fixed && m_state.task3Enabled);
}

void WizardWindow::updateMacAddressNext() {
    // Over the network the gateway is found by its MAC address: Next waits
    // for one of six groups.
    if (m_state.currentPage != page::SetupIpMac)
        return;
    m_next->setEnabled(m_state.changeIpSettingsOption != 0 ||
                       m_macAddress->text().count(QLatin1Char('-')) == 5);
}

bool WizardWindow::infoTextClicked(QObject* watched) {
    struct LongLabel {
        int info;
        QRadioButton* option;
        void (WizardWindow::*select)(int);
        int index;
    };
    const LongLabel labels[] = {
        {20, m_changeIpOptions[0], &WizardWindow::changeIpSettingsClicked, 0},
        {21, m_changeIpOptions[1], &WizardWindow::changeIpSettingsClicked, 1},
        {40, m_enterIpOptions[0], &WizardWindow::enterIpAddressClicked, 0},
        {41, m_enterIpOptions[1], &WizardWindow::enterIpAddressClicked, 1},
    };
    for (const LongLabel& l : labels) {
        auto it = m_infoTexts.find(l.info);
        if (it == m_infoTexts.end() || watched != it->second->viewport())
            continue;
        (this->*l.select)(l.index);
        l.option->setFocus(Qt::MouseFocusReason);
        return true;
    }
    return false;
}

// ---- LoadPageSettings, ShowPage, SavePageSettings ----------------------------------

void WizardWindow::loadPageContent(int n) {
    const int task = m_state.selectedTask;
    switch (n) {
    case page::SetupIpMac:
        m_macAddress->setText(settings::get(key("MACAddress"), QLatin1String(DefaultMacAddress)));
        setPosition(m_setupSerialPort, taskKey("SerialPort", task), 0);
        showChangeIpSettingsFields();
        break;
    case page::SetupIpAddress:
        m_newIpAddress->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
        m_gateway->setText(settings::get(key("Gateway"), QStringLiteral("192.168.0.1")));
        m_netMask->setText(settings::get(key("NetMask"), QStringLiteral("255.255.255.0")));
        updateAddressFields();
        break;
    case page::Ping:
        m_pingAddress->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
        break;
    case page::Connection:
        loadConnectionPage();
        break;
    case page::MeterFeatures:
        m_infoTexts[page::MeterFeatures]->setPlainText(text(TextReady));
        break;
    case page::Modbus:
        setResultText(m_modbusResultText, text(TextReady), ResultBlue);
        break;
    case page::MBusAscii:
        setResultText(m_asciiResultText, text(TextReady), ResultBlue);
        break;
    case page::Task7:
    case page::Task8:
        m_infoTexts[n]->setPlainText(text(TextLinkTestInfo));
        break;
    default:
        break;
    }
    if (opensLink(n)) {
        Link& l = link();
        l.loadTimeouts(timeoutSectionForPage(n));
        l.setLastBusActivity(tickMs());
    }
}

void WizardWindow::loadConnectionPage() {
    const int task = m_state.selectedTask;
    const bool task3 = task == 3;

    // Header, explanation and the options' long labels of the task.
    const int header = task3 ? TextConnectionTask3Header
                             : TextConnectionTask4Header + 2 * (std::clamp(task, 4, 8) - 4);
    const int info = task3 ? TextConnectionTask3Info : header + 1;
    m_pages[page::Connection].headerLabel->setText(text(header));
    m_connectionIntro->setText(text(info));
    m_infoTexts[40]->setPlainText(text(task3 ? TextLinkNetworkGateway : TextLinkNetwork));
    m_infoTexts[41]->setPlainText(text(task3 ? TextLinkSerialConsole : TextLinkSerial));
    for (int i = 0; i < 2; ++i)
        m_enterIpOptions[i]->setAccessibleName(m_infoTexts[40 + i]->toPlainText());
    m_baudRateLabel->setText(text(task == 4 ? TextMBusSpeed : TextBaudRate));

    m_baudRate->clear();
    m_baudRate->addItems(baudRateItems(task, getText(TextRarelySupported)));
    setPosition(m_baudRate, taskKey("Combo_EnterIPAddress_BaudRate", task), 3);
    m_ipAddress->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
    setPosition(m_serialPort, taskKey("SerialPort", task), 0);
    setPosition(m_formatLists[0], taskKey("SerialDatabits", task), 1);
    setPosition(m_formatLists[1], taskKey("SerialParity", task), 0);
    setPosition(m_formatLists[2], taskKey("SerialStopbits", task), 0);
    m_udpOrTcp->setChecked(settings::getNumber(key("UDPorTCP"), QStringLiteral("1")) != 0);
    m_port->setText(settings::get(key("TCPPort"), QStringLiteral("10001")));

    // Task 3 reaches the gateway's setup service and console, which have
    // their own port and speed.
    m_baudRateLabel->setVisible(!task3);
    m_baudRate->setVisible(!task3);
    m_portLabel->setVisible(!task3);
    m_port->setVisible(!task3);
    m_udpOrTcp->setVisible(!task3);
    for (int i = 0; i < 3; ++i) {
        m_formatLabels[i]->setVisible(serialFormatShown(task));
        m_formatLists[i]->setVisible(serialFormatShown(task));
    }
    m_enterIpOptions[m_state.enterIpAddressOption]->setChecked(true);
    showEnterIpAddressPanel();
}

void WizardWindow::storeConnectionPage() {
    const int task = m_state.selectedTask;
    settings::save(key("IPAddress"), m_ipAddress->text());
    settings::save(key("TCPPort"), portTextToStore(m_port->text()));
    settings::save(key("UDPorTCP"), int64_t{m_udpOrTcp->isChecked() ? 1 : 0});
    settings::save(taskKey("SerialDatabits", task), int64_t{m_formatLists[0]->currentIndex()});
    settings::save(taskKey("SerialStopbits", task), int64_t{m_formatLists[2]->currentIndex()});
    settings::save(taskKey("SerialParity", task), int64_t{m_formatLists[1]->currentIndex()});
}

void WizardWindow::storePageContent(int n) {
    const int task = m_state.selectedTask;
    switch (n) {
    case page::SetupIpMac:
        settings::save(key("MACAddress"), m_macAddress->text());
        settings::save(taskKey("SerialPort", task), int64_t{m_setupSerialPort->currentIndex()});
        break;
    case page::SetupIpAddress:
        settings::save(key("IPAddress"), m_newIpAddress->text());
        settings::save(key("Gateway"), m_gateway->text());
        settings::save(key("NetMask"), m_netMask->text());
        break;
    case page::Connection:
        storeConnectionPage();
        break;
    case page::DeviceSettings:
        settings::save(key("UDPorTCP"), int64_t{m_setupUdpOrTcp->isChecked() ? 1 : 0});
        settings::save(key("TCPPort"), m_setupPort->text());
        break;
    default:
        break;
    }
}

void WizardWindow::runEntryAction(int n) {
    switch (n) {
    case page::SetupIpMac:
        updateMacAddressNext();
        break;
    case page::MeterFeatures:
    case page::Modbus:
    case page::MBusAscii:
    case page::Task7:
    case page::Task8:
        openLinkOnPage(n);
        break;
    default:
        // The entry actions of pages 10 (discovery), 50 and 55 (reading and
        // writing the gateway's settings) come with the setup subsystem.
        break;
    }
}

// ---- The link of the task pages ------------------------------------------------------

void WizardWindow::setResultText(QLabel* label, const QString& caption, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    label->setText(caption);
}

void WizardWindow::showLinkFailure(int n, int textNumber, const QString& error) {
    switch (n) {
    case page::MeterFeatures:
        m_infoTexts[n]->setPlainText(shown(meterPageFailureText(getText(textNumber), error)));
        m_meterApply->setEnabled(false);
        m_state.meterPageLinkOpen = false;
        break;
    case page::Modbus:
        setResultText(m_modbusResultText, shown(resultLabelFailureText(getText(textNumber), error)),
                      ResultDarkRed);
        m_modbusRead->setEnabled(false);
        break;
    case page::MBusAscii:
        setResultText(m_asciiResultText, shown(resultLabelFailureText(getText(textNumber), error)),
                      ResultDarkRed);
        m_asciiRead->setEnabled(false);
        break;
    case page::Task7:
    case page::Task8:
        m_infoTexts[n]->setPlainText(text(TextLinkTestInfo) + QStringLiteral("\n\n") +
                                     shown(meterPageFailureText(getText(textNumber), error)));
        break;
    default:
        break;
    }
}

void WizardWindow::openLinkOnPage(int n) {
    Link& l = link();
    l.setSelectedTask(m_state.selectedTask);
    // No input while the link opens (a TCP connect may take OpenTimeout).
    setEnabled(false);
    const bool open = l.openConnection();
    setEnabled(true);
    if (m_state.currentPage != n)
        return; // the window was closed meanwhile

    if (!open) {
        showLinkFailure(n, TextLinkFailed, l.connectionError());
    } else {
        switch (n) {
        case page::MeterFeatures:
            // The selected meter feature sets the page up once the meter
            // operations are part of it; of its set-up the continuous poll
            // is here already: features 0 and 4 can be repeated.
            m_meterApply->setEnabled(true);
            m_state.meterPageLinkOpen = true;
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
            DebugWindow::setPollBoxEnabled(pollTarget(n, m_state.selectedMeterFeature) !=
                                           PollTarget::None);
#endif
            break;
        case page::Modbus:
            setResultText(m_modbusResultText, QString(), ResultBlue);
            m_modbusRead->setEnabled(true);
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
            DebugWindow::setPollBoxEnabled(true);
#endif
            break;
        case page::MBusAscii:
            setResultText(m_asciiResultText, QString(), ResultBlue);
            m_asciiRead->setEnabled(true);
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
            DebugWindow::setPollBoxEnabled(true);
#endif
            break;
        case page::Task7:
        case page::Task8:
            m_infoTexts[n]->setPlainText(text(TextLinkTestInfo) + QStringLiteral("\n\n") +
                                         text(TextLinkOpened));
            break;
        default:
            break;
        }
    }

    // Tasks 7 and 8 only test the link: say how that went.
    if (n == page::Task7 || n == page::Task8) {
        if (open)
            QMessageBox::information(this, QStringLiteral("Kestrune"), text(TextLinkOpened));
        else
            QMessageBox::warning(
                this, QStringLiteral("Kestrune"),
                shown(meterPageFailureText(getText(TextLinkFailed), l.connectionError())));
    }
}

void WizardWindow::linkLost(const QString& reason) {
    const int n = m_state.currentPage;
    if (!opensLink(n))
        return;
    showLinkFailure(n, TextLinkLost, reason);
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::setPollBoxEnabled(false);
#endif
}

void WizardWindow::toggleTrafficLog() {
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::toggle(*this);
#endif
}

} // namespace kestrune
