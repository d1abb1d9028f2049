#pragma once

#include "channel/gui/LinkPage.h"
#include "modbus/RegisterSheet.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace kestrune {

class EveryOrderPanel;

// Page 70, Modbus register access (task 5): the read parameters (slave
// address, function, first register, count, RTU or TCP framing), the
// register sheet of six rows (register, data type, byte order, bytes,
// value, description) with automatic or manual numbering, the read behind
// Read with its outcome in the result label, the sheet files behind Save and
// Get, Clear, and the traffic log behind Debug.
//
// The page holds the sheet (modbus::RegisterSheet) for the whole run and
// only mirrors it in its controls: every change of a control goes to the
// sheet, and the controls are filled from the sheet again.
//
// Beyond the sheet's columns, each row offers its value in every byte order
// of its data type side by side: in the tool tip of its bytes and value, and
// in a small panel opened by the button at the row's end.
class ModbusPage : public ReadPage {
    Q_OBJECT
public:
    explicit ModbusPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;

    const modbus::RegisterSheet& sheet() const { return m_sheet; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QLineEdit* registerBox = nullptr;
        QComboBox* type = nullptr;
        QComboBox* order = nullptr;
        QLineEdit* bytes = nullptr;
        QLineEdit* value = nullptr;
        QLineEdit* description = nullptr;
        QToolButton* everyOrder = nullptr;
    };

    void buildParameters();
    void buildSheet();
    void buildCommands();
    void connectRow(int row);

    // Command_ModBus_MeterFeature_Read.
    void read();
    // Save, Get, Clear.
    void saveSheet();
    void getSheet();
    void clearSheet();

    // The controls from the sheet.
    void showSheet();
    void showRow(int row);
    // Why a row shows no value, for its tool tip and the panel: the sheet's
    // note, or that the last reply does not hold the register.
    QString rowNote(int row, const QList<modbus::OrderValue>& values) const;
    void showEveryOrderPanel();
    void toggleEveryOrderPanel(int row);
    void placeEveryOrderPanel(int row);
    void showResult(const QString& text, ResultTone tone);

    // A box's text after its entry check: written back when the check
    // changed it.
    void writeBack(QLineEdit* box, const QString& checked);

    modbus::RegisterSheet m_sheet;
    // True while the page fills its controls, so that their change signals
    // don't go back to the sheet.
    bool m_mirroring = false;

    QLineEdit* m_slave = nullptr;
    QComboBox* m_function = nullptr;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_count = nullptr;
    QGroupBox* m_protocol = nullptr;
    QRadioButton* m_rtu = nullptr;
    QRadioButton* m_tcp = nullptr;
    QCheckBox* m_auto = nullptr;
    std::array<Row, modbus::SheetRowCount> m_rows;
    EveryOrderPanel* m_panel = nullptr;
    int m_panelRow = -1; // the row the panel shows, -1: closed
    QPushButton* m_save = nullptr;
    QPushButton* m_get = nullptr;
    QPushButton* m_clear = nullptr;
    // Labels by their caption's language text.
    QList<std::pair<QLabel*, int>> m_labels;
};

} // namespace kestrune
