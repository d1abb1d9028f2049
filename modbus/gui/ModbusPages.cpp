#include "ModbusPages.h"

#include "modbus/gui/ModbusPage.h"

namespace kestrune {

void addModbusPages(PageRegistry& registry) {
    registry.add(std::make_unique<ModbusPage>(registry.frame()));
}

} // namespace kestrune
