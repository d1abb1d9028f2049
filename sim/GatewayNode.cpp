#include "sim/GatewayNode.h"

#include "base/FileReplace.h"
#include "mbus/MBusFrame.h"
#include "netsetup/SetupDatagram.h"
#include "sim/bus/MeterTemplates.h"
#include "sim/devices/LinePacer.h"
#include "sim/devices/SimFramers.h"
#include "sim/devices/SimTagFiles.h"
#include "sim/runtime/Pty.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace kestrune::sim {

namespace {

constexpr quint16 kSetupPort = 30718;
// A telegram, Modbus or ASCII request left unfinished this long on a
// stream is dropped: on a serial line the gap would end it.
constexpr int kStreamSilenceMs = 300;
// Most bytes a TCP client may leave unread with us before we drop it.
constexpr qint64 kMaxPendingBytes = 64 * 1024;
constexpr int kConsoleBaud = 9600;
// TCP connections one gateway holds at a time, over all its ports.
constexpr qsizetype kMaxConnections = 32;

Ipv4Address toIpv4(const QString& text) {
    Ipv4Address a{};
    if (!parseIpv4(text, a))
        a = {};
    return a;
}

// A restartable single-shot timer that calls `what` after silence.
QTimer* silenceTimer(QObject* parent, std::function<void()> what) {
    auto* t = new QTimer(parent);
    t->setSingleShot(true);
    t->setInterval(kStreamSilenceMs);
    QObject::connect(t, &QTimer::timeout, parent, std::move(what));
    return t;
}

QString ptyLine(const QString& what, const Pty* pty) {
    return what + QStringLiteral(" pty ") + pty->linkPath() + QStringLiteral(" -> ") +
           pty->slavePath();
}

} // namespace

QList<QByteArray> TelegramCutter::feed(const QByteArray& bytes) {
    QList<QByteArray> out;
    m_buffer.append(bytes);
    while (!m_buffer.isEmpty()) {
        const int n = expectedFrameSize(m_buffer);
        if (n < 0) {
            m_buffer.remove(0, 1);
            continue;
        }
        if (n == 0 || m_buffer.size() < n)
            break;
        out.append(m_buffer.left(n));
        m_buffer.remove(0, n);
    }
    if (m_buffer.size() > 512)
        m_buffer.clear();
    return out;
}

