#include "SimFramers.h"

#include <zarvek/Zarvek.h>

namespace kestrune::sim {

namespace {

// A frame followed by its CRC (low byte first) has the CRC 0.
bool crcValidAt(const QByteArray& buffer, qsizetype at, qsizetype length) {
    return length >= 3 && at + length <= buffer.size() &&
           CRC16(reinterpret_cast<const uint8_t*>(buffer.constData() + at), uint32_t(length)) == 0;
}

constexpr int kRtuMaxFrame = 256;
// Requests of functions without a known length are looked for by their CRC
// among the first this many bytes (no such request of a real master is
// longer).
constexpr int kRtuUnknownScan = 32;
constexpr int kAsciiMaxFrames = 64;

} // namespace

// --- Modbus TCP --------------------------------------------------------------

ModbusTcpFramer::ModbusTcpFramer(int limit) : m_limit(limit < 260 ? 260 : limit) {}

void ModbusTcpFramer::append(const QByteArray& bytes) {
    m_buffer.append(bytes);
    if (m_buffer.size() > m_limit) {
        const qsizetype excess = m_buffer.size() - m_limit;
        m_buffer.remove(0, excess);
        m_discarded += excess;
    }
}

std::optional<QByteArray> ModbusTcpFramer::next() {
    while (m_buffer.size() >= 6) {
        const auto b = [this](int i) { return uint8_t(m_buffer[i]); };
        const int protocol = (b(2) << 8) | b(3);
        const int length = (b(4) << 8) | b(5);
        if (protocol != 0 || length < 2 || length > 254) {
            m_buffer.remove(0, 1);
            ++m_discarded;
            continue;
        }
        if (m_buffer.size() < 6 + length)
            return std::nullopt;
        QByteArray adu = m_buffer.left(6 + length);
        m_buffer.remove(0, 6 + length);
        return adu;
    }
    return std::nullopt;
}

// --- Modbus RTU --------------------------------------------------------------

ModbusRtuFramer::ModbusRtuFramer(int limit)
    : m_limit(limit < 2 * kRtuMaxFrame ? 2 * kRtuMaxFrame : limit) {}

void ModbusRtuFramer::append(const QByteArray& bytes) {
    m_buffer.append(bytes);
    if (m_buffer.size() > m_limit)
        drop(m_buffer.size() - m_limit);
}

void ModbusRtuFramer::drop(qsizetype n) {
    m_buffer.remove(0, n);
    m_discarded += n;
}

int ModbusRtuFramer::knownLength(qsizetype at) const {
    if (at + 2 > m_buffer.size())
        return 0;
    switch (uint8_t(m_buffer[at + 1])) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
        return 8;
    case 7:
    case 11:
    case 12:
    case 17:
        return 4;
    case 24:
        return 6;
    case 22:
        return 10;
    case 15:
    case 16:
        if (at + 7 > m_buffer.size())
            return 0;
        return 9 + uint8_t(m_buffer[at + 6]);
    case 23:
        if (at + 11 > m_buffer.size())
            return 0;
        return 13 + uint8_t(m_buffer[at + 10]);
    default:
        return -1;
    }
}

std::optional<QByteArray> ModbusRtuFramer::next() {
    while (m_buffer.size() >= 4) {
        const int length = knownLength(0);
        if (length > kRtuMaxFrame) {
            // A byte count no RTU frame can hold: not a request.
            drop(1);
            continue;
        }
        if (length > 0 && m_buffer.size() >= length) {
            if (crcValidAt(m_buffer, 0, length)) {
                const QByteArray frame = m_buffer.left(length);
                m_buffer.remove(0, length);
                return frame;
            }
            drop(1);
            continue;
        }
        if (length < 0) {
            const qsizetype most = qMin<qsizetype>(m_buffer.size(), kRtuUnknownScan);
            for (qsizetype n = 4; n <= most; ++n) {
                if (crcValidAt(m_buffer, 0, n)) {
                    const QByteArray frame = m_buffer.left(n);
                    m_buffer.remove(0, n);
                    return frame;
                }
            }
            if (m_buffer.size() >= kRtuUnknownScan) {
                drop(1);
                continue;
            }
        }
        // The bytes at the front do not make a frame yet. If a complete
        // frame of known length with a valid CRC lies further on, the front
        // was noise: skip to it.
        bool skipped = false;
        for (qsizetype k = 1; k + 4 <= m_buffer.size(); ++k) {
            const int len = knownLength(k);
            if (len > 0 && len <= kRtuMaxFrame && crcValidAt(m_buffer, k, len)) {
                drop(k);
                skipped = true;
                break;
            }
        }
        if (!skipped)
            return std::nullopt;
    }
    return std::nullopt;
}

// --- ASCII -------------------------------------------------------------------

AsciiFramer::AsciiFramer(int maxBody) : m_maxBody(maxBody < 16 ? 16 : maxBody) {}

void AsciiFramer::emitFrame(AsciiFrame::Kind kind, const QByteArray& body) {
    if (m_frames.size() >= kAsciiMaxFrames) {
        m_discarded += m_frames.first().body.size() + 2;
        m_frames.removeFirst();
    }
    m_frames.append({kind, body});
}

void AsciiFramer::append(const QByteArray& bytes) {
    constexpr char STX = 0x02, ETX = 0x03, ACK = 0x06, NAK = 0x15;
    for (const char c : bytes) {
        if (c == STX) {
            if (m_state == State::InFrame)
                emitFrame(AsciiFrame::Incomplete, m_body);
            else
                m_discarded += m_body.size();
            m_body.clear();
            m_state = State::InFrame;
            continue;
        }
        if (c == ETX) {
            if (m_state == State::InFrame)
                emitFrame(AsciiFrame::Request, m_body);
            else if (m_state == State::Idle && !m_body.isEmpty())
                emitFrame(AsciiFrame::NoStart, m_body);
            m_body.clear();
            m_state = State::Idle;
            continue;
        }
        switch (m_state) {
        case State::Idle:
            if (c == ACK || c == NAK) {
                // Another device's reply: not ours to look at.
                m_discarded += m_body.size() + 1;
                m_body.clear();
                m_state = State::Skip;
                break;
            }
            m_body.append(c);
            if (m_body.size() > m_maxBody) {
                m_body.remove(0, 1);
                ++m_discarded;
            }
            break;
        case State::InFrame:
            if (m_body.size() >= m_maxBody) {
                emitFrame(AsciiFrame::Overlong, m_body);
                m_body.clear();
                m_state = State::Skip;
                ++m_discarded;
                break;
            }
            m_body.append(c);
            break;
        case State::Skip:
            ++m_discarded;
            break;
        }
    }
}

std::optional<AsciiFrame> AsciiFramer::next() {
    if (m_frames.isEmpty())
        return std::nullopt;
    return m_frames.takeFirst();
}

void AsciiFramer::flush() {
    if (m_state == State::InFrame)
        emitFrame(AsciiFrame::Incomplete, m_body);
    else
        m_discarded += m_body.size();
    m_body.clear();
    m_state = State::Idle;
}

void AsciiFramer::clear() {
    m_body.clear();
    m_frames.clear();
    m_state = State::Idle;
}

} // namespace kestrune::sim
