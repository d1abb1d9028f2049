#pragma once

namespace kestrune {

class PageRegistry;

// Registers the M-Bus pages, the meter features page (60), and the
// properties dialog as the traffic log's Tools entry.
void addMBusPages(PageRegistry& registry);

} // namespace kestrune
