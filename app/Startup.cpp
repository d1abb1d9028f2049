#include "Startup.h"

#include "app/LanguageWindow.h"
#include "app/WizardWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "netsetup/SetupRecords.h"
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

// The eight gateway setup records, created and reset, numbered 0 to 7.
void createSetupRecordsHook() {
    createSetupRecords();
}
// Start-up step of a subsystem that joins the program later: the list of
// network adapters (which also decides whether the adapter choice button is
// visible). Nothing is done here until its page is wired in.
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
