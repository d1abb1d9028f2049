#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One row of the search list: the icon and nine text cells. Every probe of a
// search leaves one; the window shows them in the order they come, and the
// exports write them as they stand.
namespace kestrune {

struct ProbeResult {
    enum Icon {
        NoAnswer = 1,       // nothing came back
        Correct = 2,        // a correct answer
        BadOrColliding = 3, // a spoilt answer, or several meters at once
        SingleE5 = 4,       // one E5 to a mask with wildcards
    };

    // Cell 0 is the icon's own and stays empty; cells 1..9 are the columns:
    // 1 address or mask probed, 2 address of the answering meter, 3 result
    // of SND_NKE or of the selection, 4 result of REQ_UD2, 5 identification,
    // 6 manufacturer, 7 version, 8 medium, 9 device type.
    static constexpr int CellCount = 10;

    int icon = NoAnswer;
    QStringList cells = QStringList(CellCount, QString());
    // The meter's reply to REQ_UD2 as it came, when the probe read one: what
    // the records window shows for the row. The exports leave it out.
    QByteArray reply;

    QString cell(int column) const {
        return column >= 0 && column < cells.size() ? cells.at(column) : QString();
    }
};

} // namespace kestrune
