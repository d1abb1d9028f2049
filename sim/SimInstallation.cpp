#include "sim/SimInstallation.h"

#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"
#include "sim/bus/MeterTemplates.h"
#include "sim/runtime/SimConfig.h"

#include <QLocale>
#include <QSet>

#include <cmath>

namespace kestrune::sim {

namespace {

// The default installation. Most meters hang on the K2's bus, among them
// the two sharing primary address 1 and the ones whose identification
// numbers share leading digits (12000071, 12000093, 12082058; 11216301,
// 11216345), so a secondary search there has to descend.
const char kDefaultText[] = R"(# Kestrune gateway simulator: installation file.
# Sections: [simulator], [gateway NAME], [meter NAME]. Addresses must lie in
# 127.0.0.0/8. Start from this text: kestrune-gateway-sim --print-config

[simulator]
# Where discovery and IP-SETUP broadcasts are received (the wizard's
# [IP] BroadcastAddress points here).
listen = 127.255.255.255:30718
# First address handed out when a gateway asks for one by DHCP.
dhcp-first = 127.0.0.100
# UDP port on 127.0.0.1 for text commands (0: none).
control-port = 0
# Write tag files of the ASCII servers' tag lists into the run folder.
tag-files = yes
# loopback, or namespace for addresses outside 127.0.0.0/8 (only inside a
# private network namespace).
network = loopback

[gateway gw1]
family = K1
serial = 0x010203
address = 127.0.0.2
restart-ms = 3000
mbus-baud = 2400
reply-delay-ms = 20
discovery-delay-ms = 10
modbus = yes
modbus-address = 1
modbus-tcp-port = 10502
modbus-rtu-tcp-port = 10503
modbus-udp-port = 10502
modbus-rtu-udp-port = 10503
modbus-busy = 500 10
# The slave's serial line: on its pseudo-terminal it hears only requests sent
# at this speed, parity and stop bits.
modbus-line = 9600,N,8,1
# Registers beyond the default map: FLOAT 10.0, INT16 -200, UINT64 123456 and
# CHAR6 "K2-Sim" from register 100 on.
modbus-holding = 100 4120 0000 FF38 0000 0000 0001 E240 4B32 2D53 696D
ascii = yes
ascii-station = 0
ascii-tcp-port = 10504
ascii-udp-port = 10504

[gateway gw2]
family = K2
serial = 0x0A0B0C
address = 127.0.0.3
mbus-baud = 2400
# Meters answering at once start a few bit times apart, as on a real bus
# (aligned: all at the same instant, so equal E5s merge into one).
collisions = skewed
# A K2 passes a bus answer on to the network later than a K1 does.
forward-delay-ms = 100
discovery-delay-ms = 120
self-meter-address = 250
self-meter-id = 23456789
bus-voltage = 360
bus-current = 165

[gateway gw3]
family = K2S
serial = 0x0D0E0F
address = 127.0.0.4
mbus-baud = 2400
discovery-delay-ms = 300
console-prompt = 9>
self-meter-address = 250
self-meter-id = 23456790
bus-voltage = 355
bus-current = 60

# The meters of gw2 answer a few bit times apart (answer-skew): abb and
# sontex share primary address 1, so their answers reach the master garbled,
# as do the answers of the meters whose identification numbers share their
# leading digits to a wildcard selection.
[meter abb]
gateway = gw2
capture = abb_delta
address = 1
answer-skew = 0

[meter sontex]
gateway = gw2
capture = sontex_supercal_531_telegram1
address = 1
answer-skew = 2.5

[meter rel-relay]
gateway = gw2
capture = REL-Relay-Padpuls2
address = 22
answer-skew = 1

[meter rel-padpuls]
gateway = gw2
capture = rel_padpuls2
address = 4
id = 11216345
answer-skew = 3.5

[meter itron]
gateway = gw2
capture = itron_cyble_m-bus_v1.4_water
address = 2
fabrication = 12000071
answer-skew = 0.5

[meter gwf]
gateway = gw2
capture = GWF-MTKcoder
address = 6
id = 12000093
fabrication = 00182007
answer-skew = 2

[meter landis]
gateway = gw2
capture = LGB_G350
address = 7
answer-skew = 4

[meter kamstrup]
gateway = gw3
capture = kamstrup_382_005
address = 120

[meter engelmann]
gateway = gw1
capture = engelmann_sensostar2c
address = 3

# A fixed-data-structure meter: its reply carries no manufacturer.
[meter sensus]
gateway = gw1
capture = sen_pollusonic_2
address = 8
manufacturer = SEN
)";

const QStringList kSimulatorKeys = {QStringLiteral("listen"), QStringLiteral("dhcp-first"),
                                    QStringLiteral("control-port"), QStringLiteral("tag-files"),
                                    QStringLiteral("network")};
const QStringList kGatewayKeys = {
    QStringLiteral("family"),
    QStringLiteral("serial"),
    QStringLiteral("mac"),
    QStringLiteral("address"),
    QStringLiteral("restart-ms"),
    QStringLiteral("mbus-port"),
    QStringLiteral("mbus-protocol"),
    QStringLiteral("mbus-baud"),
    QStringLiteral("line-timing"),
    QStringLiteral("reply-delay-ms"),
    QStringLiteral("collisions"),
    QStringLiteral("forward-delay-ms"),
    QStringLiteral("console"),
    QStringLiteral("mbus-master"),
    QStringLiteral("self-meter-address"),
    QStringLiteral("self-meter-id"),
    QStringLiteral("bus-voltage"),
    QStringLiteral("bus-current"),
    QStringLiteral("setup-fault"),
    QStringLiteral("console-fault"),
    QStringLiteral("modbus"),
    QStringLiteral("modbus-address"),
    QStringLiteral("modbus-tcp-port"),
    QStringLiteral("modbus-rtu-tcp-port"),
    QStringLiteral("modbus-udp-port"),
    QStringLiteral("modbus-rtu-udp-port"),
    QStringLiteral("modbus-pty"),
    QStringLiteral("modbus-busy"),
    QStringLiteral("modbus-fault"),
    QStringLiteral("modbus-line"),
    QStringLiteral("modbus-holding"),
    QStringLiteral("modbus-input"),
    QStringLiteral("ascii"),
    QStringLiteral("ascii-station"),
    QStringLiteral("ascii-tcp-port"),
    QStringLiteral("ascii-udp-port"),
    QStringLiteral("ascii-pty"),
    QStringLiteral("ascii-reply-other-station"),
    QStringLiteral("ascii-fault"),
    QStringLiteral("ascii-reply-delay-ms"),
    QStringLiteral("ascii-piece-gap-ms"),
    QStringLiteral("discovery-delay-ms"),
    QStringLiteral("console-prompt"),
    QStringLiteral("console-check"),
};
const QStringList kMeterKeys = {
    QStringLiteral("gateway"),      QStringLiteral("capture"), QStringLiteral("reply"),
    QStringLiteral("address"),      QStringLiteral("id"),      QStringLiteral("fabrication"),
    QStringLiteral("manufacturer"), QStringLiteral("version"), QStringLiteral("medium"),
    QStringLiteral("baud"),         QStringLiteral("fault"),   QStringLiteral("fault-count"),
    QStringLiteral("answer-skew"),
};

// The longest answer skew accepted, in bit times.
constexpr int kMaxSkewBits = 40;

const int kBauds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400};

