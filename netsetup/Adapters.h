#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace kestrune {

// A network adapter as the discovery and setup pages use it: its first IPv4
// address and a description.
struct NetworkAdapter {
    QString ip;
    QString description;
    bool operator==(const NetworkAdapter&) const = default;
};

// The system's adapters that are up and running and have an IPv4 address,
// in the system's order; loopback interfaces only when includeLoopback
// (INI [IP] IncludeLoopback=1). The description is the interface's
// human-readable name.
QList<NetworkAdapter> listNetworkAdapters(bool includeLoopback);

// Where listNetworkAdapters() looks: the system's interfaces, unless a list
// of its own was put in place (the window tests, which cannot choose the
// adapters of the machine they run on). An empty function restores the
// system's.
using AdapterLister = std::function<QList<NetworkAdapter>(bool includeLoopback)>;
void setAdapterLister(AdapterLister lister);

// The adapter choice after a listing (ListAdapters): the stored choice when
// an adapter matches both its address and its description (selected is its
// row); otherwise with exactly one adapter that one, with none the address
// "NO_ADAPTER", with several an empty choice (the adapter window must be
// used). selected is -1 unless the stored choice was found.
struct AdapterChoice {
    QString ip;
    QString description;
    int selected = -1;
};
AdapterChoice chooseAdapter(const QList<NetworkAdapter>& adapters, const QString& storedIp,
                            const QString& storedDescription);

inline constexpr const char* NoAdapter = "NO_ADAPTER";

} // namespace kestrune
