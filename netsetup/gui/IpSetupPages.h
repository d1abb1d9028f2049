#pragma once

#include "wizard/gui/WizardPage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

class GatewaySetup;

// Page 20 (task 1): how the gateway is reached, over the network by its MAC
// address or through its serial console, and that address or port.
class SetupIpMacPage : public WizardPage {
    Q_OBJECT
public:
    explicit SetupIpMacPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;
    void enter() override;
    void store() override;

private:
    void changeIpSettingsClicked(int index);
    void showChangeIpSettingsFields();
    void updateMacAddressNext();

    QRadioButton* m_options[2] = {nullptr, nullptr};
    QPlainTextEdit* m_optionTexts[2] = {nullptr, nullptr};
    QLabel* m_macLabel = nullptr;
    QLineEdit* m_macAddress = nullptr;
    QLabel* m_serialLabel = nullptr;
    QComboBox* m_serialPort = nullptr;
};

// Page 21 (task 1): the gateway's new IP settings, or DHCP.
class SetupIpAddressPage : public WizardPage {
    Q_OBJECT
public:
    explicit SetupIpAddressPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;
    void store() override;
    void shellStateChanged() override;

private:
    void dhcpClicked(int index);
    void updateAddressFields();

    QRadioButton* m_dhcpOptions[2] = {nullptr, nullptr};
    QLabel* m_labels[3] = {nullptr, nullptr, nullptr};
    QLineEdit* m_ipAddress = nullptr;
    QLineEdit* m_gateway = nullptr;
    QLineEdit* m_netMask = nullptr;
};

// Page 22 (task 1): the IP settings given over the network
// (Command_SetIPUsingUDP: SetIpOverNetwork with the MAC address of page 20
// and the settings of page 21). Next is enabled once the gateway took them;
// after DHCP it leads to the device discovery, which finds the gateway.
class SetupIpNetworkPage : public WizardPage {
    Q_OBJECT
public:
    explicit SetupIpNetworkPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;

    void setIpUsingUdp();

private:
    QPlainTextEdit* m_info = nullptr;
    QPushButton* m_apply = nullptr;
};

// Page 23: the gateway's serial console, for its IP settings (task 1:
// SetIpOverSerial) or to read and write its settings (task 3: the console
// connection), with Command_ConnectRS232AndDoSomething_Cancel to give up
// waiting for the console. The header counts the wake-up rounds.
class SerialConsolePage : public WizardPage {
    Q_OBJECT
public:
    explicit SerialConsolePage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;

    void connectAndDoSomething();

private:
    QPlainTextEdit* m_info = nullptr;
    QPushButton* m_connect = nullptr;
    QPushButton* m_cancel = nullptr;
    GatewaySetup* m_running = nullptr; // while the button's operation runs
};

} // namespace kestrune
