#pragma once

#include "channel/gui/LinkPage.h"

#include "ascii/TagFile.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace kestrune {

// Page 80, the gateway's ASCII protocol (task 6): a station (0 to 99) and a
// protocol variant, a tag name typed or chosen from a list that comes from a
// tag file, and Read, which asks the gateway for the tag's value and shows
// it with the outcome in the result label. The tag list can be written back
// as a plain list. The continuous poll of the traffic log presses Read; a
// press while a read waits for its reply does nothing.
//
// Station, variant, tag and file layout start as "0", the standard variant,
// an empty tag and the OPC item layout when the program starts and are kept
// for the run only.
class AsciiPage : public ReadPage {
    Q_OBJECT
public:
    explicit AsciiPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;

private:
    // Read: one read of the tag in the tag box; the value goes into the
    // value box when a reply came, positive or negative.
    void readTag();
    // The file commands: replace the tag list from a file in the chosen
    // layout; write the list (or the tag box alone) to a file.
    void getFile();
    void saveFile();
    void buildStationAndProtocol();
    void buildTagFile();
    void buildTagAndValue();
    void stationEdited(const QString& typed);
    ascii::TagFileLayout selectedLayout() const;
    QStringList tagList() const;

    QGroupBox* m_multidrop = nullptr;
    QLabel* m_stationLabel = nullptr;
    QLineEdit* m_station = nullptr;
    QGroupBox* m_protocolFrame = nullptr;
    QLabel* m_protocolLabel = nullptr;
    QComboBox* m_protocol = nullptr;
    QGroupBox* m_fileFrame = nullptr;
    QRadioButton* m_layouts[3] = {};
    QPushButton* m_getFile = nullptr;
    QPushButton* m_saveFile = nullptr;
    QLabel* m_tagLabel = nullptr;
    QComboBox* m_tag = nullptr;
    QLabel* m_valueLabel = nullptr;
    QLineEdit* m_value = nullptr;
    QPushButton* m_write = nullptr;
};

} // namespace kestrune
