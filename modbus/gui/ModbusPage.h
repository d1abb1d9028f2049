#pragma once

#include "channel/gui/LinkPage.h"

namespace kestrune {

// Page 70, Modbus register access (task 5): the read behind Read, its
// outcome in the result label, the traffic log behind Debug.
class ModbusPage : public ReadPage {
    Q_OBJECT
public:
    explicit ModbusPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
};

} // namespace kestrune
