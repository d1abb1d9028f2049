#include "cli/SetupCommands.h"
#include "cli/SetupCommon.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "netsetup/DeviceScan.h"

#include <QJsonObject>

namespace kestrune::cli {

namespace {

QJsonObject deviceJson(const DiscoveredDevice& d) {
    return {
        {QStringLiteral("ip"), d.ip},
        {QStringLiteral("mac"), d.macText},
        {QStringLiteral("type"), d.type},
        {QStringLiteral("kind"), static_cast<int>(d.kind)},
        {QStringLiteral("identity"), d.identity},
        {QStringLiteral("key"), d.key},
        {QStringLiteral("info"), d.info},
        {QStringLiteral("reachable"), d.reachable},
    };
}

int runDiscover(Context& context, const QStringList& arguments) {
    if (!arguments.isEmpty())
        return context.fail(ExitBadInput, QStringLiteral("discover takes no arguments"));
    loadSetupTexts();
    const std::optional<SetupConfig> config = setupConfig(context, true);
    if (!config)
        return ExitBadInput;
    int code = ExitOk;
    const std::optional<QString> adapter = adapterAddress(context, *config, code);
    if (!adapter)
        return code;
    const bool json = context.parser().isSet(QStringLiteral("json"));

    DeviceScan scan(link());
    scan.setAdapterAddress(*adapter);
    ProgressPrinter progress(context);
    reportTo(context, scan, progress);
    if (!scan.scan(config->broadcastAddress, config->scanTimeout))
        return ExitLinkFailed;
    progress.finish();

    for (const DiscoveredDevice& d : scan.devices()) {
        if (json)
            printJson(context, deviceJson(d));
        else
            context.out() << d.ip << '\t' << d.macText << '\t' << d.type << '\t' << d.identity
                          << '\t' << d.info << '\n';
    }
    if (!json)
        context.out() << plainText(scan.resultText()) << '\n';
    context.out().flush();
    return scan.devices().isEmpty() ? ExitNoReply : ExitOk;
}

} // namespace

Command discoverCommand() {
    return Command{
        QStringLiteral("discover"),
        QString(),
        QStringLiteral("Find the gateways on the local network: IP and MAC address, family, "
                       "identity, address check. Exit 1 when none answered."),
        {jsonOption(), adapterOption(), broadcastOption()},
        &runDiscover,
    };
}

} // namespace kestrune::cli
