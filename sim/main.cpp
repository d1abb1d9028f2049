// kestrune-gateway-sim: gateways, meters, a Modbus slave and an ASCII tag
// server on loopback addresses and pseudo-terminals, for the wizard to talk
// to without hardware.
#include "sim/SimRuntime.h"

int main(int argc, char** argv) {
    return kestrune::sim::runSimulator(argc, argv);
}
