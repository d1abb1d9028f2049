#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The program's side of the support library Zarvek. CRC16 and FillString are
// bound by name when each is first called: the library is looked for as
// libraryDir() + "libZarvek.so" first, then by its bare name through the
// system's library search path. One binding serves the whole program.
//
// Nothing here throws or crashes when the library or a function is missing:
// the call returns false and the error text says which library and which
// function could not be had, ready for a message box.
//
// Nothing else in the program should open libZarvek.so through a QLibrary of
// its own: Qt shares one handle per file name among QLibrary objects, and an
// unload() on any of them unloads it for all.
namespace kestrune::zarvek {

// File name of the library beside the program.
QString libraryFileName();

// Size of the blank-filled text buffer the program hands to FillString.
inline constexpr int kTextBufferSize = 260;

// Largest data length CRC16 covers (it counts only the low 16 bits).
inline constexpr int kMaxCrcLength = 0xFFFF;

// CRC-16/MODBUS of data through the library's CRC16. The low-order byte of
// crc goes on the wire first. Data longer than kMaxCrcLength bytes is
// refused instead of being cut short silently. On failure crc is left
// alone, the reason goes to *error (when given) and to lastError().
[[nodiscard]] bool crc16(const QByteArray& data, uint16_t& crc, QString* error = nullptr);

// One value as text through the library's FillString: source holds the value's
// bytes in wire order (its size is the length passed), type and order are
// the positions of the data type and byte order in their lists. The text
// comes back with surrounding blanks trimmed, each byte as one character
// (Latin-1). A source whose size does not fit the type gives the empty text.
// On failure text is left alone and the reason is reported as for crc16().
[[nodiscard]] bool fillString(const QByteArray& source, int type, int order, QString& text,
                              QString* error = nullptr);

// The text of the most recent failure; empty when none happened since the
// start (or since resetForTests()).
QString lastError();

// Whether both functions are bound right now.
bool isBound();

// Tests only: unloads the library and forgets every binding, so that the
// next call looks for it again (for instance in another program folder).
// Must not run while another thread calls into the library.
void resetForTests();

} // namespace kestrune::zarvek
