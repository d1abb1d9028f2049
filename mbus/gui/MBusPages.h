#pragma once

namespace kestrune {

class PageRegistry;

// Registers the M-Bus pages: the meter features page (60).
void addMBusPages(PageRegistry& registry);

} // namespace kestrune
