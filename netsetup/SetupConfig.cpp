#include "netsetup/SetupConfig.h"

#include "base/IniFile.h"

#include <algorithm>

namespace kestrune {

SetupConfig SetupConfig::fromIni(const IniFile& ini) {
    const QString section = QStringLiteral("IP");
    const auto number = [&](const char* key, int defaultValue, int low, int high) {
        const int64_t v =
            ini.readNumber(section, QLatin1String(key), QString::number(defaultValue));
        return static_cast<int>(std::clamp<int64_t>(v, low, high));
    };
    SetupConfig c;
    c.udpTimeout = number("UDPTimeOut", c.udpTimeout, 0, MaxTimeMs);
    c.serialTimeout = number("SerialTimeOut", c.serialTimeout, 0, MaxTimeMs);
    c.resetTimeout = number("ResetTimeOut", c.resetTimeout, 0, MaxTimeMs);
    c.rebootDhcpDelay = number("RebootDHCPDelay", c.rebootDhcpDelay, 0, MaxTimeMs);
    c.writeTimeout = number("WriteTimeOut", c.writeTimeout, 0, MaxTimeMs);
    c.scanTimeout = number("ScanTimeout", c.scanTimeout, 0, MaxTimeMs);
    c.numberOfPings = number("NumberOfPings", c.numberOfPings, 1, MaxPings);
    c.pingDelay = number("PingDelay", c.pingDelay, 0, MaxTimeMs);
    c.pingTimeout = number("PingTimeout", c.pingTimeout, 1, MaxTimeMs);
    const QString broadcast =
        ini.read(section, QStringLiteral("BroadcastAddress"), c.broadcastAddress).trimmed();
    if (!broadcast.isEmpty())
        c.broadcastAddress = broadcast;
    c.includeLoopback =
        ini.readNumber(section, QStringLiteral("IncludeLoopback"), QStringLiteral("0")) != 0;
    return c;
}

} // namespace kestrune