GatewayNode::GatewayNode(const GatewaySpec& setup, const QList<MeterSpec>& meters, QObject* parent)
    : QObject(parent), m_spec(setup), m_gateway(setup.family, setup.mac, toIpv4(setup.address)),
      m_console(m_gateway) {
    // Record 0 states where the gateway lives and how its transparent port
    // runs; start the gateway once with those settings.
    SetupRecord r0 = m_gateway.record(0);
    r0.setIpv4(toIpv4(setup.address));
    if (setup.mbusPort)
        r0.setPort(*setup.mbusPort);
    if (setup.mbusUdp)
        r0.setUsingUdp(*setup.mbusUdp);
    for (int p = 0; p < SetupRecord::kLineSpeedCount; ++p) {
        if (SetupRecord::lineSpeedBaud(p) == setup.mbusBaud)
            r0.setLineSpeed(p);
    }
    m_gateway.storeRecord(0, r0.bytes());
    m_gateway.setRestartMs(0);
    m_gateway.restart(0);
    m_gateway.takeEvents();
    m_gateway.setRestartMs(setup.restartMs);
    m_gateway.setSetupFault(setup.setupFault);
    m_gateway.setLoopbackOnly(!setup.privateNetwork);
    m_seenRestarts = m_gateway.restartCount();
    m_console.setFault(setup.consoleFault);
    m_console.setPrompt(setup.consolePrompt);
    m_console.setCheckRule(setup.consoleCheck);

    m_bus.setAnswerDelayMs(setup.replyDelayMs);
    m_bus.setAlignedCollisions(setup.alignedCollisions);
    for (const MeterSpec& m : meters) {
        if (m.gateway != setup.name)
            continue;
        MeterIdentity id = identityFromReply(m.reply).value_or(MeterIdentity{});
        if (m.id)
            id.id = *m.id;
        if (m.fabrication)
            id.fabrication = m.fabrication;
        if (m.manufacturer)
            id.manufacturer = *m.manufacturer;
        if (m.version)
            id.version = *m.version;
        if (m.medium)
            id.medium = *m.medium;
        SimMeter meter(m.address, id, m.reply, m.baud ? m.baud : setup.mbusBaud);
        meter.setName(m.name);
        meter.setFault(m.fault, m.faultCount);
        meter.setAnswerSkewEighths(m.skewEighths.value_or(defaultSkewEighths(m.name)));
        m_bus.addMeter(meter);
    }
    if (setup.family != GatewayFamily::K1 && setup.selfMeterAddress > 0) {
        SimMeter self = makeK2Gateway(uint8_t(setup.selfMeterAddress), setup.selfMeterId,
                                      setup.family == GatewayFamily::K2 ? 2 : 3, setup.busVoltage,
                                      setup.busCurrent, setup.mbusBaud);
        self.setName(setup.name); // the gateway's own meter goes by the gateway's name
        self.setAnswerSkewEighths(defaultSkewEighths(setup.name));
        m_bus.addMeter(self);
    }

    if (setup.modbus.enabled) {
        m_modbus = std::make_unique<SimModbusSlave>(defaultModbusSlave());
        m_modbus->setAddress(setup.modbus.address);
        for (const auto& b : setup.modbus.busy)
            m_modbus->setBusyRange(b.first, b.second);
        for (const RegisterWrite& w : setup.modbus.holding)
            m_modbus->writeRegisters(ModbusTable::Holding, w.first, w.values);
        for (const RegisterWrite& w : setup.modbus.input)
            m_modbus->writeRegisters(ModbusTable::Input, w.first, w.values);
        m_modbus->faults().set(setup.modbus.fault);
    }
    if (setup.ascii.enabled) {
        m_ascii = std::make_unique<SimAsciiServer>(setup.ascii.station);
        m_ascii->setTags(defaultAsciiTags());
        m_ascii->setReplyToOtherStation(setup.ascii.replyOtherStation);
        m_ascii->faults().set(setup.ascii.fault);
        m_asciiPacing.replyDelayMs = setup.ascii.replyDelayMs;
        m_asciiPacing.pieceGapMs = setup.ascii.pieceGapMs;
    }
}

GatewayNode::~GatewayNode() {
    stop();
}

QString GatewayNode::address() const {
    return ipv4Text(m_gateway.address());
}

