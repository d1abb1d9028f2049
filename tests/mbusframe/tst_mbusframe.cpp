#include "base/TextUtil.h"
#include "mbus/FcbState.h"
#include "mbus/MBusFrame.h"
#include "tests/TestHex.h"

#include <QtTest>

using namespace kestrune;

namespace {

using testhex::hex;

// Replies of real meters, as published with the open-source M-Bus library
// libmbus (github.com/rscada/libmbus, commit
// f09d613bf98d0d10ed99240470bd4a2d3be9873f, BSD 3-Clause, (c) Raditex
// Control AB / rSCADA and contributors).
const char* const kAcwBmPlus =
    "68 3C 3C 68 08 08 72 78 03 49 11 77 04 0E 16 0A 00 00 00 0C 78 78 03 49 11 04 13 31 D4 00 "
    "00 42 6C 00 00 44 13 00 00 00 00 04 6D 0B 0B CD 13 02 27 00 00 09 FD 0E 02 09 FD 0F 06 0F "
    "00 01 75 13 D3 16";
const char* const kElectricityMeter1 =
    "68 92 92 68 08 01 72 3E 02 00 05 43 4C 12 02 13 00 00 00 8C 10 04 52 12 00 00 8C 11 04 52 "
    "12 00 00 8C 20 04 33 44 77 01 8C 21 04 33 44 77 01 02 FD C9 FF 01 ED 00 02 FD DB FF 01 20 "
    "00 02 AC FF 01 4F 00 82 40 AC FF 01 EE FF 02 FD C9 FF 02 E7 00 02 FD DB FF 02 23 00 02 AC "
    "FF 02 51 00 82 40 AC FF 02 F1 FF 02 FD C9 FF 03 E4 00 02 FD DB FF 03 45 00 02 AC FF 03 A0 "
    "00 82 40 AC FF 03 E0 FF 02 FF 68 00 00 02 AC FF 00 40 01 82 40 AC FF 00 BF FF 01 FF 13 04 "
    "D9 16";
const char* const kRelPadpuls3 =
    "68 2F 2F 68 08 01 72 01 01 03 01 AC 48 40 08 1E 00 00 00 0C 6E 87 19 00 00 04 6D 29 0A 1F "
    "0C 42 6C 1F 0C 4C 6E 02 13 00 00 42 EC 7E 3F 0C 0F C0 01 01 0C 40 16";
const char* const kGwfMtkCoder = "68 1B 1B 68 08 01 72 07 20 18 00 E6 1E 35 07 4C 00 00 00 0C 78 "
                                 "07 20 18 00 0C 16 69 02 00 00 96 16";
const char* const kSenPollusonic2 =
    "68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00 3F 16";
const char* const kInvalidLength2 =
    "68 12 12 68 08 01 73 93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 3F 16";
const char* const kBufferTooLong = "68 04 04 68 08 01 70 02 7B 16";
const char* const kTooShortHeader = "68 08 08 68 08 02 72 78 56 34 12 24 B4 16";

} // namespace

class TestMBusFrame : public QObject {
    Q_OBJECT

private slots:
    void goldenHeader_data();
    void goldenHeader();
    void headerRefused_data();
    void headerRefused();
    void letters_data();
    void letters();
    void checksum_data();
    void checksum();
    void shortFrame_data();
    void shortFrame();
    void longFrame_data();
    void longFrame();
    void longFrameBounds();
    void selection_data();
    void selection();
    void completeness_data();
    void completeness();
    void parse_data();
    void parse();
    void parseRoundTrip_data();
    void parseRoundTrip();
    void expectedSize_data();
    void expectedSize();
    void frameCountBit_data();
    void frameCountBit();
    void fcbPolicyRange();
};

