// bench_linksim [rounds]
//
// The link against the real simulator program (started here on
// 127.0.0.51..56, ports 251xx), over UDP, TCP and the M-Bus master
// pseudo-terminal:
//  - round trip of REQ_UD2 through sendBytes + receiveMBusFrame, median and
//    99th percentile, with the meters' reply delay 0. The moment the
//    simulator writes the last byte can't be seen from here, so the same
//    round trip is also measured with a bare socket or port client; the
//    difference is what the link's recognition adds. Against gateways with
//    line timing (9600 baud) the simulator's own wire time is printed beside
//    it;
//  - CPU time of a 5-second reply wait that times out;
//  - exchanges per second with bus delay 0 against a meter that answers at
//    once, and against one with line timing at 9600 baud.
#include "channel/Link.h"
#include "channel/ReceiveRules.h"
#include "channel/TrafficLog.h"
#include "tests/simprogram/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

using namespace kestrune;

namespace {

const char kConfig[] = R"(# link benchmark installation
[simulator]
listen = 127.0.0.59:25728
tag-files = no

[gateway iu]
family = K1
serial = 0x515151
address = 127.0.0.51
mbus-port = 25101
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no
console = no

[gateway it]
family = K2
serial = 0x525252
address = 127.0.0.52
mbus-port = 25102
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no
console = no

[gateway ip]
family = K1
serial = 0x535353
address = 127.0.0.53
mbus-port = 25103
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = no
console = no

[gateway wu]
family = K1
serial = 0x545454
address = 127.0.0.54
mbus-port = 25104
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = yes
console = no

[gateway wt]
family = K2
serial = 0x555555
address = 127.0.0.55
mbus-port = 25105
mbus-protocol = tcp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = yes
console = no

[gateway wp]
family = K1
serial = 0x565656
address = 127.0.0.56
mbus-port = 25106
mbus-protocol = udp
mbus-baud = 9600
reply-delay-ms = 0
line-timing = yes
console = no

[meter iu-kam]
gateway = iu
capture = kamstrup_382_005
address = 120
[meter it-kam]
gateway = it
capture = kamstrup_382_005
address = 120
[meter ip-kam]
gateway = ip
capture = kamstrup_382_005
address = 120
[meter wu-kam]
gateway = wu
capture = kamstrup_382_005
address = 120
[meter wt-kam]
gateway = wt
capture = kamstrup_382_005
address = 120
[meter wp-kam]
gateway = wp
capture = kamstrup_382_005
address = 120
)";

constexpr int kLineBaud = 9600;

// REQ_UD2 to address 120 (the frame count bit is not toggled: every answer
// after the first is the meter's repeat, the same bytes each time) and to
// an address nobody has.
const QByteArray ReqUd2 = QByteArray::fromHex("105B78D316");
const QByteArray ReqUd2Nobody = QByteArray::fromHex("105B076216");

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// The simulator's wire time: 11 bits a byte, rounded up to whole ms.
int wireMs(qsizetype bytes, int baud) {
    return static_cast<int>((static_cast<qint64>(bytes) * 11 * 1000 + baud - 1) / baud);
}

struct Target {
    const char* name;
    const char* transport; // udp, tcp, pty
    const char* gateway;
    const char* host;
    quint16 port;
    bool lineTiming;
};

const Target kTargets[] = {
    {"udp", "udp", "iu", "127.0.0.51", 25101, false},
    {"tcp", "tcp", "it", "127.0.0.52", 25102, false},
    {"pty", "pty", "ip", "", 0, false},
    {"udp 9600", "udp", "wu", "127.0.0.54", 25104, true},
    {"tcp 9600", "tcp", "wt", "127.0.0.55", 25105, true},
    {"pty 9600", "pty", "wp", "", 0, true},
};

LinkSettings settingsFor(const Target& t, const simproc::SimProcess& sim) {
    LinkSettings s;
    const QString transport = QLatin1String(t.transport);
    if (transport == QLatin1String("pty")) {
        s.mode = ConnectionMode::Serial;
        s.serialDevice = sim.ptyLink(QLatin1String(t.gateway), QStringLiteral("mbus-master"));
        s.lineSettings = QStringLiteral("%1,E,8,1").arg(kLineBaud);
    } else {
        s.mode = transport == QLatin1String("udp") ? ConnectionMode::Udp : ConnectionMode::Tcp;
        s.host = QLatin1String(t.host);
        s.port = t.port;
    }
    return s;
}

struct RoundTrip {
    double median = 0, p99 = 0;
    int failures = 0;
    qsizetype answerSize = 0;
};

RoundTrip linkRoundTrip(Link& link, int rounds) {
    RoundTrip r;
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(rounds));
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        link.sendBytes(ReqUd2);
        const QByteArray answer = link.receiveMBusFrame(1000);
        const double elapsed = static_cast<double>(t.nsecsElapsed()) / 1e6;
        if (answer.isEmpty()) {
            ++r.failures;
            continue;
        }
        r.answerSize = answer.size();
        ms.push_back(elapsed);
    }
    r.median = percentile(ms, 0.5);
    r.p99 = percentile(ms, 0.99);
    return r;
}

