#pragma once

#include "base/ResultTone.h"
#include "ascii/AsciiProtocol.h"

#include <QByteArray>
#include <QString>

namespace kestrune {
class Link;
}

// One read of a tag over the open link, as the ASCII page's Read button and
// the command line run it: the request goes out with the next sequence
// number, the wait ends as soon as the received bytes form a positive or
// negative reply, or at the bus time-out. The outcome is logged and counted
// and comes back with the texts and the tone the result label shows.
namespace kestrune::ascii {

struct ReadRequest {
    int protocol = ProtocolStandard; // position in the variant list: 0 or 1
    QString stationText;             // the station box as typed
    QByteArray tag;                  // the tag name, 8-bit
};

enum class ReadStatus {
    Value,       // a positive reply arrived
    DeviceError, // a negative reply arrived
    Timeout,     // no complete reply within the bus time-out
    Busy,        // another exchange was still waiting: nothing was sent
};

struct ReadResult {
    ReadStatus status = ReadStatus::Timeout;
    // The station the request went to, after clamping to 0..99; the page
    // writes it back into its box.
    int station = 0;
    int sequence = 0;
    QByteArray request;
    // The complete reply, or on a time-out whatever had arrived.
    QByteArray reply;
    // The value box text: replyValue() of the reply (for a negative reply
    // its error letter). Empty on a time-out, where the box keeps its text.
    QByteArray value;
    char errorCode = 0; // negative replies
    QString text;       // the result label
    ResultTone tone = ResultTone::Failure;
    // The link was closed before the request, or went away during the wait.
    bool linkLost = false;

    // Whether a reply arrived, positive or negative.
    bool replied() const {
        return status == ReadStatus::Value || status == ReadStatus::DeviceError;
    }
};

class Client {
public:
    // A client on the given link; without one, on the program's link.
    explicit Client(Link* link = nullptr) : m_link(link) {}

    // Runs one read. While another read or any other exchange of the link
    // is waiting, returns Busy at once without sending or counting anything
    // (a poll tick or a second click during a wait).
    ReadResult read(const ReadRequest& request);

    // Whether a read is waiting for its reply.
    bool isBusy() const { return m_busy; }

    // The sequence number runs on over the whole program run, whatever the
    // station.
    SequenceCounter& sequence() { return m_sequence; }

private:
    Link& theLink() const;

    Link* m_link;
    SequenceCounter m_sequence;
    bool m_busy = false;
};

// The program's one client, on the program's link.
Client& client();

} // namespace kestrune::ascii
