#pragma once

#include "modbus/RegisterSheet.h"

#include <QFrame>
#include <QList>
#include <QString>

class QLabel;
class QToolButton;

namespace kestrune {

// The register's value in every byte order of its data type, side by side,
// as the tool tip of a sheet row shows it: a small table of the orders and
// their values, the row's own order in bold, and the row's note (why no
// value is made) beneath. Texts are escaped; very long values are cut.
QString everyOrderToolTip(const QList<modbus::OrderValue>& values, int currentOrder,
                          const QString& note);

// A small panel over the register sheet for one row: a title naming the
// data type and register, one button per byte order with the value that
// order gives, the row's own order pressed, and a close button. Pressing an
// order's button asks for that order in the row (orderChosen), the same as
// choosing it from the row's list. The page fills the panel again after
// every change of the sheet, so it follows reads and the continuous poll.
class EveryOrderPanel : public QFrame {
    Q_OBJECT
public:
    explicit EveryOrderPanel(QWidget* parent);

    void setCaptions();

    // The row the panel shows, -1 while it is closed.
    int row() const { return m_row; }

    // Shows the panel for a row: title, the values in list order, the row's
    // current order, and the row's note (shown when no value is made).
    void showRow(int row, const QString& title, const QList<modbus::OrderValue>& values,
                 int currentOrder, const QString& note);
    // Hides the panel (row() becomes -1).
    void close();

signals:
    void orderChosen(int row, int order);
    void closed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elideValues();

    int m_row = -1;
    QLabel* m_title = nullptr;
    QLabel* m_note = nullptr;
    QToolButton* m_close = nullptr;
    QList<QToolButton*> m_orders;
    QList<modbus::OrderValue> m_values;
};

} // namespace kestrune
