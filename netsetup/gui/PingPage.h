#pragma once

#include "wizard/gui/WizardPage.h"

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrune {

class Pinger;

// Page 30 (task 2): ping a device by its address (Command_Ping: NumberOfPings
// echo requests, PingDelay apart, each with its time or "no answer" in the
// information box). The address is stored as IPAddress.
class PingPage : public WizardPage {
    Q_OBJECT
public:
    explicit PingPage(WizardFrame& frame);
    ~PingPage() override;

    QString headerText() const override;
    void build() override;
    void setCaptions() override;
    void loadSettings() override;

    void ping();

private:
    QPlainTextEdit* m_info = nullptr;
    QLabel* m_addressLabel = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_ping = nullptr;
    std::unique_ptr<Pinger> m_pinger;
};

} // namespace kestrune
