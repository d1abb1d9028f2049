#include "channel/TrafficLog.h"

#include "base/TextUtil.h"
#include "base/Tick.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <limits>

namespace kestrune {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr int SaveRuleWidth = 75;

// The system's long time format with the time zone left out and the hours
// always two digits wide, so that the hexadecimal columns of successive
// entries stay in line.
QString timeOfDayFormat() {
    const QString system = QLocale::system().timeFormat(QLocale::LongFormat);
    QString out;
    for (qsizetype i = 0; i < system.size();) {
        const QChar c = system[i];
        if (c == QLatin1Char('\'')) {
            // Quoted literal, copied as it stands (including the quotes).
            qsizetype end = system.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                end = system.size() - 1;
            out += system.mid(i, end - i + 1);
            i = end + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < system.size() && system[i + run] == c)
            ++run;
        if (c == QLatin1Char('t')) {
            // time zone: dropped
        } else if ((c == QLatin1Char('h') || c == QLatin1Char('H')) && run == 1) {
            out += QString(2, c);
        } else {
            out += system.mid(i, run);
        }
        i += run;
    }
    out = out.simplified();
    if (!out.contains(QLatin1Char('s')) || !out.contains(QLatin1Char('m')))
        out = QStringLiteral("HH:mm:ss");
    return out;
}

const QLocale& systemLocale() {
    static const QLocale locale = QLocale::system();
    return locale;
}

int32_t saturatedIncrement(int32_t value) {
    return value == std::numeric_limits<int32_t>::max() ? value : value + 1;
}

} // namespace

QString uptimeStamp(int32_t tick) {
    int64_t t = tick;
    if (t < 0)
        t += 2147483647;
    if (t < 0) // the one tick -2^31 would still be negative
        t = 0;
    const int64_t seconds = t / 1000;
    const int64_t hours = seconds / 3600;
    const int64_t minutes = (seconds % 3600) / 60;
    const int64_t secs = seconds % 60;
    const int64_t millis = t % 1000;
    QString s;
    s.reserve(16);
    s += QLatin1Char(' ');
    s += QString::number(hours);
    s += QLatin1Char(':');
    s += QLatin1Char(static_cast<char>('0' + minutes / 10));
    s += QLatin1Char(static_cast<char>('0' + minutes % 10));
    s += QLatin1Char(':');
    s += QLatin1Char(static_cast<char>('0' + secs / 10));
    s += QLatin1Char(static_cast<char>('0' + secs % 10));
    s += QLatin1Char('.');
    s += QLatin1Char(static_cast<char>('0' + millis / 100));
    s += QLatin1Char(static_cast<char>('0' + (millis / 10) % 10));
    s += QLatin1Char(static_cast<char>('0' + millis % 10));
    return s;
}

QString directionArrow(Direction direction) {
    switch (direction) {
    case Direction::Sent:
        return QStringLiteral(" -> ");
    case Direction::Received:
        return QStringLiteral(" <- ");
    case Direction::Note:
        break;
    }
    return QStringLiteral("    ");
}

QString hexBodyLine(const QByteArray& piece) {
    QString line(TrafficBodyWidth, QLatin1Char(' '));
    const int n = static_cast<int>(std::min<qsizetype>(piece.size(), TrafficBytesPerLine));
    QChar* out = line.data();
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<uint8_t>(piece[i]);
        out[3 * i] = QLatin1Char(HexDigits[b >> 4]);
        out[3 * i + 1] = QLatin1Char(HexDigits[b & 0x0F]);
    }
    return line;
}

namespace {

QStringList assemble(const QStringList& body, Direction direction, int32_t tick,
                     const QString& timeOfDay, bool separator, const QString& explanation) {
    QStringList out;
    out.reserve(body.size() + (separator ? 1 : 0) + (explanation.isEmpty() ? 0 : 1));
    if (separator)
        out.append(QString());
    if (body.isEmpty())
        return out;
    const QString head = timeOfDay + uptimeStamp(tick) + directionArrow(direction);
    out.append(head + body.first());
    if (body.size() > 1 || !explanation.isEmpty()) {
        const QString indent(head.size(), QLatin1Char(' '));
        for (qsizetype k = 1; k < body.size(); ++k)
            out.append(indent + body[k]);
        if (!explanation.isEmpty())
            out.append(indent + explanation);
    }
    return out;
}

} // namespace

QStringList formatEntry(const QByteArray& data, Direction direction, int32_t tick,
                        const QString& timeOfDay, bool logHasLines, const QString& explanation) {
    QStringList body;
    if (direction == Direction::Note) {
        if (!data.isEmpty())
            body.append(fromBytes(data));
    } else {
        body.reserve((data.size() + TrafficBytesPerLine - 1) / TrafficBytesPerLine);
        for (qsizetype at = 0; at < data.size(); at += TrafficBytesPerLine)
            body.append(hexBodyLine(data.mid(at, TrafficBytesPerLine)));
    }
    // A note is words already. The words can quote a device's text: a
    // control character in them must not break the line (or a saved file's
    // numbering) in two.
    QString words = direction == Direction::Note ? QString() : explanation;
    for (QChar& ch : words)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            ch = QLatin1Char('?');
    return assemble(body, direction, tick, timeOfDay, direction == Direction::Sent && logHasLines,
                    words);
}

QStringList formatNote(const QString& text, int32_t tick, const QString& timeOfDay) {
    QStringList body;
    if (!text.isEmpty())
        body.append(text);
    return assemble(body, Direction::Note, tick, timeOfDay, false, QString());
}

