#include "netsetup/NeighbourTable.h"

#include "base/TextUtil.h"

#include <QList>

namespace kestrune {

namespace {

constexpr unsigned kCompleteFlag = 0x2;

// "0x2" -> 2; nothing for anything else.
std::optional<unsigned> hexField(QByteArrayView field) {
    if (field.size() < 3 || field.size() > 10 || field[0] != '0' ||
        (field[1] != 'x' && field[1] != 'X'))
        return std::nullopt;
    unsigned value = 0;
    for (qsizetype i = 2; i < field.size(); ++i) {
        const int digit = hexDigitValue(static_cast<unsigned char>(field[i]));
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

QList<QByteArrayView> fields(QByteArrayView line) {
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            out.append(line.sliced(start, i - start));
    }
    return out;
}

} // namespace

std::optional<MacAddress> findNeighbour(QByteArrayView table, const Ipv4Address& address) {
    const QString wanted = ipv4Text(address);
    qsizetype start = 0;
    while (start < table.size()) {
        qsizetype end = table.indexOf('\n', start);
        if (end < 0)
            end = table.size();
        const QList<QByteArrayView> f = fields(table.sliced(start, end - start));
        start = end + 1;
        if (f.size() < 4 || QLatin1StringView(f[0]) != wanted)
            continue;
        const std::optional<unsigned> flags = hexField(f[2]);
        MacAddress mac{};
        if (!flags || !(*flags & kCompleteFlag) ||
            !parseMac(QString::fromLatin1(f[3].data(), f[3].size()), mac) || mac == MacAddress{})
            continue;
        return mac;
    }
    return std::nullopt;
}

} // namespace kestrune
