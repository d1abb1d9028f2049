// A program run to its end from a test (kestrune-cli, ip), while the test's
// own event loop keeps serving whatever the program talks to. Killed by its
// own process id when it overruns its limit.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <utility>

namespace programrun {

struct Result {
    int exitCode = -1; // -1: overran its limit, -2: crashed
    QString out;
    QString err;
    qint64 ms = 0; // from the start to the end or the limit
};

// interruptMs >= 0: a Ctrl+C (SIGINT) that long after the program's first
// output, or after twice that long when it printed nothing.
inline Result run(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                  int limitMs = 30000, int interruptMs = -1) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    bool armed = false;
    const auto arm = [&] {
        if (std::exchange(armed, true))
            return;
        QTimer::singleShot(interruptMs, &process, [&process] {
            if (process.state() == QProcess::Running)
                ::kill(pid_t(process.processId()), SIGINT);
        });
    };
    if (interruptMs >= 0) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, arm);
        QTimer::singleShot(interruptMs, &loop, arm);
    }
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    loop.exec();
    Result r;
    r.ms = clock.elapsed();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        return r;
    }
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(process.readAllStandardError());
    return r;
}

} // namespace programrun
