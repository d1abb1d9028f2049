#pragma once

#include "channel/TrafficLog.h"

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>

namespace kestrune {

// The traffic log as its window's list shows it: the log's lines, brought
// up to date at most once per frame. A fast exchange loop adds an entry every
// few microseconds; a list that scrolled and repainted for each of them
// would hold the loop to about a thousand telegrams a second. Here the list
// sees one batch of removed and added rows per frame however many entries
// came, and the newest line is on screen within a frame of being logged.
//
// Between two updates a row keeps showing its line; a line the log has
// already trimmed shows empty until the update removes its row.
class LogViewModel : public QAbstractListModel {
    Q_OBJECT
public:
    // One update per frame at 60 frames a second.
    static constexpr int FrameMs = 16;

    explicit LogViewModel(TrafficLog& log, QObject* parent = nullptr);

    // Brings the rows up to date now (normally the frame timer does).
    void catchUp();
    // Whether entries are waiting for the next update.
    bool updatePending() const { return m_timer.isActive(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    // After rows were added by an update: the window scrolls to the newest.
    void caughtUp();

private:
    void schedule();
    void resetToLog();

    TrafficLog& m_log;
    int64_t m_first = 0; // line number of row 0
    int m_count = 0;
    QTimer m_timer;
    QElapsedTimer m_sinceUpdate;
};

} // namespace kestrune
