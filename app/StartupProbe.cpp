#include "StartupProbe.h"

#include "base/ProgramDir.h"
#include "zarvek/loader/SupportLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace kestrune {

void StartupProbe::installIfRequested(QWidget* window) {
    if ((qEnvironmentVariableIsEmpty("KESTRUNE_BENCH_STARTUP") &&
         qEnvironmentVariableIsEmpty("KESTRUNE_STARTUP_REPORT")) ||
        !window)
        return;
    window->winId(); // makes sure the native window exists
    QWindow* handle = window->windowHandle();
    if (!handle)
        return;
    auto* probe = new StartupProbe(handle);
    handle->installEventFilter(probe);
    if (handle->isExposed())
        probe->eventFilter(handle, nullptr);
}

qint64 StartupProbe::residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("VmRSS:")) {
            const QByteArray value = line.mid(6).trimmed();
            const qsizetype space = value.indexOf(' ');
            bool ok = false;
            const qint64 kb = value.left(space < 0 ? value.size() : space).toLongLong(&ok);
            return ok ? kb : -1;
        }
    }
    return -1;
}

void StartupProbe::printFiles(QWindow* window) {
    uint16_t crc = 0;
    QString error;
    const bool loaded = zarvek::crc16(QByteArrayLiteral("\x01\x03"), crc, &error);
    std::printf("KESTRUNE_STARTUP texts=%s ini=%s ini_found=%s\n", qPrintable(textsDir()),
                qPrintable(iniFilePath()), QFile::exists(iniFilePath()) ? "yes" : "no");
    std::printf("KESTRUNE_STARTUP caption=%s zarvek=%s\n", qPrintable(window->title()),
                loaded ? "ok" : qPrintable(error));
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<QWindow*>(watched);
    if (!m_done && window && (!event || event->type() == QEvent::Expose) && window->isExposed()) {
        m_done = true;
        QElapsedTimer now;
        now.start();
        const long long cpuMs = static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
        if (!qEnvironmentVariableIsEmpty("KESTRUNE_BENCH_STARTUP"))
            std::printf("KESTRUNE_BENCH_STARTUP exposed_ms=%lld rss_kb=%lld cpu_ms=%lld\n",
                        static_cast<long long>(now.msecsSinceReference()),
                        static_cast<long long>(residentKb()), cpuMs);
        if (!qEnvironmentVariableIsEmpty("KESTRUNE_STARTUP_REPORT"))
            printFiles(window);
        std::fflush(stdout);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    }
    return false;
}

} // namespace kestrune
