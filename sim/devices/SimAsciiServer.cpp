#include "SimAsciiServer.h"
#include "base/TextUtil.h"

namespace kestrune::sim {

namespace {

constexpr char STX = 0x02, ETX = 0x03, ACK = 0x06, NAK = 0x15;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool twoDigits(const QByteArray& s, qsizetype at) {
    return at + 2 <= s.size() && isDigit(s[at]) && isDigit(s[at + 1]);
}

int twoDigitValue(const QByteArray& s, qsizetype at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

int hexDigit(char c) {
    return hexDigitValue(static_cast<unsigned char>(c));
}

// Values go inside a frame: control characters would break it.
QByteArray printable(const QByteArray& value) {
    QByteArray out = value;
    for (char& c : out) {
        if (uint8_t(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return out;
}

QByteArray twoDigitText(int n) {
    n = n < 0 ? 0 : n % 100;
    return QByteArray::number(n).rightJustified(2, '0');
}

} // namespace

SimAsciiServer::SimAsciiServer(int station) {
    setStation(station);
}

void SimAsciiServer::setTags(const QList<AsciiTag>& tags) {
    m_tags.clear();
    for (const AsciiTag& t : tags)
        m_tags.append({t.name, printable(t.value), t.error});
}

void SimAsciiServer::setTag(const QByteArray& name, const QByteArray& value) {
    for (AsciiTag& t : m_tags) {
        if (t.name == name) {
            t.value = printable(value);
            t.error = 0;
            return;
        }
    }
    m_tags.append({name, printable(value), 0});
}

bool SimAsciiServer::setTagError(const QByteArray& name, char letter) {
    for (AsciiTag& t : m_tags) {
        if (t.name == name) {
            t.error = letter;
            return true;
        }
    }
    return false;
}

void SimAsciiServer::injectError(char letter, int count) {
    m_injected = letter;
    m_injectedCount = letter == 0 ? 0 : count;
}

QByteArray SimAsciiServer::checksum(const QByteArray& text) {
    unsigned sum = 0;
    for (const char c : text)
        sum += uint8_t(c);
    return QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0');
}

QByteArray SimAsciiServer::buildRequest(int sequence, int protocol, int station,
                                        const QByteArray& tag) {
    const QByteArray body =
        twoDigitText(sequence) + twoDigitText(protocol) + twoDigitText(station) + tag;
    QByteArray frame(1, STX);
    frame += body;
    if (protocol == 1)
        frame += checksum(body);
    frame += ETX;
    return frame;
}

QByteArray SimAsciiServer::nak(const QByteArray& header, char letter) {
    m_outcome = AsciiOutcome::Error;
    m_lastError = letter;
    QByteArray reply(1, NAK);
    reply += header;
    reply += letter;
    reply += ETX;
    return applyFault(reply, m_faults.take(), 0, 1, m_seed++);
}

QByteArray SimAsciiServer::ack(const QByteArray& header, bool withChecksum,
                               const QByteArray& value) {
    m_outcome = AsciiOutcome::Value;
    m_lastError = 0;
    QByteArray reply(1, ACK);
    reply += header;
    reply += value;
    if (withChecksum)
        reply += checksum(header + value);
    reply += ETX;
    return applyFault(reply, m_faults.take(), withChecksum ? 2 : 0, 1, m_seed++);
}

QByteArray SimAsciiServer::handleFrame(const AsciiFrame& frame) {
    const QByteArray& body = frame.body;
    m_outcome = AsciiOutcome::Ignored;
    m_lastError = 0;
    // Without a readable station there is no telling whom the bytes were
    // for: on a shared line nobody answers them.
    if (body.size() < 6 || !twoDigits(body, 4))
        return {};
    const QByteArray header = body.left(6);
    if (twoDigitValue(body, 4) != m_station)
        return m_replyOtherStation ? nak(header, 'X') : QByteArray();

    switch (frame.kind) {
    case AsciiFrame::Incomplete:
        return nak(header, 'N');
    case AsciiFrame::NoStart:
        return nak(header, 'S');
    case AsciiFrame::Overlong:
        return nak(header, 'L');
    case AsciiFrame::Request:
        break;
    }

    if (!twoDigits(body, 0) || !twoDigits(body, 2))
        return nak(header, 'N');
    const int protocol = twoDigitValue(body, 2);
    if (protocol > 1)
        return nak(header, 'N');

    QByteArray tag;
    if (protocol == 1) {
        if (body.size() < 8)
            return nak(header, 'L');
        const qsizetype at = body.size() - 2;
        const int hi = hexDigit(body[at]);
        const int lo = hexDigit(body[at + 1]);
        const QByteArray covered = body.left(at);
        if (hi < 0 || lo < 0 || QByteArray(checksum(covered)) != body.mid(at).toUpper())
            return nak(header, 'C');
        tag = body.mid(6, at - 6);
    } else {
        tag = body.mid(6);
    }
    if (tag.size() > m_maxTagLength)
        return nak(header, 'L');

    if (m_injectedCount != 0) {
        if (m_injectedCount > 0)
            --m_injectedCount;
        return nak(header, m_injected);
    }
    for (const AsciiTag& t : m_tags) {
        if (t.name == tag) {
            if (t.error != 0)
                return nak(header, t.error);
            return ack(header, protocol == 1, t.value);
        }
    }
    return nak(header, 'I');
}

QByteArray SimAsciiServer::handleRequest(const QByteArray& bytes) {
    AsciiFramer framer;
    framer.append(bytes);
    framer.flush();
    QByteArray replies;
    while (const auto frame = framer.next())
        replies += handleFrame(*frame);
    return replies;
}

QList<AsciiTag> defaultAsciiTags() {
    return {
        {"Meter1.Heat_Energy.Value", "12345.678", 0},
        {"Meter1.Heat_Energy.Unit", "kWh", 0},
        {"Meter1.Volume.Value", "987.654", 0},
        {"Meter1.Flow_Temperature.Value", "71.3", 0},
        {"Meter1.Return_Temperature.Value", "45.2", 0},
        {"Meter1.Identification.Serial", "12345678", 0},
        {"Meter2.Heat_Energy.Value", "530.25", 0},
        {"Meter2.Power.Value", "-1.5", 0},
        {"Meter3.Water_Volume.Value", "4321.001", 0},
        {"Meter3.Water_Volume.Unit", "m3", 0},
        {"Meter4.Heat_Energy.Value", "", 'T'},
        {"Gateway.Info.Name", "Kestrune gateway simulator", 0},
    };
}

} // namespace kestrune::sim
