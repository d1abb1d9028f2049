// Language texts: the parser of language files, the list of languages, the
// loading of the chosen language, and the shipped files themselves.
//
// Text coverage. The shipped files must hold every text the program asks
// for. The test finds those numbers in the source tree (every *.cpp and *.h
// under base/, wizard/, app/, channel/, mbus/, search/, modbus/, ascii/,
// netsetup/, sim/ and cli/):
//   - every integer literal that is the first argument of getText(...), as in
//     getText(158) or getText(610 + feature) (which yields 610);
//   - every named constant that is the first argument of getText(...), as in
//     getText(TextCaption), when the scanned sources define it as a constant
//     ("constexpr int TextCaption = 10;", "const int ... = 10;" or an enum
//     line "TextCaption = 10,"); the defining file is searched first;
//   - every marker comment of the form "// texts: 700-709, 720-729, 740" for
//     numbers the code asks for indirectly: in a loop, as an offset from a
//     base, or through a named constant. Put the marker on the line of the
//     loop or of the constants; ranges include both ends.
// Besides, the table kRequiredTexts below lists the texts the windows and
// messages require whether or not their code exists yet.

#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "tests/simprogram/ProgramFixture.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

using namespace kestrune;

namespace {

// Texts the windows and messages require: captions of every window, page
// headers and info texts, buttons, labels, list headers, tool tips and
// messages. Pairs are inclusive ranges.
constexpr std::pair<int, int> kRequiredTexts[] = {
    {0, 0},       // the language's own name
    {10, 10},     // wizard window
    {20, 20},     // traffic log window
    {30, 30},     // language window
    {40, 40},     // time-out window
    {50, 50},     // search window
    {60, 60},     // search time-out window
    {70, 70},     // properties window
    {100, 106},   // start page, task page heading, language button and window
    {110, 118},   // task options
    {130, 132},   // traffic log: file menu
    {135, 139},   // traffic log: tools menu
    {150, 150},   // discovery: device answered
    {152, 154},   // setup socket error, console wait, send error
    {158, 158},   // link cannot be opened
    {171, 181},   // meter operations: progress and results
    {186, 186},   // discovery: device reachable
    {208, 209},   // network IP setup page
    {222, 225},   // serial IP setup page, adapter messages
    {230, 234},   // buttons
    {238, 239},   // OK, factory defaults
    {264, 264},   // discovery: unknown family
    {300, 302},   // serial console page of the settings task
    {350, 351},   // ping page
    {360, 361},   // connection page of the settings task
    {364, 364},   // ready
    {370, 370},   // write settings button
    {610, 615},   // meter feature headings, SND_NKE first
    {620, 625},   // meter feature headings
    {630, 635},   // meter feature info texts
    {640, 656},   // meter feature labels, report words, options
    {660, 665},   // meter feature labels and check boxes
    {669, 672},   // reset subcode and secondary address labels
    {684, 684},   // fabrication number box
    {690, 696},   // rarely supported speeds, Apply captions
    {700, 709},   // time-out rows
    {720, 729},   // time-out tool tips
    {740, 740},   // unit
    {750, 756},   // traffic log buttons and labels
    {760, 776},   // application reset subcodes
    {780, 780},   // application reset in progress
    {800, 827},   // search window captions, list headers, status texts
    {829, 845},   // bus speed questions, frames, save buttons
    {901, 902},   // no web browser
    {1020, 1021}, // register sheet file loaded / rejected
    {1100, 1122}, // ASCII protocol page and tag files
    {1200, 1203}, // search time-out window
};

// Where a number is asked for, for the failure message.
struct TextUse {
    int number;
    QString where;
};

const QStringList kSourceFolders = {
    QStringLiteral("base"),    QStringLiteral("wizard"), QStringLiteral("app"),
    QStringLiteral("channel"), QStringLiteral("mbus"),   QStringLiteral("search"),
    QStringLiteral("modbus"),  QStringLiteral("ascii"),  QStringLiteral("netsetup"),
    QStringLiteral("sim"),     QStringLiteral("cli"),
};

// Numbers of a marker list such as "700-709, 720-729, 740". Returns false on
// anything that is not such a list, so a typo in a marker is caught too.
bool parseMarkerList(const QString& list, QVector<int>& out) {
    const QStringList items = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (items.isEmpty())
        return false;
    static const QRegularExpression item(
        QStringLiteral("^\\s*(\\d+)\\s*(?:[-\u2013]\\s*(\\d+))?\\s*$"));
    for (const QString& text : items) {
        const QRegularExpressionMatch m = item.match(text);
        if (!m.hasMatch())
            return false;
        const int from = m.captured(1).toInt();
        const int to = m.captured(2).isEmpty() ? from : m.captured(2).toInt();
        if (to < from || to - from > 1000)
            return false;
        for (int n = from; n <= to; ++n)
            out.append(n);
    }
    return true;
}

// The value of a named constant defined in source text, or -1.
int constantValue(const QString& source, const QString& name) {
    const QString id = QRegularExpression::escape(name);
    const QRegularExpression definitions[] = {
        // constexpr int TextCaption = 10;  const int32_t TextCaption{10};
        QRegularExpression(
            QStringLiteral(
                "\\bconst(?:expr)?\\b[^;=(){}]*\\b%1\\s*(?:=\\s*(\\d+)|\\{\\s*(\\d+)\\s*\\})")
                .arg(id)),
        // an enumerator on a line of its own: "    TextCaption = 10, // note"
        QRegularExpression(QStringLiteral("^\\s*%1\\s*=\\s*(\\d+)\\s*,?\\s*(?://.*)?$").arg(id),
                           QRegularExpression::MultilineOption),
    };
    for (const QRegularExpression& definition : definitions) {
        const QRegularExpressionMatch m = definition.match(source);
        if (m.hasMatch())
            return (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).toInt();
    }
    return -1;
}

// Every text number the program's source asks for; malformed markers are
// reported in errors.
QVector<TextUse> textsUsedBySource(const QString& sourceDir, QStringList& errors) {
    static const QRegularExpression call(
        QStringLiteral("\\bgetText\\s*\\(\\s*(?:(\\d+)|(?:\\w+::)*([A-Za-z_]\\w*))"));
    static const QRegularExpression marker(QStringLiteral("//\\s*texts:(.*)$"));

    // All sources first, so a constant can be found in another file.
    struct Source {
        QString relative;
        QString text;
    };
    QVector<Source> sources;
    for (const QString& folder : kSourceFolders) {
        const QString root = QDir(sourceDir).filePath(folder);
        QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                errors << QStringLiteral("cannot read %1").arg(path);
                continue;
            }
            sources.append(
                {QDir(sourceDir).relativeFilePath(path), QString::fromUtf8(file.readAll())});
        }
    }

    QVector<TextUse> uses;
    for (const Source& source : sources) {
        const QStringList lines = source.text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            const QString where = source.relative + QLatin1Char(':') + QString::number(i + 1);
            auto calls = call.globalMatch(lines[i]);
            while (calls.hasNext()) {
                const QRegularExpressionMatch m = calls.next();
                if (!m.captured(1).isEmpty()) {
                    uses.append({m.captured(1).toInt(), where});
                    continue;
                }
                // A named constant; a variable is left to a marker comment.
                int value = constantValue(source.text, m.captured(2));
                for (qsizetype k = 0; value < 0 && k < sources.size(); ++k)
                    value = constantValue(sources[k].text, m.captured(2));
                if (value >= 0)
                    uses.append(
                        {value, where + QStringLiteral(" (") + m.captured(2) + QLatin1Char(')')});
            }
            const QRegularExpressionMatch found = marker.match(lines[i]);
            if (found.hasMatch()) {
                QVector<int> numbers;
                if (!parseMarkerList(found.captured(1), numbers))
                    errors << QStringLiteral("%1: malformed marker \"%2\"")
                                  .arg(where, found.captured(0).trimmed());
                for (int n : numbers)
                    uses.append({n, where});
            }
        }
    }
    return uses;
}

