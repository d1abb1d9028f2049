#include "channel/LogViewModel.h"

#include <algorithm>

namespace kestrune {

LogViewModel::LogViewModel(TrafficLog& log, QObject* parent)
    : QAbstractListModel(parent), m_log(log) {
    m_first = log.firstLineNumber();
    m_count = log.lineCount();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LogViewModel::catchUp);
    connect(&log, &QAbstractItemModel::rowsInserted, this, &LogViewModel::schedule);
    connect(&log, &QAbstractItemModel::rowsRemoved, this, &LogViewModel::schedule);
    // Clearing is rare and empties the list at once.
    connect(&log, &QAbstractItemModel::modelReset, this, &LogViewModel::resetToLog);
    m_sinceUpdate.start();
}

void LogViewModel::schedule() {
    if (m_timer.isActive())
        return;
    // The first entry after a quiet spell shows at the next pass of the event
    // loop; later ones wait for the rest of the frame.
    const qint64 since = m_sinceUpdate.elapsed();
    m_timer.start(static_cast<int>(std::clamp<qint64>(FrameMs - since, 0, FrameMs)));
}

void LogViewModel::resetToLog() {
    m_timer.stop();
    beginResetModel();
    m_first = m_log.firstLineNumber();
    m_count = m_log.lineCount();
    endResetModel();
    m_sinceUpdate.restart();
}

void LogViewModel::catchUp() {
    m_timer.stop();
    m_sinceUpdate.restart();
    const int64_t logFirst = m_log.firstLineNumber();
    const int64_t logEnd = logFirst + m_log.lineCount();
    const int64_t gone = std::clamp<int64_t>(logFirst - m_first, 0, m_count);
    if (gone == m_count && m_count > 0) {
        // Nothing shown is in the log any more: start over.
        resetToLog();
        emit caughtUp();
        return;
    }
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(gone) - 1);
        m_first += gone;
        m_count -= static_cast<int>(gone);
        endRemoveRows();
    }
    if (m_count == 0)
        m_first = logFirst;
    const int64_t added = logEnd - (m_first + m_count);
    if (added > 0) {
        beginInsertRows(QModelIndex(), m_count, m_count + static_cast<int>(added) - 1);
        m_count += static_cast<int>(added);
        endInsertRows();
        emit caughtUp();
    }
}

int LogViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_count;
}

QVariant LogViewModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 || index.row() >= m_count)
        return QVariant();
    const int64_t row = m_first + index.row() - m_log.firstLineNumber();
    if (row < 0 || row >= m_log.lineCount())
        return QString();
    return m_log.line(static_cast<int>(row));
}

} // namespace kestrune
