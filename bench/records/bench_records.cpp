// Data records decoded per CPU second, single thread, over every reply of the
// captures in tests/data/mbus-frames.tsv (those the decoder reads as long
// frames); and the cost of explaining one telegram for the traffic log.
//
//   bench_records [seconds]      (default 3 per measurement)

#include "base/Language.h"
#include "base/TextUtil.h"
#include "channel/Explain.h"
#include "mbus/DataRecords.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace kestrune;

namespace {

volatile size_t g_sink;

// CPU time of this thread in seconds: the machine may be shared, and the
// figure should not depend on what else runs.
double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::vector<QByteArray> loadFrames() {
    QFile file(QStringLiteral(KESTRUNE_SOURCE_DIR "/tests/data/mbus-frames.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    std::vector<QByteArray> frames;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cols = lines[i].split('\t');
        QByteArray bytes;
        if (cols.size() > 1 && parseHexBytes(QString::fromLatin1(cols[1]), bytes)) {
            frames.push_back(bytes);
        }
    }
    return frames;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 3.0;
    QFile lang(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001"));
    if (lang.open(QIODevice::ReadOnly)) {
        languageTable().parse(lang.readAll());
    }

    const std::vector<QByteArray> frames = loadFrames();
    size_t recordsPerPass = 0;
    size_t decodable = 0;
    for (const QByteArray& f : frames) {
        const mbus::RecordDecoding d = mbus::decodeRecords(f);
        recordsPerPass += d.records.size();
        decodable += d.isLongFrame ? 1 : 0;
    }
    std::printf("%zu captures, %zu long frames, %zu records per pass\n", frames.size(), decodable,
                recordsPerPass);

    double start = threadSeconds();
    size_t passes = 0;
    size_t records = 0;
    while (threadSeconds() - start < seconds) {
        for (const QByteArray& f : frames) {
            records += mbus::decodeRecords(f).records.size();
        }
        ++passes;
    }
    double cpu = threadSeconds() - start;
    g_sink = records;
    std::printf("decode:  %zu passes, %.0f records per CPU second, %.2f us per reply\n", passes,
                double(records) / cpu, cpu * 1e6 / double(passes * frames.size()));

    start = threadSeconds();
    passes = 0;
    size_t chars = 0;
    while (threadSeconds() - start < seconds) {
        for (const QByteArray& f : frames) {
            chars += explainTelegram(f, Direction::Received, TelegramProtocol::MBus).size();
        }
        ++passes;
    }
    cpu = threadSeconds() - start;
    g_sink = chars;
    std::printf("explain: %.2f us per telegram (CPU)\n",
                cpu * 1e6 / double(passes * frames.size()));
    return 0;
}
