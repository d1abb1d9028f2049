#pragma once

#include "base/IniFile.h"
#include "channel/Explain.h"
#include "channel/Link.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>
#include <vector>

// The frame of kestrune-cli: global options, the command table and the
// shared steps every command that talks to the bus takes (time-outs, the
// link, the traffic log). Commands do no protocol work of their own; they
// call the core and print what it returns.
namespace kestrune::cli {

// Exit codes, the same for every command.
enum ExitCode : int {
    ExitOk = 0,             // done; for send: a complete reply arrived
    ExitNoReply = 1,        // the device did not answer in time (the note says how)
    ExitBadInput = 2,       // unknown option or command, malformed value
    ExitLinkFailed = 3,     // the link could not be opened (also: host name unknown), or was lost
    ExitDeviceError = 4,    // the device answered with an error (exception, bad check)
    ExitSupportLibrary = 5, // the support library (libZarvek.so) could not be used
};

// The longest time-out or delay the options accept: one hour.
inline constexpr int MaxTimeMs = 3600 * 1000;

// A parsed "HOST:PORT" ("[v6]:PORT" for IPv6). The host is an address of one
// device (not a broadcast, multicast or wildcard address) or a host name.
struct HostPort {
    QString host;
    quint16 port = 0;
    bool isName = false; // host is a name still to be looked up
};
// Empty and error set when the text is not of that form.
std::optional<HostPort> parseHostPort(const QString& text, QString& error);

// The address a host name stands for (IPv4 preferred), held to the same
// rule as a literal address. Empty and error set when the name is unknown
// or stands for no single device.
std::optional<QString> resolveHostName(const QString& name, QString& error);

// Empty when address (a literal) is the address of one device; otherwise
// why it is not.
QString deviceAddressError(const QString& address);

// The INI sections whose time-outs a link can use: those the wizard's pages
// read (IP, ModBus, MBusASCII, PadPuls, FreePacketAndString) and any other
// the file holds. The name as the file or the wizard spells it, or empty
// when section matches none (letter case does not count).
QStringList timeoutSections(const QStringList& fileSections);
QString acceptedSection(const QString& section, const QStringList& accepted);

// A number from low to high written in decimal digits only (at most six).
std::optional<int> parseDecimal(const QString& text, int low, int high);

// A time in ms: decimal digits only, 0 to MaxTimeMs.
std::optional<int> parseMilliseconds(const QString& text, QString& error);

// "COMn" (any letter case) with n from 1 to 16: n; 0 for anything that is
// not of the COM form; -1 for a COM name outside 1..16.
int comPortNumber(const QString& text);

class Context;

// One command of the table.
struct Command {
    QString name;
    QString arguments; // as shown in the help: "HEX..."
    QString summary;
    // Options of this command only (added to the global ones).
    QList<QCommandLineOption> options;
    std::function<int(Context& context, const QStringList& arguments)> run;
    // Printed after the common help when the command is named with --help.
    QString details = {};
};

// Every command, in the order the help lists them.
const std::vector<Command>& commands();

// Runs the command line (arguments[0] is the program name) and returns the
// exit code. Results go to out, messages and the traffic log to err.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

// What a command gets: the parsed options and the two output streams.
class Context {
public:
    Context(QCommandLineParser& parser, QTextStream& out, QTextStream& err)
        : m_parser(parser), m_out(out), m_err(err) {}

    QCommandLineParser& parser() { return m_parser; }
    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }

    // What a command uses when --section or --line is not given (empty:
    // the global defaults, IP and 2400,E,8,1).
    void setDefaults(const QString& section, const QString& line) {
        m_defaultSection = section;
        m_defaultLine = line;
    }

    // Prints "kestrune-cli: message" to err and returns code.
    int fail(int code, const QString& message);

    // The link the connection options name, a host name looked up. Empty
    // (after a message on err) when none or more than one is given, a value
    // is malformed (exit code 2) or the host name is unknown (3).
    std::optional<LinkSettings> linkSettings();

    // The INI file --ini names, else the program's own. Empty (after a
    // message) when --ini names a file that cannot be read.
    std::optional<IniFile> iniFile();

    // Sets the link's bus delay and time-outs: the INI file's values of the
    // chosen section (--ini, --section), overridden by the time options.
    // False (after a message) when a value or the INI file is bad.
    bool applyTimeouts();

    // With --log: makes the traffic log active and prints every line it adds
    // to err as it is added. With --explain as well, every telegram gets a
    // line in words, read as the protocol the command speaks (or, for bytes
    // that do not fit it, as the one they fit).
    void startTrafficLog(TelegramProtocol protocol = TelegramProtocol::Unknown);

    // Opens the link: linkSettings(), applyTimeouts(), startTrafficLog(),
    // then the link itself. ExitOk, or the exit code after a message.
    int openLink(TelegramProtocol protocol = TelegramProtocol::Unknown);

    // Loads the language texts the results are worded in: the user's
    // stored choice, else the first language file in the program folder.
    // Without any, a warning goes to err (texts then show their numbers).
    void loadTexts();

private:
    QCommandLineParser& m_parser;
    QTextStream& m_out;
    QTextStream& m_err;
    int m_lastFailure = ExitBadInput; // exit code of linkSettings()' refusal
    QString m_defaultSection;
    QString m_defaultLine;
};

} // namespace kestrune::cli
