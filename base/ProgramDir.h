#pragma once

#include <QString>

namespace kestrune {

// The folder of the running program, always ending in exactly one '/'. The
// INI file and the language files are looked for here. The environment
// variable KESTRUNE_PROGRAM_DIR overrides it (tests and the demo use that).
QString programDir();

// Sets the program directory explicitly (start-up does this once; tests may
// call it again). The value is normalised to end in one separator.
void setProgramDir(const QString& dir);

// Appends a separator when the text does not end in one.
QString withTrailingSeparator(const QString& dir);

} // namespace kestrune
