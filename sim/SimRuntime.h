#pragma once

#include "sim/SimInstallation.h"

#include <QList>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace kestrune::sim {

class GatewayNode;
class TerminationWatcher;

// The running simulator: one GatewayNode per gateway of the installation,
// the discovery listener that hands every datagram it receives to every
// gateway, and an optional control port for test clients.
class SimRuntime : public QObject {
    Q_OBJECT
public:
    explicit SimRuntime(QObject* parent = nullptr);
    ~SimRuntime() override;

    // Sets everything up and prints what is served. False with error when
    // something can't be bound or opened (what was set up is closed again).
    bool start(const Installation& installation, const QString& runFolder, QString& error);
    // Closes every socket and pseudo-terminal and removes the links.
    void stop();

    const QList<GatewayNode*>& nodes() const { return m_nodes; }
    GatewayNode* node(const QString& name) const;

    // One control command ("modbus gw1 fault crc"); the reply text.
    QString command(const QString& line);

private:
    void readDiscovery();
    void readControl();
    QString meterCommand(const QStringList& words);
    QString freeAddress(const GatewayNode* asking) const;
    // Who uses an address besides the asking gateway: "gateway NAME" or
    // "the discovery listener"; empty when nobody.
    QString addressUser(const GatewayNode* asking, const QString& address) const;

    Installation m_installation;
    QList<GatewayNode*> m_nodes;
    QUdpSocket* m_listener = nullptr;
    QUdpSocket* m_control = nullptr;
};

// Whether this process runs in a private network namespace, one made with
// "ip netns add" (kept in /run/netns) and not the one of process 1, where
// addresses outside loopback reach nobody else. False when that cannot be
// told.
bool inPrivateNetworkNamespace();

// The program: options, installation file, serving until SIGINT/SIGTERM.
// Exit codes: 0 after a clean stop, 1 when something can't be set up, 2 for
// bad options or a bad installation file.
int runSimulator(int argc, char** argv);

} // namespace kestrune::sim
