#include "cli/RecordsOutput.h"

#include "mbus/DataRecords.h"
#include "mbus/RecordTable.h"

#include <QJsonArray>

#include <algorithm>

namespace kestrune::cli {

using namespace kestrune::mbus;

void addRecordsJson(QJsonObject& object, QByteArrayView reply) {
    const RecordDecoding d = decodeRecords(reply);
    QJsonArray records;
    for (const DataRecord& r : d.records) {
        QJsonArray qualifiers;
        for (const RecordQualifier& q : r.qualifiers)
            qualifiers.append(qualifierId(q.qualifier, q.param));
        QJsonObject o{
            {QStringLiteral("function"), functionId(r.function)},
            // Storage numbers take at most 41 bits: exact in a JSON number.
            {QStringLiteral("storage"), static_cast<double>(r.storage)},
            {QStringLiteral("tariff"), static_cast<double>(r.tariff)},
            {QStringLiteral("subunit"), static_cast<double>(r.subunit)},
            {QStringLiteral("quantity"), quantityId(r.quantity)},
            {QStringLiteral("qualifiers"), qualifiers},
            {QStringLiteral("unit"), r.unit},
        };
        // The unit a plain-text VIF sends is the meter's own word.
        if (r.quantity == Quantity::PlainText)
            o.insert(QStringLiteral("plainText"), r.plainText);
        if (r.kind == ValueKind::Number)
            o.insert(QStringLiteral("value"), r.number);
        else
            o.insert(QStringLiteral("value"), r.text);
        records.append(o);
    }
    object.insert(QStringLiteral("records"), records);
    object.insert(QStringLiteral("recordsComplete"), d.complete);
}

void printRecords(QTextStream& out, QByteArrayView reply) {
    const RecordDecoding d = decodeRecords(reply);
    const std::vector<QStringList> rows = recordRows(d);
    const QStringList notes = recordNotes(d);
    if (rows.empty() && notes.isEmpty())
        return;
    out << '\n';
    if (!rows.empty()) {
        const QStringList titles = recordColumnTitles();
        // The remarks column only when a record has one.
        int columns = RecordColumnCount;
        if (std::none_of(rows.begin(), rows.end(), [](const QStringList& row) {
                return !row[static_cast<int>(RecordColumn::Remarks)].isEmpty();
            }))
            --columns;
        std::vector<int> width(static_cast<size_t>(columns), 0);
        const auto measure = [&](const QStringList& cells) {
            for (int i = 0; i < columns; ++i)
                width[static_cast<size_t>(i)] =
                    std::max(width[static_cast<size_t>(i)], static_cast<int>(cells[i].size()));
        };
        measure(titles);
        for (const QStringList& row : rows)
            measure(row);
        const auto line = [&](const QStringList& cells) {
            QString text;
            for (int i = 0; i < columns; ++i) {
                if (i > 0)
                    text += QStringLiteral("  ");
                // Numbers to the right: record, storage, tariff, subunit.
                const auto c = static_cast<RecordColumn>(i);
                const bool right = c == RecordColumn::Record || c == RecordColumn::Storage ||
                                   c == RecordColumn::Tariff || c == RecordColumn::Subunit;
                const int w = width[static_cast<size_t>(i)];
                text += right ? cells[i].rightJustified(w) : cells[i].leftJustified(w);
            }
            while (text.endsWith(QLatin1Char(' ')))
                text.chop(1);
            out << text << '\n';
        };
        line(titles);
        for (const QStringList& row : rows)
            line(row);
    }
    for (const QString& note : notes)
        out << note << '\n';
}

} // namespace kestrune::cli