const char kMeterFaults[] = "none, no-reply (or silence), garbage, bad-check, wrong-stop, "
                            "truncated, extra";

bool validBaud(int64_t baud) {
    for (int b : kBauds) {
        if (b == baud)
            return true;
    }
    return false;
}

// Eight decimal digits written as BCD (12345678 -> 0x12345678).
std::optional<uint32_t> bcdNumber(const QString& text) {
    if (text.size() < 1 || text.size() > 8)
        return std::nullopt;
    uint32_t value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = (value << 4) | uint32_t(c.unicode() - '0');
    }
    return value;
}

std::optional<uint32_t> readBcd(ConfigReader& r, const ConfigSection& s, const QString& key) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return std::nullopt;
    const auto v = bcdNumber(e->value);
    if (!v)
        r.fail(e->line, QStringLiteral("%1 in %2 must be 1 to 8 decimal digits, not \"%3\"")
                            .arg(key, s.title(), e->value));
    return v;
}

template <typename T>
std::optional<T> readNamed(ConfigReader& r, const ConfigSection& s, const QString& key,
                           std::optional<T> (*byName)(const QString&), const char* known) {
    const ConfigEntry* e = s.find(key);
    if (!e)
        return std::nullopt;
    const auto v = byName(e->value);
    if (!v)
        r.fail(e->line, QStringLiteral("%1 in %2 is \"%3\": expected one of %4")
                            .arg(key, s.title(), e->value, QLatin1StringView(known)));
    return v;
}

