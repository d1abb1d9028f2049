#pragma once

#include "search/SearchEngine.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace kestrune {

class IniFile;

// The table the search time-out dialog edits: reply time-outs per bus speed
// (300, 2400, 9600 baud) and gateway family (K1, K2) in the INI file,
// section "Search", with their factory values; and the user's choices of
// the active family and of the speed button. (What a search waits at a
// given speed, and the speed buttons' captions, are the engine's:
// searchTimeouts() and speedChoiceCaption() in SearchEngine.h.)
namespace searchtimeouts {

// One row of the table: the key stem (the key is the stem + "_K1" or "_K2")
// and the factory values of both families.
struct Row {
    const char* stem;
    const char* k1;
    const char* k2;
};

inline constexpr int RowCount = 6;
// The rows in dialog order: SND_NKE and RSP_UD2 for 300, 2400 and 9600 baud.
const std::array<Row, RowCount>& rows();

// "SND_NKE_Timeout_300_K1".
QString key(int row, GatewayFamily family);

// The six texts of a family as the dialog shows them: stored values, the
// factory value for an absent key.
QStringList readTexts(const IniFile& ini, GatewayFamily family);
QStringList factoryTexts(GatewayFamily family);
// Stores the six texts as typed (a line break becomes a blank). False at
// the first row the file refused.
[[nodiscard]] bool writeTexts(const IniFile& ini, GatewayFamily family, const QStringList& texts);

// The active family: per-user setting "Option_SearchActiveSetting", "0" for
// K1 (the default), else K2.
GatewayFamily activeFamily();
void storeActiveFamily(GatewayFamily family);

// The speed button a search selects when it shows them: per-user setting
// "Option_Search_Timeout", default 0, kept within 0..2.
int storedSpeedButton();
void storeSpeedButton(int button);

} // namespace searchtimeouts
} // namespace kestrune
