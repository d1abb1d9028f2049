// The traffic log's explanation of one telegram, for every protocol the
// wizard speaks, and the recognition of a protocol from the bytes alone.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/TextUtil.h"
#include "channel/Explain.h"
#include "mbus/MBusFrame.h"
#include "netsetup/SetupDatagram.h"
#include "tests/TestHex.h"

#include <QFile>
#include <QtTest>

using namespace kestrune;

Q_DECLARE_METATYPE(kestrune::Direction)
Q_DECLARE_METATYPE(kestrune::TelegramProtocol)

namespace {

using testhex::hex;

QByteArray ascii(char start, const char* body) {
    return QByteArray(1, start) + QByteArray(body) + QByteArray(1, '\x03');
}

const QByteArray kAcwBmPlus =
    hex("68 3C 3C 68 08 08 72 78 03 49 11 77 04 0E 16 0A 00 00 00 0C 78 78 03 49 11 04 13 31 D4 00 "
        "00 42 6C 00 00 44 13 00 00 00 00 04 6D 0B 0B CD 13 02 27 00 00 09 FD 0E 02 09 FD 0F 06 0F "
        "00 01 75 13 D3 16");
const QByteArray kSenPollusonic2 =
    hex("68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00 3F 16");

QByteArray reply(uint8_t c, uint8_t status, const char* records) {
    return buildLongFrame(c, 1, 0x72,
                          hex("78 56 34 12 42 04 02 04 2A") + QByteArray(1, char(status)) +
                              hex("00 00") + hex(records));
}

} // namespace

class TestExplain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void explain_data();
    void explain();
    void chooseProtocol_data();
    void chooseProtocol();
};

