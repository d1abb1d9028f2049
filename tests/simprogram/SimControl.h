// The simulator's control port: one text command a datagram on 127.0.0.1,
// answered "ok" or "error: ...". Tests that include this link Qt6::Network.
#pragma once

#include "tests/simprogram/SimProcess.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace simproc {

// Sends one datagram from 127.0.0.1 to host:port and returns what came back
// (the datagrams of the first moment something came), or nothing after ms.
inline QByteArray udpExchange(const QByteArray& request, const QString& host, quint16 port,
                              int ms = 1500) {
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return {};
    socket.writeDatagram(request, QHostAddress(host), port);
    QByteArray got;
    waitUntil(
        &socket, &QUdpSocket::readyRead,
        [&] {
            while (socket.hasPendingDatagrams())
                got += socket.receiveDatagram(4096).data();
            return !got.isEmpty();
        },
        ms);
    return got;
}

// Sends a command to the control port and returns the answer, or nothing
// after ms.
inline QByteArray control(quint16 port, const QByteArray& command, int ms = 1500) {
    return udpExchange(command, QStringLiteral("127.0.0.1"), port, ms);
}

} // namespace simproc
