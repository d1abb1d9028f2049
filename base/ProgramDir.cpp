#include "ProgramDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kestrune {

namespace {

ProgramFolders& stored() {
    static ProgramFolders folders;
    return folders;
}

// The folders, decided at the first use when start-up has not set them.
const ProgramFolders& current() {
    ProgramFolders& f = stored();
    if (f.program.isEmpty()) {
        const QString overrideDir = qEnvironmentVariable("KESTRUNE_PROGRAM_DIR");
        if (!overrideDir.isEmpty())
            f = flatFolders(overrideDir);
        else if (QCoreApplication::instance())
            f = foldersForExecutable(QCoreApplication::applicationDirPath());
        else
            f = flatFolders(QDir::currentPath());
    }
    return f;
}

} // namespace

QString withTrailingSeparator(const QString& dir) {
    QString d = dir;
    while (d.endsWith(QLatin1Char('/')))
        d.chop(1);
    return d + QLatin1Char('/');
}

ProgramFolders flatFolders(const QString& dir) {
    const QString d = withTrailingSeparator(dir);
    return {d, d, d, d, false};
}

ProgramFolders foldersForExecutable(const QString& executableDir) {
    const QDir bin(QDir::cleanPath(executableDir));
    if (bin.dirName() != QLatin1String("bin"))
        return flatFolders(executableDir);
    const QString prefix = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("..")));
    const QString data = prefix + QStringLiteral("/share/kestrune");
    if (QDir(data).entryList({QStringLiteral("Kestrune_Language.*")}, QDir::Files).isEmpty())
        return flatFolders(executableDir);

    // The file system hierarchy keeps the configuration of /usr in /etc and
    // that of any other prefix (/usr/local, /opt/kestrune) in PREFIX/etc.
    const bool usr = QFileInfo(prefix).fileName() == QLatin1String("usr");
    const QString config =
        QDir::cleanPath(prefix + (usr ? QStringLiteral("/../etc") : QStringLiteral("/etc"))) +
        QStringLiteral("/kestrune");
    return {withTrailingSeparator(bin.absolutePath()), withTrailingSeparator(data),
            withTrailingSeparator(config),
            withTrailingSeparator(prefix + QStringLiteral("/" KESTRUNE_PRIVATE_LIBDIR)), true};
}

void setProgramDir(const QString& dir) {
    stored() = flatFolders(dir);
}

void setProgramFolders(const ProgramFolders& folders) {
    stored() = folders;
}

QString programDir() {
    return current().program;
}

QString textsDir() {
    return current().texts;
}

QString iniFilePath() {
    return current().config + QStringLiteral("Kestrune.INI");
}

QString libraryDir() {
    return current().library;
}

} // namespace kestrune
