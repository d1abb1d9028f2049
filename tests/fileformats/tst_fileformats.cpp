// The files the program writes (register sheet, tag list, traffic log, search
// CSV and report) keep their format whatever the language of
// the texts and the user's locale: each file is written once with English
// texts in the C locale (the reference) and again with every shipped
// language under a decimal-comma locale (German: Qt's default locale and,
// when installed, the C library's). The bytes must not change, apart from
// what is the user's own by design (the date and time of a save stamp, the
// explained words of a telegram); points stay points and every line ends in
// CR LF.

#include "ascii/TagFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Explain.h"
#include "channel/TrafficLog.h"
#include "modbus/RegisterSheet.h"
#include "modbus/SheetFile.h"
#include "search/SearchExport.h"
#include "tests/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <functional>

using namespace kestrune;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A register sheet with a float, a double and a 32-bit integer read from a
// reply, and descriptions a user typed.
modbus::RegisterSheet sampleSheet() {
    modbus::RegisterSheet sheet;
    sheet.setAutoRegister(true);
    sheet.setSlaveText(QStringLiteral("1"));
    sheet.setFirstText(QStringLiteral("100"));
    sheet.setCountText(QStringLiteral("8"));
    sheet.chooseType(0, modbus::dataTypeByName(u"FLOAT"));
    sheet.chooseType(1, modbus::dataTypeByName(u"DFLOAT"));
    sheet.chooseType(2, modbus::dataTypeByName(u"INT32"));
    sheet.setDescription(0, QStringLiteral("Flow temperature"));
    sheet.setDescription(1, QStringLiteral("Energy"));
    // 21.5 as FLOAT, 1234.25 as DFLOAT, -2 as INT32 (all big-endian).
    sheet.setRegisterData(QByteArray::fromHex("41AC0000"
                                              "4093490000000000"
                                              "FFFFFFFE"),
                          100);
    sheet.refresh();
    return sheet;
}

// Whether every line of a file ends in CR LF (and no CR stands alone).
bool crlfOnly(const QByteArray& bytes) {
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            return false;
    }
    return true;
}

// Drops the save stamp line ("Saved from ... <date> <time>") of a traffic-log
// block: its date and time follow the user's system by design.
QByteArray withoutStamp(QByteArray bytes) {
    const qsizetype at = bytes.indexOf("Saved from");
    if (at >= 0)
        bytes.remove(at, bytes.indexOf("\r\n", at) - at);
    return bytes;
}

// A search list of two meters and a collision, with the list headers of the
// loaded language, stamped with a fixed date and time.
SearchExport sampleSearch() {
    SearchExport data;
    const auto row = [](int icon, const QStringList& columns) {
        ProbeResult r;
        r.icon = icon;
        for (int i = 0; i < columns.size(); ++i)
            r.cells[i + 1] = columns[i];
        return r;
    };
    data.rows = {
        row(ProbeResult::Correct,
            {"5", "5", "Ok", "Ok", "12345678", "ABB (0442h)", "1 (01h)", "Heat (04h)", "N/A"}),
        row(ProbeResult::BadOrColliding, {"7", "", getText(825)}),
        row(ProbeResult::Correct,
            {"9", "9", "Ok", "Ok", "87654321", "ZXQ (6B11h)", "2 (02h)", "Water (07h)", "N/A"}),
    };
    data.portsettings = QStringLiteral("UDP: 127.0.0.1:10001");
    data.headers = searchColumnHeaders(false);
    data.dateText = QStringLiteral("12/8/26");
    data.timeText = QStringLiteral("3:04:05 PM");
    return data;
}

// The lines of a file without its header line (the list headers are the
// language's words), where one follows the rule of hyphens.
QList<QByteArray> withoutHeaderLine(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i - 1].startsWith("-----")) {
            lines.removeAt(i);
            break;
        }
    }
    return lines;
}

using Writer = std::function<QByteArray(const QString& folder)>;

} // namespace