// The same round trip with a bare client and a nested event loop woken by
// readyRead: what the simulator and the kernel take without the link.
RoundTrip bareRoundTrip(const Target& target, const simproc::SimProcess& sim, int rounds) {
    RoundTrip r;
    std::unique_ptr<QIODevice> dev;
    QUdpSocket* udp = nullptr;
    const QString transport = QLatin1String(target.transport);
    if (transport == QLatin1String("udp")) {
        auto s = std::make_unique<QUdpSocket>();
        if (!s->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
            return r;
        udp = s.get();
        dev = std::move(s);
    } else if (transport == QLatin1String("tcp")) {
        auto s = std::make_unique<QTcpSocket>();
        s->connectToHost(QHostAddress(QLatin1String(target.host)), target.port);
        if (!s->waitForConnected(2000))
            return r;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        dev = std::move(s);
    } else {
        auto s = std::make_unique<QSerialPort>();
        s->setPortName(sim.ptyLink(QLatin1String(target.gateway), QStringLiteral("mbus-master")));
        if (!s->open(QIODevice::ReadWrite))
            return r;
        s->setBaudRate(kLineBaud);
        dev = std::move(s);
    }
    std::vector<double> ms;
    QElapsedTimer t;
    QByteArray rx;
    for (int i = 0; i < rounds; ++i) {
        rx.clear();
        t.start();
        if (udp)
            udp->writeDatagram(ReqUd2, QHostAddress(QLatin1String(target.host)), target.port);
        else
            dev->write(ReqUd2);
        int announced = 0;
        const bool ok = simproc::waitUntil(
            dev.get(), &QIODevice::readyRead,
            [&] {
                if (udp) {
                    while (udp->hasPendingDatagrams())
                        rx += udp->receiveDatagram().data();
                } else {
                    rx += dev->readAll();
                }
                return receive::isCompleteMBusReply(rx, announced);
            },
            1000);
        const double elapsed = static_cast<double>(t.nsecsElapsed()) / 1e6;
        if (!ok) {
            ++r.failures;
            continue;
        }
        ms.push_back(elapsed);
    }
    r.median = percentile(ms, 0.5);
    r.p99 = percentile(ms, 0.99);
    return r;
}

double exchangesPerSecond(Link& link, int seconds, int& failures) {
    QElapsedTimer t;
    t.start();
    int done = 0;
    failures = 0;
    while (t.elapsed() < seconds * 1000) {
        link.sendBytes(ReqUd2);
        if (link.receiveMBusFrame(1000).isEmpty())
            ++failures;
        else
            ++done;
    }
    return done * 1000.0 / static_cast<double>(t.elapsed());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 400;
    const int timedRounds = std::max(10, rounds / 10);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("KESTRUNE_PROGRAM_DIR", dir.path().toLocal8Bit());
    const QString config = dir.filePath(QStringLiteral("bench.ini"));
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly) || f.write(kConfig) < 0)
            return 1;
    }
    simproc::SimProcess sim;
    if (!sim.start({QStringLiteral("--config"), config, QStringLiteral("--run-dir"),
                    dir.filePath(QStringLiteral("run"))})) {
        std::fprintf(stderr, "simulator did not start: %s\n", sim.errors.constData());
        return 1;
    }
    trafficLog().setActive(false);

    std::printf("REQ_UD2 round trip against the simulator, reply delay 0 (ms)\n");
    std::printf("  %-9s %9s %9s %11s %9s %9s %9s %6s\n", "", "link med", "link p99", "bare med",
                "bare p99", "link-bare", "wire", "fails");
    for (const Target& target : kTargets) {
        Link link;
        link.setBusDelay(0);
        if (!link.openConnection(settingsFor(target, sim))) {
            std::printf("  %-9s open failed: %s\n", target.name,
                        qPrintable(link.connectionError()));
            continue;
        }
        const int n = target.lineTiming ? timedRounds : rounds;
        linkRoundTrip(link, 5); // first answer and warm-up
        const RoundTrip viaLink = linkRoundTrip(link, n);
        link.closeConnection();
        const RoundTrip bare = bareRoundTrip(target, sim, n);
        const int wire = target.lineTiming ? wireMs(ReqUd2.size(), kLineBaud) +
                                                 wireMs(viaLink.answerSize, kLineBaud)
                                           : 0;
        std::printf("  %-9s %9.3f %9.3f %11.3f %9.3f %9.3f %9d %6d\n", target.name, viaLink.median,
                    viaLink.p99, bare.median, bare.p99, viaLink.median - bare.median, wire,
                    viaLink.failures + bare.failures);
    }

    std::printf("Reply wait of 5 s that times out (nobody at address 7)\n");
    for (int i = 0; i < 3; ++i) {
        const Target& target = kTargets[i];
        Link link;
        link.setBusDelay(0);
        if (!link.openConnection(settingsFor(target, sim)))
            continue;
        link.sendBytes(ReqUd2Nobody);
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        const bool empty = link.receiveMBusFrame(5000).isEmpty();
        const double cpu = cpuSeconds() - cpu0;
        std::printf("  %-9s %.3f s wall, %.1f ms CPU%s\n", target.name,
                    static_cast<double>(wall.elapsed()) / 1000.0, cpu * 1000.0,
                    empty ? "" : " (unexpected answer)");
    }

    std::printf("Exchanges per second, bus delay 0, traffic log off\n");
    for (const Target& target : kTargets) {
        Link link;
        link.setBusDelay(0);
        if (!link.openConnection(settingsFor(target, sim)))
            continue;
        int failures = 0;
        const double rate = exchangesPerSecond(link, target.lineTiming ? 2 : 3, failures);
        std::printf("  %-9s %8.0f /s  (failures %d)\n", target.name, rate, failures);
    }

    sim.terminate();
    sim.waitFinished(5000);
    return 0;
}
