#include "Navigation.h"

namespace kestrune {

namespace {

// The plain Next table, before the network check.
Transition nextByTable(const NavigationInput& in) {
    Transition t;
    t.moves = true;
    switch (in.page) {
    case page::Start:
        t.target = page::Tasks;
        break;
    case page::Tasks:
        switch (in.task) {
        case 0:
            t.target = page::Discovery;
            break;
        case 1:
            t.target = page::SetupIpMac;
            break;
        case 2:
            t.target = page::Ping;
            break;
        default:
            t.target = page::Connection;
            break;
        }
        break;
    case page::Discovery:
        t.target = page::Tasks;
        break;
    case page::SetupIpMac:
        t.target = page::SetupIpAddress;
        break;
    case page::SetupIpAddress:
        t.target = in.changeIpSettings == 0 ? page::SetupIpNetwork : page::SerialConsole;
        break;
    case page::SetupIpNetwork:
        t.target = page::Tasks;
        t.selectTask = 2;
        break;
    case page::SerialConsole:
        if (in.task == 1) {
            t.target = page::Tasks;
            t.selectTask = 2;
        } else if (in.task == 3) {
            t.target = page::DeviceSettings;
        } else {
            t.moves = false;
        }
        break;
    case page::Ping:
        t.target = page::Tasks;
        t.selectTask = in.task3Enabled ? 3 : 4;
        break;
    case page::Connection:
        switch (in.task) {
        case 3:
            t.target = in.enterIpAddress == 0 ? page::DeviceSettings : page::SerialConsole;
            break;
        case 4:
            t.target = page::MeterFeatures;
            break;
        case 5:
            t.target = page::Modbus;
            break;
        case 6:
            t.target = page::MBusAscii;
            break;
        case 7:
            t.target = page::Task7;
            break;
        case 8:
            t.target = page::Task8;
            break;
        default:
            t.moves = false;
            break;
        }
        break;
    case page::DeviceSettings:
        t.target = page::DeviceSettingsWrite;
        break;
    case page::DeviceSettingsWrite:
        t.closeSerialPort = true;
        t.target = page::Tasks;
        t.selectTask = 4;
        break;
    default: // 60 to 100: Next is disabled there
        t.moves = false;
        break;
    }
    return t;
}

} // namespace

Transition nextPage(const NavigationInput& in) {
    Transition t;
    if (in.forcedNextPage != 0 && isPage(in.forcedNextPage)) {
        t.moves = true;
        t.target = in.forcedNextPage;
        t.resetForcedNextPage = true;
    } else {
        t = nextByTable(in);
        if (!t.moves)
            return t;
    }

    if (in.noAdapter) {
        int fallBack = -1;
        if (t.target == page::Discovery)
            fallBack = page::Tasks;
        else if (t.target == page::SetupIpAddress && in.changeIpSettings == 0)
            fallBack = page::SetupIpMac;
        else if (t.target == page::DeviceSettings && in.enterIpAddress == 0)
            fallBack = page::Connection;
        else if (t.target == page::MeterFeatures && in.enterIpAddress == 0)
            fallBack = page::Connection;
        if (fallBack >= 0) {
            t.target = fallBack;
            t.refusedNoAdapter = true;
            t.selectTask = -1;
        }
    }
    return t;
}

Transition backPage(const NavigationInput& in) {
    Transition t;
    t.resetForcedNextPage = true;
    t.moves = true;
    switch (in.page) {
    case page::Tasks:
        t.target = page::Start;
        break;
    case page::Discovery:
    case page::SetupIpMac:
    case page::Ping:
    case page::Connection:
        t.target = page::Tasks;
        break;
    case page::SetupIpAddress:
        t.target = page::SetupIpMac;
        break;
    case page::SetupIpNetwork:
        t.target = page::SetupIpAddress;
        break;
    case page::SerialConsole:
        if (in.task == 1) {
            t.closeSerialPort = true;
            t.target = page::SetupIpAddress;
        } else {
            t.target = page::Connection;
        }
        break;
    case page::DeviceSettings:
        t.target = in.enterIpAddress == 0 ? page::Connection : page::SerialConsole;
        break;
    case page::DeviceSettingsWrite:
        t.target = page::DeviceSettings;
        break;
    case page::MeterFeatures:
    case page::Task7:
    case page::Task8:
        // The link is closed by leaving the page (SavePageSettings).
        t.target = page::Connection;
        break;
    case page::Modbus:
    case page::MBusAscii:
        t.closeLink = true;
        t.target = page::Connection;
        break;
    default: // page 0: Back is disabled
        t.moves = false;
        break;
    }
    return t;
}

bool nextEnabledOnEntry(int p) {
    switch (p) {
    case page::Discovery:
    case page::SetupIpNetwork:
    case page::SerialConsole:
    case page::Ping:
    case page::DeviceSettings:
    case page::MeterFeatures:
    case page::Modbus:
    case page::MBusAscii:
    case page::Task7:
    case page::Task8:
        return false;
    default:
        return true;
    }
}

bool isPage(int p) {
    for (int n : page::All) {
        if (n == p)
            return true;
    }
    return false;
}

} // namespace kestrune
