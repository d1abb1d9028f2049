// The simulated ASCII tag server: both protocol variants, every error
// letter, the checksum, silence where a station on a shared line stays
// silent, the stream framer, fault injection, and the tag files.
#include "AsciiPacing.h"
#include "SimAsciiServer.h"
#include "SimFramers.h"
#include "SimTagFiles.h"
#include "ascii/TagFile.h"
#include "tests/ascii/FrameMarks.h"

#include <QtTest>

using namespace kestrune::sim;

using asciitest::f;

namespace {

SimAsciiServer testServer() {
    SimAsciiServer s(5);
    s.setTags({{"A.B.C", "12.5", 0}, {"Text.Tag.X", "Hello", 0}, {"Dead.Meter.Value", "", 'T'}});
    return s;
}

} // namespace

class TestSimAscii : public QObject {
    Q_OBJECT

private slots:
    void checksum_data();
    void checksum();
    void buildRequest();
    void replies_data();
    void replies();
    void silence_data();
    void silence();
    void everyLetterCanBeProduced();
    void injectionCountRunsOut();
    void faults();
    void framerPieces();
    void framerBounds();
    void tagFiles_data();
    void tagFiles();
    void tagFilesRoundTrip();
    void pacing_data();
    void pacing();
};

void TestSimAscii::checksum_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("sum");
    QTest::newRow("request") << QByteArray("010105A.B.C") << QByteArray("49");
    QTest::newRow("reply") << QByteArray("01010512.5") << QByteArray("ED");
    QTest::newRow("leading zero") << QByteArray("000000p~") << QByteArray("0E");
    QTest::newRow("empty") << QByteArray() << QByteArray("00");
    QTest::newRow("high bytes") << QByteArray("\xFF\xFF") << QByteArray("FE");
}

void TestSimAscii::checksum() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, sum);
    QCOMPARE(SimAsciiServer::checksum(text), sum);
}

void TestSimAscii::buildRequest() {
    QCOMPARE(SimAsciiServer::buildRequest(1, 1, 5, "A.B.C"), f("<010105A.B.C49>"));
    QCOMPARE(SimAsciiServer::buildRequest(1, 0, 5, "A.B.C"), f("<010005A.B.C>"));
    QCOMPARE(SimAsciiServer::buildRequest(0, 0, 99, ""), f("<000099>"));
}

void TestSimAscii::replies_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("otherStationX");
    QTest::newRow("variant 00") << f("<010005A.B.C>") << f("+01000512.5>") << false;
    QTest::newRow("variant 01") << f("<010105A.B.C49>") << f("+01010512.5ED>") << false;
    QTest::newRow("variant 01 lower-case sum")
        << f("<020105Text.Tag.X") + "9d" + f(">") << f("+020105Hello1C>") << false;
    QTest::newRow("C wrong sum") << f("<010105A.B.C48>") << f("-010105C>") << false;
    QTest::newRow("C not hex") << f("<010105A.B.C4G>") << f("-010105C>") << false;
    QTest::newRow("I unknown tag") << f("<010005X.Y.Z>") << f("-010005I>") << false;
    QTest::newRow("I empty tag") << f("<010005>") << f("-010005I>") << false;
    QTest::newRow("I tag case") << f("<010005a.b.c>") << f("-010005I>") << false;
    QTest::newRow("L long tag") << f("<010005") + QByteArray(65, 'x') + f(">") << f("-010005L>")
                                << false;
    QTest::newRow("L no room for sum") << f("<0101054>") << f("-010105L>") << false;
    QTest::newRow("L overrun") << f("<010005") + QByteArray(400, 'x') + f(">") << f("-010005L>")
                               << false;
    QTest::newRow("N new STX") << f("<010005A.B<020005A.B.C>") << f("-010005N>+02000512.5>")
                               << false;
    QTest::newRow("N silence") << f("<010005A.B.C") << f("-010005N>") << false;
    QTest::newRow("N protocol 02") << f("<010205A.B.C>") << f("-010205N>") << false;
    QTest::newRow("N sequence letters") << f("<x10005A.B.C>") << f("-x10005N>") << false;
    QTest::newRow("S no STX") << f("010005A.B.C>") << f("-010005S>") << false;
    QTest::newRow("S after noise gap")
        << f("<010005A.B.C>010005A.B.C>") << f("+01000512.5>-010005S>") << false;
    QTest::newRow("X other station") << f("<010007A.B.C>") << f("-010007X>") << true;
    QTest::newRow("T tag error") << f("<010005Dead.Meter.Value>") << f("-010005T>") << false;
    QTest::newRow("two requests") << f("<010005A.B.C><020105A.B.C4A>")
                                  << f("+01000512.5>+02010512.5EE>") << false;
}