uint16_t readPort(ConfigReader& r, const ConfigSection& s, const QString& key) {
    return uint16_t(r.integer(s, key, 0, 0, 65535));
}

void readGateway(ConfigReader& r, const ConfigSection& s, GatewaySpec& g) {
    r.onlyKeys(s, kGatewayKeys);
    g.name = s.name;
    g.line = s.line;
    const int fam =
        r.choice(s, QStringLiteral("family"),
                 {QStringLiteral("K1"), QStringLiteral("K2"), QStringLiteral("K2S")}, 0);
    g.family = GatewayFamily(fam);
    if (const ConfigEntry* e = s.find(QStringLiteral("mac"))) {
        if (!parseMac(e->value, g.mac))
            r.fail(e->line, QStringLiteral("mac in %1 is \"%2\": expected six hexadecimal pairs "
                                           "like 00-20-4A-01-02-03")
                                .arg(s.title(), e->value));
    } else {
        const int64_t serial = r.integer(s, QStringLiteral("serial"), 1, 0, 0xFFFFFF);
        g.mac = SimGateway::makeMac(g.family, uint32_t(serial));
    }
    if (!s.has(QStringLiteral("address")))
        r.fail(s.line, QStringLiteral("%1 has no address").arg(s.title()));
    g.address = r.loopbackAddress(s, QStringLiteral("address"), QString());
    g.restartMs = r.integer(s, QStringLiteral("restart-ms"), g.restartMs, 0, 600000);
    if (s.has(QStringLiteral("mbus-port")))
        g.mbusPort = uint16_t(r.integer(s, QStringLiteral("mbus-port"), 0, 1, 65535));
    if (s.has(QStringLiteral("mbus-protocol")))
        g.mbusUdp = r.choice(s, QStringLiteral("mbus-protocol"),
                             {QStringLiteral("udp"), QStringLiteral("tcp")}, 0) == 0;
    g.mbusBaud = int(r.integer(s, QStringLiteral("mbus-baud"), g.mbusBaud, 300, 38400));
    bool listed = false;
    for (int p = 0; p < SetupRecord::kLineSpeedCount; ++p)
        listed = listed || SetupRecord::lineSpeedBaud(p) == g.mbusBaud;
    if (!listed)
        r.fail(s.find(QStringLiteral("mbus-baud"))->line,
               QStringLiteral("mbus-baud in %1 must be 300, 600, 1200, 2400, 4800 or 9600")
                   .arg(s.title()));
    g.lineTiming = r.flag(s, QStringLiteral("line-timing"), g.lineTiming);
    g.replyDelayMs = int(r.integer(s, QStringLiteral("reply-delay-ms"), g.replyDelayMs, 0, 10000));
    g.alignedCollisions = r.choice(s, QStringLiteral("collisions"),
                                   {QStringLiteral("skewed"), QStringLiteral("aligned")}, 0) == 1;
    g.forwardDelayMs =
        int(r.integer(s, QStringLiteral("forward-delay-ms"), g.forwardDelayMs, -1, 10000));
    g.console = r.flag(s, QStringLiteral("console"), g.console);
    g.mbusMaster = r.flag(s, QStringLiteral("mbus-master"), g.mbusMaster);
    const bool k2 = g.family != GatewayFamily::K1;
    g.selfMeterAddress =
        int(r.integer(s, QStringLiteral("self-meter-address"), k2 ? 250 : 0, 0, 250));
    if (!k2 && g.selfMeterAddress != 0)
        r.fail(s.find(QStringLiteral("self-meter-address"))->line,
               QStringLiteral("only K2 and K2S gateways answer as a meter"));
    g.selfMeterId = readBcd(r, s, QStringLiteral("self-meter-id"))
                        .value_or(0x20000000u | (uint32_t(g.mac[5]) & 0xFFu));
    g.busVoltage = int16_t(r.integer(s, QStringLiteral("bus-voltage"), g.busVoltage, 0, 500));
    g.busCurrent = int16_t(r.integer(s, QStringLiteral("bus-current"), g.busCurrent, 0, 30000));
    g.setupFault = readNamed<SetupFault>(r, s, QStringLiteral("setup-fault"), setupFaultByName,
                                         "none, no-reply, short-read, wrong-ack, no-comeback")
                       .value_or(SetupFault::None);
    g.consoleFault =
        readNamed<ConsoleFault>(r, s, QStringLiteral("console-fault"), consoleFaultByName,
                                "none, silent, bad-line-check, reject-write")
            .value_or(ConsoleFault::None);
    g.discoveryDelayMs =
        int(r.integer(s, QStringLiteral("discovery-delay-ms"), g.discoveryDelayMs, 0, 10000));
    g.consolePrompt = r.choice(s, QStringLiteral("console-prompt"),
                               {QStringLiteral("0>"), QStringLiteral("9>")}, 0) == 1
                          ? QByteArray("9>")
                          : QByteArray("0>");
    g.consoleCheck = readNamed<ConsoleCheck>(r, s, QStringLiteral("console-check"),
                                             consoleCheckByName, "either, byte-sum, char-sum")
                         .value_or(ConsoleCheck::Either);
    const char* replyFaults = "none, no-reply, garbage, bad-check, wrong-id, truncated, extra";

    ModbusSpec& m = g.modbus;
    m.enabled = r.flag(s, QStringLiteral("modbus"), false);
    m.address = uint8_t(r.integer(s, QStringLiteral("modbus-address"), 1, 1, 247));
    m.tcpPort = readPort(r, s, QStringLiteral("modbus-tcp-port"));
    m.rtuTcpPort = readPort(r, s, QStringLiteral("modbus-rtu-tcp-port"));
    m.udpPort = readPort(r, s, QStringLiteral("modbus-udp-port"));
    m.rtuUdpPort = readPort(r, s, QStringLiteral("modbus-rtu-udp-port"));
    m.pty = r.flag(s, QStringLiteral("modbus-pty"), true);
    if (const ConfigEntry* e = s.find(QStringLiteral("modbus-busy"))) {
        const QStringList parts = e->value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool ok1 = false;
        bool ok2 = false;
        const uint start = parts.size() == 2 ? parts[0].toUInt(&ok1) : 0;
        const uint count = parts.size() == 2 ? parts[1].toUInt(&ok2) : 0;
        if (!ok1 || !ok2 || start > 65535 || count < 1 || start + count > 65536)
            r.fail(e->line, QStringLiteral("modbus-busy in %1 is \"%2\": expected the first "
                                           "register and a count, like \"500 10\"")
                                .arg(s.title(), e->value));
        else
            m.busy.append({uint16_t(start), uint16_t(count)});
    }
    m.fault =
        readNamed<ReplyFault>(r, s, QStringLiteral("modbus-fault"), replyFaultByName, replyFaults)
            .value_or(ReplyFault::None);
    if (const ConfigEntry* e = s.find(QStringLiteral("modbus-line"))) {
        const std::optional<SerialLine> line = parseSerialLine(e->value);
        if (!line)
            r.fail(e->line, QStringLiteral("modbus-line in %1 is \"%2\": expected speed, parity, "
                                           "data bits and stop bits like \"9600,N,8,1\"")
                                .arg(s.title(), e->value));
        else
            m.line = *line;
    }
    for (const auto& [key, target] : {std::pair{QStringLiteral("modbus-holding"), &m.holding},
                                      std::pair{QStringLiteral("modbus-input"), &m.input}}) {
        const ConfigEntry* e = s.find(key);
        if (!e)
            continue;
        QString why;
        if (const auto writes = parseRegisterWrites(e->value, why))
            *target = *writes;
        else
            r.fail(e->line, QStringLiteral("%1 in %2: %3").arg(key, s.title(), why));
    }

    AsciiSpec& a = g.ascii;
    a.enabled = r.flag(s, QStringLiteral("ascii"), false);
    a.station = int(r.integer(s, QStringLiteral("ascii-station"), 0, 0, 99));
    a.tcpPort = readPort(r, s, QStringLiteral("ascii-tcp-port"));
    a.udpPort = readPort(r, s, QStringLiteral("ascii-udp-port"));
    a.pty = r.flag(s, QStringLiteral("ascii-pty"), true);
    a.replyOtherStation = r.flag(s, QStringLiteral("ascii-reply-other-station"), false);
    a.fault =
        readNamed<ReplyFault>(r, s, QStringLiteral("ascii-fault"), replyFaultByName, replyFaults)
            .value_or(ReplyFault::None);
    a.replyDelayMs = int(r.integer(s, QStringLiteral("ascii-reply-delay-ms"), 0, 0, 10000));
    a.pieceGapMs = int(r.integer(s, QStringLiteral("ascii-piece-gap-ms"), 0, 0, 10000));
}

