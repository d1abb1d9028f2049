#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

// The link's receive rules as pure functions over bytes: when an M-Bus reply
// is complete, which note a reply time-out writes, how a hexadecimal record
// line from the serial console extends the receive buffer, and when the
// console prompt is there. No state, no I/O, so they are easy to test and to
// fuzz.
namespace kestrune::receive {

// The single acknowledgement character of M-Bus.
inline constexpr uint8_t MBusAck = 0xE5;
inline constexpr uint8_t MBusLongStart = 0x68;

// Whether rx holds a complete M-Bus reply: exactly the single byte E5, or a
// long frame 68 L L 68 ... CS 16 of exactly L + 6 bytes whose checksum byte is
// the sum modulo 256 of the L user bytes. The stop byte is not examined and a
// short frame (10 ...) is never a reply.
//
// announcedLength carries L between calls: it is set to the second byte
// whenever rx starts with a long-frame header (first and fourth byte 68) and
// left alone otherwise, so the time-out note can name the size the last
// header announced.
[[nodiscard]] bool isCompleteMBusReply(QByteArrayView rx, int& announcedLength);

// The note a reply time-out writes to the traffic log, for n bytes received
// and the length L announced by the last long-frame header seen (0: none):
//   "BusTimeout"                                     n = 0
//   "BusTimeout (Received n byte)"                   1 <= n <= 3
//   "BusTimeout (Received only n of M bytes)"        4 <= n <= M
//   "BusTimeout (Received n bytes)"                  n > M, L = 0
//   "BusTimeout (Received to many bytes n of M)"     n > M, L > 0
// with M = L + 6.
QString mbusTimeoutNote(qsizetype received, int announcedLength);

// One line of the serial console (carriage returns and the line feed already
// removed) read as a hexadecimal record ":LLAAAATT<data>CC". The line is
// used only when it starts with ':', has at least 12 characters, the
// two-character groups after the colon sum to 0 modulo 256, and the record
// address plus 4 equals rx.size() (records arrive in address order behind
// the 4 header bytes already in the buffer). Its data groups are then
// appended to rx and true is returned; any other line leaves rx unchanged.
bool decodeHexRecordLine(QByteArrayView line, QByteArray& rx);

// Whether the console text holds one of the gateway's prompts, "9>" or "0>".
bool containsConsolePrompt(QByteArrayView serialText);

} // namespace kestrune::receive
