#include "PageSettings.h"

#include "base/Settings.h"

#include <QComboBox>

namespace kestrune::pagesettings {

QString key(const char* name) {
    return QLatin1String(name);
}

QString taskKey(const char* name, int task) {
    return settings::perTask(QLatin1String(name), task);
}

int storedPosition(const QString& settingKey, int defaultPosition, int count) {
    const int64_t v = settings::getNumber(settingKey, QString::number(defaultPosition));
    return (v >= 0 && v < count) ? static_cast<int>(v) : defaultPosition;
}

void setPosition(QComboBox* combo, const QString& settingKey, int defaultPosition) {
    combo->setCurrentIndex(storedPosition(settingKey, defaultPosition, combo->count()));
}

void savePosition(const QString& settingKey, int position) {
    settings::save(settingKey, int64_t{position});
}

} // namespace kestrune::pagesettings
