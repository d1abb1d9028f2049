// The "transport" column of a data table: one row for each way a link reaches
// a gateway (UDP, TCP, a serial line), as testpeer::makePeer() names them.
#pragma once

#include <QString>
#include <QTest>

namespace kestrune::testpeer {

inline void addTransports() {
    QTest::addColumn<QString>("transport");
    for (const char* t : {"udp", "tcp", "pty"})
        QTest::newRow(t) << QString::fromLatin1(t);
}

} // namespace kestrune::testpeer
