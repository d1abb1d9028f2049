// The search list's files (CSV and appended report) compared byte for byte
// with expected files, a refused write, and the code in a list cell.
#include "search/SearchExport.h"
#include "tests/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrune;

namespace {

ProbeResult row(int icon, const QStringList& columns) {
    ProbeResult r;
    r.icon = icon;
    for (int i = 0; i < columns.size(); ++i)
        r.cells[i + 1] = columns[i];
    return r;
}

// A primary scan: found meters, a collision, a silent address.
QVector<ProbeResult> primaryRows() {
    return {
        row(2, {"5", "5", "Ok", "Ok", "12345678", "ABB (0442h)", "1 (01h)", "Heat (04h)", "N/A"}),
        row(3, {"7", "", "Collision"}),
        row(2, {"9", "9", "Ok", "Ok", "87654321", "ZXQ (6B11h)", "2 (02h)",
                "Bus / System component (0Eh)", "K2 V2"}),
        row(2, {"11", "11", "Ok", "Ok", "00000017", "ABB (0442h)", "3 (03h)",
                "Cooling (outlet) (0Ah)", "N/A"}),
        row(1, {"12", "", "--"}),
    };
}

// A secondary search without REQ_UD2: masks only.
QVector<ProbeResult> secondaryRows() {
    return {row(1, {"12345670", "", "--"}), row(2, {"12345673", "", "Ok"})};
}

QStringList headers() {
    return {"Address/Mask", "Address", "SND_NKE", "REQ_UD2",    "Identification",
            "Manufacturer", "Version", "Medium",  "Device type"};
}

SearchExport exportOf(const QVector<ProbeResult>& rows) {
    SearchExport e;
    e.rows = rows;
    e.portsettings = QStringLiteral("UDP: 127.0.0.171:10001");
    e.headers = headers();
    e.dateText = QStringLiteral("08.12.2026");
    e.timeText = QStringLiteral("14:05:09");
    return e;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

enum class Kind { Csv, Report };

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestSearchExport : public QObject {
    Q_OBJECT

private slots:
    void files_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("rowSet"); // 0 none, 1 primary, 2 secondary
        QTest::addColumn<QString>("exclude");
        QTest::addColumn<bool>("fromData");
        QTest::addColumn<bool>("longHeader");
        // Writes in turn; the last one is refused when refuseLast is set.
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("refuseLast");
        QTest::addColumn<QString>("expected");

        const QString ffff = QStringLiteral("FFFF");
        QTest::newRow("csv, empty list")
            << Kind::Csv << 0 << ffff << true << false << 1 << false << "empty.csv";
        QTest::newRow("csv, FFFF leaves nothing out")
            << Kind::Csv << 1 << ffff << true << false << 1 << false << "primary.csv";
        QTest::newRow("csv, 0442 left out")
            << Kind::Csv << 1 << "0442" << true << false << 1 << false << "exclude0442.csv";
        QTest::newRow("csv, secondary without REQ_UD2: the masks")
            << Kind::Csv << 2 << ffff << false << false << 1 << false << "secondary-no-data.csv";
        QTest::newRow("csv, replaced by the next save")
            << Kind::Csv << 1 << ffff << true << false << 2 << false << "primary.csv";
        QTest::newRow("csv, refused write keeps the old file")
            << Kind::Csv << 1 << ffff << true << false << 2 << true << "primary.csv";
        QTest::newRow("report, empty list")
            << Kind::Report << 0 << ffff << true << false << 1 << false << "empty.txt";
        QTest::newRow("report") << Kind::Report << 1 << ffff << true << false << 1 << false
                                << "primary.txt";
        QTest::newRow("report, header longer than 14")
            << Kind::Report << 1 << ffff << true << true << 1 << false << "long-header.txt";
        QTest::newRow("report twice to one file")
            << Kind::Report << 1 << ffff << true << false << 2 << false << "twice.txt";
        QTest::newRow("report, refused append keeps the earlier one")
            << Kind::Report << 1 << ffff << true << false << 2 << true << "primary.txt";
        QTest::newRow("report, refused first write leaves no file")
            << Kind::Report << 1 << ffff << true << false << 1 << true << "";
    }

    void files() {
        QFETCH(Kind, kind);
        QFETCH(int, rowSet);
        QFETCH(QString, exclude);
        QFETCH(bool, fromData);
        QFETCH(bool, longHeader);
        QFETCH(int, writes);
        QFETCH(bool, refuseLast);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString path =
            dir.filePath(kind == Kind::Csv ? QStringLiteral("list.csv") : QStringLiteral("r.txt"));
        for (int i = 0; i < writes; ++i) {
            // The second report is the secondary list, so the two blocks differ.
            const int set = kind == Kind::Report && i == 1 ? 2 : rowSet;
            SearchExport e = exportOf(set == 1   ? primaryRows()
                                      : set == 2 ? secondaryRows()
                                                 : QVector<ProbeResult>{});
            e.excludeManufacturer = exclude;
            e.identificationFromData = fromData;
            if (longHeader)
                e.headers[4] = QStringLiteral("Identification number");
            const bool refuse = refuseLast && i == writes - 1;
            SaveResult result;
            if (refuse) {
                // Room for a few bytes more than the file holds: the write
                // starts and is cut off.
                const rlim_t room =
                    (kind == Kind::Report ? static_cast<rlim_t>(QFileInfo(path).size()) : 0) + 40;
                const testfiles::FileSizeLimit limit(room);
                result = kind == Kind::Csv ? writeSearchCsv(path, e) : appendSearchReport(path, e);
            } else {
                result = kind == Kind::Csv ? writeSearchCsv(path, e) : appendSearchReport(path, e);
            }
            QCOMPARE(result.ok, !refuse);
            if (refuse)
                QVERIFY2(result.message().startsWith(
                             QStringLiteral("The following error has occurred:\r\nErr # ")),
                         qPrintable(result.message()));
        }
        // Nothing else in the folder: no temporary file left behind.
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        if (expected.isEmpty()) {
            QCOMPARE(left, QStringList());
            return;
        }
        QCOMPARE(left, QStringList{QFileInfo(path).fileName()});
        const QList<QByteArray> got = fileBytes(path).split('\n');
        const QList<QByteArray> want =
            fileBytes(QStringLiteral(KESTRUNE_SOURCE_DIR "/tests/searchexport/expected/") +
                      expected)
                .split('\n');
        for (int i = 0; i < std::min(got.size(), want.size()); ++i)
            QCOMPARE(got[i], want[i]);
        QCOMPARE(got.size(), want.size());
    }

    void parseListX_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("code");
        QTest::newRow("manufacturer") << "ABB (0442h)" << 6 << "0442";
        QTest::newRow("version") << "1 (01h)" << 7 << "01";
        QTest::newRow("medium with parentheses")
            << "Radio converter(meter side) (37h)" << 8 << "37";
        QTest::newRow("medium Cooling (outlet)") << "Cooling (outlet) (0Ah)" << 8 << "0A";
        QTest::newRow("N/A") << "N/A" << 6 << "";
        QTest::newRow("reserved medium, decimal") << "Reserved (128)" << 8 << "";
        QTest::newRow("empty") << "" << 7 << "";
        QTest::newRow("one digit") << "X (5h)" << 7 << "";
        QTest::newRow("no parenthesis") << "0442h)" << 6 << "0442";
        QTest::newRow("h) before the last (") << "A (12h) (" << 6 << "";
        QTest::newRow("column 5 unchanged") << "ABB (0442h)" << 5 << "ABB (0442h)";
    }

    void parseListX() {
        QFETCH(QString, cell);
        QFETCH(int, column);
        QFETCH(QString, code);
        QCOMPARE(kestrune::parseListX(cell, column), code);
    }
};

QTEST_GUILESS_MAIN(TestSearchExport)
#include "tst_searchexport.moc"
