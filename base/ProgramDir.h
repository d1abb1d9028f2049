#pragma once

#include <QString>

namespace kestrune {

// Where the program finds its files. Run from a build folder (or from any
// folder named by KESTRUNE_PROGRAM_DIR) all four are that one folder, as the
// program has always worked. Installed in PREFIX/bin beside a data folder
// PREFIX/share/kestrune, they split the way a Debian program lives:
//   texts    PREFIX/share/kestrune/       the language files, the default INI
//   config   /etc/kestrune/ for PREFIX /usr, else PREFIX/etc/kestrune/
//            (the shared Kestrune.INI, edited by hand, kept on upgrade)
//   library  PREFIX/lib/<multiarch>/kestrune/ (the private libZarvek.so)
// Each ends in exactly one '/'. The configuration folder is found from the
// executable's own place, so an installation unpacked into another root
// (TREE/usr/bin) reads TREE/etc/kestrune.
struct ProgramFolders {
    QString program;
    QString texts;
    QString config;
    QString library;
    bool installed = false;
};

// Every folder the same: the build folder and KESTRUNE_PROGRAM_DIR layout.
ProgramFolders flatFolders(const QString& dir);

// The folders of a program whose executable lies in executableDir: the
// installed layout when executableDir is a "bin" folder with the data folder
// beside it (holding at least one language file), else the flat layout.
ProgramFolders foldersForExecutable(const QString& executableDir);

// The folder of the running program. KESTRUNE_PROGRAM_DIR overrides it (tests
// and the demo use that); start-up sets the folders from the executable.
QString programDir();

// The folder of the language files.
QString textsDir();

// The full path of the shared INI file Kestrune.INI.
QString iniFilePath();

// The folder searched first for the support library.
QString libraryDir();

// Sets every folder to dir (start-up with KESTRUNE_PROGRAM_DIR; tests). The
// value is normalised to end in one separator.
void setProgramDir(const QString& dir);

// Sets the folders as found by foldersForExecutable (start-up).
void setProgramFolders(const ProgramFolders& folders);

// Appends a separator when the text does not end in one.
QString withTrailingSeparator(const QString& dir);

} // namespace kestrune
