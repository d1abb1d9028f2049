#pragma once

#include "base/ResultTone.h"
#include "modbus/ModbusFrame.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace kestrune {
class Link;
}

// One Modbus read over the program's link: build the request in the chosen
// framing, send it, wait for the reply (an event-loop wait woken by arriving
// bytes, never a spinning loop), recognise exception replies, check the
// reply and hand its register bytes on. Every telegram, note and outcome goes
// to the traffic log and its counters, as for every other exchange. The
// wizard's Modbus page and kestrune-cli both read through this class.
namespace kestrune::modbus {

// How a result label shows an outcome: blue for success, dark red for an
// error reply of the device (exception, bad CRC, wrong transaction
// identifier), red for a time-out and anything else that failed.
using Tone = ResultTone;

// The read as the page's controls give it, before range checks.
struct ReadParameters {
    Framing framing = Framing::Rtu;
    int64_t unit = 1;
    int64_t function = ReadHoldingRegisters;
    int64_t first = 0;
    int64_t count = 1;
};

// The text (from the language file) naming the first parameter that does not
// fit its field of the request; empty when all fit. A count above 125 fits:
// it is sent and the slave's exception reply shown.
QString parameterProblem(const ReadParameters& parameters);

enum class Outcome {
    NotOpen,            // the link is closed: nothing sent, nothing to show
    Busy,               // an exchange is already waiting: nothing sent
    Refused,            // a parameter does not fit, or no CRC: nothing sent
    Ok,                 // a complete reply that passed the check
    Exception,          // an exception reply
    Timeout,            // no complete reply in time
    LinkLost,           // the link closed during the wait
    WrongTransactionId, // TCP framing: the reply answers another request
    BadCrc,             // RTU framing: the reply's CRC is wrong
    LibraryFailed,      // the support library could not check the CRC
};

// Short lower-case name of an outcome ("ok", "exception", "timeout", ...),
// for scripts.
QString outcomeName(Outcome outcome);

struct ReadResult {
    Outcome outcome = Outcome::NotOpen;
    // A reply or an exception reply arrived: the sheet's shown bytes and
    // values are emptied before the check.
    bool exchanged = false;
    // The check passed: registers belong in the sheet (empty for an
    // exception reply).
    bool registersValid = false;
    Framing framing = Framing::Rtu;
    ReadRequest request;
    uint16_t transactionId = 0; // TCP framing only
    QByteArray sent;
    QByteArray reply; // what the receive buffer held at the end of the wait
    QByteArray registers;
    int exceptionCode = 0;
    // What the result label shows, and how.
    QString text;
    Tone tone = Tone::Failure;

    // Whether the page should show text at all (not for a closed link or a
    // read refused because another one waits).
    bool showsText() const { return outcome != Outcome::NotOpen && outcome != Outcome::Busy; }
};

class ModbusClient {
public:
    explicit ModbusClient(Link& link, TransactionCounter& counter = programTransactionCounter());

    // Runs one read exchange with the link's bus delay and reply time-out.
    // Returns at once (Busy) while this or any other exchange on the link is
    // waiting, so a timer tick or a click handled inside the wait never
    // starts a second one.
    ReadResult read(const ReadParameters& parameters);

    bool isBusy() const { return m_busy; }

private:
    Link& m_link;
    TransactionCounter& m_counter;
    bool m_busy = false;
};

} // namespace kestrune::modbus