void TestSimAscii::replies() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, otherStationX);
    SimAsciiServer s = testServer();
    s.setReplyToOtherStation(otherStationX);
    QCOMPARE(s.handleRequest(request), reply);
}

void TestSimAscii::silence_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("other station") << f("<010007A.B.C>");
    QTest::newRow("other station, cut short") << f("<010007A.B");
    QTest::newRow("other station, no STX") << f("010007A.B.C>");
    QTest::newRow("no header") << f("<0100>");
    QTest::newRow("station letters") << f("<0100ABA.B.C>");
    QTest::newRow("noise") << QByteArray("hello world");
    QTest::newRow("binary noise") << QByteArray("\x00\xFF\x80\x7F\x01\x04", 6);
    QTest::newRow("bare ETX") << f(">>>");
    QTest::newRow("bare STX") << f("<<<");
    QTest::newRow("another device's reply") << f("+01000512.5>");
    QTest::newRow("another device's error") << f("-010005I>");
    QTest::newRow("empty") << QByteArray();
}

void TestSimAscii::silence() {
    QFETCH(QByteArray, request);
    SimAsciiServer s = testServer();
    QVERIFY(s.handleRequest(request).isEmpty());
    QVERIFY(s.lastOutcome() == AsciiOutcome::None || s.lastOutcome() == AsciiOutcome::Ignored);
}

void TestSimAscii::everyLetterCanBeProduced() {
    // The client knows C D I L M N O S T V X; the letters without a cause of
    // their own come by injection.
    const QByteArray ok = f("<010005A.B.C>");
    for (const char letter : QByteArray("DMOTV")) {
        SimAsciiServer s = testServer();
        s.injectError(letter);
        QCOMPARE(s.handleRequest(ok), f("-010005") + letter + f(">"));
        QCOMPARE(int(s.lastOutcome()), int(AsciiOutcome::Error));
        QCOMPARE(s.lastError(), letter);
        // Parsing faults come first: a bad checksum is still C.
        QCOMPARE(s.handleRequest(f("<010105A.B.C00>")), f("-010105C>"));
    }
    SimAsciiServer s = testServer();
    QVERIFY(s.setTagError("A.B.C", 'V'));
    QCOMPARE(s.handleRequest(ok), f("-010005V>"));
    s.setTag("A.B.C", "7");
    QCOMPARE(s.handleRequest(ok), f("+0100057>"));
    // A value cannot break the frame it travels in.
    s.setTag("A.B.C", f("1>2"));
    QCOMPARE(s.handleRequest(ok), f("+0100051?2>"));
}

void TestSimAscii::injectionCountRunsOut() {
    SimAsciiServer s = testServer();
    s.injectError('M', 1);
    const QByteArray ok = f("<010005A.B.C>");
    QCOMPARE(s.handleRequest(ok), f("-010005M>"));
    QCOMPARE(s.handleRequest(ok), f("+01000512.5>"));
    s.injectError('O');
    QCOMPARE(s.handleRequest(ok), f("-010005O>"));
    s.clearInjectedError();
    QCOMPARE(s.handleRequest(ok), f("+01000512.5>"));
}

