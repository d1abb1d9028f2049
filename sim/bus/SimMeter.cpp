#include "sim/bus/SimMeter.h"

namespace kestrune::sim {

using namespace mbus;

namespace {

// Header layout of the replies, as indices into the whole frame.
constexpr int kHeaderIndex = 7; // first byte after CI

uint8_t at(QByteArrayView bytes, qsizetype i) {
    return static_cast<uint8_t>(bytes[i]);
}

bool nibblesMatch(QByteArrayView mask, uint32_t value) {
    // mask: four bytes, least significant first; nibble F is a wildcard.
    for (int i = 0; i < 4; ++i) {
        const uint8_t m = at(mask, i);
        const auto v = static_cast<uint8_t>(value >> (8 * i));
        if ((m & 0x0F) != 0x0F && (m & 0x0F) != (v & 0x0F)) {
            return false;
        }
        if ((m & 0xF0) != 0xF0 && (m & 0xF0) != (v & 0xF0)) {
            return false;
        }
    }
    return true;
}

MeterAnswer ack(int baud) {
    return {QByteArray(1, static_cast<char>(kAck)), baud};
}

} // namespace

SimMeter::SimMeter(uint8_t primaryAddress, const MeterIdentity& identity, QByteArray replyTemplate,
                   int baud)
    : m_primary(primaryAddress), m_identity(identity), m_baud(baud) {
    setReplyTemplate(std::move(replyTemplate));
}

void SimMeter::setReplyTemplate(QByteArray replyTemplate) {
    m_template = std::move(replyTemplate);
    m_lastReply.clear();
    m_lastFcb.reset();
    // Any complete long frame with C, A and CI will do; the header is
    // filled in as far as the frame has room for it.
    m_templateValid = isCompleteMBusReply(m_template) && m_template.size() >= kHeaderIndex + 2;
    if (!m_templateValid)
        return;
    const int access = isFixedStructure() ? kHeaderIndex + 4
                       : hasLongHeader()  ? kHeaderIndex + 8
                                          : -1;
    if (access >= 0 && access < m_template.size() - 2)
        m_access = at(m_template, access);
}

bool SimMeter::isFixedStructure() const {
    return m_template.size() > 6 &&
           (at(m_template, 6) == kCiFixedReply || at(m_template, 6) == kCiFixedReplyMsbFirst);
}

bool SimMeter::hasLongHeader() const {
    return m_template.size() > 6 &&
           (at(m_template, 6) == kCiVariableReply || at(m_template, 6) == kCiVariableReplyMsbFirst);
}

int SimMeter::baudForSpeedCi(uint8_t ci) {
    if (ci < kCiSpeed300 || ci > kCiSpeed9600) {
        return 0;
    }
    return 300 << (ci - kCiSpeed300);
}

QByteArray SimMeter::buildReply() const {
    if (!m_templateValid) {
        return {};
    }
    QByteArray reply = m_template;
    // Only user data is rewritten: never the checksum or stop byte of a
    // frame too short for its header.
    const qsizetype userEnd = reply.size() - 2;
    auto put = [&reply, userEnd](int index, uint32_t value) {
        if (index < userEnd)
            reply[index] = static_cast<char>(value & 0xFF);
    };
    put(4, kRspUd);
    put(5, m_primary);
    if (isFixedStructure() || hasLongHeader()) {
        for (int i = 0; i < 4; ++i) {
            put(kHeaderIndex + i, m_identity.id >> (8 * i));
        }
    }
    if (isFixedStructure()) {
        put(kHeaderIndex + 4, m_access);
    } else if (hasLongHeader()) {
        put(kHeaderIndex + 4, m_identity.manufacturer);
        put(kHeaderIndex + 5, m_identity.manufacturer >> 8);
        put(kHeaderIndex + 6, m_identity.version);
        put(kHeaderIndex + 7, m_identity.medium);
        put(kHeaderIndex + 8, m_access);
    }
    const qsizetype l = reply.size() - 6;
    reply[reply.size() - 2] = static_cast<char>(MBusChecksum(QByteArrayView(reply).sliced(4, l)));
    reply[reply.size() - 1] = static_cast<char>(kStop);
    return reply;
}

bool SimMeter::matchesSelection(QByteArrayView data) const {
    if (data.size() != 8 && data.size() != 14) {
        return false;
    }
    if (!nibblesMatch(data.first(4), m_identity.id)) {
        return false;
    }
    const auto man = static_cast<uint16_t>(at(data, 5) << 8 | at(data, 4));
    if (man != 0xFFFF && man != m_identity.manufacturer) {
        return false;
    }
    if (at(data, 6) != 0xFF && at(data, 6) != m_identity.version) {
        return false;
    }
    if (at(data, 7) != 0xFF && at(data, 7) != m_identity.medium) {
        return false;
    }
    if (data.size() == 14) {
        if (at(data, 8) != 0x0C || at(data, 9) != 0x78) {
            return false;
        }
        const QByteArrayView fab = data.sliced(10, 4);
        if (m_identity.fabrication) {
            return nibblesMatch(fab, *m_identity.fabrication);
        }
        // A meter without a fabrication number matches only the all-wildcard mask.
        return fab == QByteArrayView("\xFF\xFF\xFF\xFF", 4);
    }
    return true;
}

SimMeter::Target SimMeter::targetOf(const MBusFrame& frame) const {
    switch (frame.a) {
    case kAddressBroadcast:
        return Target::Listen;
    case kAddressTest:
        return Target::Answer;
    case kAddressSelected:
        return m_selected ? Target::Answer : Target::None;
    default:
        return frame.a == m_primary ? Target::Answer : Target::None;
    }
}

MeterAnswer SimMeter::handle(const MBusFrame& frame) {
    MeterAnswer a = answer(frame);
    a.bytes = spoil(a.bytes);
    return a;
}

QByteArray SimMeter::spoil(const QByteArray& bytes) {
    const ReplyFault fault = m_faults.current();
    if (bytes.isEmpty() || fault == ReplyFault::None) {
        return bytes;
    }
    // A single E5 has no checksum, stop byte or length to spoil.
    const bool single = bytes.size() == 1;
    if (single && fault != ReplyFault::NoReply && fault != ReplyFault::Garbage &&
        fault != ReplyFault::ExtraBytes) {
        return bytes;
    }
    if (fault == ReplyFault::WrongTransactionId) {
        return bytes; // a Modbus fault: nothing to do on the M-Bus
    }
    m_faults.take();
    const int frameTail = single ? 0 : 1; // the checksum, then the stop byte
    return applyFault(bytes, fault, frameTail, frameTail, ++m_spoiled + m_primary * 7919u);
}

MeterAnswer SimMeter::answer(const MBusFrame& frame) {
    if (frame.kind == MBusFrameKind::Ack) {
        return {};
    }
    const uint8_t function = frame.c & kFunctionMask;
    const bool isLong = frame.kind != MBusFrameKind::Short;

    // A selection concerns every meter that hears it: the named one is
    // selected, all others leave the selected state.
    if (isLong && function == kFunctionSndUd && frame.a == kAddressSelected &&
        frame.ci == kCiSelect) {
        m_selected = matchesSelection(frame.data);
        return m_selected ? ack(m_baud) : MeterAnswer{};
    }

    const Target target = targetOf(frame);
    if (target == Target::None) {
        return {};
    }
    const bool answer = target == Target::Answer;

    if (isLong) {
        return function == kFunctionSndUd ? handleSndUd(frame, answer) : MeterAnswer{};
    }
    switch (function) {
    case kFunctionSndNke:
        // Link reset: the FCB sequence starts anew; addressed through the
        // selection (or the broadcast) it also ends the selection.
        m_lastFcb.reset();
        m_lastReply.clear();
        if (frame.a == kAddressSelected || frame.a == kAddressBroadcast) {
            m_selected = false;
        }
        return answer ? ack(m_baud) : MeterAnswer{};
    case kFunctionReqUd2:
        return answer ? handleReqUd2(frame) : MeterAnswer{};
    case kFunctionReqUd1:
        // No alarm data pending: acknowledge.
        return answer ? ack(m_baud) : MeterAnswer{};
    default:
        return {};
    }
}

MeterAnswer SimMeter::handleReqUd2(const MBusFrame& frame) {
    if (!m_templateValid) {
        return {};
    }
    const bool fcv = (frame.c & kFcvBit) != 0;
    const bool fcb = (frame.c & kFcbBit) != 0;
    if (fcv && m_lastFcb && *m_lastFcb == fcb && !m_lastReply.isEmpty()) {
        // The master did not see our last answer: send it again unchanged.
        return {m_lastReply, m_baud};
    }
    ++m_access;
    m_lastReply = buildReply();
    if (fcv) {
        m_lastFcb = fcb;
    }
    return {m_lastReply, m_baud};
}

MeterAnswer SimMeter::handleSndUd(const MBusFrame& frame, bool answer) {
    const int oldBaud = m_baud;
    const QByteArray& data = frame.data;
    if (frame.ci == kCiDataSend) {
        // The one record we act on: DIF 01 VIF 7A, a new primary address.
        if (data.size() >= 3 && at(data, 0) == 0x01 && at(data, 1) == 0x7A &&
            at(data, 2) != m_primary) {
            m_primary = at(data, 2);
            // The answer kept for a repeated request names the old address.
            m_lastReply.clear();
            m_lastFcb.reset();
        }
    } else if (const int newBaud = baudForSpeedCi(frame.ci); newBaud != 0) {
        // Acknowledged at the old speed; from then on the meter talks at the new one.
        m_baud = newBaud;
    } else if (frame.ci == kCiApplicationReset) {
        ++m_appResets;
        m_lastSubcode = data.isEmpty() ? -1 : at(data, 0);
    } else {
        return {}; // a CI this meter does not understand
    }
    return answer ? ack(oldBaud) : MeterAnswer{};
}

} // namespace kestrune::sim
