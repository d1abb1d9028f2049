#include "LinkPage.h"

#include "base/Language.h"
#include "base/Tick.h"
#include "channel/Link.h"
#include "channel/gui/DebugWindow.h"
#include "wizard/PageRules.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WizardText.h"

#include <QLabel>
#include <QPushButton>

namespace kestrune {

namespace {

// texts: 158, 364, 398
constexpr int TextLinkFailed = 158;
constexpr int TextReady = 364;
constexpr int TextLinkLost = 398;

using wizardtext::shown;
using wizardtext::text;

} // namespace

LinkPage::LinkPage(int number, WizardFrame& frame, OnLeave onLeave)
    : WizardPage(number, frame), m_onLeave(onLeave) {}

void LinkPage::loadSettings() {
    Link& l = frame().link();
    l.loadTimeouts(timeoutSectionForPage(number()));
    l.setLastBusActivity(tickMs());
}

void LinkPage::enter() {
    Link& l = frame().link();
    l.setSelectedTask(state().selectedTask);
    // No input while the link opens (a TCP connect may take OpenTimeout).
    QWidget* window = frame().mainWindow();
    window->setEnabled(false);
    const bool open = l.openConnection();
    window->setEnabled(true);
    if (!isCurrent())
        return; // the window was closed meanwhile

    if (open)
        showLinkOpened();
    else
        showLinkFailure(TextLinkFailed, l.connectionError());
    linkAttempted(open);
}

void LinkPage::leave() {
    if (m_onLeave == OnLeave::CloseLink)
        frame().closeLink();
}

QString LinkPage::lineSettingsNote() const {
    const Link& l = frame().link();
    if (l.connectionMode() != ConnectionMode::Serial)
        return {};
    return shown(l.lineSettingsNote());
}

void LinkPage::linkLost(const QString& reason) {
    showLinkFailure(TextLinkLost, reason);
    DebugWindow::setPollBoxEnabled(false);
}

void ReadPage::buildResultRow(const RowNames& names, int resultHeight) {
    m_names = names;
    const PageLayout& l = pageLayout();
    const int top = twips::ButtonRowTop;
    m_result = l.addLabel(this, QLatin1String(names.result), 240, top - resultHeight, 900);
    m_resultText =
        l.addResultLabel(this, QLatin1String(names.resultText), top - resultHeight, resultHeight);
    m_read = l.addButton(this, QLatin1String(names.read), 240, top, 1200);
    m_debug =
        l.addButton(this, QLatin1String(names.debug), twips::WindowWidth - 240 - 1200, top, 1200);
    connect(m_debug, &QPushButton::clicked, this, [this] { frame().toggleTrafficLog(); });
}

void ReadPage::setCaptions() {
    m_result->setText(text(m_names.resultCaption));
    m_read->setText(text(m_names.readCaption));
    m_debug->setText(text(m_names.debugCaption));
}

void ReadPage::loadSettings() {
    setResultText(m_resultText, text(TextReady), resultcolor::Blue);
    LinkPage::loadSettings();
}

void ReadPage::showLinkFailure(int textNumber, const QString& error) {
    const QString message = shown(resultLabelFailureText(getText(textNumber), error));
    setResultText(m_resultText, message, resultcolor::DarkRed);
    // A long device path can push the end of the text out of the label.
    m_resultText->setToolTip(message);
    m_read->setEnabled(false);
}

void ReadPage::showLinkOpened() {
    setResultText(m_resultText, lineSettingsNote(), resultcolor::Blue);
    m_resultText->setToolTip(QString());
    m_read->setEnabled(true);
    DebugWindow::setPollBoxEnabled(true);
}

} // namespace kestrune
