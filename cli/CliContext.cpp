#include "cli/CliContext.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/SerialPorts.h"
#include "channel/TrafficLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace kestrune::cli {

namespace {

const QString ProgramName = QStringLiteral("kestrune-cli");

// Global option names.
const QString OptUdp = QStringLiteral("udp");
const QString OptTcp = QStringLiteral("tcp");
const QString OptSerial = QStringLiteral("serial");
const QString OptLine = QStringLiteral("line");
const QString OptBusDelay = QStringLiteral("bus-delay");
const QString OptBusTimeout = QStringLiteral("bus-timeout");
const QString OptOpenTimeout = QStringLiteral("open-timeout");
const QString OptIni = QStringLiteral("ini");
const QString OptSection = QStringLiteral("section");
const QString OptLog = QStringLiteral("log");
const QString OptExplain = QStringLiteral("explain");
const QString OptHelp = QStringLiteral("help");
const QString OptVersion = QStringLiteral("version");

const QString DefaultLine = QStringLiteral("2400,E,8,1");
const QString DefaultSection = QStringLiteral("IP");

QList<QCommandLineOption> globalOptions() {
    return {
        {OptUdp, QStringLiteral("Link to a gateway over UDP."), QStringLiteral("HOST:PORT")},
        {OptTcp, QStringLiteral("Link to a gateway over TCP."), QStringLiteral("HOST:PORT")},
        {OptSerial,
         QStringLiteral("Link over a serial port: a device path, or COM1 to COM16 as the "
                        "wizard maps them."),
         QStringLiteral("PATH")},
        {OptLine,
         QStringLiteral("Serial line settings (default %1; ascii: 9600,N,8,1); BAUD one of the "
                        "standard speeds.")
             .arg(DefaultLine),
         QStringLiteral("BAUD,P,D,S")},
        {OptBusDelay, QStringLiteral("Quiet time before a telegram (default: INI BusDelay)."),
         QStringLiteral("MS")},
        {OptBusTimeout, QStringLiteral("Time allowed for a reply (default: INI BusTimeout)."),
         QStringLiteral("MS")},
        {OptOpenTimeout,
         QStringLiteral("Time allowed for a TCP connect (default: INI OpenTimeout)."),
         QStringLiteral("MS")},
        {OptIni,
         QStringLiteral("INI file to read (default: Kestrune.INI in the program folder, or in "
                        "$KESTRUNE_PROGRAM_DIR; installed: /etc/kestrune)."),
         QStringLiteral("FILE")},
        {OptSection,
         QStringLiteral("INI section of the time-outs (default IP, for modbus ModBus, for ascii "
                        "MBusASCII; also PadPuls, FreePacketAndString, or another section of "
                        "the INI file)."),
         QStringLiteral("NAME")},
        {OptLog,
         QStringLiteral("Print the traffic log lines to standard error as they are added.")},
        {OptExplain,
         QStringLiteral("With --log: under every telegram, one line that says in words what "
                        "it is.")},
        {QStringList{QStringLiteral("h"), OptHelp},
         QStringLiteral("Show this help; after a command, that command's help.")},
        {OptVersion, QStringLiteral("Show the program's version.")},
    };
}

// The options that take a value, by every name they answer to.
QStringList valueOptionNames(const QList<QCommandLineOption>& options) {
    QStringList names;
    for (const QCommandLineOption& o : options)
        if (!o.valueName().isEmpty())
            names += o.names();
    return names;
}

// The first argument that is neither an option nor an option's value.
int commandIndex(const QStringList& arguments, const QStringList& valueNames) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--"))
            return i + 1 < arguments.size() ? i + 1 : -1;
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-"))
            return i;
        QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
        if (name.contains(QLatin1Char('=')))
            continue; // value attached
        if (valueNames.contains(name))
            ++i; // skip its value
    }
    return -1;
}