bool GatewayNode::start(const QString& runFolder) {
    m_runFolder = runFolder;
    auto openPty = [&](Pty*& pty, const QString& suffix) {
        pty = new Pty(this);
        if (!pty->open() || !pty->linkAs(runFolder + QLatin1Char('/') + m_spec.name + suffix)) {
            m_error = QStringLiteral("%1: pseudo-terminal %2: %3")
                          .arg(m_spec.name, suffix.mid(1), pty->errorString());
            return false;
        }
        return true;
    };
    if (m_spec.console) {
        if (!openPty(m_consolePty, QStringLiteral("-console")))
            return false;
        connect(m_consolePty, &Pty::received, this, &GatewayNode::consoleInput);
    }
    if (m_spec.mbusMaster) {
        if (!openPty(m_mbusPty, QStringLiteral("-mbus")))
            return false;
        QTimer* quiet = silenceTimer(m_mbusPty, [this] { m_ptyCutter.clear(); });
        connect(m_mbusPty, &Pty::received, this, [this, quiet](const QByteArray& bytes) {
            if (m_gateway.isRestarting(simNowMs()))
                return;
            const int baud = m_mbusPty->baudRate() > 0 ? m_mbusPty->baudRate() : m_spec.mbusBaud;
            QPointer<Pty> pty = m_mbusPty;
            for (const QByteArray& t : m_ptyCutter.feed(bytes)) {
                playTelegram(t, baud, false, pty, [pty](const QByteArray& answer) {
                    if (pty)
                        pty->write(answer);
                });
            }
            if (m_ptyCutter.hasPartial())
                quiet->start();
        });
    }
    if (m_modbus && m_spec.modbus.pty) {
        if (!openPty(m_modbusPty, QStringLiteral("-modbus")))
            return false;
        auto framer = std::make_shared<ModbusRtuFramer>();
        QTimer* quiet = silenceTimer(m_modbusPty, [framer] { framer->clear(); });
        connect(m_modbusPty, &Pty::received, this, [this, framer, quiet](const QByteArray& b) {
            // At another speed, parity or stop bits the slave's UART sees
            // nothing but garbled characters and stays silent.
            const PtyLine seen = m_modbusPty->line();
            if (!lineMatches(m_spec.modbus.line, seen)) {
                framer->clear();
                warnLineMismatch(seen);
                return;
            }
            m_lineWarned = false;
            framer->append(b);
            while (const auto frame = framer->next())
                sendModbusLineReply(m_modbus->handleRtu(*frame), frame->size());
            if (framer->pending() > 0)
                quiet->start();
        });
    }
    if (m_ascii && m_spec.ascii.pty) {
        if (!openPty(m_asciiPty, QStringLiteral("-ascii")))
            return false;
        auto framer = std::make_shared<AsciiFramer>();
        auto drain = [this, framer] {
            // The server answers at the speed the program set on its side of
            // the line (without line timing: at once).
            const int lineBaud = m_asciiPty->baudRate() > 0 ? m_asciiPty->baudRate() : 9600;
            const int baud = m_spec.lineTiming ? lineBaud : 0;
            QPointer<Pty> pty = m_asciiPty;
            while (const auto frame = framer->next()) {
                sendAsciiReply(m_ascii->handleFrame(*frame), frame->body.size() + 2, baud,
                               &m_asciiLineFreeAt, [pty](const QByteArray& bytes) {
                                   if (pty)
                                       pty->write(bytes);
                               });
            }
        };
        QTimer* quiet = silenceTimer(m_asciiPty, [framer, drain] {
            framer->flush();
            drain();
        });
        connect(m_asciiPty, &Pty::received, this, [framer, drain, quiet](const QByteArray& b) {
            framer->append(b);
            drain();
            quiet->start();
        });
    }
    return bindNetwork();
}

void GatewayNode::stop() {
    closeNetwork();
    for (Pty* p : {m_consolePty, m_mbusPty, m_modbusPty, m_asciiPty}) {
        if (p)
            p->close();
    }
    for (const QString& f : std::as_const(m_tagFiles))
        QFile::remove(f);
    m_tagFiles.clear();
}

QStringList GatewayNode::describe() const {
    const QString head = QStringLiteral("gateway ") + m_spec.name + QLatin1Char(' ');
    const QString at = address() + QLatin1Char(':');
    QStringList lines;
    lines << head + QLatin1String(familyName(m_spec.family)) + QStringLiteral(" mac ") +
                 macText(m_gateway.mac()) + QStringLiteral(" setup udp ") + at +
                 QString::number(kSetupPort);
    lines << head + QStringLiteral("mbus ") +
                 (m_gateway.transparentUdp() ? QStringLiteral("udp ") : QStringLiteral("tcp ")) +
                 at + QString::number(m_gateway.transparentPort()) + QStringLiteral(" baud ") +
                 QString::number(networkBaud());
    if (m_mbusPty)
        lines << head + ptyLine(QStringLiteral("mbus-master"), m_mbusPty);
    if (m_consolePty)
        lines << head + ptyLine(QStringLiteral("console"), m_consolePty);
    if (m_modbus) {
        const ModbusSpec& m = m_spec.modbus;
        const QString mh = head + QStringLiteral("modbus ");
        if (m.tcpPort)
            lines << mh + QStringLiteral("tcp ") + at + QString::number(m.tcpPort);
        if (m.rtuTcpPort)
            lines << mh + QStringLiteral("rtu-tcp ") + at + QString::number(m.rtuTcpPort);
        if (m.udpPort)
            lines << mh + QStringLiteral("udp ") + at + QString::number(m.udpPort);
        if (m.rtuUdpPort)
            lines << mh + QStringLiteral("rtu-udp ") + at + QString::number(m.rtuUdpPort);
        if (m_modbusPty)
            lines << mh + ptyLine(QStringLiteral("rtu"), m_modbusPty) + QStringLiteral(" line ") +
                         m.line.text();
    }
    if (m_ascii) {
        const AsciiSpec& a = m_spec.ascii;
        const QString ah = head + QStringLiteral("ascii ");
        if (a.tcpPort)
            lines << ah + QStringLiteral("tcp ") + at + QString::number(a.tcpPort);
        if (a.udpPort)
            lines << ah + QStringLiteral("udp ") + at + QString::number(a.udpPort);
        if (m_asciiPty)
            lines << ah + ptyLine(QStringLiteral("serial"), m_asciiPty);
    }
    return lines;
}

