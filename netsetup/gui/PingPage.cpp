#include "PingPage.h"

#include "base/Settings.h"
#include "channel/Link.h"
#include "netsetup/InputCheck.h"
#include "netsetup/Pinger.h"
#include "netsetup/SetupTexts.h"
#include "netsetup/gui/SetupPageSupport.h"
#include "wizard/Navigation.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrune {

namespace {

// texts: 288, 350, 351, 384
constexpr int TextPingButton = 288;
constexpr int TextHeader = 350;
constexpr int TextInfo = 351;
constexpr int TextIpAddress = 384;

using namespace pagesettings;
using wizardtext::shown;
using wizardtext::text;

} // namespace

PingPage::PingPage(WizardFrame& frame) : WizardPage(page::Ping, frame) {}

PingPage::~PingPage() = default;

QString PingPage::headerText() const {
    return text(TextHeader);
}

void PingPage::build() {
    const PageLayout& l = pageLayout();
    m_info = l.addInfoText(this, number(), QRect(240, 900, twips::WindowWidth - 480, 1500));
    m_addressLabel = l.addLabel(this, QStringLiteral("Label_PingIPAddress"), 240, 2520, 1800);
    m_address = l.addLineEdit(this, QStringLiteral("Text_PingIPAddress"), 2100, 2520, 2400);
    m_address->setMaxLength(64);
    m_ping = l.addButton(this, QStringLiteral("Command_Ping"), 4620, 2505, 1500);
    connect(m_ping, &QPushButton::clicked, this, &PingPage::ping);
    connect(m_address, &QLineEdit::returnPressed, this, &PingPage::ping);
}

void PingPage::setCaptions() {
    m_info->setPlainText(text(TextInfo));
    m_addressLabel->setText(text(TextIpAddress));
    m_ping->setText(text(TextPingButton));
}

void PingPage::loadSettings() {
    m_info->setPlainText(text(TextInfo));
    m_address->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
}

void PingPage::ping() {
    if (!m_ping->isEnabled())
        return;
    const QString address = m_address->text().trimmed();
    settings::save(key("IPAddress"), m_address->text());
    QString message;
    if (!checkDeviceAddress(address, message) || address == QLatin1String("0.0.0.0")) {
        QMessageBox::warning(frame().mainWindow(), QStringLiteral("Kestrune"),
                             shown(message.isEmpty()
                                       ? QLatin1Char('\'') + address + QStringLiteral("' ") +
                                             getText(setuptext::TextBadIp)
                                       : message));
        return;
    }
    if (!m_pinger)
        m_pinger = std::make_unique<Pinger>(frame().link());
    if (!m_pinger->open(message)) {
        QMessageBox::warning(frame().mainWindow(), QStringLiteral("Kestrune"), shown(message));
        return;
    }
    const SetupConfig config = setuppage::config();
    m_ping->setEnabled(false);
    QString result = getText(setuptext::TextPingStart) + QLatin1Char(' ') + address;
    m_info->setPlainText(shown(result));
    runPingSeries(*m_pinger, frame().link(), address, config.numberOfPings, config.pingDelay,
                  config.pingTimeout, [this, &result](const QString& piece) {
                      result += piece;
                      m_info->setPlainText(shown(result));
                  });
    m_ping->setEnabled(true);
    if (isCurrent())
        frame().setNextEnabled(true);
}

} // namespace kestrune
