#pragma once

// Language texts of the gateway setup, the discovery and the ping, by role.
// The wizard pages and the command-line tool show the same texts.
namespace kestrune::setuptext {

// Shared with the link and the pages.
constexpr int TextAnswered = 150;         // device list "Info": the device answered
constexpr int TextSetupSocketError = 152; // box: error on the setup socket
constexpr int TextConsoleWait = 153;      // header while the console is woken up
constexpr int TextSendFailed = 154;       // box: a datagram could not be sent
constexpr int TextPortNotOpened = 158;    // the serial port could not be opened
constexpr int TextReachable = 186;        // device list "Info": the address check succeeded
constexpr int TextUnknownFamily = 264;    // device list "Type" of an unknown vendor prefix
constexpr int TextMs = 740;               // "ms"

// Discovery and adapters.
constexpr int TextSearching = 240;
constexpr int TextDevicesFound = 241;
constexpr int TextNotReachable = 242;
constexpr int TextNoDeviceFound = 243;
constexpr int TextCheckingDevices = 244;
constexpr int TextNoAdapterChosen = 245;

// Checks of what the user typed.
constexpr int TextBadMac = 246;
constexpr int TextBadIp = 247;
constexpr int TextBadMask = 248;
constexpr int TextBadPort = 249;

// IP setup over the network.
constexpr int TextIpSetupSending = 250;
constexpr int TextIpSetupWaiting = 251;
constexpr int TextIpSetupAnswered = 252;
constexpr int TextIpSetupMaskWritten = 253;
constexpr int TextIpSetupMaskFailed = 254;
constexpr int TextIpSetupNoAnswer = 255;
constexpr int TextDhcpWaiting = 256;
constexpr int TextDhcpDone = 257;

// Why a record exchange failed.
constexpr int TextNoReply = 258;
constexpr int TextShortReply = 259;
constexpr int TextWrongReply = 260;
constexpr int TextNotAcknowledged = 261;
constexpr int TextNoComeback = 262;
constexpr int TextConsoleRejected = 263;
constexpr int TextConsoleNotOpen = 265;

// The serial console.
constexpr int TextConsoleOpening = 266;
constexpr int TextConsoleConnected = 267;
constexpr int TextConsoleNoAnswer = 268;
constexpr int TextCancelled = 269;

// Reading and writing the gateway's settings.
constexpr int TextReadingSettings = 270;
constexpr int TextCurrentSettings = 271;
constexpr int TextNewSettings = 272;
constexpr int TextLabelIp = 273; // 273 IP address, 274 gateway, 275 subnet mask
constexpr int TextLabelGateway = 274;
constexpr int TextLabelMask = 275;
constexpr int TextWritingSettings = 276;
constexpr int TextSettingsWritten = 277;
constexpr int TextSettingsNotWritten = 278;
constexpr int TextSettingsNotRead = 279;
constexpr int TextSettingsRead = 280;
constexpr int TextWritingSecurity = 281;
constexpr int TextSecurityNotWritten = 282;
constexpr int TextNothingToWrite = 284;

// Ping.
constexpr int TextPing = 290;
constexpr int TextPingAnswer = 291;
constexpr int TextPingNoAnswer = 292;
constexpr int TextPingImpossible = 293;
constexpr int TextPingStart = 294;

} // namespace kestrune::setuptext
