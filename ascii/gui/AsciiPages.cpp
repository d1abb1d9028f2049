#include "AsciiPages.h"

#include "ascii/gui/AsciiPage.h"

namespace kestrune {

void addAsciiPages(PageRegistry& registry) {
    registry.add(std::make_unique<AsciiPage>(registry.frame()));
}

} // namespace kestrune
