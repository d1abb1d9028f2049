#include "ConnectionPage.h"

#include "base/Language.h"
#include "base/Settings.h"
#include "channel/SerialPorts.h"
#include "channel/gui/SerialPortBox.h"
#include "wizard/Navigation.h"
#include "wizard/PageRules.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include <algorithm>

namespace kestrune {

namespace {

// Header and explanation per task 3 to 8 (task 3: 360/361, tasks 4 to 8:
// 371/372 to 379/380), the options' long labels, the field labels.
// texts: 360, 361, 371-393, 690
constexpr int TextTask3Header = 360;
constexpr int TextTask3Info = 361;
constexpr int TextTask4Header = 371;
constexpr int TextLinkNetwork = 381;
constexpr int TextLinkNetworkGateway = 393;
constexpr int TextLinkSerialConsole = 382;
constexpr int TextLinkSerial = 383;
constexpr int TextIpAddress = 384;
constexpr int TextPort = 385;
constexpr int TextUdp = 386;
constexpr int TextSerialPort = 387;
constexpr int TextBaudRate = 388;
constexpr int TextDataBits = 389; // 389 data bits, 390 parity, 391 stop bits
constexpr int TextMBusSpeed = 392;
constexpr int TextRarelySupported = 690;

using namespace pagesettings;
using twips::RowHeight;
using twips::RowStep;
using wizardtext::indexed;
using wizardtext::text;

// The header text of the task; its explanation is the text after it (but
// for task 3).
int headerNumber(int task) {
    return task == 3 ? TextTask3Header : TextTask4Header + 2 * (std::clamp(task, 4, 8) - 4);
}

} // namespace

ConnectionPage::ConnectionPage(WizardFrame& frame) : WizardPage(page::Connection, frame) {}

QString ConnectionPage::headerText() const {
    return text(headerNumber(state().selectedTask));
}

void ConnectionPage::build() {
    const PageLayout& l = pageLayout();
    m_intro = new QLabel(this);
    m_intro->setObjectName(indexed("Label_Info", page::Connection));
    m_intro->setWordWrap(true);
    m_intro->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l.place(m_intro, 240, 810, twips::WindowWidth - 480, 660);

    for (int i = 0; i < 2; ++i) {
        const auto option =
            l.addLongLabelOption(this, indexed("Option_EnterIPAddress", i), 40 + i, 1530 + i * 570,
                                 540, [this, i] { enterIpAddressClicked(i); });
        m_options[i] = option.option;
        m_optionTexts[i] = option.info;
    }
    for (int i = 0; i < 2; ++i) {
        connect(m_options[i], &QRadioButton::clicked, this,
                [this, i] { enterIpAddressClicked(i); });
        m_panels[i] = new QWidget(this);
        m_panels[i]->setObjectName(indexed("Picture_EnterIPAddress", i));
        l.place(m_panels[i], 600, 2730, twips::WindowWidth - 840, 3 * RowStep);
    }

    // The network link: address, port, UDP or TCP.
    QWidget* net = m_panels[0];
    m_ipAddressLabel = l.addLabel(net, QStringLiteral("Label_EnterIPAddress"), 0, 0, 1440);
    m_ipAddress = l.addLineEdit(net, QStringLiteral("Text_EnterIPAddress"), 1500, 0, 2400);
    m_ipAddress->setMaxLength(255);
    m_portLabel = l.addLabel(net, QStringLiteral("Label_EnterIPAddress_Port"), 0, RowStep, 1440);
    m_port = l.addLineEdit(net, QStringLiteral("Text_EnterIPAddress_Port"), 1500, RowStep, 1080);
    m_port->setMaxLength(10);
    m_udpOrTcp = l.addCheckBox(net, QStringLiteral("Check_EnterIPAddress_UDPorTCP"), 1500,
                               2 * RowStep, 4500);

    // The serial link: port and speed, and for the protocols other than
    // M-Bus the data bits, parity and stop bits.
    QWidget* ser = m_panels[1];
    m_serialPortLabel =
        l.addLabel(ser, QStringLiteral("Label_EnterIPAddress_SerialPort"), 0, 0, 1440);
    m_serialPort = new SerialPortBox(ser);
    m_serialPort->setObjectName(QStringLiteral("Combo_EnterIPAddress_SerialPort"));
    l.place(m_serialPort, 1500, 0, 2640, twips::RowHeight);
    m_baudRateLabel =
        l.addLabel(ser, QStringLiteral("Label_EnterIPAddress_BaudRate"), 0, RowStep, 1440);
    m_baudRate =
        l.addCombo(ser, QStringLiteral("Combo_EnterIPAddress_BaudRate"), 1500, RowStep, 2640);
    const char* formatLabels[3] = {"Label_EnterIPAddress_Databits", "Label_EnterIPAddress_Parity",
                                   "Label_EnterIPAddress_Stopbits"};
    const char* formatLists[3] = {"Combo_EnterIPAddress_Databits", "Combo_EnterIPAddress_Parity",
                                  "Combo_EnterIPAddress_Stopbits"};
    for (int i = 0; i < 3; ++i) {
        m_formatLabels[i] =
            l.addLabel(ser, QLatin1String(formatLabels[i]), 4320, i * RowStep, 1080);
        m_formatLists[i] = l.addCombo(ser, QLatin1String(formatLists[i]), 5400, i * RowStep, 1290);
    }
    // Port and speed are kept as soon as they are chosen.
    connect(m_serialPort, &QComboBox::activated, this, [this](int index) {
        savePosition(taskKey("SerialPort", state().selectedTask), index);
    });
    connect(m_baudRate, &QComboBox::activated, this, [this](int index) {
        savePosition(taskKey("Combo_EnterIPAddress_BaudRate", state().selectedTask), index);
    });
}

void ConnectionPage::prepare() {
    enterIpAddressClicked(state().enterIpAddressOption);
    m_serialPort->setPorts(serialPortDisplayNames());
    m_formatLists[0]->addItems(dataBitsItems());
    m_formatLists[1]->addItems(parityItems());
    m_formatLists[2]->addItems(stopBitsItems());
}

void ConnectionPage::setCaptions() {
    m_ipAddressLabel->setText(text(TextIpAddress));
    m_portLabel->setText(text(TextPort));
    m_udpOrTcp->setText(text(TextUdp));
    m_serialPortLabel->setText(text(TextSerialPort));
    for (int i = 0; i < 3; ++i)
        m_formatLabels[i]->setText(text(TextDataBits + i));
    // The options' names follow the task; they are set when the page is laid out.
    for (int i = 0; i < 2; ++i)
        m_options[i]->setAccessibleName(QString());
}

void ConnectionPage::loadSettings() {
    const int task = state().selectedTask;
    const bool task3 = task == 3;

    // Explanation and the options' long labels of the task.
    m_intro->setText(text(task3 ? TextTask3Info : headerNumber(task) + 1));
    m_optionTexts[0]->setPlainText(text(task3 ? TextLinkNetworkGateway : TextLinkNetwork));
    m_optionTexts[1]->setPlainText(text(task3 ? TextLinkSerialConsole : TextLinkSerial));
    for (int i = 0; i < 2; ++i)
        m_options[i]->setAccessibleName(m_optionTexts[i]->toPlainText());
    m_baudRateLabel->setText(text(task == 4 ? TextMBusSpeed : TextBaudRate));

    m_baudRate->clear();
    m_baudRate->addItems(baudRateItems(task, getText(TextRarelySupported)));
    setPosition(m_baudRate, taskKey("Combo_EnterIPAddress_BaudRate", task), 3);
    m_ipAddress->setText(settings::get(key("IPAddress"), QLatin1String(DefaultIpAddress)));
    setPosition(m_serialPort, taskKey("SerialPort", task), 0);
    setPosition(m_formatLists[0], taskKey("SerialDatabits", task), 1);
    setPosition(m_formatLists[1], taskKey("SerialParity", task), 0);
    setPosition(m_formatLists[2], taskKey("SerialStopbits", task), 0);
    m_udpOrTcp->setChecked(settings::getNumber(key("UDPorTCP"), QStringLiteral("1")) != 0);
    m_port->setText(settings::get(key("TCPPort"), QStringLiteral("10001")));

    // Task 3 reaches the gateway's setup service and console, which have
    // their own port and speed.
    m_baudRateLabel->setVisible(!task3);
    m_baudRate->setVisible(!task3);
    m_portLabel->setVisible(!task3);
    m_port->setVisible(!task3);
    m_udpOrTcp->setVisible(!task3);
    // The serial format fields show only for the tasks that choose them.
    for (int i = 0; i < 3; ++i) {
        m_formatLabels[i]->setVisible(serialFormatShown(task));
        m_formatLists[i]->setVisible(serialFormatShown(task));
    }
    m_options[state().enterIpAddressOption]->setChecked(true);
    showEnterIpAddressPanel();
}

void ConnectionPage::store() {
    const int task = state().selectedTask;
    settings::save(key("IPAddress"), m_ipAddress->text());
    settings::save(key("TCPPort"), portTextToStore(m_port->text()));
    settings::save(key("UDPorTCP"), int64_t{m_udpOrTcp->isChecked() ? 1 : 0});
    savePosition(taskKey("SerialDatabits", task), m_formatLists[0]->currentIndex());
    savePosition(taskKey("SerialStopbits", task), m_formatLists[2]->currentIndex());
    savePosition(taskKey("SerialParity", task), m_formatLists[1]->currentIndex());
}

void ConnectionPage::enterIpAddressClicked(int index) {
    state().selectEnterIpAddress(index);
    m_options[state().enterIpAddressOption]->setChecked(true);
    showEnterIpAddressPanel();
}

void ConnectionPage::showEnterIpAddressPanel() {
    for (int i = 0; i < 2; ++i)
        m_panels[i]->setVisible(i == state().enterIpAddressOption);
}

} // namespace kestrune