void TestMBusFrame::goldenHeader_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("ci");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("manufacturer");
    QTest::addColumn<QString>("letters");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("medium");

    QTest::newRow("ACW_Itron-BM-plus-m")
        << hex(kAcwBmPlus) << 8 << 0x72 << "11490378" << 0x0477 << "ACW" << 14 << 0x16;
    QTest::newRow("electricity-meter-1 (id not BCD)")
        << hex(kElectricityMeter1) << 1 << 0x72 << "0500023E" << 0x4C43 << "SBC" << 18 << 0x02;
    QTest::newRow("rel_padpuls3") << hex(kRelPadpuls3) << 1 << 0x72 << "01030101" << 0x48AC << "REL"
                                  << 64 << 0x08;
    QTest::newRow("GWF-MTKcoder (leading zeros)")
        << hex(kGwfMtkCoder) << 1 << 0x72 << "00182007" << 0x1EE6 << "GWF" << 53 << 0x07;
    // Fixed structure: raw positions, the caller knows they are no manufacturer.
    QTest::newRow("sen_pollusonic_2 (CI 73)")
        << hex(kSenPollusonic2) << 1 << 0x73 << "90919293" << 0x0010 << "@@P" << 5 << 0x69;
    QTest::newRow("invalid_length2 (CI 73, 15 data bytes)")
        << hex(kInvalidLength2) << 1 << 0x73 << "90919293" << 0x0010 << "@@P" << 5 << 0x69;
}

void TestMBusFrame::goldenHeader() {
    QFETCH(QByteArray, frame);
    QVERIFY(isCompleteMBusReply(frame));
    const int l = static_cast<uint8_t>(frame[1]);
    QCOMPARE(MBusChecksum(QByteArrayView(frame).sliced(4, l)), static_cast<uint8_t>(frame[l + 4]));

    const auto parsed = parseMBusFrame(frame);
    QVERIFY(parsed);
    QCOMPARE(parsed->kind, MBusFrameKind::Long);
    QCOMPARE(parsed->c, uint8_t(0x08));
    QCOMPARE(parsed->data.size(), l - 3);

    const auto h = readReplyHeader(frame);
    QVERIFY(h);
    QTEST(int(h->a), "a");
    QTEST(int(h->ci), "ci");
    QTEST(h->id, "id");
    QTEST(int(h->manufacturer), "manufacturer");
    QTEST(h->letters, "letters");
    QTEST(int(h->version), "version");
    QTEST(int(h->medium), "medium");
}

void TestMBusFrame::headerRefused_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("complete");
    // Complete replies, but the header would run into checksum and stop byte.
    QTest::newRow("buffer_too_long (CI 70)") << hex(kBufferTooLong) << true;
    QTest::newRow("too_short_header") << hex(kTooShortHeader) << true;
    QTest::newRow("E5") << hex("E5") << true;
    QTest::newRow("sixteen bytes")
        << hex("68 0A 0A 68 08 01 72 01 02 03 04 05 06 07 97 16") << true;
    QTest::newRow("checksum wrong") << hex("68 13 13 68 08 01 73 93 92 91 90 10 00 05 69 31 65 "
                                           "00 00 69 00 00 00 3E 16")
                                    << false;
}

void TestMBusFrame::headerRefused() {
    QFETCH(QByteArray, frame);
    QTEST(isCompleteMBusReply(frame), "complete");
    QVERIFY(!readReplyHeader(frame));
}

void TestMBusFrame::letters_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("letters");
    QTest::newRow("ABB") << 0x0442 << "ABB";
    QTest::newRow("REL") << 0x48AC << "REL";
    QTest::newRow("ZXQ, the K2 gateways") << 0x6B11 << "ZXQ";
    QTest::newRow("zero gives nothing") << 0 << "";
    QTest::newRow("top bit not masked") << 0xB424 << "mAD";
    QTest::newRow("all bits") << 0xFFFF << QStringLiteral("\x7F__");
}

void TestMBusFrame::letters() {
    QFETCH(int, value);
    QFETCH(QString, letters);
    QCOMPARE(manufacturerLetters(static_cast<uint16_t>(value)), letters);
    if (value > 0 && value < 0x8000 && !letters.contains(QLatin1Char('_'))) {
        QCOMPARE(manufacturerValue(letters), std::optional<uint16_t>(value));
    }
}

