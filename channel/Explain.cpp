#include "channel/Explain.h"

#include "ascii/AsciiProtocol.h"
#include "base/Language.h"
#include "base/TextUtil.h"
#include "mbus/MBusExplain.h"
#include "mbus/MBusFrame.h"
#include "modbus/ModbusFrame.h"
#include "netsetup/SetupDatagram.h"
#include "zarvek/loader/SupportLibrary.h"

#include <QStringList>

#include <cctype>

namespace kestrune {

namespace {

constexpr int TextModbusRead = 2460;
constexpr int TextModbusRequest = 2461;
constexpr int TextModbusReadReply = 2462;
constexpr int TextModbusReply = 2463;
constexpr int TextModbusException = 2464;
constexpr int TextCrcRight = 2465;
constexpr int TextCrcWrong = 2466;
constexpr int TextTransaction = 2467;
constexpr int TextModbusIncomplete = 2468;
constexpr int TextLengthField = 2469;
constexpr int TextFunction = 2470;
constexpr int TextFunctionNames = 2471; // texts: 2471-2478
constexpr int TextAsciiRequest = 2480;
constexpr int TextChecksumRight = 2481;
constexpr int TextChecksumWrong = 2482;
constexpr int TextAsciiAck = 2483;
constexpr int TextAsciiNak = 2484;
constexpr int TextAsciiIncomplete = 2485;
constexpr int TextSetupDiscovery = 2490;
constexpr int TextSetupRead = 2491;
constexpr int TextSetupWrite = 2492;
constexpr int TextSetupIp = 2493;
constexpr int TextSetupIpDhcp = 2494;
constexpr int TextSetupRecord = 2495;
constexpr int TextSetupWritten = 2496;
constexpr int TextSetupFound = 2497;
constexpr int TextSetupInvalid = 2498;
constexpr int TextUnknown = 2499;

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;

uint8_t at(QByteArrayView b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

int word(QByteArrayView b, qsizetype i) {
    return at(b, i) << 8 | at(b, i + 1);
}

// ---- Modbus ------------------------------------------------------------------

QString functionName(int function) {
    static constexpr int kCodes[] = {1, 2, 3, 4, 5, 6, 15, 16};
    for (int i = 0; i < 8; ++i) {
        if (kCodes[i] == function) {
            return getText(TextFunctionNames + i);
        }
    }
    return getText(TextFunction).arg(function);
}

// ", CRC right" / ", CRC wrong"; nothing when the support library cannot
// tell (it is missing).
QString crcRemark(QByteArrayView bytes) {
    if (bytes.size() < 3) {
        return {};
    }
    uint16_t crc = 0;
    if (!zarvek::crc16(bytes.first(bytes.size() - 2).toByteArray(), crc)) {
        return {};
    }
    const bool right =
        at(bytes, bytes.size() - 2) == (crc & 0xFF) && at(bytes, bytes.size() - 1) == (crc >> 8);
    return QStringLiteral(", ") + getText(right ? TextCrcRight : TextCrcWrong);
}

// The protocol data unit: function code and what follows, unit in front.
QString explainPdu(const QString& framing, int unit, QByteArrayView pdu, bool request) {
    const QString unitText = QString::number(unit);
    const int function = at(pdu, 0);
    if (!request && (function & 0x80) && pdu.size() >= 2) {
        return getText(TextModbusException)
            .arg(framing, unitText, functionName(function & 0x7F),
                 modbus::exceptionText(at(pdu, 1)));
    }
    const bool read = function >= 1 && function <= 4;
    if (request && read && pdu.size() >= 5) {
        return getText(TextModbusRead)
            .arg(framing, unitText, functionName(function))
            .arg(word(pdu, 1))
            .arg(word(pdu, 3));
    }
    if (!request && read && pdu.size() >= 2) {
        return getText(TextModbusReadReply)
            .arg(framing, unitText, functionName(function))
            .arg(at(pdu, 1));
    }
    return getText(request ? TextModbusRequest : TextModbusReply)
        .arg(framing, unitText, functionName(function));
}

QString explainModbusRtu(QByteArrayView bytes, bool request) {
    if (bytes.size() < 4) {
        return getText(TextModbusIncomplete).arg(bytes.size());
    }
    const QByteArrayView pdu = bytes.sliced(1, bytes.size() - 3);
    return explainPdu(QStringLiteral("RTU"), at(bytes, 0), pdu, request) + crcRemark(bytes);
}

QString explainModbusTcp(QByteArrayView bytes, bool request) {
    if (bytes.size() < 8) {
        return getText(TextModbusIncomplete).arg(bytes.size());
    }
    QString line = explainPdu(QStringLiteral("TCP"), at(bytes, 6), bytes.sliced(7), request);
    line += QStringLiteral(", ") + getText(TextTransaction).arg(word(bytes, 0));
    const int length = word(bytes, 4);
    if (length != bytes.size() - 6) {
        line += QStringLiteral(", ") + getText(TextLengthField).arg(length);
    }
    return line;
}

// ---- ASCII protocol ----------------------------------------------------------

bool isTwoDigits(QByteArrayView b, qsizetype i) {
    return i + 2 <= b.size() && std::isdigit(at(b, i)) && std::isdigit(at(b, i + 1));
}

// The checksum of the variant with checksum: the character codes summed
// modulo 256, as two upper-case hexadecimal digits.
bool checksumMatches(QByteArrayView summed, QByteArrayView digits) {
    unsigned sum = 0;
    for (char ch : summed) {
        sum = (sum + static_cast<uint8_t>(ch)) & 0xFF;
    }
    return digits.size() == 2 && hexPair(static_cast<uint8_t>(sum)).toLatin1() == digits;
}

QString explainAscii(QByteArrayView bytes) {
    const auto n = bytes.size();
    const auto incomplete = [&] { return getText(TextAsciiIncomplete).arg(n); };
    if (n < 8 || bytes.back() != ETX) {
        return incomplete();
    }
    const char start = bytes.front();
    // Sequence, protocol variant and station: six digits after the start.
    if ((start != STX && start != ACK && start != NAK) || !isTwoDigits(bytes, 1) ||
        !isTwoDigits(bytes, 3) || !isTwoDigits(bytes, 5)) {
        return incomplete();
    }
    const QString sequence = QString::fromLatin1(bytes.sliced(1, 2));
    const int station = bytes.sliced(5, 2).toByteArray().toInt();
    const bool withChecksum = bytes.sliced(3, 2) == "01";
    const QByteArrayView body = bytes.sliced(1, n - 2); // without start and ETX
    if (start == NAK) {
        return getText(TextAsciiNak)
            .arg(sequence)
            .arg(station)
            .arg(ascii::errorText(static_cast<char>(at(bytes, n - 2))));
    }
    QByteArrayView field = body.sliced(6);
    QString remark;
    if (withChecksum) {
        if (field.size() < 2) {
            return incomplete();
        }
        const bool right = checksumMatches(body.first(body.size() - 2), body.last(2));
        remark = QStringLiteral(", ") + getText(right ? TextChecksumRight : TextChecksumWrong);
        field = field.first(field.size() - 2);
    }
    const QString text = QString::fromLatin1(field);
    if (start == STX) {
        return getText(TextAsciiRequest).arg(sequence).arg(station).arg(text) + remark;
    }
    return getText(TextAsciiAck).arg(sequence).arg(station).arg(text) + remark;
}

// ---- Setup datagrams -----------------------------------------------------------

QString explainSetup(QByteArrayView bytes) {
    const auto n = bytes.size();
    if (n < 4 || at(bytes, 1) != 0 || at(bytes, 2) != 0) {
        return getText(TextSetupInvalid).arg(n);
    }
    const uint8_t marker = at(bytes, 3);
    if (marker == 0xF7 && n >= kDiscoveryAnswerLength) {
        const DiscoveryAnswer answer = parseDiscoveryAnswer(bytes);
        QString family = deviceFamilyName(deviceKind(answer.mac, answer.variant));
        if (family.isEmpty()) {
            family = QStringLiteral("%1h").arg(hexPair(answer.variant));
        }
        return getText(TextSetupFound).arg(macText(answer.mac), family);
    }
    if (at(bytes, 0) != 0) {
        return getText(TextSetupInvalid).arg(n);
    }
    const int record = marker & 0x0F;
    if (record <= 7) {
        switch (marker & 0xF0) {
        case 0xD0:
            return getText(TextSetupRecord).arg(record).arg(n - 4);
        case 0xB0:
            if (n == 4) {
                return getText(TextSetupWritten).arg(record);
            }
            break;
        default:
            break;
        }
    }
    const SetupRequest request = parseSetupRequest(bytes);
    switch (request.kind) {
    case SetupRequest::Kind::Discovery:
        return getText(TextSetupDiscovery);
    case SetupRequest::Kind::ReadRecord:
        return getText(TextSetupRead).arg(request.recordNumber);
    case SetupRequest::Kind::WriteRecord:
        return getText(TextSetupWrite).arg(request.recordNumber).arg(request.record.size());
    case SetupRequest::Kind::IpSetup: {
        const QString mac = hexPair(request.ipSetup.macByte5) + QLatin1Char(':') +
                            hexPair(request.ipSetup.macByte6);
        return request.ipSetup.isDhcp()
                   ? getText(TextSetupIpDhcp).arg(mac)
                   : getText(TextSetupIp).arg(mac, ipv4Text(request.ipSetup.address));
    }
    case SetupRequest::Kind::Invalid:
        break;
    }
    return getText(TextSetupInvalid).arg(n);
}

// ---- Recognition -------------------------------------------------------------

bool looksLikeSetup(QByteArrayView b) {
    if (b.size() < 4 || at(b, 1) != 0 || at(b, 2) != 0) {
        return false;
    }
    const uint8_t marker = at(b, 3);
    if (marker == 0xF7) {
        return b.size() >= kDiscoveryAnswerLength;
    }
    if (at(b, 0) != 0) {
        return false;
    }
    const int high = marker & 0xF0;
    return marker == 0xF6 || marker == 0xFC ||
           ((high == 0xB0 || high == 0xC0 || high == 0xD0 || high == 0xE0) && (marker & 0x0F) <= 7);
}

bool looksLikeMBus(QByteArrayView b) {
    const int size = expectedFrameSize(b);
    if (size <= 0 || size != b.size()) {
        return false;
    }
    if (size == 1) {
        return true;
    }
    const bool isShort = at(b, 0) == mbus::kShortStart;
    const QByteArrayView summed = isShort ? b.sliced(1, 2) : b.sliced(4, size - 6);
    return MBusChecksum(summed) == at(b, size - 2) && at(b, size - 1) == mbus::kStop;
}

bool looksLikeAscii(QByteArrayView b) {
    if (b.size() < 8 || b.back() != ETX) {
        return false;
    }
    const char start = b.front();
    return (start == STX || start == ACK || start == NAK) && isTwoDigits(b, 1);
}

bool looksLikeModbusTcp(QByteArrayView b) {
    return b.size() >= 8 && word(b, 2) == 0 && word(b, 4) == b.size() - 6;
}

bool looksLikeModbusRtu(QByteArrayView b) {
    return b.size() >= 4 && crcRemark(b) == QStringLiteral(", ") + getText(TextCrcRight);
}

bool fits(QByteArrayView b, TelegramProtocol protocol) {
    switch (protocol) {
    case TelegramProtocol::MBus:
        return looksLikeMBus(b);
    case TelegramProtocol::ModbusRtu:
        return looksLikeModbusRtu(b);
    case TelegramProtocol::ModbusTcp:
        return looksLikeModbusTcp(b);
    case TelegramProtocol::Ascii:
        return looksLikeAscii(b);
    case TelegramProtocol::Setup:
        return looksLikeSetup(b);
    case TelegramProtocol::Unknown:
        break;
    }
    return false;
}

} // namespace

TelegramProtocol chooseProtocol(QByteArrayView bytes, Direction direction,
                                TelegramProtocol expected) {
    if (expected != TelegramProtocol::Unknown && fits(bytes, expected))
        return expected;
    const TelegramProtocol guessed = guessProtocol(bytes, direction);
    return guessed != TelegramProtocol::Unknown ? guessed : expected;
}

TelegramProtocol guessProtocol(QByteArrayView bytes, Direction /*direction*/) {
    if (looksLikeSetup(bytes)) {
        return TelegramProtocol::Setup;
    }
    if (looksLikeMBus(bytes)) {
        return TelegramProtocol::MBus;
    }
    if (looksLikeAscii(bytes)) {
        return TelegramProtocol::Ascii;
    }
    if (looksLikeModbusTcp(bytes)) {
        return TelegramProtocol::ModbusTcp;
    }
    if (looksLikeModbusRtu(bytes)) {
        return TelegramProtocol::ModbusRtu;
    }
    return TelegramProtocol::Unknown;
}

TelegramProtocol protocolForTask(int task, bool modbusTcpFraming) {
    switch (task) {
    case 0:
    case 1:
    case 3:
        return TelegramProtocol::Setup;
    case 4:
        return TelegramProtocol::MBus;
    case 5:
        return modbusTcpFraming ? TelegramProtocol::ModbusTcp : TelegramProtocol::ModbusRtu;
    case 6:
        return TelegramProtocol::Ascii;
    default:
        return TelegramProtocol::Unknown;
    }
}

QString explainTelegram(QByteArrayView bytes, Direction direction, TelegramProtocol protocol) {
    if (bytes.isEmpty() || direction == Direction::Note) {
        return {};
    }
    if (protocol == TelegramProtocol::Unknown) {
        protocol = guessProtocol(bytes, direction);
    }
    const bool request = direction == Direction::Sent;
    switch (protocol) {
    case TelegramProtocol::MBus:
        return mbus::explainMBus(bytes);
    case TelegramProtocol::ModbusRtu:
        return explainModbusRtu(bytes, request);
    case TelegramProtocol::ModbusTcp:
        return explainModbusTcp(bytes, request);
    case TelegramProtocol::Ascii:
        return explainAscii(bytes);
    case TelegramProtocol::Setup:
        return explainSetup(bytes);
    case TelegramProtocol::Unknown:
        break;
    }
    return getText(TextUnknown).arg(bytes.size());
}

} // namespace kestrune
