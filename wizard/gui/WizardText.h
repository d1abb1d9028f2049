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

} // namespace kestrune::wizardtext
