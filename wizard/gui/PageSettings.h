#pragma once

#include <QString>

class QComboBox;

// Settings of the pages: keys, defaults, and list positions kept in the
// settings store.
namespace kestrune::pagesettings {

// Defaults of the address settings that several pages show.
inline constexpr char DefaultIpAddress[] = "192.168.0.10";
inline constexpr char DefaultMacAddress[] = "00-20-4A-00-00-00";

// A key of the store, and a key kept per task ("SerialPort_4").
QString key(const char* name);
QString taskKey(const char* name, int task);

// A stored list position, or the default when the stored one is not in the
// list (a hand-edited store, or a list that is shorter for this task).
int storedPosition(const QString& settingKey, int defaultPosition, int count);

// Selects the stored position in the list.
void setPosition(QComboBox* combo, const QString& settingKey, int defaultPosition);

// Keeps the list's position under the key (lists whose choice is stored as
// soon as it is made).
void savePosition(const QString& settingKey, int position);

} // namespace kestrune::pagesettings