QString sourceDir() {
    return QStringLiteral(KESTRUNE_SOURCE_DIR);
}

// The language files kept in the source tree ("Kestrune_Language.nnn").
QStringList shippedLanguageFiles() {
    QStringList result;
    const QDir dir(sourceDir() + QStringLiteral("/lang"));
    static const QRegularExpression name(QStringLiteral("^Kestrune_Language\\.\\d{3}$"));
    for (const QString& file :
         dir.entryList({QStringLiteral("Kestrune_Language.*")}, QDir::Files)) {
        if (name.match(file).hasMatch())
            result << dir.filePath(file);
    }
    return result;
}

// Number -> text of every entry line of a file, checked strictly: the
// shipped files must not rely on the lenient parts of the format (a number
// that is not a number, a second "=", a duplicate), since those silently lose
// a text. Each problem is added to problems with its line number.
QMap<int, QString> strictEntries(const QByteArray& contents, QStringList& problems) {
    QMap<int, QString> entries;
    const QList<QByteArray> lines = contents.split('\n');
    int previous = -1;
    static const QRegularExpression number(QStringLiteral("^\\d+$"));
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const QString where = QStringLiteral("line %1").arg(i + 1);
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) {
            if (!line.isEmpty() && line[0] >= '0' && line[0] <= '9')
                problems << where + QStringLiteral(": starts with a digit but has no \"=\"");
            continue;
        }
        const QString numberText = QString::fromLatin1(line.left(eq));
        const QString text = QString::fromLatin1(line.mid(eq + 1));
        if (!number.match(numberText).hasMatch()) {
            problems << where + QStringLiteral(": \"%1\" is not a text number").arg(numberText);
            continue;
        }
        const int n = numberText.toInt();
        if (text.contains(QLatin1Char('=')))
            problems << where + QStringLiteral(": text %1 holds a second \"=\"").arg(n);
        if (text.trimmed().isEmpty())
            problems << where + QStringLiteral(": text %1 is empty").arg(n);
        else if (text != text.trimmed())
            problems << where + QStringLiteral(": text %1 has blanks at its ends").arg(n);
        if (entries.contains(n))
            problems << where + QStringLiteral(": text %1 appears twice").arg(n);
        else if (n < previous)
            problems << where +
                            QStringLiteral(": text %1 out of order after %2").arg(n).arg(previous);
        entries.insert(n, text);
        previous = std::max(previous, n);
    }
    return entries;
}

