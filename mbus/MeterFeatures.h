#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

// The meter-features page without its widgets: which of its controls are
// shown, enabled and checked for each of the six operations (the page copies
// this state onto its widgets after every change), and what Apply makes of
// the boxes' texts (clamping, normalisation and the choice of operation and
// address). Pure logic; the operations themselves are MeterOperations.
namespace kestrune {

// The six operations, in the order of the page's option buttons.
enum class MeterFeature : int {
    Initialise = 0,       // SND_NKE
    ReadAddress = 1,      // REQ_UD2, the report of addresses
    ChangeAddress = 2,    // SND_UD CI 51 DIF 01 VIF 7A
    ChangeSpeed = 3,      // SND_UD CI B8..BD
    Diagnostic = 4,       // REQ_UD2, hex dump and the K2 line
    ApplicationReset = 5, // SND_UD CI 50
};
inline constexpr int MeterFeatureCount = 6;

// Line speeds of the page's list, by index (B8 + index on the wire).
inline constexpr int MeterLineSpeeds[] = {300, 600, 1200, 2400, 4800, 9600};
inline constexpr int MeterLineSpeedCount = 6;
// Entries of the application-reset list: none, then subcodes 0..15.
inline constexpr int MeterResetListCount = 17;

// The texts of the page's two lists: the line speeds ("300", "600 (rarely
// supported)", ...) and the reset subcodes (text 760, then "0 - " and the
// subcode's name, ...).
QStringList meterLineSpeedTexts();
QStringList meterResetTexts();

// Per-user setting keys of the page.
namespace meterkeys {
inline const QString Feature = QStringLiteral("Option_SelectMeterFeature");
inline const QString Address0 = QStringLiteral("MeterFeature_Address_0");
inline const QString Address1 = QStringLiteral("MeterFeature_Address_1");
inline const QString SecAddressPrefix = QStringLiteral("MeterFeature_Sec_Address_");
inline const QString Fabrication = QStringLiteral("MeterFeature_Fabrication");
inline const QString UseSecondary = QStringLiteral("MeterFeature_UseSecondaryAddress");
inline const QString UseEnhanced = QStringLiteral("MeterFeature_UseEnhancedSecondary");
inline const QString Broadcast = QStringLiteral("MeterFeature_TestAndDiagnostics");
inline const QString AlwaysInit = QStringLiteral("MeterFeature_AlwaysInit");
inline const QString AlwaysApp = QStringLiteral("MeterFeature_AlwaysApp");
inline const QString LineSpeed = QStringLiteral("MeterFeature_LineSpeed");
inline const QString AppReset = QStringLiteral("MeterFeature_AppReset");
} // namespace meterkeys

// ---- Control state -----------------------------------------------------------------

struct CheckBoxState {
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    bool operator==(const CheckBoxState&) const = default;
};

// Everything about the page's controls that depends on the chosen operation
// and the check boxes.
struct MeterControlState {
    int feature = 0;
    CheckBoxState alwaysInit;                   // Check_MeterFeature_AlwaysInit
    CheckBoxState alwaysApp;                    // Check_MeterFeature_AlwaysApp
    CheckBoxState broadcast;                    // Check_MeterFeature_TestAndDiagnostics
    CheckBoxState secondary;                    // Check_MeterFeature_UseSecondaryAddress
    CheckBoxState enhanced{false, true, false}; // Check_MeterFeature_UseEnhancedSecondary
    bool resetListEnabled = false;              // Combo_MeterFeature_AppReset and its label
    bool newAddressVisible = false;             // Text_MeterFeature_Address(1) and its label
    bool lineSpeedVisible = false;              // Combo_MeterFeature_LineSpeed and its label
    bool address0Visible = true;                // Text_MeterFeature_Address(0)
    bool address0Enabled = true;
    QString address0;                   // its text
    bool secondaryBoxesVisible = false; // the four boxes and labels 3..5
    bool fabricationVisible = false;    // Text_MeterFeature_Fabrication
    bool fabricationEnabled = false;
    // Language texts of the address label, the heading, the information box
    // and the Apply button.
    int addressLabelText = 641;
    int headerText = 620;
    int infoText = 630;
    int applyCaptionText = 691;
    // The always-init and always-reset values held while an operation forces
    // the box off.
    bool savedAlwaysInit = false;
    bool alwaysInitSaved = false;
    bool savedAlwaysApp = false;
    bool alwaysAppSaved = false;
};

// The rules that move the page's controls, as the page's handlers run them.
// A check box whose value changes runs its own handler, which stores it, as
// a click would. Stored values go through the store function (the page
// passes the settings store; tests collect them).
class MeterFeatureControls {
public:
    using Store = std::function<void(const QString& key, const QString& value)>;