void TestMBusFrame::checksum_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("sum");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("selection user data") << hex("53 FD 52 78 56 34 12 CD AB FF FF") << 0x2C;
    QTest::newRow("wraps") << hex("FF FF") << 0xFE;
    QTest::newRow("wraps to zero") << hex("80 80") << 0;
}

void TestMBusFrame::checksum() {
    QFETCH(QByteArray, bytes);
    QTEST(int(MBusChecksum(bytes)), "sum");
}

void TestMBusFrame::shortFrame_data() {
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("a");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("SND_NKE to 5") << 0x40 << 5 << hex("10 40 05 45 16");
    QTest::newRow("REQ_UD2 FCB 0 to 253") << 0x5B << 253 << hex("10 5B FD 58 16");
    QTest::newRow("SND_NKE to 254") << 0x40 << 254 << hex("10 40 FE 3E 16");
    QTest::newRow("REQ_UD2 FCB 1 to 255") << 0x7B << 255 << hex("10 7B FF 7A 16");
}

void TestMBusFrame::shortFrame() {
    QFETCH(int, c);
    QFETCH(int, a);
    QTEST(buildShortFrame(static_cast<uint8_t>(c), static_cast<uint8_t>(a)), "frame");
}

void TestMBusFrame::longFrame_data() {
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("ci");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("new primary address 5 for meter 1")
        << 0x53 << 1 << 0x51 << hex("01 7A 05") << hex("68 06 06 68 53 01 51 01 7A 05 25 16");
    QTest::newRow("application reset to 254, control frame")
        << 0x53 << 254 << 0x50 << QByteArray() << hex("68 03 03 68 53 FE 50 A1 16");
    QTest::newRow("application reset, subcode F0")
        << 0x53 << 1 << 0x50 << hex("F0") << hex("68 04 04 68 53 01 50 F0 94 16");
    QTest::newRow("9600 baud, FCB 1")
        << 0x73 << 1 << 0xBD << QByteArray() << hex("68 03 03 68 73 01 BD 31 16");
}

void TestMBusFrame::longFrame() {
    QFETCH(int, c);
    QFETCH(int, a);
    QFETCH(int, ci);
    QFETCH(QByteArray, data);
    QTEST(buildLongFrame(static_cast<uint8_t>(c), static_cast<uint8_t>(a), static_cast<uint8_t>(ci),
                         data),
          "frame");
}

void TestMBusFrame::longFrameBounds() {
    QVERIFY(buildLongFrame(hex("53 01")).isEmpty());
    QVERIFY(buildLongFrame(QByteArray()).isEmpty());
    const QByteArray most = buildLongFrame(QByteArray(255, '\x01'));
    QCOMPARE(most.size(), mbus::kMaxFrameBytes);
    QCOMPARE(static_cast<uint8_t>(most[1]), uint8_t(255));
    QVERIFY(isCompleteMBusReply(most));
    QVERIFY(buildLongFrame(QByteArray(256, '\x01')).isEmpty());
    QVERIFY(buildLongFrame(0x53, 1, 0x51, QByteArray(253, '\0')).isEmpty());
    QCOMPARE(buildLongFrame(0x53, 1, 0x51, QByteArray(252, '\0')).size(), 261);
}

