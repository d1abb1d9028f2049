#pragma once

#include "netsetup/Address.h"
#include "netsetup/HexRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace kestrune {

// One of the gateway's eight numbered setup records, held as raw bytes.
//
// Record 0 carries the network settings and the first serial channel, record
// 1 the security flags; the other records are carried as they are. Every
// accessor is bounds-checked: a getter reads a byte the record does not have
// as 0, a setter refuses (returns false, record unchanged) when the record
// is too short to hold its field. A record is empty until restoreDefaults()
// or a successful decode of a read answer fills it.
class SetupRecord {
public:
    static constexpr int kRecordCount = 8;
    // A read answer is the 4-byte header and at least this many record bytes.
    static constexpr int kMinRecordLength = 120;
    static constexpr int kMinReadAnswerLength = 4 + kMinRecordLength;

    // Record 0 offsets.
    static constexpr int kOffsetIp = 0;
    static constexpr int kOffsetMask = 6;
    static constexpr int kOffsetPassword = 8;
    static constexpr int kOffsetGateway = 12;
    static constexpr int kOffsetLineSpeed = 17;
    static constexpr int kOffsetPort = 20;
    static constexpr int kOffsetMode = 28;
    // Record 1 security flags (byte 0).
    static constexpr uint8_t kFlagNoTelnet = 0x01;
    static constexpr uint8_t kFlagNo77FE = 0x10;

    // Line speed list positions 0..5: 300, 600, 1200, 2400, 4800, 9600.
    static constexpr int kLineSpeedCount = 6;
    static int lineSpeedBaud(int position);

    // Record numbers outside 0..7 are clamped into that range.
    explicit SetupRecord(int recordNumber = 0);

    int recordNumber() const { return m_recordNumber; }
    const QByteArray& bytes() const { return m_record; }
    void setBytes(const QByteArray& bytes) { m_record = bytes; }
    bool isEmpty() const { return m_record.isEmpty(); }

    // Factory contents of a record (120 bytes for record 0, 126 for the
    // others); empty for a number outside 0..7.
    static QByteArray defaultBytes(int recordNumber);

    // Rebuilds the record from its factory contents. With keepSettings on
    // record 0, the IP address, mask, password, gateway, line speed, port and
    // connection mode of the current record survive (as far as the current
    // record holds them).
    void restoreDefaults(bool keepSettings);

    // Record 0 fields; texts as the setup pages show them.
    QString ipAddress() const;
    bool setIpAddress(QStringView dotted);
    QString gateway() const;
    bool setGateway(QStringView dotted);
    QString netMask() const;
    bool setNetMask(QStringView dotted);
    // Host bits of the mask as stored (8 means 255.255.255.0).
    int maskHostBits() const { return byteAt(kOffsetMask); }

    Ipv4Address ipv4() const { return addressAt(kOffsetIp); }
    bool setIpv4(const Ipv4Address& address) { return setAddressAt(kOffsetIp, address); }

    QString ipPort() const;
    uint16_t port() const;
    // Lenient number reading; values outside 0..65535 are clamped.
    bool setIpPort(QStringView text);
    bool setPort(uint16_t port);

    bool isUsingUdp() const;
    bool setUsingUdp(bool udp);

    QString telnetPassword() const;
    bool setTelnetPassword(QStringView password);

    // List position 0..5 (see lineSpeedBaud); codes below 2 read as 5,
    // codes above 7 read as 0.
    int lineSpeed() const;
    // Position clamped to 0..5. The three high bits of the code byte are
    // carried unchanged.
    bool setLineSpeed(int position);

    // Record 1 security flags.
    bool telnetAllowed() const;
    bool setAllowTelnet(bool allowed);
    bool setup77FEAllowed() const;
    bool setAllow77FE(bool allowed);

    // Takes the record from a network read answer: at least 124 bytes whose
    // fourth byte is D0 + record number. Anything else is refused and the
    // record stays as it was.
    [[nodiscard]] bool decodeReadAnswer(QByteArrayView answer);
    QByteArray readRequest() const;
    // Empty when the record is empty: there is nothing to write.
    QByteArray writeRequest() const;
    bool isWriteAck(QByteArrayView datagram) const;

    // Serial console: "G"n CR asks for the record; "S"n CR starts a write.
    QByteArray consoleReadCommand() const;
    QByteArray consoleWriteCommand() const;
    // The record in 32-byte lines, each ended by CR, then ":00000001FF"
    // without a line end. The wizard's own lines carry the character-sum
    // check value. Empty when the record is empty.
    QList<QByteArray> consoleWriteLines(HexCheck rule = HexCheck::CharSum) const;

private:
    uint8_t byteAt(int offset) const;
    bool setByteAt(int offset, uint8_t value);
    bool has(int offset, int size) const { return offset >= 0 && offset + size <= m_record.size(); }
    Ipv4Address addressAt(int offset) const;
    bool setAddressAt(int offset, const Ipv4Address& address);

    int m_recordNumber = 0;
    QByteArray m_record;
};

} // namespace kestrune
