// What a meter's answer says: the identification cells of the search list
// (tables of the rules' edge cases, then every real capture of
// tests/data/mbus-frames.tsv against the columns an independent decoder
// gave), and the meter page's reading of the same replies.
#include "base/TextUtil.h"
#include "mbus/MBusFrame.h"
#include "mbus/MeterIdentification.h"
#include "mbus/MeterReply.h"
#include "tests/TestHex.h"

#include <QFile>
#include <QtTest>

using namespace kestrune;

namespace {

using testhex::hex;

// A reply from address 5 with CI ci whose user data after CI is the given
// header bytes.
QByteArray reply(int ci, const char* header, uint8_t address = 5) {
    return buildLongFrame(0x08, address, static_cast<uint8_t>(ci), hex(QLatin1String(header)));
}

struct Capture {
    QString name;
    QByteArray frame;
    int length = 0;
    int aField = 0;
    int ci = 0;
    QString id, manufacturerHex, letters, version, medium;
};

QList<Capture> captures() {
    QList<Capture> list;
    QFile f(QStringLiteral(KESTRUNE_SOURCE_DIR "/tests/data/mbus-frames.tsv"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("tests/data/mbus-frames.tsv is missing");
    f.readLine(); // header
    while (!f.atEnd()) {
        const QStringList c = QString::fromUtf8(f.readLine()).chopped(1).split(QLatin1Char('\t'));
        if (c.size() < 10)
            continue;
        Capture cap{c[0], hex(c[1]), c[2].toInt(), c[3].toInt(), c[4].mid(2).toInt(nullptr, 16),
                    c[5], c[6],      c[7],         c[8],         c[9]};
        list << cap;
    }
    return list;
}

} // namespace

Q_DECLARE_METATYPE(Capture)

class TestIdentification : public QObject {
    Q_OBJECT

private slots:
    void deviceTypes_data() {
        QTest::addColumn<QString>("letters");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("medium");
        QTest::addColumn<QString>("type");
        QTest::newRow("ABB 2") << "ABB" << 2 << 2 << "Delta";
        QTest::newRow("ABB 3") << "ABB" << 3 << 2 << "Odin";
        QTest::newRow("ABB 4") << "ABB" << 4 << 2 << "Delta Single";
        QTest::newRow("ABB 5") << "ABB" << 5 << 2 << "Delta Plus";
        QTest::newRow("ABB 11") << "ABB" << 11 << 2 << "Odin Single";
        QTest::newRow("ABB 6") << "ABB" << 6 << 2 << "ABB N/A";
        QTest::newRow("ZXQ K2") << "ZXQ" << 1 << 49 << "ZX-K2";
        QTest::newRow("ZXQ K2v2") << "ZXQ" << 2 << 49 << "ZX-K2v2";
        QTest::newRow("ZXQ K2S") << "ZXQ" << 3 << 49 << "ZX-K2S";
        QTest::newRow("ZXQ 4 as gateway") << "ZXQ" << 4 << 49 << "ZXQ N/A";
        QTest::newRow("ZXQ room sensor") << "ZXQ" << 1 << 27 << "ZX-TH";
        QTest::newRow("ZXQ room sensor 2") << "ZXQ" << 2 << 27 << "ZXQ N/A";
        QTest::newRow("ZXQ version 1, other medium") << "ZXQ" << 1 << 7 << "ZXQ N/A";
        QTest::newRow("REL 0") << "REL" << 0 << 0 << "REL N/A";
        QTest::newRow("REL 1") << "REL" << 1 << 0 << "PadPuls M1";
        QTest::newRow("REL 15") << "REL" << 15 << 0 << "PadPuls M1";
        QTest::newRow("REL 16") << "REL" << 16 << 0 << "PadPuls M4";
        QTest::newRow("REL 32") << "REL" << 32 << 0 << "PadIn4";
        QTest::newRow("REL 48") << "REL" << 48 << 0 << "ANDi1..4";
        QTest::newRow("REL 79") << "REL" << 79 << 0 << "PadPuls M2";
        QTest::newRow("REL 80") << "REL" << 80 << 0 << "REL N/A";
        QTest::newRow("lower case is another maker") << "abb" << 2 << 2 << "N/A";
        QTest::newRow("empty letters") << "" << 2 << 2 << "N/A";
        QTest::newRow("other maker") << "KAM" << 2 << 2 << "N/A";
    }
    void deviceTypes() {
        QFETCH(QString, letters);
        QFETCH(int, version);
        QFETCH(int, medium);
        QTEST(deviceTypeName(letters, uint8_t(version), uint8_t(medium)), "type");
    }

    void media_data() {
        QTest::addColumn<int>("medium");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Other (00h)";
        QTest::newRow("4") << 4 << "Heat (04h)";
        QTest::newRow("10") << 10 << "Cooling (outlet) (0Ah)";
        QTest::newRow("19") << 19 << "Reserved consumption (13h)";
        QTest::newRow("28 keeps its blank") << 28 << "Gas detector  (1Ch)";
        QTest::newRow("49") << 49 << "Communication controller (Gateway) (31h)";
        QTest::newRow("54") << 54 << "Radio converter (system side) (36h)";
        QTest::newRow("55 has no blank") << 55 << "Radio converter(meter side) (37h)";
        QTest::newRow("56") << 56 << "Reserved (56)";
        QTest::newRow("128") << 128 << "Reserved (128)";
        QTest::newRow("255") << 255 << "Reserved (255)";
    }
    void media() {
        QFETCH(int, medium);
        QTEST(mediumText(uint8_t(medium)), "text");
    }

    // The cells of one reply; "-" for a reply that leaves them all empty.
    void cells_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("cells"); // address|id|manufacturer|version|medium|type

        QTest::newRow("ABB") << reply(0x72, "78 56 34 12 42 04 02 02 00 00 00 00")
                             << "5|12345678|ABB (0442h)|2 (02h)|Electricity (02h)|Delta";
        QTest::newRow("identification with leading zeros")
            << reply(0x72, "34 12 00 00 42 04 0B 04 00 00 00 00")
            << "5|00001234|ABB (0442h)|11 (0Bh)|Heat (04h)|Odin Single";
        QTest::newRow("identification not BCD")
            << reply(0x72, "34 AB 12 00 AC 48 10 00 00 00 00 00")
            << "5|0012AB34|REL (48ACh)|16 (10h)|Other (00h)|PadPuls M4";
        QTest::newRow("manufacturer 0") << reply(0x72, "01 00 00 00 00 00 01 07 00 00 00 00")
                                        << "5|00000001| (0000h)|1 (01h)|Water (07h)|N/A";
        QTest::newRow("top bit of the manufacturer")
            << reply(0x72, "01 00 00 00 24 B4 16 38 00 00 00 00")
            << "5|00000001|mAD (B424h)|22 (16h)|Reserved (56)|N/A";
        QTest::newRow("K2S") << reply(0x72, "89 67 45 23 11 6B 03 31 00 00 00 00", 250)
                             << "250|23456789|ZXQ (6B11h)|3 (03h)|Communication controller "
                                "(Gateway) (31h)|ZX-K2S";
        QTest::newRow("fixed structure still has its identification")
            << reply(0x73, "93 92 91 90 10 00 05 69 31 65 00 00 69 00 00 00")
            << "5|90919293|N/A|N/A|N/A|Fixed";
        QTest::newRow("CI 78 is read as a header")
            << reply(0x78, "01 02 03 04 05 06 07 08")
            << "5|04030201|APE (0605h)|7 (07h)|Heat Cost Allocator (08h)|N/A";
        QTest::newRow("17 bytes: eight header bytes") << reply(0x72, "01 00 00 00 42 04 02 02")
                                                      << "5|00000001|ABB (0442h)|2 (02h)|"
                                                         "Electricity (02h)|Delta";
        for (int headerBytes = 0; headerBytes < 8; ++headerBytes) {
            const QByteArray header(headerBytes, '\x11');
            QTest::addRow("%d bytes: nothing", 9 + headerBytes)
                << buildLongFrame(0x08, 5, 0x72, header) << "-";
        }
        QTest::newRow("E5") << hex(QStringLiteral("E5")) << "-";
    }
    void cells() {
        QFETCH(QByteArray, frame);
        QFETCH(QString, cells);
        const std::optional<MeterDataColumns> c = extractMeterData(frame);
        if (cells == QLatin1String("-")) {
            QVERIFY(!c);
            return;
        }
        QVERIFY(c);
        QCOMPARE(QStringList({c->address, c->identification, c->manufacturer, c->version, c->medium,
                              c->deviceType})
                     .join(QLatin1Char('|')),
                 cells);
        QStringList row(3, QStringLiteral("kept"));
        c->writeInto(row);
        QCOMPARE(row.size(), 10);
        QCOMPARE(row[1], QStringLiteral("kept"));
        QCOMPARE(row[MeterDataColumns::AddressColumn], c->address);
        QCOMPARE(row[MeterDataColumns::DeviceTypeColumn], c->deviceType);
    }

    // Every capture: the cells agree with the independent decoder's columns.
    void captureCells_data() {
        QTest::addColumn<Capture>("capture");
        for (const Capture& c : captures())
            QTest::newRow(qPrintable(c.name)) << c;
    }
    void captureCells() {
        QFETCH(Capture, capture);
        QCOMPARE(capture.frame.size(), capture.length);
        const std::optional<MeterDataColumns> c = extractMeterData(capture.frame);
        if (capture.length < 17) {
            QVERIFY(!c);
            return;
        }
        QVERIFY(c);
        QCOMPARE(c->address, QString::number(capture.aField));
        QCOMPARE(c->identification, capture.id);
        if (capture.ci == 0x73) {
            QCOMPARE(c->manufacturer, QStringLiteral("N/A"));
            QCOMPARE(c->deviceType, QStringLiteral("Fixed"));
            return;
        }
        QCOMPARE(c->manufacturer, capture.letters + QStringLiteral(" (") + capture.manufacturerHex +
                                      QStringLiteral("h)"));
        const int version = capture.version.toInt();
        const QString versionHex =
            QStringLiteral("%1").arg(version, 2, 16, QLatin1Char('0')).toUpper();
        QCOMPARE(c->version, QStringLiteral("%1 (%2h)").arg(version).arg(versionHex));
        const int medium = capture.medium.mid(2).toInt(nullptr, 16);
        if (medium <= 55)
            QVERIFY2(c->medium.endsWith(QStringLiteral(" (%1h)").arg(capture.medium.mid(2))),
                     qPrintable(c->medium));
        else
            QCOMPARE(c->medium, QStringLiteral("Reserved (%1)").arg(medium));
    }

    // The meter page's report reads the same fields as hexadecimal, and
    // nothing a short reply does not hold.
    void captureReport_data() { captureCells_data(); }
    void captureReport() {
        QFETCH(Capture, capture);
        const MeterReadData d = readMeterReply(capture.frame);
        QCOMPARE(d.address, QString::number(capture.aField));
        QCOMPARE(d.ci, capture.ci);
        if (capture.ci == 0x73) {
            QVERIFY(d.fixedStructure);
            QCOMPARE(d.identification, capture.id);
            QCOMPARE(d.manufacturer + d.version + d.medium, QStringLiteral("FFFFFFFF"));
            return;
        }
        if (capture.ci != 0x72 || capture.length < 17) {
            QCOMPARE(d.identification + d.manufacturer + d.letters + d.version + d.medium,
                     QString());
            return;
        }
        QCOMPARE(d.identification, capture.id);
        QCOMPARE(d.manufacturer, capture.manufacturerHex);
        QCOMPARE(d.letters, capture.letters);
        QCOMPARE(
            d.version,
            QStringLiteral("%1").arg(capture.version.toInt(), 2, 16, QLatin1Char('0')).toUpper());
        QCOMPARE(d.medium, capture.medium.mid(2));
    }

    // Replies shorter than their fields: only what is there is read.
    void shortReplies_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("ci");
        QTest::addColumn<QString>("identification");
        QTest::newRow("L 0") << hex(QStringLiteral("68 00 00 68 00 16")) << "" << -1 << "";
        QTest::newRow("L 1") << hex(QStringLiteral("68 01 01 68 08 08 16")) << "" << -1 << "";
        QTest::newRow("L 2") << hex(QStringLiteral("68 02 02 68 08 05 0D 16")) << "5" << -1 << "";
        QTest::newRow("L 3") << buildLongFrame(0x08, 5, 0x72) << "5" << 0x72 << "";
        QTest::newRow("fixed, id cut") << reply(0x73, "93 92 91") << "5" << 0x73 << "";
        QTest::newRow("fixed, id whole") << reply(0x73, "93 92 91 90") << "5" << 0x73 << "90919293";
        QTest::newRow("variable, header cut")
            << reply(0x72, "01 02 03 04 05 06 07") << "5" << 0x72 << "";
    }
    void shortReplies() {
        QFETCH(QByteArray, frame);
        QVERIFY(isCompleteMBusReply(frame));
        const MeterReadData d = readMeterReply(frame);
        QTEST(d.address, "address");
        QTEST(d.ci, "ci");
        QTEST(d.identification, "identification");
    }