const Command* findCommand(const QString& name) {
    for (const Command& c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

const QString ExitCodesHelp =
    QStringLiteral("\nExit codes: 0 done, 1 no reply in time, 2 bad input, "
                   "3 link not opened (host name unknown, device absent) or lost, "
                   "4 the device answered with an error, 5 the support library could not be "
                   "used.\n");

// The sections the wizard's pages take their time-outs from.
const QStringList LinkSections{QStringLiteral("IP"), QStringLiteral("ModBus"),
                               QStringLiteral("MBusASCII"), QStringLiteral("PadPuls"),
                               QStringLiteral("FreePacketAndString")};

QString joinNumbers(const QList<qint32>& numbers) {
    QStringList texts;
    for (qint32 n : numbers)
        texts.append(QString::number(n));
    return texts.join(QStringLiteral(", "));
}

// One command's help: its usage and summary, its options and the global ones,
// then what the command adds in words.
QString commandHelpText(const Command& command, const QList<QCommandLineOption>& global) {
    QCommandLineParser parser;
    parser.setApplicationDescription(command.summary);
    parser.addOptions(command.options);
    parser.addOptions(global);
    QString text = parser.helpText();
    // "Usage: NAME [options]" plus the command and its arguments.
    const qsizetype eol = text.indexOf(QLatin1Char('\n'));
    text.insert(eol < 0 ? text.size() : eol,
                QLatin1Char(' ') + command.name + QLatin1Char(' ') + command.arguments);
    if (!command.details.isEmpty())
        text += QLatin1Char('\n') + command.details;
    return text + ExitCodesHelp;
}

QString helpText(QCommandLineParser& parser) {
    QString text = parser.helpText();
    text += QStringLiteral("\nCommands:\n");
    int width = 0;
    for (const Command& c : commands())
        width = std::max(width, static_cast<int>((c.name + QLatin1Char(' ') + c.arguments).size()));
    for (const Command& c : commands())
        text += QStringLiteral("  ") +
                (c.name + QLatin1Char(' ') + c.arguments).leftJustified(width + 2) + c.summary +
                QLatin1Char('\n');
    text += QStringLiteral("\nCOMMAND --help shows the help of one command.\n");
    text += ExitCodesHelp;
    return text;
}

// The texts results are shown with: the language the user chose for the
// wizard, else English from the program folder or from beside this program.
void loadTexts() {
    if (loadLanguage())
        return;
    const QString english = languageFileName(1);
    for (const QString& dir : {textsDir(), QCoreApplication::applicationDirPath()}) {
        if (languageTable().loadFile(QDir(dir).filePath(english)))
            return;
    }
}

} // namespace

std::optional<HostPort> parseHostPort(const QString& text, QString& error) {
    QString host;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1String("]:"));
        if (close < 0) {
            error = QStringLiteral("'%1' is not HOST:PORT ([IPv6]:PORT for IPv6)").arg(text);
            return std::nullopt;
        }
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon < 0 || text.indexOf(QLatin1Char(':')) != colon) {
            error = QStringLiteral("'%1' is not HOST:PORT ([IPv6]:PORT for IPv6)").arg(text);
            return std::nullopt;
        }
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    static const QRegularExpression hostName(
        QStringLiteral("^(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
                       "[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.?$"));
    QHostAddress address;
    bool isName = false;
    if (host.isEmpty()) {
        error = QStringLiteral("'%1' names no host").arg(text);
        return std::nullopt;
    }
    if (address.setAddress(host)) {
        const QString why = deviceAddressError(host);
        if (!why.isEmpty()) {
            error = why;
            return std::nullopt;
        }
        host = address.toString();
    } else if (hostName.match(host).hasMatch() &&
               !host.contains(QRegularExpression(QStringLiteral("^[0-9.]+$")))) {
        isName = true;
    } else {
        error = QStringLiteral("'%1' is neither an IP address nor a host name").arg(host);
        return std::nullopt;
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int number = digits.match(port).hasMatch() ? port.toInt() : -1;
    if (number < 1 || number > 65535) {
        error = QStringLiteral("port '%1' is not a number from 1 to 65535").arg(port);
        return std::nullopt;
    }
    return HostPort{host, static_cast<quint16>(number), isName};
}

