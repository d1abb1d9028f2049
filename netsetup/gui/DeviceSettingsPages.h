#pragma once

#include "netsetup/GatewaySetup.h"
#include "wizard/gui/WizardPage.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrune {

// What page 50 hands to page 55: the settings to write.
struct DeviceSettingsForm {
    DeviceSettings settings;
    SecuritySettings security;
};

// Page 50 (task 3): the gateway's own settings (ReadDeviceSettings on entry,
// over the network or through the console as the connection page chose):
// UDP or TCP, port, M-Bus line speed, and with Check_SetupDevice_Security
// the Telnet password and the two setup permissions. The controls show only
// once the record was read; "Default" (cmdChangeParameters) puts UDP, 10001
// and 2400 without writing anything. Next ("Write >") hands the settings to
// page 55.
class DeviceSettingsPage : public WizardPage {
    Q_OBJECT
public:
    DeviceSettingsPage(WizardFrame& frame, std::shared_ptr<DeviceSettingsForm> form);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;
    void enter() override;
    void store() override;

private:
    void showSettings(bool visible);
    void fill(const DeviceSettings& settings);
    void securityClicked();

    std::shared_ptr<DeviceSettingsForm> m_form;
    QPlainTextEdit* m_info = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_udpOrTcp = nullptr;
    QLabel* m_lineSpeedLabel = nullptr;
    QComboBox* m_lineSpeed = nullptr;
    QPushButton* m_defaults = nullptr;
    QCheckBox* m_security = nullptr;
    QGroupBox* m_securityFrame = nullptr;
    QCheckBox* m_telnet = nullptr;
    QCheckBox* m_durnhal = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
};

// Page 55 (task 3): the gateway's settings written (WriteDeviceSettings on
// entry: record 0, and record 1 with the security options).
class DeviceSettingsWritePage : public WizardPage {
    Q_OBJECT
public:
    DeviceSettingsWritePage(WizardFrame& frame, std::shared_ptr<DeviceSettingsForm> form);

    QString headerText() const override;
    void build() override;
    void loadSettings() override;
    void enter() override;

private:
    std::shared_ptr<DeviceSettingsForm> m_form;
    QPlainTextEdit* m_info = nullptr;
};

} // namespace kestrune
