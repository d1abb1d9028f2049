#include "app/Startup.h"
#include "app/StartupProbe.h"
#include "app/WizardWindow.h"
#include "wizard/ShellState.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrune"));
    kestrune::initProgramDir();

    kestrune::ShellState state;
    const std::unique_ptr<kestrune::WizardWindow> wizard =
        kestrune::startWizard(state, QCoreApplication::arguments());
    if (!wizard)
        return 1; // no language: end at once, without a message
    kestrune::StartupProbe::installIfRequested(wizard.get());
    return app.exec();
}
