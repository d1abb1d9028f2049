#include "modbus/SheetFile.h"

#include "base/FileReplace.h"
#include "base/Language.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace kestrune::modbus {

namespace {

constexpr int TextLoaded = 1020;
constexpr int TextNotASheet = 1021;
constexpr int TextCannotRead = 1022;
constexpr int TextCannotWrite = 1023;
constexpr int TextSkipped = 1024;
constexpr int TextLine = 1025;
constexpr int TextField = 1026;
constexpr int TextTooManyRows = 1027;

// A skipped field is quoted in the report up to this many characters.
constexpr qsizetype QuoteLimit = 24;

QByteArray fileText(const QString& text) {
    QByteArray bytes = text.toLatin1();
    for (char& c : bytes)
        if (uint8_t(c) < 0x20)
            c = ' ';
    return bytes;
}

void appendField(QByteArray& line, const QByteArray& field) {
    line += field;
    line += ',';
}

// The file's lines, each without its end (CR LF, LF or CR).
QList<QByteArrayView> splitLines(QByteArrayView contents) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < contents.size()) {
        const char c = contents[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(contents.sliced(start, i - start));
        i += (c == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < contents.size())
        lines.append(contents.sliced(start));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A line's fields: split at every comma, double quotes dropped.
QStringList fields(QByteArrayView line) {
    QByteArray bytes = line.toByteArray();
    bytes.replace('"', QByteArray());
    return QString::fromLatin1(bytes).split(QLatin1Char(','));
}

std::optional<int> wholeNumber(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (t.size() == i || t.size() - i > 9)
        return std::nullopt;
    for (; i < t.size(); ++i)
        if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9'))
            return std::nullopt;
    return t.toInt();
}

std::optional<bool> trueOrFalse(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

QString quoted(const QString& text) {
    QString shown = text.left(QuoteLimit);
    for (QChar& c : shown)
        if (c.unicode() < 0x20)
            c = QLatin1Char('?');
    if (text.size() > QuoteLimit)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

class Loader {
public:
    explicit Loader(RegisterSheet& sheet) : m_sheet(sheet) {}

    void applyParameters(int lineNumber, const QStringList& f) {
        m_line = lineNumber;
        for (int n = 1; n <= f.size(); ++n) {
            const QString& text = f[n - 1];
            switch (n) {
            case 1:
                if (const auto v = wholeNumber(text); v && (*v == 0 || *v == 1))
                    m_sheet.setAutoRegister(*v == 1);
                else
                    skip(n, text);
                break;
            case 2:
            case 3:
                if (const auto v = trueOrFalse(text)) {
                    if (*v)
                        m_sheet.setFraming(n == 2 ? Framing::Rtu : Framing::Tcp);
                } else {
                    skip(n, text);
                }
                break;
            case 4:
                if (const auto v = wholeNumber(text); !v || !m_sheet.setFunctionPosition(*v))
                    skip(n, text);
                break;
            case 5:
                m_sheet.setSlaveText(text);
                break;
            case 6:
                m_sheet.setFirstText(text);
                break;
            case 7:
                m_sheet.setCountText(text);
                break;
            default:
                beyondLast(n, text);
                break;
            }
        }
    }

    void applyRow(int lineNumber, int row, const QStringList& f) {
        m_line = lineNumber;
        for (int n = 1; n <= f.size(); ++n) {
            const QString& text = f[n - 1];
            switch (n) {
            case 1:
                if (const auto v = wholeNumber(text); v && m_sheet.setRowType(row, *v))
                    m_typeChosen = true;
                else
                    skip(n, text);
                break;
            case 2:
                if (const auto v = wholeNumber(text); v && m_sheet.setRowOrder(row, *v))
                    m_orders.append({row, *v});
                else
                    skip(n, text);
                break;
            case 3:
                m_sheet.setRegisterText(row, text);
                break;
            case 4:
                m_sheet.setByteText(row, text);
                break;
            case 5:
                m_sheet.setValueText(row, text);
                break;
            case 6:
                m_sheet.setDescription(row, text);
                break;
            default:
                beyondLast(n, text);
                break;
            }
        }
    }

    // Choosing a data type rebuilds every row's byte-order list; each row
    // then gets the order its own line holds.
    void finish() {
        if (!m_typeChosen)
            return;
        m_sheet.resetOrders();
        for (const auto& [row, order] : std::as_const(m_orders))
            m_sheet.setRowOrder(row, order);
    }

    void extraRows(int firstLine, int lastLine) {
        QString lines = QString::number(firstLine);
        if (lastLine > firstLine)
            lines += QLatin1Char('-') + QString::number(lastLine);
        m_skipped.append(getText(TextLine) + QLatin1Char(' ') + lines + QStringLiteral(": ") +
                         getText(TextTooManyRows));
    }

    QStringList skipped() const { return m_skipped; }

private:
    void skip(int field, const QString& text) {
        m_skipped.append(getText(TextLine) + QLatin1Char(' ') + QString::number(m_line) +
                         QStringLiteral(", ") + getText(TextField) + QLatin1Char(' ') +
                         QString::number(field) + QLatin1Char(' ') + quoted(text));
    }
    // The comma every field ends with leaves an empty last field; anything
    // else beyond the line's last field was cut off by a comma in a text.
    void beyondLast(int field, const QString& text) {
        if (!text.isEmpty())
            skip(field, text);
    }

    RegisterSheet& m_sheet;
    int m_line = 0;
    bool m_typeChosen = false;
    QList<std::pair<int, int>> m_orders;
    QStringList m_skipped;
};

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

QByteArray sheetFileText(const RegisterSheet& sheet) {
    const QByteArray end = QByteArrayLiteral("\r\n");
    QByteArray out = QByteArray(SheetFileTag) + end;
    const bool rtu = sheet.framing() == Framing::Rtu;
    QByteArray line;
    appendField(line, sheet.autoRegister() ? "1" : "0");
    appendField(line, rtu ? "True" : "False");
    appendField(line, rtu ? "False" : "True");
    appendField(line, QByteArray::number(sheet.functionPosition()));
    appendField(line, fileText(sheet.slaveText()));
    appendField(line, fileText(sheet.firstText()));
    appendField(line, fileText(sheet.countText()));
    out += line + end;
    for (int row = 0; row < SheetRowCount; ++row) {
        const SheetRow& r = sheet.row(row);
        line.clear();
        appendField(line, QByteArray::number(r.type));
        appendField(line, QByteArray::number(r.order));
        appendField(line, fileText(r.registerText));
        appendField(line, fileText(r.byteText));
        appendField(line, fileText(r.valueText));
        appendField(line, fileText(r.description));
        out += line + end;
    }
    return out;
}

SheetLoad applySheetFile(QByteArrayView contents, RegisterSheet& sheet) {
    SheetLoad load;
    const QList<QByteArrayView> lines = splitLines(contents);
    if (lines.isEmpty() || lines.first().toByteArray() != SheetFileTag)
        return load;
    load.accepted = true;
    Loader loader(sheet);
    if (lines.size() > 1)
        loader.applyParameters(2, fields(lines[1]));
    const int rowLines = int(std::min<qsizetype>(lines.size() - 2, SheetRowCount));
    for (int row = 0; row < rowLines; ++row)
        loader.applyRow(row + 3, row, fields(lines[row + 2]));
    loader.finish();
    if (lines.size() > 2 + SheetRowCount)
        loader.extraRows(3 + SheetRowCount, int(lines.size()));
    load.skipped = loader.skipped();
    return load;
}

FileReport saveSheetFile(const QString& path, const RegisterSheet& sheet) {
    FileReport report;
    const SaveResult saved = replaceFile(path, sheetFileText(sheet));
    if (saved.ok) {
        report.ok = true;
        return report;
    }
    report.text = fileName(path) + QLatin1Char(' ') + getText(TextCannotWrite) + QLatin1Char(' ') +
                  saved.description;
    report.tone = Tone::Failure;
    return report;
}

FileReport loadSheetFile(const QString& path, RegisterSheet& sheet) {
    FileReport report;
    report.tone = Tone::Failure;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.unreadable = true;
        report.text = fileName(path) + QLatin1Char(' ') + getText(TextCannotRead) +
                      QLatin1Char(' ') + file.errorString();
        return report;
    }
    const QByteArray contents = file.read(SheetFileLimit + 1);
    const bool tooLarge = contents.size() > SheetFileLimit;
    if (file.error() != QFileDevice::NoError) {
        report.unreadable = true;
        report.text = fileName(path) + QLatin1Char(' ') + getText(TextCannotRead) +
                      QLatin1Char(' ') + file.errorString();
        return report;
    }
    // Checked on a copy, so a refused file leaves the sheet as it was.
    RegisterSheet loaded = sheet;
    const SheetLoad load = tooLarge ? SheetLoad{} : applySheetFile(contents, loaded);
    if (!load.accepted) {
        report.text = fileName(path) + QLatin1Char(' ') + getText(TextNotASheet);
        return report;
    }
    sheet = loaded;
    report.ok = true;
    report.tone = Tone::Success;
    report.text = getText(TextLoaded);
    if (!load.skipped.isEmpty())
        report.text += QLatin1Char(' ') + getText(TextSkipped) + QLatin1Char(' ') +
                       load.skipped.join(QStringLiteral("; "));
    return report;
}

} // namespace kestrune::modbus
