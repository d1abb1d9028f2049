#pragma once

namespace kestrune {

class PageRegistry;

// Puts the search's windows within reach: page 60's Search button opens the
// search window, the traffic log's Tools menu the search time-out dialog.
void addSearchWindows(PageRegistry& registry);

} // namespace kestrune
