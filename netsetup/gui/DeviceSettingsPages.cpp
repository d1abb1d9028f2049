#include "DeviceSettingsPages.h"

#include "base/Settings.h"
#include "netsetup/SetupRecord.h"
#include "netsetup/gui/SetupPageSupport.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrune {

namespace {

// texts: 212, 213, 370, 385, 386, 392, 690, 296-299
constexpr int TextHeader = 212;
constexpr int TextWriteHeader = 213;
constexpr int TextNextWrite = 370;
constexpr int TextPort = 385;
constexpr int TextUdp = 386;
constexpr int TextLineSpeed = 392;
constexpr int TextRarelySupported = 690;
constexpr int TextSecurity = 296;
constexpr int TextAllowTelnet = 297;
constexpr int TextAllow77FE = 298;
constexpr int TextPassword = 299;
constexpr int TextDefault = 2625; // texts: 2625

using namespace pagesettings;
using twips::RowStep;
using wizardtext::text;

// Where the page reaches the gateway: as the connection page chose.
SetupMethod storedMethod(const ShellState& state) {
    return state.enterIpAddressOption == 0 ? SetupMethod::Network : SetupMethod::Serial;
}

QString gatewayAddress() {
    return settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress));
}

// The info text above the settings, and alone when they are not read.
const QRect InfoBesideSettings(240, 810, twips::WindowWidth - 480, 600);
const QRect InfoAlone(240, 810, twips::WindowWidth - 480, twips::PanelHeight - 120 - 810);

} // namespace

// ---- Page 50 ---------------------------------------------------------------------------

DeviceSettingsPage::DeviceSettingsPage(WizardFrame& frame, std::shared_ptr<DeviceSettingsForm> form)
    : WizardPage(page::DeviceSettings, frame), m_form(std::move(form)) {}

QString DeviceSettingsPage::headerText() const {
    return text(TextHeader);
}

void DeviceSettingsPage::build() {
    const PageLayout& l = pageLayout();
    m_info = l.addInfoText(this, number(), InfoBesideSettings);
    const int top = 1500;
    m_portLabel = l.addLabel(this, QStringLiteral("Label_SetupDevice_Port"), 240, top, 1440);
    m_port = l.addLineEdit(this, QStringLiteral("Text_SetupDevice_Port"), 1740, top, 1080);
    m_port->setMaxLength(10);
    m_udpOrTcp = l.addCheckBox(this, QStringLiteral("Check_SetupDevice_UDPorTCP"), 3000, top, 3000);
    m_lineSpeedLabel =
        l.addLabel(this, QStringLiteral("Label_SetupDevice_LineSpeed"), 240, top + RowStep, 1440);
    m_lineSpeed =
        l.addCombo(this, QStringLiteral("Combo_SetupDevice_LineSpeed"), 1740, top + RowStep, 2460);
    m_defaults =
        l.addButton(this, QStringLiteral("cmdChangeParameters"), 4500, top + RowStep, 1200);
    m_security = l.addCheckBox(this, QStringLiteral("Check_SetupDevice_Security"), 240,
                               top + 2 * RowStep + 60, twips::WindowWidth - 480);
    m_securityFrame = new QGroupBox(this);
    m_securityFrame->setObjectName(QStringLiteral("Frame_SetupDevice_Security"));
    l.place(m_securityFrame, 240, top + 3 * RowStep, twips::WindowWidth - 480, 3 * RowStep + 120);
    m_telnet =
        l.addCheckBox(m_securityFrame, QStringLiteral("Check_SetupDevice_Telnet"), 240, 90, 3300);
    m_durnhal = l.addCheckBox(m_securityFrame, QStringLiteral("Check_SetupDevice_Durnhal"), 240,
                              90 + RowStep, twips::WindowWidth - 960);
    m_passwordLabel = l.addLabel(m_securityFrame, QStringLiteral("Label_SetupDevice_Password"), 240,
                                 90 + 2 * RowStep, 1800);
    m_password = l.addLineEdit(m_securityFrame, QStringLiteral("Text_SetupDevice_Password"), 2100,
                               90 + 2 * RowStep, 1080);
    // Only four characters reach the gateway.
    m_password->setMaxLength(4);

    connect(m_defaults, &QPushButton::clicked, this,
            [this] { fill(GatewaySetup::defaultDeviceSettings()); });
    connect(m_security, &QCheckBox::clicked, this, &DeviceSettingsPage::securityClicked);
}

