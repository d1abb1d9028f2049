#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// M-Bus link-layer telegrams (FT1.2 framing): the single character E5, the
// short frame 10 C A CS 16 and the long frame 68 L L 68 C A CI data CS 16.
// Builders, a strict parser for telegrams we receive as a device, the
// completeness rule the program applies to replies, and the fixed header of a
// variable-data reply. Pure functions over bytes; no state, no I/O.
namespace kestrune {

namespace mbus {

inline constexpr uint8_t kAck = 0xE5;
inline constexpr uint8_t kShortStart = 0x10;
inline constexpr uint8_t kLongStart = 0x68;
inline constexpr uint8_t kStop = 0x16;

// C field values and bits.
inline constexpr uint8_t kSndNke = 0x40;
inline constexpr uint8_t kReqUd2 = 0x5B;    // FCB 0, FCV 1
inline constexpr uint8_t kReqUd2Fcb = 0x7B; // FCB 1, FCV 1
inline constexpr uint8_t kSndUd = 0x53;     // FCB 0, FCV 1
inline constexpr uint8_t kSndUdFcb = 0x73;  // FCB 1, FCV 1
inline constexpr uint8_t kRspUd = 0x08;
inline constexpr uint8_t kFcbBit = 0x20;
inline constexpr uint8_t kFcvBit = 0x10;
// Function code of a master telegram once FCB and FCV are masked out.
inline constexpr uint8_t kFunctionMask = 0xCF;
inline constexpr uint8_t kFunctionSndNke = 0x40;
inline constexpr uint8_t kFunctionSndUd = 0x43;
inline constexpr uint8_t kFunctionReqUd1 = 0x4A;
inline constexpr uint8_t kFunctionReqUd2 = 0x4B;

// A field values with a meaning of their own.
inline constexpr uint8_t kAddressSelected = 0xFD;  // the meter chosen by the last selection
inline constexpr uint8_t kAddressTest = 0xFE;      // every meter answers
inline constexpr uint8_t kAddressBroadcast = 0xFF; // every meter listens, none answers

// CI field values.
inline constexpr uint8_t kCiApplicationReset = 0x50;
inline constexpr uint8_t kCiDataSend = 0x51;
inline constexpr uint8_t kCiSelect = 0x52;
inline constexpr uint8_t kCiSpeed300 = 0xB8; // B8..BD: 300, 600, 1200, 2400, 4800, 9600 baud
inline constexpr uint8_t kCiSpeed9600 = 0xBD;
inline constexpr uint8_t kCiVariableReply = 0x72;
inline constexpr uint8_t kCiFixedReply = 0x73;
inline constexpr uint8_t kCiVariableReplyMsbFirst = 0x76;
inline constexpr uint8_t kCiFixedReplyMsbFirst = 0x77;

// The longest long frame: L is one byte.
inline constexpr int kMaxUserBytes = 255;
inline constexpr int kMaxFrameBytes = kMaxUserBytes + 6;

} // namespace mbus

// Arithmetic sum of the bytes modulo 256; 0 for no bytes.
uint8_t MBusChecksum(QByteArrayView bytes);

// 10 C A CS 16.
QByteArray buildShortFrame(uint8_t c, uint8_t a);

// 68 L L 68, the given bytes (C A CI data...), their checksum, 16, with L the
// number of bytes given. Empty when there are fewer than 3 bytes (no C, A and
// CI) or more than 255 (L would not fit in one byte).
[[nodiscard]] QByteArray buildLongFrame(QByteArrayView userBytes);
[[nodiscard]] QByteArray buildLongFrame(uint8_t c, uint8_t a, uint8_t ci, QByteArrayView data = {});

// The eight (or fourteen, with a fabrication number) data bytes of a
// selection by secondary address, from the masks as the user types them:
// identification 8 characters, manufacturer 4, version 2, medium 2, each
// padded on the left with F and cut to its last characters, then read pair by
// pair as hexadecimal (a character that is no hexadecimal digit counts as 0).
// Identification and manufacturer go least significant byte first. With a
// fabrication mask (an empty one means all wildcards), DIF 0C and VIF 78 and
// its four bytes follow.
QByteArray selectionData(QStringView id, QStringView manufacturer, QStringView version,
                         QStringView medium, std::optional<QStringView> fabrication = {});

// The whole selection telegram: long frame C 53, A FD, CI 52, selectionData.
QByteArray buildSelectionFrame(QStringView id, QStringView manufacturer, QStringView version,
                               QStringView medium, std::optional<QStringView> fabrication = {});

// The program's rule for "a reply is complete": exactly the single byte E5;
// or 68 L L 68 with exactly L + 6 bytes and the checksum at position L + 5
// (1-based) matching the L bytes from position 5. The stop byte is not
// examined; short frames are never a reply; extra bytes spoil the reply.
bool isCompleteMBusReply(QByteArrayView bytes);

// --- Strict parsing, as a device reads telegrams ---------------------------

enum class MBusFrameKind {
    Ack,     // E5
    Short,   // 10 C A CS 16
    Control, // long frame with no data after CI (L = 3)
    Long,    // long frame with data
};

struct MBusFrame {
    MBusFrameKind kind = MBusFrameKind::Ack;
    uint8_t c = 0;
    uint8_t a = 0;
    uint8_t ci = 0;  // long and control frames only
    QByteArray data; // bytes after CI, long frames only
    int size = 0;    // bytes the frame occupies
};

// How many bytes the telegram at the start of `bytes` occupies, judged from
// its first bytes only: 0 when more bytes are needed to tell, -1 when the
// start cannot begin a telegram (not E5, 10 or 68; or 68 L L' 68 with L != L'
// or L < 3). Lets a receiver cut a byte stream into telegrams.
int expectedFrameSize(QByteArrayView bytes);

// Parses exactly one telegram that fills `bytes` completely: start and stop
// bytes, both length bytes, L >= 3 and the checksum must all be right.
// Anything else (a prefix, trailing bytes, a bad checksum) gives nothing.
std::optional<MBusFrame> parseMBusFrame(QByteArrayView bytes);

// --- Fixed header of a variable-data reply ---------------------------------

struct MBusReplyHeader {
    uint8_t a = 0;
    uint8_t ci = 0;
    QString id;                // bytes 8..11, most significant first, 8 hex digits
    uint16_t manufacturer = 0; // bytes 12..13, least significant first
    QString letters;           // three letters, empty when manufacturer is 0
    uint8_t version = 0;       // byte 14
    uint8_t medium = 0;        // byte 15
};

// Reads A, CI, identification, manufacturer, version and medium from a long
// frame (positions counted from 1: A 6, CI 7, 8..15 the header). The frame
// must pass isCompleteMBusReply and hold at least the eight header bytes
// before checksum and stop; otherwise nothing. The CI is reported, not
// judged: for a fixed structure (CI 73) bytes 12..15 are no manufacturer,
// version or medium, and the caller decides what to show.
std::optional<MBusReplyHeader> readReplyHeader(const QByteArray& frame);

// Letters for k = 2, 1, 0: chr(m div 32^k + 64), m = m mod 32^k. The top bit
// is not masked, so values of 0x8000 and more give a first letter from the
// range 96..127. Empty for 0.
QString manufacturerLetters(uint16_t value);

// The value three letters A..Z stand for ("ABB" -> 0x0442); nullopt for
// anything but three upper-case letters.
std::optional<uint16_t> manufacturerValue(QStringView letters);

} // namespace kestrune
