#include "cli/ModbusCommand.h"

#include "base/TextUtil.h"
#include "channel/Link.h"
#include "modbus/ModbusClient.h"
#include "modbus/RegisterSheet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <optional>

namespace kestrune::cli {

namespace {

using namespace kestrune::modbus;

const QString OptUnit = QStringLiteral("unit");
const QString OptFunction = QStringLiteral("function");
const QString OptFirst = QStringLiteral("first");
const QString OptCount = QStringLiteral("count");
const QString OptFraming = QStringLiteral("framing");
const QString OptType = QStringLiteral("type");
const QString OptOrder = QStringLiteral("order");
const QString OptJson = QStringLiteral("json");
const QString AllOrders = QStringLiteral("all");

// One value row as the sheet shows it.
struct ValueRow {
    int64_t reg = 0;
    QString bytes;
    QString value;              // one order
    QList<OrderValue> inOrders; // --order all
    QString note;
};

std::optional<int64_t> number(Context& context, const QString& name, int64_t fallback, int64_t low,
                              int64_t high) {
    if (!context.parser().isSet(name))
        return fallback;
    const QString text = context.parser().value(name);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (digits.match(text).hasMatch()) {
        const int64_t v = text.toLongLong();
        if (v >= low && v <= high)
            return v;
    }
    context.fail(ExitBadInput, QStringLiteral("--%1: '%2' is not a number from %3 to %4")
                                   .arg(name, text)
                                   .arg(low)
                                   .arg(high));
    return std::nullopt;
}

QList<ValueRow> valueRows(const ReadResult& r, int type, int order) {
    QList<ValueRow> rows;
    const qsizetype step = 2 * registerCount(type);
    for (qsizetype offset = 0; offset < r.registers.size(); offset += step) {
        ValueRow row;
        row.reg = r.request.first + offset / 2;
        const ValueView view = valueAt(r.registers, offset, type, order < 0 ? 0 : order);
        row.bytes = view.bytes;
        row.note = view.note;
        if (order < 0)
            row.inOrders = valuesInEveryOrder(r.registers, offset, type);
        else
            row.value = view.value;
        rows.append(row);
    }
    return rows;
}

void printTable(QTextStream& out, const QList<ValueRow>& rows, int type, int order) {
    QStringList head = {QStringLiteral("register"), QStringLiteral("bytes")};
    if (order < 0)
        head += byteOrderNames(type);
    else
        head += QStringLiteral("value");
    QList<QStringList> table{head};
    bool notes = false;
    for (const ValueRow& row : rows) {
        QStringList line = {QString::number(row.reg), row.bytes};
        if (order < 0) {
            for (const OrderValue& v : row.inOrders)
                line += v.value;
        } else {
            line += row.value;
        }
        line += row.note;
        notes = notes || !row.note.isEmpty();
        table.append(line);
    }
    if (notes)
        table[0] += QStringLiteral("note");
    QList<qsizetype> widths(table[0].size(), 0);
    for (const QStringList& line : std::as_const(table))
        for (qsizetype i = 0; i < line.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    for (const QStringList& line : std::as_const(table)) {
        QString text;
        for (qsizetype i = 0; i < line.size() && i < widths.size(); ++i)
            text += i + 1 < widths.size() ? line[i].leftJustified(widths[i] + 2) : line[i];
        out << text.trimmed() << Qt::endl;
    }
}

QJsonObject jsonResult(const ReadResult& r, const QList<ValueRow>& rows, int type, int order) {
    QJsonObject o;
    o[QStringLiteral("framing")] =
        r.framing == Framing::Tcp ? QStringLiteral("tcp") : QStringLiteral("rtu");
    o[QStringLiteral("unit")] = r.request.unit;
    o[QStringLiteral("function")] = r.request.function;
    o[QStringLiteral("first")] = r.request.first;
    o[QStringLiteral("count")] = r.request.count;
    if (r.framing == Framing::Tcp)
        o[QStringLiteral("transaction_id")] = r.transactionId;
    o[QStringLiteral("request")] = hexPairs(r.sent);
    o[QStringLiteral("reply")] = hexPairs(r.reply);
    o[QStringLiteral("outcome")] = outcomeName(r.outcome);
    o[QStringLiteral("text")] = r.text;
    if (r.outcome == Outcome::Exception)
        o[QStringLiteral("exception_code")] = r.exceptionCode;
    o[QStringLiteral("registers")] = hexPairs(r.registers);
    o[QStringLiteral("type")] = dataTypeName(type);
    o[QStringLiteral("order")] = order < 0 ? AllOrders : byteOrderNames(type).value(order);
    QJsonArray values;
    for (const ValueRow& row : rows) {
        QJsonObject v;
        v[QStringLiteral("register")] = qint64(row.reg);
        v[QStringLiteral("bytes")] = row.bytes;
        if (order < 0) {
            QJsonObject all;
            for (const OrderValue& ov : row.inOrders)
                all[ov.order] = ov.value;
            v[QStringLiteral("values")] = all;
        } else {
            v[QStringLiteral("value")] = row.value;
        }
        if (!row.note.isEmpty())
            v[QStringLiteral("note")] = row.note;
        values.append(v);
    }
    o[QStringLiteral("values")] = values;
    return o;
}

int exitCodeOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return ExitOk;
    case Outcome::Timeout:
        return ExitNoReply;
    case Outcome::Exception:
    case Outcome::WrongTransactionId:
    case Outcome::BadCrc:
        return ExitDeviceError;
    case Outcome::Refused:
    case Outcome::LibraryFailed:
        return ExitSupportLibrary;
    case Outcome::NotOpen:
    case Outcome::Busy:
    case Outcome::LinkLost:
        break;
    }
    return ExitLinkFailed;
}

int runModbus(Context& context, const QStringList& arguments) {
    if (arguments != QStringList{QStringLiteral("read")})
        return context.fail(ExitBadInput, QStringLiteral("modbus: the command is 'modbus read'"));
    ReadParameters p;
    const auto unit = number(context, OptUnit, 1, 0, 255);
    const auto function = unit ? number(context, OptFunction, 3, 3, 4) : std::nullopt;
    const auto first = function ? number(context, OptFirst, 0, 0, 0xFFFF) : std::nullopt;
    const auto count = first ? number(context, OptCount, 1, 0, MaxRegisterCount) : std::nullopt;
    if (!count)
        return ExitBadInput;
    p.unit = *unit;
    p.function = *function;
    p.first = *first;
    p.count = *count;

    const QString framing = context.parser().value(OptFraming).toLower();
    if (framing == QLatin1String("tcp"))
        p.framing = Framing::Tcp;
    else if (!framing.isEmpty() && framing != QLatin1String("rtu"))
        return context.fail(ExitBadInput,
                            QStringLiteral("--framing: '%1' is neither rtu nor tcp").arg(framing));

    int type = 0;
    if (context.parser().isSet(OptType)) {
        type = dataTypeByName(context.parser().value(OptType).toUpper());
        if (type < 0)
            return context.fail(ExitBadInput, QStringLiteral("--type: '%1' is none of %2")
                                                  .arg(context.parser().value(OptType),
                                                       dataTypeNames().join(QStringLiteral(", "))));
    }
    int order = 0;
    if (context.parser().isSet(OptOrder)) {
        const QString name = context.parser().value(OptOrder).toUpper();
        order = name == AllOrders.toUpper() ? -1 : byteOrderByName(type, name);
        if (name != AllOrders.toUpper() && order < 0)
            return context.fail(
                ExitBadInput,
                QStringLiteral("--order: %1 offers %2 or all")
                    .arg(dataTypeName(type), byteOrderNames(type).join(QStringLiteral(", "))));
    }

    context.setDefaults(QStringLiteral("ModBus"), QString());
    if (const int code = context.openLink(p.framing == Framing::Tcp ? TelegramProtocol::ModbusTcp
                                                                    : TelegramProtocol::ModbusRtu);
        code != ExitOk)
        return code;
    ModbusClient client(link());
    const ReadResult r = client.read(p);
    link().closeConnection();
    const QList<ValueRow> rows = r.registersValid ? valueRows(r, type, order) : QList<ValueRow>{};

    if (context.parser().isSet(OptJson)) {
        context.out()
            << QJsonDocument(jsonResult(r, rows, type, order)).toJson(QJsonDocument::Compact)
            << Qt::endl;
    } else {
        context.out() << r.text << Qt::endl;
        if (!rows.isEmpty())
            printTable(context.out(), rows, type, order);
    }
    return exitCodeOf(r.outcome);
}

} // namespace

