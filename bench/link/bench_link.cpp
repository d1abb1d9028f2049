// bench_link [rounds]
//
// Against in-process peers on loopback and a pseudo-terminal:
//  - reply recognition latency: from the moment the peer writes the last
//    byte of a reply to the moment receiveMBusFrame returns it (median and
//    99th percentile);
//  - CPU time spent by a 5-second reply wait that times out;
//  - exchanges per second with bus delay 0 against a peer that answers at once.
#include "Peers.h"

#include "channel/Link.h"
#include "channel/TrafficLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace kestrune;

namespace {

const QByteArray Reply =
    QByteArray::fromHex("681B1B6808017207201800E61E35074C0000000C78072018000C16690200009616");
const QByteArray Request = QByteArray::fromHex("105BFE5916");

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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

struct Latency {
    double median = 0, p99 = 0;
    int failures = 0;
};

// The peer answers all but the last byte at once and the last byte 2 ms
// later, stamping the moment it writes it.
Latency measureLatency(const QString& transport, int rounds) {
    Latency result;
    auto peer = testpeer::makePeer(transport);
    Link link;
    link.setBusDelay(0);
    if (!peer || !peer->isValid() || !link.openConnection(peer->linkSettings())) {
        result.failures = rounds;
        return result;
    }
    int64_t lastByteAt = 0;
    testpeer::Peer* p = peer.get();
    peer->setResponder([p, &lastByteAt](const QByteArray&) {
        QTimer::singleShot(2, p, [p, &lastByteAt] {
            lastByteAt = nowNs();
            p->write(Reply.right(1));
        });
        return Reply.left(Reply.size() - 1);
    });
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        link.sendBytes(Request);
        const QByteArray got = link.receiveMBusFrame(1000);
        const int64_t returned = nowNs();
        if (got != Reply) {
            ++result.failures;
            continue;
        }
        ms.push_back(static_cast<double>(returned - lastByteAt) / 1e6);
    }
    result.median = percentile(ms, 0.5);
    result.p99 = percentile(ms, 0.99);
    return result;
}

double measureExchangeRate(const QString& transport, int seconds) {
    auto peer = testpeer::makePeer(transport);
    Link link;
    link.setBusDelay(0);
    if (!peer || !peer->isValid() || !link.openConnection(peer->linkSettings()))
        return 0;
    peer->setResponder([](const QByteArray&) { return Reply; });
    QElapsedTimer t;
    t.start();
    int exchanges = 0;
    while (t.elapsed() < seconds * 1000) {
        link.sendBytes(Request);
        if (link.receiveMBusFrame(1000) == Reply)
            ++exchanges;
    }
    return exchanges * 1000.0 / static_cast<double>(t.elapsed());
}

// CPU seconds and wall seconds of one reply wait that times out.
std::pair<double, double> measureIdleWait(int timeoutMs) {
    testpeer::UdpPeer peer;
    Link link;
    link.setBusDelay(0);
    if (!peer.isValid() || !link.openConnection(peer.linkSettings()))
        return {-1, -1};
    link.sendBytes(Request);
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    const QByteArray got = link.receiveMBusFrame(timeoutMs);
    const double wall = static_cast<double>(t.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    return {got.isEmpty() ? cpu : -1, wall};
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("KESTRUNE_PROGRAM_DIR", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 500;
    trafficLog().setActive(false);

    std::printf(
        "Reply recognition latency, %d replies each (last byte written -> reply returned)\n",
        rounds);
    for (const char* transport : {"udp", "tcp", "pty"}) {
        const Latency l = measureLatency(QString::fromLatin1(transport), rounds);
        std::printf("  %-4s median %.3f ms   p99 %.3f ms   failures %d\n", transport, l.median,
                    l.p99, l.failures);
    }

    const auto [cpu, wall] = measureIdleWait(5000);
    std::printf("Reply wait that times out: %.3f s wall, %.1f ms CPU\n", wall, cpu * 1000.0);

    std::printf("Exchanges per second, bus delay 0, peer answers at once, log off\n");
    for (const char* transport : {"udp", "tcp", "pty"})
        std::printf("  %-4s %.0f /s\n", transport,
                    measureExchangeRate(QString::fromLatin1(transport), 2));
    trafficLog().setActive(true);
    trafficLog().setMaxLines(500);
    std::printf("The same with the traffic log on (500 lines kept)\n");
    for (const char* transport : {"udp", "tcp", "pty"})
        std::printf("  %-4s %.0f /s\n", transport,
                    measureExchangeRate(QString::fromLatin1(transport), 2));
    return 0;
}
