#pragma once

#include "netsetup/SetupRecord.h"

namespace kestrune {

// The program's eight setup records, numbered 0 to 7. They live for the
// whole run: the setup pages and operations read into them and write from
// them, so the last record read stays at hand.
//
// Creates (again) all eight and resets each to its factory contents; the
// start-up of the program calls this once.
void createSetupRecords();

// Record n (clamped into 0..7).
SetupRecord& setupRecord(int n);

} // namespace kestrune
