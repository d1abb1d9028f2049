#pragma once

#include "cli/CliContext.h"

namespace kestrune::cli {

// modbus read: reads holding (function 3) or input (function 4) registers
// in RTU or TCP framing over the link and prints the outcome, then every
// value of the chosen data type from the first register on, with its bytes,
// as the register sheet shows them (--order all: the value in every byte
// order the type offers). --json prints one JSON object instead.
Command modbusCommand();

} // namespace kestrune::cli
