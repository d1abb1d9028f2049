#include "SetupDatagram.h"

namespace kestrune {

namespace {

constexpr uint8_t kDiscoveryMarker = 0xF6;
constexpr uint8_t kDiscoveryAnswerMarker = 0xF7;
constexpr uint8_t kIpSetupMarker = 0xFC;
constexpr uint8_t kReadRequest = 0xE0;
constexpr uint8_t kReadAnswer = 0xD0;
constexpr uint8_t kWriteRequest = 0xC0;
constexpr uint8_t kWriteAck = 0xB0;
constexpr char kIpSetupText[] = "IP-SETUP";

uint8_t at(QByteArrayView bytes, qsizetype i) {
    return i >= 0 && i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : 0;
}

QByteArray header(uint8_t code) {
    QByteArray out(4, '\0');
    out[3] = static_cast<char>(code);
    return out;
}

bool hasZeroPrefix(QByteArrayView datagram) {
    return datagram.size() >= 4 && datagram[0] == 0 && datagram[1] == 0 && datagram[2] == 0;
}

uint8_t recordCode(uint8_t base, int recordNumber) {
    return static_cast<uint8_t>(base + (recordNumber & 0x0F));
}

} // namespace

QByteArray discoveryRequest() {
    return header(kDiscoveryMarker);
}

bool isDiscoveryRequest(QByteArrayView datagram) {
    return datagram.size() == 4 && hasZeroPrefix(datagram) && at(datagram, 3) == kDiscoveryMarker;
}

QByteArray recordReadRequest(int recordNumber) {
    return header(recordCode(kReadRequest, recordNumber));
}

QByteArray recordReadAnswer(int recordNumber, QByteArrayView record) {
    QByteArray out = header(recordCode(kReadAnswer, recordNumber));
    out.append(record);
    return out;
}

QByteArray recordWriteRequest(int recordNumber, QByteArrayView record) {
    QByteArray out = header(recordCode(kWriteRequest, recordNumber));
    out.append(record);
    return out;
}

QByteArray recordWriteAck(int recordNumber) {
    return header(recordCode(kWriteAck, recordNumber));
}

bool parseRecordReadAnswer(QByteArrayView datagram, int recordNumber, QByteArray& record) {
    if (recordNumber < 0 || recordNumber > 7 || datagram.size() < 124)
        return false;
    if (at(datagram, 3) != recordCode(kReadAnswer, recordNumber))
        return false;
    record = datagram.sliced(4).toByteArray();
    return true;
}

bool isRecordWriteAck(QByteArrayView datagram, int recordNumber) {
    return recordNumber >= 0 && recordNumber <= 7 && datagram == recordWriteAck(recordNumber);
}

QByteArray buildIpSetup(const MacAddress& mac, const Ipv4Address& address) {
    QByteArray out = header(kIpSetupMarker);
    out.append(kIpSetupText, 8);
    out.append(2, '\0');
    out.append(static_cast<char>(mac[4]));
    out.append(static_cast<char>(mac[5]));
    for (uint8_t octet : address)
        out.append(static_cast<char>(octet));
    return out;
}

bool parseIpSetup(QByteArrayView datagram, IpSetupRequest& out) {
    if (datagram.size() != kIpSetupLength || !hasZeroPrefix(datagram) ||
        at(datagram, 3) != kIpSetupMarker)
        return false;
    if (datagram.sliced(4, 8) != QByteArrayView(kIpSetupText, 8) || at(datagram, 12) != 0 ||
        at(datagram, 13) != 0)
        return false;
    IpSetupRequest parsed;
    parsed.macByte5 = at(datagram, 14);
    parsed.macByte6 = at(datagram, 15);
    for (int i = 0; i < 4; ++i)
        parsed.address[static_cast<size_t>(i)] = at(datagram, 16 + i);
    out = parsed;
    return true;
}

SetupRequest parseSetupRequest(QByteArrayView datagram) {
    SetupRequest request;
    if (!hasZeroPrefix(datagram))
        return request;
    const uint8_t code = at(datagram, 3);
    if (code == kDiscoveryMarker) {
        if (datagram.size() == 4)
            request.kind = SetupRequest::Kind::Discovery;
    } else if (code == kIpSetupMarker) {
        if (parseIpSetup(datagram, request.ipSetup))
            request.kind = SetupRequest::Kind::IpSetup;
    } else if (code >= kReadRequest && code <= kReadRequest + 7) {
        if (datagram.size() == 4) {
            request.kind = SetupRequest::Kind::ReadRecord;
            request.recordNumber = code - kReadRequest;
        }
    } else if (code >= kWriteRequest && code <= kWriteRequest + 7) {
        if (datagram.size() > 4) {
            request.kind = SetupRequest::Kind::WriteRecord;
            request.recordNumber = code - kWriteRequest;
            request.record = datagram.sliced(4).toByteArray();
        }
    }
    return request;
}

QByteArray buildDiscoveryAnswer(const DiscoveryAnswer& answer) {
    QByteArray out(kDiscoveryAnswerLength, '\0');
    out[0] = static_cast<char>(answer.variant);
    out[3] = static_cast<char>(kDiscoveryAnswerMarker);
    const qsizetype nameLength = qMin<qsizetype>(answer.name.size(), 16);
    for (qsizetype i = 0; i < nameLength; ++i)
        out[4 + i] = answer.name[i];
    out[20] = static_cast<char>(answer.firmwareMajor);
    out[21] = static_cast<char>(answer.firmwareMinor);
    out[22] = static_cast<char>(answer.port & 0xFF);
    out[23] = static_cast<char>(answer.port >> 8);
    for (int i = 0; i < 6; ++i)
        out[24 + i] = static_cast<char>(answer.mac[static_cast<size_t>(i)]);
    return out;
}

DiscoveryAnswer parseDiscoveryAnswer(QByteArrayView datagram) {
    DiscoveryAnswer answer;
    answer.variant = at(datagram, 0);
    for (int i = 4; i < 20 && i < datagram.size() && datagram[i] != 0; ++i)
        answer.name.append(datagram[i]);
    answer.firmwareMajor = at(datagram, 20);
    answer.firmwareMinor = at(datagram, 21);
    answer.port = static_cast<uint16_t>(at(datagram, 22) | (at(datagram, 23) << 8));
    for (int i = 0; i < 6; ++i)
        answer.mac[static_cast<size_t>(i)] = at(datagram, 24 + i);
    return answer;
}

DeviceKind deviceKind(const MacAddress& mac, uint8_t variant) {
    auto prefix = [&mac](uint8_t a, uint8_t b, uint8_t c) {
        return mac[0] == a && mac[1] == b && mac[2] == c;
    };
    if (prefix(0x00, 0x20, 0x4A) || prefix(0x00, 0x80, 0xA3))
        return DeviceKind::K1;
    if (prefix(0x00, 0x04, 0x25))
        return DeviceKind::K2;
    if (prefix(0x02, 0x4B, 0x7D))
        return variant == 1 ? DeviceKind::K2S : DeviceKind::K2;
    return DeviceKind::Unknown;
}

QString deviceFamilyName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::K1:
        return QStringLiteral("K1");
    case DeviceKind::K2:
        return QStringLiteral("K2");
    case DeviceKind::K2S:
        return QStringLiteral("K2S");
    case DeviceKind::Unknown:
        break;
    }
    return {};
}

uint32_t deviceSerialNumber(const MacAddress& mac) {
    const uint32_t value = (uint32_t(mac[2]) << 24) | (uint32_t(mac[3]) << 16) |
                           (uint32_t(mac[4]) << 8) | uint32_t(mac[5]);
    uint32_t half = value / 2;
    // An odd value halves to k + 0.5: round to the even neighbour.
    if ((value & 1u) && (half & 1u))
        ++half;
    return half & 0x3FFFFFFu;
}

QString deviceIdentity(DeviceKind kind, const MacAddress& mac) {
    if (kind == DeviceKind::K2 || kind == DeviceKind::K2S)
        return QString::number(deviceSerialNumber(mac));
    return QStringLiteral("-");
}

QString deviceItemKey(const MacAddress& mac, DeviceKind kind) {
    return macText(mac) + QLatin1Char('/') + QString::number(static_cast<int>(kind));
}

} // namespace kestrune
