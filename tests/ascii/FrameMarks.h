// ASCII protocol frames written with readable marks in tests: < for STX,
// > for ETX, + for ACK, - for NAK; every other character stands for itself.
#pragma once

#include <QByteArray>

namespace asciitest {

inline QByteArray f(const char* text) {
    QByteArray out(text);
    for (char& c : out) {
        switch (c) {
        case '<':
            c = 0x02;
            break;
        case '>':
            c = 0x03;
            break;
        case '+':
            c = 0x06;
            break;
        case '-':
            c = 0x15;
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace asciitest
