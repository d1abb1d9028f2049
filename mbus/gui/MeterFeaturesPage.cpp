#include "MeterFeaturesPage.h"

#include "base/Language.h"
#include "channel/gui/DebugWindow.h"
#include "wizard/Navigation.h"
#include "wizard/PageRules.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WizardText.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace kestrune {

namespace {

// texts: 114, 364, 650, 826, 1115
constexpr int TextHeader = 114;
constexpr int TextReady = 364;
constexpr int TextApplyStart = 650;
constexpr int TextSearch = 826;
constexpr int TextDebug = 1115;

using wizardtext::shown;
using wizardtext::text;

} // namespace

MeterFeaturesPage::MeterFeaturesPage(WizardFrame& frame)
    : LinkPage(page::MeterFeatures, frame, OnLeave::CloseLink) {}

QString MeterFeaturesPage::headerText() const {
    return text(TextHeader);
}

void MeterFeaturesPage::build() {
    const PageLayout& l = pageLayout();
    m_info =
        l.addInfoText(this, page::MeterFeatures, QRect(240, 900, twips::WindowWidth - 480, 3600));
    const int top = twips::ButtonRowTop;
    m_apply = l.addButton(this, QStringLiteral("Command_MeterFeature_Apply"), 240, top, 1500);
    m_search = l.addButton(this, QStringLiteral("Command_MeterFeature_Search"), 1860, top, 1500);
    m_debug = l.addButton(this, QStringLiteral("Command_MeterFeature_Debug"),
                          twips::WindowWidth - 240 - 1500, top, 1500);
    // The six meter operations behind Apply (and their option buttons and
    // address fields) come with the meter configuration subsystem: until
    // then Apply follows the link's state and runs nothing. The search
    // window behind Search comes with the meter search; the button stays
    // disabled until it is there.
    m_search->setEnabled(false);
    connect(m_debug, &QPushButton::clicked, this, [this] { frame().toggleTrafficLog(); });
}

void MeterFeaturesPage::setCaptions() {
    m_apply->setText(QLatin1Char('&') + text(TextApplyStart));
    m_search->setText(text(TextSearch));
    m_debug->setText(text(TextDebug));
}

void MeterFeaturesPage::loadSettings() {
    m_info->setPlainText(text(TextReady));
    LinkPage::loadSettings();
}

void MeterFeaturesPage::showLinkFailure(int textNumber, const QString& error) {
    m_info->setPlainText(shown(meterPageFailureText(getText(textNumber), error)));
    m_apply->setEnabled(false);
    state().meterPageLinkOpen = false;
}

void MeterFeaturesPage::showLinkOpened() {
    // The selected meter feature sets the page up once the meter operations
    // are part of it; of its set-up the continuous poll is here already:
    // features 0 and 4 can be repeated.
    m_apply->setEnabled(true);
    state().meterPageLinkOpen = true;
    DebugWindow::setPollBoxEnabled(pollTarget(number(), state().selectedMeterFeature) !=
                                   PollTarget::None);
}

} // namespace kestrune