void TestMBusFrame::selection_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("man");
    QTest::addColumn<QString>("ver");
    QTest::addColumn<QString>("med");
    QTest::addColumn<bool>("withFabrication");
    QTest::addColumn<QString>("fabrication");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("12345678 ABCD")
        << "12345678"
        << "ABCD"
        << "FF"
        << "FF" << false << "" << hex("68 0B 0B 68 53 FD 52 78 56 34 12 CD AB FF FF 2C 16");
    QTest::newRow("lower case") << "12345678"
                                << "abcd"
                                << "ff"
                                << "ff" << false << ""
                                << hex("68 0B 0B 68 53 FD 52 78 56 34 12 CD AB FF FF 2C 16");
    QTest::newRow("empty masks are wildcards")
        << ""
        << ""
        << ""
        << "" << false << "" << hex("68 0B 0B 68 53 FD 52 FF FF FF FF FF FF FF FF 9A 16");
    QTest::newRow("F nibbles, short manufacturer")
        << "FFFF12F4"
        << "2C2D"
        << "F"
        << "" << false << "" << hex("68 0B 0B 68 53 FD 52 F4 12 FF FF 2D 2C FF FF FD 16");
    QTest::newRow("empty fabrication mask is all wildcards")
        << "12345678"
        << "ABCD"
        << "FF"
        << "FF" << true << ""
        << hex("68 11 11 68 53 FD 52 78 56 34 12 CD AB FF FF 0C 78 FF FF FF FF AC 16");
    QTest::newRow("fabrication padded with F")
        << "12345678"
        << "ABCD"
        << "FF"
        << "FF" << true << "1234"
        << hex("68 11 11 68 53 FD 52 78 56 34 12 CD AB FF FF 0C 78 34 12 FF FF F4 16");
    QTest::newRow("not a hex digit counts 0, long fabrication keeps its end")
        << "1234567G"
        << "ABCD"
        << "01"
        << "07" << true << "9876543210"
        << hex("68 11 11 68 53 FD 52 70 56 34 12 CD AB 01 07 0C 78 10 32 54 76 BE 16");
}

void TestMBusFrame::selection() {
    QFETCH(QString, id);
    QFETCH(QString, man);
    QFETCH(QString, ver);
    QFETCH(QString, med);
    QFETCH(bool, withFabrication);
    QFETCH(QString, fabrication);
    std::optional<QStringView> fab;
    if (withFabrication) {
        fab = fabrication;
    }
    QTEST(buildSelectionFrame(id, man, ver, med, fab), "frame");
}

void TestMBusFrame::completeness_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("complete");

    const QByteArray good = hex(kGwfMtkCoder);
    QTest::newRow("E5 alone") << hex("E5") << true;
    QTest::newRow("E5 E5") << hex("E5 E5") << false;
    QTest::newRow("E5 and more") << hex("E5 10 40") << false;
    QTest::newRow("byte before E5") << hex("00 E5") << false;
    QTest::newRow("long frame") << good << true;
    QTest::newRow("control frame") << hex("68 03 03 68 53 FE 50 A1 16") << true;

    QByteArray stop = good;
    stop[stop.size() - 1] = '\0';
    QTest::newRow("wrong stop byte accepted") << stop << true;

    QByteArray sum = good;
    sum[sum.size() - 2] = static_cast<char>(sum[sum.size() - 2] + 1);
    QTest::newRow("wrong checksum") << sum << false;

    QByteArray lengths = good;
    lengths[2] = static_cast<char>(lengths[2] + 1);
    QTest::newRow("length bytes differ") << lengths << false;

    QByteArray start = good;
    start[3] = 0x10;
    QTest::newRow("second start byte wrong") << start << false;

    QTest::newRow("one byte missing") << good.left(good.size() - 1) << false;
    QTest::newRow("one stray byte after") << good + hex("16") << false;
    QTest::newRow("another frame after") << good + good << false;
    QTest::newRow("L + 6 mismatch, checksum right for the shorter")
        << hex("68 04 04 68 53 FE 50 A1 16") << false;
    QTest::newRow("short frame refused") << hex("10 40 05 45 16") << false;
    QTest::newRow("0 stray bytes") << QByteArray() << false;
    QTest::newRow("2 stray bytes") << hex("68 68") << false;
    QTest::newRow("5 stray bytes") << hex("68 FF FF 68 00") << false;
    QTest::newRow("8 stray bytes") << hex("00 01 02 03 04 05 06 07") << false;
}

void TestMBusFrame::completeness() {
    QFETCH(QByteArray, bytes);
    QTEST(isCompleteMBusReply(bytes), "complete");
}

