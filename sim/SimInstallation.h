#pragma once

#include "sim/devices/SimFaults.h"
#include "sim/gateway/SimConsole.h"
#include "sim/gateway/SimGateway.h"
#include "sim/runtime/Pty.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// What the simulator serves, as read from its installation file: the
// simulator's own settings, the gateways with their faces, and the meters on
// each gateway's bus. Reading refuses the whole file at its first problem
// with "<file>:<line>: <reason>".
namespace kestrune::sim {

struct HostPort {
    QString host;
    uint16_t port = 0;
    QString text() const { return host + QLatin1Char(':') + QString::number(port); }
};

struct MeterSpec {
    QString name;
    QString gateway;
    QByteArray reply; // the reply template (whole RSP_UD frame)
    uint8_t address = 0;
    std::optional<uint32_t> id;
    std::optional<uint32_t> fabrication;
    std::optional<uint16_t> manufacturer;
    std::optional<uint8_t> version;
    std::optional<uint8_t> medium;
    int baud = 0;                        // 0: the gateway's line speed
    ReplyFault fault = ReplyFault::None; // spoils the meter's answers
    int faultCount = -1;                 // how many (negative: all)
    // How late the meter starts its answers, in eighths of a bit time
    // (answer-skew, in bit times); unset: a few bit times, fixed per name.
    std::optional<int> skewEighths;
};

// The answer skew of a meter without answer-skew: 0 to 4 bit times in
// quarter steps, fixed by its name so that runs repeat.
int defaultSkewEighths(const QString& meterName);

// Registers written over the slave's default map: values from a first
// register on.
struct RegisterWrite {
    uint16_t first = 0;
    QList<uint16_t> values;
};

struct ModbusSpec {
    bool enabled = false;
    uint8_t address = 1;
    uint16_t tcpPort = 0;                  // Modbus TCP framing over TCP (0: off)
    uint16_t rtuTcpPort = 0;               // RTU framing over TCP
    uint16_t udpPort = 0;                  // Modbus TCP framing over UDP
    uint16_t rtuUdpPort = 0;               // RTU framing over UDP
    bool pty = true;                       // RTU framing on a pseudo-terminal
    QList<QPair<uint16_t, uint16_t>> busy; // start, count
    ReplyFault fault = ReplyFault::None;
    // The slave's serial line: it hears requests on the pseudo-terminal only
    // when the program's side is set alike.
    SerialLine line;
    QList<RegisterWrite> holding;
    QList<RegisterWrite> input;
};

struct AsciiSpec {
    bool enabled = false;
    int station = 0;
    uint16_t tcpPort = 0;
    uint16_t udpPort = 0;
    bool pty = true;
    bool replyOtherStation = false;
    ReplyFault fault = ReplyFault::None;
    int replyDelayMs = 0; // from the end of the request to the reply
    int pieceGapMs = 0;   // 0: replies in one piece; else ACK/NAK first, the rest this much later
};

struct GatewaySpec {
    QString name;
    int line = 0;
    GatewayFamily family = GatewayFamily::K1;
    MacAddress mac{};
    QString address;
    int64_t restartMs = SimGateway::kDefaultRestartMs;
    std::optional<uint16_t> mbusPort; // record 0's transparent port
    std::optional<bool> mbusUdp;      // record 0's protocol
    int mbusBaud = 2400;
    bool lineTiming = true;
    int replyDelayMs = 20;
    // collisions = aligned: answers that coincide start at the same instant.
    bool alignedCollisions = false;
    // Time the gateway takes to pass a bus answer on to the network: K2 and
    // K2S gateways are slower than a K1 (forward-delay-ms).
    int forwardDelayMs = -1; // -1: the family's
    int effectiveForwardDelayMs() const {
        return forwardDelayMs >= 0 ? forwardDelayMs
                                   : (family == GatewayFamily::K1 ? 0 : kK2ForwardDelayMs);
    }
    static constexpr int kK2ForwardDelayMs = 100;
    bool console = true;
    bool mbusMaster = true;
    // K2 and K2S: the gateway as a meter on its own bus (0: none).
    int selfMeterAddress = 250;
    uint32_t selfMeterId = 0;
    int16_t busVoltage = 360; // 0.1 V
    int16_t busCurrent = 150; // 0.1 mA
    SetupFault setupFault = SetupFault::None;
    ConsoleFault consoleFault = ConsoleFault::None;
    // How long after a discovery request the gateway answers.
    int discoveryDelayMs = 0;
    // The console's prompt ("0>" or "9>") and the check value it takes on
    // the lines of a record write.
    QByteArray consolePrompt = "0>";
    ConsoleCheck consoleCheck = ConsoleCheck::Either;
    // From [simulator] network: the gateway may live outside loopback.
    bool privateNetwork = false;
    ModbusSpec modbus;
    AsciiSpec ascii;
};

struct Installation {
    HostPort listen{QStringLiteral("127.255.255.255"), 30718};
    QString dhcpFirst = QStringLiteral("127.0.0.100");
    uint16_t controlPort = 0; // 0: no control port
    QString tagFiles = QStringLiteral("yes");
    // network = namespace: addresses outside loopback, for a simulator
    // started inside a private network namespace (checked at start).
    bool privateNetwork = false;
    QList<GatewaySpec> gateways;
    QList<MeterSpec> meters;
};

// The embedded default installation as installation-file text.
QByteArray defaultInstallationText();

// Reads an installation file's text. On failure returns nothing and sets
// error to "<source>:<line>: <reason>".
std::optional<Installation> readInstallation(const QByteArray& text, const QString& source,
                                             QString& error);

// "host:port" with the host in 127.0.0.0/8 (any IPv4 address with
// anyAddress); false otherwise.
bool parseHostPort(const QString& text, HostPort& out, bool anyAddress = false);

// Text names of the fault switches as the installation file and the
// control port take them.
std::optional<ReplyFault> replyFaultByName(const QString& name);
std::optional<SetupFault> setupFaultByName(const QString& name);
std::optional<ConsoleFault> consoleFaultByName(const QString& name);
std::optional<ConsoleCheck> consoleCheckByName(const QString& name);

// "100 4120 0000; 200 1": groups of a decimal first register and one or more
// hexadecimal register values (1 to 4 digits each). Empty and error set when
// the text is not of that form.
std::optional<QList<RegisterWrite>> parseRegisterWrites(const QString& text, QString& error);

} // namespace kestrune::sim
