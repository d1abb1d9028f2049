#include "DiscoveryPage.h"

#include "base/Language.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WebPage.h"
#include "wizard/gui/WizardText.h"

#include <QMessageBox>

namespace kestrune {

namespace {

// texts: 110, 226
constexpr int TextHeader = 110;
constexpr int TextOpenWebPage = 226;

using wizardtext::text;

} // namespace

DiscoveryPage::DiscoveryPage(WizardFrame& frame) : WizardPage(page::Discovery, frame) {}

QString DiscoveryPage::headerText() const {
    return text(TextHeader);
}

void DiscoveryPage::build() {
    // The device list, the adapter choice and the scan come with the
    // discovery of the setup subsystem.
}

void DiscoveryPage::beforeNext() {
    // A kind-2 device has a web page of its own: offer to open it.
    m_openWebPage = state().chosenDeviceKind == 2 &&
                    QMessageBox::question(frame().mainWindow(), QStringLiteral("Kestrune"),
                                          text(TextOpenWebPage),
                                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void DiscoveryPage::store() {
    if (m_openWebPage)
        openDeviceWebPage(frame().mainWindow(), state().chosenDeviceIP);
    m_openWebPage = false;
    // A kind-2 device keeps its own settings: task 3 and the gateway and
    // mask fields are withheld for it.
    state().task3Enabled = state().chosenDeviceKind != 2;
    frame().notifyShellStateChanged();
}

} // namespace kestrune
