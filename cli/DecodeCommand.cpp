#include "cli/DecodeCommand.h"

#include "base/Language.h"
#include "base/TextUtil.h"
#include "cli/RecordsOutput.h"
#include "cli/SendCommand.h"
#include "mbus/MBusFrame.h"
#include "mbus/MeterIdentification.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace kestrune::cli {

namespace {

const QString OptJson = QStringLiteral("json");

// Why bytes are no reply the program would take; empty when they are one.
QString replyProblem(const QByteArray& bytes) {
    if (bytes.size() == 1 && static_cast<uint8_t>(bytes[0]) == mbus::kAck)
        return QStringLiteral("E5 is an acknowledgement and carries no data");
    if (bytes.size() < 4 || static_cast<uint8_t>(bytes[0]) != mbus::kLongStart ||
        static_cast<uint8_t>(bytes[3]) != mbus::kLongStart)
        return QStringLiteral("not a long frame (68 L L 68 ...)");
    const int l = static_cast<uint8_t>(bytes[1]);
    if (static_cast<uint8_t>(bytes[2]) != l)
        return QStringLiteral("the two length bytes differ (%1, %2)")
            .arg(l)
            .arg(static_cast<uint8_t>(bytes[2]));
    if (bytes.size() != l + 6)
        return QStringLiteral("L = %1 announces %2 bytes, but %3 were given")
            .arg(l)
            .arg(l + 6)
            .arg(bytes.size());
    return QStringLiteral("the checksum byte is %1, the user data sum to %2")
        .arg(hexPair(static_cast<uint8_t>(bytes[l + 4])),
             hexPair(MBusChecksum(QByteArrayView(bytes).sliced(4, l))));
}

int runDecode(Context& context, const QStringList& arguments) {
    QString error;
    const std::optional<QByteArray> bytes = parseTelegram(arguments, error);
    if (!bytes)
        return context.fail(ExitBadInput, QStringLiteral("decode: ") + error);
    // E5 passes the reply rule but carries nothing to decode.
    if (bytes->size() == 1 || !isCompleteMBusReply(*bytes))
        return context.fail(ExitBadInput, QStringLiteral("decode: not a complete M-Bus reply: ") +
                                              replyProblem(*bytes));
    context.loadTexts();
    // Frames without the eight header bytes leave every cell empty.
    const std::optional<MeterDataColumns> row = extractMeterData(*bytes);
    const MeterDataColumns c = row.value_or(MeterDataColumns{});

    if (context.parser().isSet(OptJson)) {
        QJsonObject o{
            {QStringLiteral("decoded"), row.has_value()},
            {QStringLiteral("address"), c.address},
            {QStringLiteral("identification"), c.identification},
            {QStringLiteral("manufacturer"), c.manufacturer},
            {QStringLiteral("version"), c.version},
            {QStringLiteral("medium"), c.medium},
            {QStringLiteral("deviceType"), c.deviceType},
            {QStringLiteral("fixedStructure"), c.fixedStructure},
        };
        addRecordsJson(o, *bytes);
        context.out() << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
        return ExitOk;
    }
    // The search list's column headers, then the cells.
    // texts: 811, 814-817, 827
    const std::pair<int, const QString*> lines[] = {
        {811, &c.address}, {814, &c.identification}, {815, &c.manufacturer},
        {816, &c.version}, {817, &c.medium},         {827, &c.deviceType},
    };
    int width = 0;
    for (const auto& [text, value] : lines)
        width = std::max(width, static_cast<int>(getText(text).size()));
    for (const auto& [text, value] : lines)
        context.out() << getText(text).leftJustified(width + 2) << *value << '\n';
    printRecords(context.out(), *bytes);
    if (!row)
        context.err() << "kestrune-cli: decode: the reply holds no identification header ("
                      << bytes->size() << " bytes)" << Qt::endl;
    return ExitOk;
}

} // namespace

Command decodeCommand() {
    return Command{
        QStringLiteral("decode"),
        QStringLiteral("HEX..."),
        QStringLiteral("Print what a meter's reply says: address, identification, manufacturer, "
                       "version, medium, device type, then its data records with values and "
                       "units."),
        {{OptJson, QStringLiteral("Print one JSON object instead of lines.")}},
        &runDecode,
    };
}

} // namespace kestrune::cli
