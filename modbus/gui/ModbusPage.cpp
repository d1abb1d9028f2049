#include "ModbusPage.h"

#include "wizard/Navigation.h"
#include "wizard/gui/WizardText.h"

namespace kestrune {

namespace {

// texts: 115
constexpr int TextHeader = 115;

} // namespace

ModbusPage::ModbusPage(WizardFrame& frame) : ReadPage(page::Modbus, frame) {}

QString ModbusPage::headerText() const {
    return wizardtext::text(TextHeader);
}

void ModbusPage::build() {
    buildResultRow({"lblModbusResult", "lblModbusResultText", "Command_ModBus_MeterFeature_Read",
                    "Command_ModBus_MeterFeature_Debug"});
    // The Modbus read exchange behind Read and the register sheet come with
    // the Modbus client.
}

} // namespace kestrune
