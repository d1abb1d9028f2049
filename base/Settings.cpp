#include "Settings.h"

#include "TextUtil.h"

#include <QSettings>

namespace kestrune::settings {

namespace {
QString qualified(const QString& key) {
    return QStringLiteral("Wizard/") + key;
}

QSettings store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrune"),
                     QStringLiteral("Kestrune"));
}
} // namespace

QString get(const QString& key, const QString& defaultValue) {
    const QVariant v = store().value(qualified(key));
    return v.isValid() ? v.toString() : defaultValue;
}

int64_t getNumber(const QString& key, const QString& defaultValue) {
    return toNumber(get(key, defaultValue));
}

void save(const QString& key, const QString& value) {
    QSettings s = store();
    s.setValue(qualified(key), value);
    s.sync();
}

void save(const QString& key, int64_t value) {
    save(key, QString::number(value));
}

bool contains(const QString& key) {
    return store().contains(qualified(key));
}

QString perTask(const QString& key, int task) {
    return key + QLatin1Char('_') + QString::number(task);
}

} // namespace kestrune::settings
