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
    const QString overrideDir = qEnvironmentVariable("KESTRUNE_PROGRAM_DIR");
    if (overrideDir.isEmpty())
        setProgramFolders(foldersForExecutable(QCoreApplication::applicationDirPath()));
    else
        setProgramDir(overrideDir);
}

bool loadLanguageOrAsk() {
    if (loadLanguage())
        return true;
    showLanguageWindowModally(nullptr);
    return loadLanguage();
}

namespace {

// The eight gateway setup records, created and reset, numbered 0 to 7. (The
// network adapters are listed by the discovery page when the window is
// prepared, after the saved choice was restored.)
void createSetupRecordsHook() {
    createSetupRecords();
}

} // namespace

std::unique_ptr<WizardWindow> startWizard(ShellState& state, const QStringList& arguments) {
    if (!loadLanguageOrAsk())
        return nullptr;

    createSetupRecordsHook();

    auto wizard = std::make_unique<WizardWindow>(state);
    wizard->prepare();

    wizard->enterPage(0);
    wizard->show();

    if (hasDebugSwitch(arguments))
        wizard->openTrafficLog();
    return wizard;
}

} // namespace kestrune
