#include "cli/MeterCommand.h"

#include "base/TextUtil.h"
#include "channel/Link.h"
#include "cli/RecordsOutput.h"
#include "mbus/FcbState.h"
#include "mbus/MeterOperations.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace kestrune::cli {

namespace {

const QString OptAddress = QStringLiteral("address");
const QString OptSecondary = QStringLiteral("secondary");
const QString OptFabrication = QStringLiteral("fabrication");
const QString OptAlwaysInit = QStringLiteral("always-init");
const QString OptAlwaysReset = QStringLiteral("always-reset");
const QString OptSubcode = QStringLiteral("subcode");
const QString OptFcb = QStringLiteral("fcb");
const QString OptJson = QStringLiteral("json");

struct Operation {
    const char* word;
    MeterFeature feature;
    int arguments; // how many words follow: 0, 1, or -1 for "0 or 1"
};
constexpr Operation Operations[] = {
    {"init", MeterFeature::Initialise, 0},
    {"read", MeterFeature::ReadAddress, 0},
    {"set-address", MeterFeature::ChangeAddress, 1},
    {"set-speed", MeterFeature::ChangeSpeed, 1},
    {"diag", MeterFeature::Diagnostic, 0},
    {"app-reset", MeterFeature::ApplicationReset, -1},
};

const char* operationWord(MeterFeature feature) {
    for (const Operation& o : Operations)
        if (o.feature == feature)
            return o.word;
    return "";
}

std::optional<int> fcbPolicy(const QString& text) {
    if (text == QLatin1String("toggle"))
        return FcbState::Toggle;
    if (text == QLatin1String("set"))
        return FcbState::AlwaysSet;
    if (text == QLatin1String("reset"))
        return FcbState::AlwaysReset;
    return std::nullopt;
}

QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QJsonObject outcomeJson(MeterFeature feature, const MeterOutcome& outcome, const QString& text) {
    QJsonObject o{
        {QStringLiteral("operation"), QLatin1String(operationWord(feature))},
        {QStringLiteral("done"), outcome.done},
        {QStringLiteral("failureText"), outcome.failureText},
        {QStringLiteral("text"), withLineFeeds(text)},
    };
    if (!outcome.reply.isEmpty()) {
        o.insert(QStringLiteral("reply"), hexPairs(outcome.reply));
        addRecordsJson(o, outcome.reply);
    }
    if (outcome.columns) {
        const MeterDataColumns& c = *outcome.columns;
        o.insert(QStringLiteral("address"), c.address);
        o.insert(QStringLiteral("identification"), c.identification);
        o.insert(QStringLiteral("manufacturer"), c.manufacturer);
        o.insert(QStringLiteral("version"), c.version);
        o.insert(QStringLiteral("medium"), c.medium);
        o.insert(QStringLiteral("deviceType"), c.deviceType);
        o.insert(QStringLiteral("fixedStructure"), c.fixedStructure);
    } else if (outcome.data) {
        // A reply without the identification header still names its sender.
        o.insert(QStringLiteral("address"), outcome.data->address);
    }
    if (outcome.voltage)
        o.insert(QStringLiteral("voltage"), *outcome.voltage);
    if (outcome.current)
        o.insert(QStringLiteral("current"), *outcome.current);
    return o;
}

int runMeter(Context& context, const QStringList& arguments) {
    QCommandLineParser& p = context.parser();
    QString error;
    const std::optional<ApplyInput> input = meterApplyInput(
        arguments, p.isSet(OptAddress) ? p.value(OptAddress) : QString(),
        p.isSet(OptSecondary) ? p.value(OptSecondary) : QString(),
        p.isSet(OptFabrication) ? p.value(OptFabrication) : QString(), p.isSet(OptAlwaysInit),
        p.isSet(OptAlwaysReset), p.isSet(OptSubcode) ? p.value(OptSubcode) : QString(), error);
    if (!input)
        return context.fail(ExitBadInput, QStringLiteral("meter: ") + error);
    int policy = storedFcbPolicy();
    if (p.isSet(OptFcb)) {
        const std::optional<int> chosen = fcbPolicy(p.value(OptFcb));
        if (!chosen)
            return context.fail(ExitBadInput,
                                QStringLiteral("meter: --fcb is toggle, set or reset, not '%1'")
                                    .arg(p.value(OptFcb)));
        policy = *chosen;
    }
    context.loadTexts();
    if (const int code = context.openLink(TelegramProtocol::MBus); code != ExitOk)
        return code;

    // As when the meter page connects: the first read starts with FCB 1.
    FcbState& fcb = fcbState();
    fcb.setPolicy(policy);
    fcb.setResetPending(true);
    Link& l = link();
    MeterOperations operations(l, fcb);
    const ApplyPlan plan = planApply(*input);
    const MeterOutcome outcome = operations.apply(plan);
    const bool lost = !l.isOpen();
    l.closeConnection();

    if (p.isSet(OptJson)) {
        context.out() << QJsonDocument(outcomeJson(plan.operation, outcome, operations.text()))
                             .toJson(QJsonDocument::Compact)
                      << Qt::endl;
    } else {
        const QString text = withLineFeeds(operations.text());
        context.out() << text;
        if (!text.endsWith(QLatin1Char('\n')))
            context.out() << '\n';
        context.out().flush();
    }
    if (lost)
        return context.fail(ExitLinkFailed,
                            QStringLiteral("the link was lost: ") + l.connectionError());
    return outcome.done ? ExitOk : ExitNoReply;
}

const char MeterDetails[] =
    R"(Operations:
  init                 SND_NKE (link reset)
  read                 REQ_UD2; prints the meter's primary and secondary address
  set-address N        writes the new primary address N (0-250)
  set-speed BAUD       switches the meter to 300, 600, 1200, 2400, 4800 or 9600 baud
  diag                 REQ_UD2; prints the whole reply (and a K2 gateway's bus values)
  app-reset [SUBCODE]  application reset, with subcode 0-15 in the upper four bits
The meter is --address A (0-255; 254 is the test address every meter answers)
or --secondary ID[.MAN[.VER[.MED]]] as the read report prints it (F or * in the
identification and left-out parts are wildcards; selected first, then
addressed as 253). --always-init sends SND_NKE first (not with --secondary,
whose selection it would end; not for init and app-reset); --always-reset sends
an application reset first (diag only; its subcode is --subcode). --fcb pins
the frame count bit of REQ_UD2 (default: the stored SelectedFCB).
Exit codes: 0 the meter answered as expected, 1 it did not (the text says
which step), 2 bad input, 3 link not opened or lost.
)";

} // namespace

