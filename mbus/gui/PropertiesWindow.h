#pragma once

#include <QWidget>

#include <array>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace kestrune {

// Kestrune_Properties: which frame count bit a data request of the meter
// page carries (toggled, always set, always reset), opened from the traffic
// log's Tools menu and stored as SelectedFCB.
class PropertiesWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the window (creating it on first use) with the stored choice
    // selected, without blocking, in front. It closes with parent.
    static PropertiesWindow* showWindow(QWidget* parent = nullptr);
    static PropertiesWindow* instance();
    ~PropertiesWindow() override;

private:
    explicit PropertiesWindow(QWidget* parent);
    void okClicked();

    QGroupBox* m_frame = nullptr;
    std::array<QRadioButton*, 3> m_options{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrune
