#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kestrune::sim {

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so the
// simulator can close its sockets and remove its links before it exits.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();
    QSocketNotifier* m_notifier = nullptr;
};

// The folder where the simulator links its pseudo-terminals under stable
// names: the given folder, else $XDG_RUNTIME_DIR/kestrune-sim, else
// /tmp/kestrune-sim-<uid>. Created when missing; empty with an error text
// when it can't be.
QString prepareRunFolder(const QString& requested, QString& error);

} // namespace kestrune::sim