void DeviceSettingsPage::prepare() {
    // The line speed list, codes 7 .. 2 of the record: three speeds few
    // devices take are marked.
    m_lineSpeed->clear();
    for (int p = 0; p < SetupRecord::kLineSpeedCount; ++p) {
        const int baud = SetupRecord::lineSpeedBaud(p);
        const bool rare = baud == 600 || baud == 1200 || baud == 4800;
        m_lineSpeed->addItem(QString::number(baud) +
                             (rare ? QLatin1Char(' ') + text(TextRarelySupported) : QString()));
    }
}

void DeviceSettingsPage::setCaptions() {
    m_portLabel->setText(text(TextPort));
    m_udpOrTcp->setText(text(TextUdp));
    m_lineSpeedLabel->setText(text(TextLineSpeed));
    m_defaults->setText(text(TextDefault));
    m_security->setText(text(TextSecurity));
    m_telnet->setText(text(TextAllowTelnet));
    m_durnhal->setText(text(TextAllow77FE));
    m_passwordLabel->setText(text(TextPassword));
}

void DeviceSettingsPage::loadSettings() {
    frame().setNextText(text(TextNextWrite));
    m_info->clear();
    // Cleared and hidden until the record is read.
    m_security->setChecked(false);
    m_telnet->setChecked(false);
    m_durnhal->setChecked(false);
    m_password->clear();
    showSettings(false);
}

void DeviceSettingsPage::showSettings(bool visible) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_portLabel, m_port, m_udpOrTcp, m_lineSpeedLabel,
                                         m_lineSpeed, m_defaults, m_security, m_securityFrame})
        w->setVisible(visible);
    // Without the settings the page's room is the info's: a failed read
    // reads whole, without a scroll.
    const QRect info = visible ? InfoBesideSettings : InfoAlone;
    pageLayout().place(m_info, info.x(), info.y(), info.width(), info.height());
    securityClicked();
}

void DeviceSettingsPage::securityClicked() {
    m_securityFrame->setEnabled(m_security->isChecked());
}

void DeviceSettingsPage::fill(const DeviceSettings& s) {
    m_udpOrTcp->setChecked(s.udp);
    m_lineSpeed->setCurrentIndex(s.lineSpeed);
    m_port->setText(s.port);
}

void DeviceSettingsPage::enter() {
    GatewaySetup setup(frame().link());
    setup.setConfig(setuppage::config());
    setuppage::showOn(setup, m_info, frame().mainWindow());
    std::optional<DeviceSettings> read;
    {
        const setuppage::WindowBusy busy(frame().mainWindow());
        read = setup.readDeviceSettings(storedMethod(state()), gatewayAddress());
    }
    if (!read || !isCurrent())
        return;
    fill(*read);
    m_password->setText(read->password);
    // Record 1 is written as the factory made it but for the two
    // permissions: they start as the factory has them.
    SetupRecord factory(1);
    factory.restoreDefaults(false);
    m_telnet->setChecked(factory.telnetAllowed());
    m_durnhal->setChecked(factory.setup77FEAllowed());
    showSettings(true);
    frame().setNextEnabled(true);
}

void DeviceSettingsPage::store() {
    settings::save(key("UDPorTCP"), int64_t{m_udpOrTcp->isChecked() ? 1 : 0});
    settings::save(key("TCPPort"), m_port->text());
    m_form->settings.udp = m_udpOrTcp->isChecked();
    m_form->settings.port = m_port->text();
    m_form->settings.lineSpeed = m_lineSpeed->currentIndex();
    m_form->settings.password = m_password->text();
    m_form->security.enabled = m_security->isChecked();
    m_form->security.allowTelnet = m_telnet->isChecked();
    m_form->security.allow77FE = m_durnhal->isChecked();
}

// ---- Page 55 ---------------------------------------------------------------------------

DeviceSettingsWritePage::DeviceSettingsWritePage(WizardFrame& frame,
                                                 std::shared_ptr<DeviceSettingsForm> form)
    : WizardPage(page::DeviceSettingsWrite, frame), m_form(std::move(form)) {}

QString DeviceSettingsWritePage::headerText() const {
    return text(TextWriteHeader);
}

void DeviceSettingsWritePage::build() {
    m_info =
        pageLayout().addInfoText(this, number(), QRect(240, 900, twips::WindowWidth - 480, 3000));
}

void DeviceSettingsWritePage::loadSettings() {
    m_info->clear();
}

void DeviceSettingsWritePage::enter() {
    GatewaySetup setup(frame().link());
    setup.setConfig(setuppage::config());
    setup.setAdapterAddress(state().selectedAdapterIP);
    setuppage::showOn(setup, m_info, frame().mainWindow());
    const setuppage::WindowBusy busy(frame().mainWindow());
    setup.writeDeviceSettings(storedMethod(state()), gatewayAddress(), m_form->settings,
                              m_form->security);
}

} // namespace kestrune
