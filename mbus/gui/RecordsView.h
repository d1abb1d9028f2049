#pragma once

#include <QByteArray>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

// The data records of one meter's reply, in words: a table with a row per
// record (record, function, storage, tariff, subunit, quantity, value, unit,
// remarks), above it who sent the reply, below it what stopped the decoding
// early, and a button that copies the table as CSV. The reply is the one a
// meter read or a search brought; the view only shows what mbus/RecordTable
// makes of it.
//
// Any window that holds a meter's reply opens the one records window of the
// program beside itself:
//   RecordsView::showWindow(replyBytes, this);
// and a window that refreshes a reply without the user asking (a poll) only
// updates it when it is open:
//   if (RecordsView* v = RecordsView::window()) v->showReply(replyBytes);
namespace kestrune {

class RecordsView : public QWidget {
    Q_OBJECT
public:
    explicit RecordsView(QWidget* parent = nullptr);

    // Shows the records of a long frame 68 L L 68 ... 16 as received. Bytes
    // that carry no records leave an empty table and a line that says so;
    // an empty reply shows how to get one.
    void showReply(const QByteArray& reply);
    const QByteArray& reply() const { return m_reply; }

    int rowCount() const;
    // The header row and the table as CSV (commas, values with a decimal
    // point whatever the locale): what Copy puts on the clipboard.
    QString csv() const;
    // Command_CopyCsv.
    void copyCsv();

    // The records window (Kestrune_Records): created on first use as a
    // window of beside's own window, placed beside it (to its right, or
    // below it when another window of the program is there), filled with
    // the reply, shown and raised. Closing it deletes it.
    static RecordsView* showWindow(const QByteArray& reply, QWidget* beside);
    // The records window while it is open, else nullptr.
    static RecordsView* window();

private:
    void placeBeside(QWidget* beside);
    // The width the table needs to show every column whole.
    int tableWidth() const;

    QByteArray m_reply;
    QLabel* m_heading = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_notes = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_exit = nullptr;
};

} // namespace kestrune
