#pragma once

#include "wizard/gui/WizardPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace kestrune {

class SerialPortBox;

// Page 40, the link of tasks 3 to 8: the network (address, port, UDP or
// TCP) or a serial port (port, speed, and for the protocols other than
// M-Bus the data bits, parity and stop bits). The header, explanation and
// the fields offered follow the task.
class ConnectionPage : public WizardPage {
    Q_OBJECT
public:
    explicit ConnectionPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;
    void store() override;

private:
    void enterIpAddressClicked(int index);
    void showEnterIpAddressPanel();

    QLabel* m_intro = nullptr;
    QRadioButton* m_options[2] = {nullptr, nullptr};
    QPlainTextEdit* m_optionTexts[2] = {nullptr, nullptr};
    QWidget* m_panels[2] = {nullptr, nullptr};
    QLabel* m_ipAddressLabel = nullptr;
    QLineEdit* m_ipAddress = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_udpOrTcp = nullptr;
    QLabel* m_serialPortLabel = nullptr;
    SerialPortBox* m_serialPort = nullptr;
    QLabel* m_baudRateLabel = nullptr;
    QComboBox* m_baudRate = nullptr;
    QLabel* m_formatLabels[3] = {nullptr, nullptr, nullptr};
    QComboBox* m_formatLists[3] = {nullptr, nullptr, nullptr}; // data bits, parity, stop bits
};

} // namespace kestrune
