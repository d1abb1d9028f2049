#include "DeviceSettingsPages.h"

#include "base/Settings.h"
#include "wizard/Navigation.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace kestrune {

namespace {

// texts: 212, 213, 370, 385, 386
constexpr int TextHeader = 212;
constexpr int TextWriteHeader = 213;
constexpr int TextNextWrite = 370;
constexpr int TextPort = 385;
constexpr int TextUdp = 386;

using namespace pagesettings;
using wizardtext::text;

} // namespace

// ---- Page 50 ---------------------------------------------------------------------------

DeviceSettingsPage::DeviceSettingsPage(WizardFrame& frame)
    : WizardPage(page::DeviceSettings, frame) {}

QString DeviceSettingsPage::headerText() const {
    return text(TextHeader);
}

void DeviceSettingsPage::build() {
    // The gateway's port and protocol as its setup record 0 holds them. The
    // record is read and written, and the rest of the page laid out, with
    // the gateway setup subsystem.
    const PageLayout& l = pageLayout();
    m_portLabel = l.addLabel(this, QStringLiteral("Label_SetupDevice_Port"), 240, 900, 1440);
    m_port = l.addLineEdit(this, QStringLiteral("Text_SetupDevice_Port"), 1740, 900, 1080);
    m_port->setMaxLength(10);
    m_udpOrTcp = l.addCheckBox(this, QStringLiteral("Check_SetupDevice_UDPorTCP"), 1740,
                               900 + twips::RowStep, 4500);
}

void DeviceSettingsPage::setCaptions() {
    m_portLabel->setText(text(TextPort));
    m_udpOrTcp->setText(text(TextUdp));
}

void DeviceSettingsPage::loadSettings() {
    frame().setNextText(text(TextNextWrite));
}

void DeviceSettingsPage::store() {
    settings::save(key("UDPorTCP"), int64_t{m_udpOrTcp->isChecked() ? 1 : 0});
    settings::save(key("TCPPort"), m_port->text());
}

// ---- Page 55 ---------------------------------------------------------------------------

DeviceSettingsWritePage::DeviceSettingsWritePage(WizardFrame& frame)
    : WizardPage(page::DeviceSettingsWrite, frame) {}

QString DeviceSettingsWritePage::headerText() const {
    return text(TextWriteHeader);
}

void DeviceSettingsWritePage::build() {
    // The write of the gateway's settings comes with the gateway setup
    // subsystem.
}

} // namespace kestrune