QStringList GatewayNode::writeTagFiles(const QString& runFolder) {
    QStringList lines;
    if (!m_ascii)
        return lines;
    QList<QByteArray> names;
    for (const AsciiTag& t : m_ascii->tags())
        names << t.name;
    static const char* const suffix[] = {"-tags-opc.txt", "-tags-table.txt", "-tags-items.txt"};
    for (int layout = 0; layout < 3; ++layout) {
        const QString path =
            runFolder + QLatin1Char('/') + m_spec.name + QLatin1String(suffix[layout]);
        const SaveResult saved =
            replaceFile(path, tagFileContents(names, TagFileLayout(layout), m_ascii->station()));
        if (!saved.ok) {
            emit warning(QStringLiteral("gateway %1: can't write %2: %3")
                             .arg(m_spec.name, path, saved.description));
            continue;
        }
        m_tagFiles << path;
        lines << QStringLiteral("gateway %1 ascii tag-file layout %2 %3")
                     .arg(m_spec.name)
                     .arg(layout)
                     .arg(path);
    }
    return lines;
}

bool GatewayNode::bindUdp(QUdpSocket*& socket, uint16_t port) {
    socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress(address()), port)) {
        m_error = QStringLiteral("%1: can't bind UDP %2:%3: %4")
                      .arg(m_spec.name, address())
                      .arg(port)
                      .arg(socket->errorString());
        delete socket;
        socket = nullptr;
        return false;
    }
    return true;
}

bool GatewayNode::listenTcp(QTcpServer*& server, uint16_t port,
                            const std::function<void(QTcpSocket*)>& onNew) {
    server = new QTcpServer(this);
    if (!server->listen(QHostAddress(address()), port)) {
        m_error = QStringLiteral("%1: can't listen on TCP %2:%3: %4")
                      .arg(m_spec.name, address())
                      .arg(port)
                      .arg(server->errorString());
        delete server;
        server = nullptr;
        return false;
    }
    QTcpServer* s = server;
    connect(s, &QTcpServer::newConnection, this, [this, s, onNew] {
        while (QTcpSocket* c = s->nextPendingConnection()) {
            m_connections.removeAll(nullptr);
            if (m_connections.size() >= kMaxConnections) {
                // A device has only so many sockets: refuse the rest.
                c->abort();
                c->deleteLater();
                continue;
            }
            c->setParent(this);
            c->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
            m_connections.append(c);
            onNew(c);
        }
    });
    return true;
}

bool GatewayNode::bindNetwork() {
    if (!bindUdp(m_setup, kSetupPort))
        return false;
    connect(m_setup, &QUdpSocket::readyRead, this, &GatewayNode::readSetup);
    if (!bindTransparent() || !bindModbus() || !bindAscii())
        return false;
    m_boundAddress = address();
    return true;
}

void GatewayNode::closeNetwork() {
    closeTransparent();
    for (const QPointer<QTcpSocket>& c : std::as_const(m_connections)) {
        if (c) {
            c->abort();
            c->deleteLater();
        }
    }
    m_connections.clear();
    // Closed now (the ports are free at once) but deleted later: this may
    // run inside a slot of one of these sockets.
    for (QUdpSocket** u : {&m_setup, &m_modbusUdp, &m_modbusRtuUdp, &m_asciiUdp}) {
        if (*u) {
            (*u)->close();
            (*u)->deleteLater();
        }
        *u = nullptr;
    }
    for (QTcpServer** t : {&m_modbusTcp, &m_modbusRtuTcp, &m_asciiTcp}) {
        if (*t) {
            (*t)->close();
            (*t)->deleteLater();
        }
        *t = nullptr;
    }
}

