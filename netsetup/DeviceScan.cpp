#include "netsetup/DeviceScan.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "channel/TrafficLog.h"
#include "netsetup/NeighbourTable.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupTexts.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkDatagram>

#include <algorithm>

namespace kestrune {

using namespace setuptext;

namespace {

constexpr quint16 kDiscardPort = 9;
constexpr int kNeighbourPollMs = 50;
constexpr qint64 kNeighbourTableLimit = 4 * 1024 * 1024;

QByteArray readNeighbourTable() {
    QFile f(QStringLiteral("/proc/net/arp"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(kNeighbourTableLimit);
}

} // namespace

bool resolveMac(Link& link, const QString& ip, const QString& fromAddress, MacAddress& mac,
                int timeoutMs) {
    Ipv4Address address{};
    if (!parseIpv4(ip, address) || isLoopback(address) || isZero(address))
        return false;
    {
        QUdpSocket probe;
        QHostAddress local;
        if (!local.setAddress(fromAddress) || !probe.bind(local, 0))
            probe.bind(QHostAddress::AnyIPv4, 0);
        probe.writeDatagram(QByteArray(1, '\0'), QHostAddress(ip), kDiscardPort);
    }
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (;;) {
        if (const std::optional<MacAddress> found = findNeighbour(readNeighbourTable(), address)) {
            mac = *found;
            return true;
        }
        if (deadline.hasExpired())
            return false;
        link.pause(static_cast<int>(std::min<qint64>(kNeighbourPollMs, deadline.remainingTime())));
    }
}

DeviceScan::DeviceScan(Link& link, QObject* parent) : QObject(parent), m_link(link) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &DeviceScan::onDatagrams);
}

void DeviceScan::reportSendError(const QString& description) {
    emit messageBox(getText(TextSendFailed) + QStringLiteral("\r\n\r\n'") + description +
                    QLatin1Char('\''));
}

QString DeviceScan::resultText() const {
    if (m_devices.isEmpty())
        return getText(TextNoDeviceFound);
    return getText(TextDevicesFound) + QLatin1Char(' ') + QString::number(m_devices.size());
}

bool DeviceScan::scan(const QString& broadcastAddress, int scanTimeoutMs) {
    emit infoChanged(getText(TextSearching));
    m_devices.clear();
    m_replies = 0;
    m_socket.abort();

    QHostAddress local;
    QHostAddress to;
    QString error;
    if (!local.setAddress(m_adapter.trimmed()) || local.protocol() != QAbstractSocket::IPv4Protocol)
        error = getText(TextNoAdapterChosen);
    else if (!m_socket.bind(local, 0))
        error = m_socket.errorString();
    else if (!to.setAddress(broadcastAddress.trimmed()))
        error = QStringLiteral("'%1' is not an IPv4 address").arg(broadcastAddress);
    if (error.isEmpty()) {
        const QByteArray request = discoveryRequest();
        logTraffic(request, Direction::Sent);
        m_sending = true;
        if (m_socket.writeDatagram(request, to, kSetupPort) != request.size())
            error = m_socket.errorString();
        m_sending = false;
    }
    if (!error.isEmpty()) {
        m_socket.abort();
        reportSendError(error);
        emit infoChanged(resultText());
        return false;
    }

    // Until nobody has answered for the scan time-out.
    const QDeadlineTimer limit(MaxScanMs);
    for (;;) {
        const int seen = m_replies;
        const int idle = static_cast<int>(std::min<qint64>(scanTimeoutMs, limit.remainingTime()));
        m_link.waitFor([this, seen] { return m_replies != seen; }, idle);
        if (m_replies == seen || limit.hasExpired() || m_devices.size() >= MaxDevices)
            break;
    }
    m_socket.abort();

    if (m_checkNeighbours && !m_devices.isEmpty()) {
        emit infoChanged(getText(TextCheckingDevices));
        for (int row = 0; row < m_devices.size(); ++row) {
            DiscoveredDevice& d = m_devices[row];
            MacAddress mac{};
            const bool resolved = d.kind != DeviceKind::Unknown &&
                                  resolveMac(m_link, d.ip, m_adapter, mac, NeighbourCheckMs);
            setReachability(d, resolved);
            emit deviceChecked(row, d);
        }
    }
    emit infoChanged(resultText());
    return true;
}

void DeviceScan::onDatagrams() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram(64 * 1024);
        if (!d.isValid())
            continue;
        ++m_replies;
        logTraffic(d.data(), Direction::Received);
        if (m_devices.size() >= MaxDevices)
            continue;
        QHostAddress sender = d.senderAddress();
        bool isV4 = false;
        const quint32 v4 = sender.toIPv4Address(&isV4);
        if (isV4)
            sender = QHostAddress(v4);
        DiscoveredDevice device = deviceFromReply(d.data(), sender.toString());
        const bool repeated =
            std::any_of(m_devices.cbegin(), m_devices.cend(), [&device](const DiscoveredDevice& o) {
                return o.ip == device.ip && o.mac == device.mac;
            });
        if (repeated)
            continue;
        m_devices.append(device);
        emit deviceFound(static_cast<int>(m_devices.size() - 1), device);
    }
    m_link.wakeWaiters();
}

} // namespace kestrune
