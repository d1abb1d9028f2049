#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QTextStream>

// The data records of a meter's reply, as decode and meter read print them.
namespace kestrune::cli {

// Adds to a JSON object "records": one object per record with its
// "function", "storage", "tariff", "subunit", "quantity", "qualifiers",
// "unit" and "value" (a number for numeric records, else a string), all
// names the stable English ones, never language texts ("plainText" besides
// for a unit the meter sends as text); and "recordsComplete",
// false when the decoding stopped before the end of the reply.
void addRecordsJson(QJsonObject& object, QByteArrayView reply);

// Prints the records as a table with a header line (language texts), the
// decoding notes below it. Nothing for a reply without records.
void printRecords(QTextStream& out, QByteArrayView reply);

} // namespace kestrune::cli
