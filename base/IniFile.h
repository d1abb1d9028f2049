#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kestrune {

// The INI file beside the program (Kestrune.INI): timing parameters shared by
// everyone who runs this installation, and editable by hand.
//
// Section and key names match without regard to letter case. A read returns
// at most 2047 characters. A write keeps every other line of the file as it
// was (comments, unknown lines, blank lines) and replaces the file
// atomically, so a crash never leaves a truncated file behind. Where the
// folder refuses the temporary file that takes (an installation folder only
// the administrator may write to, with the INI file writable for users), the
// file is written in place instead. A file that exists but cannot be read is
// never written: its other entries would be lost. The file is read on every
// access: editing it by hand while the program runs works.
class IniFile {
public:
    static constexpr int MaxValueLength = 2047;

    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The value of section/key, or defaultValue when the key is absent.
    QString read(const QString& section, const QString& key,
                 const QString& defaultValue = QString()) const;

    // The leading number of the value (0 when it is not a number).
    int64_t readNumber(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;

    // The names of the file's sections in file order (empty when there is
    // no file or it cannot be read).
    QStringList sections() const;

    // Creates the file and the section when needed; a line break in value
    // is stored as a blank. False when the file could not be written, or
    // exists but could not be read (it is then left as it is).
    bool write(const QString& section, const QString& key, const QString& value) const;

private:
    QString m_path;
};

// The program's INI file: Kestrune.INI in the program folder, or in the
// configuration folder of an installed program (see ProgramDir.h).
IniFile& programIni();

} // namespace kestrune
