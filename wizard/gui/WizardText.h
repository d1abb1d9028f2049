#pragma once

#include "base/Language.h"

#include <QString>

// Small helpers of the wizard window's sources for control names and texts.
namespace kestrune::wizardtext {

// "Name(index)": the objectName of a member of a control array.
inline QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// Language texts carry CR LF line breaks; the widgets want LF.
inline QString shown(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

// Language text n as a widget shows it.
inline QString text(int n) {
    return shown(getText(n));
}

// Words of the file dialogs and of the message boxes after a failed save or
// load. A filter is its name in the user's language and its pattern as
// given ("(*.txt)", " (*.csv)"): the pattern stays what the dialog matches.
// texts: 2650-2652, 2660-2661
constexpr int TextTextFiles = 2650;
constexpr int TextAllFiles = 2651;
constexpr int TextCommaSeparatedFiles = 2652;
constexpr int TextSaveError = 2660;
constexpr int TextOpenError = 2661;

inline QString fileFilter(int nameText, const char* pattern) {
    return text(nameText) + QLatin1String(pattern);
}
inline QString saveErrorTitle() {
    return text(TextSaveError);
}
inline QString openErrorTitle() {
    return text(TextOpenError);
}

} // namespace kestrune::wizardtext
