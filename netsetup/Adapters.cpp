#include "netsetup/Adapters.h"

#include <QNetworkInterface>

namespace kestrune {

namespace {

AdapterLister& lister() {
    static AdapterLister instance;
    return instance;
}

} // namespace

void setAdapterLister(AdapterLister l) {
    lister() = std::move(l);
}

QList<NetworkAdapter> listNetworkAdapters(bool includeLoopback) {
    if (lister())
        return lister()(includeLoopback);
    QList<NetworkAdapter> adapters;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning))
            continue;
        if ((flags & QNetworkInterface::IsLoopBack) && !includeLoopback)
            continue;
        const QList<QNetworkAddressEntry> entries = i.addressEntries();
        for (const QNetworkAddressEntry& e : entries) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            adapters.append({e.ip().toString(), i.humanReadableName()});
            break; // the first IPv4 address only
        }
    }
    return adapters;
}

AdapterChoice chooseAdapter(const QList<NetworkAdapter>& adapters, const QString& storedIp,
                            const QString& storedDescription) {
    AdapterChoice choice;
    for (qsizetype row = 0; row < adapters.size(); ++row) {
        if (adapters[row].ip == storedIp && adapters[row].description == storedDescription) {
            choice.ip = storedIp;
            choice.description = storedDescription;
            choice.selected = static_cast<int>(row);
            return choice;
        }
    }
    if (adapters.size() == 1) {
        choice.ip = adapters.first().ip;
        choice.description = adapters.first().description;
    } else if (adapters.isEmpty()) {
        choice.ip = QLatin1String(NoAdapter);
    }
    return choice;
}

} // namespace kestrune
