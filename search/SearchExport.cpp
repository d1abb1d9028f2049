#include "search/SearchExport.h"

#include "base/Language.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

namespace kestrune {

namespace {

// texts: 810-818, 827
constexpr int TextFirstHeader = 810;     // column 1; column k is 810 + k - 1 up to 8
constexpr int TextSelectionHeader = 818; // column 3 of the secondary method
constexpr int TextDeviceTypeHeader = 827;

constexpr int ReportRuleWidth = 130;
constexpr int ReportCellWidth = 14;
const QByteArray Crlf("\r\n");
const QByteArray Version("Zelmor Kestrune version " KESTRUNE_VERSION "      ");

QByteArray bytes(const QString& text) {
    // A character a byte, as the list shows it; one outside Latin-1 becomes "?".
    return text.toLatin1();
}

QString stampDate(const SearchExport& data) {
    return data.dateText.isEmpty()
               ? QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)
               : data.dateText;
}

QString stampTime(const SearchExport& data) {
    return data.timeText.isEmpty() ? currentTimeOfDay() : data.timeText;
}

QByteArray stamp(const SearchExport& data) {
    return Version + bytes(stampDate(data)) + ' ' + bytes(stampTime(data));
}

} // namespace

QString parseListX(const QString& cell, int column) {
    if (column == 5)
        return cell;
    const qsizetype open = cell.lastIndexOf(QLatin1Char('('));
    const qsizetype from = open + 1; // 0 when there is no "("
    const qsizetype n = cell.lastIndexOf(QLatin1String("h)")) - from;
    return n > 1 ? cell.mid(from, n) : QString();
}

QStringList searchColumnHeaders(bool secondaryMethod) {
    QStringList headers;
    for (int column = 1; column <= 8; ++column)
        headers.append(getText(TextFirstHeader + column - 1));
    if (secondaryMethod)
        headers[2] = getText(TextSelectionHeader);
    headers.append(getText(TextDeviceTypeHeader));
    return headers;
}

QString padRight(const QString& text, int width) {
    return text.size() >= width ? text : text + QString(width - text.size(), QLatin1Char(' '));
}

QByteArray searchCsvContents(const SearchExport& data) {
    QByteArray out;
    out += "#Saved from " + stamp(data) + Crlf;
    out += "#Portsettings: " + bytes(data.portsettings) + Crlf;
    out += "#IdNumber,Manufacturer,Version,Medium" + Crlf;
    for (const ProbeResult& row : data.rows) {
        const QString manufacturer = parseListX(row.cell(6), 6);
        if (manufacturer == data.excludeManufacturer)
            continue;
        const QString id = data.identificationFromData ? row.cell(5) : row.cell(1);
        out += bytes(id) + ',' + bytes(manufacturer) + ',' + bytes(parseListX(row.cell(7), 7)) +
               ',' + bytes(parseListX(row.cell(8), 8)) + Crlf;
    }
    return out;
}

QByteArray searchReportBlock(const SearchExport& data) {
    const QByteArray rule(ReportRuleWidth, '-');
    // Columns 1 to 9, each padded and followed by one blank.
    const auto line = [](const auto& cellOf) {
        QByteArray out;
        for (int column = 1; column < ProbeResult::CellCount; ++column)
            out += bytes(padRight(cellOf(column), ReportCellWidth)) + ' ';
        return out + Crlf;
    };
    QByteArray out;
    out += "ADDRESS INFO" + Crlf;
    out += "Saved from " + stamp(data) + Crlf;
    out += "Portsettings: " + bytes(data.portsettings) + Crlf;
    out += rule + Crlf;
    out += line([&](int column) { return data.headers.value(column - 1); });
    for (const ProbeResult& row : data.rows)
        out += line([&](int column) { return row.cell(column); });
    out += rule + Crlf;
    out += Crlf;
    return out;
}

SaveResult writeSearchCsv(const QString& path, const SearchExport& data) {
    const QByteArray contents = searchCsvContents(data);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fileFailure(file, QFileDevice::OpenError);
    if (file.write(contents) != contents.size()) {
        const SaveResult failed = fileFailure(file, QFileDevice::WriteError);
        file.cancelWriting();
        return failed;
    }
    if (!file.commit())
        return fileFailure(file, QFileDevice::WriteError);
    return SaveResult{};
}

SaveResult appendSearchReport(const QString& path, const SearchExport& data) {
    const QByteArray block = searchReportBlock(data);
    QFile file(path);
    const bool existed = file.exists();
    // Unbuffered: a refused write shows at once, and nothing is left in a
    // buffer for close() to try again after the file was cut back.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fileFailure(file, QFileDevice::OpenError);
    const qint64 before = file.size();
    const bool written = file.write(block) == block.size() && file.flush();
    if (written) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return SaveResult{};
    }
    // Half a block must not stay behind: back to the file as it was.
    const SaveResult failed = fileFailure(file, QFileDevice::WriteError);
    file.close();
    if (!existed)
        QFile::remove(path);
    else
        QFile::resize(path, before);
    return failed;
}

} // namespace kestrune
