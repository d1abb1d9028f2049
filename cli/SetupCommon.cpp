#include "cli/SetupCommon.h"

#include "base/Language.h"
#include "base/ProgramDir.h"
#include "netsetup/Adapters.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>

#include <unistd.h>

namespace kestrune::cli {

QCommandLineOption jsonOption() {
    return {QStringLiteral("json"), QStringLiteral("Print the result as JSON.")};
}

QCommandLineOption adapterOption() {
    return {QStringLiteral("adapter"),
            QStringLiteral("Local address to send from (default: the only network adapter; "
                           "loopback counts with [IP] IncludeLoopback=1)."),
            QStringLiteral("ADDRESS")};
}

QCommandLineOption broadcastOption() {
    return {QStringLiteral("broadcast"),
            QStringLiteral("Where discovery and IP-SETUP go (default: INI [IP] BroadcastAddress, "
                           "else 255.255.255.255)."),
            QStringLiteral("ADDRESS")};
}

void loadSetupTexts() {
    if (loadLanguage())
        return;
    const QString name = languageFileName(1);
    for (const QString& dir : {textsDir(), QCoreApplication::applicationDirPath() + u'/'}) {
        if (QFile::exists(dir + name) && languageTable().loadFile(dir + name))
            return;
    }
}

namespace {

bool isIpv4(const QString& text) {
    QHostAddress a;
    return a.setAddress(text.trimmed()) && a.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

std::optional<SetupConfig> setupConfig(Context& context, bool hasBroadcastOption) {
    const std::optional<IniFile> ini = context.iniFile();
    if (!ini)
        return std::nullopt;
    SetupConfig config = SetupConfig::fromIni(*ini);
    if (hasBroadcastOption && context.parser().isSet(QStringLiteral("broadcast"))) {
        const QString b = context.parser().value(QStringLiteral("broadcast")).trimmed();
        if (!isIpv4(b)) {
            context.fail(ExitBadInput,
                         QStringLiteral("--broadcast: '%1' is not an IPv4 address").arg(b));
            return std::nullopt;
        }
        config.broadcastAddress = b;
    }
    return config;
}

std::optional<QString> adapterAddress(Context& context, const SetupConfig& config, int& exitCode) {
    if (context.parser().isSet(QStringLiteral("adapter"))) {
        const QString a = context.parser().value(QStringLiteral("adapter")).trimmed();
        if (!isIpv4(a)) {
            exitCode = context.fail(
                ExitBadInput, QStringLiteral("--adapter: '%1' is not an IPv4 address").arg(a));
            return std::nullopt;
        }
        return a;
    }
    const QList<NetworkAdapter> adapters = listNetworkAdapters(config.includeLoopback);
    const AdapterChoice choice = chooseAdapter(adapters, {}, {});
    if (choice.ip == QLatin1String(NoAdapter)) {
        exitCode = context.fail(ExitLinkFailed, plainText(getText(225)));
        return std::nullopt;
    }
    if (choice.ip.isEmpty()) {
        QStringList names;
        for (const NetworkAdapter& a : adapters)
            names << a.ip + QStringLiteral(" (") + a.description + QLatin1Char(')');
        exitCode = context.fail(ExitBadInput,
                                QStringLiteral("several network adapters: %1; choose one with "
                                               "--adapter")
                                    .arg(names.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    return choice.ip;
}

ProgressPrinter::ProgressPrinter(Context& context)
    : m_context(context), m_terminal(::isatty(STDERR_FILENO) == 1) {}

void ProgressPrinter::update(const QString& text) {
    if (!m_terminal) {
        m_shown = text;
        return;
    }
    if (text.startsWith(m_shown)) {
        m_context.err() << plainText(text.mid(m_shown.size()));
    } else {
        // A new text: on a line of its own.
        if (!m_shown.isEmpty() && !m_shown.endsWith(u'\n'))
            m_context.err() << '\n';
        m_context.err() << plainText(text);
    }
    m_context.err().flush();
    m_shown = text;
}

void ProgressPrinter::finish() {
    if (m_terminal && !m_shown.isEmpty() && !m_shown.endsWith(u'\n')) {
        m_context.err() << '\n';
        m_context.err().flush();
    }
}

QString plainText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

void printBox(Context& context, const QString& text) {
    context.err() << QStringLiteral("kestrune-cli: ") << plainText(text) << Qt::endl;
}

void printJson(Context& context, const QJsonObject& object) {
    context.out() << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                  << '\n';
    context.out().flush();
}

} // namespace kestrune::cli
