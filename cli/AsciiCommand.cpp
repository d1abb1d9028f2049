#include "cli/AsciiCommand.h"

#include "ascii/AsciiClient.h"
#include "ascii/TagFile.h"
#include "base/TextUtil.h"
#include "channel/Link.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kestrune::cli {

namespace {

const QString OptStation = QStringLiteral("station");
const QString OptProtocol = QStringLiteral("protocol");
const QString OptLayout = QStringLiteral("layout");
const QString OptJson = QStringLiteral("json");

const QString AsciiSection = QStringLiteral("MBusASCII");
const QString AsciiLine = QStringLiteral("9600,N,8,1");

void printJson(QTextStream& out, const QJsonObject& object) {
    out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << Qt::endl;
}

QString statusName(ascii::ReadStatus status) {
    switch (status) {
    case ascii::ReadStatus::Value:
        return QStringLiteral("value");
    case ascii::ReadStatus::DeviceError:
        return QStringLiteral("error");
    case ascii::ReadStatus::Timeout:
        return QStringLiteral("timeout");
    case ascii::ReadStatus::Busy:
        return QStringLiteral("busy");
    }
    return QString();
}

QString reasonName(ascii::SkippedLine::Reason reason) {
    switch (reason) {
    case ascii::SkippedLine::TooLong:
        return QStringLiteral("too-long");
    case ascii::SkippedLine::NotText:
        return QStringLiteral("not-text");
    case ascii::SkippedLine::OpenQuote:
        return QStringLiteral("open-quote");
    case ascii::SkippedLine::NotRead:
        return QStringLiteral("not-read");
    }
    return QString();
}

int runRead(Context& context, const QStringList& tags) {
    QCommandLineParser& p = context.parser();
    if (tags.isEmpty())
        return context.fail(ExitBadInput, QStringLiteral("ascii read: name at least one tag"));
    const QString stationText =
        p.isSet(OptStation) ? p.value(OptStation).trimmed() : QStringLiteral("0");
    if (!isNumeric(stationText))
        return context.fail(ExitBadInput,
                            QStringLiteral("--station: '%1' is not a number").arg(stationText));
    const QString protocolText = p.isSet(OptProtocol) ? p.value(OptProtocol) : QStringLiteral("0");
    if (protocolText != QLatin1String("0") && protocolText != QLatin1String("1"))
        return context.fail(ExitBadInput,
                            QStringLiteral("--protocol: '%1' is not 0 (standard) or 1 "
                                           "(standard incl. crc)")
                                .arg(protocolText));
    QList<QByteArray> names;
    for (const QString& tag : tags) {
        const std::optional<QByteArray> bytes = ascii::tagNameBytes(tag);
        if (!bytes)
            return context.fail(
                ExitBadInput,
                QStringLiteral("tag '%1' holds characters a tag name cannot carry").arg(tag));
        names.append(*bytes);
    }
    const int station = ascii::stationFromText(stationText);
    if (QString::number(station) != stationText)
        context.err() << "kestrune-cli: station " << stationText << " is sent as " << station
                      << Qt::endl;

    context.setDefaults(AsciiSection, AsciiLine);
    if (const int code = context.openLink(TelegramProtocol::Ascii); code != ExitOk)
        return code;

    const bool json = p.isSet(OptJson);
    const int protocol = protocolText.toInt();
    int exitCode = ExitOk;
    for (const QByteArray& tag : names) {
        const ascii::ReadResult r = ascii::client().read({protocol, stationText, tag});
        if (r.status == ascii::ReadStatus::Timeout && r.linkLost) {
            link().closeConnection();
            return context.fail(ExitLinkFailed,
                                QStringLiteral("the link was lost: ") + link().connectionError());
        }
        const QString shown = r.status == ascii::ReadStatus::Value ? fromBytes(r.value) : r.text;
        if (json) {
            QJsonObject o{
                {QStringLiteral("tag"), fromBytes(tag)},
                {QStringLiteral("station"), r.station},
                {QStringLiteral("protocol"), protocol},
                {QStringLiteral("sequence"), r.sequence},
                {QStringLiteral("status"), statusName(r.status)},
                {QStringLiteral("text"), r.text},
                {QStringLiteral("reply"), hexPairs(r.reply)},
            };
            if (r.status == ascii::ReadStatus::Value)
                o.insert(QStringLiteral("value"), fromBytes(r.value));
            if (r.status == ascii::ReadStatus::DeviceError)
                o.insert(QStringLiteral("code"), QString(QLatin1Char(r.errorCode)));
            printJson(context.out(), o);
        } else if (names.size() == 1) {
            context.out() << shown << Qt::endl;
        } else {
            context.out() << fromBytes(tag) << '\t' << shown << Qt::endl;
        }
        if (r.status == ascii::ReadStatus::Timeout)
            exitCode = ExitNoReply;
        else if (r.status == ascii::ReadStatus::DeviceError && exitCode == ExitOk)
            exitCode = ExitDeviceError;
    }
    link().closeConnection();
    return exitCode;
}

int runTags(Context& context, const QStringList& arguments) {
    QCommandLineParser& p = context.parser();
    if (arguments.size() != 1)
        return context.fail(ExitBadInput, QStringLiteral("ascii tags: name one tag file"));
    const QString path = arguments.first();
    QByteArray firstLine;
    {
        QFile peek(path);
        if (peek.open(QIODevice::ReadOnly))
            firstLine = peek.read(ascii::MaxLineLength);
    }
    const std::optional<int> layout =
        tagLayoutFor(p.value(OptLayout), p.isSet(OptLayout), firstLine);
    if (!layout)
        return context.fail(ExitBadInput,
                            QStringLiteral("--layout: '%1' is not 0 (OPC item file), 1 (tag "
                                           "table) or 2 (Modbus file)")
                                .arg(p.value(OptLayout)));

    const ascii::TagFileLoad load = ascii::loadTagFile(path, ascii::TagFileLayout(*layout));
    const ascii::TagFileReading& reading = load.reading;
    if (p.isSet(OptJson)) {
        QJsonArray skipped;
        for (const ascii::SkippedLine& s : reading.skipped)
            skipped.append(QJsonObject{{QStringLiteral("line"), s.line},
                                       {QStringLiteral("reason"), reasonName(s.reason)}});
        QJsonObject o{
            {QStringLiteral("file"), path},
            {QStringLiteral("layout"), *layout},
            {QStringLiteral("tags"), QJsonArray::fromStringList(reading.tags)},
            {QStringLiteral("accepted"), load.error.ok && !reading.rejected},
            {QStringLiteral("skipped"), skipped},
            {QStringLiteral("skippedCount"), reading.skippedCount},
        };
        if (reading.rejected)
            o.insert(QStringLiteral("rejectedLine"), reading.rejectedLine);
        o.insert(QStringLiteral("text"), load.error.ok ? load.text : load.error.message());
        printJson(context.out(), o);
    } else {
        for (const QString& tag : reading.tags)
            context.out() << tag << '\n';
        context.out().flush();
    }
    if (!load.error.ok)
        return context.fail(ExitBadInput, path + QStringLiteral(": ") + load.error.description);
    if (reading.rejected || reading.skippedCount > 0)
        context.err() << load.text << Qt::endl;
    return reading.rejected ? ExitBadInput : ExitOk;
}

int runAscii(Context& context, const QStringList& arguments) {
    const QString what = arguments.value(0);
    if (what == QLatin1String("read"))
        return runRead(context, arguments.mid(1));
    if (what == QLatin1String("tags"))
        return runTags(context, arguments.mid(1));
    return context.fail(ExitBadInput,
                        QStringLiteral("ascii: say read TAG... or tags FILE (see ascii --help)"));
}

} // namespace

