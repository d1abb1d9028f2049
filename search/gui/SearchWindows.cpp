#include "search/gui/SearchWindows.h"

#include "channel/gui/DebugWindow.h"
#include "mbus/gui/MeterFeaturesPage.h"
#include "search/gui/SearchTimeoutsWindow.h"
#include "search/gui/SearchWindow.h"
#include "wizard/gui/WizardPage.h"

#include <QPointer>

namespace kestrune {

void addSearchWindows(PageRegistry& registry) {
    WizardFrame* frame = &registry.frame();
    MeterFeaturesPage::setSearchOpener(
        [frame](MeterFeaturesPage& page) { SearchWindow::showWindow(*frame, &page); });
    const QPointer<QWidget> owner = frame->mainWindow();
    DebugWindow::setToolHandler(DebugWindow::Tool::SearchTimeouts,
                                [owner] { SearchTimeoutsWindow::showWindow(owner.data()); });
}

} // namespace kestrune