void readMeter(ConfigReader& r, const ConfigSection& s, MeterSpec& m) {
    r.onlyKeys(s, kMeterKeys);
    m.name = s.name;
    m.gateway = r.text(s, QStringLiteral("gateway"));
    if (m.gateway.isEmpty())
        r.fail(s.line, QStringLiteral("%1 names no gateway").arg(s.title()));
    if (const ConfigEntry* e = s.find(QStringLiteral("capture"))) {
        m.reply = capturedReply(e->value);
        if (m.reply.isEmpty()) {
            QStringList names;
            for (const CapturedReply& c : capturedReplies())
                names << QString::fromLatin1(c.name);
            r.fail(e->line, QStringLiteral("capture in %1 is \"%2\": known captures are %3")
                                .arg(s.title(), e->value, names.join(QStringLiteral(", "))));
        }
    } else if (s.has(QStringLiteral("reply"))) {
        m.reply = r.bytes(s, QStringLiteral("reply"));
    } else {
        r.fail(s.line, QStringLiteral("%1 needs a capture or a reply").arg(s.title()));
    }
    if (r.ok() && !parseMBusFrame(m.reply)) {
        const ConfigEntry* e = s.find(QStringLiteral("reply"));
        r.fail(e ? e->line : s.line,
               QStringLiteral("the reply of %1 is no complete M-Bus long frame").arg(s.title()));
    }
    m.address = uint8_t(r.integer(s, QStringLiteral("address"), 0, 0, 250));
    if (!s.has(QStringLiteral("address")))
        r.fail(s.line, QStringLiteral("%1 has no address").arg(s.title()));
    m.id = readBcd(r, s, QStringLiteral("id"));
    m.fabrication = readBcd(r, s, QStringLiteral("fabrication"));
    if (const ConfigEntry* e = s.find(QStringLiteral("manufacturer"))) {
        m.manufacturer = manufacturerValue(e->value);
        if (!m.manufacturer)
            r.fail(e->line, QStringLiteral("manufacturer in %1 is \"%2\": expected three letters")
                                .arg(s.title(), e->value));
    }
    if (s.has(QStringLiteral("version")))
        m.version = uint8_t(r.integer(s, QStringLiteral("version"), 0, 0, 255));
    if (s.has(QStringLiteral("medium")))
        m.medium = uint8_t(r.integer(s, QStringLiteral("medium"), 0, 0, 255));
    m.baud = int(r.integer(s, QStringLiteral("baud"), 0, 0, 38400));
    if (m.baud != 0 && !validBaud(m.baud))
        r.fail(s.find(QStringLiteral("baud"))->line,
               QStringLiteral("baud in %1 is no M-Bus line speed").arg(s.title()));
    m.fault = readNamed<ReplyFault>(r, s, QStringLiteral("fault"), replyFaultByName, kMeterFaults)
                  .value_or(ReplyFault::None);
    m.faultCount = int(r.integer(s, QStringLiteral("fault-count"), -1, -1, 1000000));
    if (const ConfigEntry* e = s.find(QStringLiteral("answer-skew"))) {
        bool ok = false;
        const double bits = QLocale::c().toDouble(e->value.trimmed(), &ok);
        if (!ok || bits < 0 || bits > kMaxSkewBits)
            r.fail(e->line, QStringLiteral("answer-skew in %1 is \"%2\": expected bit times "
                                           "from 0 to %3, such as 1.5")
                                .arg(s.title(), e->value)
                                .arg(kMaxSkewBits));
        else
            m.skewEighths = int(std::lround(bits * 8));
    }
}

} // namespace

