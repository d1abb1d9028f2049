#pragma once

#include "sim/SimInstallation.h"
#include "sim/bus/SimBus.h"
#include "sim/devices/AsciiPacing.h"
#include "sim/devices/LinePacer.h"
#include "sim/devices/SimAsciiServer.h"
#include "sim/devices/SimModbusSlave.h"
#include "sim/gateway/SimConsole.h"
#include "sim/gateway/SimGateway.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace kestrune::sim {

class Pty;

// Cuts a byte stream into M-Bus telegrams. Bytes that cannot start a
// telegram are dropped one at a time; at most 512 bytes of an unfinished
// telegram are kept.
class TelegramCutter {
public:
    QList<QByteArray> feed(const QByteArray& bytes);
    void clear() { m_buffer.clear(); }
    bool hasPartial() const { return !m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
};

// One simulated gateway with everything it serves: the setup service on UDP
// 30718 of its address, the serial console and the M-Bus master line on
// pseudo-terminals, the transparent M-Bus port (UDP or TCP as record 0 says),
// and optionally a Modbus slave and an ASCII tag server. The device logic
// lives in the plain classes; this class moves bytes between them and the
// sockets and pseudo-terminals.
class GatewayNode : public QObject {
    Q_OBJECT
public:
    // Asked when the gateway requests an address by DHCP: a free loopback
    // address, or an empty text when there is none.
    using AddressPicker = std::function<QString(const GatewayNode*)>;
    // Asked before the gateway moves: the name of whatever already uses the
    // address (another gateway, the discovery listener), or an empty text.
    using AddressUser = std::function<QString(const GatewayNode*, const QString& address)>;

    GatewayNode(const GatewaySpec& setup, const QList<MeterSpec>& meters,
                QObject* parent = nullptr);
    ~GatewayNode() override;

    // Binds the sockets and opens the pseudo-terminals (linked in runFolder).
    // False with errorString() when something can't be set up.
    bool start(const QString& runFolder);
    void stop();
    QString errorString() const { return m_error; }

    // One line per address, port and pseudo-terminal served.
    QStringList describe() const;
    // Tag files written into the run folder (removed by stop()).
    QStringList writeTagFiles(const QString& runFolder);

    const QString& name() const { return m_spec.name; }
    QString address() const;
    void setAddressPicker(AddressPicker picker) { m_picker = std::move(picker); }
    void setAddressUser(AddressUser user) { m_addressUser = std::move(user); }

    // A datagram for the setup service that reached the simulator's
    // discovery listener; the answer goes out from this gateway's own
    // setup socket.
    void handleSetupDatagram(const QByteArray& datagram, const QHostAddress& sender,
                             quint16 senderPort);

    SimGateway& gateway() { return m_gateway; }
    SimConsole& console() { return m_console; }
    SimBus& bus() { return m_bus; }
    SimModbusSlave* modbus() { return m_modbus.get(); }
    SimAsciiServer* ascii() { return m_ascii.get(); }
    // The ASCII server's timing: the time it takes before it answers, and
    // the gap after the ACK or NAK of a reply sent in two pieces (0: one).
    void setAsciiReplyDelay(int ms) { m_asciiPacing.replyDelayMs = ms; }
    void setAsciiPieceGap(int ms) { m_asciiPacing.pieceGapMs = ms; }

signals:
    // A line for the simulator's standard output (moves, rebinds).
    void notice(const QString& line);
    // A problem for standard error.
    void warning(const QString& line);

private:
    bool bindNetwork();
    void closeNetwork();
    bool bindTransparent();
    void closeTransparent();
    void handleEvents(const QList<SimEvent>& events);
    void moveTo(const QString& address, const QString& from);
    // Back at the old address after a refused move: record 0 says so too.
    void stayAt(const QString& address);
    // A restart ends every TCP connection the gateway holds.
    void dropConnectionsAfterRestart();
    void sendSetupReply(const QByteArray& datagram, const QHostAddress& to, quint16 port);
    int networkBaud() const;

    void readSetup();
    void readMBusUdp();
    void acceptMBusTcp();
    // Plays one telegram on the bus and sends the answer to `reply` as the
    // line delivers it (gatewaySends: the gateway first puts a request from
    // the network on the bus). Nothing is sent once context is gone.
    void playTelegram(const QByteArray& telegram, int baud, bool gatewaySends, QObject* context,
                      std::function<void(const QByteArray&)> reply);
    void consoleInput(const QByteArray& bytes);
    // Says once (until a request is heard again) that Modbus requests
    // arrive at a line setting the slave does not use.
    void warnLineMismatch(const PtyLine& seen);

    // Sends a reply of the Modbus slave on its serial line at the line's
    // speed (at once without line timing), after the request has come off
    // the line and the end-of-frame silence has passed.
    void sendModbusLineReply(const QByteArray& reply, qsizetype requestBytes);
    bool bindModbus();
    bool bindAscii();
    // Sends an ASCII reply at the times the pacing gives (at once when
    // nothing delays it). baud 0: no time on the wire. lineFreeAt: when the
    // line is free, for a serial line; nullptr for a network face.
    void sendAsciiReply(const QByteArray& reply, qsizetype requestChars, int baud,
                        int64_t* lineFreeAt, const std::function<void(const QByteArray&)>& write);
    bool listenTcp(QTcpServer*& server, uint16_t port,
                   const std::function<void(QTcpSocket*)>& onNew);
    bool bindUdp(QUdpSocket*& socket, uint16_t port);

    GatewaySpec m_spec;
    SimGateway m_gateway;
    SimConsole m_console;
    SimBus m_bus;
    std::unique_ptr<SimModbusSlave> m_modbus;
    std::unique_ptr<SimAsciiServer> m_ascii;
    AddressPicker m_picker;
    AddressUser m_addressUser;
    uint32_t m_seenRestarts = 0;
    // Where the sockets are bound now.
    QString m_boundAddress;
    QString m_error;
    QString m_runFolder;
    QStringList m_tagFiles;

    QUdpSocket* m_setup = nullptr;
    QUdpSocket* m_mbusUdp = nullptr;
    QTcpServer* m_mbusTcp = nullptr;
    QList<QPointer<QTcpSocket>> m_connections;
    QTcpServer* m_modbusTcp = nullptr;
    QTcpServer* m_modbusRtuTcp = nullptr;
    QUdpSocket* m_modbusUdp = nullptr;
    QUdpSocket* m_modbusRtuUdp = nullptr;
    QTcpServer* m_asciiTcp = nullptr;
    QUdpSocket* m_asciiUdp = nullptr;

    Pty* m_consolePty = nullptr;
    Pty* m_mbusPty = nullptr;
    Pty* m_modbusPty = nullptr;
    Pty* m_asciiPty = nullptr;
    TelegramCutter m_ptyCutter;

    // When the bus is free again: answers follow each other on the line.
    int64_t m_busFreeAt = 0;
    bool m_lineWarned = false;
    AsciiPacing m_asciiPacing;
    int64_t m_asciiLineFreeAt = 0;
    int64_t m_modbusLineFreeAt = 0;
};

} // namespace kestrune::sim