void TestSimAscii::faults() {
    const QByteArray req = f("<010105A.B.C49>");
    const QByteArray good = f("+01010512.5ED>");
    SimAsciiServer s = testServer();
    s.faults().set(ReplyFault::BadCheck, 1);
    const QByteArray bad = s.handleRequest(req);
    QCOMPARE(bad.size(), good.size());
    QCOMPARE(bad.left(11), good.left(11));
    QVERIFY(bad.mid(11, 2) != good.mid(11, 2));
    QVERIFY(bad.endsWith(0x03));
    QCOMPARE(s.handleRequest(req), good);

    s.faults().set(ReplyFault::Truncated, 1);
    QCOMPARE(s.handleRequest(req), good.left(good.size() - 1));
    s.faults().set(ReplyFault::NoReply, 1);
    QVERIFY(s.handleRequest(req).isEmpty());
    s.faults().set(ReplyFault::Garbage, 1);
    const QByteArray garbage = s.handleRequest(req);
    QCOMPARE(garbage.size(), good.size());
    QVERIFY(garbage != good);
    // Noise does not use up a fault.
    s.faults().set(ReplyFault::NoReply, 1);
    QVERIFY(s.handleRequest("noise").isEmpty());
    QVERIFY(s.handleRequest(req).isEmpty());
    QCOMPARE(s.handleRequest(req), good);
}

void TestSimAscii::framerPieces() {
    const QByteArray stream = f("<010005A.B.C>xx010105Q>+000005v><010105Z");
    const QList<AsciiFrame> expected = {{AsciiFrame::Request, "010005A.B.C"},
                                        {AsciiFrame::NoStart, "xx010105Q"},
                                        {AsciiFrame::Incomplete, "010105Z"}};
    for (int piece = 1; piece <= stream.size(); ++piece) {
        AsciiFramer framer;
        QList<AsciiFrame> got;
        for (int i = 0; i < stream.size(); i += piece) {
            framer.append(stream.mid(i, piece));
            while (auto fr = framer.next())
                got.append(*fr);
        }
        framer.flush();
        while (auto fr = framer.next())
            got.append(*fr);
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(int(got[i].kind), int(expected[i].kind));
            QCOMPARE(got[i].body, expected[i].body);
        }
    }
}

void TestSimAscii::framerBounds() {
    AsciiFramer framer(64);
    // An endless request is cut at the limit and reported once.
    framer.append(f("<010005") + QByteArray(10000, 'y'));
    auto fr = framer.next();
    QVERIFY(fr);
    QCOMPARE(int(fr->kind), int(AsciiFrame::Overlong));
    QCOMPARE(fr->body.size(), 64);
    QVERIFY(!framer.next());
    framer.append(f(">"));
    QVERIFY(!framer.next());
    // Stray bytes are held to the limit.
    framer.append(QByteArray(10000, 'z') + f(">"));
    fr = framer.next();
    QVERIFY(fr);
    QCOMPARE(int(fr->kind), int(AsciiFrame::NoStart));
    QCOMPARE(fr->body.size(), 64);
    // Frames not yet taken are held to a bounded queue.
    QByteArray many;
    for (int i = 0; i < 1000; ++i)
        many += f("<010005A.B.C>");
    framer.append(many);
    int n = 0;
    while (framer.next())
        ++n;
    QVERIFY(n > 0 && n <= 64);
    QVERIFY(framer.discarded() > 0);
}

void TestSimAscii::tagFiles_data() {
    QTest::addColumn<int>("layout");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QList<QByteArray>>("skipped");
    QTest::newRow("OPC items") << 0
                               << QByteArray("Meter1.Heat_Energy.Value\r\nA.B.C\r\nx.y_z.w,1\r\n")
                               << QList<QByteArray>{"Short.Name", "Plain"};
    QTest::newRow("tag table") << 1
                               << QByteArray("[TAG],Meter1,Heat,Energy,Value,\r\n"
                                             "[TAG],A,,B,C,\r\n")
                               << QList<QByteArray>{"Short.Name", "Plain", "x.y_z.w,1"};
    QTest::newRow("item table") << 2
                                << QByteArray("[item],5,1,Meter1.Heat_Energy.Value,STRING,\r\n"
                                              "[item],5,2,A.B.C,STRING,\r\n"
                                              "[item],5,3,Short.Name,STRING,\r\n"
                                              "[item],5,4,Plain,STRING,\r\n")
                                << QList<QByteArray>{"x.y_z.w,1"};
}

