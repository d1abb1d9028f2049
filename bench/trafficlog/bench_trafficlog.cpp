// Cost of LogTraffic with the traffic log window open: 100,000 entries of
// 20-byte telegrams, MaxDebugLines 500, on the offscreen platform. Prints
// microseconds per entry for every block of 10,000 entries, so growth as the
// log fills shows up as a rising figure.
//
//   bench_trafficlog [entries [MaxDebugLines [explain]]]
//
// With "explain" the window's Tools > Explain is on: every entry gets its
// line of words under the bytes, broken into rows at the list's width.
//
// A larger MaxDebugLines must not make an entry dearer: the view is updated
// by row inserts and removes, never rebuilt.
//
// Passes: events processed every 100 entries (an exchange's waits let the
// window update about that often), and events processed after every entry
// (the worst case: a fast exchange loop whose waits end at once). The last
// pass is run twice: through the window's list, which catches up with the
// log at most once per frame, and through a list attached to the log
// itself that scrolls once per pass of the event loop (as the window did
// before), for comparison. Both report how often the list was painted and
// how long after the last entry the newest line was on screen.
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/LogViewModel.h"
#include "channel/TrafficLog.h"
#include "channel/gui/DebugWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <vector>

using namespace kestrune;

namespace {

class Host : public DebugHost {
public:
    QWidget main;
    QWidget* mainWindow() override { return &main; }
    int currentPage() const override { return 60; }
    int selectedMeterFeature() const override { return 0; }
    void pollAction(PollTarget) override {}
};

// CPU time of this thread: the machine may be busy with other work, and
// wall time would count that too.
int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Block {
    double wallUs; // per entry
    double cpuUs;  // per entry
};

// Counts the paints of a list's viewport.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* viewport) { viewport->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Returns the cost per entry of every block. eventsEvery 0: no events.
std::vector<Block> run(int entries, int block, int eventsEvery) {
    const QByteArray telegram =
        QByteArray::fromHex("68 0E 0E 68 08 01 72 78 56 34 12 24 40 01 07 00 00 00 AB 16");
    std::vector<Block> perBlock;
    QElapsedTimer timer;
    timer.start();
    int64_t cpu = threadCpuNs();
    for (int i = 0; i < entries; ++i) {
        logTraffic(telegram, i % 2 ? Direction::Received : Direction::Sent);
        if (eventsEvery > 0 && (i + 1) % eventsEvery == 0)
            QCoreApplication::processEvents();
        if ((i + 1) % block == 0) {
            const int64_t now = threadCpuNs();
            perBlock.push_back({static_cast<double>(timer.nsecsElapsed()) / 1000.0 / block,
                                static_cast<double>(now - cpu) / 1000.0 / block});
            timer.restart();
            cpu = now;
        }
    }
    return perBlock;
}

void report(const char* title, const std::vector<Block>& perBlock, int block) {
    std::printf("%s\n", title);
    for (size_t b = 0; b < perBlock.size(); ++b)
        std::printf("  entries %6zu-%6zu: %8.2f us/entry cpu, %8.2f us/entry wall\n", b * block + 1,
                    (b + 1) * block, perBlock[b].cpuUs, perBlock[b].wallUs);
    if (!perBlock.empty())
        std::printf("  first block %.2f us cpu, last block %.2f us cpu per entry\n",
                    perBlock.front().cpuUs, perBlock.back().cpuUs);
}

// The worst case through a list: events after every entry. Then how long
// until the list's last row shows the newest line.
void worstCase(const char* title, QListView* list, int entries) {
    trafficLog().clear();
    QCoreApplication::processEvents();
    PaintCounter counter(list->viewport());
    QElapsedTimer wall;
    wall.start();
    const std::vector<Block> blocks = run(entries, entries / 2, 1);
    const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    report(title, blocks, entries / 2);
    QElapsedTimer shown;
    shown.start();
    // The newest line's last row where the list breaks long lines.
    const auto* wrapping = qobject_cast<const LogViewModel*>(list->model());
    const QString newest = wrapLogLine(trafficLog().line(trafficLog().lineCount() - 1),
                                       wrapping ? wrapping->wrapColumns() : 0)
                               .last();
    const auto onScreen = [&] {
        const QAbstractItemModel* m = list->model();
        const QModelIndex last = m->index(m->rowCount() - 1, 0);
        return last.data().toString() == newest &&
               list->viewport()->rect().intersects(list->visualRect(last));
    };
    while (!onScreen() && shown.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("  %d paints of the list in %.0f ms (%.1f per second); newest line on "
                "screen %.1f ms after the last entry\n",
                counter.paints, ms, counter.paints * 1000.0 / ms,
                static_cast<double>(shown.nsecsElapsed()) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir; // the window writes its interval to the INI file here
    qputenv("KESTRUNE_PROGRAM_DIR", dir.path().toLocal8Bit());
    // Settings of its own: a Tools > Explain left on by the user's wizard
    // would change what is measured.
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    setProgramDir(dir.path());
    // The support library beside the program, as installed: the Modbus
    // explanations check the CRC through it.
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/libZarvek.so"),
                dir.filePath(QStringLiteral("libZarvek.so")));

    int entries = 100000;
    if (argc > 1)
        entries = std::max(1000, atoi(argv[1]));
    const int block = std::max(1, entries / 10);
    if (argc > 2)
        IniFile(dir.filePath(QStringLiteral("Kestrune.INI")))
            .write(QStringLiteral("Debug"), QStringLiteral("MaxDebugLines"),
                   QString::fromLocal8Bit(argv[2]));

    Host host;
    host.main.setGeometry(50, 50, 640, 480);
    host.main.show();
    DebugWindow* window = DebugWindow::open(host);
    // The window shows once the main window is on the screen.
    QElapsedTimer waited;
    waited.start();
    while (!window->isVisible() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // The explanations' words: the English file built beside the bench.
    if (argc > 3 && QByteArray(argv[3]) == "explain" &&
        languageTable().loadFile(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                 languageFileName(1)))
        window->findChild<QAction*>(QStringLiteral("Menu_Tools_Explain"))->setChecked(true);
    std::printf("MaxDebugLines %d, window %dx%d, explain %s\n", trafficLog().maxLines(),
                window->width(), window->height(), trafficLog().explains() ? "on" : "off");

    report("window open, no event processing (log and model only):", run(entries, block, 0), block);
    trafficLog().clear();
    report("events every 100 entries:", run(entries, block, 100), block);

    const int worst = std::max(1000, entries / 10);
    auto* list = window->findChild<QListView*>(QStringLiteral("List_Debug"));
    worstCase("events after every entry, the window's list (catches up once per frame):", list,
              worst);

    // For comparison: a list of the same size on the log itself, scrolled to
    // the newest line once per pass of the event loop.
    QListView direct;
    direct.setFont(list->font());
    direct.setUniformItemSizes(true);
    direct.setModel(&trafficLog());
    direct.setGeometry(window->geometry().translated(0, 10));
    direct.show();
    bool scrollPending = false;
    QObject::connect(&trafficLog(), &TrafficLog::entryAdded, &direct, [&] {
        if (scrollPending)
            return;
        scrollPending = true;
        QTimer::singleShot(0, &direct, [&] {
            scrollPending = false;
            const int rows = trafficLog().lineCount();
            if (rows == 0)
                return;
            const QModelIndex last = trafficLog().index(rows - 1, 0);
            direct.setCurrentIndex(last);
            direct.scrollTo(last, QAbstractItemView::PositionAtBottom);
        });
    });
    window->hide();
    worstCase("events after every entry, a list on the log itself (scrolled every pass):", &direct,
              worst);
    std::printf("lines kept: %d\n", trafficLog().lineCount());
    direct.setModel(nullptr);
    DebugWindow::closeWindow();
    return 0;
}
