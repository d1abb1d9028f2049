#pragma once

namespace kestrune {

class PageRegistry;

// Registers the pages of the link: the connection page (40) and the link
// test pages of tasks 7 and 8 (90, 100).
void addChannelPages(PageRegistry& registry);

} // namespace kestrune
