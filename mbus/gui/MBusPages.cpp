#include "MBusPages.h"

#include "mbus/gui/MeterFeaturesPage.h"

namespace kestrune {

void addMBusPages(PageRegistry& registry) {
    registry.add(std::make_unique<MeterFeaturesPage>(registry.frame()));
}

} // namespace kestrune
