#pragma once

#include "mbus/MBusFrame.h"
#include "sim/devices/SimFaults.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace kestrune::sim {

// Who a meter is on the bus beyond its primary address: what a selection by
// secondary address is compared with, and what its replies carry.
struct MeterIdentity {
    uint32_t id = 0;           // 8 BCD digits as written, 12345678 -> 0x12345678
    uint16_t manufacturer = 0; // three-letter code value, ABB -> 0x0442
    uint8_t version = 0;
    uint8_t medium = 0;
    std::optional<uint32_t> fabrication; // 8 BCD digits, when the meter has one
};

// What a meter answers to one telegram.
struct MeterAnswer {
    QByteArray bytes; // empty: the meter stays silent
    int baud = 0;     // the line speed the answer goes out at
};

// One simulated M-Bus slave: pure logic, telegram in, answer bytes out.
//
// It keeps what a meter keeps: its primary address, identity, line speed,
// whether the last selection chose it, and the frame count bit of the last
// REQ_UD2 together with the answer it gave, so that a repeated request (same
// FCB, FCV set) gets the same answer again and a toggled FCB the next one.
// Only REQ_UD2 takes part in the FCB sequence; a SND_UD is carried out every
// time it arrives, so selections and settings are never skipped as repeats.
class SimMeter {
public:
    // `replyTemplate` is a whole RSP_UD long frame, for instance a captured
    // one: CI 72 (variable data, 12 header bytes) or CI 73 (fixed data, 16
    // bytes). Each answer is that frame rebuilt with this meter's address,
    // header, access number and checksum. A shorter frame (11 to 16 bytes)
    // gets as much of its header as it has room for, and a frame whose CI
    // carries no header (78, for instance) only its address; such meters
    // answer REQ_UD2 all the same. A template that is no complete long frame
    // (L at least 3) leaves the meter answering REQ_UD2 with nothing.
    SimMeter(uint8_t primaryAddress, const MeterIdentity& identity, QByteArray replyTemplate,
             int baud = 2400);

    // The name the installation file gives the meter (control commands
    // address it by this name).
    const QString& name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }

    uint8_t primaryAddress() const { return m_primary; }
    void setPrimaryAddress(uint8_t a) { m_primary = a; }
    const MeterIdentity& identity() const { return m_identity; }
    void setIdentity(const MeterIdentity& identity) { m_identity = identity; }
    int baud() const { return m_baud; }
    void setBaud(int baud) { m_baud = baud; }
    bool isSelected() const { return m_selected; }
    const QByteArray& replyTemplate() const { return m_template; }
    void setReplyTemplate(QByteArray replyTemplate);
    // CI 73 or 77: a fixed data structure (identification, access number).
    bool isFixedStructure() const;
    // CI 72 or 76: the twelve-byte header of variable data.
    bool hasLongHeader() const;
    bool hasValidTemplate() const { return m_templateValid; }

    uint8_t accessNumber() const { return m_access; }
    int applicationResets() const { return m_appResets; }
    // Subcode of the last application reset, -1 when it carried none.
    int lastResetSubcode() const { return m_lastSubcode; }

    // How much later than the other meters this one starts its answers, in
    // eighths of a bit time: meters react a little earlier or later, so
    // answers that coincide are skewed against each other (SimBus).
    int answerSkewEighths() const { return m_skewEighths; }
    void setAnswerSkewEighths(int eighths) { m_skewEighths = eighths < 0 ? 0 : eighths; }

    // Whether the meter understands a telegram sent at `baud`: only at its
    // own line speed.
    bool hears(int baud) const { return baud == m_baud; }

    // Handles one telegram that the meter heard (already parsed and checked).
    // Changes state as the telegram says and returns the answer, empty when
    // the telegram is not for this meter or wants no answer. A fault set
    // with setFault spoils the answer on its way out.
    MeterAnswer handle(const MBusFrame& frame);

    // Spoils the meter's next `count` answers (negative: every answer until
    // cleared) as a faulty meter or line would: no-reply (silence), garbage,
    // bad-check (wrong checksum), wrong-stop, truncated (last byte missing),
    // extra (two stray bytes after the answer). The faults that concern a
    // frame's checksum, stop byte or length leave a single E5 alone, and
    // that E5 does not count. The meter's state changes as without fault.
    void setFault(ReplyFault fault, int count = -1) { m_faults.set(fault, count); }
    const FaultSwitch& faults() const { return m_faults; }

    // The RSP_UD the meter would send now as its next new answer; does not
    // change state. Empty when the template is unusable.
    QByteArray buildReply() const;

    // Whether a selection telegram's data (8 or 14 bytes after CI 52) names
    // this meter; F nibbles and FF bytes are wildcards.
    bool matchesSelection(QByteArrayView data) const;

    // Line speed that CI B8..BD asks for: 300 << (ci - B8).
    static int baudForSpeedCi(uint8_t ci);

private:
    enum class Target { None, Listen, Answer };
    Target targetOf(const MBusFrame& frame) const;
    MeterAnswer handleSndUd(const MBusFrame& frame, bool answer);
    MeterAnswer handleReqUd2(const MBusFrame& frame);
    MeterAnswer answer(const MBusFrame& frame);
    QByteArray spoil(const QByteArray& bytes);

    QString m_name;
    uint8_t m_primary;
    MeterIdentity m_identity;
    QByteArray m_template;
    bool m_templateValid = false;
    int m_baud;
    int m_skewEighths = 0;
    bool m_selected = false;
    uint8_t m_access = 0;
    std::optional<bool> m_lastFcb; // nothing after SND_NKE: next request is new
    QByteArray m_lastReply;
    int m_appResets = 0;
    int m_lastSubcode = -1;
    FaultSwitch m_faults;
    uint32_t m_spoiled = 0; // seed of the garbage
};

} // namespace kestrune::sim