QString currentTimeOfDay() {
    static const QString format = timeOfDayFormat();
    return systemLocale().toString(QTime::currentTime(), format);
}

QByteArray formatSaveBlock(const QStringList& lines, const QString& comment,
                           const QString& dateText, const QString& timeText) {
    const QByteArray crlf("\r\n");
    const QByteArray rule(SaveRuleWidth, '-');
    QByteArray out;
    out.reserve(256 + lines.size() * 100);
    out += "DEBUG INFO" + crlf;
    out += "Saved from Zelmor Durnhal Wizard version " KESTRUNE_VERSION "      ";
    out += dateText.toUtf8() + ' ' + timeText.toUtf8() + crlf;
    out += "Comment: " + comment.toUtf8() + crlf;
    out += rule + crlf;
    int number = 0;
    for (const QString& line : lines) {
        if (!line.isEmpty()) {
            out += QByteArray::number(number).rightJustified(3, '0') + ' ' + line.toUtf8();
            ++number;
        }
        out += crlf;
    }
    out += rule + crlf;
    out += crlf;
    return out;
}

SaveResult appendSaveBlock(const QString& path, const QStringList& lines, const QString& comment) {
    const QLocale& locale = systemLocale();
    const QByteArray block =
        formatSaveBlock(lines, comment, locale.toString(QDate::currentDate(), QLocale::ShortFormat),
                        currentTimeOfDay());

    QFile file(path);
    auto fail = [&](QFileDevice::FileError fallback) {
        const SaveResult result = fileFailure(file, fallback);
        file.close();
        return result;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(QFileDevice::OpenError);
    if (file.write(block) != block.size())
        return fail(QFileDevice::WriteError);
    if (!file.flush())
        return fail(QFileDevice::WriteError);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(QFileDevice::WriteError);
    return SaveResult{};
}

PollInterval correctPollInterval(const QString& text) {
    if (text.isEmpty())
        return {QString(), 0};
    if (!isNumeric(text))
        return {QStringLiteral("0"), 0};
    const int64_t value = toNumber(text);
    if (value > 65535)
        return {QStringLiteral("65535"), 65535};
    if (value < 0)
        return {QStringLiteral("0"), 0};
    return {text, static_cast<int>(value)};
}

// ---- TrafficLog ------------------------------------------------------------------

TrafficLog::TrafficLog(QObject* parent) : QAbstractListModel(parent) {}

void TrafficLog::setActive(bool active) {
    if (m_active == active)
        return;
    m_active = active;
    emit activeChanged(active);
}

void TrafficLog::setMaxLines(int64_t maxLines) {
    m_maxLines =
        static_cast<int>(std::clamp<int64_t>(maxLines, 1, std::numeric_limits<int32_t>::max()));
    trim();
}

void TrafficLog::setVerboseSearchLog(bool verbose) {
    if (m_verboseSearchLog == verbose)
        return;
    m_verboseSearchLog = verbose;
    emit verboseSearchLogChanged(verbose);
}

void TrafficLog::log(const QByteArray& data, Direction direction) {
    if (!m_active)
        return;
    if (data.isEmpty() && direction != Direction::Sent)
        return;
    QString explanation;
    if (m_explainer && direction != Direction::Note && !data.isEmpty())
        explanation = m_explainer(data, direction);
    appendLines(formatEntry(data, direction, static_cast<int32_t>(tickMs()), currentTimeOfDay(),
                            !m_lines.empty(), explanation));
}

void TrafficLog::log(const QString& text, Direction direction) {
    if (!m_active)
        return;
    if (direction == Direction::Note)
        note(text);
    else
        log(toBytes(text), direction);
}

void TrafficLog::note(const QString& text) {
    if (!m_active || text.isEmpty())
        return;
    appendLines(formatNote(text, static_cast<int32_t>(tickMs()), currentTimeOfDay()));
}

void TrafficLog::appendLines(const QStringList& lines) {
    if (!m_active || lines.isEmpty())
        return;
    const int first = lineCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(lines.size()) - 1);
    for (const QString& l : lines)
        m_lines.push_back(l);
    endInsertRows();
    trim();
    emit entryAdded();
}

void TrafficLog::trim() {
    const int excess = lineCount() - m_maxLines;
    if (excess <= 0)
        return;
    beginRemoveRows(QModelIndex(), 0, excess - 1);
    m_lines.erase(m_lines.begin(), m_lines.begin() + excess);
    m_firstLineNumber += excess;
    endRemoveRows();
}

QStringList TrafficLog::lines() const {
    QStringList out;
    out.reserve(lineCount());
    for (const QString& l : m_lines)
        out.append(l);
    return out;
}

void TrafficLog::clear() {
    if (m_lines.empty())
        return;
    beginResetModel();
    m_firstLineNumber += lineCount();
    m_lines.clear();
    endResetModel();
}

void TrafficLog::countResponse() {
    m_responseCount = saturatedIncrement(m_responseCount);
    emit countersChanged(m_responseCount, m_failureCount);
}

void TrafficLog::countFailure() {
    m_failureCount = saturatedIncrement(m_failureCount);
    emit countersChanged(m_responseCount, m_failureCount);
}

void TrafficLog::resetStats() {
    m_responseCount = 0;
    m_failureCount = 0;
    emit countersChanged(m_responseCount, m_failureCount);
}

int TrafficLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : lineCount();
}

QVariant TrafficLog::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
        index.row() >= lineCount())
        return QVariant();
    return line(index.row());
}

TrafficLog& trafficLog() {
    static TrafficLog log;
    return log;
}

} // namespace kestrune
