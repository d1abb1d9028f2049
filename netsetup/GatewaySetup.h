#pragma once

#include "netsetup/RecordExchange.h"
#include "netsetup/SetupConfig.h"

#include <QObject>
#include <QString>

#include <optional>

namespace kestrune {

class Link;

// The gateway's channel settings as the device settings page shows them.
struct DeviceSettings {
    bool udp = true;
    int lineSpeed = 3; // list position 0..5 (300 .. 9600)
    QString port = QStringLiteral("10001");
    QString password;
};

// The security options of the device settings page.
struct SecuritySettings {
    bool enabled = false; // Check_SetupDevice_Security: password and record 1 are written
    bool allowTelnet = true;
    bool allow77FE = true;
};

// The gateway setup operations without windows: IP setup over the network
// (by MAC address) and over the serial console, the console connection, and
// reading and writing the device settings (records 0 and 1 of the program's
// eight setup records). What a page shows comes out as signals: the
// progress and result text of its information box, the header while the
// console is woken up, and texts for message boxes. Pages and the
// command-line tool show the same texts.
//
// Everything typed is checked before anything is sent; a check that fails
// gives a box and the operation returns false at once.
class GatewaySetup : public QObject {
    Q_OBJECT
public:
    struct IpSetupResult {
        bool ok = false;
        // DHCP: the page cannot learn the new address; the wizard goes on to
        // the device discovery page to find it.
        bool goToDiscovery = false;
    };

    // Serial settings of the console.
    static constexpr const char* ConsoleLine = "9600,N,8,1";

    explicit GatewaySetup(Link& link, QObject* parent = nullptr);

    void setConfig(const SetupConfig& config) { m_config = config; }
    const SetupConfig& config() const { return m_config; }
    // SelectedAdapterIP: where the network datagrams are sent from.
    void setAdapterAddress(const QString& address) { m_exchange.setAdapterAddress(address); }
    RecordExchange& exchange() { return m_exchange; }

    // The information text as it stands.
    const QString& info() const { return m_info; }
    bool isBusy() const { return m_busy; }

    // SetIpOverNetwork. ip "0.0.0.0" asks for DHCP; gateway and mask may be
    // empty, then the device keeps its own.
    IpSetupResult setIpOverNetwork(const QString& mac, const QString& ip, const QString& gateway,
                                   const QString& mask);

    // ConnectConsole: opens the serial device at 9600,N,8,1 and wakes the
    // console (ResetTimeOut). The port is closed again when cancelled.
    bool connectConsole(const QString& devicePath);
    // Whether the last connectConsole() could open the serial port.
    bool consolePortOpened() const { return m_consolePortOpened; }
    // Command_ConnectRS232AndDoSomething_Cancel: ends the console wake-up.
    void cancelConsole();

    // SetIpOverSerial: connects the console, reads record 0, shows the
    // current and the new settings, and writes record 0 with them.
    bool setIpOverSerial(const QString& devicePath, const QString& ip, const QString& gateway,
                         const QString& mask);

    // ReadDeviceSettings: record 0 from the device (over the network from
    // deviceAddress, or through the console already connected); on success
    // record 0 is reset to its factory contents keeping the user settings,
    // so that a later write sends factory values for every other byte.
    std::optional<DeviceSettings> readDeviceSettings(SetupMethod method,
                                                     const QString& deviceAddress);

    // WriteDeviceSettings: record 0 with the settings; with security on,
    // also the password and then record 1 (factory contents with the two
    // flags). Needs record 0 read first.
    bool writeDeviceSettings(SetupMethod method, const QString& deviceAddress,
                             const DeviceSettings& settings, const SecuritySettings& security);

    // The "Default" button: UDP, port 10001, 2400 baud. Nothing is sent.
    static DeviceSettings defaultDeviceSettings();

signals:
    void infoChanged(const QString& text);
    void headerChanged(const QString& text);
    void messageBox(const QString& text);
    // True while an operation runs: the page disables its buttons.
    void busyChanged(bool busy);

private:
    void show(const QString& text);
    void append(const QString& text);
    void appendLine(const QString& text);
    void setBusy(bool busy);
    // Failure text of the last exchange on a line of its own.
    void appendReason();
    QString settingsPairs(const QString& ip, const QString& gateway, const QString& mask) const;

    Link& m_link;
    RecordExchange m_exchange;
    SetupConfig m_config;
    QString m_info;
    bool m_busy = false;
    bool m_cancelled = false;
    bool m_consolePortOpened = false;
};

} // namespace kestrune
