#include "SimTagFiles.h"

namespace kestrune::sim {

bool tagFitsLayout(const QByteArray& name, TagFileLayout layout) {
    if (name.contains('\r') || name.contains('\n'))
        return false;
    switch (layout) {
    case TagFileLayout::OpcItems: {
        const qsizetype first = name.indexOf('.');
        return first >= 0 && name.indexOf('.', first + 1) >= 0;
    }
    case TagFileLayout::TagTable: {
        const qsizetype first = name.indexOf('.');
        return first >= 0 && name.lastIndexOf('.') > first && !name.contains(',') &&
               !name.contains('"');
    }
    case TagFileLayout::ItemTable:
        return !name.isEmpty() && !name.contains(',') && !name.contains('"');
    }
    return false;
}

QByteArray tagFileContents(const QList<QByteArray>& names, TagFileLayout layout, int station,
                           QList<QByteArray>* skipped) {
    QByteArray out;
    int n = 0;
    for (const QByteArray& name : names) {
        if (!tagFitsLayout(name, layout)) {
            if (skipped)
                skipped->append(name);
            continue;
        }
        ++n;
        switch (layout) {
        case TagFileLayout::OpcItems:
            out += name;
            break;
        case TagFileLayout::TagTable: {
            // First part, middle, last part; the middle splits at its first
            // "_" into group and name when the group part is not empty, so
            // that "Meter1.Heat_Energy.Value" reads Meter1, Heat, Energy,
            // Value.
            const qsizetype first = name.indexOf('.');
            const qsizetype last = name.lastIndexOf('.');
            const QByteArray head = name.left(first);
            const QByteArray middle = name.mid(first + 1, last - first - 1);
            const QByteArray tail = name.mid(last + 1);
            const qsizetype us = middle.indexOf('_');
            QByteArray group, item = middle;
            if (us > 0) {
                group = middle.left(us);
                item = middle.mid(us + 1);
            }
            out += "[TAG]," + head + ',' + group + ',' + item + ',' + tail + ',';
            break;
        }
        case TagFileLayout::ItemTable:
            out += "[item]," + QByteArray::number(station) + ',' + QByteArray::number(n) + ',' +
                   name + ",STRING,";
            break;
        }
        out += "\r\n";
    }
    return out;
}

} // namespace kestrune::sim
