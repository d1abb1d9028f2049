#pragma once

#include "channel/gui/LinkPage.h"

class QPlainTextEdit;
class QPushButton;

namespace kestrune {

// Page 60, the M-Bus meter features of task 4: the operation on one meter
// behind Apply, the search window behind Search, the traffic log behind
// Debug. Leaving the page closes the link.
class MeterFeaturesPage : public LinkPage {
    Q_OBJECT
public:
    explicit MeterFeaturesPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;

protected:
    void showLinkFailure(int textNumber, const QString& error) override;
    void showLinkOpened() override;

private:
    QPlainTextEdit* m_info = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_debug = nullptr;
};

} // namespace kestrune
