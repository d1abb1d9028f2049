#pragma once

#include "sim/gateway/SimGateway.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace kestrune::sim {

// Fault injection for the console, so tests can walk the wizard's failure
// paths. Stays until cleared.
enum class ConsoleFault {
    None,
    // A dead line: nothing is ever answered (input is still taken).
    Silent,
    // Record listings ("G") carry a wrong check value on every line.
    BadLineCheck,
    // Record writes ("S") end in an error text instead of the bare prompt,
    // and the record stays as it was.
    RejectWrite,
};

// Which check value the console takes on the lines of a record write.
enum class ConsoleCheck {
    Either,  // the Intel HEX byte sum or the character sum
    ByteSum, // only the Intel HEX byte sum
    CharSum, // only the character sum (what the wizard puts on its lines)
};

struct ConsoleReply {
    QByteArray output; // bytes the console sends back on the serial line
    QList<SimEvent> events;
};

// The serial console of a simulated gateway (9600 8N1 on the real thing): a
// byte stream in, bytes out. It works on the records of its gateway.
//
//   asleep:  "zzz" wakes it up and it answers its prompt ("0>", or "9>"
//            for a console set so).
//   "G"n CR: the record as hexadecimal lines (CR LF after each), then the
//            prompt.
//   "S"n CR: the following ":" lines (CR after each, check value by the
//            console's rule) fill record n; ":00000001FF" stores it and the
//            console answers exactly "0>", whatever its prompt (an error
//            text and the prompt when the lines were bad, and the record
//            stays as it was).
//   "RS" CR: restarts the gateway; the console sleeps again.
//   "QU" CR: leaves the console silently; it sleeps again.
// Other lines get an error text and the prompt. While the gateway restarts
// every byte is dropped.
class SimConsole {
public:
    enum class State { Asleep, Awake, ReceivingRecord };
    static constexpr int kMaxLineLength = 600;
    static constexpr char kPrompt[] = "0>";
    // The answer to a record write that was stored.
    static constexpr char kWriteAccepted[] = "0>";

    explicit SimConsole(SimGateway& gateway);

    ConsoleReply feed(QByteArrayView input, int64_t nowMs);
    State state() const { return m_state; }
    void setFault(ConsoleFault fault) { m_fault = fault; }
    ConsoleFault fault() const { return m_fault; }
    // "0>" or "9>" (anything else is ignored).
    void setPrompt(const QByteArray& prompt);
    const QByteArray& prompt() const { return m_prompt; }
    void setCheckRule(ConsoleCheck rule) { m_check = rule; }
    ConsoleCheck checkRule() const { return m_check; }

private:
    void endLine(int64_t nowMs, QByteArray& out);
    void command(QByteArray line, int64_t nowMs, QByteArray& out);
    void recordLine(const QByteArray& line, QByteArray& out);
    void finishWrite(QByteArray& out);
    void error(QByteArray& out, const char* text);
    void sleep();

    SimGateway& m_gateway;
    State m_state = State::Asleep;
    uint32_t m_seenRestarts = 0;
    int m_zRun = 0;
    QByteArray m_line;
    bool m_lineOverflow = false;
    int m_writeRecord = 0;
    QByteArray m_writeData;
    bool m_writeFailed = false;
    ConsoleFault m_fault = ConsoleFault::None;
    QByteArray m_prompt = kPrompt;
    ConsoleCheck m_check = ConsoleCheck::Either;
};

} // namespace kestrune::sim
