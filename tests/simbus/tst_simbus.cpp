#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"
#include "sim/bus/MeterTemplates.h"
#include "sim/bus/SimBus.h"
#include "sim/devices/LinePacer.h"
#include "tests/TestHex.h"

#include <QtTest>

using namespace kestrune;
using namespace kestrune::sim;

namespace {

using kestrune::testhex::hex;

const QByteArray kE5("\xE5", 1);

QByteArray sndNke(uint8_t a) {
    return buildShortFrame(mbus::kSndNke, a);
}
QByteArray reqUd2(uint8_t a, bool fcb = false) {
    return buildShortFrame(fcb ? mbus::kReqUd2Fcb : mbus::kReqUd2, a);
}

SimMeter meterFrom(const char* capture, uint8_t primary, int baud = 2400) {
    const QByteArray reply = capturedReply(QString::fromLatin1(capture));
    return SimMeter(primary, identityFromReply(reply).value_or(MeterIdentity{}), reply, baud);
}

// Four meters whose ids share leading digits: 12000071 (ACW water, with
// fabrication number), 12000093 (GWF water), 12082058 (LGB gas), 11216301 (REL gas).
SimBus searchBus() {
    SimBus bus;
    SimMeter acw = meterFrom("itron_cyble_m-bus_v1.4_water", 2);
    MeterIdentity id = acw.identity();
    id.fabrication = 0x12000071;
    acw.setIdentity(id);
    bus.addMeter(acw);
    SimMeter gwf = meterFrom("GWF-MTKcoder", 6);
    id = gwf.identity();
    id.id = 0x12000093;
    gwf.setIdentity(id);
    bus.addMeter(gwf);
    bus.addMeter(meterFrom("LGB_G350", 7));
    bus.addMeter(meterFrom("REL-Relay-Padpuls2", 22));
    return bus;
}

QList<uint8_t> selectedAddresses(const SimBus& bus) {
    QList<uint8_t> out;
    for (const SimMeter& m : bus.meters()) {
        if (m.isSelected()) {
            out.append(m.primaryAddress());
        }
    }
    return out;
}

int16_t wordAt(const QByteArray& frame, int position) {
    // 1-based position, least significant byte first.
    return static_cast<int16_t>(static_cast<uint8_t>(frame[position]) << 8 |
                                static_cast<uint8_t>(frame[position - 1]));
}

} // namespace

class TestSimBus : public QObject {
    Q_OBJECT

private slots:
    void cFields_data();
    void cFields();
    void replyCarriesOwnHeader();
    void fixedStructureReply();
    void selection_data();
    void selection();
    void selectionDeselectsOthers();
    void sndNkeEndsSelection();
    void superimpose_data();
    void superimpose();
    void receiveOverlap_data();
    void receiveOverlap();
    void collisions();
    void fcb();
    void addressChange();
    void speedChange();
    void applicationReset();
    void testAddress();
    void broadcastSilentButHeard();
    void badTelegramsChangeNothing();
    void timing_data();
    void timing();
    void k2Gateway();
    void defaultInstallation();
    void linePieces_data();
    void linePieces();
    void meterFaults_data();
    void meterFaults();
    void faultLeavesTheStateChange();
    void repeatAfterAddressChange();
    void shortTemplates_data();
    void shortTemplates();
};

void TestSimBus::cFields_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("answer"); // "", "E5" or "long"

    QTest::newRow("SND_NKE to 5") << sndNke(5) << "E5";
    QTest::newRow("SND_NKE to 6") << sndNke(6) << "";
    QTest::newRow("REQ_UD2 FCB 0") << reqUd2(5) << "long";
    QTest::newRow("REQ_UD2 FCB 1") << reqUd2(5, true) << "long";
    QTest::newRow("REQ_UD2 without FCV") << buildShortFrame(0x4B, 5) << "long";
    QTest::newRow("REQ_UD1") << buildShortFrame(0x5A, 5) << "E5";
    QTest::newRow("REQ_UD2 to another address") << reqUd2(6) << "";
    QTest::newRow("REQ_UD2 to 253, nothing selected") << reqUd2(253) << "";
    QTest::newRow("SND_UD, data the meter ignores")
        << buildLongFrame(0x53, 5, 0x51, hex("04 13 00 00 00 00")) << "E5";
    QTest::newRow("SND_UD, CI not understood") << buildLongFrame(0x53, 5, 0x99, {}) << "";
    QTest::newRow("SND_UD as a short frame") << buildShortFrame(0x53, 5) << "";
    QTest::newRow("RSP_UD from another slave") << buildShortFrame(0x08, 5) << "";
    QTest::newRow("REQ_UD2 as a long frame") << buildLongFrame(0x5B, 5, 0x51, {}) << "";
    QTest::newRow("E5 from another slave") << kE5 << "";
    QTest::newRow("selection sent to 5")
        << buildLongFrame(0x53, 5, 0x52, QByteArray(8, '\xFF')) << "";
}

