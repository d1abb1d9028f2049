#pragma once

#include <QComboBox>

namespace kestrune {

// The box of serial ports, each "COMn (device path)". Paths are long (a
// simulator's pseudo-terminals, /dev/serial/by-id/... names), so the closed
// box elides the name in the middle, keeping the COM number and the end of
// the path that tells ports apart; the open list is as wide as its longest
// entry (on the screen); the box's tool tip, and each entry's, is the whole
// name.
class SerialPortBox : public QComboBox {
    Q_OBJECT
public:
    explicit SerialPortBox(QWidget* parent = nullptr);

    // Replaces the entries by these names.
    void setPorts(const QStringList& names);
    // The text the closed box shows for its current entry.
    QString shownText() const;
    // The width the open list needs for its longest entry, in pixels.
    int listWidthNeeded() const;

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int textRoom() const;
};

} // namespace kestrune
