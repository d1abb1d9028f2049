#pragma once

#include "channel/Explain.h"

class QWidget;

namespace kestrune {

// What the continuous poll of the traffic log window presses.
enum class PollTarget {
    None,              // nothing on this page
    MeterFeatureApply, // page 60, meter feature 0 or 4: Command_MeterFeature_Apply
    ModbusRead,        // page 70: Command_ModBus_MeterFeature_Read
    AsciiRead,         // page 80: Command_MBusAscii_MeterFeature_Read
};

// The poll target of a page and the meter feature selected on page 60.
PollTarget pollTarget(int page, int meterFeature);

// Whether the continuous-poll box starts enabled when the window loads:
// page 60 with meter feature 4, or page 70 or 80.
bool pollBoxEnabledAtLoad(int page, int meterFeature);

// The wizard as the traffic log window sees it. The wizard implements this
// and outlives the window.
class DebugHost {
public:
    virtual ~DebugHost() = default;

    // The window the traffic log opens beside (may be nullptr).
    virtual QWidget* mainWindow() = 0;
    // The page on show (0, 1, 10, ..., 60, 70, 80).
    virtual int currentPage() const = 0;
    // The meter feature selected on page 60 (0-based option index).
    virtual int selectedMeterFeature() const = 0;
    // Runs one poll: presses the button the target names. Called only with a
    // target other than None, never re-entered while it runs.
    virtual void pollAction(PollTarget target) = 0;
    // The protocol the current task speaks, for the log's explanations
    // (Unknown: tell it from the bytes).
    virtual TelegramProtocol trafficProtocol() const { return TelegramProtocol::Unknown; }
};

} // namespace kestrune
