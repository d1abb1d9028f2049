#include "IpSetupPages.h"

#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/SerialPorts.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/gui/SetupPageSupport.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrune {

namespace {

// texts: 200-203, 205-211, 222, 223, 230, 231, 300-302, 384, 387
constexpr int TextSetupIpMacHeader = 200;
constexpr int TextChangeIpNetwork = 201; // long label of Option_ChangeIPSettings(0)
constexpr int TextChangeIpSerial = 202;  // long label of Option_ChangeIPSettings(1)
constexpr int TextMacAddress = 203;
constexpr int TextSetupIpAddressHeader = 205;
constexpr int TextDhcp = 206; // Option_DHCP(0), (1): 206, 207
constexpr int TextSetupIpNetworkHeader = 208;
constexpr int TextSetupIpNetworkInfo = 209;
constexpr int TextGateway = 210;
constexpr int TextNetMask = 211;
constexpr int TextConsoleTask1Header = 222; // its information: 223
constexpr int TextConsoleTask3Header = 300; // its information: 301
constexpr int TextApply = 230;
constexpr int TextCancel = 231;
constexpr int TextConnect = 302;
constexpr int TextIpAddress = 384;
constexpr int TextSerialPort = 387;

using namespace pagesettings;
using twips::RowHeight;
using twips::RowStep;
using wizardtext::indexed;
using wizardtext::text;

// The information box of pages 22 and 23, below the header, and the
// progress and results of their exchanges below it.
const QRect InfoArea(240, 900, twips::WindowWidth - 480, 3000);

// The new IP settings as page 21 stored them: "0.0.0.0" asks for DHCP; a
// kind-2 device keeps its own gateway and mask (the fields are withheld).
struct NewIpSettings {
    QString ip;
    QString gateway;
    QString mask;
};
NewIpSettings storedIpSettings(const ShellState& state) {
    NewIpSettings s;
    s.ip = state.dhcpOption == 0 ? QStringLiteral("0.0.0.0")
                                 : settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress));
    if (state.task3Enabled) {
        s.gateway = settings::get(key("Gateway"), QStringLiteral("192.168.0.1"));
        s.mask = settings::get(key("NetMask"), QStringLiteral("255.255.255.0"));
    }
    return s;
}

} // namespace

// ---- Page 20 ---------------------------------------------------------------------------

SetupIpMacPage::SetupIpMacPage(WizardFrame& frame) : WizardPage(page::SetupIpMac, frame) {}

QString SetupIpMacPage::headerText() const {
    return text(TextSetupIpMacHeader);
}

void SetupIpMacPage::build() {
    const PageLayout& l = pageLayout();
    for (int i = 0; i < 2; ++i) {
        const auto option =
            l.addLongLabelOption(this, indexed("Option_ChangeIPSettings", i), 20 + i, 870 + i * 810,
                                 750, [this, i] { changeIpSettingsClicked(i); });
        m_options[i] = option.option;
        m_optionTexts[i] = option.info;
    }
    for (int i = 0; i < 2; ++i)
        connect(m_options[i], &QRadioButton::clicked, this,
                [this, i] { changeIpSettingsClicked(i); });

    const int top = 2580;
    m_macLabel = l.addLabel(this, QStringLiteral("Label_SetupIP_MacAddress"), 600, top, 1800);
    m_macAddress = l.addLineEdit(this, QStringLiteral("Text_SetupIP_MacAddress"), 2460, top, 2400);
    m_macAddress->setMaxLength(64);
    connect(m_macAddress, &QLineEdit::textChanged, this, &SetupIpMacPage::updateMacAddressNext);
    m_serialLabel = l.addLabel(this, QStringLiteral("Label_SetupIP_SerialPort"), 600, top, 1800);
    m_serialPort = l.addCombo(this, QStringLiteral("Combo_SetupIP_SerialPort"), 2460, top, 3000);
    // A change of the console's port is kept at once.
    connect(m_serialPort, &QComboBox::activated, this, [this](int index) {
        savePosition(taskKey("SerialPort", state().selectedTask), index);
    });
}

void SetupIpMacPage::prepare() {
    changeIpSettingsClicked(state().changeIpSettingsOption);
    m_serialPort->clear();
    m_serialPort->addItems(serialPortDisplayNames());
    // The MAC field starts with its own stored text; the page then loads the
    // gateway's MAC address over it.
    m_macAddress->setText(
        settings::get(key("Text_SetupIP_MacAddress"), QLatin1String(DefaultMacAddress)));
}

