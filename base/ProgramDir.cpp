#include "ProgramDir.h"

#include <QCoreApplication>
#include <QDir>

namespace kestrune {

namespace {
QString& storedDir() {
    static QString dir;
    return dir;
}
} // namespace

QString withTrailingSeparator(const QString& dir) {
    QString d = dir;
    while (d.endsWith(QLatin1Char('/')))
        d.chop(1);
    return d + QLatin1Char('/');
}

void setProgramDir(const QString& dir) {
    storedDir() = withTrailingSeparator(dir);
}

QString programDir() {
    QString& dir = storedDir();
    if (dir.isEmpty()) {
        const QString overrideDir = qEnvironmentVariable("KESTRUNE_PROGRAM_DIR");
        if (!overrideDir.isEmpty())
            dir = withTrailingSeparator(overrideDir);
        else if (QCoreApplication::instance())
            dir = withTrailingSeparator(QCoreApplication::applicationDirPath());
        else
            dir = withTrailingSeparator(QDir::currentPath());
    }
    return dir;
}

} // namespace kestrune
