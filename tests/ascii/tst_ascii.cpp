// The ASCII protocol rules and tag files without a link: request frames
// with sequence, station and checksum, when received bytes form a reply and
// what the value box and the result label show, the three tag-file layouts,
// the lines a loader leaves out, and saving the list.
#include "ascii/AsciiProtocol.h"
#include "ascii/TagFile.h"
#include "base/Language.h"
#include "tests/ascii/FrameMarks.h"

#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace kestrune;
using namespace kestrune::ascii;

using asciitest::f;

namespace {

using Skips = QList<SkippedLine>;

// Bytes of a literal, NUL bytes included.
template <qsizetype N> QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

// Gives its data, then fails like a disk that went away.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(const QByteArray& data) : m_data(data) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* to, qint64 max) override {
        if (m_data.isEmpty()) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = std::min<qint64>(max, m_data.size());
        std::memcpy(to, m_data.constData(), size_t(n));
        m_data.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
};

} // namespace

class TestAscii : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase();
    void requests_data();
    void requests();
    void stationBox_data();
    void stationBox();
    void tagNames_data();
    void tagNames();
    void replies_data();
    void replies();
    void tagText_data();
    void tagText();
    void tagLimits();
    void resultTexts_data();
    void resultTexts();
    void loadAndSave_data();
    void loadAndSave();
    void fileErrors();
};

void TestAscii::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(languageTable().loadFile(
        QStringLiteral(KESTRUNE_SOURCE_DIR "/lang/Kestrune_Language.001")));
}

void TestAscii::requests_data() {
    QTest::addColumn<int>("before"); // the sequence number of the read before
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("stationText");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("station");
    QTest::newRow("first read, checksum 49")
        << 0 << 1 << "5" << QByteArray("A.B.C") << f("<010105A.B.C49>") << 5;
    QTest::newRow("standard variant")
        << 0 << 0 << "5" << QByteArray("A.B.C") << f("<010005A.B.C>") << 5;
    QTest::newRow("sequence 99") << 98 << 0 << "5" << QByteArray("A") << f("<990005A>") << 5;
    QTest::newRow("wrap to 00") << 99 << 0 << "5" << QByteArray("A") << f("<000005A>") << 5;
    QTest::newRow("checksum below 10h")
        << 0 << 1 << "5" << QByteArray("A.B.Caa") << f("<010105A.B.Caa0B>") << 5;
    QTest::newRow("empty tag") << 0 << 0 << "0" << QByteArray() << f("<010000>") << 0;
    QTest::newRow("empty tag with checksum")
        << 0 << 1 << "0" << QByteArray() << f("<01010022>") << 0;
    QTest::newRow("station 150 is 99")
        << 0 << 0 << "150" << QByteArray("T") << f("<010099T>") << 99;
    QTest::newRow("station -3 is 00") << 0 << 0 << "-3" << QByteArray("T") << f("<010000T>") << 0;
    QTest::newRow("station rounds") << 0 << 0 << "12.6" << QByteArray("T") << f("<010013T>") << 13;
    QTest::newRow("station leading number")
        << 0 << 0 << " 7abc" << QByteArray("T") << f("<010007T>") << 7;
    QTest::newRow("empty station box") << 0 << 0 << "" << QByteArray("T") << f("<010000T>") << 0;
    QTest::newRow("station not a number")
        << 0 << 0 << "x1" << QByteArray("T") << f("<010000T>") << 0;
    QTest::newRow("huge station") << 0 << 0 << "100000000000000000000000" << QByteArray("T")
                                  << f("<010099T>") << 99;
    QTest::newRow("8-bit tag") << 0 << 1 << "1" << QByteArray("\xE4.b.c") << f("<010101\xE4.b.c28>")
                               << 1;
}

