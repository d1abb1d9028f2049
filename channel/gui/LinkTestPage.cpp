#include "LinkTestPage.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "wizard/Navigation.h"
#include "wizard/PageRules.h"
#include "wizard/gui/WizardText.h"

#include <QMessageBox>
#include <QPlainTextEdit>

namespace kestrune {

namespace {

// texts: 117, 118, 158, 395, 397
constexpr int TextTask7Header = 117; // task 8: 118
constexpr int TextLinkFailed = 158;
constexpr int TextLinkOpened = 395;
constexpr int TextLinkTestInfo = 397;

using wizardtext::shown;
using wizardtext::text;

} // namespace

LinkTestPage::LinkTestPage(int number, WizardFrame& frame)
    : LinkPage(number, frame, OnLeave::CloseLink) {}

QString LinkTestPage::headerText() const {
    return text(number() == page::Task7 ? TextTask7Header : TextTask7Header + 1);
}

void LinkTestPage::build() {
    m_info =
        pageLayout().addInfoText(this, number(), QRect(240, 900, twips::WindowWidth - 480, 3600));
}

void LinkTestPage::loadSettings() {
    m_info->setPlainText(text(TextLinkTestInfo));
    LinkPage::loadSettings();
}

void LinkTestPage::showLinkFailure(int textNumber, const QString& error) {
    m_info->setPlainText(text(TextLinkTestInfo) + QStringLiteral("\n\n") +
                         shown(meterPageFailureText(getText(textNumber), error)));
}

QString LinkTestPage::openedText() const {
    const QString note = lineSettingsNote();
    return note.isEmpty() ? text(TextLinkOpened)
                          : text(TextLinkOpened) + QStringLiteral("\n") + note;
}

void LinkTestPage::showLinkOpened() {
    m_info->setPlainText(text(TextLinkTestInfo) + QStringLiteral("\n\n") + openedText());
}

void LinkTestPage::linkAttempted(bool open) {
    QWidget* window = frame().mainWindow();
    if (open)
        QMessageBox::information(window, QStringLiteral("Kestrune"), openedText());
    else
        QMessageBox::warning(
            window, QStringLiteral("Kestrune"),
            shown(meterPageFailureText(getText(TextLinkFailed), frame().link().connectionError())));
}

} // namespace kestrune
