#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The gateway's ASCII tag protocol as pure functions over bytes: building a
// read request, telling when a reply is complete, taking the value or the
// error letter out of it, and the texts the result label shows. No I/O, so
// the wizard, the command line and the tests share one copy of every rule.
//
// Request:  STX, sequence (2 digits), protocol id (2 digits, "00" or "01"),
//           station (2 digits), tag name, for protocol 01 a checksum (two
//           upper-case hexadecimal digits of the sum of the character codes
//           from the sequence to the end of the tag, modulo 256), ETX.
// Reply:    ACK ... ETX carries a value from the 8th character on (before
//           the checksum for protocol 01); NAK ... ETX carries an error
//           letter just before the ETX.
namespace kestrune::ascii {

inline constexpr char Stx = 0x02;
inline constexpr char Etx = 0x03;
inline constexpr char Ack = 0x06;
inline constexpr char Nak = 0x15;

// Stations and sequence numbers are two decimal digits.
inline constexpr int MaxStation = 99;
inline constexpr int MaxSequence = 99;

// The protocol variants, as the position in the variant list.
inline constexpr int ProtocolStandard = 0;
inline constexpr int ProtocolWithChecksum = 1;

// The request sequence number: incremented before every request, back to 0
// after 99. The first request of a run is 01.
class SequenceCounter {
public:
    int next();
    int current() const { return m_value; }
    void set(int value) { m_value = value; }

private:
    int m_value = 0;
};

// The station a station box text stands for: its leading number (blanks,
// sign and a fraction allowed, "12abc" is 12, text without a number 0),
// rounded half away from zero and kept within 0..99.
int stationFromText(QStringView text);

// What the station box shows after its text changed: "99" for a number
// above 99, "0" for text that is not a number, otherwise the text as it is
// (an empty box stays empty and reads as 0).
QString normalisedStationText(const QString& text);

// The bytes of a tag name as a request carries it, one byte a character;
// none when the name holds a character above 255 or a control character
// (a control character such as ETX would end or break the frame).
std::optional<QByteArray> tagNameBytes(QStringView name);

// Two upper-case hexadecimal digits of the sum of the character codes
// modulo 256 ("010105A.B.C" gives "49").
QByteArray checksumText(QByteArrayView text);

// The request frame. Sequence and station are written as two digits (values
// outside 0..99 are brought into that range first); protocol 0 frames have
// no checksum, every other protocol value is written as its two digits and
// gets the checksum.
QByteArray buildRequest(int sequence, int protocol, int station, QByteArrayView tag);

enum class ReplyKind {
    Incomplete, // keep waiting
    Positive,   // ACK ... ETX
    Negative,   // NAK ... ETX
};

// Whether the bytes received so far form a reply: they must start with ACK
// or NAK and end with ETX. Anything else, however long, is not (yet) one.
ReplyKind classifyReply(QByteArrayView rx);

// The value field of a reply as the value box shows it: from the 8th
// character on, without the final ETX (protocol 0) or without checksum and
// ETX (protocol 1, where a reply of exactly 9 characters gives its 8th
// character). A reply too short to hold a value field gives the empty value;
// nothing outside the reply is ever read. Applied to a negative reply it
// gives the error letter, as the value box has always shown it.
QByteArray replyValue(QByteArrayView reply, int protocol);

// The error letter of a negative reply: the character before the last
// (0 for a reply shorter than two characters).
char replyErrorCode(QByteArrayView reply);

// "Error C:" + " Crc fault" and the rest of the table for the upper-case
// letters C D I L M N O S T V X; "Unknown AsciiError" for any other code.
QString errorText(char code);

// The result text of a reply time-out: "BusTimeout (Received n bytes)".
QString timeoutText(qsizetype received);

// The result text of a positive reply.
inline QString okText() {
    return QStringLiteral("Ok");
}

} // namespace kestrune::ascii
