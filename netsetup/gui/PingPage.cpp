#include "PingPage.h"

#include "base/Settings.h"
#include "wizard/Navigation.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace kestrune {

namespace {

// texts: 350, 351, 384
constexpr int TextHeader = 350;
constexpr int TextInfo = 351;
constexpr int TextIpAddress = 384;

using namespace pagesettings;
using wizardtext::text;

} // namespace

PingPage::PingPage(WizardFrame& frame) : WizardPage(page::Ping, frame) {}

QString PingPage::headerText() const {
    return text(TextHeader);
}

void PingPage::build() {
    const PageLayout& l = pageLayout();
    m_info = l.addInfoText(this, number(), QRect(240, 900, twips::WindowWidth - 480, 1500));
    m_addressLabel = l.addLabel(this, QStringLiteral("Label_PingIPAddress"), 240, 2520, 1800);
    m_address = l.addLineEdit(this, QStringLiteral("Text_PingIPAddress"), 2100, 2520, 2400);
    m_address->setMaxLength(64);
    // The ping itself (Command_Ping and its results) comes with the network
    // tools of the setup subsystem.
}

void PingPage::setCaptions() {
    m_info->setPlainText(text(TextInfo));
    m_addressLabel->setText(text(TextIpAddress));
}

void PingPage::loadSettings() {
    m_address->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
}

} // namespace kestrune
