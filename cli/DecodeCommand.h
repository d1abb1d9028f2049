#pragma once

#include "cli/CliContext.h"

namespace kestrune::cli {

// decode HEX...: what a meter's reply says, without a link. First the
// identification row as the search list shows it (address, identification,
// manufacturer, version, medium, device type; "Fixed" for a fixed data
// structure), then the data records as a table (record, function, storage,
// tariff, subunit, quantity, value, unit); with --json one object whose
// fields are named after those columns, with the records under "records".
Command decodeCommand();

} // namespace kestrune::cli