bool GatewayNode::bindTransparent() {
    const uint16_t port = m_gateway.transparentPort();
    if (port == 0)
        return true;
    if (m_gateway.transparentUdp()) {
        if (!bindUdp(m_mbusUdp, port))
            return false;
        connect(m_mbusUdp, &QUdpSocket::readyRead, this, &GatewayNode::readMBusUdp);
        return true;
    }
    return listenTcp(m_mbusTcp, port, [this](QTcpSocket* c) {
        auto cutter = std::make_shared<TelegramCutter>();
        QTimer* quiet = silenceTimer(c, [cutter] { cutter->clear(); });
        QPointer<QTcpSocket> conn = c;
        connect(c, &QTcpSocket::readyRead, this, [this, conn, cutter, quiet] {
            if (!conn)
                return;
            const QByteArray bytes = conn->readAll();
            if (m_gateway.isRestarting(simNowMs()))
                return;
            for (const QByteArray& t : cutter->feed(bytes)) {
                playTelegram(t, networkBaud(), true, conn, [conn](const QByteArray& answer) {
                    if (conn && conn->state() == QAbstractSocket::ConnectedState &&
                        conn->bytesToWrite() < kMaxPendingBytes)
                        conn->write(answer);
                });
            }
            if (cutter->hasPartial())
                quiet->start();
        });
    });
}

void GatewayNode::closeTransparent() {
    if (m_mbusUdp) {
        m_mbusUdp->close();
        m_mbusUdp->deleteLater();
        m_mbusUdp = nullptr;
    }
    if (m_mbusTcp) {
        m_mbusTcp->close();
        m_mbusTcp->deleteLater();
        m_mbusTcp = nullptr;
    }
}

bool GatewayNode::bindModbus() {
    if (!m_modbus)
        return true;
    const ModbusSpec& m = m_spec.modbus;
    auto tcpSession = [this](bool rtu) {
        return [this, rtu](QTcpSocket* c) {
            auto tcpFramer = std::make_shared<ModbusTcpFramer>();
            auto rtuFramer = std::make_shared<ModbusRtuFramer>();
            QTimer* quiet = silenceTimer(c, [rtuFramer] { rtuFramer->clear(); });
            QPointer<QTcpSocket> conn = c;
            connect(c, &QTcpSocket::readyRead, this,
                    [this, conn, rtu, tcpFramer, rtuFramer, quiet] {
                        if (!conn)
                            return;
                        const QByteArray bytes = conn->readAll();
                        QByteArray out;
                        if (rtu) {
                            rtuFramer->append(bytes);
                            while (const auto f = rtuFramer->next())
                                out += m_modbus->handleRtu(*f);
                            if (rtuFramer->pending() > 0)
                                quiet->start();
                        } else {
                            tcpFramer->append(bytes);
                            while (const auto f = tcpFramer->next())
                                out += m_modbus->handleTcp(*f);
                        }
                        if (!out.isEmpty() && conn->bytesToWrite() < kMaxPendingBytes)
                            conn->write(out);
                    });
        };
    };
    if (m.tcpPort && !listenTcp(m_modbusTcp, m.tcpPort, tcpSession(false)))
        return false;
    if (m.rtuTcpPort && !listenTcp(m_modbusRtuTcp, m.rtuTcpPort, tcpSession(true)))
        return false;
    auto udpService = [this](QUdpSocket* s, bool rtu) {
        connect(s, &QUdpSocket::readyRead, this, [this, s, rtu] {
            while (s->hasPendingDatagrams()) {
                const QNetworkDatagram d = s->receiveDatagram(2048);
                const QByteArray reply =
                    rtu ? m_modbus->handleRtu(d.data()) : m_modbus->handleTcp(d.data());
                if (!reply.isEmpty())
                    s->writeDatagram(reply, d.senderAddress(), quint16(d.senderPort()));
            }
        });
    };
    if (m.udpPort) {
        if (!bindUdp(m_modbusUdp, m.udpPort))
            return false;
        udpService(m_modbusUdp, false);
    }
    if (m.rtuUdpPort) {
        if (!bindUdp(m_modbusRtuUdp, m.rtuUdpPort))
            return false;
        udpService(m_modbusRtuUdp, true);
    }
    return true;
}

