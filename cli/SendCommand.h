#pragma once

#include "cli/CliContext.h"

#include <QByteArray>

namespace kestrune::cli {

// send HEX...: opens the link, sends the bytes (bus delay, log), waits for a
// complete M-Bus reply and prints it as hexadecimal pairs (exit 0), or the
// time-out note of the link (exit 1).
Command sendCommand();

// The bytes of the hexadecimal arguments ("10 5B FE 59 16", "105BFE5916",
// "10-5B" ...). Empty and error set for an odd digit count, a non-hex
// character, or no bytes at all.
std::optional<QByteArray> parseTelegram(const QStringList& arguments, QString& error);

} // namespace kestrune::cli
