#include "sim/SimRuntime.h"

#include "sim/GatewayNode.h"
#include "sim/runtime/Process.h"
#include "sim/runtime/SimConfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>
#include <sys/stat.h>

namespace kestrune::sim {

namespace {

// Lines on standard output are read by scripts and tests: one per line,
// flushed at once.
void out(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void err(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

const char kHelp[] = R"(Usage: kestrune-gateway-sim [options]

Plays M-Bus gateways (setup service, serial console, transparent M-Bus port),
the meters on their buses, a Modbus slave and an ASCII tag server, bound only
to loopback addresses (127.0.0.0/8) and pseudo-terminals, until SIGINT or
SIGTERM.

Options:
  --config FILE      installation file (default: the embedded installation)
  --print-config     print the embedded installation file and exit
  --check            read the installation file, report problems and exit
  --run-dir DIR      folder for the pseudo-terminal links and tag files
                     (default: $XDG_RUNTIME_DIR/kestrune-sim or
                     /tmp/kestrune-sim-<uid>)
  --listen ADDR:PORT where discovery and IP-SETUP broadcasts are received
                     (default 127.255.255.255:30718; outside loopback only
                     with "network = namespace")
  --control PORT     UDP port on 127.0.0.1 for text commands (0: none)
  --help             this text
  --version          the program's version

At start one line is printed for every address, port and pseudo-terminal
served, then "sim ready". Exit codes: 0 after SIGINT/SIGTERM, 1 when a
socket or pseudo-terminal can't be set up, 2 for bad options or a bad
installation file ("file:line: reason" on standard error).

Control commands (one a datagram, answered "ok" or "error: ..."):
  setup GW fault none|no-reply|short-read|wrong-ack|no-comeback [COUNT]
  console GW fault none|silent|bad-line-check|reject-write
  modbus GW fault none|no-reply|garbage|bad-check|wrong-id|truncated|extra [COUNT]
  modbus GW holding|input REGISTER VALUE...
                                     write registers (values hexadecimal, 1 to
                                     4 digits each), adding those not served
  ascii GW fault (as modbus) [COUNT]
  ascii GW error LETTER [COUNT]      next replies are NAK with the letter
  ascii GW tag NAME VALUE
  ascii GW delay MS                  time before the ASCII server answers
  ascii GW pieces MS                 ACK/NAK first, the rest MS later (0: one piece)
  bus GW delay MS                    reply delay of the gateway's meters
  meter NAME fault none|no-reply|silence|garbage|bad-check|wrong-stop|truncated|extra [COUNT]
                                     spoil the next COUNT answers of the meter NAME
                                     (a K2 gateway's own meter goes by the gateway's name)
)";

} // namespace

SimRuntime::SimRuntime(QObject* parent) : QObject(parent) {}

SimRuntime::~SimRuntime() {
    stop();
}

GatewayNode* SimRuntime::node(const QString& name) const {
    for (GatewayNode* n : m_nodes) {
        if (n->name() == name)
            return n;
    }
    return nullptr;
}

bool inPrivateNetworkNamespace() {
    struct stat own {};
    if (::stat("/proc/self/ns/net", &own) != 0)
        return false;
    const auto same = [&own](const QByteArray& path) {
        struct stat other {};
        return ::stat(path.constData(), &other) == 0 && other.st_dev == own.st_dev &&
               other.st_ino == own.st_ino;
    };
    // Process 1 lives in the machine's own namespace; where it can be seen,
    // sharing it settles the question.
    struct stat first {};
    if (::stat("/proc/1/ns/net", &first) == 0 && first.st_dev == own.st_dev &&
        first.st_ino == own.st_ino)
        return false;
    // A namespace made with "ip netns add" is kept in /run/netns.
    const QStringList named =
        QDir(QStringLiteral("/run/netns")).entryList(QDir::Files | QDir::System);
    for (const QString& name : named) {
        if (same(QFile::encodeName(QStringLiteral("/run/netns/") + name)))
            return true;
    }
    return false;
}

bool SimRuntime::start(const Installation& installation, const QString& runFolder, QString& error) {
    m_installation = installation;
    if (installation.privateNetwork && !inPrivateNetworkNamespace()) {
        // Addresses outside loopback belong to the machine's real networks.
        error = QStringLiteral("network = namespace: this is not a private network namespace; "
                               "start the simulator inside one (ip netns exec NAME ...)");
        return false;
    }
    QStringList lines;
    lines << QStringLiteral("sim run-folder ") + runFolder;

    m_listener = new QUdpSocket(this);
    if (!m_listener->bind(QHostAddress(installation.listen.host), installation.listen.port)) {
        error = QStringLiteral("can't bind the discovery listener %1: %2")
                    .arg(installation.listen.text(), m_listener->errorString());
        stop();
        return false;
    }
    connect(m_listener, &QUdpSocket::readyRead, this, &SimRuntime::readDiscovery);
    lines << QStringLiteral("sim discovery udp ") + installation.listen.text();

    for (const GatewaySpec& g : installation.gateways) {
        auto* n = new GatewayNode(g, installation.meters, this);
        m_nodes.append(n);
        n->setAddressPicker([this](const GatewayNode* asking) { return freeAddress(asking); });
        n->setAddressUser([this](const GatewayNode* asking, const QString& address) {
            return addressUser(asking, address);
        });
        connect(n, &GatewayNode::notice, this, [](const QString& l) { out(l); });
        connect(n, &GatewayNode::warning, this, [](const QString& l) { err(l); });
        if (!n->start(runFolder)) {
            error = n->errorString();
            stop();
            return false;
        }
        lines << n->describe();
        if (installation.tagFiles == QLatin1String("yes"))
            lines << n->writeTagFiles(runFolder);
        for (const SimMeter& m : n->bus().meters()) {
            const MeterIdentity& id = m.identity();
            lines << QStringLiteral("meter on %1 address %2 id %3 manufacturer %4 version %5 "
                                    "medium %6 baud %7 name %8")
                         .arg(g.name)
                         .arg(m.primaryAddress())
                         .arg(id.id, 8, 16, QLatin1Char('0'))
                         .arg(manufacturerLetters(id.manufacturer))
                         .arg(id.version, 2, 16, QLatin1Char('0'))
                         .arg(id.medium, 2, 16, QLatin1Char('0'))
                         .arg(m.baud())
                         .arg(m.name());
        }
    }
    if (installation.controlPort != 0) {
        m_control = new QUdpSocket(this);
        if (!m_control->bind(QHostAddress(QStringLiteral("127.0.0.1")), installation.controlPort)) {
            error = QStringLiteral("can't bind the control port 127.0.0.1:%1: %2")
                        .arg(installation.controlPort)
                        .arg(m_control->errorString());
            stop();
            return false;
        }
        connect(m_control, &QUdpSocket::readyRead, this, &SimRuntime::readControl);
        lines << QStringLiteral("sim control udp 127.0.0.1:%1").arg(installation.controlPort);
    }
    for (const QString& l : std::as_const(lines))
        out(l);
    out(QStringLiteral("sim ready"));
    return true;
}

void SimRuntime::stop() {
    for (GatewayNode* n : std::as_const(m_nodes)) {
        n->stop();
        delete n;
    }
    m_nodes.clear();
    delete m_listener;
    m_listener = nullptr;
    delete m_control;
    m_control = nullptr;
}

void SimRuntime::readDiscovery() {
    while (m_listener && m_listener->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_listener->receiveDatagram(2048);
        for (GatewayNode* n : std::as_const(m_nodes))
            n->handleSetupDatagram(d.data(), d.senderAddress(), quint16(d.senderPort()));
    }
}

QString SimRuntime::freeAddress(const GatewayNode* asking) const {
    Ipv4Address a{};
    if (!parseIpv4(m_installation.dhcpFirst, a))
        return {};
    for (int tries = 0; tries < 254; ++tries) {
        const QString text = ipv4Text(a);
        bool used = text == m_installation.listen.host;
        for (const GatewayNode* n : m_nodes) {
            if (n != asking && n->address() == text)
                used = true;
        }
        if (!used)
            return text;
        if (a[3] >= 254)
            break;
        ++a[3];
    }
    return {};
}

QString SimRuntime::addressUser(const GatewayNode* asking, const QString& address) const {
    if (address == m_installation.listen.host)
        return QStringLiteral("the discovery listener");
    for (const GatewayNode* n : m_nodes) {
        if (n != asking && n->address() == address)
            return QStringLiteral("gateway ") + n->name();
    }
    return {};
}

void SimRuntime::readControl() {
    while (m_control && m_control->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_control->receiveDatagram(512);
        const QString reply = command(QString::fromUtf8(d.data()).trimmed());
        m_control->writeDatagram(reply.toUtf8(), d.senderAddress(), quint16(d.senderPort()));
    }
}

QString SimRuntime::meterCommand(const QStringList& w) {
    // meter NAME fault KIND [COUNT]
    if (w.size() < 4 || w.size() > 5 || w[2] != QLatin1String("fault"))
        return QStringLiteral("error: expected meter NAME fault KIND [COUNT]");
    const auto fault = replyFaultByName(w[3]);
    if (!fault || *fault == ReplyFault::WrongTransactionId)
        return QStringLiteral("error: unknown meter fault %1").arg(w[3]);
    int count = -1;
    if (w.size() == 5) {
        bool ok = false;
        count = w[4].toInt(&ok);
        if (!ok || count < 0)
            return QStringLiteral("error: COUNT must be a number of answers");
    }
    int hits = 0;
    for (GatewayNode* n : std::as_const(m_nodes)) {
        for (SimMeter& m : n->bus().meters()) {
            if (m.name() == w[1]) {
                m.setFault(*fault, count);
                ++hits;
            }
        }
    }
    return hits > 0 ? QStringLiteral("ok") : QStringLiteral("error: no meter %1").arg(w[1]);
}

QString SimRuntime::command(const QString& line) {
    const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!w.isEmpty() && w[0] == QLatin1String("meter"))
        return meterCommand(w);
    if (w.size() < 4)
        return QStringLiteral("error: expected FACE GATEWAY WHAT VALUE");
    GatewayNode* n = node(w[1]);
    if (!n)
        return QStringLiteral("error: no gateway %1").arg(w[1]);
    int count = -1;
    if (w.size() >= 5) {
        bool ok = false;
        count = w[4].toInt(&ok);
        if (!ok)
            count = -2;
    }
    const QString& face = w[0];
    const QString& what = w[2];
    if (face == QLatin1String("setup") && what == QLatin1String("fault") && count != -2) {
        const auto f = setupFaultByName(w[3]);
        if (!f)
            return QStringLiteral("error: unknown fault %1").arg(w[3]);
        n->gateway().setSetupFault(*f, count);
        return QStringLiteral("ok");
    }
    if (face == QLatin1String("console") && what == QLatin1String("fault") && w.size() == 4) {
        const auto f = consoleFaultByName(w[3]);
        if (!f)
            return QStringLiteral("error: unknown fault %1").arg(w[3]);
        n->console().setFault(*f);
        return QStringLiteral("ok");
    }
    if (face == QLatin1String("bus") && what == QLatin1String("delay") && w.size() == 4) {
        bool ok = false;
        const int ms = w[3].toInt(&ok);
        if (!ok || ms < 0 || ms > 10000)
            return QStringLiteral("error: delay must be 0..10000 ms");
        n->bus().setAnswerDelayMs(ms);
        return QStringLiteral("ok");
    }
    if ((face == QLatin1String("modbus") || face == QLatin1String("ascii")) &&
        what == QLatin1String("fault") && count != -2) {
        const auto f = replyFaultByName(w[3]);
        if (!f)
            return QStringLiteral("error: unknown fault %1").arg(w[3]);
        FaultSwitch* s = face == QLatin1String("modbus")
                             ? (n->modbus() ? &n->modbus()->faults() : nullptr)
                             : (n->ascii() ? &n->ascii()->faults() : nullptr);
        if (!s)
            return QStringLiteral("error: %1 has no %2 face").arg(w[1], face);
        s->set(*f, count);
        return QStringLiteral("ok");
    }
    if (face == QLatin1String("modbus") &&
        (what == QLatin1String("holding") || what == QLatin1String("input"))) {
        if (!n->modbus())
            return QStringLiteral("error: %1 has no modbus face").arg(w[1]);
        QString why;
        const auto writes = parseRegisterWrites(w.mid(3).join(QLatin1Char(' ')), why);
        if (!writes)
            return QStringLiteral("error: ") + why;
        const ModbusTable table =
            what == QLatin1String("holding") ? ModbusTable::Holding : ModbusTable::Input;
        for (const RegisterWrite& rw : *writes)
            n->modbus()->writeRegisters(table, rw.first, rw.values);
        return QStringLiteral("ok");
    }
    if (face == QLatin1String("ascii") && n->ascii()) {
        if (what == QLatin1String("error") && w[3].size() == 1 && count != -2) {
            n->ascii()->injectError(w[3] == QLatin1String("-") ? 0 : w[3][0].toLatin1(), count);
            return QStringLiteral("ok");
        }
        if (what == QLatin1String("tag") && w.size() == 5) {
            n->ascii()->setTag(w[3].toLatin1(), w[4].toLatin1());
            return QStringLiteral("ok");
        }
        if ((what == QLatin1String("delay") || what == QLatin1String("pieces")) && w.size() == 4) {
            bool ok = false;
            const int ms = w[3].toInt(&ok);
            if (!ok || ms < 0 || ms > 10000)
                return QStringLiteral("error: %1 must be 0..10000 ms").arg(what);
            if (what == QLatin1String("delay"))
                n->setAsciiReplyDelay(ms);
            else
                n->setAsciiPieceGap(ms);
            return QStringLiteral("ok");
        }
    }
    return QStringLiteral("error: unknown command \"%1\"").arg(line);
}

int runSimulator(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-gateway-sim"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOpt(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption printOpt(QStringLiteral("print-config"));
    const QCommandLineOption checkOpt(QStringLiteral("check"));
    const QCommandLineOption runDirOpt(QStringLiteral("run-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption listenOpt(QStringLiteral("listen"), QString(),
                                       QStringLiteral("ADDR:PORT"));
    const QCommandLineOption controlOpt(QStringLiteral("control"), QString(),
                                        QStringLiteral("PORT"));
    parser.addOptions({configOpt, printOpt, checkOpt, runDirOpt, listenOpt, controlOpt});
    if (!parser.parse(QCoreApplication::arguments())) {
        err(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out(QString::fromUtf8(kHelp).trimmed());
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out(QStringLiteral("kestrune-gateway-sim " KESTRUNE_VERSION));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err(QStringLiteral("unexpected argument %1 (see --help)")
                .arg(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(printOpt)) {
        std::fputs(defaultInstallationText().constData(), stdout);
        return 0;
    }

    QByteArray text = defaultInstallationText();
    QString source = QStringLiteral("<embedded>");
    if (parser.isSet(configOpt)) {
        source = parser.value(configOpt);
        QFile f(source);
        if (!f.open(QIODevice::ReadOnly)) {
            err(QStringLiteral("%1:0: can't read the file: %2").arg(source, f.errorString()));
            return 2;
        }
        // An installation file is a few kilobytes; refuse anything huge.
        text = f.read(1024 * 1024 + 1);
        if (text.size() > 1024 * 1024) {
            err(QStringLiteral("%1:0: larger than 1 MiB").arg(source));
            return 2;
        }
    }
    QString error;
    std::optional<Installation> inst = readInstallation(text, source, error);
    if (!inst) {
        err(error);
        return 2;
    }
    if (parser.isSet(listenOpt) &&
        !parseHostPort(parser.value(listenOpt), inst->listen, inst->privateNetwork)) {
        err(QStringLiteral("--listen %1: expected address:port with the address inside "
                           "127.0.0.0/8")
                .arg(parser.value(listenOpt)));
        return 2;
    }
    if (parser.isSet(controlOpt)) {
        bool ok = false;
        const uint port = parser.value(controlOpt).toUInt(&ok);
        if (!ok || port > 65535) {
            err(QStringLiteral("--control %1: expected a port number")
                    .arg(parser.value(controlOpt)));
            return 2;
        }
        inst->controlPort = uint16_t(port);
    }
    if (parser.isSet(checkOpt)) {
        out(QStringLiteral("%1: %2 gateways, %3 meters")
                .arg(source)
                .arg(inst->gateways.size())
                .arg(inst->meters.size()));
        return 0;
    }
    const QString runFolder = prepareRunFolder(parser.value(runDirOpt), error);
    if (runFolder.isEmpty()) {
        err(error);
        return 1;
    }

    TerminationWatcher watcher;
    SimRuntime runtime;
    if (!runtime.start(*inst, runFolder, error)) {
        err(error);
        return 1;
    }
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &app, [&](int signal) {
        out(QStringLiteral("sim stopping (signal %1)").arg(signal));
        runtime.stop();
        QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}

} // namespace kestrune::sim