void TestExplain::initTestCase() {
    QFile lang(QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001"));
    QVERIFY(lang.open(QIODevice::ReadOnly));
    languageTable().parse(lang.readAll());
    // The Modbus CRC comes from the support library beside the program.
    setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
}

void TestExplain::explain_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<TelegramProtocol>("protocol");
    QTest::addColumn<QString>("line");

    const Direction out = Direction::Sent;
    const Direction in = Direction::Received;
    const auto M = TelegramProtocol::MBus;
    const auto R = TelegramProtocol::ModbusRtu;
    const auto T = TelegramProtocol::ModbusTcp;
    const auto A = TelegramProtocol::Ascii;
    const auto S = TelegramProtocol::Setup;
    const auto U = TelegramProtocol::Unknown;

    // M-Bus: kind, FCB, address, CI, selection mask, reply contents.
    QTest::newRow("E5") << hex("E5") << in << M << "Acknowledgement (E5)";
    QTest::newRow("SND_NKE") << hex("10 40 05 45 16") << out << M << "SND_NKE to address 5";
    QTest::newRow("REQ_UD2 after selection")
        << hex("10 5B FD 58 16") << out << M << "REQ_UD2 FCB=0 to address 253 (the selected meter)";
    QTest::newRow("REQ_UD2 FCB=1 to the test address")
        << hex("10 7B FE 79 16") << out << M
        << "REQ_UD2 FCB=1 to address 254 (test address, every meter answers)";
    QTest::newRow("selection")
        << buildSelectionFrame(u"1234FFFF", u"0442", u"FF", u"07") << out << M
        << "SND_UD FCB=0 to address 253 (the selected meter): selection by secondary address: "
           "identification 1234FFFF, manufacturer ABB (0442h), version FF, medium 07";
    QTest::newRow("selection with fabrication number")
        << buildSelectionFrame(u"FFFFFFFF", u"FFFF", u"FF", u"FF", u"1234") << out << M
        << "SND_UD FCB=0 to address 253 (the selected meter): selection by secondary address: "
           "identification FFFFFFFF, manufacturer FFFFh, version FF, medium FF, fabrication "
           "number FFFF1234";
    QTest::newRow("set primary address")
        << buildLongFrame(0x73, 5, 0x51, hex("01 7A 07")) << out << M
        << "SND_UD FCB=1 to address 5: data send: Bus address 7";
    QTest::newRow("application reset") << buildLongFrame(0x53, 5, 0x50) << out << M
                                       << "SND_UD FCB=0 to address 5: application reset";
    QTest::newRow("line speed") << buildLongFrame(0x53, 5, 0xBB) << out << M
                                << "SND_UD FCB=0 to address 5: switch the line speed to 2400 baud";
    QTest::newRow("reply of a water meter")
        << kAcwBmPlus << in << M
        << "RSP_UD from address 8: variable data: identification 11490378, manufacturer ACW "
           "(0477h), version 14, medium Cold Water (16h), 9 records";
    QTest::newRow("reply with status and more to come")
        << reply(0x28, 0x14, "01 13 05 1F") << in << M
        << "RSP_UD ACD=1 from address 1: variable data: identification 12345678, manufacturer ABB "
           "(0442h), version 2, medium Heat (04h), 2 records, more records follow, status: power "
           "low, "
           "temporary error";
    QTest::newRow("reply cut short")
        << reply(0x08, 0x00, "01 13 05 04 13 01") << in << M
        << "RSP_UD from address 1: variable data: identification 12345678, manufacturer ABB "
           "(0442h), version 2, medium Heat (04h), 1 record, decoding stopped after 1 record";
    QTest::newRow("header too short") << hex("68 08 08 68 08 02 72 78 56 34 12 24 B4 16") << in << M
                                      << "RSP_UD from address 2: CI 72, header too short";
    QTest::newRow("fixed structure")
        << kSenPollusonic2 << in << M
        << "RSP_UD from address 1: fixed data structure: identification 90919293, counters "
           "6531000 Wh and 0.069 m^3";
    QTest::newRow("application error")
        << hex("68 04 04 68 08 01 70 02 7B 16") << in << M
        << "RSP_UD from address 1: application error 02: buffer too long, truncated";
    QTest::newRow("M-Bus cut short")
        << hex("68 0A 0A 68 08") << in << M << "Not a complete M-Bus telegram (5 bytes)";
    QTest::newRow("M-Bus checksum wrong")
        << hex("10 40 05 46 16") << out << M
        << "M-Bus telegram with a wrong checksum or stop byte (5 bytes)";

    // Modbus, both framings.
    QTest::newRow("RTU read")
        << hex("01 03 00 00 00 0A C5 CD") << out << R
        << "Modbus RTU request to unit 1: read holding registers, first register 0, 10 registers, "
           "CRC right";
    QTest::newRow("RTU reply") << hex("01 03 04 00 01 00 02 2A 32") << in << R
                               << "Modbus RTU reply from unit 1: read holding registers, 4 data "
                                  "bytes, CRC right";
    QTest::newRow("RTU exception")
        << hex("01 83 02 C0 F1") << in << R
        << "Modbus RTU exception from unit 1 to read holding registers: Modbuserror 02: Illegal "
           "data address, CRC right";
    QTest::newRow("RTU unknown exception")
        << hex("11 83 0C 40 F0") << in << R
        << "Modbus RTU exception from unit 17 to read holding registers: Unknown Modbuserror, "
           "CRC right";
    QTest::newRow("RTU CRC wrong")
        << hex("01 03 00 00 00 0A C5 CE") << out << R
        << "Modbus RTU request to unit 1: read holding registers, first register 0, 10 registers, "
           "CRC wrong";
    QTest::newRow("RTU write") << hex("01 10 00 01 00 02 04 00 0A 01 02 92 30") << out << R
                               << "Modbus RTU request to unit 1: write multiple registers, CRC "
                                  "right";
    QTest::newRow("TCP read")
        << hex("00 01 00 00 00 06 01 03 00 00 00 0A") << out << T
        << "Modbus TCP request to unit 1: read holding registers, first register 0, 10 registers, "
           "transaction 1";
    QTest::newRow("TCP reply") << hex("00 01 00 00 00 07 01 04 04 00 01 00 02") << in << T
                               << "Modbus TCP reply from unit 1: read input registers, 4 data "
                                  "bytes, transaction 1";
    QTest::newRow("TCP exception")
        << hex("00 05 00 00 00 03 01 83 0B") << in << T
        << "Modbus TCP exception from unit 1 to read holding registers: Modbuserror 0B: Target "
           "device failed to respond, transaction 5";
    QTest::newRow("TCP length field wrong")
        << hex("00 02 00 00 00 09 01 03 02 00 01") << in << T
        << "Modbus TCP reply from unit 1: read holding registers, 2 data bytes, transaction 2, "
           "the length field says 9 bytes";
    QTest::newRow("Modbus cut short")
        << hex("01 03") << in << R << "Not a complete Modbus telegram (2 bytes)";

    // ASCII protocol.
    QTest::newRow("ASCII request with checksum")
        << ascii('\x02', "010105A.B.C49") << out << A
        << "ASCII request 01 to station 5: tag \"A.B.C\", checksum right";
    QTest::newRow("ASCII request") << ascii('\x02', "010005A.B.C") << out << A
                                   << "ASCII request 01 to station 5: tag \"A.B.C\"";
    QTest::newRow("ASCII value") << ascii('\x06', "01000512.5") << in << A
                                 << "ASCII reply 01 from station 5: ACK, value \"12.5\"";
    QTest::newRow("ASCII value, checksum wrong")
        << ascii('\x06', "01010512.5EE") << in << A
        << "ASCII reply 01 from station 5: ACK, value \"12.5\", checksum wrong";
    QTest::newRow("ASCII error") << ascii('\x15', "990005X") << in << A
                                 << "ASCII reply 99 from station 5: NAK, Error X: Internal use for "
                                    "wrong multi drop address";
    QTest::newRow("ASCII unknown error")
        << ascii('\x15', "020107Z") << in << A
        << "ASCII reply 02 from station 7: NAK, Unknown AsciiError";
    QTest::newRow("ASCII cut short")
        << QByteArray("\x06"
                      "0100")
        << in << A << "Not a complete ASCII protocol telegram (5 bytes)";

    // Setup datagrams.
    QTest::newRow("discovery") << hex("00 00 00 F6") << out << S << "Setup: discovery request";
    QTest::newRow("read record") << hex("00 00 00 E3") << out << S << "Setup: read record 3";
    QTest::newRow("record read") << recordReadAnswer(3, QByteArray(120, '\0')) << in << S
                                 << "Setup: record 3 (120 bytes)";
    QTest::newRow("write record") << recordWriteRequest(0, QByteArray(120, '\1')) << out << S
                                  << "Setup: write record 0 (120 bytes)";
    QTest::newRow("record written") << recordWriteAck(0) << in << S << "Setup: record 0 written";
    QTest::newRow("IP-SETUP")
        << buildIpSetup({0x00, 0x04, 0x25, 0x1C, 0x12, 0x34}, {10, 0, 0, 5}) << out << S
        << "Setup: IP-SETUP for the device whose MAC address ends in 12:34, new address 10.0.0.5";
    QTest::newRow("IP-SETUP by DHCP")
        << buildIpSetup({0x00, 0x04, 0x25, 0x1C, 0x12, 0x34}, {0, 0, 0, 0}) << out << S
        << "Setup: IP-SETUP for the device whose MAC address ends in 12:34, address by DHCP";
    DiscoveryAnswer k2;
    k2.mac = {0x00, 0x04, 0x25, 0x1C, 0x12, 0x34};
    QTest::newRow("discovery answer") << buildDiscoveryAnswer(k2) << in << S
                                      << "Setup: discovery answer from 00-04-25-1C-12-34 (K2)";
    QTest::newRow("setup cut short")
        << hex("00 00 00") << in << S << "Not a setup datagram (3 bytes)";

    // The protocol told from the bytes alone.
    QTest::newRow("guessed M-Bus") << hex("10 40 05 45 16") << out << U << "SND_NKE to address 5";
    QTest::newRow("guessed RTU") << hex("01 83 02 C0 F1") << in << U
                                 << "Modbus RTU exception from unit 1 to read holding registers: "
                                    "Modbuserror 02: Illegal data address, CRC right";
    QTest::newRow("guessed TCP") << hex("00 01 00 00 00 07 01 04 04 00 01 00 02") << in << U
                                 << "Modbus TCP reply from unit 1: read input registers, 4 data "
                                    "bytes, transaction 1";
    QTest::newRow("guessed ASCII") << ascii('\x06', "01000512.5") << in << U
                                   << "ASCII reply 01 from station 5: ACK, value \"12.5\"";
    QTest::newRow("guessed setup") << hex("00 00 00 E3") << out << U << "Setup: read record 3";
    QTest::newRow("nothing known")
        << hex("01 02 03") << in << U << "3 bytes in no protocol the wizard knows";
    QTest::newRow("note") << QByteArray("BusTimeout") << Direction::Note << U << "";
}