void TestMBusFrame::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("ci");
    QTest::addColumn<QByteArray>("data");

    const int ack = int(MBusFrameKind::Ack);
    const int shortKind = int(MBusFrameKind::Short);
    const int control = int(MBusFrameKind::Control);
    const int longKind = int(MBusFrameKind::Long);
    QTest::newRow("E5") << hex("E5") << true << ack << 0 << 0 << 0 << QByteArray();
    QTest::newRow("SND_NKE") << hex("10 40 05 45 16") << true << shortKind << 0x40 << 5 << 0
                             << QByteArray();
    QTest::newRow("short, bad checksum")
        << hex("10 40 05 46 16") << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("short, bad stop")
        << hex("10 40 05 45 17") << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("control frame") << hex("68 03 03 68 53 FE 50 A1 16") << true << control << 0x53
                                   << 0xFE << 0x50 << QByteArray();
    QTest::newRow("address change") << hex("68 06 06 68 53 01 51 01 7A 05 25 16") << true
                                    << longKind << 0x53 << 1 << 0x51 << hex("01 7A 05");
    QTest::newRow("long, bad stop")
        << hex("68 06 06 68 53 01 51 01 7A 05 25 00") << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("L = 2") << hex("68 02 02 68 53 01 54 16") << false << 0 << 0 << 0 << 0
                           << QByteArray();
    QTest::newRow("L = 0") << hex("68 00 00 68 00 16") << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("trailing byte")
        << hex("10 40 05 45 16 E5") << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("prefix") << hex("68 06 06 68 53 01") << false << 0 << 0 << 0 << 0
                            << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << 0 << 0 << QByteArray();
    QTest::newRow("unknown start") << hex("A2") << false << 0 << 0 << 0 << 0 << QByteArray();
}

void TestMBusFrame::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    const auto frame = parseMBusFrame(bytes);
    QCOMPARE(frame.has_value(), ok);
    if (!ok) {
        return;
    }
    QTEST(int(frame->kind), "kind");
    QTEST(int(frame->c), "c");
    QTEST(int(frame->a), "a");
    QTEST(int(frame->ci), "ci");
    QTEST(frame->data, "data");
    QCOMPARE(frame->size, bytes.size());
}

void TestMBusFrame::parseRoundTrip_data() {
    QTest::addColumn<int>("dataSize");
    QTest::newRow("no data") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("largest") << 252;
}

void TestMBusFrame::parseRoundTrip() {
    QFETCH(int, dataSize);
    QByteArray data;
    for (int i = 0; i < dataSize; ++i) {
        data.append(static_cast<char>(i * 7));
    }
    const QByteArray frame = buildLongFrame(0x73, 0x2A, 0x51, data);
    const auto parsed = parseMBusFrame(frame);
    QVERIFY(parsed);
    QCOMPARE(parsed->c, uint8_t(0x73));
    QCOMPARE(parsed->a, uint8_t(0x2A));
    QCOMPARE(parsed->ci, uint8_t(0x51));
    QCOMPARE(parsed->data, data);
    QCOMPARE(expectedFrameSize(frame), frame.size());
}

void TestMBusFrame::expectedSize_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("size");
    QTest::newRow("nothing yet") << QByteArray() << 0;
    QTest::newRow("E5") << hex("E5 10") << 1;
    QTest::newRow("short frame start") << hex("10") << 5;
    QTest::newRow("long, two bytes") << hex("68 06") << 0;
    QTest::newRow("long, lengths differ early") << hex("68 06 07") << -1;
    QTest::newRow("long, header") << hex("68 06 06 68") << 12;
    QTest::newRow("long, L below 3") << hex("68 02 02 68") << -1;
    QTest::newRow("long, bad second start") << hex("68 06 06 69") << -1;
    QTest::newRow("garbage") << hex("00") << -1;
}

void TestMBusFrame::expectedSize() {
    QFETCH(QByteArray, bytes);
    QTEST(expectedFrameSize(bytes), "size");
}

