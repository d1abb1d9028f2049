// bench_search [T [primary]]
//
// The search engine against the real simulator (its default installation
// moved to 127.0.0.163..169, plus a K1 gateway without meters):
//  - a primary scan 0..250 with SND_NKE wait T (default 50 ms), bus delay 0,
//    over UDP to the gateway without meters: wall time, the overhead per
//    probe beyond T, and the CPU time the process used (% of one core);
//  - a secondary search from FFFFFFFF of the K2's bus with line timing on,
//    through its M-Bus master pseudo-terminal at 2400 baud, with the
//    shortest wait EN 13757-2 allows a slave (330 bit times + 50 ms = 188 ms)
//    after each selection and that plus a whole 261-byte frame after
//    REQ_UD2: wall time and meters found.
// Run inside a private network namespace.
#include "base/IniFile.h"
#include "channel/Link.h"
#include "search/SearchEngine.h"
#include "tests/simprogram/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace kestrune;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

const char kEmptyGateway[] = R"(
[gateway empty]
family = K1
serial = 0x636363
address = 127.0.0.166
line-timing = no
console = no
mbus-master = no
)";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int t = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 50;
    QTemporaryDir dir;
    QProcess print;
    print.start(simproc::simProgram(), {QStringLiteral("--print-config")});
    print.waitForFinished(5000);
    QString config = QString::fromUtf8(print.readAllStandardOutput());
    config.replace(QStringLiteral("127.255.255.255:30718"), QStringLiteral("127.0.0.169:27719"));
    config.replace(QStringLiteral("dhcp-first = 127.0.0.100"),
                   QStringLiteral("dhcp-first = 127.0.0.167"));
    for (int g = 2; g <= 4; ++g)
        config.replace(QStringLiteral("address = 127.0.0.%1\n").arg(g),
                       QStringLiteral("address = 127.0.0.%1\n").arg(161 + g));
    config += QString::fromLatin1(kEmptyGateway);
    const QString configPath = dir.filePath(QStringLiteral("bench.ini"));
    QFile f(configPath);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(config.toUtf8());
    f.close();
    simproc::SimProcess sim;
    if (!sim.start({QStringLiteral("--config"), configPath, QStringLiteral("--run-dir"),
                    dir.filePath(QStringLiteral("run"))})) {
        std::fprintf(stderr, "simulator did not start: %s\n", sim.errors.constData());
        return 1;
    }

    const QString iniPath = dir.filePath(QStringLiteral("Kestrune.INI"));
    IniFile ini(iniPath);
    ini.write(QStringLiteral("Search"), QStringLiteral("SND_NKE_Timeout_2400_K1"),
              QString::number(t));
    // 330 bit times at 2400 baud (137.5 ms) + 50 ms; a 261-byte frame takes
    // another 1196 ms on the line.
    const int minimum = 188;
    const int frame = 261 * 11 * 1000 / 2400 + 1;
    ini.write(QStringLiteral("Search"), QStringLiteral("CollisionSecDelay"), QStringLiteral("0"));
    Link link;
    SearchEngine engine(link, ini, nullptr);

    // 1. The primary scan over the gateway without meters.
    SearchSettings s;
    s.link.mode = ConnectionMode::Udp;
    s.link.host = QStringLiteral("127.0.0.166");
    s.link.port = 10001;
    s.busDelay = 0;
    s.low = 0;
    s.high = 250;
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = cpuSeconds();
    engine.run(s);
    const double wall = double(clock.nsecsElapsed()) / 1e6;
    const double cpu = (cpuSeconds() - cpu0) * 1000.0;
    const int probes = engine.counters().numberOfScans;
    std::printf("primary scan 0..250, T = %d ms, no meters: %d probes in %.0f ms\n", t, probes,
                wall);
    std::printf("  overhead per probe beyond T: %.3f ms\n", (wall - probes * double(t)) / probes);
    std::printf("  CPU time: %.0f ms = %.2f %% of one core\n", cpu, 100.0 * cpu / wall);

    if (argc > 2 && QByteArray(argv[2]) == "primary")
        return sim.stopCleanly().isEmpty() ? 0 : 1;

    // 2. The secondary search of the K2's bus with line timing, serial.
    ini.write(QStringLiteral("Search"), QStringLiteral("SND_NKE_Timeout_2400_K1"),
              QString::number(minimum));
    ini.write(QStringLiteral("Search"), QStringLiteral("RSP_UD2_Timeout_2400_K1"),
              QString::number(minimum + frame));
    SearchSettings sec;
    sec.method = SearchMethod::Secondary;
    sec.link.mode = ConnectionMode::Serial;
    sec.link.serialDevice = sim.ptyLink(QStringLiteral("gw2"), QStringLiteral("mbus-master"));
    sec.link.lineSettings = QStringLiteral("2400,E,8,1");
    sec.busDelay = 0;
    clock.restart();
    const double cpu1 = cpuSeconds();
    engine.run(sec);
    const double wall2 = double(clock.nsecsElapsed()) / 1e6;
    int found = 0, collisions = 0;
    for (const ProbeResult& r : engine.rows()) {
        found += r.icon == ProbeResult::Correct ? 1 : 0;
        collisions += r.icon == ProbeResult::BadOrColliding ? 1 : 0;
    }
    std::printf("secondary search FFFFFFFF of gw2, line timing, %s, waits %d/%d ms:\n",
                qPrintable(engine.portSettings()), minimum, minimum + frame);
    std::printf("  %d selections in %.1f s, %d meters found and read, %d collision rows, CPU "
                "%.2f %%\n",
                engine.counters().numberOfScans, wall2 / 1000.0, found, collisions,
                100.0 * (cpuSeconds() - cpu1) * 1000.0 / wall2);
    link.closeConnection();
    const QString stopped = sim.stopCleanly();
    if (!stopped.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(stopped));
    return 0;
}
