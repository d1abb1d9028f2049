#pragma once

#include "wizard/gui/WizardPage.h"

namespace kestrune {

// Page 10 (task 0): the devices found on the local network. Next offers to
// open the web page of a kind-2 device and withholds task 3 (and the gateway
// and mask fields of page 21) for such a device.
class DiscoveryPage : public WizardPage {
    Q_OBJECT
public:
    explicit DiscoveryPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void beforeNext() override;
    void store() override;

private:
    bool m_openWebPage = false;
};

} // namespace kestrune
