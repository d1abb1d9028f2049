#pragma once

namespace kestrune {

class PageRegistry;

// Registers the pages of the gateway network setup: discovery (10), the IP
// setup of task 1 (20 to 23), ping (30) and the gateway's settings (50, 55).
void addNetsetupPages(PageRegistry& registry);

} // namespace kestrune
