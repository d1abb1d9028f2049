#include "SimConsole.h"

#include "netsetup/HexRecord.h"

namespace kestrune::sim {

namespace {

// A record number after a one-letter command: "G3" -> 3, else -1.
int recordNumberOf(const QByteArray& line) {
    if (line.size() != 2 || line[1] < '0' || line[1] > '7')
        return -1;
    return line[1] - '0';
}

} // namespace

SimConsole::SimConsole(SimGateway& gateway)
    : m_gateway(gateway), m_seenRestarts(gateway.restartCount()) {}

void SimConsole::setPrompt(const QByteArray& prompt) {
    if (prompt == "0>" || prompt == "9>")
        m_prompt = prompt;
}

void SimConsole::sleep() {
    m_state = State::Asleep;
    m_zRun = 0;
    m_line.clear();
    m_lineOverflow = false;
    m_writeData.clear();
    m_writeFailed = false;
}

void SimConsole::error(QByteArray& out, const char* text) {
    out += "\r\n";
    out += text;
    out += "\r\n";
    out += m_prompt;
}

ConsoleReply SimConsole::feed(QByteArrayView input, int64_t nowMs) {
    ConsoleReply reply;
    if (m_gateway.restartCount() != m_seenRestarts) {
        // Restarted through the network (or by us): the console starts asleep.
        m_seenRestarts = m_gateway.restartCount();
        sleep();
    }
    if (m_gateway.isRestarting(nowMs))
        return reply;

    for (char c : input) {
        if (m_state == State::Asleep) {
            m_zRun = (c == 'z' || c == 'Z') ? m_zRun + 1 : 0;
            if (m_zRun >= 3) {
                m_state = State::Awake;
                m_zRun = 0;
                m_line.clear();
                m_lineOverflow = false;
                reply.output += m_prompt;
            }
            continue;
        }
        if (c == '\r' || c == '\n') {
            endLine(nowMs, reply.output);
            if (m_gateway.restartCount() != m_seenRestarts) {
                // "RS": everything after it is lost in the restart.
                m_seenRestarts = m_gateway.restartCount();
                sleep();
                break;
            }
            continue;
        }
        if (m_line.size() < kMaxLineLength)
            m_line.append(c);
        else
            m_lineOverflow = true;
        // The closing line of a record write comes without a line end.
        if (m_state == State::ReceivingRecord && !m_lineOverflow && m_line == hexEndLine()) {
            m_line.clear();
            finishWrite(reply.output);
        }
    }
    reply.events = m_gateway.takeEvents();
    if (m_fault == ConsoleFault::Silent)
        reply.output.clear();
    return reply;
}

void SimConsole::endLine(int64_t nowMs, QByteArray& out) {
    QByteArray line = m_line;
    const bool overflow = m_lineOverflow;
    m_line.clear();
    m_lineOverflow = false;
    if (m_state == State::ReceivingRecord) {
        if (overflow) {
            m_writeFailed = true;
            return;
        }
        if (!line.isEmpty())
            recordLine(line, out);
        return;
    }
    if (overflow) {
        error(out, "Line too long");
        return;
    }
    // A wake-up repeated after the console is already awake is no command,
    // but it shows the prompt again: the program wakes a console that an
    // earlier exchange left awake the same way.
    qsizetype z = 0;
    while (z < line.size() && (line[z] == 'z' || line[z] == 'Z'))
        ++z;
    line.remove(0, z);
    line = line.trimmed();
    if (!line.isEmpty())
        command(line.toUpper(), nowMs, out);
    else if (z > 0)
        out += m_prompt;
}

void SimConsole::command(QByteArray line, int64_t nowMs, QByteArray& out) {
    if (line == "RS") {
        m_gateway.restart(nowMs);
        return; // the caller puts the console to sleep
    }
    if (line == "QU") {
        sleep();
        return;
    }
    const int n = recordNumberOf(line);
    if (line.startsWith('G') && n >= 0) {
        out += "\r\n";
        const QList<QByteArray> lines =
            encodeRecordLines(m_gateway.record(n).bytes(), HexCheck::ByteSum, kHexTypeData);
        for (QByteArray hexLine : lines) {
            if (m_fault == ConsoleFault::BadLineCheck) {
                char& last = hexLine[hexLine.size() - 1];
                last = last == '0' ? '1' : '0';
            }
            out += hexLine + "\r\n";
        }
        out += hexEndLine() + "\r\n";
        out += m_prompt;
        return;
    }
    if (line.startsWith('S') && n >= 0) {
        m_state = State::ReceivingRecord;
        m_writeRecord = n;
        m_writeData.clear();
        m_writeFailed = false;
        return;
    }
    error(out, "Unknown command");
}

void SimConsole::recordLine(const QByteArray& line, QByteArray& out) {
    if (!line.startsWith(':')) {
        // Not a record line: the write is abandoned, the record untouched.
        m_state = State::Awake;
        m_writeData.clear();
        error(out, "Record write aborted");
        return;
    }
    QByteArray data;
    uint16_t offset = 0;
    uint8_t type = 0;
    const bool decoded = decodeHexRecordLine(QByteArrayView(line), data, offset,
                                             m_check != ConsoleCheck::ByteSum, &type);
    // Only the character sum: the line must carry exactly that check value.
    const bool checked =
        decoded && (m_check != ConsoleCheck::CharSum ||
                    encodeHexRecordLine(offset, data, HexCheck::CharSum, type) == line.toUpper());
    if (!checked || (type != kHexTypeRecordWrite && type != kHexTypeData) ||
        offset != m_writeData.size() ||
        m_writeData.size() + data.size() > SimGateway::kMaxRecordBytes) {
        m_writeFailed = true;
        return;
    }
    m_writeData += data;
}

void SimConsole::finishWrite(QByteArray& out) {
    const bool ok = !m_writeFailed && m_fault != ConsoleFault::RejectWrite &&
                    m_gateway.storeRecord(m_writeRecord, m_writeData);
    m_state = State::Awake;
    m_writeData.clear();
    m_writeFailed = false;
    if (ok)
        out += kWriteAccepted;
    else
        error(out, "Record error");
}

} // namespace kestrune::sim
