#pragma once

#include "channel/gui/LinkPage.h"

class QPlainTextEdit;

namespace kestrune {

// Pages 90 and 100 (tasks 7 and 8): they only open the link and say whether
// that worked, in their information box and in a message box. Leaving the
// page closes the link.
class LinkTestPage : public LinkPage {
    Q_OBJECT
public:
    LinkTestPage(int number, WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void loadSettings() override;

protected:
    void showLinkFailure(int textNumber, const QString& error) override;
    void showLinkOpened() override;
    void linkAttempted(bool open) override;

private:
    // Language text 395, and the line-setting note when there is one.
    QString openedText() const;

    QPlainTextEdit* m_info = nullptr;
};

} // namespace kestrune
