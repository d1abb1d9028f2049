#include "cli/SetupCommands.h"
#include "cli/SetupCommon.h"

#include "channel/Link.h"
#include "netsetup/GatewaySetup.h"
#include "netsetup/InputCheck.h"

#include <QJsonObject>

namespace kestrune::cli {

namespace {

const QString OptGateway = QStringLiteral("gateway");
const QString OptMask = QStringLiteral("mask");
const QString OptDhcp = QStringLiteral("dhcp");

int runIpSetup(Context& context, const QStringList& arguments) {
    QCommandLineParser& p = context.parser();
    const bool serial = p.isSet(QStringLiteral("serial"));
    const bool dhcp = p.isSet(OptDhcp);
    // Network: MAC and IP (MAC alone with --dhcp). Console: IP (nothing
    // with --dhcp): the console needs no MAC address.
    const int wanted = (serial ? 0 : 1) + (dhcp ? 0 : 1);
    if (arguments.size() != wanted)
        return context.fail(ExitBadInput,
                            serial ? QStringLiteral("usage: ip-setup --serial PATH IP | --dhcp")
                                   : QStringLiteral("usage: ip-setup MAC IP [--gateway G] "
                                                    "[--mask M] | ip-setup MAC --dhcp"));
    if (dhcp && (p.isSet(OptGateway) || p.isSet(OptMask)))
        return context.fail(ExitBadInput,
                            QStringLiteral("--dhcp takes no --gateway or --mask: the DHCP "
                                           "server gives them"));

    loadSetupTexts();
    const QString mac = serial ? QString() : arguments.value(0);
    const QString ip = dhcp ? QStringLiteral("0.0.0.0") : arguments.value(serial ? 0 : 1);
    const QString gateway = p.value(OptGateway);
    const QString mask = p.value(OptMask);
    // What the user typed is checked before anything is opened or sent.
    QString message;
    if ((!serial && !checkMacAddress(mac, message)) || !checkDeviceAddress(ip, message) ||
        (p.isSet(OptGateway) && !checkAddress(gateway, message)) ||
        (p.isSet(OptMask) && !checkNetMask(mask, message)))
        return context.fail(ExitBadInput, plainText(message));

    const std::optional<SetupConfig> config = setupConfig(context, true);
    if (!config)
        return ExitBadInput;
    GatewaySetup setup(link());
    setup.setConfig(*config);
    ProgressPrinter progress(context);
    reportTo(context, setup, progress);

    bool ok = false;
    bool toDiscovery = false;
    if (serial) {
        const std::optional<LinkSettings> s = context.linkSettings();
        if (!s)
            return ExitBadInput;
        ok = setup.setIpOverSerial(s->serialDevice, ip, gateway, mask);
        link().closeSerialPort();
    } else {
        int code = ExitOk;
        const std::optional<QString> adapter = adapterAddress(context, *config, code);
        if (!adapter)
            return code;
        setup.setAdapterAddress(*adapter);
        const GatewaySetup::IpSetupResult r = setup.setIpOverNetwork(mac, ip, gateway, mask);
        ok = r.ok;
        toDiscovery = r.goToDiscovery;
    }
    progress.finish();

    if (p.isSet(QStringLiteral("json"))) {
        QJsonObject o{{QStringLiteral("ok"), ok},
                      {QStringLiteral("ip"), ip},
                      {QStringLiteral("dhcp"), dhcp},
                      {QStringLiteral("text"), plainText(setup.info())}};
        if (!serial)
            o.insert(QStringLiteral("mac"), mac.trimmed().toUpper().replace(u':', u'-'));
        if (toDiscovery)
            o.insert(QStringLiteral("discover"), true);
        printJson(context, o);
    } else {
        context.out() << plainText(setup.info()) << Qt::endl;
    }
    if (ok)
        return ExitOk;
    // A console port that could not be opened is a link that failed.
    return serial && !setup.consolePortOpened() ? ExitLinkFailed : ExitNoReply;
}

} // namespace

Command ipSetupCommand() {
    return Command{
        QStringLiteral("ip-setup"),
        QStringLiteral("MAC IP | MAC --dhcp | --serial PATH IP"),
        QStringLiteral("Give a gateway its IP address: over the network by its MAC address "
                       "(IP-SETUP, then its gateway address and mask), or over its serial "
                       "console."),
        {jsonOption(), adapterOption(), broadcastOption(),
         QCommandLineOption(OptGateway, QStringLiteral("The gateway address to give it."),
                            QStringLiteral("G")),
         QCommandLineOption(OptMask, QStringLiteral("The subnet mask to give it."),
                            QStringLiteral("M")),
         QCommandLineOption(OptDhcp,
                            QStringLiteral("Let it obtain its address by DHCP (IP 0.0.0.0)."))},
        &runIpSetup,
    };
}

} // namespace kestrune::cli
