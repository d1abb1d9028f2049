#include "cli/SetupCommands.h"
#include "cli/SetupCommon.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "netsetup/InputCheck.h"
#include "netsetup/Pinger.h"
#include "netsetup/SetupTexts.h"

#include <QJsonArray>
#include <QJsonObject>

namespace kestrune::cli {

using namespace setuptext;

namespace {

const QString OptCount = QStringLiteral("count");

int runPing(Context& context, const QStringList& arguments) {
    if (arguments.size() != 1)
        return context.fail(ExitBadInput, QStringLiteral("usage: ping HOST [--count N]"));
    loadSetupTexts();
    const QString host = arguments[0].trimmed();
    QString message;
    if (!checkDeviceAddress(host, message) || host == QLatin1String("0.0.0.0"))
        return context.fail(
            ExitBadInput,
            plainText(message.isEmpty() ? QStringLiteral("'0.0.0.0' is no device") : message));
    std::optional<SetupConfig> config = setupConfig(context);
    if (!config)
        return ExitBadInput;
    if (context.parser().isSet(OptCount)) {
        bool ok = false;
        const int count = context.parser().value(OptCount).toInt(&ok);
        if (!ok || count < 1 || count > SetupConfig::MaxPings)
            return context.fail(ExitBadInput, QStringLiteral("--count: '%1' is not a number from "
                                                             "1 to %2")
                                                  .arg(context.parser().value(OptCount))
                                                  .arg(SetupConfig::MaxPings));
        config->numberOfPings = count;
    }

    Pinger pinger(link());
    if (!pinger.open(message))
        return context.fail(ExitLinkFailed, plainText(message));
    const bool json = context.parser().isSet(QStringLiteral("json"));
    QString text = getText(TextPingStart) + QLatin1Char(' ') + host;
    if (!json)
        context.out() << plainText(text);
    const PingSeries series =
        runPingSeries(pinger, link(), host, config->numberOfPings, config->pingDelay,
                      config->pingTimeout, [&](const QString& piece) {
                          if (!json) {
                              context.out() << plainText(piece);
                              context.out().flush();
                          }
                      });
    if (json) {
        QJsonArray times;
        for (const std::optional<int64_t>& us : series.microseconds)
            times.append(us ? QJsonValue(double(*us) / 1000.0) : QJsonValue());
        printJson(context, {{QStringLiteral("host"), host},
                            {QStringLiteral("method"), pinger.method() == Pinger::Method::Raw
                                                           ? QStringLiteral("raw")
                                                           : QStringLiteral("datagram")},
                            {QStringLiteral("sent"), series.sent},
                            {QStringLiteral("answered"), series.answered},
                            {QStringLiteral("ms"), times}});
    } else {
        context.out() << Qt::endl;
    }
    return series.answered > 0 ? ExitOk : ExitNoReply;
}

} // namespace

Command pingCommand() {
    return Command{
        QStringLiteral("ping"),
        QStringLiteral("HOST"),
        QStringLiteral("Ping a device (ICMP echo, [IP] NumberOfPings, PingDelay, PingTimeout). "
                       "Exit 1 when no ping was answered, 3 when the system allows no ICMP "
                       "socket."),
        {jsonOption(), QCommandLineOption(OptCount,
                                          QStringLiteral("Number of pings (default: INI "
                                                         "NumberOfPings)."),
                                          QStringLiteral("N"))},
        &runPing,
    };
}

} // namespace kestrune::cli