bool GatewayNode::bindAscii() {
    if (!m_ascii)
        return true;
    const AsciiSpec& a = m_spec.ascii;
    if (a.tcpPort && !listenTcp(m_asciiTcp, a.tcpPort, [this](QTcpSocket* c) {
            auto framer = std::make_shared<AsciiFramer>();
            QPointer<QTcpSocket> conn = c;
            auto drain = [this, conn, framer] {
                QByteArray out;
                qsizetype requestChars = 0;
                while (const auto f = framer->next()) {
                    out += m_ascii->handleFrame(*f);
                    requestChars += f->body.size() + 2;
                }
                sendAsciiReply(out, requestChars, 0, nullptr, [conn](const QByteArray& bytes) {
                    if (conn && conn->state() == QAbstractSocket::ConnectedState &&
                        conn->bytesToWrite() < kMaxPendingBytes)
                        conn->write(bytes);
                });
            };
            QTimer* quiet = silenceTimer(c, [framer, drain] {
                framer->flush();
                drain();
            });
            connect(c, &QTcpSocket::readyRead, this, [conn, framer, drain, quiet] {
                if (!conn)
                    return;
                framer->append(conn->readAll());
                drain();
                quiet->start();
            });
        }))
        return false;
    if (a.udpPort) {
        if (!bindUdp(m_asciiUdp, a.udpPort))
            return false;
        QUdpSocket* s = m_asciiUdp;
        connect(s, &QUdpSocket::readyRead, this, [this, s] {
            while (s->hasPendingDatagrams()) {
                const QNetworkDatagram d = s->receiveDatagram(2048);
                const QByteArray reply = m_ascii->handleRequest(d.data());
                QPointer<QUdpSocket> socket = s;
                const QHostAddress to = d.senderAddress();
                const quint16 port = quint16(d.senderPort());
                sendAsciiReply(reply, d.data().size(), 0, nullptr,
                               [socket, to, port](const QByteArray& bytes) {
                                   if (socket)
                                       socket->writeDatagram(bytes, to, port);
                               });
            }
        });
    }
    return true;
}

void GatewayNode::sendAsciiReply(const QByteArray& reply, qsizetype requestChars, int baud,
                                 int64_t* lineFreeAt,
                                 const std::function<void(const QByteArray&)>& write) {
    AsciiPacing pacing = m_asciiPacing;
    pacing.baud = baud;
    const int64_t now = simNowMs();
    int64_t networkFree = 0;
    for (const ReplyPiece& piece : pacedAsciiReply(reply, requestChars, pacing, now,
                                                   lineFreeAt ? *lineFreeAt : networkFree)) {
        if (piece.atMs <= now) {
            write(piece.bytes);
            continue;
        }
        QTimer::singleShot(std::chrono::milliseconds(piece.atMs - now), this,
                           [write, bytes = piece.bytes] { write(bytes); });
    }
}

int GatewayNode::networkBaud() const {
    const int baud = SetupRecord::lineSpeedBaud(m_gateway.record(0).lineSpeed());
    return baud > 0 ? baud : m_spec.mbusBaud;
}

void GatewayNode::readSetup() {
    while (m_setup && m_setup->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_setup->receiveDatagram(2048);
        handleSetupDatagram(d.data(), d.senderAddress(), quint16(d.senderPort()));
    }
}

void GatewayNode::handleSetupDatagram(const QByteArray& datagram, const QHostAddress& sender,
                                      quint16 senderPort) {
    const SetupReply reply = m_gateway.handleSetupDatagram(datagram, simNowMs());
    // Gateways answer a discovery each at its own moment.
    const int delay = isDiscoveryRequest(datagram) ? m_spec.discoveryDelayMs : 0;
    for (const QByteArray& d : reply.datagrams) {
        if (delay <= 0) {
            sendSetupReply(d, sender, senderPort);
            continue;
        }
        QTimer::singleShot(
            delay, this, [this, d, sender, senderPort] { sendSetupReply(d, sender, senderPort); });
    }
    handleEvents(reply.events);
}

