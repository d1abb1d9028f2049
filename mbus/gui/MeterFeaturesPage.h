#pragma once

#include "channel/gui/LinkPage.h"
#include "mbus/MeterFeatures.h"

#include <QRect>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

class MeterOperations;

// Page 60, the M-Bus meter features of task 4: one of six operations on one
// meter (initialise, read address, change primary address, change line
// speed, diagnostic read, application reset), by primary, test or secondary
// address, behind Apply; the search window behind Search; the traffic log
// behind Debug; the records of the last read in the records window behind
// Records (a read opens it by itself). Which controls show follows MeterFeatureControls; what Apply
// does is planApply() and MeterOperations, whose text the information box
// shows. Leaving the page closes the link.
class MeterFeaturesPage : public LinkPage {
    Q_OBJECT
public:
    explicit MeterFeaturesPage(WizardFrame& frame);
    ~MeterFeaturesPage() override;

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;

    // Command_MeterFeature_Apply_Click: also what the continuous poll
    // presses. Does nothing while an exchange is running.
    void apply();

    // What Search opens (the meter search window, which lives above this
    // page's subsystem). Search stays disabled until one is set.
    using SearchOpener = std::function<void(MeterFeaturesPage&)>;
    static void setSearchOpener(SearchOpener opener);

    // A meter chosen in the search list: with secondary addressing ticked
    // the four secondary-address boxes take identification, manufacturer,
    // version and medium, otherwise address box 0 takes the primary
    // address. The boxes keep what they got, as typed text would be kept.
    void takeSearchedMeter(const QString& primary, const std::array<QString, 4>& secondary);

protected:
    void showLinkFailure(int textNumber, const QString& error) override;
    void showLinkOpened() override;

private:
    void buildControls();
    void connectControls();
    // Option_SelectMeterFeature_Click.
    void fitCaptions();
    void selectFeature(int feature);
    // Copies the control state onto the widgets.
    void showControls();
    ApplyInput readBoxes() const;
    void writeBack(const ApplyPlan& plan);
    void showInfo(const QString& text);
    // The note on a line setting the port could not carry, under the
    // information box, which gives up the room it takes; empty hides it.
    void showLineNote(const QString& note);
    // A read brought a reply: the records window shows it (opened for a
    // read the user started, refreshed only when a poll tick read).
    void showRecords(const QByteArray& reply);

    MeterFeatureControls m_controls;
    std::unique_ptr<MeterOperations> m_operations;
    QString m_header; // Label_Header(60) once the feature table ran

    std::array<QRadioButton*, MeterFeatureCount> m_options{};
    std::array<QLabel*, 8> m_labels{};       // Label_MeterFeature(0..7); 6 is not used
    std::array<QLineEdit*, 2> m_address{};   // Text_MeterFeature_Address(0), (1)
    std::array<QLineEdit*, 4> m_secondary{}; // Text_MeterFeature_Sec_Address(0..3)
    QLineEdit* m_fabrication = nullptr;
    QCheckBox* m_broadcast = nullptr;
    QCheckBox* m_useSecondary = nullptr;
    QCheckBox* m_useEnhanced = nullptr;
    QCheckBox* m_alwaysInit = nullptr;
    QCheckBox* m_alwaysApp = nullptr;
    QComboBox* m_lineSpeed = nullptr;
    QComboBox* m_appReset = nullptr;
    QPlainTextEdit* m_info = nullptr;
    QRect m_infoArea; // the information box without a line note
    QLabel* m_lineNote = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_debug = nullptr;
    QPushButton* m_records = nullptr; // Command_MeterFeature_Records
    QByteArray m_lastReply;           // the reply of the last read
};

} // namespace kestrune
