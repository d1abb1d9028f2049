#include "AsciiPage.h"

#include "wizard/Navigation.h"
#include "wizard/gui/WizardText.h"

namespace kestrune {

namespace {

// texts: 1100, 1110, 1113, 1115
constexpr int TextHeader = 1100;
constexpr int TextResult = 1110;
constexpr int TextRead = 1113;
constexpr int TextDebug = 1115;

using wizardtext::text;

} // namespace

AsciiPage::AsciiPage(WizardFrame& frame) : ReadPage(page::MBusAscii, frame) {}

QString AsciiPage::headerText() const {
    return text(TextHeader);
}

void AsciiPage::build() {
    buildResultRow({"lblMBusAsciiResult", "lblMBusAsciiResultText",
                    "Command_MBusAscii_MeterFeature_Read", "Command_MBusAscii_MeterFeature_Debug",
                    TextResult, TextRead, TextDebug});
    // The tag read behind Read, the station, protocol and tag fields and the
    // tag files come with the ASCII protocol client.
}

} // namespace kestrune