void GatewayNode::sendSetupReply(const QByteArray& datagram, const QHostAddress& to, quint16 port) {
    // From the setup socket the gateway has now (it may have moved).
    if (m_setup)
        m_setup->writeDatagram(datagram, to, port);
}

void GatewayNode::dropConnectionsAfterRestart() {
    if (m_gateway.restartCount() == m_seenRestarts)
        return;
    m_seenRestarts = m_gateway.restartCount();
    for (const QPointer<QTcpSocket>& c : std::as_const(m_connections)) {
        if (c) {
            c->abort();
            c->deleteLater();
        }
    }
    m_connections.clear();
}

void GatewayNode::handleEvents(const QList<SimEvent>& events) {
    dropConnectionsAfterRestart();
    // The gateway logic already believes it lives at the new address.
    const QString from = m_boundAddress;
    for (const SimEvent& e : events) {
        switch (e.kind) {
        case SimEvent::Kind::TransportChanged:
            closeTransparent();
            if (!bindTransparent()) {
                emit warning(m_error);
            } else {
                emit notice(describe().value(1));
            }
            break;
        case SimEvent::Kind::MoveAddress:
            moveTo(ipv4Text(e.address), from);
            break;
        case SimEvent::Kind::DhcpRequested: {
            const QString a = m_picker ? m_picker(this) : QString();
            if (a.isEmpty()) {
                emit warning(QStringLiteral("gateway %1: no free loopback address for DHCP; it "
                                            "stays at %2")
                                 .arg(m_spec.name, address()));
                break;
            }
            m_gateway.setAddress(toIpv4(a));
            moveTo(a, from);
            break;
        }
        case SimEvent::Kind::AddressRefused:
            emit warning(QStringLiteral("gateway %1: refused to move to %2, which is no address "
                                        "it may take (%3); it stays at %4")
                             .arg(m_spec.name, ipv4Text(e.address),
                                  m_spec.privateNetwork ? QStringLiteral("not one device")
                                                        : QStringLiteral("outside 127.0.0.0/8"),
                                  address()));
            break;
        }
    }
}

void GatewayNode::moveTo(const QString& newAddress, const QString& from) {
    if (newAddress == from)
        return;
    // An address that another device uses is refused before anything is
    // closed: the gateway stays reachable where it was.
    const QString user = m_addressUser ? m_addressUser(this, newAddress) : QString();
    if (!user.isEmpty()) {
        stayAt(from);
        emit warning(QStringLiteral("gateway %1: refused to move to %2, which %3 already uses; "
                                    "it stays at %4")
                         .arg(m_spec.name, newAddress, user, from));
        return;
    }
    closeNetwork();
    if (!bindNetwork()) {
        const QString reason = m_error;
        closeNetwork();
        stayAt(from);
        if (!bindNetwork())
            emit warning(
                QStringLiteral("gateway %1: back at %2: %3").arg(m_spec.name, from, m_error));
        emit warning(QStringLiteral("gateway %1: refused to move to %2 (%3); it stays at %4")
                         .arg(m_spec.name, newAddress, reason, from));
        return;
    }
    emit notice(QStringLiteral("gateway %1 moved to %2").arg(m_spec.name, newAddress));
}

void GatewayNode::stayAt(const QString& oldAddress) {
    m_gateway.setAddress(toIpv4(oldAddress));
    SetupRecord r0 = m_gateway.record(0);
    r0.setIpv4(toIpv4(oldAddress));
    m_gateway.storeRecord(0, r0.bytes());
    m_gateway.adoptRecordSettings();
}