void SetupIpMacPage::setCaptions() {
    m_optionTexts[0]->setPlainText(text(TextChangeIpNetwork));
    m_optionTexts[1]->setPlainText(text(TextChangeIpSerial));
    m_macLabel->setText(text(TextMacAddress));
    m_serialLabel->setText(text(TextSerialPort));
    for (int i = 0; i < 2; ++i)
        m_options[i]->setAccessibleName(m_optionTexts[i]->toPlainText());
}

void SetupIpMacPage::loadSettings() {
    m_macAddress->setText(settings::get(key("MACAddress"), QLatin1String(DefaultMacAddress)));
    setPosition(m_serialPort, taskKey("SerialPort", state().selectedTask), 0);
    showChangeIpSettingsFields();
}

void SetupIpMacPage::enter() {
    updateMacAddressNext();
}

void SetupIpMacPage::store() {
    settings::save(key("MACAddress"), m_macAddress->text());
    savePosition(taskKey("SerialPort", state().selectedTask), m_serialPort->currentIndex());
}

void SetupIpMacPage::changeIpSettingsClicked(int index) {
    state().selectChangeIpSettings(index);
    m_options[state().changeIpSettingsOption]->setChecked(true);
    showChangeIpSettingsFields();
    updateMacAddressNext();
}

void SetupIpMacPage::showChangeIpSettingsFields() {
    const bool network = state().changeIpSettingsOption == 0;
    m_macLabel->setVisible(network);
    m_macAddress->setVisible(network);
    m_serialLabel->setVisible(!network);
    m_serialPort->setVisible(!network);
}

void SetupIpMacPage::updateMacAddressNext() {
    // Over the network the gateway is found by its MAC address: Next waits
    // for one of six groups.
    if (!isCurrent())
        return;
    frame().setNextEnabled(state().changeIpSettingsOption != 0 ||
                           m_macAddress->text().count(QLatin1Char('-')) == 5);
}

// ---- Page 21 ---------------------------------------------------------------------------

SetupIpAddressPage::SetupIpAddressPage(WizardFrame& frame)
    : WizardPage(page::SetupIpAddress, frame) {}

QString SetupIpAddressPage::headerText() const {
    return text(TextSetupIpAddressHeader);
}

void SetupIpAddressPage::build() {
    const PageLayout& l = pageLayout();
    for (int i = 0; i < 2; ++i) {
        m_dhcpOptions[i] = l.addOption(this, indexed("Option_DHCP", i), 240, 900 + i * RowStep,
                                       twips::WindowWidth - 480);
        connect(m_dhcpOptions[i], &QRadioButton::clicked, this, [this, i] { dhcpClicked(i); });
    }
    const int top = 900 + 2 * RowStep + 150;
    struct Field {
        const char* label;
        const char* name;
        QLineEdit** edit;
    };
    const Field fields[] = {
        {"Label_IPAddress", "Text_IPAddress", &m_ipAddress},
        {"Label_Gateway", "Text_Gateway", &m_gateway},
        {"Label_NetMask", "Text_NetMask", &m_netMask},
    };
    for (int i = 0; i < 3; ++i) {
        m_labels[i] =
            l.addLabel(this, QLatin1String(fields[i].label), 600, top + i * RowStep, 1800);
        *fields[i].edit =
            l.addLineEdit(this, QLatin1String(fields[i].name), 2460, top + i * RowStep, 2400);
        (*fields[i].edit)->setMaxLength(64);
    }
}

void SetupIpAddressPage::prepare() {
    dhcpClicked(state().dhcpOption);
}

void SetupIpAddressPage::setCaptions() {
    m_dhcpOptions[0]->setText(text(TextDhcp));
    m_dhcpOptions[1]->setText(text(TextDhcp + 1));
    m_labels[0]->setText(text(TextIpAddress));
    m_labels[1]->setText(text(TextGateway));
    m_labels[2]->setText(text(TextNetMask));
}

void SetupIpAddressPage::loadSettings() {
    m_ipAddress->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
    m_gateway->setText(settings::get(key("Gateway"), QStringLiteral("192.168.0.1")));
    m_netMask->setText(settings::get(key("NetMask"), QStringLiteral("255.255.255.0")));
    updateAddressFields();
}

void SetupIpAddressPage::store() {
    settings::save(key("IPAddress"), m_ipAddress->text());
    settings::save(key("Gateway"), m_gateway->text());
    settings::save(key("NetMask"), m_netMask->text());
}

void SetupIpAddressPage::shellStateChanged() {
    updateAddressFields();
}

void SetupIpAddressPage::dhcpClicked(int index) {
    state().selectDhcp(index);
    m_dhcpOptions[state().dhcpOption]->setChecked(true);
    updateAddressFields();
}

