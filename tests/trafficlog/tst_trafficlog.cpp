// The traffic log: line layout, the bounded line list, counters, the save
// file and the poll interval field.
#include "channel/LogViewModel.h"
#include "channel/TrafficLog.h"
#include "tests/TestHex.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace kestrune;

namespace {

using kestrune::testhex::hex;

QString body(const char* pairs) {
    return QString::fromLatin1(pairs).leftJustified(66);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestTrafficLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void stamp_data() {
        QTest::addColumn<int>("tick");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0 << " 0:00:00.000";
        QTest::newRow("ms 1234") << 1234 << " 0:00:01.234";
        QTest::newRow("ms 1200") << 1200 << " 0:00:01.200";
        QTest::newRow("ms 1005") << 1005 << " 0:00:01.005";
        QTest::newRow("last ms of a minute") << 59999 << " 0:00:59.999";
        QTest::newRow("one minute") << 60000 << " 0:01:00.000";
        QTest::newRow("example 5:03:07.042") << 18187042 << " 5:03:07.042";
        QTest::newRow("hours past 24") << 86400000 + 3600000 << " 25:00:00.000";
        QTest::newRow("largest tick") << std::numeric_limits<int32_t>::max() << " 596:31:23.647";
        QTest::newRow("negative tick") << -1 << " 596:31:23.646";
        QTest::newRow("negative tick, small")
            << (std::numeric_limits<int32_t>::min() + 3601001) << " 1:00:01.000";
        QTest::newRow("most negative tick")
            << std::numeric_limits<int32_t>::min() << " 0:00:00.000";
    }
    void stamp() {
        QFETCH(int, tick);
        QFETCH(QString, expected);
        QCOMPARE(uptimeStamp(tick), expected);
    }

    void layout_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("tick");
        QTest::addColumn<bool>("logHasLines");
        QTest::addColumn<QStringList>("expected");

        const int t = 18187042; // 5:03:07.042
        const QString tod = QStringLiteral("14:02:11");
        const QString sent = tod + QStringLiteral(" 5:03:07.042 -> ");
        const QString received = tod + QStringLiteral(" 5:03:07.042 <- ");
        const QString note = tod + QStringLiteral(" 5:03:07.042    ");
        QCOMPARE(sent.size(), 24);

        QTest::newRow("5-byte send, first entry")
            << hex("105BFE5916") << 1 << t << false << QStringList{sent + body("10 5B FE 59 16")};
        QTest::newRow("5-byte send after other lines")
            << hex("105BFE5916") << 1 << t << true
            << QStringList{QString(), sent + body("10 5B FE 59 16")};
        QTest::newRow("17-byte send: second line under the hex column")
            << hex("000102030405060708090A0B0C0D0E0F10") << 1 << t << false
            << QStringList{sent + body("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"),
                           QString(24, QLatin1Char(' ')) + body("10")};
        QTest::newRow("16-byte receive: one line, no separator")
            << hex("68090968080172785634120000E5FF16") << 0 << t << true
            << QStringList{received + body("68 09 09 68 08 01 72 78 56 34 12 00 00 E5 FF 16")};
        QTest::newRow("32-byte receive: two full lines")
            << QByteArray(32, char(0xAB)) << 0 << t << false
            << QStringList{received + body("AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB"),
                           QString(24, QLatin1Char(' ')) +
                               body("AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB")};
        QTest::newRow("note: four spaces, one line")
            << QByteArray("BusTimeout") << 2 << t << true << QStringList{note + "BusTimeout"};
        const QByteArray longNote(200, 'x');
        QTest::newRow("long note stays one line")
            << longNote << 2 << t << false << QStringList{note + QString::fromLatin1(longNote)};
        QTest::newRow("empty receive") << QByteArray() << 0 << t << true << QStringList{};
        QTest::newRow("empty send keeps its separator")
            << QByteArray() << 1 << t << true << QStringList{QString()};
        QTest::newRow("empty send on empty log")
            << QByteArray() << 1 << t << false << QStringList{};
        QTest::newRow("empty note") << QByteArray() << 2 << t << true << QStringList{};
        QTest::newRow("negative tick")
            << hex("E5") << 0 << -1 << false
            << QStringList{tod + QStringLiteral(" 596:31:23.646 <- ") + body("E5")};
        QTest::newRow("ms part of 1200")
            << hex("E5") << 0 << 1200 << false
            << QStringList{tod + QStringLiteral(" 0:00:01.200 <- ") + body("E5")};
    }
    void layout() {
        QFETCH(QByteArray, data);
        QFETCH(int, direction);
        QFETCH(int, tick);
        QFETCH(bool, logHasLines);
        QFETCH(QStringList, expected);
        const QStringList lines = formatEntry(data, static_cast<Direction>(direction), tick,
                                              QStringLiteral("14:02:11"), logHasLines);
        QCOMPARE(lines, expected);
        for (const QString& l : lines) {
            if (!l.isEmpty() && direction != 2)
                QCOMPARE(l.size(), 24 + 66 + (tick == -1 ? 2 : 0));
        }
    }

