#pragma once

#include "mbus/DataRecords.h"

#include <QString>

// The words a user reads about data records: quantity names, functions,
// VIFE qualifiers, remarks and decoding notes, all from the language file
// (texts 2000 to 2339). The stable English names for files and scripts are
// quantityId(), qualifierId() and functionId(); these texts are for people.
namespace kestrune::mbus {

QString quantityText(Quantity quantity);
QString functionText(RecordFunction function);
QString qualifierText(const RecordQualifier& qualifier);

// What a record measures, in words: the quantity (or the plain-text unit, or
// the reserved code with its bytes) followed by its qualifiers, separated by
// commas. "Energy, accumulation only of positive contributions".
QString recordQuantityText(const DataRecord& record);

// The record's value as shown: its text, "selection for readout" for a
// selection, empty when there is none.
QString recordValueText(const DataRecord& record);

// The record's remarks (reserved code, invalid time, summer time, ...) in
// words, separated by "; "; empty when there are none.
QString recordRemarksText(const DataRecord& record);

// One decoding note in words.
QString decodeNoteText(const DecodeNote& note);

// The application error codes of CI 70 in words.
QString applicationErrorText(int code);

} // namespace kestrune::mbus
