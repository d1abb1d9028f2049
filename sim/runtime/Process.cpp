#include "Process.h"

#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrune::sim {

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    // Only async-signal-safe calls here.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
}
} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
            return;
        ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatcher::readPipe);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

TerminationWatcher::~TerminationWatcher() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

void TerminationWatcher::readPipe() {
    unsigned char b = 0;
    if (::read(g_pipe[0], &b, 1) == 1)
        emit terminationRequested(b);
}

QString prepareRunFolder(const QString& requested, QString& error) {
    QString dir = requested;
    if (dir.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        dir = runtime.isEmpty()
                  ? QStringLiteral("/tmp/kestrune-sim-%1").arg(static_cast<qulonglong>(::getuid()))
                  : runtime + QStringLiteral("/kestrune-sim");
    }
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot create the run folder %1").arg(dir);
        return {};
    }
    return QDir(dir).absolutePath();
}

} // namespace kestrune::sim