void TestSimBus::cFields() {
    QFETCH(QByteArray, request);
    QFETCH(QString, answer);
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 5));
    const BusAnswer got = bus.transact(request, 2400);
    if (answer.isEmpty()) {
        QCOMPARE(got.bytes, QByteArray());
        QCOMPARE(got.answering, 0);
    } else if (answer == QLatin1String("E5")) {
        QCOMPARE(got.bytes, kE5);
    } else {
        QVERIFY(isCompleteMBusReply(got.bytes));
        QVERIFY(got.bytes.size() > 1);
        QCOMPARE(static_cast<uint8_t>(got.bytes[5]), uint8_t(5));
    }
}

void TestSimBus::replyCarriesOwnHeader() {
    const QByteArray capture = capturedReply(u"LGB_G350");
    QVERIFY(!capture.isEmpty());
    MeterIdentity id{0x98765432, 0x0442, 0x21, 0x0E, {}};
    SimBus bus;
    bus.addMeter(SimMeter(42, id, capture));
    const QByteArray reply = bus.transact(reqUd2(42), 2400).bytes;
    QVERIFY(isCompleteMBusReply(reply));
    QCOMPARE(static_cast<uint8_t>(reply[reply.size() - 1]), mbus::kStop);
    QCOMPARE(reply.size(), capture.size());
    const auto h = readReplyHeader(reply);
    QVERIFY(h);
    QCOMPARE(h->a, uint8_t(42));
    QCOMPARE(h->id, QStringLiteral("98765432"));
    QCOMPARE(h->letters, QStringLiteral("ABB"));
    QCOMPARE(h->version, uint8_t(0x21));
    QCOMPARE(h->medium, uint8_t(0x0E));
    // The data records after the 12-byte header are the captured ones.
    QCOMPARE(reply.mid(19, reply.size() - 21), capture.mid(19, capture.size() - 21));
    // Access number: one up from the capture's.
    QCOMPARE(static_cast<uint8_t>(reply[15]), uint8_t(capture[15] + 1));
}

void TestSimBus::fixedStructureReply() {
    SimMeter meter = meterFrom("sen_pollusonic_2", 8);
    QVERIFY(meter.isFixedStructure());
    QVERIFY(meter.hasValidTemplate());
    MeterIdentity id = meter.identity();
    QCOMPARE(id.id, 0x90919293u);
    id.id = 0x11223344;
    meter.setIdentity(id);
    SimBus bus;
    bus.addMeter(meter);
    const QByteArray first = bus.transact(reqUd2(8, true), 2400).bytes;
    const QByteArray second = bus.transact(reqUd2(8, false), 2400).bytes;
    QVERIFY(isCompleteMBusReply(first));
    QCOMPARE(static_cast<uint8_t>(first[6]), mbus::kCiFixedReply);
    QCOMPARE(readReplyHeader(first)->id, QStringLiteral("11223344"));
    QCOMPARE(static_cast<uint8_t>(second[11]), uint8_t(first[11] + 1));
    // The counter types and counters stay as captured.
    QCOMPARE(first.mid(12, 10), capturedReply(u"sen_pollusonic_2").mid(12, 10));
}

