#pragma once

#include "wizard/gui/WizardPage.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace kestrune {

// Page 30 (task 2): ping a device by its address.
class PingPage : public WizardPage {
    Q_OBJECT
public:
    explicit PingPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;

private:
    QPlainTextEdit* m_info = nullptr;
    QLabel* m_addressLabel = nullptr;
    QLineEdit* m_address = nullptr;
};

} // namespace kestrune
