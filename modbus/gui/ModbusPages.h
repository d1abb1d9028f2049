#pragma once

namespace kestrune {

class PageRegistry;

// Registers the Modbus pages: the register access page (70).
void addModbusPages(PageRegistry& registry);

} // namespace kestrune
