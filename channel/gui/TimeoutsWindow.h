#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace kestrune {

class IniFile;

// One row of the time-out window: the INI entry it edits and its factory value.
struct TimeoutRow {
    const char* section;
    const char* key; // spelled as the window writes it; reads ignore letter case
    const char* defaultValue;
};

inline constexpr int TimeoutRowCount = 10;

// The ten rows in window order: the gateway setup time-outs, then the
// meter-features link, then the reply time-outs of the Modbus and ASCII pages.
const std::array<TimeoutRow, TimeoutRowCount>& timeoutRows();

// The ten texts as stored in ini, the factory value for an absent key.
QStringList readTimeoutTexts(const IniFile& ini);
// The ten factory values.
QStringList factoryTimeoutTexts();
// Writes the ten texts exactly as given. False when the file could not be
// written (at the first failing row; rows before it are stored).
[[nodiscard]] bool writeTimeoutTexts(const IniFile& ini, const QStringList& texts);

// The foot of a time-out dialog: Command_FactoryDefaults at the left,
// Command_OK, Command_Apply and Command_Cancel at the right, below content.
struct TimeoutButtons {
    QPushButton* ok = nullptr;
    QPushButton* apply = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* defaults = nullptr;
};
// Lays content and the buttons out in dialog; Cancel closes it.
TimeoutButtons addTimeoutButtons(QWidget* dialog, QLayout* content);
// The warning that the INI file refused the time-outs; non-blocking, so
// the user can mend the file's permissions and try again.
void showTimeoutsWriteFailure(QWidget* dialog, const QString& objectName);

// The time-out window (Kestrune_Timeouts): edits the time-outs and the bus
// delay kept in the INI file. Non-modal, one instance at most. After OK or
// Apply the link takes the bus delay, reply time-out and TCP connect time-out
// of the selected task's section at once; the setup operations read theirs
// from the file at each use.
class TimeoutsWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the window (creating it on first use) without blocking and brings
    // it to the front. parent is the window it belongs to (it closes with it).
    static TimeoutsWindow* showWindow(QWidget* parent = nullptr);
    // The open window, or nullptr.
    static TimeoutsWindow* instance();

    ~TimeoutsWindow() override;

    // Fills the ten fields from the INI file (factory values for absent keys).
    void readAllTimeouts();
    // Stores the ten fields as typed, then reloads the link's BusDelay,
    // BusTimeout and OpenTimeout from the section of the selected task. False
    // (and a message) when the file could not be written.
    bool writeAllTimeouts();
    // Puts the factory values into the fields; writes nothing.
    void factoryDefaults();

    QLineEdit* field(int row) const { return m_fields[static_cast<size_t>(row)]; }

private:
    explicit TimeoutsWindow(QWidget* parent);

    void buildControls();
    void setCaptions();
    void okClicked();
    void applyClicked();
    void showWriteFailure();

    std::array<QLabel*, TimeoutRowCount> m_labels{};
    std::array<QLineEdit*, TimeoutRowCount> m_fields{};
    std::array<QLabel*, TimeoutRowCount> m_units{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_defaults = nullptr;
};

} // namespace kestrune