void TestSimBus::selection_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("man");
    QTest::addColumn<QString>("ver");
    QTest::addColumn<QString>("med");
    QTest::addColumn<QString>("fab"); // "-": no fabrication part
    QTest::addColumn<QList<uint8_t>>("selected");

    using L = QList<uint8_t>;
    const auto row = [](const char* name, const char* id, const char* man, const char* ver,
                        const char* med, const char* fab, const L& selected) {
        QTest::newRow(name) << QString::fromLatin1(id) << QString::fromLatin1(man)
                            << QString::fromLatin1(ver) << QString::fromLatin1(med)
                            << QString::fromLatin1(fab) << selected;
    };
    // name, id, manufacturer, version, medium, fabrication, selected addresses
    row("one id", "12000071", "", "", "", "-", L{2});
    row("two F nibbles", "120000FF", "", "", "", "-", L{2, 6});
    row("F in the middle", "12F8FFFF", "", "", "", "-", L{7});
    row("single F nibble", "1200009F", "", "", "", "-", L{6});
    row("all wildcards", "", "", "", "", "-", L{2, 6, 7, 22});
    row("leading digit only", "1FFFFFFF", "", "", "", "-", L{2, 6, 7, 22});
    row("no such id", "13FFFFFF", "", "", "", "-", L{});
    row("manufacturer ACW", "", "0477", "", "", "-", L{2});
    row("manufacturer mismatch", "12000071", "1EE6", "", "", "-", L{});
    row("version 53", "", "", "35", "", "-", L{6});
    row("medium gas", "", "", "", "03", "-", L{7, 22});
    row("fabrication number", "", "", "", "", "12000071", L{2});
    row("fabrication wildcards", "", "", "", "", "", L{2, 6, 7, 22});
    row("fabrication F nibble", "", "", "", "", "1200007F", L{2});
    row("fabrication mismatch", "", "", "", "", "00000001", L{});
}

void TestSimBus::selection() {
    QFETCH(QString, id);
    QFETCH(QString, man);
    QFETCH(QString, ver);
    QFETCH(QString, med);
    QFETCH(QString, fab);
    QFETCH(QList<uint8_t>, selected);
    std::optional<QStringView> fabrication;
    if (fab != QLatin1String("-")) {
        fabrication = fab;
    }
    SimBus bus = searchBus();
    const BusAnswer answer =
        bus.transact(buildSelectionFrame(id, man, ver, med, fabrication), 2400);
    QCOMPARE(selectedAddresses(bus), selected);
    // Every selected meter acknowledges; the E5s merge into one.
    QCOMPARE(answer.bytes, selected.isEmpty() ? QByteArray() : kE5);
    QCOMPARE(answer.answering, int(selected.size()));

    // 253 now reaches exactly the selected meters.
    const BusAnswer data = bus.transact(reqUd2(253), 2400);
    QCOMPARE(data.answering, int(selected.size()));
    if (selected.size() == 1) {
        QVERIFY(isCompleteMBusReply(data.bytes));
        QCOMPARE(static_cast<uint8_t>(data.bytes[5]), selected.first());
    }
}

void TestSimBus::selectionDeselectsOthers() {
    SimBus bus = searchBus();
    QCOMPARE(bus.transact(buildSelectionFrame(u"12000071", u"", u"", u""), 2400).bytes, kE5);
    QCOMPARE(selectedAddresses(bus), QList<uint8_t>{2});
    QCOMPARE(bus.transact(buildSelectionFrame(u"12082058", u"", u"", u""), 2400).bytes, kE5);
    QCOMPARE(selectedAddresses(bus), QList<uint8_t>{7});
    // A selection nobody matches leaves nobody selected, and nobody answers.
    QCOMPARE(bus.transact(buildSelectionFrame(u"99999999", u"", u"", u""), 2400).bytes,
             QByteArray());
    QVERIFY(selectedAddresses(bus).isEmpty());
    QCOMPARE(bus.transact(sndNke(253), 2400).bytes, QByteArray());
}

void TestSimBus::sndNkeEndsSelection() {
    SimBus bus = searchBus();
    QCOMPARE(bus.transact(buildSelectionFrame(u"12000071", u"", u"", u""), 2400).bytes, kE5);
    // A link reset at the primary address keeps the selection.
    QCOMPARE(bus.transact(sndNke(2), 2400).bytes, kE5);
    QCOMPARE(selectedAddresses(bus), QList<uint8_t>{2});
    // Through 253 it is answered, then the meter leaves the selected state.
    QCOMPARE(bus.transact(sndNke(253), 2400).bytes, kE5);
    QVERIFY(selectedAddresses(bus).isEmpty());
    QCOMPARE(bus.transact(reqUd2(253), 2400).bytes, QByteArray());
}

