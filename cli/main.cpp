// kestrune-cli: the wizard's bus operations without a window.
#include "cli/CliContext.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return kestrune::cli::run(QCoreApplication::arguments(), out, err);
}