void TestExplain::explain() {
    QFETCH(QByteArray, bytes);
    QFETCH(Direction, direction);
    QFETCH(TelegramProtocol, protocol);
    QTEST(explainTelegram(bytes, direction, protocol), "line");
}

// The task's protocol when the bytes fit it; else the one they fit; else the
// task's, whose explanation says what is wrong.
void TestExplain::chooseProtocol_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TelegramProtocol>("expected");
    QTest::addColumn<TelegramProtocol>("chosen");
    const auto M = TelegramProtocol::MBus;
    const auto R = TelegramProtocol::ModbusRtu;
    const auto T = TelegramProtocol::ModbusTcp;
    const auto S = TelegramProtocol::Setup;
    QTest::newRow("M-Bus on the meter task") << hex("10 5B 01 5C 16") << M << M;
    QTest::newRow("setup record read during a search") << hex("00 00 00 E0") << M << S;
    QTest::newRow("TCP framing while RTU was expected")
        << hex("00 01 00 00 00 06 01 03 00 00 00 0A") << R << T;
    QTest::newRow("cut short: still the task's") << hex("68 0A 0A 68 08") << M << M;
    QTest::newRow("no task: guessed") << hex("E5") << TelegramProtocol::Unknown << M;
}

void TestExplain::chooseProtocol() {
    QFETCH(QByteArray, bytes);
    QFETCH(TelegramProtocol, expected);
    QTEST(kestrune::chooseProtocol(bytes, Direction::Sent, expected), "chosen");
}

QTEST_GUILESS_MAIN(TestExplain)
#include "tst_explain.moc"