class TestFileFormats : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR)); // the support library
        m_cLocale = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
            if (std::setlocale(LC_ALL, name)) {
                m_commaLocale = name;
                break;
            }
        }
        std::setlocale(LC_ALL, m_cLocale.constData());
    }

    void cleanup() {
        std::setlocale(LC_ALL, m_cLocale.constData());
        QLocale::setDefault(QLocale::c());
    }

    void filesKeepTheirFormat_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QByteArray>("mustHold"); // bytes the file must hold in any language

        const QDir built(QStringLiteral(KESTRUNE_BINARY_DIR));
        const QStringList languages = built.entryList({QStringLiteral("Kestrune_Language.???")});
        QVERIFY(languages.size() >= 2);
        const struct {
            const char* kind;
            QByteArray mustHold;
        } kinds[] = {
            {"register sheet", "21.500000,"},
            {"register sheet double", "1234.250000,"},
            {"tag list", "Meter1.Heat_Energy.Value\r\n"},
            {"traffic log", " 0:00:01.234 -> "},
            {"search CSV", "#IdNumber,Manufacturer,Version,Medium\r\n12345678,0442,01,04\r\n"},
            {"search report", "ADDRESS INFO\r\n"},
        };
        for (const auto& k : kinds) {
            for (const QString& file : languages)
                QTest::addRow("%s, %s", k.kind, qPrintable(file.right(3)))
                    << QString::fromLatin1(k.kind) << file.right(3) << k.mustHold;
        }
    }

    void filesKeepTheirFormat() {
        QFETCH(QString, kind);
        QFETCH(QString, language);
        QFETCH(QByteArray, mustHold);

        const Writer write = writer(kind);
        QVERIFY(write);
        // The reference: English texts, the C locale.
        QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_BINARY_DIR "/") +
                                         languageFileName(1)));
        const QByteArray reference = write(m_dir.filePath(QStringLiteral("c-") + kind));
        QVERIFY2(reference.contains(mustHold), reference.constData());
        QVERIFY(crlfOnly(reference));

        // The language under test, with a user who writes decimal commas.
        QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_BINARY_DIR "/") +
                                         languageFileName(language.toInt())));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        if (!m_commaLocale.isEmpty())
            QVERIFY(std::setlocale(LC_ALL, m_commaLocale.constData()));
        const QByteArray local = write(m_dir.filePath(language + QLatin1Char('-') + kind));
        QVERIFY(crlfOnly(local));
        QVERIFY2(local.contains(mustHold), local.constData());
        if (kind == QLatin1String("traffic log")) {
            // The explained words are the language's; everything else is not.
            QCOMPARE(withoutStamp(local).count("\r\n"), withoutStamp(reference).count("\r\n"));
            QVERIFY(local.contains(
                explainTelegram(sampleTelegram(), Direction::Sent, TelegramProtocol::MBus)
                    .toUtf8()));
            return;
        }
        if (kind == QLatin1String("search report")) {
            // The list headers and a collision cell are the language's
            // words; the columns stay where they are, everything else is
            // the same bytes.
            const QList<QByteArray> l = withoutHeaderLine(local);
            const QList<QByteArray> r = withoutHeaderLine(reference);
            QCOMPARE(l.size(), r.size());
            QCOMPARE(local.split('\n').size(), reference.split('\n').size());
            for (qsizetype i = 0; i < l.size(); ++i) {
                QCOMPARE(l[i].size(), r[i].size());
                if (!l[i].contains(getText(825).toLatin1()))
                    QCOMPARE(l[i], r[i]);
            }
            return;
        }
        QCOMPARE(local, reference);
    }

    // A disk that takes only the first bytes of a file written whole
    // leaves the file as it was, and no temporary file beside it.
    void cutShortWriteKeepsTheOldFile_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"register sheet", "tag list", "search CSV"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void cutShortWriteKeepsTheOldFile() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        const Writer write = writer(kind);
        const QByteArray before = write(path);
        QVERIFY(before.size() > 40);
        QByteArray cut;
        {
            const testfiles::FileSizeLimit limit(40);
            cut = write(path);
        }
        QCOMPARE(cut, QByteArray()); // reported as failed
        QCOMPARE(readAll(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("file")});
    }

private:
    static QByteArray sampleTelegram() { return QByteArray::fromHex("105BFE5916"); }

    Writer writer(const QString& kind) const {
        if (kind.startsWith(QLatin1String("register sheet"))) {
            return [](const QString& path) {
                const modbus::FileReport report = modbus::saveSheetFile(path, sampleSheet());
                return report.ok ? readAll(path) : QByteArray();
            };
        }
        if (kind == QLatin1String("tag list")) {
            return [](const QString& path) {
                const QStringList tags = {QStringLiteral("Meter1.Heat_Energy.Value"),
                                          QStringLiteral("Meter1.Flow_Temperature.Value")};
                return ascii::saveTagList(path, tags, QString()).ok ? readAll(path) : QByteArray();
            };
        }
        if (kind == QLatin1String("search CSV")) {
            return [](const QString& path) {
                return writeSearchCsv(path, sampleSearch()).ok ? readAll(path) : QByteArray();
            };
        }
        if (kind == QLatin1String("search report")) {
            return [](const QString& path) {
                QFile::remove(path);
                return appendSearchReport(path, sampleSearch()).ok ? readAll(path) : QByteArray();
            };
        }
        if (kind == QLatin1String("traffic log")) {
            return [](const QString& path) {
                QFile::remove(path);
                QStringList lines =
                    formatEntry(sampleTelegram(), Direction::Sent, 1234, currentTimeOfDay(), false);
                lines << explainTelegram(sampleTelegram(), Direction::Sent, TelegramProtocol::MBus);
                lines << formatEntry(QByteArray(1, '\xE5'), Direction::Received, 1300,
                                     currentTimeOfDay(), true);
                return appendSaveBlock(path, lines, QStringLiteral("Z\u00e4hler 7")).ok
                           ? readAll(path)
                           : QByteArray();
            };
        }
        return {};
    }

    QTemporaryDir m_dir;
    QByteArray m_cLocale;
    QByteArray m_commaLocale;
};

QTEST_GUILESS_MAIN(TestFileFormats)
#include "tst_fileformats.moc"
