#pragma once

#include <QStringList>

#include <memory>

namespace kestrune {

class ShellState;
class WizardWindow;

// Sets the program's folders from the executable's place (build folder or
// installed layout) unless the environment (KESTRUNE_PROGRAM_DIR) names one.
void initProgramDir();

// Loads the language; when that fails, shows the language window modally
// and tries once more. False when there is still no language.
bool loadLanguageOrAsk();

// The start-up of the program after the application object exists: the
// language, the wizard window prepared and shown on page 0, and the traffic
// log when the command line asks for it ("/DEBUG"). Returns nullptr when no
// language could be loaded: the program then ends without a message.
std::unique_ptr<WizardWindow> startWizard(ShellState& state, const QStringList& arguments);

} // namespace kestrune
