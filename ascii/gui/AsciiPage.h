#pragma once

#include "channel/gui/LinkPage.h"

namespace kestrune {

// Page 80, the gateway's ASCII protocol (task 6): the tag read behind Read,
// its outcome in the result label, the traffic log behind Debug.
class AsciiPage : public ReadPage {
    Q_OBJECT
public:
    explicit AsciiPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
};

} // namespace kestrune
