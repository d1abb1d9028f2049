#include "StartupProbe.h"

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
    if (qEnvironmentVariableIsEmpty("KESTRUNE_BENCH_STARTUP") || !window)
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

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<QWindow*>(watched);
    if (!m_done && window && (!event || event->type() == QEvent::Expose) && window->isExposed()) {
        m_done = true;
        QElapsedTimer now;
        now.start();
        const long long cpuMs = static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
        std::printf("KESTRUNE_BENCH_STARTUP exposed_ms=%lld rss_kb=%lld cpu_ms=%lld\n",
                    static_cast<long long>(now.msecsSinceReference()),
                    static_cast<long long>(residentKb()), cpuMs);
        std::fflush(stdout);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    }
    return false;
}

} // namespace kestrune