Command modbusCommand() {
    return Command{
        QStringLiteral("modbus"),
        QStringLiteral("read"),
        QStringLiteral("Read Modbus registers and print their bytes and values as the register "
                       "sheet shows them."),
        {
            {OptUnit, QStringLiteral("modbus read: slave address / unit identifier (default 1)."),
             QStringLiteral("N")},
            {OptFunction,
             QStringLiteral("modbus read: 3 holding registers (default), 4 input registers."),
             QStringLiteral("3|4")},
            {OptFirst, QStringLiteral("modbus read: first register, 0 to 65535 (default 0)."),
             QStringLiteral("R")},
            {OptCount,
             QStringLiteral("modbus read: number of registers (default 1); above 125 is sent "
                            "as given and the slave answers with an exception."),
             QStringLiteral("C")},
            {OptFraming,
             QStringLiteral("modbus read: rtu (CRC, default) or tcp (7-byte header), whatever "
                            "the link."),
             QStringLiteral("rtu|tcp")},
            {OptType,
             QStringLiteral("modbus read: data type of the values, INT16 (default) ... CHAR16."),
             QStringLiteral("NAME")},
            {OptOrder,
             QStringLiteral("modbus read: byte order the type offers (default its first), or "
                            "all."),
             QStringLiteral("NAME|all")},
            {OptJson, QStringLiteral("modbus read: print one JSON object.")},
        },
        &runModbus,
    };
}

} // namespace kestrune::cli