void TestAscii::requests() {
    QFETCH(int, before);
    QFETCH(int, protocol);
    QFETCH(QString, stationText);
    QFETCH(QByteArray, tag);
    QFETCH(QByteArray, frame);
    QFETCH(int, station);
    SequenceCounter sequence;
    sequence.set(before);
    QCOMPARE(stationFromText(stationText), station);
    QCOMPARE(buildRequest(sequence.next(), protocol, stationFromText(stationText), tag), frame);
}

void TestAscii::stationBox_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("in range") << "42"
                              << "42";
    QTest::newRow("above 99") << "150"
                              << "99";
    QTest::newRow("above 99 with blanks") << " 100 "
                                          << "99";
    QTest::newRow("99 stays") << "99"
                              << "99";
    QTest::newRow("fraction above 99") << "99.5"
                                       << "99";
    QTest::newRow("negative stays (read as 0)") << "-3"
                                                << "-3";
    QTest::newRow("letters") << "abc"
                             << "0";
    QTest::newRow("number then letters") << "5x"
                                         << "0";
    QTest::newRow("empty stays empty") << ""
                                       << "";
}

void TestAscii::stationBox() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QCOMPARE(normalisedStationText(typed), shown);
}

// Which tag names a request can carry: none whose characters would end or
// break the frame, or need more than one byte.
void TestAscii::tagNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("sendable");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "Meter1.Volume.Value" << true << QByteArray("Meter1.Volume.Value");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("8-bit") << QStringLiteral("W\u00e4rme.a.b") << true
                           << QByteArray("W\xE4rme.a.b");
    QTest::newRow("ETX") << QStringLiteral("A.B\u0003C") << false << QByteArray();
    QTest::newRow("tab") << "A.B\tC" << false << QByteArray();
    QTest::newRow("DEL") << QStringLiteral("A.B\u007F") << false << QByteArray();
    QTest::newRow("beyond Latin-1") << QStringLiteral("A.B.\u20AC") << false << QByteArray();
}

void TestAscii::tagNames() {
    QFETCH(QString, name);
    QFETCH(bool, sendable);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> got = tagNameBytes(name);
    QCOMPARE(got.has_value(), sendable);
    if (sendable)
        QCOMPARE(*got, bytes);
}

void TestAscii::replies_data() {
    QTest::addColumn<QByteArray>("rx");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<char>("code");
    const int in = int(ReplyKind::Incomplete), pos = int(ReplyKind::Positive),
              neg = int(ReplyKind::Negative);
    QTest::newRow("value, standard") << f("+01000512.5>") << 0 << pos << QByteArray("12.5") << '5';
    QTest::newRow("value, with checksum")
        << f("+01010512.5ED>") << 1 << pos << QByteArray("12.5") << 'D';
    QTest::newRow("9 characters, with checksum: 8th")
        << f("+010105V>") << 1 << pos << QByteArray("V") << 'V';
    QTest::newRow("9 characters, standard") << f("+010005V>") << 0 << pos << QByteArray("V") << 'V';
    QTest::newRow("10 characters, with checksum: none")
        << f("+01010549>") << 1 << pos << QByteArray() << '9';
    QTest::newRow("no value field") << f("+010005>") << 0 << pos << QByteArray() << '5';
    QTest::newRow("too short for a value, standard")
        << f("+01>") << 0 << pos << QByteArray() << '1';
    QTest::newRow("too short for a value, checksum")
        << f("+01>") << 1 << pos << QByteArray() << '1';
    QTest::newRow("ACK ETX alone") << f("+>") << 1 << pos << QByteArray() << '\x06';
    QTest::newRow("error letter, standard") << f("-010005X>") << 0 << neg << QByteArray("X") << 'X';
    QTest::newRow("error letter, checksum") << f("-010105I>") << 1 << neg << QByteArray("I") << 'I';
    QTest::newRow("short error") << f("-T>") << 0 << neg << QByteArray() << 'T';
    QTest::newRow("ACK, no ETX yet") << f("+01000512.5") << 0 << in << QByteArray("12.") << '.';
    QTest::newRow("NAK, no ETX yet") << f("-010005") << 0 << in << QByteArray() << '0';
    QTest::newRow("ETX without ACK") << f("01000512.5>") << 0 << in << QByteArray("2.5") << '5';
    QTest::newRow("request echoed") << f("<010005A>") << 0 << in << QByteArray("A") << 'A';
    QTest::newRow("lone ACK") << f("+") << 0 << in << QByteArray() << '\0';
    QTest::newRow("lone ETX") << f(">") << 0 << in << QByteArray() << '\0';
    QTest::newRow("nothing") << QByteArray() << 1 << in << QByteArray() << '\0';
}

