#pragma once

#include "mbus/DataRecords.h"

#include <QString>
#include <QStringList>

#include <vector>

// The data records of a meter's reply as the records table shows them and
// copies them: one row of words per record, and the same rows as CSV text.
// The words come from the language file; numbers are written with a decimal
// point whatever the user's locale. No widgets.
namespace kestrune::mbus {

// The columns of the records table, in order.
enum class RecordColumn : int {
    Record,   // the record's position, from 1
    Function, // instantaneous, maximum, minimum, value during error state, ...
    Storage,
    Tariff,
    Subunit,
    Quantity, // what is measured, with what the VIFEs add
    Value,
    Unit,
    Remarks, // invalid time, summer time, reserved code, ...
};
inline constexpr int RecordColumnCount = 9;

// The column headers (language texts).
QStringList recordColumnTitles();

// One row of cells per record, in the order of the reply.
std::vector<QStringList> recordRows(const RecordDecoding& decoding);

// The decoding's notes in words (a record running past the end of the
// reply, a wrong checksum, ...), one per line.
QStringList recordNotes(const RecordDecoding& decoding);

// The header row and the rows as CSV: fields separated by commas, a field
// holding a comma, a double quote or a line break enclosed in double quotes
// (quotes inside doubled), every line ended by a line feed.
QString recordsCsv(const QStringList& titles, const std::vector<QStringList>& rows);

} // namespace kestrune::mbus