QString deviceAddressError(const QString& text) {
    QHostAddress address;
    if (!address.setAddress(text))
        return QStringLiteral("'%1' is not an IP address").arg(text);
    if (address.isBroadcast() || address.isMulticast() || address.isNull() ||
        address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return QStringLiteral("'%1' is not the address of one device").arg(text);
    return {};
}

std::optional<QString> resolveHostName(const QString& name, QString& error) {
    const QHostInfo info = QHostInfo::fromName(name);
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        error = QStringLiteral("host '%1' not found").arg(name);
        if (info.error() != QHostInfo::NoError && !info.errorString().isEmpty())
            error += QStringLiteral(" (") + info.errorString() + QLatin1Char(')');
        return std::nullopt;
    }
    // As the link looks names up: the first IPv4 address, else the first.
    QHostAddress chosen = addresses.first();
    for (const QHostAddress& a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            chosen = a;
            break;
        }
    }
    const QString text = chosen.toString();
    const QString why = deviceAddressError(text);
    if (!why.isEmpty()) {
        error = QStringLiteral("host '%1': ").arg(name) + why;
        return std::nullopt;
    }
    return text;
}

QStringList timeoutSections(const QStringList& fileSections) {
    QStringList accepted = LinkSections;
    for (const QString& name : fileSections)
        if (acceptedSection(name, accepted).isEmpty())
            accepted.append(name);
    return accepted;
}

QString acceptedSection(const QString& section, const QStringList& accepted) {
    for (const QString& name : accepted)
        if (name.compare(section, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

std::optional<int> parseDecimal(const QString& text, int low, int high) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<int> parseMilliseconds(const QString& text, QString& error) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,7}$"));
    if (!digits.match(text).hasMatch() || text.toInt() > MaxTimeMs) {
        error = QStringLiteral("'%1' is not a time from 0 to %2 ms").arg(text).arg(MaxTimeMs);
        return std::nullopt;
    }
    return text.toInt();
}

int comPortNumber(const QString& text) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,3})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(text);
    if (!m.hasMatch())
        return 0;
    const int n = m.captured(1).toInt();
    return (n >= 1 && n <= SerialPortCount) ? n : -1;
}

// ---- Context ------------------------------------------------------------------------

int Context::fail(int code, const QString& message) {
    m_err << ProgramName << ": " << message << Qt::endl;
    return code;
}

