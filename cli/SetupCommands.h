#pragma once

#include "cli/CliContext.h"

// The gateway setup commands, each in a file of its own.
namespace kestrune::cli {

// discover: discovery on the local network, one device a line (or a JSON
// object a line), then the neighbour-table check.
Command discoverCommand();
// record get N / record set N FIELD=VALUE...: a setup record over the
// network (--host) or the console (--serial).
Command recordCommand();
// ip-setup MAC IP [--gateway G] [--mask M] | MAC --dhcp; with --serial the
// MAC is left out.
Command ipSetupCommand();
// ping HOST [--count N]
Command pingCommand();

} // namespace kestrune::cli
