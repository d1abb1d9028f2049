#include "cli/SetupCommands.h"
#include "cli/SetupCommon.h"

#include "base/Language.h"
#include "base/TextUtil.h"
#include "channel/Link.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/InputCheck.h"
#include "netsetup/SetupTexts.h"

#include <QJsonObject>

#include <functional>

namespace kestrune::cli {

using namespace setuptext;

namespace {

const QString OptHost = QStringLiteral("host");

// One field a "record set" can change: which record holds it, and how its
// text is checked and put into the record.
struct Field {
    const char* name;
    int record;
    // Empty when taken; otherwise why the value is refused.
    std::function<QString(SetupRecord&, const QString&)> apply;
};

QString allowed(const QString& value, bool& allow) {
    const QString v = value.trimmed().toLower();
    if (v == QLatin1String("allow") || v == QLatin1String("yes") || v == QLatin1String("1")) {
        allow = true;
        return {};
    }
    if (v == QLatin1String("deny") || v == QLatin1String("no") || v == QLatin1String("0")) {
        allow = false;
        return {};
    }
    return QStringLiteral("'%1' is neither allow nor deny").arg(value);
}

const QList<Field>& fields() {
    static const QList<Field> all = {
        {"ip", 0,
         [](SetupRecord& r, const QString& v) {
             QString m;
             return checkDeviceAddress(v, m) && r.setIpAddress(v) ? QString() : plainText(m);
         }},
        {"gateway", 0,
         [](SetupRecord& r, const QString& v) {
             QString m;
             return checkAddress(v, m) && r.setGateway(v) ? QString() : plainText(m);
         }},
        {"mask", 0,
         [](SetupRecord& r, const QString& v) {
             QString m;
             return checkNetMask(v, m) && r.setNetMask(v) ? QString() : plainText(m);
         }},
        {"port", 0,
         [](SetupRecord& r, const QString& v) {
             QString m;
             const std::optional<uint16_t> port = checkPort(v, m);
             return port && r.setPort(*port) ? QString() : plainText(m);
         }},
        {"protocol", 0,
         [](SetupRecord& r, const QString& v) {
             const QString p = v.trimmed().toLower();
             if (p != QLatin1String("udp") && p != QLatin1String("tcp"))
                 return QStringLiteral("'%1' is neither udp nor tcp").arg(v);
             r.setUsingUdp(p == QLatin1String("udp"));
             return QString();
         }},
        {"line-speed", 0,
         [](SetupRecord& r, const QString& v) {
             for (int p = 0; p < SetupRecord::kLineSpeedCount; ++p) {
                 if (v.trimmed() == QString::number(SetupRecord::lineSpeedBaud(p))) {
                     r.setLineSpeed(p);
                     return QString();
                 }
             }
             return QStringLiteral("'%1' is no line speed of the list 300, 600, 1200, 2400, "
                                   "4800, 9600")
                 .arg(v);
         }},
        {"password", 0,
         [](SetupRecord& r, const QString& v) {
             bool latin = v.size() <= 4;
             for (QChar c : v)
                 latin = latin && c.unicode() >= 0x20 && c.unicode() <= 0xFF;
             if (!latin)
                 return QStringLiteral("'%1': the password is at most 4 characters").arg(v);
             r.setTelnetPassword(v);
             return QString();
         }},
        {"telnet", 1,
         [](SetupRecord& r, const QString& v) {
             bool allow = true;
             const QString error = allowed(v, allow);
             if (error.isEmpty())
                 r.setAllowTelnet(allow);
             return error;
         }},
        {"setup-77fe", 1,
         [](SetupRecord& r, const QString& v) {
             bool allow = true;
             const QString error = allowed(v, allow);
             if (error.isEmpty())
                 r.setAllow77FE(allow);
             return error;
         }},
    };
    return all;
}

// The record's fields as the setup pages name them.
QList<QPair<QString, QString>> describe(const SetupRecord& r) {
    QList<QPair<QString, QString>> out;
    if (r.recordNumber() == 0) {
        out = {{QStringLiteral("ip"), r.ipAddress()},
               {QStringLiteral("mask"), r.netMask()},
               {QStringLiteral("gateway"), r.gateway()},
               {QStringLiteral("port"), r.ipPort()},
               {QStringLiteral("protocol"),
                r.isUsingUdp() ? QStringLiteral("udp") : QStringLiteral("tcp")},
               {QStringLiteral("line-speed"),
                QString::number(SetupRecord::lineSpeedBaud(r.lineSpeed()))},
               {QStringLiteral("password"), r.telnetPassword()}};
    } else if (r.recordNumber() == 1) {
        const auto word = [](bool allow) {
            return allow ? QStringLiteral("allow") : QStringLiteral("deny");
        };
        out = {{QStringLiteral("telnet"), word(r.telnetAllowed())},
               {QStringLiteral("setup-77fe"), word(r.setup77FEAllowed())}};
    }
    return out;
}

void printRecord(Context& context, const SetupRecord& r, bool json, bool written) {
    const QList<QPair<QString, QString>> fieldValues = describe(r);
    if (json) {
        QJsonObject o{{QStringLiteral("record"), r.recordNumber()},
                      {QStringLiteral("length"), r.bytes().size()},
                      {QStringLiteral("bytes"), hexPairs(r.bytes())}};
        if (written)
            o.insert(QStringLiteral("written"), true);
        for (const auto& [name, value] : fieldValues)
            o.insert(name, value);
        printJson(context, o);
        return;
    }
    for (const auto& [name, value] : fieldValues)
        context.out() << name << ": " << value << '\n';
    context.out() << "bytes: " << hexPairs(r.bytes()) << '\n';
    context.out().flush();
}

int runRecord(Context& context, const QStringList& arguments) {
    const QString usage = QStringLiteral("usage: record get N | record set N FIELD=VALUE...");
    if (arguments.size() < 2)
        return context.fail(ExitBadInput, usage);
    const QString action = arguments[0];
    const bool set = action == QLatin1String("set");
    if (!set && action != QLatin1String("get"))
        return context.fail(ExitBadInput, usage);
    bool numberOk = false;
    const int n = arguments[1].toInt(&numberOk);
    if (!numberOk || n < 0 || n >= SetupRecord::kRecordCount)
        return context.fail(ExitBadInput,
                            QStringLiteral("'%1': records are numbered 0 to 7").arg(arguments[1]));
    if (!set && arguments.size() > 2)
        return context.fail(ExitBadInput, usage);
    if (set && arguments.size() < 3)
        return context.fail(ExitBadInput, QStringLiteral("record set: name a FIELD=VALUE"));

    loadSetupTexts();
    // Every field is checked on a copy first: nothing is sent for bad input.
    QList<QPair<const Field*, QString>> changes;
    for (const QString& a : arguments.mid(2)) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString name = eq > 0 ? a.left(eq).trimmed().toLower() : QString();
        const Field* field = nullptr;
        for (const Field& f : fields())
            if (name == QLatin1String(f.name))
                field = &f;
        if (!field) {
            QStringList known;
            for (const Field& f : fields())
                known << QStringLiteral("%1 (record %2)").arg(QLatin1String(f.name)).arg(f.record);
            return context.fail(ExitBadInput, QStringLiteral("'%1': known fields are %2")
                                                  .arg(a, known.join(QStringLiteral(", "))));
        }
        if (field->record != n)
            return context.fail(ExitBadInput, QStringLiteral("%1 is a field of record %2")
                                                  .arg(QLatin1String(field->name))
                                                  .arg(field->record));
        SetupRecord probe(n);
        probe.restoreDefaults(false);
        const QString error = field->apply(probe, a.mid(eq + 1));
        if (!error.isEmpty())
            return context.fail(ExitBadInput, error);
        changes.append({field, a.mid(eq + 1)});
    }

