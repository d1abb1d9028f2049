#pragma once

#include "cli/CliContext.h"
#include "netsetup/SetupConfig.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// What the gateway setup commands (discover, record, ip-setup, ping) share:
// the language texts, the INI's setup settings, the adapter to send from,
// and how texts and JSON are printed.
namespace kestrune::cli {

// Options of these commands.
QCommandLineOption jsonOption();
QCommandLineOption adapterOption();
QCommandLineOption broadcastOption();

// The texts the wizard shows: the user's language if one is chosen, else
// the English file in the program folder or beside this program.
void loadSetupTexts();

// [IP] of the INI file (--ini or the program's), with --broadcast applied
// for the commands that have it. Empty (after a message) when the INI can't
// be read or --broadcast is no IPv4 address.
std::optional<SetupConfig> setupConfig(Context& context, bool hasBroadcastOption = false);

// The local address to send from: --adapter, else the only usable network
// adapter (loopback counts with [IP] IncludeLoopback=1). Empty, after a
// message naming the choices, when there is none or several. The exit code
// to return is set.
std::optional<QString> adapterAddress(Context& context, const SetupConfig& config, int& exitCode);

// Turns a growing information text into printed lines: what was appended
// since the last call goes to err, and only when err is a terminal.
class ProgressPrinter {
public:
    explicit ProgressPrinter(Context& context);
    void update(const QString& text);
    void finish();

private:
    Context& m_context;
    bool m_terminal = false;
    QString m_shown;
};

// Windows line breaks of the texts as plain line ends.
QString plainText(const QString& text);

// A text the wizard shows in a message box, on err.
void printBox(Context& context, const QString& text);

// Shows what an operation (GatewaySetup, DeviceScan) reports: its boxes on
// err, its growing information text as progress.
template <typename Operation>
void reportTo(Context& context, Operation& operation, ProgressPrinter& progress) {
    QObject::connect(&operation, &Operation::messageBox, &operation,
                     [&context](const QString& text) { printBox(context, text); });
    QObject::connect(&operation, &Operation::infoChanged, &operation,
                     [&progress](const QString& text) { progress.update(text); });
}

// One JSON object on one line of out.
void printJson(Context& context, const QJsonObject& object);

} // namespace kestrune::cli