// A sequence of exchanges with the C fields the table chooses. Events, to
// address 1 unless "@n" names another: R a read answered with data, r a
// read answered by E5 or nothing, N SND_NKE answered, A application reset
// answered, S a setting acknowledged with E5, s one that was not, P the
// page connecting (reset pending).
void TestMBusFrame::frameCountBit_data() {
    QTest::addColumn<int>("policy");
    QTest::addColumn<bool>("pending");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("controls");

    QTest::newRow("toggle from a fresh table") << 0 << false << "R R R"
                                               << "5B 7B 5B";
    QTest::newRow("page entry: 7B then 5B") << 0 << true << "R R"
                                            << "7B 5B";
    QTest::newRow("page entry between reads") << 0 << false << "R P R R"
                                              << "5B 7B 5B";
    QTest::newRow("read without data keeps the bit") << 0 << false << "r r R R"
                                                     << "5B 5B 5B 7B";
    QTest::newRow("pending is used up by a read without data") << 0 << true << "r R R"
                                                               << "7B 7B 5B";
    QTest::newRow("always set") << 1 << false << "R R R"
                                << "7B 7B 7B";
    QTest::newRow("always set after a setting") << 1 << false << "R S R"
                                                << "7B 53 7B";
    QTest::newRow("always reset, even after page entry") << 2 << true << "R R"
                                                         << "5B 5B";
    QTest::newRow("always reset after a link reset") << 2 << false << "N R R"
                                                     << "5B 5B";
    QTest::newRow("link reset sets the bit") << 0 << false << "R N R"
                                             << "5B 7B";
    QTest::newRow("application reset sets the bit") << 0 << false << "A R"
                                                    << "7B";
    QTest::newRow("acknowledged setting inverts") << 0 << false << "S S R"
                                                  << "53 73 5B";
    QTest::newRow("unacknowledged setting keeps") << 0 << false << "s s R"
                                                  << "53 53 5B";
    QTest::newRow("setting after a link reset") << 0 << false << "N S R"
                                                << "73 5B";
    QTest::newRow("pending leaves settings alone") << 0 << true << "S R"
                                                   << "53 7B";
    QTest::newRow("addresses are apart") << 0 << false << "R@1 R@2 R@1 R@2 R@2"
                                         << "5B 5B 7B 7B 5B";
    QTest::newRow("pending serves the first read only") << 0 << true << "R@1 R@2"
                                                        << "7B 5B";
    QTest::newRow("address 255") << 0 << false << "N@255 R@255 R@0"
                                 << "7B 5B";
}

void TestMBusFrame::frameCountBit() {
    QFETCH(int, policy);
    QFETCH(bool, pending);
    QFETCH(QString, events);
    FcbState fcb;
    fcb.setPolicy(policy);
    fcb.setResetPending(pending);
    QStringList controls;
    for (const QString& event : events.split(QLatin1Char(' '))) {
        const auto address = static_cast<uint8_t>(
            event.contains(QLatin1Char('@')) ? event.section(QLatin1Char('@'), 1).toInt() : 1);
        switch (event[0].toLatin1()) {
        case 'R':
        case 'r':
            controls << hexPair(fcb.reqUd2Control(address));
            if (event[0] == QLatin1Char('R'))
                fcb.afterDataReply(address);
            break;
        case 'S':
        case 's':
            controls << hexPair(fcb.sndUdControl(address));
            if (event[0] == QLatin1Char('S'))
                fcb.afterSettingAcknowledged(address);
            break;
        case 'N':
        case 'A':
            fcb.afterLinkReset(address);
            break;
        case 'P':
            fcb.setResetPending(true);
            break;
        default:
            QFAIL(qPrintable(QStringLiteral("unknown event ") + event));
        }
    }
    QTEST(controls.join(QLatin1Char(' ')), "controls");
}

void TestMBusFrame::fcbPolicyRange() {
    FcbState fcb;
    fcb.setPolicy(2);
    fcb.setPolicy(3);
    fcb.setPolicy(-1);
    QCOMPARE(fcb.policy(), FcbState::AlwaysReset);
    fcb.setEntry(7, true);
    fcb.setResetPending(true);
    fcb.clear();
    QVERIFY(!fcb.entry(7) && !fcb.resetPending());
}

QTEST_APPLESS_MAIN(TestMBusFrame)
#include "tst_mbusframe.moc"
