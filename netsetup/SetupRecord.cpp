#include "SetupRecord.h"

#include "netsetup/SetupDatagram.h"

#include "base/TextUtil.h"

#include <algorithm>

namespace kestrune {

namespace {

struct DefaultByte {
    int offset;
    uint8_t value;
};

// Factory contents: length, fill byte and the bytes that differ from it.
struct DefaultRecord {
    int length;
    uint8_t fill;
    std::initializer_list<DefaultByte> bytes;
};

const DefaultRecord& factoryRecord(int n) {
    static const DefaultRecord records[SetupRecord::kRecordCount] = {
        {120,
         0x00,
         {{6, 0x08},
          {7, 0x2D},
          {16, 0x7C},
          {17, 0x04},
          {20, 0x11},
          {21, 0x27},
          {28, 0xCC},
          {29, 0x01},
          {64, 0x4C},
          {65, 0x02},
          {68, 0x12},
          {69, 0x27},
          {76, 0xC0}}},
        {126,
         0x00,
         {{0, 0x21}, {34, 't'}, {35, 'e'}, {36, 's'}, {37, 'm'}, {38, 'a'}, {39, 'l'}, {48, 0x80}}},
        {126, 0xFF, {}},
        {126, 0x00, {{0, 0x03}, {1, 0xFA}, {75, 0x0D}, {76, 0x0D}, {100, 0x58}, {101, 0x02}}},
        {126, 0xFF, {}},
        {126, 0x00, {}},
        {126,
         0x00,
         {{26, 0x03},
          {53, 0x03},
          {54, 0x01},
          {60, 0x03},
          {87, 0x03},
          {88, 0x01},
          {94, 0x03},
          {121, 0x03},
          {122, 0x01}}},
        {126, 0x00, {{0, 0x04}, {1, 0x06}, {2, 0x08}, {7, 0x80}, {9, 0x80}, {11, 0x80}}},
    };
    return records[n];
}

constexpr int kLineSpeeds[SetupRecord::kLineSpeedCount] = {300, 600, 1200, 2400, 4800, 9600};

} // namespace

int SetupRecord::lineSpeedBaud(int position) {
    return position >= 0 && position < kLineSpeedCount ? kLineSpeeds[position] : 0;
}

SetupRecord::SetupRecord(int recordNumber)
    : m_recordNumber(std::clamp(recordNumber, 0, kRecordCount - 1)) {}

QByteArray SetupRecord::defaultBytes(int recordNumber) {
    if (recordNumber < 0 || recordNumber >= kRecordCount)
        return {};
    const DefaultRecord& def = factoryRecord(recordNumber);
    QByteArray out(def.length, static_cast<char>(def.fill));
    for (const DefaultByte& b : def.bytes)
        out[b.offset] = static_cast<char>(b.value);
    return out;
}

void SetupRecord::restoreDefaults(bool keepSettings) {
    const QByteArray old = m_record;
    m_record = defaultBytes(m_recordNumber);
    if (!keepSettings || m_recordNumber != 0)
        return;
    static constexpr struct {
        int offset;
        int size;
    } kept[] = {{kOffsetIp, 4},        {kOffsetMask, 1}, {kOffsetPassword, 4}, {kOffsetGateway, 4},
                {kOffsetLineSpeed, 1}, {kOffsetPort, 2}, {kOffsetMode, 2}};
    for (const auto& field : kept) {
        if (field.offset + field.size <= old.size())
            m_record.replace(field.offset, field.size, old.constData() + field.offset, field.size);
    }
}

uint8_t SetupRecord::byteAt(int offset) const {
    return has(offset, 1) ? static_cast<uint8_t>(m_record[offset]) : 0;
}

bool SetupRecord::setByteAt(int offset, uint8_t value) {
    if (!has(offset, 1))
        return false;
    m_record[offset] = static_cast<char>(value);
    return true;
}

Ipv4Address SetupRecord::addressAt(int offset) const {
    Ipv4Address address{};
    for (int i = 0; i < 4; ++i)
        address[static_cast<size_t>(i)] = byteAt(offset + i);
    return address;
}

bool SetupRecord::setAddressAt(int offset, const Ipv4Address& address) {
    if (!has(offset, 4))
        return false;
    for (int i = 0; i < 4; ++i)
        m_record[offset + i] = static_cast<char>(address[static_cast<size_t>(i)]);
    return true;
}

QString SetupRecord::ipAddress() const {
    return ipv4Text(addressAt(kOffsetIp));
}

bool SetupRecord::setIpAddress(QStringView dotted) {
    Ipv4Address address;
    return parseIpv4(dotted, address) && setAddressAt(kOffsetIp, address);
}

QString SetupRecord::gateway() const {
    return ipv4Text(addressAt(kOffsetGateway));
}

bool SetupRecord::setGateway(QStringView dotted) {
    Ipv4Address address;
    return parseIpv4(dotted, address) && setAddressAt(kOffsetGateway, address);
}

QString SetupRecord::netMask() const {
    const int hostBits = std::min<int>(byteAt(kOffsetMask), 32);
    const uint32_t mask = hostBits >= 32 ? 0u : (0xFFFFFFFFu << hostBits);
    return ipv4Text({static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16),
                     static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask)});
}

