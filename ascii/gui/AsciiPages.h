#pragma once

namespace kestrune {

class PageRegistry;

// Registers the ASCII protocol pages: the tag read page (80).
void addAsciiPages(PageRegistry& registry);

} // namespace kestrune
