#include "ShellState.h"

#include "base/Settings.h"

#include <QtMath>

namespace kestrune {

namespace {

// Reads a stored option index; anything outside 0..count-1 gives the default.
int storedIndex(const char* key, int defaultIndex, int count) {
    const int64_t v = settings::getNumber(QLatin1String(key), QString::number(defaultIndex));
    return (v >= 0 && v < count) ? static_cast<int>(v) : defaultIndex;
}

// The click handlers store their option at once. A value that is already
// stored as it is is not written again: every write replaces the settings
// file on disk, and start-up runs all five handlers.
void store(const char* key, int value) {
    const QString k = QLatin1String(key);
    const QString v = QString::number(value);
    if (!settings::contains(k) || settings::get(k) != v)
        settings::save(k, v);
}

int validIndex(int index, int defaultIndex, int count) {
    return (index >= 0 && index < count) ? index : defaultIndex;
}

} // namespace

void ShellState::restoreSavedOptions() {
    selectTask(storedIndex("Option_SelectWhatToDo", 0, TaskCount));
    selectChangeIpSettings(storedIndex("Option_ChangeIPSettings", 0, 2));
    selectDhcp(storedIndex("Option_DHCP", 1, 2));
    selectEnterIpAddress(storedIndex("Option_EnterIPAddress", 0, 2));
    selectMeterFeature(storedIndex("Option_SelectMeterFeature", 0, MeterFeatureCount));
    selectedAdapterDescription = settings::get(QStringLiteral("SelectedAdapterDescription"));
    selectedAdapterIP = settings::get(QStringLiteral("SelectedAdapterIP"));
}

void ShellState::selectTask(int index) {
    selectedTask = validIndex(index, 0, TaskCount);
    store("Option_SelectWhatToDo", selectedTask);
}

void ShellState::selectChangeIpSettings(int index) {
    changeIpSettingsOption = validIndex(index, 0, 2);
    store("Option_ChangeIPSettings", changeIpSettingsOption);
}

void ShellState::selectDhcp(int index) {
    dhcpOption = validIndex(index, 1, 2);
    store("Option_DHCP", dhcpOption);
}

void ShellState::selectEnterIpAddress(int index) {
    enterIpAddressOption = validIndex(index, 0, 2);
    store("Option_EnterIPAddress", enterIpAddressOption);
}

void ShellState::selectMeterFeature(int index) {
    selectedMeterFeature = validIndex(index, 0, MeterFeatureCount);
    store("Option_SelectMeterFeature", selectedMeterFeature);
}

bool hasDebugSwitch(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).contains(QLatin1String("/DEBUG"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

int twipsToPixels(int twips, double dpi) {
    return qRound(twips * dpi / 1440.0);
}

int pixelsToTwips(int pixels, double dpi) {
    return dpi > 0 ? qRound(pixels * 1440.0 / dpi) : 0;
}

} // namespace kestrune