bool SetupRecord::setNetMask(QStringView dotted) {
    Ipv4Address mask;
    if (!parseIpv4(dotted, mask) || !has(kOffsetMask, 1))
        return false;
    // Zero bits from the least significant end up to the first one bit.
    const uint32_t value = (uint32_t(mask[0]) << 24) | (uint32_t(mask[1]) << 16) |
                           (uint32_t(mask[2]) << 8) | uint32_t(mask[3]);
    int hostBits = 0;
    while (hostBits < 32 && !(value & (1u << hostBits)))
        ++hostBits;
    return setByteAt(kOffsetMask, static_cast<uint8_t>(hostBits));
}

uint16_t SetupRecord::port() const {
    return static_cast<uint16_t>(byteAt(kOffsetPort) | (byteAt(kOffsetPort + 1) << 8));
}

QString SetupRecord::ipPort() const {
    return QString::number(port());
}

bool SetupRecord::setPort(uint16_t value) {
    if (!has(kOffsetPort, 2))
        return false;
    m_record[kOffsetPort] = static_cast<char>(value & 0xFF);
    m_record[kOffsetPort + 1] = static_cast<char>(value >> 8);
    return true;
}

bool SetupRecord::setIpPort(QStringView text) {
    return setPort(static_cast<uint16_t>(std::clamp<int64_t>(toNumber(text), 0, 65535)));
}

bool SetupRecord::isUsingUdp() const {
    return byteAt(kOffsetMode) == 0xCC;
}

bool SetupRecord::setUsingUdp(bool udp) {
    if (!has(kOffsetMode, 2))
        return false;
    m_record[kOffsetMode] = static_cast<char>(udp ? 0xCC : 0xC0);
    m_record[kOffsetMode + 1] = static_cast<char>(udp ? 0x01 : 0x00);
    return true;
}

QString SetupRecord::telnetPassword() const {
    QString password;
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = byteAt(kOffsetPassword + i);
        if (b)
            password += QChar(b);
    }
    return password;
}

bool SetupRecord::setTelnetPassword(QStringView password) {
    if (!has(kOffsetPassword, 4))
        return false;
    for (int i = 0; i < 4; ++i) {
        char16_t c = i < password.size() ? password[i].unicode() : u'\0';
        if (c > 0xFF)
            c = u'?';
        m_record[kOffsetPassword + i] = static_cast<char>(c);
    }
    return true;
}

int SetupRecord::lineSpeed() const {
    const int code = byteAt(kOffsetLineSpeed) & 0x1F;
    if (code < 2)
        return 5;
    if (code > 7)
        return 0;
    return 7 - code;
}

bool SetupRecord::setLineSpeed(int position) {
    if (!has(kOffsetLineSpeed, 1))
        return false;
    const int code = 7 - std::clamp(position, 0, kLineSpeedCount - 1);
    return setByteAt(kOffsetLineSpeed,
                     static_cast<uint8_t>((byteAt(kOffsetLineSpeed) & 0xE0) | code));
}

bool SetupRecord::telnetAllowed() const {
    return !(byteAt(0) & kFlagNoTelnet);
}

bool SetupRecord::setAllowTelnet(bool allowed) {
    const uint8_t b = byteAt(0);
    return setByteAt(0, static_cast<uint8_t>(allowed ? (b & ~kFlagNoTelnet) : (b | kFlagNoTelnet)));
}

bool SetupRecord::setup77FEAllowed() const {
    return !(byteAt(0) & kFlagNo77FE);
}

bool SetupRecord::setAllow77FE(bool allowed) {
    const uint8_t b = byteAt(0);
    return setByteAt(0, static_cast<uint8_t>(allowed ? (b & ~kFlagNo77FE) : (b | kFlagNo77FE)));
}

bool SetupRecord::decodeReadAnswer(QByteArrayView answer) {
    QByteArray record;
    if (!parseRecordReadAnswer(answer, m_recordNumber, record))
        return false;
    m_record = record;
    return true;
}

QByteArray SetupRecord::readRequest() const {
    return recordReadRequest(m_recordNumber);
}

QByteArray SetupRecord::writeRequest() const {
    if (m_record.isEmpty())
        return {};
    return recordWriteRequest(m_recordNumber, m_record);
}

bool SetupRecord::isWriteAck(QByteArrayView datagram) const {
    return isRecordWriteAck(datagram, m_recordNumber);
}

QByteArray SetupRecord::consoleReadCommand() const {
    return "G" + QByteArray::number(m_recordNumber) + "\r";
}

QByteArray SetupRecord::consoleWriteCommand() const {
    return "S" + QByteArray::number(m_recordNumber) + "\r";
}

QList<QByteArray> SetupRecord::consoleWriteLines(HexCheck rule) const {
    if (m_record.isEmpty())
        return {};
    QList<QByteArray> lines = encodeRecordLines(m_record, rule, kHexTypeRecordWrite, 32);
    for (QByteArray& line : lines)
        line += '\r';
    lines.append(hexEndLine());
    return lines;
}

} // namespace kestrune