void TestAscii::replies() {
    QFETCH(QByteArray, rx);
    QFETCH(int, protocol);
    QFETCH(int, kind);
    QFETCH(QByteArray, value);
    QFETCH(char, code);
    QCOMPARE(int(classifyReply(rx)), kind);
    QCOMPARE(replyValue(rx, protocol), value);
    QCOMPARE(replyErrorCode(rx), code);
}

void TestAscii::tagText_data() {
    QTest::addColumn<int>("layout");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<int>("rejectedLine"); // 0: accepted
    QTest::addColumn<Skips>("skipped");
    const Skips none;
    // OPC item list.
    QTest::newRow("0: item taken unchanged") << 0 << QByteArray("Channel1.Device1.Tag1\r\n")
                                             << QStringList{"Channel1.Device1.Tag1"} << 0 << none;
    QTest::newRow("0: Tag1 rejects") << 0 << QByteArray("Tag1\r\n") << QStringList{} << 1 << none;
    QTest::newRow("0: Device.Tag rejects")
        << 0 << QByteArray("Device.Tag") << QStringList{} << 1 << none;
    QTest::newRow("0: rejection mid-file keeps earlier tags")
        << 0 << QByteArray("A.B.C\r\nX.Y.Z\r\nBad.Line\r\nQ.R.S\r\n")
        << QStringList{"A.B.C", "X.Y.Z"} << 3 << none;
    QTest::newRow("0: empty line rejects")
        << 0 << QByteArray("A.B.C\r\n\r\nD.E.F\r\n") << QStringList{"A.B.C"} << 2 << none;
    QTest::newRow("0: quotes and commas kept")
        << 0 << QByteArray("\"A\".B,1.C") << QStringList{"\"A\".B,1.C"} << 0 << none;
    QTest::newRow("0: LF, CR, CR LF; LF LF makes an empty line")
        << 0 << QByteArray("A.B.C\nD.E.F\rG.H.I\r\n\nJ.K.L")
        << QStringList{"A.B.C", "D.E.F", "G.H.I"} << 4 << none;
    QTest::newRow("0: 8-bit name")
        << 0 << QByteArray("Z\xE4hler.W\xE4rme.kWh\n")
        << QStringList{QString::fromLatin1("Z\xE4hler.W\xE4rme.kWh")} << 0 << none;
    // Tag table.
    QTest::newRow("1: five fields") << 1 << QByteArray("[TAG],Meter1,Heat,Energy,kWh,\r\n")
                                    << QStringList{"Meter1.Heat_Energy.kWh"} << 0 << none;
    QTest::newRow("1: empty group, lower-case marker")
        << 1 << QByteArray("[tag],Meter1,,Energy,kWh,x") << QStringList{"Meter1.Energy.kWh"} << 0
        << none;
    QTest::newRow("1: no comma after field 5")
        << 1 << QByteArray("[TAG],Meter1,Heat,Energy,kWh") << QStringList{} << 0 << none;
    QTest::newRow("1: other sections skipped")
        << 1 << QByteArray("[GROUP],a,b\r\n[TAG],M,H,E,k,\r\n[ITEM],1,2,3,4,\r\n")
        << QStringList{"M.H_E.k"} << 0 << none;
    QTest::newRow("1: line without [ rejects")
        << 1 << QByteArray("[TAG],M,H,E,k,\r\nTAG,M,H,E,k,\r\n[TAG],N,H,E,k,\r\n")
        << QStringList{"M.H_E.k"} << 2 << none;
    QTest::newRow("1: quotes dropped") << 1
                                       << QByteArray("[TAG],\"Meter1\",\"Heat\",\"Energy\","
                                                     "\"kWh\",\r\n")
                                       << QStringList{"Meter1.Heat_Energy.kWh"} << 0 << none;
    QTest::newRow("1: quotes do not protect commas")
        << 1 << QByteArray("[TAG],\"a,b\",c,d,e,\r\n") << QStringList{"a.b_c.d"} << 0 << none;
    QTest::newRow("1: odd quote inside the file")
        << 1 << QByteArray("[TAG],\"M,H,E,k,\r\n[TAG],N,H,E,k,\r\n")
        << QStringList{"M.H_E.k", "N.H_E.k"} << 0 << none;
    QTest::newRow("1: byte order mark")
        << 1 << QByteArray("\xEF\xBB\xBF[TAG],a,b,c,d,\r\n") << QStringList{"a.b_c.d"} << 0 << none;
    // Item table.
    QTest::newRow("2: fourth field")
        << 2 << QByteArray("[item],1,2,Volume,9\r\n") << QStringList{"Volume"} << 0 << none;
    QTest::newRow("2: short line, last field")
        << 2 << QByteArray("[item],Volume\r\n") << QStringList{"Volume"} << 0 << none;
    QTest::newRow("2: marker alone")
        << 2 << QByteArray("[item]\r\n") << QStringList{"[item]"} << 0 << none;
    QTest::newRow("2: upper-case marker rejects")
        << 2 << QByteArray("[ITEM],a,b,c\r\n") << QStringList{} << 1 << none;
    QTest::newRow("2: quoted fields")
        << 2 << QByteArray("[item],\"a\",\"b\",\"Temp\"\r\n") << QStringList{"Temp"} << 0 << none;
    QTest::newRow("2: the simulator's line")
        << 2 << QByteArray("[item],0,1,Meter1.Heat_Energy.Value,STRING,\r\n")
        << QStringList{"Meter1.Heat_Energy.Value"} << 0 << none;
    QTest::newRow("2: marker glued to a field")
        << 2 << QByteArray("[item]x,a,b,c,d\r\n") << QStringList{} << 0 << none;
    QTest::newRow("2: rejection mid-file")
        << 2 << QByteArray("[item],1,2,A,\r\n[item],1,2,B,\r\nitem,1,2,C,\r\n")
        << QStringList{"A", "B"} << 3 << none;
    // Lines left out and named.
    QTest::newRow("overlong line")
        << 0 << QByteArray("A.B.C\r\n") + QByteArray(2000, 'x') + QByteArray(".y.z\r\nD.E.F\r\n")
        << QStringList{"A.B.C", "D.E.F"} << 0 << Skips{{2, SkippedLine::TooLong}};
    QTest::newRow("longest line taken")
        << 0 << QByteArray("A.B.") + QByteArray(MaxLineLength - 4, 'c')
        << QStringList{QStringLiteral("A.B.") + QString(MaxLineLength - 4, QLatin1Char('c'))} << 0
        << none;
    QTest::newRow("NUL byte") << 0 << bytes("A.B.C\r\nab\0.c.d\r\nD.E.F")
                              << QStringList{"A.B.C", "D.E.F"} << 0
                              << Skips{{2, SkippedLine::NotText}};
    QTest::newRow("frame character in a name")
        << 1 << QByteArray("[TAG],a,b,c\x03,d,\r\n[TAG],e,f,g,h,\r\n") << QStringList{"e.f_g.h"}
        << 0 << Skips{{1, SkippedLine::NotText}};
    QTest::newRow("binary line does not reject")
        << 2 << QByteArray("\x01\x02\x7F\xFF\r\n[item],1,2,A,\r\n") << QStringList{"A"} << 0
        << Skips{{1, SkippedLine::NotText}};
    QTest::newRow("file ends inside quotes")
        << 2 << QByteArray("[item],a,b,Temp\r\n[item],a,b,\"Te") << QStringList{"Temp"} << 0
        << Skips{{2, SkippedLine::OpenQuote}};
    QTest::newRow("last line ends inside quotes")
        << 1 << QByteArray("[TAG],a,b,c,d,\r\n[TAG],\"e,f,g,h,\r\n") << QStringList{"a.b_c.d"} << 0
        << Skips{{2, SkippedLine::OpenQuote}};
    QTest::newRow("open quote in an item list is text")
        << 0 << QByteArray("\"A.B.C") << QStringList{"\"A.B.C"} << 0 << none;
    QTest::newRow("skipped, then rejected")
        << 0 << bytes("A.B.C\r\nx\0y\r\nnodots\r\nD.E.F\r\n") << QStringList{"A.B.C"} << 3
        << Skips{{2, SkippedLine::NotText}};
}