std::optional<SecondaryMask> parseSecondaryMask(const QString& text, QString& error) {
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[.,]")));
    if (parts.size() > 4) {
        error = QStringLiteral("'%1' has more than four parts (ID.MAN.VER.MED)").arg(text);
        return std::nullopt;
    }
    static const QRegularExpression idChars(QStringLiteral("^[0-9Ff*]{0,8}$"));
    static const QRegularExpression hex4(QStringLiteral("^[0-9A-Fa-f]{0,4}$"));
    static const QRegularExpression hex2(QStringLiteral("^[0-9A-Fa-f]{0,2}$"));
    SecondaryMask m;
    m.id = parts.value(0);
    m.manufacturer = parts.value(1);
    m.version = parts.value(2);
    m.medium = parts.value(3);
    if (!idChars.match(m.id).hasMatch()) {
        error =
            QStringLiteral("identification '%1' is up to 8 digits, F or * as wildcards").arg(m.id);
        return std::nullopt;
    }
    if (!hex4.match(m.manufacturer).hasMatch()) {
        error = QStringLiteral("manufacturer '%1' is up to 4 hexadecimal digits (0442 for ABB)")
                    .arg(m.manufacturer);
        return std::nullopt;
    }
    for (const QString* part : {&m.version, &m.medium}) {
        if (!hex2.match(*part).hasMatch()) {
            error = QStringLiteral("version and medium are up to 2 hexadecimal digits, not '%1'")
                        .arg(*part);
            return std::nullopt;
        }
    }
    return m;
}

