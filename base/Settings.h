#pragma once

#include <QString>

#include <cstdint>

namespace kestrune {

// The per-user settings store: what the user chose on the wizard pages, so
// that the next run starts with the same choices. Every key lives in the
// section "Wizard" of the application "Kestrune". Writes reach the store at
// once. (Backed by QSettings in its native format; tests point
// XDG_CONFIG_HOME at a folder of their own.)
namespace settings {

QString get(const QString& key, const QString& defaultValue = QString());
int64_t getNumber(const QString& key, const QString& defaultValue = QString());
void save(const QString& key, const QString& value);
void save(const QString& key, int64_t value);
bool contains(const QString& key);

// Key kept per task: key + "_" + task number ("SerialPort_4").
QString perTask(const QString& key, int task);

} // namespace settings
} // namespace kestrune