    void k2Values_data() {
        QTest::addColumn<int>("userBytes"); // L
        QTest::addColumn<bool>("present");
        QTest::newRow("L 30: current cut") << 30 << false;
        QTest::newRow("L 31: both there") << 31 << true;
        QTest::newRow("L 40") << 40 << true;
        QTest::newRow("L 3") << 3 << false;
    }
    void k2Values() {
        QFETCH(int, userBytes);
        QByteArray user(userBytes, '\0');
        for (int i = 0; i < userBytes; ++i)
            user[i] = char(i + 5); // the byte at position p holds p
        const QByteArray frame = buildLongFrame(user);
        const auto v = k2RawValues(frame);
        QTEST(v.has_value(), "present");
        if (v) {
            QCOMPARE(v->voltage, hex(QStringLiteral("1D 1E")));
            QCOMPARE(v->current, hex(QStringLiteral("22 23")));
        }
    }

    void hexDump_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString crlf = QStringLiteral("\r\n");
        QTest::newRow("nothing") << QByteArray() << "";
        QTest::newRow("one byte") << hex(QStringLiteral("E5"))
                                  << crlf + QStringLiteral("E5") + QString(46, QLatin1Char(' '));
        QByteArray seventeen;
        for (int i = 0; i < 17; ++i)
            seventeen.append(char(i));
        QTest::newRow("sixteen and one")
            << seventeen
            << crlf + QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ") + crlf +
                   QStringLiteral("10") + QString(46, QLatin1Char(' '));
    }
    void hexDump() {
        QFETCH(QByteArray, bytes);
        QTEST(hexDumpText(bytes), "text");
    }
};

QTEST_APPLESS_MAIN(TestIdentification)
#include "tst_identification.moc"