void TestSimBus::superimpose_data() {
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<QByteArray>("line");
    using L = QList<QByteArray>;
    QTest::newRow("nothing") << L{} << QByteArray();
    QTest::newRow("one") << L{hex("68 03")} << hex("68 03");
    QTest::newRow("two E5") << L{kE5, kE5} << kE5;
    QTest::newRow("three E5") << L{kE5, kE5, kE5} << kE5;
    QTest::newRow("E5 and a frame") << L{kE5, hex("68 03 03 68")} << hex("60 03 03 68");
    QTest::newRow("shorter padded with idle") << L{hex("0F F0 3C"), hex("F0")} << hex("00 F0 3C");
}

void TestSimBus::superimpose() {
    QFETCH(QList<QByteArray>, answers);
    QTEST(SimBus::superimpose(answers), "line");
}

// What the master's UART makes of answers that overlap with a skew (in
// eighths of a bit time).
void TestSimBus::receiveOverlap_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("skew");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("alone") << kE5 << QByteArray() << 0 << kE5;
    QTest::newRow("aligned E5s merge") << kE5 << kE5 << 0 << kE5;
    QTest::newRow("a quarter bit apart still one E5") << kE5 << kE5 << 2 << kE5;
    // The second start bit holds the first data bit low: C0, parity wrong.
    QTest::newRow("one bit apart garbles") << kE5 << kE5 << 8 << hex("C0");
    QTest::newRow("2.5 bits apart garbles") << kE5 << kE5 << 20 << hex("85");
    // The stop bit is low: taken for the next start bit, the lagging
    // answer's tail becomes a second character.
    QTest::newRow("six bits apart doubles") << kE5 << kE5 << 48 << hex("45 FE");
    QTest::newRow("a character apart: two E5") << kE5 << kE5 << 88 << hex("E5 E5");
    QTest::newRow("aligned frames AND") << hex("0F F0") << hex("F0") << 0 << hex("00 F0");
}

void TestSimBus::receiveOverlap() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, skew);
    QList<LineAnswer> answers{{first, 0}};
    if (!second.isEmpty())
        answers.append({second, skew});
    QTEST(SimBus::receiveOverlap(answers), "received");
}

void TestSimBus::collisions() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 1));
    bus.addMeter(meterFrom("LGB_G350", 1));
    QCOMPARE(bus.transact(sndNke(1), 2400).bytes, kE5);

    // Each meter's own answer, taken from a bus of its own.
    SimBus alone1;
    alone1.addMeter(meterFrom("GWF-MTKcoder", 1));
    SimBus alone2;
    alone2.addMeter(meterFrom("LGB_G350", 1));
    const QByteArray a = alone1.transact(reqUd2(1, true), 2400).bytes;
    const QByteArray b = alone2.transact(reqUd2(1, true), 2400).bytes;
    QVERIFY(a.size() < b.size());

    const BusAnswer both = bus.transact(reqUd2(1, true), 2400);
    QCOMPARE(both.answering, 2);
    QCOMPARE(both.bytes.size(), b.size());
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uint8_t expected = (i < a.size() ? uint8_t(a[i]) : 0xFF) & uint8_t(b[i]);
        QCOMPARE(uint8_t(both.bytes[i]), expected);
    }
    QVERIFY(!isCompleteMBusReply(both.bytes));
}

void TestSimBus::fcb() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 5));
    auto access = [](const QByteArray& reply) { return uint8_t(reply[15]); };

    QCOMPARE(bus.transact(sndNke(5), 2400).bytes, kE5);
    const QByteArray first = bus.transact(reqUd2(5, true), 2400).bytes;
    // Same FCB again: the master missed the answer, the meter repeats it.
    const QByteArray repeat = bus.transact(reqUd2(5, true), 2400).bytes;
    QCOMPARE(repeat, first);
    // Toggled: the next answer.
    const QByteArray next = bus.transact(reqUd2(5, false), 2400).bytes;
    QCOMPARE(access(next), uint8_t(access(first) + 1));
    QCOMPARE(bus.transact(reqUd2(5, false), 2400).bytes, next);
    const QByteArray third = bus.transact(reqUd2(5, true), 2400).bytes;
    QCOMPARE(access(third), uint8_t(access(first) + 2));
    // After a link reset any FCB starts a new answer, even the last one.
    QCOMPARE(bus.transact(sndNke(5), 2400).bytes, kE5);
    const QByteArray afterReset = bus.transact(reqUd2(5, true), 2400).bytes;
    QCOMPARE(access(afterReset), uint8_t(access(first) + 3));
    // Without FCV the FCB means nothing: always a new answer.
    const QByteArray noFcv = bus.transact(buildShortFrame(0x6B, 5), 2400).bytes;
    QCOMPARE(access(noFcv), uint8_t(access(first) + 4));
    QVERIFY(isCompleteMBusReply(noFcv));
}