std::optional<ApplyInput> meterApplyInput(const QStringList& arguments, const QString& address,
                                          const QString& secondary, const QString& fabrication,
                                          bool alwaysInit, bool alwaysReset, const QString& subcode,
                                          QString& error) {
    if (arguments.isEmpty()) {
        error = QStringLiteral("name the operation: init, read, set-address N, set-speed BAUD, "
                               "diag or app-reset [SUBCODE]");
        return std::nullopt;
    }
    const Operation* op = nullptr;
    for (const Operation& o : Operations)
        if (arguments[0] == QLatin1String(o.word))
            op = &o;
    if (!op) {
        error = QStringLiteral("unknown operation '%1'").arg(arguments[0]);
        return std::nullopt;
    }
    const int given = static_cast<int>(arguments.size()) - 1;
    if ((op->arguments >= 0 && given != op->arguments) || (op->arguments < 0 && given > 1)) {
        error = QStringLiteral("%1 takes %2")
                    .arg(QLatin1String(op->word), op->arguments == 0 ? QStringLiteral("no value")
                                                  : op->arguments == 1
                                                      ? QStringLiteral("one value")
                                                      : QStringLiteral("at most one value"));
        return std::nullopt;
    }

    ApplyInput in;
    in.feature = static_cast<int>(op->feature);
    switch (op->feature) {
    case MeterFeature::ChangeAddress: {
        const std::optional<int> n = parseDecimal(arguments[1], 0, 250);
        if (!n) {
            error =
                QStringLiteral("the new primary address is 0 to 250, not '%1'").arg(arguments[1]);
            return std::nullopt;
        }
        in.newAddress = QString::number(*n);
        break;
    }
    case MeterFeature::ChangeSpeed:
        for (int i = 0; i < MeterLineSpeedCount; ++i)
            if (arguments[1] == QString::number(MeterLineSpeeds[i]))
                in.lineSpeedIndex = i;
        if (in.lineSpeedIndex < 0) {
            error = QStringLiteral("the line speed is 300, 600, 1200, 2400, 4800 or 9600, not '%1'")
                        .arg(arguments[1]);
            return std::nullopt;
        }
        break;
    default:
        break;
    }
    QString code = subcode;
    if (op->feature == MeterFeature::ApplicationReset && given == 1) {
        if (!subcode.isEmpty()) {
            error = QStringLiteral("give the subcode once");
            return std::nullopt;
        }
        code = arguments[1];
    }
    if (!code.isEmpty()) {
        const std::optional<int> k = parseDecimal(code, 0, 15);
        if (!k) {
            error = QStringLiteral("the reset subcode is 0 to 15, not '%1'").arg(code);
            return std::nullopt;
        }
        in.resetIndex = *k + 1;
    }

    if (address.isEmpty() == secondary.isEmpty()) {
        error = address.isEmpty()
                    ? QStringLiteral("name the meter: --address A or --secondary MASK")
                    : QStringLiteral("give only one of --address and --secondary");
        return std::nullopt;
    }
    if (!address.isEmpty()) {
        const std::optional<int> a = parseDecimal(address, 0, 255);
        if (!a) {
            error = QStringLiteral("--address is 0 to 255, not '%1'").arg(address);
            return std::nullopt;
        }
        in.address = QString::number(*a);
    } else {
        const std::optional<SecondaryMask> m = parseSecondaryMask(secondary, error);
        if (!m) {
            error = QStringLiteral("--secondary: ") + error;
            return std::nullopt;
        }
        in.secondary = true;
        in.secId = m->id;
        in.secManufacturer = m->manufacturer;
        in.secVersion = m->version;
        in.secMedium = m->medium;
    }
    if (!fabrication.isEmpty()) {
        static const QRegularExpression fab(QStringLiteral("^[0-9Ff*]{1,8}$"));
        if (!in.secondary || !fab.match(fabrication).hasMatch()) {
            error = in.secondary
                        ? QStringLiteral("--fabrication is up to 8 digits, F or * as wildcards")
                        : QStringLiteral("--fabrication goes with --secondary");
            return std::nullopt;
        }
        in.enhanced = true;
        in.fabrication = fabrication;
    }

    const MeterFeature f = op->feature;
    if (alwaysInit) {
        if (f == MeterFeature::Initialise || f == MeterFeature::ApplicationReset) {
            error =
                QStringLiteral("--always-init does not go with %1").arg(QLatin1String(op->word));
            return std::nullopt;
        }
        if (in.secondary) {
            error = QStringLiteral("--always-init does not go with --secondary: the link reset "
                                   "would end the selection");
            return std::nullopt;
        }
    }
    if (alwaysReset && f != MeterFeature::Diagnostic) {
        error = QStringLiteral("--always-reset goes with diag only");
        return std::nullopt;
    }
    if (!subcode.isEmpty() && !alwaysReset && f != MeterFeature::ApplicationReset) {
        error = QStringLiteral("--subcode goes with app-reset or --always-reset");
        return std::nullopt;
    }
    in.alwaysInit = alwaysInit;
    in.alwaysReset = alwaysReset;
    return in;
}

Command meterCommand() {
    return Command{
        QStringLiteral("meter"),
        QStringLiteral("OPERATION [VALUE]"),
        QStringLiteral("One operation on one meter (init, read, set-address N, set-speed BAUD, "
                       "diag, app-reset [SUBCODE]); prints the page's report."),
        {
            {OptAddress, QStringLiteral("The meter's primary address (0-255)."),
             QStringLiteral("A")},
            {OptSecondary, QStringLiteral("The meter's secondary address ID[.MAN[.VER[.MED]]]."),
             QStringLiteral("MASK")},
            {OptFabrication, QStringLiteral("Add the fabrication number to the selection."),
             QStringLiteral("NUMBER")},
            {OptAlwaysInit, QStringLiteral("Send SND_NKE before the operation.")},
            {OptAlwaysReset, QStringLiteral("Send an application reset before diag.")},
            {OptSubcode, QStringLiteral("Subcode 0-15 of the reset before diag."),
             QStringLiteral("K")},
            {OptFcb, QStringLiteral("Frame count bit of REQ_UD2: toggle, set (7B), reset (5B)."),
             QStringLiteral("POLICY")},
            {OptJson, QStringLiteral("Print one JSON object instead of the text.")},
        },
        &runMeter,
        QString::fromLatin1(MeterDetails),
    };
}

} // namespace kestrune::cli
