#pragma once

#include "wizard/gui/WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kestrune {

// Page 50 (task 3): the gateway's own settings as its setup record 0 holds
// them, read when the page shows; Next writes them.
class DeviceSettingsPage : public WizardPage {
    Q_OBJECT
public:
    explicit DeviceSettingsPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;
    void store() override;

private:
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_udpOrTcp = nullptr;
};

// Page 55 (task 3): the gateway's settings written.
class DeviceSettingsWritePage : public WizardPage {
    Q_OBJECT
public:
    explicit DeviceSettingsWritePage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
};

} // namespace kestrune
