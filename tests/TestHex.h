#pragma once

#include "base/TextUtil.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

// Bytes written in a test table as hexadecimal pairs ("68 03 03 68 ..."):
// a typo in a table stops the test at once instead of testing other bytes.
namespace kestrune::testhex {

inline QByteArray hex(const QString& text) {
    QByteArray bytes;
    if (!parseHexBytes(text, bytes))
        qFatal("bad hex in test table: %s", qPrintable(text));
    return bytes;
}

inline QByteArray hex(const char* text) {
    return hex(QString::fromLatin1(text));
}

} // namespace kestrune::testhex