std::optional<int> tagLayoutFor(const QString& option, bool given, QByteArrayView firstLine) {
    if (given) {
        if (option == QLatin1String("0") || option == QLatin1String("1") ||
            option == QLatin1String("2"))
            return option.toInt();
        return std::nullopt;
    }
    if (firstLine.startsWith("\xEF\xBB\xBF"))
        firstLine = firstLine.sliced(3);
    if (firstLine.startsWith("[item]"))
        return 2;
    if (firstLine.startsWith("["))
        return 1;
    return 0;
}

Command asciiCommand() {
    return Command{
        QStringLiteral("ascii"),
        QStringLiteral("read TAG... | tags FILE"),
        QStringLiteral("Read tags with the gateway's ASCII protocol (one value or error text a "
                       "line; TAG<tab>value for several tags), or list the tags of a tag file. "
                       "Exit 4 when a tag read got an error reply."),
        {
            {OptStation, QStringLiteral("ascii read: station 0 to 99 (default 0)."),
             QStringLiteral("N")},
            {OptProtocol,
             QStringLiteral("ascii read: 0 standard, 1 standard incl. crc (default 0)."),
             QStringLiteral("0|1")},
            {OptLayout,
             QStringLiteral("ascii tags: 0 OPC item file, 1 tag table, 2 Modbus file (default: "
                            "2 when the first line begins with [item], 1 with [, else 0)."),
             QStringLiteral("0|1|2")},
            {OptJson, QStringLiteral("Print JSON: one object a tag (read), one for the file "
                                     "(tags).")},
        },
        &runAscii,
    };
}

} // namespace kestrune::cli