int defaultSkewEighths(const QString& meterName) {
    // FNV-1a over the name: the same meter is always as late.
    uint32_t h = 2166136261u;
    for (const QChar c : meterName) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return int(h % 17) * 2;
}

QByteArray defaultInstallationText() {
    return QByteArray(kDefaultText);
}

bool parseHostPort(const QString& text, HostPort& out, bool anyAddress) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    const QString host = text.left(colon).trimmed();
    bool ok = false;
    const uint port = text.mid(colon + 1).trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || !(anyAddress ? isDottedV4(host) : isLoopbackV4(host)))
        return false;
    out.host = host;
    out.port = uint16_t(port);
    return true;
}

std::optional<ReplyFault> replyFaultByName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("none"))
        return ReplyFault::None;
    if (n == QLatin1String("no-reply"))
        return ReplyFault::NoReply;
    if (n == QLatin1String("garbage"))
        return ReplyFault::Garbage;
    if (n == QLatin1String("bad-check") || n == QLatin1String("crc"))
        return ReplyFault::BadCheck;
    if (n == QLatin1String("wrong-id"))
        return ReplyFault::WrongTransactionId;
    if (n == QLatin1String("truncated"))
        return ReplyFault::Truncated;
    if (n == QLatin1String("extra"))
        return ReplyFault::ExtraBytes;
    if (n == QLatin1String("wrong-stop"))
        return ReplyFault::WrongStop;
    if (n == QLatin1String("silence"))
        return ReplyFault::NoReply;
    return std::nullopt;
}

