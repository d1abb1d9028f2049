#pragma once

#include "cli/CliContext.h"

namespace kestrune::cli {

// decode HEX...: what a meter's reply says, without a link. First the
// identification row as the search list shows it (address, identification,
// manufacturer, version, medium, device type; "Fixed" for a fixed data
// structure); with --json one object whose fields are named after those
// columns.
Command decodeCommand();

} // namespace kestrune::cli
