#include "Startup.h"

#include "app/LanguageWindow.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "wizard/ShellState.h"

#include <QCoreApplication>

namespace kestrune {

void initProgramDir() {
    if (qEnvironmentVariableIsEmpty("KESTRUNE_PROGRAM_DIR"))
        setProgramDir(QCoreApplication::applicationDirPath());
}

bool loadLanguageOrAsk() {
    if (loadLanguage())
        return true;
    showLanguageWindowModally(nullptr);
    return loadLanguage();
}

namespace {

// Start-up steps of subsystems that join the program later: the eight
// gateway setup records (created and reset, numbered 0 to 7) and the list of
// network adapters (which also decides whether the adapter choice button is
// visible). Nothing is done here until those subsystems are wired in.
void createSetupRecordsHook() {}
void listNetworkAdaptersHook(ShellState&) {}

} // namespace

std::unique_ptr<WizardWindow> startWizard(ShellState& state, const QStringList& arguments) {
    if (!loadLanguageOrAsk())
        return nullptr;

    createSetupRecordsHook();

    auto wizard = std::make_unique<WizardWindow>(state);
    wizard->prepare();
    listNetworkAdaptersHook(state);

    wizard->enterPage(0);
    wizard->show();

    if (hasDebugSwitch(arguments))
        wizard->openTrafficLog();
    return wizard;
}

} // namespace kestrune
