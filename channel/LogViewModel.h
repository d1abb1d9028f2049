#pragma once

#include "channel/TrafficLog.h"

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <deque>

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
//
// Lines longer than the list is wide (an explained RSP_UD, a long note) are
// broken into several rows at the wrap column, the continuations indented
// under the words. Rows of hexadecimal bytes are never broken: their columns
// stay lined up. The log itself keeps one line for each.
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

    // Characters a row holds; 0 (the default) shows every line in one row.
    void setWrapColumns(int columns);
    int wrapColumns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    // After rows were added by an update: the window scrolls to the newest.
    void caughtUp();

private:
    void schedule();
    void resetToLog();

    void resetRows();
    int rowsOf(int64_t lineNumber) const;

    TrafficLog& m_log;
    int64_t m_first = 0; // line number of the first line shown
    int m_count = 0;     // lines shown
    int m_columns = 0;
    // For each line shown, the running row number after its last row; the
    // first line's rows start at m_rowBase.
    std::deque<int64_t> m_ends;
    int64_t m_rowBase = 0;
    int m_rows = 0;
    QTimer m_timer;
    QElapsedTimer m_sinceUpdate;
};

// A log line as rows of at most columns characters: broken after a blank
// where there is one, continuations indented like the line's words. A row of
// hexadecimal bytes, a line that fits and columns of 0 give the line itself.
QStringList wrapLogLine(const QString& line, int columns);

} // namespace kestrune
