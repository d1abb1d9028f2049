#include "ChannelPages.h"

#include "channel/gui/ConnectionPage.h"
#include "channel/gui/LinkTestPage.h"
#include "wizard/Navigation.h"

namespace kestrune {

void addChannelPages(PageRegistry& registry) {
    registry.add(std::make_unique<ConnectionPage>(registry.frame()));
    registry.add(std::make_unique<LinkTestPage>(page::Task7, registry.frame()));
    registry.add(std::make_unique<LinkTestPage>(page::Task8, registry.frame()));
}

} // namespace kestrune