// Prints every problem (a failure message alone would be cut short) and
// returns the summary for the failure.
QString listed(const QStringList& problems) {
    for (const QString& problem : problems)
        qWarning().noquote() << problem;
    return QStringLiteral("%1 problem(s), listed above").arg(problems.size());
}

using fixture::userSettings;

bool writeFile(const QString& path, const QByteArray& contents) {
    return fixture::writeFile(path, contents).isEmpty();
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString programFolder() const { return m_dir.filePath(QStringLiteral("program")); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        QVERIFY(QDir().mkpath(programFolder()));
        setProgramDir(programFolder());
    }

    void init() {
        userSettings().remove(QStringLiteral("Wizard/Language"));
        languageTable().clear();
        QDir folder(programFolder());
        for (const QString& file : folder.entryList(QDir::Files))
            QVERIFY(folder.remove(file));
    }

    // --- parsing ---------------------------------------------------------

    void parse_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain") << QByteArray("10=Main window\n") << 10 << "Main window";
        QTest::newRow("backslash is a line break")
            << QByteArray("5=first\\second\n") << 5 << "first\r\nsecond";
        QTest::newRow("two backslashes") << QByteArray("5=a\\\\b") << 5 << "a\r\n\r\nb";
        QTest::newRow("second = drops the rest")
            << QByteArray("6=kept=dropped=too\n") << 6 << "kept";
        QTest::newRow("non-numeric number is entry 0") << QByteArray("abc=stray\n") << 0 << "stray";
        QTest::newRow("real entry 0 first still wins")
            << QByteArray("0=English\nabc=stray\n") << 0 << "English";
        QTest::newRow("number with trailing letters is entry 0")
            << QByteArray("12abc=stray\n12=real\n") << 12 << "real";
        QTest::newRow("number with trailing letters is not its number")
            << QByteArray("12abc=stray\n") << 0 << "stray";
        QTest::newRow("empty number part is entry 0")
            << QByteArray("=nameless\n") << 0 << "nameless";
        QTest::newRow("blanks around the number") << QByteArray(" 14 =spaced\n") << 14 << "spaced";
        QTest::newRow("number beyond 32 bits is entry 0")
            << QByteArray("99999999999=huge\n") << 0 << "huge";
        QTest::newRow("first duplicate wins") << QByteArray("7=first\n7=second\n") << 7 << "first";
        QTest::newRow("line without = ignored")
            << QByteArray("7 comment\n7=after comment\n") << 7 << "after comment";
        QTest::newRow("CRLF lines") << QByteArray("9=nine\r\n10=ten\r\n") << 9 << "nine";
        QTest::newRow("CRLF last line") << QByteArray("9=nine\r\n10=ten\r\n") << 10 << "ten";
        QTest::newRow("no newline at end") << QByteArray("1=a\n2=b") << 2 << "b";
        QTest::newRow("Latin-1 byte")
            << QByteArray("11=Z\xe4hler\n") << 11 << QString::fromUtf8("Z\xc3\xa4hler");
        QTest::newRow("high Latin-1 byte")
            << QByteArray("12=\xff\xb5s\n") << 12 << QString::fromUtf8("\xc3\xbf\xc2\xb5s");
        QTest::newRow("empty text") << QByteArray("13=\n") << 13 << "";
        QTest::newRow("negative number") << QByteArray("-1=minus\n") << -1 << "minus";
        QTest::newRow("missing number") << QByteArray("1=one\n") << 99 << "Invalid Text (99)";
        QTest::newRow("empty file") << QByteArray() << 0 << "Invalid Text (0)";
        QTest::newRow("missing negative") << QByteArray("1=one\n") << -5 << "Invalid Text (-5)";
    }

    void parse() {
        QFETCH(QByteArray, contents);
        QFETCH(int, number);
        QFETCH(QString, expected);
        LanguageTable table;
        table.parse(contents);
        QCOMPARE(table.text(number), expected);
        QCOMPARE(table.contains(number), !expected.startsWith(QLatin1String("Invalid Text (")));
    }

    void parseCountsEntryLinesOnly() {
        LanguageTable table;
        table.parse("header line\n\n0=English\nno equals here\r\n1=a\n1=b\nx=c\n");
        QCOMPARE(table.count(), 4);
        table.parse("0=Deutsch\n");
        QCOMPARE(table.count(), 1); // a new parse starts afresh
        QCOMPARE(table.text(0), QStringLiteral("Deutsch"));
    }

    void loadFileMissing() {
        LanguageTable table;
        table.parse("1=x\n");
        QVERIFY(!table.loadFile(programFolder() + QStringLiteral("/absent")));
        QCOMPARE(table.count(), 0);
    }

    void languageFileName() {
        QCOMPARE(kestrune::languageFileName(1), QStringLiteral("Kestrune_Language.001"));
        QCOMPARE(kestrune::languageFileName(42), QStringLiteral("Kestrune_Language.042"));
    }

    // --- the language list ----------------------------------------------

    void listLanguages_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("number"); // -1: not listed
        QTest::addColumn<QString>("name");

        QTest::newRow("listed") << "Kestrune_Language.001" << QByteArray("0=English\n") << 1
                                << "English";
        QTest::newRow("name after comments")
            << "Kestrune_Language.049" << QByteArray("comment\n10=x\n0=Deutsch\r\n") << 49
            << "Deutsch";
        QTest::newRow("first 0= line wins")
            << "Kestrune_Language.002" << QByteArray("0=One\n0=Two\n") << 2 << "One";
        QTest::newRow("empty name skipped, later name used")
            << "Kestrune_Language.003" << QByteArray("0=\n0=Later\n") << 3 << "Later";
        QTest::newRow("second = cut from the name")
            << "Kestrune_Language.004" << QByteArray("0=Name=rest\n") << 4 << "Name";
        QTest::newRow("Latin-1 name") << "Kestrune_Language.005"
                                      << QByteArray("0=Fran\xe7"
                                                    "ais\n")
                                      << 5
                                      << QString::fromUtf8("Fran\xc3\xa7"
                                                           "ais");
        QTest::newRow("non-numeric extension")
            << "Kestrune_Language.ENG" << QByteArray("0=English\n") << -1 << "";
        QTest::newRow("mixed extension")
            << "Kestrune_Language.0A1" << QByteArray("0=English\n") << -1 << "";
        QTest::newRow("extension longer than 3")
            << "Kestrune_Language.0001" << QByteArray("0=English\n") << -1 << "";
        QTest::newRow("extension shorter than 3")
            << "Kestrune_Language.1" << QByteArray("0=English\n") << -1 << "";
        QTest::newRow("no name entry")
            << "Kestrune_Language.006" << QByteArray("10=Main\n00=Zero\n") << -1 << "";
        QTest::newRow("only an empty name")
            << "Kestrune_Language.007" << QByteArray("0=\n") << -1 << "";
        QTest::newRow("other file name")
            << "Other_Language.001" << QByteArray("0=English\n") << -1 << "";
    }

    void listLanguages() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, contents);
        QFETCH(int, number);
        QFETCH(QString, name);
        QVERIFY(writeFile(QDir(programFolder()).filePath(fileName), contents));
        const QVector<LanguageChoice> list = kestrune::listLanguages(programFolder());
        if (number < 0) {
            QVERIFY(list.isEmpty());
            return;
        }
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].number, number);
        QCOMPARE(list[0].name, name);
        QCOMPARE(QFileInfo(list[0].path).fileName(), fileName);
    }

    void listLanguagesSortedByNumber() {
        const QDir dir(programFolder());
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Kestrune_Language.010")), "0=Ten\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Kestrune_Language.002")), "0=Two\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Kestrune_Language.ENG")), "0=Eng\n"));
        QVERIFY(dir.mkdir(QStringLiteral("Kestrune_Language.003"))); // a folder, not a file
        const QVector<LanguageChoice> list = kestrune::listLanguages(programFolder());
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].name, QStringLiteral("Two"));
        QCOMPARE(list[1].name, QStringLiteral("Ten"));
        QVERIFY(dir.rmdir(QStringLiteral("Kestrune_Language.003")));
    }

    // --- loading the chosen language -------------------------------------

    void loadLanguage_data() {
        QTest::addColumn<bool>("hasSetting");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("text10");

        QTest::newRow("nothing chosen") << false << "" << false << "Invalid Text (10)";
        QTest::newRow("empty setting") << true << "" << false << "Invalid Text (10)";
        QTest::newRow("chosen file") << true << "001" << true << "Main";
        QTest::newRow("other chosen file") << true << "002" << true << "Haupt";
        QTest::newRow("chosen file missing") << true << "003" << false << "Invalid Text (10)";
        QTest::newRow("setting not three digits") << true << "1" << false << "Invalid Text (10)";
    }

    void loadLanguage() {
        QFETCH(bool, hasSetting);
        QFETCH(QString, setting);
        QFETCH(bool, loaded);
        QFETCH(QString, text10);
        const QDir dir(programFolder());
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Kestrune_Language.001")),
                          "0=English\n10=Main\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Kestrune_Language.002")),
                          "0=Deutsch\n10=Haupt\n"));
        // A table left from an earlier load must not survive a failed load.
        languageTable().parse("10=stale\n");
        if (hasSetting)
            settings::save(QStringLiteral("Language"), setting);
        QCOMPARE(kestrune::loadLanguage(), loaded);
        QCOMPARE(getText(10), text10);
    }

    // A file whose name differs in letter case is offered in the list; the
    // choice stored from it must open that very file, or the program ends
    // at every start.
    void listedFileIsOpened_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("upper case name") << "KESTRUNE_LANGUAGE.002"
                                         << "002" << true;
        QTest::newRow("lower case name") << "kestrune_language.002"
                                         << "002" << true;
        QTest::newRow("the program's spelling") << "Kestrune_Language.002"
                                                << "002" << true;
        QTest::newRow("other number") << "KESTRUNE_LANGUAGE.002"
                                      << "003" << false;
        QTest::newRow("setting not three digits") << "KESTRUNE_LANGUAGE.002"
                                                  << "2" << false;
        QTest::newRow("setting names no file") << "KESTRUNE_LANGUAGE.002"
                                               << "../2" << false;
    }
    void listedFileIsOpened() {
        QFETCH(QString, fileName);
        QFETCH(QString, setting);
        QFETCH(bool, loaded);
        const QDir dir(programFolder());
        QVERIFY(writeFile(dir.filePath(fileName), "0=Deutsch\n10=Haupt\n"));
        const QVector<LanguageChoice> list = kestrune::listLanguages(programFolder());
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].number, 2);
        QCOMPARE(QFileInfo(list[0].path).fileName(), fileName);
        settings::save(QStringLiteral("Language"), setting);
        QCOMPARE(kestrune::loadLanguage(), loaded);
        QCOMPARE(getText(10),
                 loaded ? QStringLiteral("Haupt") : QStringLiteral("Invalid Text (10)"));
        QCOMPARE(findLanguageFile(programFolder(), setting), loaded ? list[0].path : QString());
    }

    // --- the shipped language files --------------------------------------

    void shippedFiles_data() {
        QTest::addColumn<QString>("path");
        const QStringList files = shippedLanguageFiles();
        QVERIFY(files.contains(sourceDir() + QStringLiteral("/lang/Kestrune_Language.001")));
        for (const QString& path : files)
            QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
    }

    void shippedFiles() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();

        QStringList problems;
        int line = 1;
        for (qsizetype i = 0; i < contents.size(); ++i) {
            const auto c = static_cast<unsigned char>(contents[i]);
            if (c == '\n') {
                ++line;
                continue;
            }
            if (c == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n')
                continue;
            if (c < 0x20 || (c >= 0x7f && c <= 0x9f))
                problems << QStringLiteral("line %1: control character 0x%2")
                                .arg(line)
                                .arg(c, 2, 16, QLatin1Char('0'));
            // A Latin-1 file never needs a lead byte followed by a
            // continuation byte; that pair is UTF-8 that slipped in.
            if (c >= 0xc2 && c <= 0xf4 && i + 1 < contents.size()) {
                const auto next = static_cast<unsigned char>(contents[i + 1]);
                if (next >= 0x80 && next <= 0xbf)
                    problems << QStringLiteral("line %1: UTF-8 sequence, not Latin-1").arg(line);
            }
        }

        const QMap<int, QString> entries = strictEntries(contents, problems);
        QVERIFY2(problems.isEmpty(), qPrintable(listed(problems)));
        QVERIFY2(!entries.value(0).isEmpty(), "entry 0 (the language's name) is missing");

        // What the program's own parser makes of the file agrees.
        LanguageTable table;
        QVERIFY(table.loadFile(path));
        QCOMPARE(table.count(), entries.size());
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            QString expected = it.value();
            expected.replace(QLatin1Char('\\'), QStringLiteral("\r\n"));
            QCOMPARE(table.text(it.key()), expected);
        }
    }

    void shippedFilesHoldEveryText_data() { shippedFiles_data(); }

    void shippedFilesHoldEveryText() {
        QFETCH(QString, path);
        LanguageTable table;
        QVERIFY(table.loadFile(path));

        QStringList errors;
        QVector<TextUse> uses = textsUsedBySource(sourceDir(), errors);
        for (const auto& [from, to] : kRequiredTexts) {
            for (int n = from; n <= to; ++n)
                uses.append({n, QStringLiteral("texts the windows and messages require")});
        }

        QMap<int, QStringList> missing;
        for (const TextUse& use : uses) {
            if (!table.contains(use.number) && !missing[use.number].contains(use.where))
                missing[use.number] << use.where;
        }
        for (auto it = missing.cbegin(); it != missing.cend(); ++it)
            errors << QStringLiteral("text %1 missing, used at %2")
                          .arg(it.key())
                          .arg(it.value().join(QStringLiteral(", ")));
        QVERIFY2(errors.isEmpty(), qPrintable(listed(errors)));
    }

    // Every language holds the same text numbers as the English file, and
    // each translation keeps what the program relies on: the placeholders it
    // fills, the line breaks, one accelerator where English has one, and the
    // ends the code joins to other words (a colon before a value, "..."
    // after a command that asks more, the "< " and " >" of Back and Next).
    void translationsMatchEnglish_data() {
        QTest::addColumn<QString>("path");
        const QString english = sourceDir() + QStringLiteral("/lang/Kestrune_Language.001");
        for (const QString& path : shippedLanguageFiles()) {
            if (path != english)
                QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
        }
    }

    void translationsMatchEnglish() {
        QFETCH(QString, path);
        const auto entriesOf = [](const QString& file, QStringList& problems) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                problems << QStringLiteral("cannot read %1").arg(file);
            return strictEntries(f.readAll(), problems);
        };
        QStringList problems;
        const QMap<int, QString> english =
            entriesOf(sourceDir() + QStringLiteral("/lang/Kestrune_Language.001"), problems);
        const QMap<int, QString> other = entriesOf(path, problems);

        static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
        const auto placeholders = [](const QString& text) {
            QStringList found;
            auto it = placeholder.globalMatch(text);
            while (it.hasNext())
                found << it.next().captured(0);
            found.sort();
            return found;
        };
        // The accelerator markers: "&" not doubled.
        const auto accelerators = [](const QString& text) {
            return text.count(QLatin1Char('&')) - 2 * text.count(QStringLiteral("&&"));
        };
        const auto ending = [](const QString& text) {
            for (const char* end : {"...", ":", " >"}) {
                if (text.endsWith(QLatin1String(end)))
                    return QString::fromLatin1(end);
            }
            return QString();
        };

        for (auto it = english.cbegin(); it != english.cend(); ++it) {
            const int n = it.key();
            const QString en = it.value();
            if (!other.contains(n)) {
                problems << QStringLiteral("text %1 missing (English: \"%2\")").arg(n).arg(en);
                continue;
            }
            if (n == 0)
                continue; // the language's own name
            const QString tr = other.value(n);
            if (placeholders(tr) != placeholders(en))
                problems << QStringLiteral("text %1: placeholders %2 instead of %3")
                                .arg(n)
                                .arg(placeholders(tr).join(QLatin1Char(' ')),
                                     placeholders(en).join(QLatin1Char(' ')));
            if (tr.count(QLatin1Char('\\')) != en.count(QLatin1Char('\\')))
                problems << QStringLiteral("text %1: %2 line breaks instead of %3")
                                .arg(n)
                                .arg(tr.count(QLatin1Char('\\')))
                                .arg(en.count(QLatin1Char('\\')));
            if (accelerators(tr) != accelerators(en))
                problems << QStringLiteral("text %1: %2 accelerator markers instead of %3")
                                .arg(n)
                                .arg(accelerators(tr))
                                .arg(accelerators(en));
            if (ending(tr) != ending(en))
                problems << QStringLiteral("text %1 ends unlike English (\"%2\")").arg(n).arg(tr);
            if (en.startsWith(QLatin1String("< ")) != tr.startsWith(QLatin1String("< ")))
                problems << QStringLiteral("text %1 starts unlike English").arg(n);
        }
        for (auto it = other.cbegin(); it != other.cend(); ++it) {
            if (!english.contains(it.key()))
                problems << QStringLiteral("text %1 is not in the English file").arg(it.key());
        }
        QVERIFY2(problems.isEmpty(), qPrintable(listed(problems)));
    }

    void markerList_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("count");
        QTest::newRow("single") << " 740" << true << 1;
        QTest::newRow("range") << " 700-709" << true << 10;
        QTest::newRow("en dash") << QString::fromUtf8(" 761\xe2\x80\x93"
                                                      "776")
                                 << true << 16;
        QTest::newRow("list") << " 700-709, 720-729, 740" << true << 21;
        QTest::newRow("reversed range") << " 709-700" << false << 0;
        QTest::newRow("words") << " the Apply captions" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
    }

    void markerList() {
        QFETCH(QString, list);
        QFETCH(bool, valid);
        QFETCH(int, count);
        QVector<int> numbers;
        QCOMPARE(parseMarkerList(list, numbers), valid);
        if (valid)
            QCOMPARE(numbers.size(), count);
    }

    void constantValue_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::newRow("constexpr") << "constexpr int TextCaption = 10;"
                                   << "TextCaption" << 10;
        QTest::newRow("static const") << "static const int32_t kText = 238;"
                                      << "kText" << 238;
        QTest::newRow("brace init") << "constexpr int32_t kText{40};"
                                    << "kText" << 40;
        QTest::newRow("enumerator") << "enum {\n    TextA = 20,\n    TextB = 130, // menu\n};"
                                    << "TextB" << 130;
        QTest::newRow("last enumerator") << "enum {\n    TextA = 20\n};"
                                         << "TextA" << 20;
        QTest::newRow("plain assignment is no constant") << "    row = 3;\n"
                                                         << "row" << -1;
        QTest::newRow("longer name does not match") << "constexpr int TextCaption2 = 11;"
                                                    << "TextCaption" << -1;
        QTest::newRow("missing") << "int x = 1;"
                                 << "TextCaption" << -1;
    }

    void constantValue() {
        QFETCH(QString, source);
        QFETCH(QString, name);
        QFETCH(int, value);
        QCOMPARE(::constantValue(source, name), value);
    }

    // The build puts an up-to-date copy of every language file beside the
    // executables, where the program looks for it.
    void copiesBesideExecutables_data() { shippedFiles_data(); }

    void copiesBesideExecutables() {
        QFETCH(QString, path);
        QFile source(path);
        QFile copy(QStringLiteral(KESTRUNE_BINARY_DIR "/") + QFileInfo(path).fileName());
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
        QVERIFY2(source.readAll() == copy.readAll(), "the copy is stale: rebuild kestrune_lang");
    }
};

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
