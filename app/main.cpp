#include "app/Logo.h"
#include "app/Startup.h"
#include "app/StartupProbe.h"
#include "app/WizardWindow.h"
#include "wizard/ShellState.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QCoreApplication::setApplicationName(QStringLiteral("Kestrune"));
    // The desktop entry's name, so that desktops group the window under it.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrune"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(kestrune::logoImage(size)));
    QApplication::setWindowIcon(icon);
    kestrune::initProgramDir();

    kestrune::ShellState state;
    const std::unique_ptr<kestrune::WizardWindow> wizard =
        kestrune::startWizard(state, QCoreApplication::arguments());
    if (!wizard)
        return 1; // no language: end at once, without a message
    kestrune::StartupProbe::installIfRequested(wizard.get());
    return app.exec();
}