    explicit MeterFeatureControls(Store store = {});

    const MeterControlState& state() const { return m_s; }

    // Page entry: the boxes as stored (when the broadcast box is checked the
    // address box shows 254), then the stored operation is chosen, which
    // runs the feature table.
    struct Stored {
        int feature = 0;
        QString address0;
        bool broadcast = false;
        bool secondary = false;
        bool enhanced = false;
        bool alwaysInit = false;
        bool alwaysApp = false;
    };
    void enter(const Stored& stored);
    // The page's stored values from the settings store.
    static Stored readStored();

    // Option_SelectMeterFeature_Click.
    void selectFeature(int feature);
    // What a click on each check box leaves it as.
    void setBroadcast(bool checked);
    void setSecondary(bool checked);
    void setEnhanced(bool checked);
    void setAlwaysInit(bool checked);
    void setAlwaysApp(bool checked);
    // The user edited the address box (element 0).
    void editAddress0(const QString& text);

    // The address the page last stored for element 0.
    const QString& storedAddress0() const { return m_storedAddress0; }

private:
    enum class Box { AlwaysInit, AlwaysApp, Broadcast, Secondary, Enhanced };
    CheckBoxState& box(Box which);
    // Sets the value and runs the box's handler when it changed.
    void setChecked(Box which, bool checked);
    void forceOff(Box which);
    void restore(Box which);
    void setAddress0(const QString& text);
    void reloadAddress0();
    void store(const QString& key, const QString& value);

    void onBroadcast();
    void onSecondary();
    void onEnhanced();
    void onAlwaysInit();
    void onAlwaysApp();

    MeterControlState m_s;
    QString m_storedAddress0;
    Store m_store;
};

// ---- Apply ---------------------------------------------------------------------------

// Keeps the digits 0-9 and turns F, f and * into F, drops every other
// character, pads on the left with F and keeps the last n characters.
QString normaliseWildcardDigits(const QString& text, int n);

// The leading number of a text as the address boxes read it: blanks, an
// optional sign, digits and an optional fraction, rounded half to even; 0
// when the text does not start with a number.
int64_t leadingRoundedNumber(const QString& text);

// What Apply reads from the page.
struct ApplyInput {
    int feature = 0;
    QString address;    // Text_MeterFeature_Address(0)
    QString newAddress; // Text_MeterFeature_Address(1)
    QString secId, secManufacturer, secVersion, secMedium;
    QString fabrication;
    bool broadcast = false;
    bool secondary = false;
    bool enhanced = false;
    bool alwaysInit = false;  // the stored MeterFeature_AlwaysInit
    bool alwaysReset = false; // the stored MeterFeature_AlwaysApp
    int lineSpeedIndex = -1;  // -1: nothing chosen
    int resetIndex = 0;
};

// What Apply does: the boxes' texts after clamping and normalisation (the
// page writes them back) and the operation with its address.
struct ApplyPlan {
    QString addressText;
    QString newAddressText;
    QString secId, secManufacturer, secVersion, secMedium, fabrication;
    int address = 0;    // A: 0..255
    int newAddress = 0; // N: 0..251
    MeterFeature operation = MeterFeature::Initialise;
    // Select by secondary address first (with the fabrication mask when the
    // enhanced box is ticked), then address the meter as 253.
    bool select = false;
    std::optional<QString> selectFabrication;
    uint8_t target = 0; // the address the operation's telegrams carry
    bool alwaysInit = false;
    bool alwaysReset = false;
    int lineSpeedIndex = -1;
    int resetIndex = 0;
};

ApplyPlan planApply(const ApplyInput& input);

} // namespace kestrune