void TestAscii::tagText() {
    QFETCH(int, layout);
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, tags);
    QFETCH(int, rejectedLine);
    QFETCH(Skips, skipped);
    const TagFileReading r = readTagText(contents, TagFileLayout(layout));
    QCOMPARE(r.tags, tags);
    QCOMPARE(r.rejected, rejectedLine != 0);
    QCOMPARE(r.rejectedLine, rejectedLine);
    QCOMPARE(r.skipped, skipped);
    QCOMPARE(r.skippedCount, int(skipped.size()));
}

void TestAscii::tagLimits() {
    // More tags than the list takes: the rest is named, not loaded.
    QByteArray many;
    for (int i = 0; i <= MaxTags; ++i)
        many += "A.B." + QByteArray::number(i) + "\n";
    TagFileReading r = readTagText(many, TagFileLayout::OpcItems);
    QCOMPARE(r.tags.size(), MaxTags);
    QCOMPARE(r.skipped, (Skips{{MaxTags + 1, SkippedLine::NotRead}}));
    QVERIFY(!r.rejected);

    // A file beyond the size limit: read up to it; the line cut there is
    // not taken.
    QByteArray big;
    const QByteArray line = "[GROUP]," + QByteArray(1000, 'g') + "\r\n";
    while (big.size() < MaxFileBytes)
        big += line;
    big += "[TAG],a,b,c,d,\r\n";
    const int cut = int(MaxFileBytes / line.size()) + 1;
    r = readTagText(big, TagFileLayout::TagTable);
    QVERIFY(r.tags.isEmpty());
    QCOMPARE(r.skipped, (Skips{{cut, SkippedLine::NotRead}}));

    // Many bad lines: the first ones are listed, all are counted.
    QByteArray noisy;
    for (int i = 0; i < 50; ++i)
        noisy += "\x01\n";
    r = readTagText(noisy, TagFileLayout::OpcItems);
    QCOMPARE(r.skippedCount, 50);
    QCOMPARE(r.skipped.size(), TagFileReading::MaxSkippedListed);
    QVERIFY(tagFileResultText(r, TagFileLayout::OpcItems, QString())
                .endsWith(QStringLiteral(", 20 (not text), +30 more")));
}