    // An explanation goes under the telegram's last line, at the column of
    // its bytes, as one line whatever characters it quotes; notes get none.
    void explanationLine_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("explanation");
        QTest::addColumn<QStringList>("expected");
        const QString head = QStringLiteral("14:02:11 0:00:01.200 -> ");
        const QString indent(head.size(), QLatin1Char(' '));
        QTest::newRow("sent, after other lines")
            << hex("105B015C16") << 1 << "REQ_UD2 FCB=0 to address 1"
            << QStringList{QString(), head + body("10 5B 01 5C 16"),
                           indent + QStringLiteral("REQ_UD2 FCB=0 to address 1")};
        QTest::newRow("17 bytes: under the second line")
            << QByteArray(17, char(0xE5)) << 0 << "words"
            << QStringList{QStringLiteral("14:02:11 0:00:01.200 <- ") +
                               body("E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5 E5"),
                           indent + body("E5"), indent + QStringLiteral("words")};
        QTest::newRow("control characters cannot break the line")
            << hex("E5") << 0 << "value \"a\r\nb\x7f\""
            << QStringList{QStringLiteral("14:02:11 0:00:01.200 <- ") + body("E5"),
                           indent + QStringLiteral("value \"a??b?\"")};
        QTest::newRow("no words, no line")
            << hex("E5") << 0 << ""
            << QStringList{QStringLiteral("14:02:11 0:00:01.200 <- ") + body("E5")};
        QTest::newRow("a note is words already")
            << QByteArray("BusTimeout") << 2 << "words"
            << QStringList{QStringLiteral("14:02:11 0:00:01.200    BusTimeout")};
    }
    void explanationLine() {
        QFETCH(QByteArray, data);
        QFETCH(int, direction);
        QFETCH(QString, explanation);
        QTEST(formatEntry(data, static_cast<Direction>(direction), 1200, QStringLiteral("14:02:11"),
                          true, explanation),
              "expected");
    }

    void noteText() {
        const QStringList lines = formatNote(QStringLiteral("Received 1 byte"), 1200, "09:00:00");
        QCOMPARE(lines, QStringList{QStringLiteral("09:00:00 0:00:01.200    Received 1 byte")});
        QVERIFY(formatNote(QString(), 0, "09:00:00").isEmpty());
    }

    void timeOfDayHasConstantShape() {
        const QString a = currentTimeOfDay();
        QVERIFY(!a.isEmpty());
        QVERIFY(a.contains(QRegularExpression(QStringLiteral("\\d\\d"))));
    }

    void nothingLoggedWhileInactive() {
        TrafficLog log;
        log.log(hex("105BFE5916"), Direction::Sent);
        log.note(QStringLiteral("x"));
        log.appendLines({QStringLiteral("y")});
        QCOMPARE(log.lineCount(), 0);
        log.setActive(true);
        log.note(QStringLiteral("x"));
        QCOMPARE(log.lineCount(), 1);
        log.setActive(false);
        log.log(hex("E5"), Direction::Received);
        QCOMPARE(log.lineCount(), 1);
    }

    void separatorBeforeEveryTransmissionButTheFirst() {
        TrafficLog log;
        log.setActive(true);
        log.log(hex("105BFE5916"), Direction::Sent);
        log.log(hex("E5"), Direction::Received);
        log.note(QStringLiteral("BusTimeout"));
        log.log(hex("107BFE7916"), Direction::Sent);
        log.log(hex("E5"), Direction::Received);
        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 6);
        QVERIFY(!lines[0].isEmpty());
        QVERIFY(lines[0].contains(QStringLiteral(" -> 10 5B FE 59 16")));
        QVERIFY(lines[1].contains(QStringLiteral(" <- E5")));
        QVERIFY(lines[2].endsWith(QStringLiteral("    BusTimeout")));
        QVERIFY(lines[3].isEmpty());
        QVERIFY(lines[4].contains(QStringLiteral(" -> 10 7B FE 79 16")));
        QVERIFY(lines[5].contains(QStringLiteral(" <- E5")));
    }

    void textEntriesAreBytes() {
        TrafficLog log;
        log.setActive(true);
        log.log(QString::fromLatin1("\x10\x5B\xFE"), Direction::Sent);
        log.log(QStringLiteral("hello"), Direction::Note);
        QVERIFY(log.line(0).contains(QStringLiteral(" -> 10 5B FE ")));
        QVERIFY(log.line(1).endsWith(QStringLiteral("    hello")));
    }

    void maxLinesOneKeepsOnlyTheNewestLine() {
        TrafficLog log;
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        log.setActive(true);
        log.setMaxLines(1);
        log.log(hex("105BFE5916"), Direction::Sent);
        QCOMPARE(log.lineCount(), 1);
        log.log(hex("E5"), Direction::Received);
        QCOMPARE(log.lineCount(), 1);
        QVERIFY(log.line(0).contains(QStringLiteral(" <- E5")));
        // The separator of the next transmission goes at once.
        log.log(hex("107BFE7916"), Direction::Sent);
        QCOMPARE(log.lineCount(), 1);
        QVERIFY(log.line(0).contains(QStringLiteral(" -> 10 7B")));
        // A two-line telegram leaves its second line.
        log.log(QByteArray(17, char(0x11)), Direction::Sent);
        QCOMPARE(log.lineCount(), 1);
        QCOMPARE(log.line(0), QString(log.line(0).size() - 66, QLatin1Char(' ')) + body("11"));
    }

    void maxLinesBelowOneIsOne_data() {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << qint64(0) << 1;
        QTest::newRow("-5") << qint64(-5) << 1;
        QTest::newRow("500") << qint64(500) << 500;
        QTest::newRow("beyond 32 bits") << (qint64(1) << 40) << std::numeric_limits<int32_t>::max();
    }
    void maxLinesBelowOneIsOne() {
        QFETCH(qint64, value);
        QFETCH(int, expected);
        TrafficLog log;
        log.setMaxLines(value);
        QCOMPARE(log.maxLines(), expected);
    }

    void trimmingDropsTheOldestAndTellsViews() {
        TrafficLog log;
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
        log.setActive(true);
        log.setMaxLines(3);
        for (int i = 0; i < 5; ++i)
            log.note(QStringLiteral("n%1").arg(i));
        QCOMPARE(log.lineCount(), 3);
        QVERIFY(log.line(0).endsWith(QStringLiteral("n2")));
        QVERIFY(log.line(2).endsWith(QStringLiteral("n4")));
        QCOMPARE(log.data(log.index(2, 0)).toString(), log.line(2));
        QCOMPARE(removed.count(), 2);
        // Lowering the bound trims at once.
        log.setMaxLines(1);
        QCOMPARE(log.lineCount(), 1);
        QVERIFY(log.line(0).endsWith(QStringLiteral("n4")));
        log.clear();
        QCOMPARE(log.rowCount(), 0);
    }

    void manyEntriesStayBounded() {
        TrafficLog log;
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        log.setActive(true);
        log.setMaxLines(50);
        const QByteArray telegram =
            hex("68 0E 0E 68 08 01 72 78 56 34 12 24 40 01 07 00 00 00 AB 16");
        for (int i = 0; i < 400; ++i) {
            log.log(telegram, i % 2 ? Direction::Received : Direction::Sent);
            QVERIFY(log.lineCount() <= 50);
        }
        QCOMPARE(log.lineCount(), 50);
    }

    void counters() {
        TrafficLog log;
        QSignalSpy spy(&log, &TrafficLog::countersChanged);
        log.countResponse();
        log.countResponse();
        log.countFailure();
        QCOMPARE(log.responseCount(), 2);
        QCOMPARE(log.failureCount(), 1);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.last().at(0).toInt(), 2);
        QCOMPARE(spy.last().at(1).toInt(), 1);
        log.resetStats();
        QCOMPARE(log.responseCount(), 0);
        QCOMPARE(log.failureCount(), 0);
        QCOMPARE(spy.count(), 4);
    }

    void verboseFlag() {
        TrafficLog log;
        QSignalSpy spy(&log, &TrafficLog::verboseSearchLogChanged);
        QVERIFY(!log.verboseSearchLog());
        log.setVerboseSearchLog(true);
        log.setVerboseSearchLog(true);
        QVERIFY(log.verboseSearchLog());
        QCOMPARE(spy.count(), 1);
    }

    // ---- save file ------------------------------------------------------------------

    void saveBlockLayout() {
        const QStringList lines{QStringLiteral("first"), QString(), QStringLiteral("second"),
                                QString(), QStringLiteral("third")};
        const QByteArray block =
            formatSaveBlock(lines, QStringLiteral("meter 7"), QStringLiteral("12/7/26"),
                            QStringLiteral("23:15:00"));
        const QByteArray rule(75, '-');
        const QByteArray expected = "DEBUG INFO\r\n"
                                    "Saved from Zelmor Durnhal Wizard version 3.2.1      "
                                    "12/7/26 23:15:00\r\n"
                                    "Comment: meter 7\r\n" +
                                    rule +
                                    "\r\n"
                                    "000 first\r\n"
                                    "\r\n"
                                    "001 second\r\n"
                                    "\r\n"
                                    "002 third\r\n" +
                                    rule + "\r\n\r\n";
        QCOMPARE(block, expected);
    }

    void saveNumberingStartsAtZeroAndSkipsEmptyLines() {
        QStringList lines{QString()};
        for (int i = 0; i < 1001; ++i)
            lines << QStringLiteral("L%1").arg(i);
        const QList<QByteArray> out = formatSaveBlock(lines, {}, "d", "t").split('\n');
        // header (4 lines), the empty list line, then the numbered ones
        QCOMPARE(out[4], QByteArray("\r"));
        QCOMPARE(out[5], QByteArray("000 L0\r"));
        QCOMPARE(out[6], QByteArray("001 L1\r"));
        QCOMPARE(out[5 + 1000], QByteArray("1000 L1000\r"));
    }

    void saveTwiceAppendsTwoBlocks() {
        const QString path = m_dir.filePath(QStringLiteral("twice.txt"));
        const QStringList lines{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QVERIFY(appendSaveBlock(path, lines, QStringLiteral("one")).ok);
        const QByteArray once = readFile(path);
        QVERIFY(appendSaveBlock(path, lines, QStringLiteral("two")).ok);
        const QByteArray both = readFile(path);
        QVERIFY(both.startsWith(once));
        const QByteArray second = both.mid(once.size());
        QVERIFY(second.startsWith("DEBUG INFO\r\n"));
        QVERIFY(once.contains("Comment: one\r\n"));
        QVERIFY(second.contains("Comment: two\r\n"));
        QVERIFY(second.contains("000 a\r\n\r\n001 b\r\n"));
        QVERIFY(second.endsWith(QByteArray(75, '-') + "\r\n\r\n"));
        QCOMPARE(both.count("DEBUG INFO"), 2);
        // Every line ends in CR LF.
        for (qsizetype i = 0; i < both.size(); ++i) {
            if (both[i] == '\n')
                QVERIFY(i > 0 && both[i - 1] == '\r');
        }
    }

    void saveErrors_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << m_dir.filePath(QStringLiteral("no/such/folder/log.txt"));
        QTest::newRow("a folder") << m_dir.path();
    }
    void saveErrors() {
        QFETCH(QString, path);
        const SaveResult r = appendSaveBlock(path, {QStringLiteral("a")}, {});
        QVERIFY(!r.ok);
        QVERIFY(r.errorNumber != 0);
        QVERIFY(!r.description.isEmpty());
        QVERIFY(r.message().startsWith(
            QStringLiteral("The following error has occurred:\r\nErr # %1 - ").arg(r.errorNumber)));
        QVERIFY(r.message().endsWith(r.description));
    }

    // ---- poll interval --------------------------------------------------------------

    // ---- the window's view of the log ----------------------------------------------

    // The view catches up in one batch, whatever happened to the log
    // meanwhile, and then shows exactly the log's lines.
    void viewCatchesUp_data() {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<int>("shownBefore");  // lines the view showed already
        QTest::addColumn<int>("added");        // entries since
        QTest::addColumn<int>("removedLines"); // lines whose rows the update removes
        QTest::addColumn<bool>("reset");
        QTest::addColumn<int>("columns"); // the view's wrap column
        for (const int columns : {0, 30}) {
            const char* wrap = columns ? ", long lines broken" : "";
            QTest::addRow("nothing trimmed%s", wrap) << 100 << 3 << 4 << 0 << false << columns;
            QTest::addRow("some shown lines trimmed%s", wrap)
                << 5 << 5 << 3 << 3 << false << columns;
            QTest::addRow("every shown line trimmed%s", wrap)
                << 5 << 5 << 9 << 0 << true << columns;
            QTest::addRow("from empty%s", wrap) << 5 << 0 << 12 << 0 << false << columns;
            QTest::addRow("nothing new%s", wrap) << 5 << 4 << 0 << 0 << false << columns;
        }
    }

    void viewCatchesUp() {
        QFETCH(int, maxLines);
        QFETCH(int, shownBefore);
        QFETCH(int, added);
        QFETCH(int, removedLines);
        QFETCH(bool, reset);
        QFETCH(int, columns);
        // Notes of one to four rows when broken.
        const auto words = [](int i) { return QStringLiteral(" and more").repeated(i % 7); };
        TrafficLog log;
        log.setActive(true);
        log.setMaxLines(maxLines);
        for (int i = 0; i < shownBefore; ++i)
            log.note(QStringLiteral("old %1").arg(i) + words(i));
        LogViewModel view(log);
        view.setWrapColumns(columns);
        const auto rowsOf = [&](int line) { return wrapLogLine(log.line(line), columns); };
        QStringList before;
        for (int line = 0; line < log.lineCount(); ++line)
            before += rowsOf(line);
        int removedRows = 0;
        for (int line = 0; line < removedLines; ++line)
            removedRows += static_cast<int>(rowsOf(line).size());
        QAbstractItemModelTester tester(&view,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(view.rowCount(), before.size());
        QSignalSpy removed(&view, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(&view, &QAbstractItemModel::rowsInserted);
        QSignalSpy resets(&view, &QAbstractItemModel::modelReset);
        for (int i = 0; i < added; ++i)
            log.note(QStringLiteral("new %1").arg(i) + words(i));
        // Until the update the rows stay; a trimmed line shows empty.
        QCOMPARE(view.rowCount(), before.size());
        QCOMPARE(view.updatePending(), added > 0);
        view.catchUp();
        QCOMPARE(resets.count(), reset ? 1 : 0);
        QCOMPARE(removed.count(), removedRows > 0 ? 1 : 0);
        if (removedRows > 0)
            QCOMPARE(removed.first().at(2).toInt() + 1, removedRows);
        QVERIFY(inserted.count() <= 1);
        QStringList rows;
        for (int line = 0; line < log.lineCount(); ++line)
            rows += rowsOf(line);
        QCOMPARE(view.rowCount(), rows.size());
        for (int row = 0; row < rows.size(); ++row)
            QCOMPARE(view.index(row, 0).data().toString(), rows[row]);
        if (columns == 0)
            QCOMPARE(rows, log.lines());
    }

    // Long lines are broken into rows of the view's width after a blank,
    // indented under their words; rows of bytes never.
    void wrapRows_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QStringList>("rows");
        const QString indent(8, QLatin1Char(' '));
        QTest::newRow("fits") << indent + "RSP_UD" << 14 << QStringList{indent + "RSP_UD"};
        QTest::newRow("no wrap column")
            << indent + "RSP_UD from 5" << 0 << QStringList{indent + "RSP_UD from 5"};
        QTest::newRow("explanation under the bytes")
            << indent + "RSP_UD from 5, 3 records" << 20
            << QStringList{indent + "RSP_UD from", indent + "5, 3 records"};
        QTest::newRow("a word longer than the row")
            << indent + "0123456789ABCDEFGHIJ" << 20
            << QStringList{indent + "0123456789AB", indent + "CDEFGHIJ"};
        const QString under(24, QLatin1Char(' '));
        QTest::newRow("note: under the words after the arrow")
            << "12:00:00 0:00:01.000    link closed by the peer" << 34
            << QStringList{"12:00:00 0:00:01.000    link", under + "closed by", under + "the peer"};
        const QString bytes = hexBodyLine(QByteArray(16, '\x68'));
        QTest::newRow("bytes stay in one row")
            << indent + bytes << 30 << QStringList{indent + bytes};
    }
    void wrapRows() {
        QFETCH(QString, line);
        QFETCH(int, columns);
        QFETCH(QStringList, rows);
        QCOMPARE(wrapLogLine(line, columns), rows);
    }

    // However many entries come, the view changes at most once per frame,
    // and the newest one is shown within a frame.
    void viewUpdatesOncePerFrame() {
        TrafficLog log;
        log.setActive(true);
        log.setMaxLines(500);
        LogViewModel view(log);
        QSignalSpy updates(&view, &LogViewModel::caughtUp);
        QElapsedTimer clock;
        clock.start();
        int entries = 0;
        while (clock.elapsed() < 100) {
            log.log(hex("105BFE5916"), Direction::Sent);
            ++entries;
            QCoreApplication::processEvents();
        }
        const qint64 ran = clock.elapsed();
        QVERIFY2(entries > 200, qPrintable(QString::number(entries)));
        QVERIFY2(updates.count() <= ran / LogViewModel::FrameMs + 2,
                 qPrintable(QStringLiteral("%1 updates in %2 ms").arg(updates.count()).arg(ran)));
        QVERIFY(updates.count() >= 2);
        // The last entry is on view within a frame of being logged.
        clock.restart();
        while (view.index(view.rowCount() - 1, 0).data() != log.line(log.lineCount() - 1) &&
               clock.elapsed() < 500)
            QTest::qWait(1);
        // (A busy machine may delay the event loop; a frame and a bit is the bound.)
        QVERIFY2(clock.elapsed() <= 3 * LogViewModel::FrameMs,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(view.index(view.rowCount() - 1, 0).data().toString(),
                 log.line(log.lineCount() - 1));
    }

    void pollInterval_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fixedText");
        QTest::addColumn<int>("interval");
        QTest::newRow("not a number") << "abc"
                                      << "0" << 0;
        QTest::newRow("above 65535") << "70000"
                                     << "65535" << 65535;
        QTest::newRow("65536") << "65536"
                               << "65535" << 65535;
        QTest::newRow("65535 stays") << "65535"
                                     << "65535" << 65535;
        QTest::newRow("empty stays empty, timer stops") << ""
                                                        << "" << 0;
        QTest::newRow("default") << "10000"
                                 << "10000" << 10000;
        QTest::newRow("zero") << "0"
                              << "0" << 0;
        QTest::newRow("negative") << "-5"
                                  << "0" << 0;
        QTest::newRow("digits then letters") << "12a"
                                             << "0" << 0;
        QTest::newRow("blank") << " "
                               << "0" << 0;
        QTest::newRow("huge") << "99999999999999999999999"
                              << "65535" << 65535;
    }
    void pollInterval() {
        QFETCH(QString, text);
        QFETCH(QString, fixedText);
        QFETCH(int, interval);
        const PollInterval p = correctPollInterval(text);
        QCOMPARE(p.text, fixedText);
        QCOMPARE(p.interval, interval);
    }
};

QTEST_GUILESS_MAIN(TestTrafficLog)
#include "tst_trafficlog.moc"
