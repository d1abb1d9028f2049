#pragma once

#include <QObject>

class QWidget;
class QWindow;

namespace kestrune {

// Start-up measurement for the benchmark: when KESTRUNE_BENCH_STARTUP is set,
// the first exposure of the wizard's window prints one line to standard
// output,
//   KESTRUNE_BENCH_STARTUP exposed_ms=<monotonic ms> rss_kb=<VmRSS> cpu_ms=<CPU time>
// and ends the program. The monotonic clock is the one QElapsedTimer uses,
// so the starting process can subtract its own reading.
//
// When KESTRUNE_STARTUP_REPORT is set, the first exposure instead prints where
// the program found its files, then ends it (the installation check):
//   KESTRUNE_STARTUP texts=<folder> ini=<path> ini_found=yes|no
//   KESTRUNE_STARTUP caption=<window caption> zarvek=ok|<why not>
class StartupProbe : public QObject {
    Q_OBJECT
public:
    // Installs the probe on the window when the variable is set.
    static void installIfRequested(QWidget* window);

    // Resident set size of this process in kB (VmRSS), -1 when unknown.
    static qint64 residentKb();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    static void printFiles(QWindow* window);
    bool m_done = false;
};

} // namespace kestrune