void TestAscii::resultTexts_data() {
    QTest::addColumn<int>("layout");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("failure");
    QTest::newRow("OPC items loaded")
        << 0 << QByteArray("A.B.C") << "OPC item file loaded." << false;
    QTest::newRow("tag table loaded")
        << 1 << QByteArray("[TAG],a,b,c,d,") << "Tag table loaded." << false;
    QTest::newRow("item table loaded")
        << 2 << QByteArray("[item]") << "Modbus file loaded." << false;
    QTest::newRow("OPC items rejected")
        << 0 << QByteArray("Tag1") << "tags.csv is not a valid OPC item file." << true;
    QTest::newRow("tag table rejected")
        << 1 << QByteArray("x") << "tags.csv is not a valid tag table." << true;
    QTest::newRow("item table rejected")
        << 2 << QByteArray("x") << "tags.csv is not a valid Modbus file." << true;
    QTest::newRow("skipped named")
        << 1 << QByteArray("[TAG],a,b,c,d,\n\x01\n") + QByteArray(1500, 'x') + "\n[TAG],\"e"
        << "Tag table loaded. Skipped lines: 2 (not text), 3 (too long), "
           "4 (ends inside quotes)"
        << false;
}

void TestAscii::resultTexts() {
    QFETCH(int, layout);
    QFETCH(QByteArray, contents);
    QFETCH(QString, text);
    QFETCH(bool, failure);
    const TagFileReading r = readTagText(contents, TagFileLayout(layout));
    QCOMPARE(tagFileResultText(r, TagFileLayout(layout), QStringLiteral("tags.csv")), text);
    QCOMPARE(tagFileResultTone(r) == ResultTone::Failure, failure);
}

