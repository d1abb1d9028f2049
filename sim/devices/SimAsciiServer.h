#pragma once

#include "SimFaults.h"
#include "SimFramers.h"

#include <QByteArray>
#include <QList>

// The simulated gateway's ASCII tag server. A request is
//   STX, sequence (2 digits), protocol id ("00" or "01"), station (2 digits),
//   tag name, for protocol 01 a checksum (2 hex digits: the sum of the
//   character codes from the sequence to the end of the tag, modulo 256),
//   ETX.
// The positive reply is ACK, the six header characters of the request, the
// value, for protocol 01 the checksum over the header and the value, ETX. The
// negative reply is NAK, the six header characters, the error letter, ETX.
//
// When each error letter comes back:
//   C  protocol 01: the checksum does not match (or is not hexadecimal)
//   I  the tag is not in the list (an empty tag included)
//   L  the tag is longer than the longest tag name allowed, a protocol 01
//      request has no room for its checksum, or the request overruns the
//      receive buffer before its ETX
//   N  the request is cut short: a new STX, or line silence, before ETX; or
//      its sequence or protocol id is not two digits, or the protocol id is
//      neither 00 nor 01
//   S  the request ends in ETX but its STX is missing
//   X  addressed to another station, when the server is set to say so (by
//      default such requests go unanswered, as on a multidrop line where the
//      other station answers)
//   D, M, O, T, V and any other letter: set on a tag (a tag whose meter does
//      not answer can carry T, for instance) or injected for the next
//      requests.
// Every negative reply needs a header whose station is readable and ours;
// bytes that show neither are ignored.
namespace kestrune::sim {

struct AsciiTag {
    QByteArray name;
    QByteArray value;
    // 0: the tag answers its value; a letter: it answers NAK with it.
    char error = 0;
};

enum class AsciiOutcome {
    None,    // nothing handled yet
    Value,   // ACK with the value
    Error,   // NAK with an error letter
    Ignored, // no reply: another station, unreadable header, noise
};

class SimAsciiServer {
public:
    explicit SimAsciiServer(int station = 0);

    int station() const { return m_station; }
    void setStation(int station) { m_station = station < 0 ? 0 : station > 99 ? 99 : station; }

    void setTags(const QList<AsciiTag>& tags);
    const QList<AsciiTag>& tags() const { return m_tags; }
    // Adds the tag or changes its value (and clears its error letter).
    void setTag(const QByteArray& name, const QByteArray& value);
    // Makes the tag answer with an error letter (0 to clear it).
    bool setTagError(const QByteArray& name, char letter);

    // Longest tag name accepted (default 64); longer names get L.
    void setMaxTagLength(int n) { m_maxTagLength = n < 1 ? 1 : n; }
    // Requests for another station: unanswered (default) or NAK X.
    void setReplyToOtherStation(bool reply) { m_replyOtherStation = reply; }

    // The next count requests (count < 0: all until cleared) that would
    // otherwise get a reply from the tag list get NAK with this letter.
    void injectError(char letter, int count = -1);
    void clearInjectedError() { injectError(0, 0); }

    FaultSwitch& faults() { return m_faults; }

    // One framed piece of the stream.
    [[nodiscard]] QByteArray handleFrame(const AsciiFrame& frame);
    // Bytes as they came from the line, one or more requests; what is left
    // open at the end counts as followed by line silence. Returns the
    // replies one after the other.
    [[nodiscard]] QByteArray handleRequest(const QByteArray& bytes);

    AsciiOutcome lastOutcome() const { return m_outcome; }
    char lastError() const { return m_lastError; }

    // Two upper-case hexadecimal digits of the sum of the character codes
    // modulo 256.
    static QByteArray checksum(const QByteArray& text);
    // A request frame as the client builds it.
    static QByteArray buildRequest(int sequence, int protocol, int station, const QByteArray& tag);

private:
    QByteArray nak(const QByteArray& header, char letter);
    QByteArray ack(const QByteArray& header, bool withChecksum, const QByteArray& value);

    int m_station;
    QList<AsciiTag> m_tags;
    int m_maxTagLength = 64;
    bool m_replyOtherStation = false;
    char m_injected = 0;
    int m_injectedCount = 0;
    FaultSwitch m_faults;
    AsciiOutcome m_outcome = AsciiOutcome::None;
    char m_lastError = 0;
    uint32_t m_seed = 1;
};

// The tag list of the default installation: two heat meters and a water
// meter behind station 0, one meter that does not answer (T).
QList<AsciiTag> defaultAsciiTags();

} // namespace kestrune::sim
