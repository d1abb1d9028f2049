// The command table. A command is one entry here and a function in its own
// file; the options and the link handling it shares live in CliContext.
#include "cli/AsciiCommand.h"
#include "cli/CliContext.h"
#include "cli/DecodeCommand.h"
#include "cli/MeterCommand.h"
#include "cli/ModbusCommand.h"
#include "cli/ScanCommand.h"
#include "cli/SendCommand.h"
#include "cli/SetupCommands.h"

namespace kestrune::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> table{
        sendCommand(),  decodeCommand(),   meterCommand(),  scanCommand(),    modbusCommand(),
        asciiCommand(), discoverCommand(), recordCommand(), ipSetupCommand(), pingCommand(),
    };
    return table;
}

} // namespace kestrune::cli
