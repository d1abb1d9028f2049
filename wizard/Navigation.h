#pragma once

namespace kestrune {

// Page numbers of the wizard.
namespace page {
constexpr int Start = 0;
constexpr int Tasks = 1;
constexpr int Discovery = 10;
constexpr int SetupIpMac = 20;
constexpr int SetupIpAddress = 21;
constexpr int SetupIpNetwork = 22;
constexpr int SerialConsole = 23;
constexpr int Ping = 30;
constexpr int Connection = 40;
constexpr int DeviceSettings = 50;
constexpr int DeviceSettingsWrite = 55;
constexpr int MeterFeatures = 60;
constexpr int Modbus = 70;
constexpr int MBusAscii = 80;
constexpr int Task7 = 90;
constexpr int Task8 = 100;

// Every page, in display order of their numbers.
constexpr int All[] = {0, 1, 10, 20, 21, 22, 23, 30, 40, 50, 55, 60, 70, 80, 90, 100};
} // namespace page

// What Next and Back look at.
struct NavigationInput {
    int page = 0;             // current page
    int task = 0;             // SelectedTask
    int forcedNextPage = 0;   // 0 = none
    int changeIpSettings = 0; // Option_ChangeIPSettings: 0 network, 1 serial console
    int enterIpAddress = 0;   // stored Option_EnterIPAddress: 0 network, 1 serial
    bool task3Enabled = true; // Option_SelectWhatToDo(3) enabled
    bool noAdapter = false;   // SelectedAdapterIP is "NO_ADAPTER"
};

// Where Next or Back leads and what has to happen on the way.
struct Transition {
    bool moves = false;            // false: the button does nothing on this page
    int target = 0;                // the page to show
    int selectTask = -1;           // task option to select on arrival, -1 none
    bool refusedNoAdapter = false; // target needed the network: show text 225
    bool closeSerialPort = false;  // close the console's serial port first
    bool closeLink = false;        // close the communication link first
    bool resetForcedNextPage = false;
};

// Next: the forced next page when set (it is then reset), else the table of
// transitions by page and task. Targets that need the network are refused
// when no usable adapter exists, with the fall-back pages 10 -> 1, 21 -> 20
// (network method), 50 -> 40 and 60 -> 40 (both with the network link: the
// gateway's console and an M-Bus master on a serial port need no adapter).
Transition nextPage(const NavigationInput& in);

// Back: resets the forced next page and goes one step towards the task list.
Transition backPage(const NavigationInput& in);

// Whether Next is enabled when the page is laid out (the task pages enable it
// themselves once their work is done).
bool nextEnabledOnEntry(int page);

// Whether the page exists.
bool isPage(int page);

} // namespace kestrune
