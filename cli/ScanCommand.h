#pragma once

#include "cli/CliContext.h"

namespace kestrune::cli {

// scan primary LOW HIGH / scan secondary [MASK]: the search window's two
// methods, printing each row as it is decided.
Command scanCommand();

} // namespace kestrune::cli
