#pragma once

#include "search/SearchTimeouts.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

// Kestrune_SearchTimeouts: the reply time-outs of the search per bus speed
// and gateway family (twelve boxes, txtK1 and txtK2), the active family, and
// OK / Apply / Cancel / factory defaults. Opened from the traffic log's
// Tools menu, non-modal, one instance at most. OK and Apply store the boxes
// as typed and refresh the speed buttons of an open search window.
class SearchTimeoutsWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the window (creating and filling it on first use) in front.
    static SearchTimeoutsWindow* showWindow(QWidget* parent = nullptr);
    static SearchTimeoutsWindow* instance();
    // The family a search uses: the dialog's choice while it is open, else
    // the stored one.
    static GatewayFamily activeFamily();

    ~SearchTimeoutsWindow() override;

    // ReadSearchTimeouts: the twelve boxes from the INI file (factory values
    // for absent keys).
    void readSearchTimeouts();
    // WriteSearchTimeouts: stores the twelve boxes, then the speed buttons
    // of the search window show the new values. False (and a warning) when
    // the file could not be written.
    bool writeSearchTimeouts();
    // The factory values into the boxes; nothing stored.
    void factoryDefaults();

private:
    explicit SearchTimeoutsWindow(QWidget* parent);
    void buildControls();
    void setCaptions();
    GatewayFamily selectedFamily() const;
    void okClicked();
    void applyClicked();

    using Column = std::array<QLineEdit*, searchtimeouts::RowCount>;
    std::array<Column, 2> m_boxes{}; // [family][row]
    std::array<QLabel*, searchtimeouts::RowCount> m_units{};
    QLabel* m_k1Header = nullptr;
    QLabel* m_k2Header = nullptr;
    QLabel* m_functionHeader = nullptr;
    QLabel* m_activeLabel = nullptr;
    std::array<QRadioButton*, 2> m_active{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_defaults = nullptr;
};

} // namespace kestrune
