// The program folder a test runs the wizard's code in: a temporary folder
// set as the program folder (for this process and, through the environment,
// for the programs it starts), the user settings in a folder of its own, the
// language file and the support library copied from the build folder, the
// English texts loaded and the INI file written. Tests that include this
// link kestrune_base.
#pragma once

#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace fixture {

// Writes bytes as the whole file. Empty when done, otherwise why not.
inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    return {};
}

// The English texts, from the source tree (always there, built or not).
inline bool loadLanguage() {
    return kestrune::languageTable().loadFile(
        QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001"));
}

// The environment of a program started from a test: the given program folder
// and user settings folder.
inline QProcessEnvironment programEnvironment(const QString& program, const QString& config) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRUNE_PROGRAM_DIR"), program);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    return env;
}

// Makes `program` the program folder and `config` the user settings folder,
// for this process and every program it starts.
inline void useProgramDir(const QString& program, const QString& config) {
    QDir().mkpath(program);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("KESTRUNE_PROGRAM_DIR", program.toLocal8Bit());
    kestrune::setProgramDir(program);
}

inline const QStringList& programFiles() {
    static const QStringList files{QStringLiteral("Kestrune_Language.001"),
                                   QStringLiteral("libZarvek.so")};
    return files;
}

// INI sections of every task's link with no bus delay and the given waits.
inline QByteArray taskWaits(int busTimeout, int openTimeout) {
    QByteArray text;
    for (const char* section : {"IP", "ModBus", "MBusASCII", "PadPuls", "FreePacketAndString"})
        text += QByteArray("[") + section +
                "]\nBusDelay=0\nBusTimeout=" + QByteArray::number(busTimeout) +
                "\nOpenTimeout=" + QByteArray::number(openTimeout) + "\n";
    return text;
}

// The whole program folder: useProgramDir(), then the files copied from the
// build folder, the English texts loaded and the INI file written (when
// given). Empty when done, otherwise what failed.
inline QString prepareProgramDir(const QString& program, const QString& config,
                                 const QByteArray& ini = {},
                                 const QStringList& files = programFiles()) {
    useProgramDir(program, config);
    const QString dir = kestrune::withTrailingSeparator(program);
    for (const QString& file : files) {
        const QString from = QStringLiteral(KESTRUNE_BINARY_DIR "/") + file;
        if (!QFile::copy(from, dir + file))
            return QStringLiteral("cannot copy %1 into %2").arg(from, program);
    }
    if (!loadLanguage())
        return QStringLiteral("the English language file does not load");
    return ini.isEmpty() ? QString() : writeFile(dir + QStringLiteral("Kestrune.INI"), ini);
}

// The same with the program folder `program` and the settings folder `config`
// inside one temporary folder.
inline QString prepareProgramDir(const QDir& top, const QByteArray& ini = {},
                                 const QStringList& files = programFiles()) {
    return prepareProgramDir(top.filePath(QStringLiteral("program")),
                             top.filePath(QStringLiteral("config")), ini, files);
}

// The user settings store as the wizard keeps it.
inline QSettings userSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kestrune"),
                     QStringLiteral("Kestrune"));
}

// Every user setting removed; then the language chosen (none when empty), so
// that the wizard starts without asking for one.
inline void clearUserSettings(const QString& language = QStringLiteral("001")) {
    userSettings().clear();
    if (!language.isEmpty())
        kestrune::settings::save(QStringLiteral("Language"), language);
}

} // namespace fixture