void GatewayNode::readMBusUdp() {
    while (m_mbusUdp && m_mbusUdp->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_mbusUdp->receiveDatagram(2048);
        if (m_gateway.isRestarting(simNowMs()))
            continue;
        TelegramCutter cutter;
        const QHostAddress to = d.senderAddress();
        const quint16 port = quint16(d.senderPort());
        for (const QByteArray& t : cutter.feed(d.data())) {
            QUdpSocket* socket = m_mbusUdp;
            playTelegram(t, networkBaud(), true, socket,
                         [socket, to, port](const QByteArray& answer) {
                             socket->writeDatagram(answer, to, port);
                         });
        }
    }
}

void GatewayNode::playTelegram(const QByteArray& telegram, int baud, bool gatewaySends,
                               QObject* context, std::function<void(const QByteArray&)> reply) {
    const int64_t now = simNowMs();
    const BusAnswer answer = m_bus.transact(telegram, baud);
    // What goes to the network leaves the gateway its forwarding time later.
    const int forward = gatewaySends ? m_spec.effectiveForwardDelayMs() : 0;
    if (!m_spec.lineTiming) {
        if (!answer.bytes.isEmpty())
            QTimer::singleShot(answer.delayMs + forward, context,
                               [reply, bytes = answer.bytes] { reply(bytes); });
        return;
    }
    // A request from the network goes out on the bus first; on the master
    // line it has just arrived. The meters answer after their reaction time
    // and the answer comes off the line as it is sent, the first byte after
    // its 11 bits, the rest in pieces. The line carries one thing at a time.
    int64_t requestEnd = std::max(now, m_busFreeAt);
    if (gatewaySends)
        requestEnd += SimBus::transmissionMs(telegram.size(), baud);
    if (answer.bytes.isEmpty()) {
        m_busFreeAt = requestEnd;
        return;
    }
    const int64_t answerStart = requestEnd + answer.delayMs;
    m_busFreeAt = answerStart + answer.transmitMs;
    playOnLine(answer.bytes, answerStart + forward - now, baud, context, std::move(reply));
}

void GatewayNode::sendModbusLineReply(const QByteArray& reply, qsizetype requestBytes) {
    const SerialLine& line = m_spec.modbus.line;
    const int bits = characterBits(line);
    const int baud = m_spec.lineTiming ? line.baud : 0;
    // The request is on the line until its last character has arrived; the
    // slave knows the frame has ended after 3.5 characters of silence, then
    // its reply takes its own time on the line. The line carries one thing
    // at a time.
    const int64_t now = simNowMs();
    const int64_t heard = std::max(now, m_modbusLineFreeAt) + lineMs(requestBytes, baud, bits);
    m_modbusLineFreeAt = heard;
    if (reply.isEmpty())
        return;
    const int64_t start = heard + (lineMs(7, baud, bits) + 1) / 2;
    m_modbusLineFreeAt = start + lineMs(reply.size(), baud, bits);
    QPointer<Pty> pty = m_modbusPty;
    playOnLine(
        reply, start - now, baud, m_modbusPty,
        [pty](const QByteArray& piece) {
            if (pty)
                pty->write(piece);
        },
        bits);
}

void GatewayNode::warnLineMismatch(const PtyLine& seen) {
    if (m_lineWarned)
        return;
    m_lineWarned = true;
    const QString parity =
        seen.parityHint ? QString(QLatin1Char(seen.parityHint)) : QStringLiteral("N or E");
    emit warning(QStringLiteral("gateway %1: Modbus request at %2 baud, parity %3, %4 stop "
                                "bit(s) not heard: the slave's line is %5")
                     .arg(m_spec.name)
                     .arg(seen.baud)
                     .arg(parity)
                     .arg(seen.stopBits)
                     .arg(m_spec.modbus.line.text()));
}

void GatewayNode::consoleInput(const QByteArray& bytes) {
    // The console runs at 9600 baud; at another speed its UART would see
    // nothing but framing errors.
    const int baud = m_consolePty ? m_consolePty->baudRate() : 0;
    if (baud != 0 && baud != kConsoleBaud)
        return;
    const ConsoleReply r = m_console.feed(bytes, simNowMs());
    if (!r.output.isEmpty() && m_consolePty)
        m_consolePty->write(r.output);
    handleEvents(r.events);
}

} // namespace kestrune::sim