std::optional<SetupFault> setupFaultByName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("none"))
        return SetupFault::None;
    if (n == QLatin1String("no-reply"))
        return SetupFault::NoReply;
    if (n == QLatin1String("short-read"))
        return SetupFault::ShortReadAnswer;
    if (n == QLatin1String("wrong-ack"))
        return SetupFault::WrongAck;
    if (n == QLatin1String("no-comeback"))
        return SetupFault::NoComeback;
    return std::nullopt;
}

std::optional<ConsoleFault> consoleFaultByName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("none"))
        return ConsoleFault::None;
    if (n == QLatin1String("silent"))
        return ConsoleFault::Silent;
    if (n == QLatin1String("bad-line-check"))
        return ConsoleFault::BadLineCheck;
    if (n == QLatin1String("reject-write"))
        return ConsoleFault::RejectWrite;
    return std::nullopt;
}

std::optional<QList<RegisterWrite>> parseRegisterWrites(const QString& text, QString& error) {
    QList<RegisterWrite> writes;
    for (const QString& group : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = group.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        bool ok = false;
        const uint first = words[0].toUInt(&ok);
        if (!ok || first > 65535 || words.size() < 2) {
            error = QStringLiteral("\"%1\" is not a first register (0 to 65535) followed by "
                                   "register values")
                        .arg(group.trimmed());
            return std::nullopt;
        }
        RegisterWrite w;
        w.first = uint16_t(first);
        for (qsizetype i = 1; i < words.size(); ++i) {
            const uint value = words[i].toUInt(&ok, 16);
            if (!ok || words[i].size() > 4) {
                error = QStringLiteral("\"%1\" is no register value (1 to 4 hexadecimal digits)")
                            .arg(words[i]);
                return std::nullopt;
            }
            w.values.append(uint16_t(value));
        }
        if (first + w.values.size() > 65536) {
            error = QStringLiteral("\"%1\" reaches beyond register 65535").arg(group.trimmed());
            return std::nullopt;
        }
        writes.append(w);
    }
    if (writes.isEmpty()) {
        error = QStringLiteral("no registers given");
        return std::nullopt;
    }
    return writes;
}

