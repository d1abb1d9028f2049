// The Modbus client's plain parts: request layouts, the reply rules and
// checks, the register sheet model and its files. Values go through the
// support library as the program loads it.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "modbus/ModbusFrame.h"
#include "modbus/RegisterSheet.h"
#include "modbus/SheetFile.h"
#include "tests/TestHex.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

using kestrune::testhex::hex;

// CRC-16/MODBUS bit by bit, from the polynomial, low byte first.
QByteArray withCrc(const QByteArray& frame) {
    uint16_t crc = 0xFFFF;
    for (char c : frame) {
        crc ^= uint8_t(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return frame + QByteArray(1, char(crc & 0xFF)) + QByteArray(1, char(crc >> 8));
}

// A sheet after a read of `count` registers from `first` that returned data.
RegisterSheet readSheet(const QString& first, const QString& count, const QByteArray& data,
                        bool autoRegister) {
    RegisterSheet sheet;
    sheet.setAutoRegister(autoRegister);
    sheet.setFirstText(first);
    sheet.setCountText(count);
    ReadResult r;
    r.exchanged = r.registersValid = true;
    r.request.first = uint16_t(first.toUInt());
    r.registers = data;
    sheet.applyReadResult(r);
    return sheet;
}

const QByteArray UntouchedRow = "0,0,,,,,\r\n";

} // namespace

class TestModbus : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
        QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_SOURCE_DIR) +
                                         QStringLiteral("/lang/Kestrune_Language.001")));
    }

    // ---- frames -----------------------------------------------------------------

    void requests_data() {
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("expected");
        QTest::addRow("RTU 10 from 0") << 0 << 1 << 3 << 0 << 10 << 0 << hex("0103 0000 000A C5CD");
        QTest::addRow("RTU input, high words")
            << 0 << 247 << 4 << 0x1234 << 300 << 0 << withCrc(hex("F704 1234 012C"));
        QTest::addRow("TCP first of the run")
            << 1 << 1 << 3 << 0 << 10 << 1 << hex("0001 0000 0006 01 03 0000 000A");
        QTest::addRow("TCP id 0") << 1 << 255 << 4 << 65535 << 65535 << 0
                                  << hex("0000 0000 0006 FF 04 FFFF FFFF");
    }
    void requests() {
        QFETCH(int, framing);
        QFETCH(int, unit);
        QFETCH(int, function);
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(int, id);
        QFETCH(QByteArray, expected);
        const ReadRequest r{uint8_t(unit), uint8_t(function), uint16_t(first), uint16_t(count)};
        QByteArray sent;
        if (framing == 1)
            sent = tcpRequest(r, uint16_t(id));
        else
            QVERIFY(rtuRequest(r, sent));
        QCOMPARE(sent.toHex(' '), expected.toHex(' '));
    }

    void counterRunsToHundredThenZero() {
        TransactionCounter c;
        for (int i = 1; i <= 100; ++i)
            QCOMPARE(int(c.next()), i);
        QCOMPARE(int(c.next()), 0);
        QCOMPARE(int(c.next()), 1);
    }

    void replyStates_data() {
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("rx");
        QTest::addColumn<int>("state");
        const QByteArray exRtu = hex("018302C0F1");
        const QByteArray exTcp = hex("0001000000030183 02");
        QTest::addRow("RTU exception") << 0 << 10 << exRtu << int(ReplyState::Exception);
        QTest::addRow("RTU exception and more")
            << 0 << 10 << exRtu + hex("00") << int(ReplyState::Waiting);
        QTest::addRow("RTU 24 of 25") << 0 << 10 << QByteArray(24, 1) << int(ReplyState::Waiting);
        QTest::addRow("RTU 25") << 0 << 10 << QByteArray(25, 1) << int(ReplyState::Complete);
        QTest::addRow("RTU longer") << 0 << 10 << QByteArray(30, 1) << int(ReplyState::Complete);
        QTest::addRow("RTU count 0, no bit 7")
            << 0 << 0 << hex("0103000000") << int(ReplyState::Complete);
        QTest::addRow("TCP exception") << 1 << 10 << exTcp << int(ReplyState::Exception);
        QTest::addRow("TCP bit 7 elsewhere")
            << 1 << 10 << hex("8001000000030103 02") << int(ReplyState::Waiting);
        QTest::addRow("TCP 29") << 1 << 10 << QByteArray(29, 1) << int(ReplyState::Complete);
        QTest::addRow("empty") << 1 << 0 << QByteArray() << int(ReplyState::Waiting);
    }
    void replyStates() {
        QFETCH(int, framing);
        QFETCH(int, count);
        QFETCH(QByteArray, rx);
        QFETCH(int, state);
        QCOMPARE(int(replyState(rx, Framing(framing), count)), state);
    }

    void exceptionTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addRow("1") << 1 << "Modbuserror 01: Illegal function";
        QTest::addRow("2") << 2 << "Modbuserror 02: Illegal data address";
        QTest::addRow("10") << 10 << "Modbuserror 0A: Gateway path unavailable";
        QTest::addRow("11") << 11 << "Modbuserror 0B: Target device failed to respond";
        QTest::addRow("12") << 12 << "Unknown Modbuserror";
        QTest::addRow("0") << 0 << "Unknown Modbuserror";
    }
    void exceptionTexts() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(exceptionText(code), text);
    }

    void checks_data() {
        QTest::addColumn<int>("framing");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("sentId");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QByteArray>("registers");
        const QByteArray rtu = withCrc(hex("010304 41200000"));
        QByteArray badCrc = rtu;
        badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 1);
        QTest::addRow("RTU") << 0 << rtu << 0 << int(CheckVerdict::Ok) << hex("41200000");
        QTest::addRow("RTU bad CRC")
            << 0 << badCrc << 0 << int(CheckVerdict::BadCrc) << QByteArray();
        QTest::addRow("RTU exception")
            << 0 << hex("018302C0F1") << 0 << int(CheckVerdict::Ok) << QByteArray();
        QTest::addRow("RTU too short")
            << 0 << hex("0103") << 0 << int(CheckVerdict::BadCrc) << QByteArray();
        const QByteArray tcp = hex("0102 0000 0007 01 03 04 41200000");
        QTest::addRow("TCP") << 1 << tcp << 0x0102 << int(CheckVerdict::Ok) << hex("41200000");
        QTest::addRow("TCP id bytes swapped")
            << 1 << tcp << 0x0201 << int(CheckVerdict::WrongTransactionId) << QByteArray();
        QTest::addRow("TCP exception")
            << 1 << hex("0005000000030183 02") << 5 << int(CheckVerdict::Ok) << QByteArray();
        QTest::addRow("TCP one byte")
            << 1 << hex("00") << 0 << int(CheckVerdict::WrongTransactionId) << QByteArray();
    }
    void checks() {
        QFETCH(int, framing);
        QFETCH(QByteArray, reply);
        QFETCH(int, sentId);
        QFETCH(int, verdict);
        QFETCH(QByteArray, registers);
        const CheckResult r = checkReply(reply, Framing(framing), uint16_t(sentId));
        QCOMPARE(int(r.verdict), verdict);
        QCOMPARE(r.registers.toHex(), registers.toHex());
    }

    // ---- the sheet ----------------------------------------------------------------

    void automaticNumbering() {
        // FLOAT 10.0, INT16 -200, UINT64 123456, CHAR6 "K2-Sim": 20 bytes.
        const QByteArray data = hex("41200000 FF38 000000000001E240 4B322D53696D");
        RegisterSheet sheet = readSheet(QStringLiteral("100"), QStringLiteral("10"), data, true);
        for (int row = 0; row < SheetRowCount; ++row)
            QVERIFY(sheet.chooseType(row, std::array{6, 0, 5, 10, 0, 0}[size_t(row)]));
        const QStringList registers = {"100", "102", "103", "107", "110", "111"};
        const QStringList values = {"10.000000", "-200", "123456", "K2-Sim", "", ""};
        for (int row = 0; row < SheetRowCount; ++row) {
            QCOMPARE(sheet.row(row).registerText, registers[row]);
            QCOMPARE(sheet.row(row).valueText, values[row]);
            QVERIFY(!sheet.row(row).outOfRange);
        }
        QCOMPARE(sheet.row(0).byteText, QStringLiteral("4120 0000"));
        QCOMPARE(sheet.row(3).byteText, QStringLiteral("4B32 2D53 696D"));
        QCOMPARE(sheet.row(4).byteText, QString());
    }

    void rowValues_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("noted");
        QTest::addRow("FLOAT ABCD") << hex("41200000") << 6 << 0 << "4120 0000"
                                    << "10.000000" << false;
        QTest::addRow("UINT16 BA") << hex("0102") << 1 << 1 << "0102"
                                   << "513" << false;
        QTest::addRow("FLOAT CDAB") << hex("00003FC0") << 6 << 2 << "0000 3FC0"
                                    << "1.500000" << false;
        // Never made from bytes beyond the reply.
        QTest::addRow("reply ends inside FLOAT") << hex("4120") << 6 << 0 << "4120"
                                                 << "" << true;
        QTest::addRow("reply ends inside DFLOAT") << hex("3FF8000000") << 7 << 0 << "3FF8 0000 00"
                                                  << "" << true;
    }
    void rowValues() {
        QFETCH(QByteArray, data);
        QFETCH(int, type);
        QFETCH(int, order);
        QFETCH(QString, bytes);
        QFETCH(QString, value);
        QFETCH(bool, noted);
        RegisterSheet sheet = readSheet(QStringLiteral("100"), QStringLiteral("4"), data, false);
        sheet.setRegisterText(0, QStringLiteral("100"));
        QVERIFY(sheet.chooseType(0, type));
        QVERIFY(sheet.chooseOrder(0, order));
        QCOMPARE(sheet.row(0).byteText, bytes);
        QCOMPARE(sheet.row(0).valueText, value);
        QCOMPARE(!sheet.row(0).note.isEmpty(), noted);
    }

    void manualRangeMark_data() {
        QTest::addColumn<QString>("reg");
        QTest::addColumn<bool>("yellow");
        QTest::addRow("first") << "10" << false;
        QTest::addRow("last") << "11" << false;
        QTest::addRow("one past") << "12" << true;
        QTest::addRow("below") << "9" << true;
        QTest::addRow("empty stays") << "" << false;
    }
    void manualRangeMark() {
        QFETCH(QString, reg);
        QFETCH(bool, yellow);
        RegisterSheet sheet =
            readSheet(QStringLiteral("10"), QStringLiteral("2"), hex("00070008"), false);
        sheet.setValueText(0, QStringLiteral("stale"));
        sheet.setRegisterText(0, reg);
        sheet.registerEdited(0);
        QCOMPARE(sheet.row(0).outOfRange, yellow);
        if (yellow)
            QCOMPARE(sheet.row(0).valueText, QString());
    }

    void typeChoiceResetsEveryOrder() {
        RegisterSheet sheet;
        for (int row = 0; row < SheetRowCount; ++row) {
            QVERIFY(sheet.chooseType(row, 2));
            QVERIFY(sheet.chooseOrder(row, 3));
        }
        QVERIFY(!sheet.chooseOrder(0, 4)); // INT32 offers four
        QVERIFY(sheet.chooseType(5, 2));   // the same type again
        for (int row = 0; row < SheetRowCount; ++row)
            QCOMPARE(sheet.row(row).order, 0);
        QCOMPARE(byteOrderNames(0), QStringList({"AB", "BA"}));
        QCOMPARE(byteOrderNames(4), QStringList({"ABCD", "DCBA"}));
        QCOMPARE(byteOrderNames(15), QStringList({"ABCD"}));
    }

    // The values stay those of the registers they were read from, whatever
    // is typed into the first-register box afterwards.
    void valuesFollowTheReadNotTheBox() {
        RegisterSheet sheet =
            readSheet(QStringLiteral("100"), QStringLiteral("2"), hex("00070008"), false);
        sheet.setFirstText(QStringLiteral("101"));
        sheet.setRegisterText(0, QStringLiteral("101"));
        sheet.readRangeEdited();
        QCOMPARE(sheet.row(0).valueText, QStringLiteral("8"));
        sheet.setCountText(QString());
        sheet.setRegisterText(0, QStringLiteral("100"));
        sheet.readRangeEdited(); // no count: nothing refreshed
        QCOMPARE(sheet.row(0).valueText, QStringLiteral("8"));
    }

    void everyOrderAtAGlance() {
        RegisterSheet sheet =
            readSheet(QStringLiteral("0"), QStringLiteral("2"), hex("00003FC0"), true);
        QVERIFY(sheet.chooseType(0, 6));
        const QList<OrderValue> all = sheet.valuesInEveryOrder(0);
        QCOMPARE(all.size(), 4);
        QCOMPARE(all[2].order, QStringLiteral("CDAB"));
        QCOMPARE(all[2].value, QStringLiteral("1.500000"));
        QCOMPARE(all[0].value, QStringLiteral("0.000000"));
        QCOMPARE(sheet.row(0).order, 0); // the view chooses nothing
    }

    void readResultsReachTheSheet() {
        RegisterSheet sheet =
            readSheet(QStringLiteral("0"), QStringLiteral("1"), hex("0005"), true);
        QCOMPARE(sheet.row(0).valueText, QStringLiteral("5"));
        ReadResult timeout; // no reply: the sheet keeps what it shows
        sheet.applyReadResult(timeout);
        QCOMPARE(sheet.row(0).valueText, QStringLiteral("5"));
        ReadResult exception;
        exception.exchanged = exception.registersValid = true;
        sheet.applyReadResult(exception);
        QCOMPARE(sheet.row(0).valueText, QString());
        QVERIFY(sheet.registerData().isEmpty());
    }

    void entryChecks_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addRow("slave 300") << 0 << "300"
                                   << "255";
        QTest::addRow("slave abc") << 0 << "abc"
                                   << "0";
        QTest::addRow("slave empty") << 0 << ""
                                     << "";
        QTest::addRow("slave -5 kept") << 0 << "-5"
                                       << "-5";
        QTest::addRow("slave 1.5 kept") << 0 << "1.5"
                                        << "1.5";
        QTest::addRow("first 65536") << 1 << "65536"
                                     << "65535";
        QTest::addRow("first blanks") << 1 << " 70000 "
                                      << "65535";
        QTest::addRow("count abc") << 2 << "abc"
                                   << "0";
        QTest::addRow("count 200 sent as typed") << 2 << "200"
                                                 << "200";
        QTest::addRow("count 70000") << 2 << "70000"
                                     << "65535";
    }
    void entryChecks() {
        QFETCH(int, box);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        RegisterSheet sheet;
        const QString shown = box == 0   ? sheet.setSlaveText(typed)
                              : box == 1 ? sheet.setFirstText(typed)
                                         : sheet.setCountText(typed);
        QCOMPARE(shown, kept);
    }

    // ---- files ------------------------------------------------------------------------

    void untouchedSheetFile() {
        const QByteArray text = sheetFileText(RegisterSheet());
        QCOMPARE(text,
                 QByteArray("WizardModbus\r\n0,True,False,0,,,,\r\n") + UntouchedRow.repeated(6));
    }

    void fileRoundTrip() {
        RegisterSheet sheet =
            readSheet(QStringLiteral("100"), QStringLiteral("2"), hex("41200000"), true);
        sheet.setFraming(Framing::Tcp);
        sheet.setFunctionPosition(1);
        sheet.setSlaveText(QStringLiteral("17"));
        QVERIFY(sheet.chooseType(0, 6));
        QVERIFY(sheet.chooseType(1, 3));
        QVERIFY(sheet.chooseOrder(1, 2));
        sheet.setDescription(0, QStringLiteral("Flow \u00e4"));
        const QString path = m_dir.filePath(QStringLiteral("round.csv"));
        QVERIFY(saveSheetFile(path, sheet).ok);

        RegisterSheet loaded;
        const FileReport report = loadSheetFile(path, loaded);
        QVERIFY(report.ok);
        QCOMPARE(report.text, getText(1020));
        QCOMPARE(sheetFileText(loaded), sheetFileText(sheet));
        QCOMPARE(loaded.row(1).order, 2);
        QCOMPARE(loaded.row(0).valueText, QStringLiteral("10.000000"));
    }

    void fileLoads_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("description"); // row 0 afterwards
        QTest::addColumn<int>("type");            // row 0 afterwards
        QTest::addColumn<QStringList>("skipped"); // parts of the report
        const QByteArray head = "WizardModbus\r\n0,True,False,0,1,100,2,\r\n";
        QTest::addRow("trailing blanks on line 1")
            << QByteArray("WizardModbus  \r\n") + head.mid(14) << false << "" << 0 << QStringList();
        QTest::addRow("no trailing comma")
            << head + "6,0,100,,,Flow" << true << "Flow" << 6 << QStringList();
        QTest::addRow("comma in a description")
            << head + "6,0,100,,,Flow,inlet,\r\n"
            << true << "Flow" << 6 << QStringList{"line 3, field 7 \"inlet\""};
        QTest::addRow("LF only") << QByteArray(head).replace("\r", "") + "1,1,5,,,x,\n"
                                 << true << "x" << 1 << QStringList();
        QTest::addRow("fields that don't convert")
            << head + "x,9,100,,,Kept,\r\n"
            << true << "Kept" << 0 << QStringList{"line 3, field 1 \"x\"", "line 3, field 2 \"9\""};
        QTest::addRow("more than six rows")
            << head + UntouchedRow.repeated(8) << true << "" << 0
            << QStringList{"line 9-10: more than six register rows"};
        QTest::addRow("empty file") << QByteArray() << false << "" << 0 << QStringList();
    }
    void fileLoads() {
        QFETCH(QByteArray, text);
        QFETCH(bool, accepted);
        QFETCH(QString, description);
        QFETCH(int, type);
        QFETCH(QStringList, skipped);
        const QString path = m_dir.filePath(QStringLiteral("load.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        RegisterSheet sheet;
        sheet.setDescription(0, QStringLiteral("before"));
        const FileReport report = loadSheetFile(path, sheet);
        QCOMPARE(report.ok, accepted);
        QCOMPARE(report.tone, accepted ? Tone::Success : Tone::Failure);
        if (!accepted) {
            QCOMPARE(report.text, QStringLiteral("load.csv ") + getText(1021));
            QCOMPARE(sheet.row(0).description, QStringLiteral("before"));
            return;
        }
        QCOMPARE(sheet.row(0).description, description);
        QCOMPARE(sheet.row(0).type, type);
        QCOMPARE(sheet.firstText(), QStringLiteral("100"));
        for (const QString& part : skipped)
            QVERIFY2(report.text.contains(part), qPrintable(report.text));
        QCOMPARE(report.text.contains(getText(1024)), !skipped.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestModbus)
#include "tst_modbus.moc"
