#pragma once

#include <QString>
#include <QStringList>

namespace kestrune {

// Program-wide state of the wizard shell that is not a widget: the chosen
// task, the page navigation state, the adapter chosen for discovery and the
// option choices of pages that keep them in the settings store.
//
// The select...() functions are the click handlers of the options: each
// stores its index at once (key = the option's name) and updates the state.
// Indices outside an option array fall back to the array's default, so a
// hand-edited or damaged settings store cannot select a control that does
// not exist.
class ShellState {
public:
    static constexpr int TaskCount = 9;         // Option_SelectWhatToDo(0..8)
    static constexpr int MeterFeatureCount = 6; // Option_SelectMeterFeature(0..5)
    static constexpr const char* NoAdapter = "NO_ADAPTER";

    int selectedTask = 0;
    int currentPage = 0;
    int forcedNextPage = 0;
    QString selectedAdapterDescription;
    QString selectedAdapterIP;
    int chosenDeviceKind = 0;
    QString chosenDeviceIP; // address of the device chosen on page 10
    bool meterPageLinkOpen = false;

    int changeIpSettingsOption = 0; // Option_ChangeIPSettings: 0 network, 1 serial console
    int dhcpOption = 1;             // Option_DHCP
    int enterIpAddressOption = 0;   // Option_EnterIPAddress: 0 network link, 1 serial link
    int selectedMeterFeature = 0;   // Option_SelectMeterFeature
    bool task3Enabled = true;       // withheld after a kind-2 device was chosen on page 10

    // Restores the five options from the settings store (running their click
    // handlers, which store the values again) and the chosen adapter.
    void restoreSavedOptions();

    void selectTask(int index);
    void selectChangeIpSettings(int index);
    void selectDhcp(int index);
    void selectEnterIpAddress(int index);
    void selectMeterFeature(int index);

    bool noAdapter() const { return selectedAdapterIP == QLatin1String(NoAdapter); }
    // Whether the task's option can be chosen: task 3 is withheld after a
    // kind-2 device was chosen on page 10.
    bool taskSelectable(int task) const { return task != 3 || task3Enabled; }
};

// Whether the command line asks for the traffic log at start-up: "/DEBUG" in
// any letter case, anywhere in the arguments (also inside a longer argument,
// as a search of the whole command line would find it). The first element
// (the program path) is not looked at.
bool hasDebugSwitch(const QStringList& arguments);

// Twips (1/1440 inch) to device pixels at the given logical dots per inch.
int twipsToPixels(int twips, double dpi);
// Pixels back to twips (rounded), for checks of a window's size.
int pixelsToTwips(int pixels, double dpi);

} // namespace kestrune