std::optional<LinkSettings> Context::linkSettings() {
    const bool udp = m_parser.isSet(OptUdp);
    const bool tcp = m_parser.isSet(OptTcp);
    const bool serial = m_parser.isSet(OptSerial);
    const int chosen = int(udp) + int(tcp) + int(serial);
    if (chosen != 1) {
        fail(ExitBadInput, chosen == 0 ? QStringLiteral("name the link: --udp, --tcp or --serial")
                                       : QStringLiteral("give only one of --udp, --tcp, --serial"));
        return std::nullopt;
    }
    for (const QString& name : {OptUdp, OptTcp, OptSerial, OptLine}) {
        if (m_parser.values(name).size() > 1) {
            fail(ExitBadInput, QStringLiteral("--%1 given more than once").arg(name));
            return std::nullopt;
        }
    }
    if (m_parser.isSet(OptLine) && !serial) {
        fail(ExitBadInput, QStringLiteral("--line applies to --serial only"));
        return std::nullopt;
    }

    LinkSettings s;
    if (serial) {
        s.mode = ConnectionMode::Serial;
        QString path = m_parser.value(OptSerial);
        const int com = comPortNumber(path);
        if (com < 0) {
            fail(ExitBadInput, QStringLiteral("'%1': the serial positions are COM1 to COM%2")
                                   .arg(path)
                                   .arg(SerialPortCount));
            return std::nullopt;
        }
        if (com > 0) {
            if (m_parser.isSet(OptIni)) {
                QStringList system;
                for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
                    system.append(info.systemLocation());
                path = serialPortPath(com, m_parser.value(OptIni), system);
            } else {
                path = serialPortPath(com);
            }
        }
        if (path.isEmpty()) {
            fail(ExitBadInput, QStringLiteral("--serial needs a device path"));
            return std::nullopt;
        }
        s.serialPortIndex = com > 0 ? com - 1 : 0;
        s.serialDevice = path;
        s.lineSettings = m_parser.isSet(OptLine)   ? m_parser.value(OptLine)
                         : m_defaultLine.isEmpty() ? DefaultLine
                                                   : m_defaultLine;
        const std::optional<LineSettings> line = parseLineSettings(s.lineSettings);
        if (!line) {
            fail(ExitBadInput, QStringLiteral("'%1' is not a line setting such as 2400,E,8,1")
                                   .arg(s.lineSettings));
            return std::nullopt;
        }
        const QList<qint32> speeds = standardLineSpeeds();
        if (!speeds.contains(line->baudRate)) {
            fail(ExitBadInput, QStringLiteral("--line: no serial port offers %1 baud; the speeds "
                                              "are %2")
                                   .arg(line->baudRate)
                                   .arg(joinNumbers(speeds)));
            return std::nullopt;
        }
        return s;
    }

    s.mode = udp ? ConnectionMode::Udp : ConnectionMode::Tcp;
    QString error;
    const std::optional<HostPort> hp = parseHostPort(m_parser.value(udp ? OptUdp : OptTcp), error);
    if (!hp) {
        fail(ExitBadInput, QStringLiteral("--%1: ").arg(udp ? OptUdp : OptTcp) + error);
        return std::nullopt;
    }
    s.host = hp->host;
    s.port = hp->port;
    if (hp->isName) {
        // Looked up here, so that a name is held to the rule of a literal
        // address (no broadcast) and an unknown one is told apart.
        const std::optional<QString> address = resolveHostName(hp->host, error);
        if (!address) {
            fail(ExitLinkFailed, QStringLiteral("--%1: ").arg(udp ? OptUdp : OptTcp) + error);
            m_lastFailure = ExitLinkFailed;
            return std::nullopt;
        }
        s.host = *address;
    }
    return s;
}

std::optional<IniFile> Context::iniFile() {
    if (!m_parser.isSet(OptIni))
        return programIni();
    const QString path = m_parser.value(OptIni);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        fail(ExitBadInput, QStringLiteral("--ini: cannot read '%1'").arg(path));
        return std::nullopt;
    }
    return IniFile(path);
}

bool Context::applyTimeouts() {
    const std::optional<IniFile> chosen = iniFile();
    if (!chosen)
        return false;
    const IniFile& ini = *chosen;
    QString section = m_defaultSection.isEmpty() ? DefaultSection : m_defaultSection;
    if (m_parser.isSet(OptSection)) {
        const QString wanted = m_parser.value(OptSection).trimmed();
        const QStringList accepted = timeoutSections(ini.sections());
        section = acceptedSection(wanted, accepted);
        if (section.isEmpty()) {
            fail(ExitBadInput,
                 QStringLiteral("--section: '%1' is not a section of %2; accepted: %3")
                     .arg(wanted, ini.path(), accepted.join(QStringLiteral(", "))));
            return false;
        }
    }

    const auto stored = [&](const char* key, const char* defaultValue) {
        const int64_t v = ini.readNumber(section, QLatin1String(key), QLatin1String(defaultValue));
        return static_cast<int>(std::clamp<int64_t>(v, 0, MaxTimeMs));
    };
    int busDelay = stored("BusDelay", "50");
    int busTimeout = stored("BusTimeout", "3000");
    int openTimeout = stored("OpenTimeout", "5000");

    const std::pair<const QString*, int*> overrides[] = {
        {&OptBusDelay, &busDelay}, {&OptBusTimeout, &busTimeout}, {&OptOpenTimeout, &openTimeout}};
    for (const auto& [name, target] : overrides) {
        if (!m_parser.isSet(*name))
            continue;
        QString error;
        const std::optional<int> ms = parseMilliseconds(m_parser.value(*name), error);
        if (!ms) {
            fail(ExitBadInput, QStringLiteral("--%1: ").arg(*name) + error);
            return false;
        }
        *target = *ms;
    }
    Link& l = link();
    l.setBusDelay(busDelay);
    l.setBusTimeout(busTimeout);
    l.setOpenTimeout(openTimeout);
    return true;
}

