#pragma once

#include "channel/TrafficLog.h"

#include <QByteArrayView>
#include <QString>

// One telegram of the traffic log in words, as a technician would say it:
//  - M-Bus: kind and C field with FCB, address, CI, for a reply the
//    identification and the number of records, for a selection the mask;
//  - Modbus (RTU or TCP framing): function, unit, first register and count,
//    or the exception; whether the CRC is right;
//  - the gateways' ASCII protocol: sequence, station, tag, ACK or NAK and the
//    error;
//  - the setup datagrams of port 30718: record number and read or write,
//    discovery, IP-SETUP.
// Every field is read with bounds checks; bytes that do not form a telegram
// of the protocol get a line that says so. Texts from the language file.
namespace kestrune {

enum class TelegramProtocol : int {
    Unknown,
    MBus,
    ModbusRtu,
    ModbusTcp,
    Ascii,
    Setup,
};

// The explanation of one telegram in the given protocol; direction tells a
// request (sent) from a reply (received) where the bytes cannot. Unknown
// asks guessProtocol() first. Empty for no bytes and for notes.
QString explainTelegram(QByteArrayView bytes, Direction direction, TelegramProtocol protocol);

// The protocol whose framing the bytes fit, tried in the order setup
// datagram, M-Bus, ASCII, Modbus TCP, Modbus RTU (its CRC through the
// support library); Unknown when none fits.
TelegramProtocol guessProtocol(QByteArrayView bytes, Direction direction);

// The protocol to explain the bytes in when expected is what the task
// speaks: expected when the bytes fit its framing; else the protocol they
// fit (a setup datagram during a meter search, say); else expected, whose
// explanation then says what is wrong with them.
TelegramProtocol chooseProtocol(QByteArrayView bytes, Direction direction,
                                TelegramProtocol expected);

// The protocol of a task's telegrams: the setup datagrams on the discovery,
// IP setup and gateway settings tasks (0, 1, 3), M-Bus on the meter task
// (4), Modbus on task 5 (framing as chosen), the ASCII protocol on task 6;
// Unknown (guess from the bytes) on the others.
TelegramProtocol protocolForTask(int task, bool modbusTcpFraming);

} // namespace kestrune