void TestSimBus::addressChange() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 1));
    bus.addMeter(meterFrom("LGB_G350", 3));
    QCOMPARE(bus.transact(hex("68 06 06 68 53 01 51 01 7A 05 25 16"), 2400).bytes, kE5);
    QCOMPARE(bus.meters()[0].primaryAddress(), uint8_t(5));
    QCOMPARE(bus.meters()[1].primaryAddress(), uint8_t(3));
    QCOMPARE(bus.transact(sndNke(1), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(sndNke(5), 2400).bytes, kE5);
    const QByteArray reply = bus.transact(reqUd2(5, true), 2400).bytes;
    QVERIFY(isCompleteMBusReply(reply));
    QCOMPARE(uint8_t(reply[5]), uint8_t(5));
    // FCB 1 setting telegram, through the selection.
    QCOMPARE(bus.transact(buildSelectionFrame(u"12082058", u"", u"", u""), 2400).bytes, kE5);
    QCOMPARE(bus.transact(buildLongFrame(0x73, 253, 0x51, hex("01 7A 09")), 2400).bytes, kE5);
    QCOMPARE(bus.indexOfPrimary(9), 1);
}

void TestSimBus::speedChange() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 1));
    bus.addMeter(meterFrom("LGB_G350", 2, 9600));
    // A meter at another speed does not understand.
    QCOMPARE(bus.transact(sndNke(2), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(sndNke(2), 9600).bytes, kE5);

    // CI BD: acknowledged at the old speed, then the meter talks at 9600.
    const BusAnswer ack = bus.transact(buildLongFrame(0x53, 1, 0xBD, {}), 2400);
    QCOMPARE(ack.bytes, kE5);
    QCOMPARE(ack.transmitMs, SimBus::transmissionMs(1, 2400));
    QCOMPARE(bus.meters()[0].baud(), 9600);
    QCOMPARE(bus.transact(sndNke(1), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(sndNke(1), 9600).bytes, kE5);
    // Back to 300 (CI B8).
    QCOMPARE(bus.transact(buildLongFrame(0x73, 1, 0xB8, {}), 9600).bytes, kE5);
    QCOMPARE(bus.meters()[0].baud(), 300);
    QCOMPARE(SimMeter::baudForSpeedCi(0xBA), 1200);
    QCOMPARE(SimMeter::baudForSpeedCi(0xBE), 0);
}

void TestSimBus::applicationReset() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 1));
    QCOMPARE(bus.transact(hex("68 03 03 68 53 01 50 A4 16"), 2400).bytes, kE5);
    QCOMPARE(bus.meters()[0].applicationResets(), 1);
    QCOMPARE(bus.meters()[0].lastResetSubcode(), -1);
    QCOMPARE(bus.transact(hex("68 04 04 68 53 01 50 F0 94 16"), 2400).bytes, kE5);
    QCOMPARE(bus.meters()[0].applicationResets(), 2);
    QCOMPARE(bus.meters()[0].lastResetSubcode(), 0xF0);
}

void TestSimBus::testAddress() {
    SimBus bus = searchBus();
    const BusAnswer all = bus.transact(sndNke(254), 2400);
    QCOMPARE(all.bytes, kE5);
    QCOMPARE(all.answering, 4);
    QVERIFY(!isCompleteMBusReply(bus.transact(reqUd2(254), 2400).bytes));

    SimBus one;
    one.addMeter(meterFrom("REL-Relay-Padpuls2", 22));
    const QByteArray reply = one.transact(reqUd2(254), 2400).bytes;
    QVERIFY(isCompleteMBusReply(reply));
    QCOMPARE(readReplyHeader(reply)->letters, QStringLiteral("REL"));
    QCOMPARE(uint8_t(reply[5]), uint8_t(22));
}

