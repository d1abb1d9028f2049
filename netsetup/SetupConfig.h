#pragma once

#include <QString>

namespace kestrune {

class IniFile;

// The INI file's settings of the gateway setup, the discovery and the ping
// (section "IP"). Times in milliseconds; every value is limited to a sane
// range so that a hand-edited file cannot make a wait or a send loop run
// without end.
struct SetupConfig {
    static constexpr int MaxTimeMs = 3600 * 1000;
    static constexpr int MaxPings = 100;

    int udpTimeout = 1000;       // UDPTimeOut: one network record read
    int serialTimeout = 1000;    // SerialTimeOut: one console record read
    int resetTimeout = 10000;    // ResetTimeOut: restart, console prompt, record writes
    int rebootDhcpDelay = 10000; // RebootDHCPDelay: wait after an IP setup with DHCP
    int writeTimeout = 15000;    // WriteTimeOut: writes of the device settings page
    int scanTimeout = 1000;      // ScanTimeout: discovery ends this long after the last reply
    int numberOfPings = 4;       // NumberOfPings (1..100)
    int pingDelay = 500;         // PingDelay: pause between two pings
    int pingTimeout = 1000;      // PingTimeout: wait for one echo reply
    // Where discovery and IP-SETUP are sent (BroadcastAddress).
    QString broadcastAddress = QStringLiteral("255.255.255.255");
    // Whether loopback interfaces count as network adapters (IncludeLoopback).
    bool includeLoopback = false;

    static SetupConfig fromIni(const IniFile& ini);
};

} // namespace kestrune