    const bool serial = context.parser().isSet(QStringLiteral("serial"));
    const bool network = context.parser().isSet(OptHost);
    if (serial == network)
        return context.fail(ExitBadInput,
                            QStringLiteral("name the gateway: --host ADDRESS or --serial PATH"));
    const std::optional<SetupConfig> config = setupConfig(context);
    if (!config)
        return ExitBadInput;

    GatewaySetup setup(link());
    setup.setConfig(*config);
    ProgressPrinter progress(context);
    reportTo(context, setup, progress);

    QString host;
    SetupMethod method = SetupMethod::Network;
    if (network) {
        host = context.parser().value(OptHost).trimmed();
        QString message;
        if (!checkAddress(host, message))
            return context.fail(ExitBadInput, QStringLiteral("--host: ") + plainText(message));
        if (set) {
            // The write goes out from the adapter when one is known.
            int code = ExitOk;
            if (context.parser().isSet(QStringLiteral("adapter"))) {
                const std::optional<QString> a = adapterAddress(context, *config, code);
                if (!a)
                    return code;
                setup.setAdapterAddress(*a);
            }
        }
    } else {
        method = SetupMethod::Serial;
        const std::optional<LinkSettings> s = context.linkSettings();
        if (!s)
            return ExitBadInput;
        if (!setup.connectConsole(s->serialDevice)) {
            progress.finish();
            return context.fail(setup.consolePortOpened() ? ExitNoReply : ExitLinkFailed,
                                plainText(setup.info()));
        }
    }

    SetupRecord record(n);
    RecordExchange& exchange = setup.exchange();
    const int readTimeout = serial ? config->serialTimeout : config->udpTimeout;
    if (!exchange.readRecord(record, method, host, readTimeout)) {
        progress.finish();
        link().closeSerialPort();
        return context.fail(ExitNoReply, plainText(getText(TextSettingsNotRead) + u'\n' +
                                                   exchangeFailureText(exchange.lastFailure())));
    }
    if (!set) {
        progress.finish();
        link().closeSerialPort();
        printRecord(context, record, context.parser().isSet(QStringLiteral("json")), false);
        return ExitOk;
    }
    for (const auto& [field, value] : std::as_const(changes))
        field->apply(record, value);
    const bool ok = exchange.writeRecord(record, method, host, config->writeTimeout);
    progress.finish();
    link().closeSerialPort();
    if (!ok)
        return context.fail(ExitNoReply, plainText(getText(TextSettingsNotWritten) + u'\n' +
                                                   exchangeFailureText(exchange.lastFailure())));
    if (context.parser().isSet(QStringLiteral("json")))
        printRecord(context, record, true, true);
    else
        context.out() << plainText(getText(TextSettingsWritten)) << Qt::endl;
    return ExitOk;
}

} // namespace

Command recordCommand() {
    return Command{
        QStringLiteral("record"),
        QStringLiteral("get N | set N FIELD=VALUE..."),
        QStringLiteral("Read or change setup record N (0-7) of a gateway over the network "
                       "(--host) or its serial console (--serial). Fields: ip, gateway, mask, "
                       "port, protocol, line-speed, password (record 0); telnet, setup-77fe "
                       "(record 1)."),
        {jsonOption(), adapterOption(),
         QCommandLineOption(OptHost, QStringLiteral("The gateway's IP address (setup port 30718)."),
                            QStringLiteral("ADDRESS"))},
        &runRecord,
    };
}

} // namespace kestrune::cli