void TestSimAscii::tagFiles() {
    QFETCH(int, layout);
    QFETCH(QByteArray, contents);
    QFETCH(QList<QByteArray>, skipped);
    const QList<QByteArray> names = {"Meter1.Heat_Energy.Value", "A.B.C", "Short.Name", "Plain",
                                     "x.y_z.w,1"};
    QList<QByteArray> left;
    QCOMPARE(tagFileContents(names, TagFileLayout(layout), 5, &left), contents);
    QCOMPARE(left, skipped);
}

void TestSimAscii::tagFilesRoundTrip() {
    QList<QByteArray> names;
    for (const AsciiTag& t : defaultAsciiTags())
        names.append(t.name);
    names << "Odd._Leading.Underscore"
          << "Many.Dots.In.The.Name";
    for (int layout = 0; layout < 3; ++layout) {
        QList<QByteArray> left;
        const QByteArray file = tagFileContents(names, TagFileLayout(layout), 0, &left);
        QVERIFY(left.isEmpty());
        // The wizard's own loader gives the names back.
        const kestrune::ascii::TagFileReading back =
            kestrune::ascii::readTagText(file, kestrune::ascii::TagFileLayout(layout));
        QVERIFY(!back.rejected);
        QCOMPARE(back.skippedCount, 0);
        QCOMPARE(back.tags.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(back.tags[i], QString::fromLatin1(names[i]));
    }
}

void TestSimAscii::pacing_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("gap");
    QTest::addColumn<qint64>("lineFree"); // before
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<ReplyPiece>>("pieces");
    QTest::addColumn<qint64>("freeAfter");
    // A request of 20 characters at 1000 ms; at 9600 baud it takes 21 ms,
    // one reply character 2 ms, 29 characters 31 ms, 30 characters 32 ms.
    const QByteArray r30(30, 'v');
    QTest::newRow("network, at once") << 0 << 0 << 0 << qint64(0) << QByteArray("ABC")
                                      << QList<ReplyPiece>{{1000, "ABC"}} << qint64(1000);
    QTest::newRow("network, reply delay") << 0 << 30 << 0 << qint64(0) << QByteArray("ABC")
                                          << QList<ReplyPiece>{{1030, "ABC"}} << qint64(1030);
    QTest::newRow("network, two pieces")
        << 0 << 0 << 100 << qint64(0) << QByteArray("ABC")
        << QList<ReplyPiece>{{1000, "A"}, {1100, "BC"}} << qint64(1100);
    QTest::newRow("9600 baud") << 9600 << 0 << 0 << qint64(0) << r30
                               << QList<ReplyPiece>{{1053, r30}} << qint64(1053);
    QTest::newRow("9600 baud, delay and pieces")
        << 9600 << 10 << 100 << qint64(0) << r30
        << QList<ReplyPiece>{{1033, r30.left(1)}, {1164, r30.mid(1)}} << qint64(1164);
    QTest::newRow("line still busy")
        << 9600 << 0 << 0 << qint64(1500) << r30 << QList<ReplyPiece>{{1553, r30}} << qint64(1553);
    QTest::newRow("no reply: the request still takes the line")
        << 9600 << 10 << 100 << qint64(0) << QByteArray() << QList<ReplyPiece>{} << qint64(1021);
    QTest::newRow("one character is one piece") << 0 << 0 << 100 << qint64(0) << QByteArray("A")
                                                << QList<ReplyPiece>{{1000, "A"}} << qint64(1000);
}

void TestSimAscii::pacing() {
    QFETCH(int, baud);
    QFETCH(int, delay);
    QFETCH(int, gap);
    QFETCH(qint64, lineFree);
    QFETCH(QByteArray, reply);
    QFETCH(QList<ReplyPiece>, pieces);
    QFETCH(qint64, freeAfter);
    AsciiPacing pacing;
    pacing.baud = baud;
    pacing.replyDelayMs = delay;
    pacing.pieceGapMs = gap;
    int64_t free = lineFree;
    QCOMPARE(pacedAsciiReply(reply, 20, pacing, 1000, free), pieces);
    QCOMPARE(qint64(free), freeAfter);
}

QTEST_GUILESS_MAIN(TestSimAscii)
#include "tst_simascii.moc"
