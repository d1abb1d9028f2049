#include "netsetup/GatewaySetup.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "netsetup/InputCheck.h"
#include "netsetup/SetupDatagram.h"
#include "netsetup/SetupRecords.h"
#include "netsetup/SetupTexts.h"

#include <QElapsedTimer>

#include <algorithm>
#include <functional>

namespace kestrune {

using namespace setuptext;

namespace {

const QString LineBreak = QStringLiteral("\r\n");

// Marks the operation running for as long as it is in scope.
class BusyScope {
public:
    explicit BusyScope(const std::function<void(bool)>& set) : m_set(set) { m_set(true); }
    ~BusyScope() { m_set(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::function<void(bool)> m_set;
};

} // namespace

GatewaySetup::GatewaySetup(Link& link, QObject* parent)
    : QObject(parent), m_link(link), m_exchange(link) {
    connect(&m_exchange, &RecordExchange::messageBox, this, &GatewaySetup::messageBox);
    m_exchange.setConsoleHeaderSink([this](const QString& header) { emit headerChanged(header); });
}

void GatewaySetup::show(const QString& text) {
    m_info = text;
    emit infoChanged(m_info);
}

void GatewaySetup::append(const QString& text) {
    m_info += text;
    emit infoChanged(m_info);
}

void GatewaySetup::appendLine(const QString& text) {
    append(m_info.isEmpty() ? text : LineBreak + text);
}

void GatewaySetup::appendReason() {
    const QString reason = exchangeFailureText(m_exchange.lastFailure());
    if (!reason.isEmpty())
        appendLine(reason);
}

void GatewaySetup::setBusy(bool busy) {
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

QString GatewaySetup::settingsPairs(const QString& ip, const QString& gateway,
                                    const QString& mask) const {
    const QString sep = QStringLiteral(": ");
    return getText(TextLabelIp) + sep + ip + QStringLiteral(", ") + getText(TextLabelGateway) +
           sep + gateway + QStringLiteral(", ") + getText(TextLabelMask) + sep + mask;
}

DeviceSettings GatewaySetup::defaultDeviceSettings() {
    DeviceSettings s;
    s.udp = true;
    s.port = QStringLiteral("10001");
    s.lineSpeed = 3;
    return s;
}

// ---- IP setup over the network ---------------------------------------------------------

GatewaySetup::IpSetupResult GatewaySetup::setIpOverNetwork(const QString& mac, const QString& ip,
                                                           const QString& gateway,
                                                           const QString& mask) {
    IpSetupResult result;
    QString message;
    const std::optional<MacAddress> macAddress = checkMacAddress(mac, message);
    const std::optional<Ipv4Address> address =
        macAddress ? checkDeviceAddress(ip, message) : std::nullopt;
    if (!address) {
        emit messageBox(message);
        return result;
    }
    const bool dhcp = isZero(*address);
    // Gateway and mask matter only for a fixed address; empty: keep the
    // device's own.
    if (!dhcp && ((!gateway.trimmed().isEmpty() && !checkAddress(gateway, message)) ||
                  (!mask.trimmed().isEmpty() && !checkNetMask(mask, message)))) {
        emit messageBox(message);
        return result;
    }

    BusyScope busy([this](bool b) { setBusy(b); });
    show(getText(TextIpSetupSending) + QLatin1Char(' ') + macText(*macAddress) + QLatin1Char('.'));
    if (!m_exchange.broadcast(buildIpSetup(*macAddress, *address), m_config.broadcastAddress)) {
        appendReason();
        return result;
    }
    // The gateway restarts with its new address.
    m_link.pause(RecordExchange::RestartPauseMs);

    if (dhcp) {
        appendLine(getText(TextDhcpWaiting));
        for (int waited = 0; waited < m_config.rebootDhcpDelay; waited += 1000) {
            m_link.pause(std::min(1000, m_config.rebootDhcpDelay - waited));
            append(QStringLiteral("."));
        }
        appendLine(getText(TextDhcpDone));
        result.ok = true;
        result.goToDiscovery = true;
        return result;
    }

    const QString newAddress = ipv4Text(*address);
    appendLine(getText(TextIpSetupWaiting) + QLatin1Char(' ') + newAddress);
    SetupRecord& record0 = setupRecord(0);
    bool answered = false;
    // One read a round; a read that fails early (the address not reachable
    // yet) still takes its round, so the loop is bounded in time and count.
    const int round = std::max(m_config.udpTimeout, 100);
    for (int spent = 0; !answered && spent < m_config.resetTimeout; spent += round) {
        append(QStringLiteral("."));
        QElapsedTimer clock;
        clock.start();
        answered =
            m_exchange.readRecord(record0, SetupMethod::Network, newAddress, m_config.udpTimeout);
        if (!answered && clock.elapsed() < round)
            m_link.pause(static_cast<int>(round - clock.elapsed()));
    }
    if (!answered) {
        appendLine(getText(TextIpSetupNoAnswer));
        return result;
    }
    appendLine(getText(TextIpSetupAnswered));
    const bool newGateway = !gateway.trimmed().isEmpty();
    const bool newMask = !mask.trimmed().isEmpty();
    if (!newGateway && !newMask) {
        result.ok = true;
        return result;
    }
    if (newGateway)
        record0.setGateway(gateway);
    if (newMask)
        record0.setNetMask(mask);
    result.ok =
        m_exchange.writeRecord(record0, SetupMethod::Network, newAddress, m_config.resetTimeout);
    append(QLatin1Char(' ') + getText(result.ok ? TextIpSetupMaskWritten : TextIpSetupMaskFailed));
    if (!result.ok)
        appendReason();
    return result;
}

// ---- The serial console ---------------------------------------------------------------

bool GatewaySetup::connectConsole(const QString& devicePath) {
    m_cancelled = false;
    show(getText(TextConsoleOpening) + QLatin1Char(' ') + devicePath);
    m_consolePortOpened = m_link.openSerialDevice(devicePath, QLatin1String(ConsoleLine));
    if (!m_consolePortOpened) {
        appendLine(getText(TextPortNotOpened));
        if (!m_link.connectionError().isEmpty())
            appendLine(m_link.connectionError());
        return false;
    }
    if (const QString note = m_link.lineSettingsNote(); !note.isEmpty())
        appendLine(note);
    appendLine(getText(TextConsoleWait));
    const bool awake = m_link.waitForConsolePrompt(
        m_config.resetTimeout, [this](const QString& header) { emit headerChanged(header); });
    if (awake) {
        appendLine(getText(TextConsoleConnected));
        return true;
    }
    if (m_cancelled) {
        m_link.closeSerialPort();
        appendLine(getText(TextCancelled));
    } else {
        appendLine(getText(TextConsoleNoAnswer));
    }
    return false;
}

void GatewaySetup::cancelConsole() {
    m_cancelled = true;
    m_link.requestAbort();
}

bool GatewaySetup::setIpOverSerial(const QString& devicePath, const QString& ip,
                                   const QString& gateway, const QString& mask) {
    QString message;
    if (!checkDeviceAddress(ip, message) ||
        (!gateway.trimmed().isEmpty() && !checkAddress(gateway, message)) ||
        (!mask.trimmed().isEmpty() && !checkNetMask(mask, message))) {
        emit messageBox(message);
        return false;
    }
    BusyScope busy([this](bool b) { setBusy(b); });
    if (!connectConsole(devicePath))
        return false;
    appendLine(getText(TextReadingSettings));
    SetupRecord& record0 = setupRecord(0);
    if (!m_exchange.readRecord(record0, SetupMethod::Serial, {}, m_config.serialTimeout)) {
        appendLine(getText(TextSettingsNotRead));
        appendReason();
        return false;
    }
    appendLine(getText(TextCurrentSettings) + QStringLiteral(": ") +
               settingsPairs(record0.ipAddress(), record0.gateway(), record0.netMask()));
    record0.setIpAddress(ip);
    if (!gateway.trimmed().isEmpty())
        record0.setGateway(gateway);
    if (!mask.trimmed().isEmpty())
        record0.setNetMask(mask);
    appendLine(getText(TextNewSettings) + QStringLiteral(": ") +
               settingsPairs(record0.ipAddress(), record0.gateway(), record0.netMask()));
    appendLine(getText(TextWritingSettings));
    const bool ok = m_exchange.writeRecord(record0, SetupMethod::Serial, {}, m_config.resetTimeout);
    appendLine(getText(ok ? TextSettingsWritten : TextSettingsNotWritten));
    if (!ok)
        appendReason();
    return ok;
}

// ---- Device settings ---------------------------------------------------------------------

std::optional<DeviceSettings> GatewaySetup::readDeviceSettings(SetupMethod method,
                                                               const QString& deviceAddress) {
    BusyScope busy([this](bool b) { setBusy(b); });
    show(getText(TextReadingSettings));
    SetupRecord& record0 = setupRecord(0);
    const int timeout =
        method == SetupMethod::Network ? m_config.udpTimeout : m_config.serialTimeout;
    if (!m_exchange.readRecord(record0, method, deviceAddress, timeout)) {
        show(getText(TextSettingsNotRead));
        appendReason();
        return std::nullopt;
    }
    record0.restoreDefaults(true);
    DeviceSettings s;
    s.udp = record0.isUsingUdp();
    s.lineSpeed = record0.lineSpeed();
    s.port = record0.ipPort();
    s.password = record0.telnetPassword();
    show(getText(TextSettingsRead));
    return s;
}

bool GatewaySetup::writeDeviceSettings(SetupMethod method, const QString& deviceAddress,
                                       const DeviceSettings& settings,
                                       const SecuritySettings& security) {
    QString message;
    if (!checkPort(settings.port, message)) {
        emit messageBox(message);
        return false;
    }
    BusyScope busy([this](bool b) { setBusy(b); });
    SetupRecord& record0 = setupRecord(0);
    show(getText(TextWritingSettings));
    record0.setIpPort(settings.port);
    record0.setLineSpeed(settings.lineSpeed);
    record0.setUsingUdp(settings.udp);
    if (security.enabled)
        record0.setTelnetPassword(settings.password);
    if (!m_exchange.writeRecord(record0, method, deviceAddress, m_config.writeTimeout)) {
        appendLine(getText(TextSettingsNotWritten));
        appendReason();
        return false;
    }
    if (security.enabled) {
        appendLine(getText(TextWritingSecurity));
        SetupRecord& record1 = setupRecord(1);
        record1.restoreDefaults(false);
        record1.setAllow77FE(security.allow77FE);
        record1.setAllowTelnet(security.allowTelnet);
        bool ok = m_exchange.writeRecord(record1, method, deviceAddress, m_config.writeTimeout);
        // A gateway told not to take setup through its setup port any more
        // cannot be asked over the network whether it came back: its
        // acknowledgement is all there is.
        if (!ok && method == SetupMethod::Network && !security.allow77FE &&
            m_exchange.lastWriteAcknowledged())
            ok = true;
        if (!ok) {
            appendLine(getText(TextSecurityNotWritten));
            appendReason();
            return false;
        }
    }
    appendLine(getText(TextSettingsWritten));
    return true;
}

} // namespace kestrune
