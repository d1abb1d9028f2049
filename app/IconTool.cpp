// kestrune-icons: writes the logo as the desktop icons of the installation,
// OUTDIR/<n>x<n>/apps/kestrune.png for every size n given, painted by the
// same code as the wizard's header so the two never differ. Run at build time.
#include "app/Logo.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Painting needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fputs("usage: kestrune-icons OUTDIR SIZE...\n", stderr);
        return 2;
    }
    for (const QString& sizeText : args.mid(1)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "kestrune-icons: bad size '%s' (8 to 1024)\n",
                         qPrintable(sizeText));
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args[0]).arg(size);
        const QString file = dir + QStringLiteral("/kestrune.png");
        if (!QDir().mkpath(dir) || !kestrune::logoImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "kestrune-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
