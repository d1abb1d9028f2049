#pragma once

#include "modbus/ModbusClient.h"
#include "modbus/RegisterSheet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Register sheet files: comma-separated 8-bit text, every line ended by
// CR LF. Line 1 is the tag "WizardModbus"; line 2 the read parameters
// (automatic numbering 0/1, RTU True/False, TCP True/False, function position,
// slave address, first register, count); lines 3 to 8 the six rows (data
// type position, byte-order position, register, bytes, value, description).
// Every field is followed by a comma; texts are written as they stand, so a
// comma inside a text ends the field when the file is read back.
namespace kestrune::modbus {

inline constexpr char SheetFileTag[] = "WizardModbus";
// Larger files are no register sheets (six rows of the longest texts a box
// holds stay far below).
inline constexpr qsizetype SheetFileLimit = 1024 * 1024;

// The file's contents for the sheet. Texts go out as Latin-1; control
// characters in them (a line break inside a text value) become blanks, so
// no text can start a line of its own.
QByteArray sheetFileText(const RegisterSheet& sheet);

struct SheetLoad {
    // The first line is exactly the tag; otherwise nothing was applied.
    bool accepted = false;
    // What was not applied, one item each: a field that does not convert
    // (line, field, text), non-empty fields beyond a line's last field, row
    // lines beyond the sixth.
    QStringList skipped;
};

// Applies a file's contents to the sheet field by field, as if the user had
// set each: entry checks run, a data type rebuilds the byte-order lists, and
// every row ends with the byte order the file holds for it. Fields that
// don't convert are skipped; the sheet keeps what it had there. Lines may end
// in CR LF, LF or CR; empty lines at the end are ignored.
SheetLoad applySheetFile(QByteArrayView contents, RegisterSheet& sheet);

// What a file command reports in the result label.
struct FileReport {
    bool ok = false;
    // The file could not be opened or read (rather than not being a sheet
    // file): the page reports it in a message box.
    bool unreadable = false;
    QString text; // empty after a successful save
    Tone tone = Tone::Success;
};

// Writes the file as a whole (an existing file is replaced only once the new
// one is complete). On failure: the file's name and why, in red.
FileReport saveSheetFile(const QString& path, const RegisterSheet& sheet);

// Reads the file into the sheet. Not a sheet file (wrong first line, or
// larger than SheetFileLimit): the file's name and language text 1021 in
// red, the sheet unchanged. Loaded: text 1020 in blue, followed by what was
// skipped.
FileReport loadSheetFile(const QString& path, RegisterSheet& sheet);

} // namespace kestrune::modbus
