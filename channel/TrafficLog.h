#pragma once

#include "base/FileReplace.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>

// The traffic log: every telegram sent and received, every reply time-out and
// every line event, as lines of text with a time stamp. The lines are kept
// only while the traffic log window is open (DebugActive); the counters of
// completed and failed exchanges live for the whole run.
namespace kestrune {

enum class Direction : int {
    Received = 0,
    Sent = 1,
    Note = 2,
};

// ---- Line layout (pure) ------------------------------------------------------

// Width of one hexadecimal body line: 16 bytes as "XX " pairs, padded.
inline constexpr int TrafficBodyWidth = 66;
inline constexpr int TrafficBytesPerLine = 16;

// " H:MM:SS.mmm" for a millisecond tick read as a signed 32-bit value. A
// negative tick has 2147483647 added first. Hours are not reduced modulo 24.
QString uptimeStamp(int32_t tick);

// " -> " for sent, " <- " for received, four spaces for a note.
QString directionArrow(Direction direction);

// One piece of at most 16 bytes as a 66-character line: byte i at columns
// 3i and 3i+1 (0-based), blanks between and after.
QString hexBodyLine(const QByteArray& piece);

// The lines one entry adds to the log.
//  data        telegram bytes, or for a note its text (one byte per character)
//  tick        millisecond tick of the system timer
//  timeOfDay   the current time of day as the user's system writes it
//  logHasLines whether the log already holds lines: a sent telegram then
//              starts with an empty separator line
//  explanation one line of words about the telegram, added under its last
//              body line at the column of the hexadecimal digits; empty
//              adds nothing
// Empty data gives no body line (a sent one still gets its separator).
QStringList formatEntry(const QByteArray& data, Direction direction, int32_t tick,
                        const QString& timeOfDay, bool logHasLines,
                        const QString& explanation = QString());
// A note given as text.
QStringList formatNote(const QString& text, int32_t tick, const QString& timeOfDay);

// The current time of day in the system's long time format, without the time
// zone and with two-digit hours so that every line has the same width.
QString currentTimeOfDay();

// ---- Save file (pure parts and the file write) ---------------------------------

// The block appended to a save file, every line ended by CR LF:
// "DEBUG INFO", the version line, "Comment: ...", 75 hyphens, the numbered
// lines (empty lines stay empty and take no number), 75 hyphens, an empty line.
QByteArray formatSaveBlock(const QStringList& lines, const QString& comment,
                           const QString& dateText, const QString& timeText);

// Appends the block (stamped with the current date and time) to path,
// creating the file when it does not exist.
[[nodiscard]] SaveResult appendSaveBlock(const QString& path, const QStringList& lines,
                                         const QString& comment);

// ---- Poll interval text ------------------------------------------------------

struct PollInterval {
    QString text;     // what the interval field should show
    int interval = 0; // timer interval in ms; 0 stops the timer
};

// Corrects the interval field: a number above 65535 becomes "65535", a
// negative number "0", text that is not a number "0"; empty text stays empty.
PollInterval correctPollInterval(const QString& text);

// ---- The program-wide log ------------------------------------------------------

// The log lines as a list model (one column, DisplayRole), bounded by
// maxLines: after every entry the oldest lines go. Views attach to it
// directly; appends and trims are reported as row inserts and removes, so a
// view's cost per entry does not grow with the number of lines kept.
class TrafficLog : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int DefaultMaxLines = 500;

    explicit TrafficLog(QObject* parent = nullptr);

    // Logging happens only while active (the traffic log window is open).
    bool isActive() const { return m_active; }
    void setActive(bool active);

    int maxLines() const { return m_maxLines; }
    // Values below 1 are taken as 1; trims at once.
    void setMaxLines(int64_t maxLines);

    // What explains a telegram in one line of words (a sent or received
    // entry gets it under its bytes); none (the default) keeps the lines as
    // they always were.
    using Explainer = std::function<QString(const QByteArray& data, Direction direction)>;
    void setExplainer(Explainer explainer) { m_explainer = std::move(explainer); }
    bool explains() const { return static_cast<bool>(m_explainer); }

    // Whether the address searches write their telegrams to the log.
    bool verboseSearchLog() const { return m_verboseSearchLog; }
    void setVerboseSearchLog(bool verbose);

    // One entry. Does nothing while the log is not active.
    void log(const QByteArray& data, Direction direction);
    // A text entry with the given direction: for received and sent each
    // character is one byte of the telegram.
    void log(const QString& text, Direction direction);
    void note(const QString& text);

    // Lines already formatted (tests and replay); bypasses the time stamp
    // but not the bound or the active flag.
    void appendLines(const QStringList& lines);

    int lineCount() const { return static_cast<int>(m_lines.size()); }
    const QString& line(int row) const { return m_lines[static_cast<size_t>(row)]; }
    // How many lines have left the log from its top (trimmed or cleared)
    // since the program started: row r holds line number firstLineNumber()
    // + r, for views that catch up with the log in batches.
    int64_t firstLineNumber() const { return m_firstLineNumber; }
    QStringList lines() const;
    void clear();

    // Completed and failed exchanges since start or the last reset.
    int32_t responseCount() const { return m_responseCount; }
    int32_t failureCount() const { return m_failureCount; }
    void countResponse();
    void countFailure();
    void resetStats();

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    // After lines were appended (and the oldest trimmed): views scroll to the
    // newest line.
    void entryAdded();
    void countersChanged(int32_t responses, int32_t failures);
    void activeChanged(bool active);
    void verboseSearchLogChanged(bool verbose);

private:
    void trim();

    std::deque<QString> m_lines;
    int64_t m_firstLineNumber = 0;
    Explainer m_explainer;
    int m_maxLines = DefaultMaxLines;
    bool m_active = false;
    bool m_verboseSearchLog = false;
    int32_t m_responseCount = 0;
    int32_t m_failureCount = 0;
};

// The one traffic log of the program.
TrafficLog& trafficLog();

// Shorthands for the link and the receive loops.
inline void logTraffic(const QByteArray& data, Direction direction) {
    trafficLog().log(data, direction);
}
inline void logNote(const QString& text) {
    trafficLog().note(text);
}

} // namespace kestrune