void Context::startTrafficLog(TelegramProtocol protocol) {
    if (!m_parser.isSet(OptLog))
        return;
    TrafficLog& log = trafficLog();
    if (m_parser.isSet(OptExplain))
        log.setExplainer([protocol](const QByteArray& data, Direction direction) {
            return explainTelegram(data, direction, chooseProtocol(data, direction, protocol));
        });
    QTextStream* err = &m_err;
    // Printed as they are inserted, before the line bound trims anything.
    QObject::connect(&log, &QAbstractItemModel::rowsInserted, &log,
                     [&log, err](const QModelIndex&, int first, int last) {
                         for (int row = first; row <= last; ++row)
                             *err << log.line(row) << '\n';
                         err->flush();
                     });
    log.setActive(true);
}

int Context::openLink(TelegramProtocol protocol) {
    m_lastFailure = ExitBadInput;
    const std::optional<LinkSettings> settings = linkSettings();
    if (!settings)
        return m_lastFailure;
    if (!applyTimeouts())
        return ExitBadInput;
    startTrafficLog(protocol);
    Link& l = link();
    QTextStream* err = &m_err;
    QObject::connect(&l, &Link::sendFailed, &l, [err](const QString& message) {
        *err << ProgramName << ": " << message << Qt::endl;
    });
    if (!l.openConnection(*settings)) {
        const QString reason =
            l.connectionError().isEmpty() ? QStringLiteral("unknown reason") : l.connectionError();
        return fail(ExitLinkFailed, QStringLiteral("the link could not be opened: ") + reason);
    }
    return ExitOk;
}

void Context::loadTexts() {
    if (loadLanguage())
        return;
    for (const LanguageChoice& choice : listLanguages(textsDir())) {
        if (languageTable().loadFile(choice.path))
            return;
    }
    m_err << ProgramName << ": no language file in " << textsDir() << ": texts show as numbers"
          << Qt::endl;
}

// ---- run ------------------------------------------------------------------------------

int run(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const QList<QCommandLineOption> global = globalOptions();
    const int at = commandIndex(arguments, valueOptionNames(global));
    const Command* command = at > 0 ? findCommand(arguments[at]) : nullptr;

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kestrune on the command line: talk to M-Bus equipment over UDP, TCP "
                       "or a serial port."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(global);
    if (command)
        parser.addOptions(command->options);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("What to do (see Commands below)."),
                                 QStringLiteral("COMMAND [ARGS...]"));

    Context context(parser, out, err);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(OptHelp)) {
        out << (command ? commandHelpText(*command, global) : helpText(parser));
        out.flush();
        return ExitOk;
    }
    if (parser.isSet(OptVersion)) {
        out << ProgramName << ' ' << QStringLiteral(KESTRUNE_VERSION) << Qt::endl;
        return ExitOk;
    }
    if (!parsed)
        return context.fail(ExitBadInput, parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(OptExplain) && !parser.isSet(OptLog))
        return context.fail(ExitBadInput,
                            QStringLiteral("--explain adds lines to the traffic log: give --log "
                                           "as well"));
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        err << helpText(parser);
        return context.fail(ExitBadInput, QStringLiteral("no command given"));
    }
    if (!command)
        return context.fail(ExitBadInput,
                            QStringLiteral("unknown command '%1' (see --help)").arg(positional[0]));
    loadTexts();
    const int code = command->run(context, positional.mid(1));
    out.flush();
    err.flush();
    return code;
}

} // namespace kestrune::cli
