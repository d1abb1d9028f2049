#pragma once

#include "netsetup/DeviceList.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUdpSocket>

namespace kestrune {

class Link;

// The MAC address of a device on the local network from the kernel's
// neighbour table (ResolveMac): a small datagram to the device's discard
// port makes the kernel resolve the address, then the table is read until
// the entry is complete or timeoutMs have passed (in an event-loop wait,
// looking every 50 ms). Loopback addresses have no hardware address.
bool resolveMac(Link& link, const QString& ip, const QString& fromAddress, MacAddress& mac,
                int timeoutMs = 1000);

// Device discovery (ScanDevices): one discovery request to the broadcast
// address's setup port, sent from the chosen adapter's address; every reply
// becomes a row of the device list at once (deviceFound). The scan ends when
// no device has answered for the scan time-out. Then each device of a known
// family is looked up in the neighbour table (deviceChecked).
//
// The scan is bounded: it lists at most MaxDevices rows (a repeated reply
// from the same address and MAC address is no new row) and ends after
// MaxScanMs however chatty the network is.
class DeviceScan : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxDevices = 1000;
    static constexpr int MaxScanMs = 120 * 1000;
    static constexpr int NeighbourCheckMs = 1000;

    explicit DeviceScan(Link& link, QObject* parent = nullptr);

    void setAdapterAddress(const QString& address) { m_adapter = address; }
    // Whether the neighbour-table check runs after the replies (default on).
    void setCheckNeighbours(bool check) { m_checkNeighbours = check; }

    // Runs the scan; false when the request could not be sent (a box said
    // why), the list then stays empty.
    bool scan(const QString& broadcastAddress, int scanTimeoutMs);

    const QList<DiscoveredDevice>& devices() const { return m_devices; }
    // The result text with the number of devices found.
    QString resultText() const;

signals:
    void infoChanged(const QString& text);
    void deviceFound(int row, const DiscoveredDevice& device);
    void deviceChecked(int row, const DiscoveredDevice& device);
    void messageBox(const QString& text);

private:
    void onDatagrams();
    void reportSendError(const QString& description);

    Link& m_link;
    QUdpSocket m_socket;
    QString m_adapter;
    bool m_checkNeighbours = true;
    QList<DiscoveredDevice> m_devices;
    // Replies since the scan started; each one restarts the idle time.
    int m_replies = 0;
    bool m_sending = false;
};

} // namespace kestrune
