#include "MBusPages.h"

#include "channel/gui/DebugWindow.h"
#include "mbus/gui/MeterFeaturesPage.h"
#include "mbus/gui/PropertiesWindow.h"

#include <QPointer>

namespace kestrune {

void addMBusPages(PageRegistry& registry) {
    registry.add(std::make_unique<MeterFeaturesPage>(registry.frame()));
    // The traffic log's Tools menu opens the properties of the frame count
    // bit beside the wizard.
    const QPointer<QWidget> owner = registry.frame().mainWindow();
    DebugWindow::setToolHandler(DebugWindow::Tool::Properties,
                                [owner] { PropertiesWindow::showWindow(owner.data()); });
}

} // namespace kestrune
