#include "NetsetupPages.h"

#include "netsetup/gui/DeviceSettingsPages.h"
#include "netsetup/gui/DiscoveryPage.h"
#include "netsetup/gui/IpSetupPages.h"
#include "netsetup/gui/PingPage.h"

namespace kestrune {

void addNetsetupPages(PageRegistry& registry) {
    WizardFrame& frame = registry.frame();
    registry.add(std::make_unique<DiscoveryPage>(frame));
    registry.add(std::make_unique<SetupIpMacPage>(frame));
    registry.add(std::make_unique<SetupIpAddressPage>(frame));
    registry.add(std::make_unique<SetupIpNetworkPage>(frame));
    registry.add(std::make_unique<SerialConsolePage>(frame));
    registry.add(std::make_unique<PingPage>(frame));
    // Page 50 hands the settings it shows to page 55, which writes them.
    auto form = std::make_shared<DeviceSettingsForm>();
    registry.add(std::make_unique<DeviceSettingsPage>(frame, form));
    registry.add(std::make_unique<DeviceSettingsWritePage>(frame, form));
}

} // namespace kestrune