void TestSimBus::broadcastSilentButHeard() {
    SimBus bus = searchBus();
    QCOMPARE(bus.transact(sndNke(255), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(reqUd2(255), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(buildLongFrame(0x53, 255, 0x50, {}), 2400).bytes, QByteArray());
    for (const SimMeter& m : bus.meters()) {
        QCOMPARE(m.applicationResets(), 1);
    }
}

void TestSimBus::badTelegramsChangeNothing() {
    SimBus bus;
    bus.addMeter(meterFrom("GWF-MTKcoder", 1));
    QByteArray change = hex("68 06 06 68 53 01 51 01 7A 05 25 16");
    change[10] = 0x26;
    QCOMPARE(bus.transact(change, 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(hex("10 40 01 42 16"), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(hex("10 40 01 41"), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(hex("10 40 01 41 16 16"), 2400).bytes, QByteArray());
    QCOMPARE(bus.transact(QByteArray(), 2400).bytes, QByteArray());
    QCOMPARE(bus.meters()[0].primaryAddress(), uint8_t(1));
    QCOMPARE(bus.transact(hex("10 40 01 41 16"), 2400).bytes, kE5);
}

void TestSimBus::timing_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("ms");
    QTest::newRow("E5 at 2400") << 1 << 2400 << 5;     // 4.58 ms
    QTest::newRow("E5 at 9600") << 1 << 9600 << 2;     // 1.15 ms
    QTest::newRow("261 at 300") << 261 << 300 << 9570; // exact
    QTest::newRow("33 at 2400") << 33 << 2400 << 152;  // 151.25 ms
    QTest::newRow("speed 0") << 5 << 0 << 0;
}

void TestSimBus::timing() {
    QFETCH(int, bytes);
    QFETCH(int, baud);
    QTEST(SimBus::transmissionMs(bytes, baud), "ms");
}

void TestSimBus::k2Gateway() {
    SimBus bus;
    bus.addMeter(makeK2Gateway(250, 0x23456789, 3, 235, -12));
    bus.setAnswerDelayMs(35);
    const BusAnswer answer = bus.transact(reqUd2(250), 2400);
    QCOMPARE(answer.delayMs, 35);
    QCOMPARE(answer.transmitMs, SimBus::transmissionMs(answer.bytes.size(), 2400));
    const QByteArray reply = answer.bytes;
    QVERIFY(isCompleteMBusReply(reply));
    const auto h = readReplyHeader(reply);
    QCOMPARE(h->letters, QStringLiteral("ZXQ"));
    QCOMPARE(h->medium, uint8_t(0x31));
    QCOMPARE(h->version, uint8_t(3));
    QCOMPARE(h->id, QStringLiteral("23456789"));
    QCOMPARE(wordAt(reply, 29), int16_t(235));
    QCOMPARE(wordAt(reply, 34), int16_t(-12));
    // Selectable like any meter, by its maker code and medium.
    QCOMPARE(bus.transact(buildSelectionFrame(u"", u"6B11", u"", u"31"), 2400).bytes, kE5);
}

void TestSimBus::defaultInstallation() {
    SimBus bus = sim::defaultInstallation();
    QCOMPARE(bus.meters().size(), 11);
    QSet<QString> makers;
    int fixed = 0;
    for (const SimMeter& m : bus.meters()) {
        QVERIFY(m.hasValidTemplate());
        QCOMPARE(m.baud(), 2400);
        fixed += m.isFixedStructure() ? 1 : 0;
        makers.insert(manufacturerLetters(m.identity().manufacturer));
    }
    QCOMPARE(fixed, 1);
    QVERIFY(makers.contains(QStringLiteral("ABB")));
    QVERIFY(makers.contains(QStringLiteral("REL")));
    QVERIFY(makers.contains(QStringLiteral("ZXQ")));
    QVERIFY(makers.size() >= 9);

    // Two meters share address 1: their answers garble, their E5s merge.
    QCOMPARE(bus.transact(sndNke(1), 2400).answering, 2);
    QVERIFY(!isCompleteMBusReply(bus.transact(reqUd2(1), 2400).bytes));

    // Every other address gives one complete reply with the meter's own header.
    QSet<uint8_t> seen;
    for (const SimMeter& m : bus.meters()) {
        const uint8_t a = m.primaryAddress();
        if (a == 1 || seen.contains(a)) {
            continue;
        }
        seen.insert(a);
        const QByteArray reply = bus.transact(reqUd2(a), 2400).bytes;
        QVERIFY2(isCompleteMBusReply(reply), qPrintable(QString::number(a)));
        QCOMPARE(readReplyHeader(reply)->id,
                 QStringLiteral("%1").arg(m.identity().id, 8, 16, QLatin1Char('0')).toUpper());
    }
    QCOMPARE(seen.size(), 9);

    // Ids sharing leading digits: one digit of the mask is not enough.
    QCOMPARE(bus.transact(buildSelectionFrame(u"1FFFFFFF", u"", u"", u""), 2400).answering, 7);
    QCOMPARE(bus.transact(buildSelectionFrame(u"120FFFFF", u"", u"", u""), 2400).answering, 3);
    QCOMPARE(bus.transact(buildSelectionFrame(u"11216FFF", u"", u"", u""), 2400).answering, 2);

    // The K2 gateway reports bus voltage and current.
    const QByteArray k2 = bus.transact(reqUd2(250), 2400).bytes;
    QCOMPARE(readReplyHeader(k2)->letters, QStringLiteral("ZXQ"));
    QCOMPARE(wordAt(k2, 29), int16_t(360));
    QCOMPARE(wordAt(k2, 34), int16_t(165));
}

// How an answer leaves the line: "offset+size@due" for each write.
void TestSimBus::linePieces_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("pieces");
    QTest::newRow("E5 at 9600") << 1 << 9600 << 11 << "0+1@2";
    QTest::newRow("short frame at 9600") << 5 << 9600 << 11 << "0+1@2 1+3@5 4+1@6";
    QTest::newRow("one byte a piece at 2400") << 4 << 2400 << 11 << "0+1@5 1+1@10 2+1@14 3+1@19";
    QTest::newRow("at most 8 a piece") << 20 << 38400 << 11 << "0+1@1 1+8@3 9+8@5 17+3@6";
    QTest::newRow("no line timing") << 6 << 0 << 11 << "0+6@0";
    QTest::newRow("nothing") << 0 << 9600 << 11 << "";
    // A Modbus RTU line at 300,N,8,1 and 19200,N,8,1: 10 bits a character.
    QTest::newRow("10 bits at 300") << 3 << 300 << 10 << "0+1@34 1+1@67 2+1@100";
    QTest::newRow("10 bits: more a piece") << 10 << 19200 << 10 << "0+1@1 1+7@5 8+2@6";
}

void TestSimBus::linePieces() {
    QFETCH(int, size);
    QFETCH(int, baud);
    QFETCH(int, bits);
    QStringList pieces;
    for (const LinePiece& p : sim::linePieces(size, baud, bits))
        pieces << QStringLiteral("%1+%2@%3").arg(p.offset).arg(p.size).arg(p.dueMs);
    QTEST(pieces.join(QLatin1Char(' ')), "pieces");
}

// A meter's spoiled answers: N SND_NKE, R REQ_UD2 (toggling FCB); each
// answer as none, E5, frame (strictly well formed), frame* (passes the
// reply rule only) or bad.
void TestSimBus::meterFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QString>("answers");
    QTest::newRow("silence once") << "no-reply" << 1 << "R R"
                                  << "none frame";
    QTest::newRow("checksum spares E5") << "bad-check" << 1 << "N R R"
                                        << "E5 bad frame";
    QTest::newRow("stop byte twice") << "wrong-stop" << 2 << "R R R"
                                     << "frame* frame* frame";
    QTest::newRow("truncated spares E5") << "truncated" << 1 << "N R"
                                         << "E5 bad";
    QTest::newRow("stray bytes after E5") << "extra" << 1 << "N R"
                                          << "bad frame";
    QTest::newRow("garbage") << "garbage" << 1 << "R R"
                             << "bad frame";
    QTest::newRow("silence until cleared") << "silence" << -1 << "N R N"
                                           << "none none none";
    QTest::newRow("none") << "none" << -1 << "N R"
                          << "E5 frame";
}

void TestSimBus::meterFaults() {
    QFETCH(QString, fault);
    QFETCH(int, count);
    QFETCH(QString, requests);
    SimBus bus;
    bus.addMeter(meterFrom("kamstrup_382_005", 120));
    const auto byName = [](const QString& n) {
        static const QMap<QString, ReplyFault> names{
            {"none", ReplyFault::None},           {"no-reply", ReplyFault::NoReply},
            {"silence", ReplyFault::NoReply},     {"garbage", ReplyFault::Garbage},
            {"bad-check", ReplyFault::BadCheck},  {"wrong-stop", ReplyFault::WrongStop},
            {"truncated", ReplyFault::Truncated}, {"extra", ReplyFault::ExtraBytes}};
        return names.value(n);
    };
    bus.meters()[0].setFault(byName(fault), count);
    QStringList answers;
    bool fcb = false;
    for (const QString& r : requests.split(QLatin1Char(' '))) {
        const QByteArray request = r == QLatin1String("N") ? sndNke(120) : reqUd2(120, fcb);
        if (r == QLatin1String("R"))
            fcb = !fcb;
        const QByteArray a = bus.transact(request, 2400).bytes;
        if (a.isEmpty())
            answers << QStringLiteral("none");
        else if (a == kE5)
            answers << QStringLiteral("E5");
        else if (parseMBusFrame(a))
            answers << QStringLiteral("frame");
        else if (isCompleteMBusReply(a))
            answers << QStringLiteral("frame*");
        else
            answers << QStringLiteral("bad");
    }
    QTEST(answers.join(QLatin1Char(' ')), "answers");
}

// A repeated request after an address change gets the meter's new address.
void TestSimBus::repeatAfterAddressChange() {
    SimBus bus;
    bus.addMeter(meterFrom("kamstrup_382_005", 120));
    QCOMPARE(uint8_t(bus.transact(reqUd2(120, true), 2400).bytes[5]), uint8_t(120));
    QCOMPARE(bus.transact(buildLongFrame(0x53, 120, 0x51, hex("01 7A 05")), 2400).bytes, kE5);
    QCOMPARE(uint8_t(bus.transact(reqUd2(5, true), 2400).bytes[5]), uint8_t(5));
}

// The meter does what it was told even when its answer is lost.
void TestSimBus::faultLeavesTheStateChange() {
    SimBus bus;
    bus.addMeter(meterFrom("kamstrup_382_005", 120));
    bus.meters()[0].setFault(ReplyFault::NoReply, 1);
    QVERIFY(bus.transact(buildLongFrame(0x53, 120, 0x51, hex("01 7A 05")), 2400).bytes.isEmpty());
    QCOMPARE(bus.meters()[0].primaryAddress(), uint8_t(5));
    QCOMPARE(bus.transact(sndNke(5), 2400).bytes, kE5);
}

// Replies shorter than a header, or without one, still answer REQ_UD2 with
// their own address; the header is filled in only where the frame has room.
void TestSimBus::shortTemplates_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("primary");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("14 bytes, CI 72") << hex("68 08 08 68 08 09 72 78 56 34 12 01 98 16") << 9
                                     << hex("68 08 08 68 08 09 72 22 22 11 11 42 2B 16");
    QTest::newRow("CI 78, no header")
        << hex("68 0E 0E 68 08 0A 78 04 13 31 D4 00 00 02 FD 17 00 00 BC 16") << 12
        << hex("68 0E 0E 68 08 0C 78 04 13 31 D4 00 00 02 FD 17 00 00 BE 16");
    QTest::newRow("11 bytes") << hex("68 05 05 68 08 01 72 AA BB E0 16") << 7
                              << hex("68 05 05 68 08 07 72 22 22 C5 16");
    QTest::newRow("no data at all")
        << hex("68 03 03 68 08 01 72 7B 16") << 5 << hex("68 03 03 68 08 05 72 7F 16");
}

void TestSimBus::shortTemplates() {
    QFETCH(QByteArray, reply);
    QFETCH(int, primary);
    MeterIdentity id{0x11112222, 0x0442, 2, 2, {}};
    SimBus bus;
    bus.addMeter(SimMeter(uint8_t(primary), id, reply));
    QVERIFY(bus.meters()[0].hasValidTemplate());
    QTEST(bus.transact(reqUd2(uint8_t(primary)), 2400).bytes, "answer");
}

QTEST_APPLESS_MAIN(TestSimBus)
#include "tst_simbus.moc"
