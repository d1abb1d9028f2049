#include "channel/LogViewModel.h"

#include <algorithm>

namespace kestrune {

namespace {

// A row of an entry's bytes ends in the padded hexadecimal body.
bool isHexRow(const QString& line) {
    if (line.size() < TrafficBodyWidth)
        return false;
    for (qsizetype i = line.size() - TrafficBodyWidth; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if (c != u' ' && !(c >= u'0' && c <= u'9') && !(c >= u'A' && c <= u'F'))
            return false;
    }
    return true;
}

bool needsWrap(const QString& line, int columns) {
    return columns > 0 && line.size() > columns && !isHexRow(line);
}

} // namespace

QStringList wrapLogLine(const QString& line, int columns) {
    if (!needsWrap(line, columns))
        return {line};
    const auto size = static_cast<int>(line.size());
    int leading = 0;
    while (leading < size && line[leading] == QLatin1Char(' '))
        ++leading;
    // An explanation is indented under the bytes; a note's words follow
    // the time stamps and a four-blank arrow.
    int indent = leading;
    if (indent == 0) {
        const int arrow = static_cast<int>(line.indexOf(QLatin1String("    ")));
        indent = arrow > 0 ? arrow + 4 : 0;
    }
    // Every row carries at least ten characters of the line.
    indent = std::clamp(indent, 0, std::max(0, columns - 10));
    const QString prefix(indent, QLatin1Char(' '));

    QStringList rows;
    int pos = 0;
    while (pos < size) {
        const bool first = rows.isEmpty();
        const int room = first ? columns : columns - indent;
        const QString lead = first ? QString() : prefix;
        if (size - pos <= room) {
            rows.append(lead + line.mid(pos));
            break;
        }
        const int end = pos + room;
        int cut = static_cast<int>(line.lastIndexOf(QLatin1Char(' '), end));
        int next = cut + 1;
        if (cut < (first ? leading + 1 : pos + 1)) {
            cut = end; // one word longer than the row: broken where the row ends
            next = end;
        }
        rows.append(lead + line.mid(pos, cut - pos));
        pos = next;
        while (pos < size && line[pos] == QLatin1Char(' '))
            ++pos;
    }
    return rows;
}

LogViewModel::LogViewModel(TrafficLog& log, QObject* parent)
    : QAbstractListModel(parent), m_log(log) {
    resetRows();
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

void LogViewModel::setWrapColumns(int columns) {
    columns = std::max(columns, 0);
    if (columns == m_columns)
        return;
    m_columns = columns;
    resetToLog();
    emit caughtUp();
}

int LogViewModel::rowsOf(int64_t lineNumber) const {
    const int64_t at = lineNumber - m_log.firstLineNumber();
    if (m_columns == 0 || at < 0 || at >= m_log.lineCount())
        return 1;
    const QString& line = m_log.line(static_cast<int>(at));
    return needsWrap(line, m_columns) ? static_cast<int>(wrapLogLine(line, m_columns).size()) : 1;
}

void LogViewModel::resetRows() {
    m_first = m_log.firstLineNumber();
    m_count = m_log.lineCount();
    m_ends.clear();
    m_rowBase = 0;
    int64_t end = 0;
    for (int i = 0; i < m_count; ++i)
        m_ends.push_back(end += rowsOf(m_first + i));
    m_rows = static_cast<int>(end);
}

void LogViewModel::resetToLog() {
    m_timer.stop();
    beginResetModel();
    resetRows();
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
        const int64_t newBase = m_ends[static_cast<size_t>(gone) - 1];
        const auto removed = static_cast<int>(newBase - m_rowBase);
        beginRemoveRows(QModelIndex(), 0, removed - 1);
        m_ends.erase(m_ends.begin(), m_ends.begin() + gone);
        m_rowBase = newBase;
        m_first += gone;
        m_count -= static_cast<int>(gone);
        m_rows -= removed;
        endRemoveRows();
    }
    if (m_count == 0) {
        m_first = logFirst;
        m_rowBase = 0;
    }
    const int64_t added = logEnd - (m_first + m_count);
    if (added > 0) {
        int64_t rows = 0;
        for (int64_t k = 0; k < added; ++k)
            rows += rowsOf(m_first + m_count + k);
        beginInsertRows(QModelIndex(), m_rows, m_rows + static_cast<int>(rows) - 1);
        int64_t end = m_rowBase + m_rows;
        for (int64_t k = 0; k < added; ++k)
            m_ends.push_back(end += rowsOf(m_first + m_count + k));
        m_count += static_cast<int>(added);
        m_rows += static_cast<int>(rows);
        endInsertRows();
        emit caughtUp();
    }
}

int LogViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

QVariant LogViewModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 || index.row() >= m_rows)
        return QVariant();
    // The line whose rows hold this one, and which of its rows it is.
    const int64_t at = m_rowBase + index.row();
    const auto it = std::upper_bound(m_ends.begin(), m_ends.end(), at);
    const auto shown = static_cast<int64_t>(it - m_ends.begin());
    const int64_t part = at - (shown == 0 ? m_rowBase : *(it - 1));
    const int64_t row = m_first + shown - m_log.firstLineNumber();
    if (row < 0 || row >= m_log.lineCount())
        return QString();
    const QString& line = m_log.line(static_cast<int>(row));
    if (part == 0 && !needsWrap(line, m_columns))
        return line;
    const QStringList rows = wrapLogLine(line, m_columns);
    return part < rows.size() ? rows[part] : QString();
}

} // namespace kestrune