std::optional<ConsoleCheck> consoleCheckByName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("either"))
        return ConsoleCheck::Either;
    if (n == QLatin1String("byte-sum"))
        return ConsoleCheck::ByteSum;
    if (n == QLatin1String("char-sum"))
        return ConsoleCheck::CharSum;
    return std::nullopt;
}

std::optional<Installation> readInstallation(const QByteArray& text, const QString& source,
                                             QString& error) {
    const std::optional<ConfigFile> file = parseConfig(text, source, error);
    if (!file)
        return std::nullopt;
    ConfigReader r(source);
    Installation inst;
    // Whether addresses outside loopback are allowed is known before any
    // address is read, wherever the [simulator] section stands.
    for (const ConfigSection& s : file->sections) {
        if (s.kind.toLower() == QLatin1String("simulator") && s.has(QStringLiteral("network")))
            inst.privateNetwork =
                r.choice(s, QStringLiteral("network"),
                         {QStringLiteral("loopback"), QStringLiteral("namespace")}, 0) == 1;
    }
    r.setAnyAddress(inst.privateNetwork);
    QSet<QString> names;
    QSet<QString> addresses;
    QSet<QString> macs;
    bool seenSimulator = false;
    for (const ConfigSection& s : file->sections) {
        if (!r.ok())
            break;
        const QString kind = s.kind.toLower();
        if (kind == QLatin1String("simulator")) {
            if (seenSimulator) {
                r.fail(s.line, QStringLiteral("a second [simulator] section"));
                break;
            }
            seenSimulator = true;
            r.onlyKeys(s, kSimulatorKeys);
            if (const ConfigEntry* e = s.find(QStringLiteral("listen"))) {
                if (!parseHostPort(e->value, inst.listen, inst.privateNetwork))
                    r.fail(e->line, QStringLiteral("listen is \"%1\": expected address:port with "
                                                   "the address inside 127.0.0.0/8")
                                        .arg(e->value));
            }
            inst.dhcpFirst = r.loopbackAddress(s, QStringLiteral("dhcp-first"), inst.dhcpFirst);
            inst.controlPort = readPort(r, s, QStringLiteral("control-port"));
            inst.tagFiles = r.flag(s, QStringLiteral("tag-files"), true) ? QStringLiteral("yes")
                                                                         : QStringLiteral("no");
        } else if (kind == QLatin1String("gateway")) {
            if (s.name.isEmpty() || names.contains(s.name)) {
                r.fail(s.line, s.name.isEmpty()
                                   ? QStringLiteral("a gateway needs a name: [gateway NAME]")
                                   : QStringLiteral("a second gateway named %1").arg(s.name));
                break;
            }
            names.insert(s.name);
            GatewaySpec g;
            g.privateNetwork = inst.privateNetwork;
            readGateway(r, s, g);
            if (!r.ok())
                break;
            if (addresses.contains(g.address)) {
                r.fail(s.find(QStringLiteral("address"))->line,
                       QStringLiteral("address %1 is taken by another gateway").arg(g.address));
                break;
            }
            if (macs.contains(macText(g.mac))) {
                r.fail(s.line, QStringLiteral("MAC address %1 of %2 is taken by another gateway")
                                   .arg(macText(g.mac), s.title()));
                break;
            }
            addresses.insert(g.address);
            macs.insert(macText(g.mac));
            inst.gateways.append(g);
        } else if (kind == QLatin1String("meter")) {
            MeterSpec m;
            readMeter(r, s, m);
            if (r.ok() && !names.contains(m.gateway))
                r.fail(s.find(QStringLiteral("gateway"))->line,
                       QStringLiteral("%1 names gateway \"%2\", which is not defined above")
                           .arg(s.title(), m.gateway));
            inst.meters.append(m);
        } else {
            r.fail(s.line, QStringLiteral("unknown section [%1] (known: simulator, gateway, meter)")
                               .arg(s.kind));
        }
    }
    if (r.ok() && inst.gateways.isEmpty())
        r.fail(1, QStringLiteral("no [gateway NAME] section: nothing to simulate"));
    if (!r.ok()) {
        error = r.error();
        return std::nullopt;
    }
    return inst;
}

} // namespace kestrune::sim
