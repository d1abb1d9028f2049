#pragma once

#include "channel/TrafficLog.h"
#include "search/ProbeResult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The two files a search list is saved as: a CSV file of secondary
// addresses (one line a row, replacing an earlier file) and a plain-text
// report appended to a file that may hold earlier reports. Both are written
// as 8-bit text (Latin-1, a character a byte) with CR LF line ends, so that
// the padded report columns line up byte for byte. The window and
// kestrune-cli write them through the same functions.
namespace kestrune {

// The code in parentheses of a list cell, as the double-click and the CSV
// file take it: "ABB (0442h)" -> "0442", "1 (01h)" -> "01",
// "Radio converter(meter side) (37h)" -> "37". The text between the last
// "(" and the last "h)" when it is at least two characters long, else empty
// ("N/A", "Reserved (128)", "" and a one-digit code give empty). Column 5
// (the identification) is returned unchanged.
QString parseListX(const QString& cell, int column);

// The list headers of columns 1 to 9 (texts 810-817 and 827; column 3 is
// text 818 for the secondary method).
QStringList searchColumnHeaders(bool secondaryMethod);

// What both files are made of.
struct SearchExport {
    QVector<ProbeResult> rows;
    QString portsettings; // the connection the search ran over
    // Text_SearchMaskExclude: rows whose manufacturer code is exactly this
    // text are left out of the CSV file ("FFFF" leaves nothing out).
    QString excludeManufacturer = QStringLiteral("FFFF");
    // chkSec_REQ_UD2: the CSV identification is column 5 (the data read),
    // else column 1 (the mask sent).
    bool identificationFromData = true;
    // The report's header line: the list headers of columns 1 to 9.
    QStringList headers;
    // Stamp of both files; empty means now (the system's short date format
    // and long time format).
    QString dateText;
    QString timeText;
};

// `PadRight`(text, 14): the text followed by blanks up to 14 characters; a
// longer text stands whole.
QString padRight(const QString& text, int width = 14);

// The whole CSV file.
QByteArray searchCsvContents(const SearchExport& data);
// One report block, from "ADDRESS INFO" to its closing rule and empty line.
QByteArray searchReportBlock(const SearchExport& data);

// Writes the CSV file anew. The old file stays as it was until the new one
// is complete: the contents go to a temporary file in the same folder, which
// then replaces it; on a failure the temporary file is removed.
[[nodiscard]] SaveResult writeSearchCsv(const QString& path, const SearchExport& data);

// Appends one report block, creating the file when there is none. Earlier
// reports are never touched: when the disk refuses part of the block, the
// file is cut back to its length before the append (a file this call
// created is removed), so it never ends in half a block.
[[nodiscard]] SaveResult appendSearchReport(const QString& path, const SearchExport& data);

} // namespace kestrune
