// The simulator program as a child process of a test or benchmark: started
// with an installation file and its own run folder, waited for until it
// printed "sim ready", and always ended by its own process id.
#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>

namespace simproc {

// KESTRUNE_BINARY_DIR: the build folder, where the simulator is built.
inline QString simProgram() {
    return QStringLiteral(KESTRUNE_BINARY_DIR "/kestrune-gateway-sim");
}

// Runs a nested event loop until done() holds, woken by any of the signals
// or the deadline. False when the deadline passed first.
template <typename Obj, typename... Signals>
bool waitUntilAny(Obj* sender, const std::function<bool()>& done, int ms, Signals... sigs) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        (QObject::connect(sender, sigs, &loop, &QEventLoop::quit), ...);
        timer.start(int(std::max<qint64>(1, deadline.remainingTime())));
        loop.exec();
    }
    return true;
}

template <typename Obj, typename Signal>
bool waitUntil(Obj* sender, Signal signal, const std::function<bool()>& done, int ms) {
    return waitUntilAny(sender, done, ms, signal);
}

// The simulator as a child process; always ended by its own PID.
class SimProcess : public QObject {
public:
    QProcess proc;
    QStringList lines;
    QByteArray errors;

    explicit SimProcess(const QString& program = simProgram()) : m_program(program) {
        connect(&proc, &QProcess::readyReadStandardOutput, this, [this] {
            m_out += proc.readAllStandardOutput();
            qsizetype nl;
            while ((nl = m_out.indexOf('\n')) >= 0) {
                lines << QString::fromUtf8(m_out.left(nl));
                m_out.remove(0, nl + 1);
            }
        });
        connect(&proc, &QProcess::readyReadStandardError, this,
                [this] { errors += proc.readAllStandardError(); });
    }
    ~SimProcess() override { kill(); }

    // Starts and waits for "sim ready" (or the end of the process).
    bool start(const QStringList& args, int ms = 8000) {
        proc.start(m_program, args);
        if (!proc.waitForStarted(3000))
            return false;
        waitUntilAny(
            &proc,
            [this] {
                return hasLine(QStringLiteral("sim ready")) || proc.state() == QProcess::NotRunning;
            },
            ms, &QProcess::readyReadStandardOutput, &QProcess::finished);
        return hasLine(QStringLiteral("sim ready")) && proc.state() == QProcess::Running;
    }
    // Writes the installation file into `dir` and starts with the run folder
    // dir/run; `before` comes ahead of the simulator's own arguments (for a
    // program that runs the simulator, such as "ip netns exec").
    bool startIn(const QString& dir, const QByteArray& config, const QStringList& before = {}) {
        const QString path = QDir(dir).filePath(QStringLiteral("sim.ini"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(config) != config.size()) {
            errors += "cannot write " + path.toLocal8Bit();
            return false;
        }
        f.close();
        return start(before + QStringList{QStringLiteral("--config"), path,
                                          QStringLiteral("--run-dir"),
                                          QDir(dir).filePath(QStringLiteral("run"))});
    }
    bool waitFinished(int ms = 5000) {
        return waitUntil(
            &proc, &QProcess::finished, [this] { return proc.state() == QProcess::NotRunning; },
            ms);
    }
    bool hasLine(const QString& line) const { return lines.contains(line); }
    bool waitLine(const QString& prefix, int ms) {
        return waitUntil(
            &proc, &QProcess::readyReadStandardOutput,
            [this, prefix] { return !lineStarting(prefix).isEmpty(); }, ms);
    }
    QString lineStarting(const QString& prefix) const {
        for (const QString& l : lines) {
            if (l.startsWith(prefix))
                return l;
        }
        return {};
    }
    // The link path of "gateway NAME WHAT pty LINK -> SLAVE".
    QString ptyLink(const QString& gateway, const QString& what) const {
        const QString l = lineStarting(QStringLiteral("gateway %1 %2 pty ").arg(gateway, what));
        const QStringList w = l.split(QLatin1Char(' '));
        const qsizetype at = w.indexOf(QStringLiteral("pty"));
        return at > 0 && at + 1 < w.size() ? w[at + 1] : QString();
    }
    // Stops the simulator with SIGTERM and waits for it. Empty when it
    // ended cleanly (exit code 0 after everything the tests did; a sanitizer
    // build reports its findings that way), otherwise why not, with what it
    // wrote to standard error.
    QString stopCleanly(int ms = 5000) {
        terminate();
        if (!waitFinished(ms))
            return QStringLiteral("the simulator did not stop within %1 ms").arg(ms);
        if (proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0)
            return QStringLiteral("the simulator ended with %1: %2")
                .arg(proc.exitCode())
                .arg(QString::fromLocal8Bit(errors));
        return {};
    }
    void terminate() {
        if (proc.state() != QProcess::NotRunning)
            ::kill(pid_t(proc.processId()), SIGTERM);
    }
    void kill() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill(); // SIGKILL to this child only
            proc.waitForFinished(3000);
        }
    }

private:
    QString m_program;
    QByteArray m_out;
};

} // namespace simproc
