#include "netsetup/SetupRecords.h"

#include <algorithm>
#include <array>

namespace kestrune {

namespace {

std::array<SetupRecord, SetupRecord::kRecordCount>& records() {
    // Numbered from the start (and empty until created), so that a record
    // asked for before start-up still knows which one it is.
    static std::array<SetupRecord, SetupRecord::kRecordCount> all = [] {
        std::array<SetupRecord, SetupRecord::kRecordCount> numbered;
        for (int n = 0; n < SetupRecord::kRecordCount; ++n)
            numbered[static_cast<size_t>(n)] = SetupRecord(n);
        return numbered;
    }();
    return all;
}

} // namespace

void createSetupRecords() {
    for (int n = 0; n < SetupRecord::kRecordCount; ++n) {
        SetupRecord record(n);
        record.restoreDefaults(false);
        records()[static_cast<size_t>(n)] = record;
    }
}

SetupRecord& setupRecord(int n) {
    return records()[static_cast<size_t>(std::clamp(n, 0, SetupRecord::kRecordCount - 1))];
}

} // namespace kestrune
