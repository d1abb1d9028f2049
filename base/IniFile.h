#pragma once

#include <QString>

#include <cstdint>

namespace kestrune {

// The INI file beside the program (Kestrune.INI): timing parameters shared by
// everyone who runs this installation, and editable by hand.
//
// Section and key names match without regard to letter case. A read returns
// at most 2047 characters. A write keeps every other line of the file as it
// was (comments, unknown lines, blank lines) and replaces the file
// atomically, so a crash never leaves a truncated file behind. The file is
// read on every access: editing it by hand while the program runs works.
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

    // Creates the file and the section when needed; a line break in value
    // is stored as a blank. False when the file could not be written;
    // callers of the wizard ignore the result.
    bool write(const QString& section, const QString& key, const QString& value) const;

private:
    QString m_path;
};

// The program's INI file: ProgramDir + "Kestrune.INI".
IniFile& programIni();

} // namespace kestrune