void TestAscii::loadAndSave_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("list") << QStringList{"A.B.C", "D.E.F"} << "X.Y.Z"
                          << QByteArray("A.B.C\r\nD.E.F\r\n");
    QTest::newRow("empty list, box text") << QStringList{} << "A.B.C" << QByteArray("A.B.C\r\n");
    QTest::newRow("empty list, empty box") << QStringList{} << "" << QByteArray();
    QTest::newRow("8-bit names") << QStringList{QString::fromLatin1("Z\xE4hler.a.b")} << ""
                                 << QByteArray("Z\xE4hler.a.b\r\n");
}

void TestAscii::loadAndSave() {
    QFETCH(QStringList, list);
    QFETCH(QString, box);
    QFETCH(QByteArray, file);
    const QString path = m_dir.filePath(QStringLiteral("saved.csv"));
    QFile::remove(path);
    const SaveResult saved = saveTagList(path, list, box);
    QVERIFY2(saved.ok, qPrintable(saved.message()));
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), file);
    in.close();
    // What was saved loads back as an item list (the box text too).
    const TagFileLoad load = loadTagFile(path, TagFileLayout::OpcItems);
    QVERIFY(load.opened && load.error.ok);
    QCOMPARE(load.reading.tags, list.isEmpty() && !box.isEmpty() ? QStringList{box} : list);
    QCOMPARE(load.text, QStringLiteral("OPC item file loaded."));
}

void TestAscii::fileErrors() {
    // A file that can't be opened leaves the list alone and says why.
    TagFileLoad load =
        loadTagFile(m_dir.filePath(QStringLiteral("missing.csv")), TagFileLayout::OpcItems);
    QVERIFY(!load.opened);
    QVERIFY(!load.error.ok);
    QVERIFY(load.error.errorNumber != 0);
    QVERIFY(load.error.message().startsWith(
        QStringLiteral("The following error has occurred:\r\nErr # ")));
    QVERIFY(load.reading.tags.isEmpty());
    load = loadTagFile(m_dir.path(), TagFileLayout::OpcItems);
    QVERIFY(!load.opened);
    QVERIFY(!load.error.ok);

    // A folder that does not exist: nothing written, the reason given.
    const QString nowhere = m_dir.filePath(QStringLiteral("no/such/folder/list.csv"));
    const SaveResult saved = saveTagList(nowhere, {QStringLiteral("A.B.C")}, QString());
    QVERIFY(!saved.ok);
    QVERIFY(saved.message().contains(QStringLiteral(" - ")));
    QVERIFY(!QFile::exists(nowhere));

    // A read error mid-file keeps the lines read before it, not the one it
    // cut.
    FailingDevice device("A.B.C\nD.E.F\nG.H");
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    load = readTagDevice(device, TagFileLayout::OpcItems, QStringLiteral("x"));
    QVERIFY(load.opened);
    QVERIFY(!load.error.ok);
    QCOMPARE(load.error.description, QStringLiteral("Input/output error"));
    QCOMPARE(load.reading.tags, (QStringList{"A.B.C", "D.E.F"}));
}

QTEST_GUILESS_MAIN(TestAscii)
#include "tst_ascii.moc"