void SetupIpAddressPage::updateAddressFields() {
    // DHCP leaves the addresses to the network; a kind-2 device keeps its own
    // gateway and mask.
    const bool fixed = state().dhcpOption != 0;
    m_ipAddress->setEnabled(fixed);
    m_gateway->setEnabled(fixed && state().task3Enabled);
    m_netMask->setEnabled(fixed && state().task3Enabled);
}

// ---- Pages 22 and 23 -------------------------------------------------------------------

SetupIpNetworkPage::SetupIpNetworkPage(WizardFrame& frame)
    : WizardPage(page::SetupIpNetwork, frame) {}

QString SetupIpNetworkPage::headerText() const {
    return text(TextSetupIpNetworkHeader);
}

void SetupIpNetworkPage::build() {
    m_info = pageLayout().addInfoText(this, number(), InfoArea);
    m_apply = pageLayout().addButton(this, QStringLiteral("Command_SetIPUsingUDP"), 240,
                                     twips::ButtonRowTop, 1500);
    connect(m_apply, &QPushButton::clicked, this, &SetupIpNetworkPage::setIpUsingUdp);
}

void SetupIpNetworkPage::setCaptions() {
    m_apply->setText(text(TextApply));
}

void SetupIpNetworkPage::loadSettings() {
    m_info->setPlainText(text(TextSetupIpNetworkInfo));
}

void SetupIpNetworkPage::setIpUsingUdp() {
    const NewIpSettings s = storedIpSettings(state());
    GatewaySetup setup(frame().link());
    setup.setConfig(setuppage::config());
    setup.setAdapterAddress(state().selectedAdapterIP);
    setuppage::showOn(setup, m_info, frame().mainWindow());
    GatewaySetup::IpSetupResult result;
    {
        const setuppage::WindowBusy busy(frame().mainWindow());
        result = setup.setIpOverNetwork(settings::get(key("MACAddress")), s.ip, s.gateway, s.mask);
    }
    if (!result.ok)
        return;
    // After DHCP this page cannot know the new address: the discovery finds
    // it.
    if (result.goToDiscovery)
        state().forcedNextPage = page::Discovery;
    frame().setNextEnabled(true);
}

SerialConsolePage::SerialConsolePage(WizardFrame& frame) : WizardPage(page::SerialConsole, frame) {}

QString SerialConsolePage::headerText() const {
    return text(state().selectedTask == 1 ? TextConsoleTask1Header : TextConsoleTask3Header);
}

void SerialConsolePage::build() {
    m_info = pageLayout().addInfoText(this, number(), InfoArea);
    m_connect = pageLayout().addButton(this, QStringLiteral("Command_ConnectRS232AndDoSomething"),
                                       240, twips::ButtonRowTop, 1500);
    m_cancel =
        pageLayout().addButton(this, QStringLiteral("Command_ConnectRS232AndDoSomething_Cancel"),
                               1860, twips::ButtonRowTop, 1500);
    m_cancel->setEnabled(false);
    connect(m_connect, &QPushButton::clicked, this, &SerialConsolePage::connectAndDoSomething);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_running)
            m_running->cancelConsole();
    });
}

void SerialConsolePage::setCaptions() {
    m_cancel->setText(text(TextCancel));
}

void SerialConsolePage::loadSettings() {
    const bool task1 = state().selectedTask == 1;
    m_info->setPlainText(text(task1 ? TextConsoleTask1Header + 1 : TextConsoleTask3Header + 1));
    m_connect->setText(text(task1 ? TextApply : TextConnect));
}

void SerialConsolePage::connectAndDoSomething() {
    const int task = state().selectedTask;
    if (task != 1 && task != 3)
        return;
    const int position = storedPosition(taskKey("SerialPort", task), 0, SerialPortCount);
    const QString device = serialPortPath(position + 1);
    GatewaySetup setup(frame().link());
    setup.setConfig(setuppage::config());
    setuppage::showOn(setup, m_info, frame().mainWindow());
    connect(&setup, &GatewaySetup::headerChanged, this,
            [this](const QString& header) { headerLabel()->setText(header); });
    // The window stays usable: Cancel must reach the wait for the console.
    m_running = &setup;
    m_connect->setEnabled(false);
    m_cancel->setEnabled(true);
    bool ok = false;
    if (task == 1) {
        const NewIpSettings s = storedIpSettings(state());
        ok = setup.setIpOverSerial(device, s.ip, s.gateway, s.mask);
    } else {
        ok = setup.connectConsole(device);
    }
    m_running = nullptr;
    m_cancel->setEnabled(false);
    m_connect->setEnabled(true);
    headerLabel()->setText(headerText());
    if (ok && isCurrent())
        frame().setNextEnabled(true);
}

} // namespace kestrune
