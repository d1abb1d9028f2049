#pragma once

// Stand-ins for the device at the far end of the link: a UDP gateway port, a
// TCP gateway port and a serial device on a pseudo-terminal, all inside the
// test process and on loopback only. The tests and the benchmark talk to
// them only through Peer, so another implementation (the gateway simulator)
// can take their place.

#include "channel/Link.h"

#include <QNetworkDatagram>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kestrune::testpeer {

class Peer : public QObject {
public:
    // Called with every chunk the peer receives; what it returns is
    // written back at once (nothing when empty).
    using Responder = std::function<QByteArray(const QByteArray& chunk)>;

    ~Peer() override = default;

    // How the link reaches this peer.
    virtual LinkSettings linkSettings() const = 0;
    // Writes bytes towards the link.
    virtual void write(const QByteArray& bytes) = 0;
    // The far end goes away: the TCP peer closes the connection, the
    // serial device disappears, the UDP port stops listening.
    virtual void drop() = 0;
    // Whether the peer is ready (sockets bound, pseudo-terminal created).
    virtual bool isValid() const = 0;

    void setResponder(Responder responder) { m_responder = std::move(responder); }

    // Everything received from the link so far.
    QByteArray received;

protected:
    void deliver(const QByteArray& bytes) {
        received += bytes;
        if (m_responder) {
            const QByteArray reply = m_responder(bytes);
            if (!reply.isEmpty())
                write(reply);
        }
    }

private:
    Responder m_responder;
};

class UdpPeer : public Peer {
public:
    UdpPeer() {
        m_bound = m_socket.bind(QHostAddress::LocalHost, 0);
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                m_sender = d.senderAddress();
                m_senderPort = static_cast<quint16>(d.senderPort());
                deliver(d.data());
            }
        });
    }
    LinkSettings linkSettings() const override {
        LinkSettings s;
        s.mode = ConnectionMode::Udp;
        s.host = QStringLiteral("127.0.0.1");
        s.port = m_socket.localPort();
        return s;
    }
    // Answers whoever sent the last datagram.
    void write(const QByteArray& bytes) override {
        if (m_senderPort != 0)
            m_socket.writeDatagram(bytes, m_sender, m_senderPort);
    }
    void drop() override { m_socket.close(); }
    bool isValid() const override { return m_bound; }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
    QHostAddress m_sender;
    quint16 m_senderPort = 0;
};

class TcpPeer : public Peer {
public:
    TcpPeer() {
        m_listening = m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                m_client = s;
                // A gateway writes each piece as it has it.
                s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { deliver(s->readAll()); });
            }
        });
    }
    LinkSettings linkSettings() const override {
        LinkSettings s;
        s.mode = ConnectionMode::Tcp;
        s.host = QStringLiteral("127.0.0.1");
        s.port = m_server.serverPort();
        return s;
    }
    void write(const QByteArray& bytes) override {
        if (m_client) {
            m_client->write(bytes);
            m_client->flush();
        }
    }
    // Closes the connection; the server keeps listening for the next one.
    void drop() override {
        if (m_client)
            m_client->close();
    }
    bool isValid() const override { return m_listening; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    bool m_listening = false;
};

// A pseudo-terminal: the link opens its slave side as a serial device, the
// peer reads and writes the master side. The peer keeps a slave descriptor
// of its own open, raw, so that the master never sees a hang-up between two
// opens by the link.
class PtyPeer : public Peer {
public:
    PtyPeer() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        const char* name = ::ptsname(m_master);
        if (!name)
            return;
        m_path = QString::fromLocal8Bit(name);
        m_holder = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_holder < 0)
            return;
        termios tio{};
        if (::tcgetattr(m_holder, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_holder, TCSANOW, &tio);
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readMaster(); });
        m_flushTimer.setSingleShot(true);
        m_flushTimer.setInterval(1);
        connect(&m_flushTimer, &QTimer::timeout, this, [this] { flushPending(); });
    }
    ~PtyPeer() override { closeAll(); }

    const QString& path() const { return m_path; }

    LinkSettings linkSettings() const override {
        LinkSettings s;
        s.mode = ConnectionMode::Serial;
        s.serialDevice = m_path;
        s.lineSettings = QStringLiteral("2400,E,8,1");
        return s;
    }
    void write(const QByteArray& bytes) override {
        m_pending += bytes;
        flushPending();
    }
    // The device disappears: both ends of the pseudo-terminal close.
    void drop() override { closeAll(); }
    bool isValid() const override { return m_master >= 0 && m_holder >= 0; }

private:
    void readMaster() {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                deliver(QByteArray(buf, static_cast<qsizetype>(n)));
                continue;
            }
            break;
        }
    }
    void flushPending() {
        while (!m_pending.isEmpty() && m_master >= 0) {
            const ssize_t n =
                ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
            if (n > 0) {
                m_pending.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            m_flushTimer.start(); // the terminal's queue is full: later
            return;
        }
    }
    void closeAll() {
        m_notifier.reset();
        m_flushTimer.stop();
        if (m_holder >= 0)
            ::close(m_holder);
        if (m_master >= 0)
            ::close(m_master);
        m_holder = m_master = -1;
    }

    int m_master = -1;
    int m_holder = -1;
    QString m_path;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_pending;
    QTimer m_flushTimer;
};

inline std::unique_ptr<Peer> makePeer(const QString& transport) {
    if (transport == QLatin1String("udp"))
        return std::make_unique<UdpPeer>();
    if (transport == QLatin1String("tcp"))
        return std::make_unique<TcpPeer>();
    if (transport == QLatin1String("pty"))
        return std::make_unique<PtyPeer>();
    return nullptr;
}

} // namespace kestrune::testpeer
