// Start-up benchmark of the wizard.
//
//   bench_startup [path/to/Kestrune] [runs]
//
// Starts the program several times with KESTRUNE_BENCH_STARTUP set; the
// program prints the monotonic time of its window's first exposure and its
// resident memory (VmRSS) and ends. The time from just before the process is
// started to that exposure is the start-up time. The runs use a settings
// folder of their own with the language chosen, and the build folder as the
// program folder. Exit code 1 when the median exceeds 300 ms or the memory
// 80 MB on any platform measured.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 TargetMs = 300;
constexpr qint64 TargetKb = 80 * 1024;

struct Run {
    qint64 ms = -1;
    qint64 rssKb = -1;
    qint64 cpuMs = -1;
};

// The system's load average over the last minute: start-up times measured on
// a busy machine are longer by about the share of the CPU the program gets.
QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 0);
}

Run runOnce(const QString& program, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProgram(program);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    const qint64 startedAt = clock.msecsSinceReference();
    process.start();
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(2000);
        return {};
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    static const QRegularExpression line(
        QStringLiteral("KESTRUNE_BENCH_STARTUP exposed_ms=(\\d+) rss_kb=(-?\\d+) cpu_ms=(-?\\d+)"));
    const QRegularExpressionMatch m = line.match(out);
    if (!m.hasMatch())
        return {};
    return {m.captured(1).toLongLong() - startedAt, m.captured(2).toLongLong(),
            m.captured(3).toLongLong()};
}

bool measure(const QString& program, const QString& platform, int runs,
             const QProcessEnvironment& base) {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QList<qint64> times;
    QList<qint64> cpu;
    qint64 rss = 0;
    runOnce(program, env); // warms the file cache; not counted
    for (int i = 0; i < runs; ++i) {
        const Run r = runOnce(program, env);
        if (r.ms < 0) {
            std::printf("%-10s run %d: no window shown\n", qPrintable(platform), i + 1);
            return false;
        }
        times << r.ms;
        cpu << r.cpuMs;
        rss = std::max(rss, r.rssKb);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    const qint64 median = times.at(times.size() / 2);
    const bool ok = median <= TargetMs && rss <= TargetKb;
    std::printf("%-10s start-up ms: min %lld, median %lld, max %lld; CPU ms median %lld; "
                "resident %lld kB (%.1f MB); load %s: %s\n",
                qPrintable(platform), static_cast<long long>(times.first()),
                static_cast<long long>(median), static_cast<long long>(times.last()),
                static_cast<long long>(cpu.at(cpu.size() / 2)), static_cast<long long>(rss),
                rss / 1024.0, qPrintable(loadAverage()), ok ? "ok" : "OVER TARGET");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString program =
        args.size() > 1 ? args.at(1) : QStringLiteral(KESTRUNE_BINARY_DIR "/Kestrune");
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 7;

    QTemporaryDir config;
    if (!config.isValid())
        return 2;
    {
        QDir().mkpath(config.filePath(QStringLiteral("Kestrune")));
        QFile conf(config.filePath(QStringLiteral("Kestrune/Kestrune.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return 2;
        conf.write("[Wizard]\nLanguage=001\n");
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRUNE_BENCH_STARTUP"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    if (!env.contains(QStringLiteral("KESTRUNE_PROGRAM_DIR")))
        env.insert(QStringLiteral("KESTRUNE_PROGRAM_DIR"), QStringLiteral(KESTRUNE_BINARY_DIR));

    std::printf("Kestrune start-up, %d runs each (targets: %lld ms, %lld MB)\n", runs,
                static_cast<long long>(TargetMs), static_cast<long long>(TargetKb / 1024));
    bool ok = measure(program, QStringLiteral("offscreen"), runs, env);
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        ok = measure(program, QStringLiteral("xcb"), runs, env) && ok;
    else
        std::printf("xcb        skipped: DISPLAY is not set (run under xvfb-run)\n");
    return ok ? 0 : 1;
}
