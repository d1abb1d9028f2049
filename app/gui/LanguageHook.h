#pragma once

class QWidget;

namespace kestrune {

// Shows the language window (Kestrune_Language) modally and returns when it
// is closed. False when the program was built without it.
bool showLanguageWindowModally(QWidget* parent);

} // namespace kestrune
