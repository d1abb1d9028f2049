#include "mbus/RecordTable.h"

#include "base/Language.h"
#include "mbus/RecordTexts.h"

namespace kestrune::mbus {

namespace {

constexpr int TextFirstColumn = 2501; // texts: 2501-2509

QString csvField(const QString& cell) {
    if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) &&
        !cell.contains(QLatin1Char('\n')) && !cell.contains(QLatin1Char('\r')))
        return cell;
    QString quoted = cell;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QStringList recordColumnTitles() {
    QStringList titles;
    for (int i = 0; i < RecordColumnCount; ++i)
        titles << getText(TextFirstColumn + i);
    return titles;
}

std::vector<QStringList> recordRows(const RecordDecoding& decoding) {
    std::vector<QStringList> rows;
    rows.reserve(decoding.records.size());
    int number = 0;
    for (const DataRecord& r : decoding.records) {
        QStringList row;
        row.reserve(RecordColumnCount);
        row << QString::number(++number) << functionText(r.function) << QString::number(r.storage)
            << QString::number(r.tariff) << QString::number(r.subunit) << recordQuantityText(r)
            << recordValueText(r) << r.unit << recordRemarksText(r);
        rows.push_back(std::move(row));
    }
    return rows;
}

QStringList recordNotes(const RecordDecoding& decoding) {
    QStringList notes;
    for (const DecodeNote& note : decoding.notes)
        notes << decodeNoteText(note);
    return notes;
}

QString recordsCsv(const QStringList& titles, const std::vector<QStringList>& rows) {
    QString out;
    const auto line = [&out](const QStringList& cells) {
        QStringList fields;
        fields.reserve(cells.size());
        for (const QString& c : cells)
            fields << csvField(c);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    line(titles);
    for (const QStringList& row : rows)
        line(row);
    return out;
}

} // namespace kestrune::mbus
