// The network adapters the wizard lists, replaced by loopback ones whatever
// the machine (or the test's network namespace) has. Tests that include this
// link kestrune_netsetup.
#pragma once

#include "netsetup/Adapters.h"

#include <QStringList>

namespace fixture {

// One adapter a given address: the first named "lo", the others "lo:1"...
inline void useLoopbackAdapters(const QStringList& addresses = {QStringLiteral("127.0.0.1")}) {
    kestrune::setAdapterLister([addresses](bool) {
        QList<kestrune::NetworkAdapter> adapters;
        for (qsizetype i = 0; i < addresses.size(); ++i)
            adapters.append(
                {addresses[i], i == 0 ? QStringLiteral("lo") : QStringLiteral("lo:%1").arg(i)});
        return adapters;
    });
}

} // namespace fixture
