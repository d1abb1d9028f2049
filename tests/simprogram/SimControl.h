// The simulator's control port: one text command a datagram on 127.0.0.1,
// answered "ok" or "error: ...". Tests that include this link Qt6::Network.
#pragma once

#include "tests/simprogram/SimProcess.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace simproc {

// Sends the command and returns the answer, or nothing after ms.
inline QByteArray control(quint16 port, const QByteArray& command, int ms = 1500) {
    const QHostAddress local(QStringLiteral("127.0.0.1"));
    QUdpSocket socket;
    if (!socket.bind(local, 0))
        return {};
    socket.writeDatagram(command, local, port);
    QByteArray got;
    waitUntil(
        &socket, &QUdpSocket::readyRead,
        [&] {
            while (socket.hasPendingDatagrams())
                got += socket.receiveDatagram(512).data();
            return !got.isEmpty();
        },
        ms);
    return got;
}

} // namespace simproc
