#include "ascii/TagFile.h"

#include "base/Language.h"
#include "base/TextUtil.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <utility>

namespace kestrune::ascii {

namespace {

// Texts of the load result: success and rejection per layout, then the
// words that name skipped lines.
constexpr int TextOpcRejected = 1117;
constexpr int TextSkippedLines = 1123; // texts: 1123-1128
constexpr int TextTooLong = 1124;
constexpr int TextNotText = 1125;
constexpr int TextOpenQuote = 1126;
constexpr int TextMore = 1127;
constexpr int TextNotRead = 1128;

bool isControl(uint8_t c) {
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// Walks a line's fields as the loaders read them: double quotes dropped,
// every comma hands the field before it to atComma, which moves the line's
// state on or says stop. The field at the stop, or after the last comma
// when the line ran to its end.
struct FieldWalk {
    bool stopped = false;
    QByteArray field;
};

template <typename AtComma> FieldWalk walkFields(QByteArrayView line, AtComma atComma) {
    FieldWalk walk;
    for (const char c : line) {
        if (c == '"')
            continue;
        if (c != ',') {
            walk.field += c;
            continue;
        }
        if (!atComma(std::as_const(walk.field))) {
            walk.stopped = true;
            return walk;
        }
        walk.field.clear();
    }
    return walk;
}

// The tag of a tag-table line: "[TAG]", then fields 2 to 4 build the name
// and the comma after field 5 completes it. A line that ends without that
// comma, or any other line, gives nothing.
std::optional<QByteArray> tagTableName(QByteArrayView line) {
    int state = 1;
    QByteArray name;
    const FieldWalk walk = walkFields(line, [&](const QByteArray& field) {
        if (state == 1 && field.toUpper() == "[TAG]") {
            state = 2;
        } else if (state == 2) {
            name = field + '.';
            state = 3;
        } else if (state == 3) {
            if (!field.isEmpty())
                name += field + '_';
            state = 4;
        } else if (state == 4) {
            name += field + '.';
            state = 5;
        } else {
            return false;
        }
        return true;
    });
    if (walk.stopped && state == 5)
        return name + walk.field;
    return std::nullopt;
}

// The tag of an item-table line: at the comma after the fourth field that
// field, and when the line ends before it its last field. A line that stops
// earlier (a first field other than "[item]") gives nothing.
std::optional<QByteArray> itemTableName(QByteArrayView line) {
    int state = 1;
    const FieldWalk walk = walkFields(line, [&state](const QByteArray& field) {
        if (state == 1 && field.toUpper() == "[ITEM]")
            state = 2;
        else if (state == 2 || state == 3)
            ++state;
        else
            return false;
        return true;
    });
    if (walk.stopped && state != 4)
        return std::nullopt;
    return walk.field;
}

bool hasOpenQuote(QByteArrayView line) {
    return line.count('"') % 2 != 0;
}

// Splits the stream into lines (LF, CR LF or CR end a line), keeps each line
// bounded, and applies the layout's rules line by line.
class TagFileParser {
public:
    explicit TagFileParser(TagFileLayout layout) : m_layout(layout) {}

    // False once reading has stopped (rejected, or a limit reached).
    bool feed(QByteArrayView chunk) {
        for (qsizetype i = 0; i < chunk.size() && !m_stopped; ++i) {
            const char c = chunk[i];
            if (m_afterCr && c == '\n') {
                m_afterCr = false;
                continue;
            }
            m_afterCr = false;
            if (c == '\r' || c == '\n') {
                m_afterCr = c == '\r';
                endLine();
                continue;
            }
            m_lineHasText = true;
            if (m_overlong)
                continue;
            if (m_line.size() >= MaxLineLength) {
                m_overlong = true;
                m_line.clear();
                continue;
            }
            m_line += c;
        }
        return !m_stopped;
    }

    // The file ended. truncated: it was not read to its end.
    TagFileReading finish(bool truncated) {
        if (!truncated && m_lineHasText)
            endLine();
        if (m_pending)
            process(*m_pending, !truncated);
        m_pending.reset();
        if (truncated && !m_stopped)
            skip(m_lineNumber + 1, SkippedLine::NotRead); // a cut line is no line
        return std::move(m_reading);
    }

private:
    struct Line {
        QByteArray text;
        int number = 0;
        bool overlong = false;
    };

    void skip(int line, SkippedLine::Reason reason) {
        if (m_reading.skipped.size() < TagFileReading::MaxSkippedListed)
            m_reading.skipped.append({line, reason});
        ++m_reading.skippedCount;
    }

    // A line break: the line before it is taken once it is known whether it
    // is the last one.
    void endLine() {
        ++m_lineNumber;
        Line line{std::move(m_line), m_lineNumber, m_overlong};
        m_line.clear();
        m_overlong = false;
        m_lineHasText = false;
        if (m_pending)
            process(*m_pending, false);
        m_pending = std::move(line);
    }

    void process(Line& line, bool lastInFile) {
        if (m_stopped)
            return;
        m_current = line.number;
        if (line.number == 1 && line.text.startsWith("\xEF\xBB\xBF"))
            line.text.remove(0, 3); // a byte order mark some editors write
        if (line.overlong) {
            skip(line.number, SkippedLine::TooLong);
            return;
        }
        for (const char c : line.text) {
            if (isControl(static_cast<uint8_t>(c))) {
                skip(line.number, SkippedLine::NotText);
                return;
            }
        }
        if (lastInFile && m_layout != TagFileLayout::OpcItems && hasOpenQuote(line.text)) {
            skip(line.number, SkippedLine::OpenQuote);
            return;
        }
        applyLayout(line.text);
    }

    void reject() {
        m_reading.rejected = true;
        m_reading.rejectedLine = m_current;
        m_stopped = true;
    }

    void add(const QByteArray& tag) {
        if (m_reading.tags.size() >= MaxTags) {
            skip(m_current, SkippedLine::NotRead);
            m_stopped = true;
            return;
        }
        m_reading.tags.append(fromBytes(tag));
    }

    void applyLayout(const QByteArray& line) {
        switch (m_layout) {
        case TagFileLayout::OpcItems: {
            const qsizetype first = line.indexOf('.');
            if (first < 0 || line.indexOf('.', first + 1) < 0)
                return reject();
            add(line);
            return;
        }
        case TagFileLayout::TagTable:
            if (!line.startsWith('['))
                return reject();
            if (const std::optional<QByteArray> tag = tagTableName(line))
                add(*tag);
            return;
        case TagFileLayout::ItemTable:
            if (!line.startsWith("[item]"))
                return reject();
            if (const std::optional<QByteArray> tag = itemTableName(line))
                add(*tag);
            return;
        }
    }

    TagFileLayout m_layout;
    TagFileReading m_reading;
    QByteArray m_line;
    int m_lineNumber = 0; // lines ended so far
    int m_current = 0;    // the line being taken
    std::optional<Line> m_pending;
    bool m_overlong = false;
    bool m_lineHasText = false;
    bool m_afterCr = false;
    bool m_stopped = false;
};

// texts: 1117-1122
int layoutText(TagFileLayout layout, bool rejected) {
    // 1117/1118 OPC items, 1119/1120 tag table, 1121/1122 item table.
    return TextOpcRejected + 2 * static_cast<int>(layout) + (rejected ? 0 : 1);
}

QString reasonText(SkippedLine::Reason reason) {
    switch (reason) {
    case SkippedLine::TooLong:
        return getText(TextTooLong);
    case SkippedLine::NotText:
        return getText(TextNotText);
    case SkippedLine::OpenQuote:
        return getText(TextOpenQuote);
    case SkippedLine::NotRead:
        return getText(TextNotRead);
    }
    return QString();
}

} // namespace

TagFileReading readTagText(QByteArrayView contents, TagFileLayout layout) {
    TagFileParser parser(layout);
    const bool truncated = contents.size() > MaxFileBytes;
    parser.feed(contents.first(std::min<qsizetype>(contents.size(), MaxFileBytes)));
    return parser.finish(truncated);
}

QString tagFileResultText(const TagFileReading& reading, TagFileLayout layout,
                          const QString& fileName) {
    QString text = getText(layoutText(layout, reading.rejected));
    if (reading.rejected)
        text = fileName + QLatin1Char(' ') + text;
    if (reading.skippedCount == 0)
        return text;
    QStringList named;
    for (const SkippedLine& s : reading.skipped)
        named << QString::number(s.line) + QStringLiteral(" (") + reasonText(s.reason) +
                     QLatin1Char(')');
    QString skipped = named.join(QStringLiteral(", "));
    const int more = reading.skippedCount - static_cast<int>(reading.skipped.size());
    if (more > 0)
        skipped +=
            QStringLiteral(", +") + QString::number(more) + QLatin1Char(' ') + getText(TextMore);
    return text + QLatin1Char(' ') + getText(TextSkippedLines) + QLatin1Char(' ') + skipped;
}

TagFileLoad readTagDevice(QIODevice& device, TagFileLayout layout, const QString& fileName) {
    TagFileLoad load;
    load.opened = true;
    TagFileParser parser(layout);
    qint64 total = 0;
    bool truncated = false;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = device.read(buffer, sizeof buffer);
        if (n < 0) {
            load.error = fileFailure(device, QFileDevice::ReadError);
            load.reading = parser.finish(true); // the line being read is not complete
            return load;
        }
        if (n == 0)
            break;
        const qint64 take = std::min<qint64>(n, MaxFileBytes - total);
        total += take;
        if (!parser.feed(QByteArrayView(buffer, take)))
            break;
        if (take < n || (total >= MaxFileBytes && !device.atEnd())) {
            truncated = true;
            break;
        }
    }
    load.reading = parser.finish(truncated);
    load.text = tagFileResultText(load.reading, layout, fileName);
    load.tone = tagFileResultTone(load.reading);
    return load;
}

TagFileLoad loadTagFile(const QString& path, TagFileLayout layout) {
    QFile file(path);
    const QString fileName = QFileInfo(path).fileName();
    TagFileLoad load;
    if (QFileInfo(path).isDir()) {
        load.error = {false, static_cast<int>(QFileDevice::OpenError),
                      QStringLiteral("Is a directory")};
        return load;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        load.error = fileFailure(file, QFileDevice::OpenError);
        return load;
    }
    return readTagDevice(file, layout, fileName);
}

QByteArray tagListContents(const QStringList& tags, const QString& boxText) {
    QByteArray out;
    if (tags.isEmpty()) {
        if (!boxText.isEmpty())
            out = toBytes(boxText) + "\r\n";
        return out;
    }
    for (const QString& tag : tags)
        out += toBytes(tag) + "\r\n";
    return out;
}

SaveResult saveTagList(const QString& path, const QStringList& tags, const QString& boxText) {
    return replaceFile(path, tagListContents(tags, boxText));
}

} // namespace kestrune::ascii
