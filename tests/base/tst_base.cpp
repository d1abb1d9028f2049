// Shared helpers, the INI file and the settings store.
#include "base/IniFile.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "base/TextUtil.h"
#include "tests/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrune;

class TestBase : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString iniPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static void writeFile(const QString& path, const QByteArray& content) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Runs body in a child process as an ordinary user and returns its exit
    // code (-1 when it did not end normally). Permission bits do not stop
    // root, so a root test process hands the work to "nobody".
    static int asOrdinaryUser(const std::function<bool()>& body) {
        const pid_t child = ::fork();
        if (child < 0)
            return -1;
        if (child == 0) {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            ::_exit(body() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    void listItem_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const QString speeds = QStringLiteral("300;600;1200;2400;4800;9600;19200");
        QTest::newRow("position 3") << speeds << 3 << QStringLiteral("2400");
        QTest::newRow("first") << speeds << 0 << QStringLiteral("300");
        QTest::newRow("last") << speeds << 6 << QStringLiteral("19200");
        QTest::newRow("past the end") << speeds << 7 << QString();
        QTest::newRow("negative") << speeds << -1 << QString();
        QTest::newRow("empty field") << QStringLiteral("a;;c") << 1 << QString();
        QTest::newRow("empty list") << QString() << 0 << QString();
    }
    void listItem() {
        QFETCH(QString, list);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(kestrune::listItem(list, n), expected);
    }

    void hexToNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("expected");
        QTest::newRow("upper") << QStringLiteral("1F") << 31u;
        QTest::newRow("lower") << QStringLiteral("ff") << 255u;
        QTest::newRow("word") << QStringLiteral("C0A8") << 0xC0A8u;
        QTest::newRow("non-digit counts as 0") << QStringLiteral("1G") << 16u;
        QTest::newRow("empty") << QString() << 0u;
        QTest::newRow("eight digits") << QStringLiteral("FFFFFFFF") << 0xFFFFFFFFu;
    }
    void hexToNumber() {
        QFETCH(QString, text);
        QFETCH(uint, expected);
        QCOMPARE(kestrune::hexToNumber(text), expected);
    }

    void hexPairs() {
        QCOMPARE(kestrune::hexPair(0x0A), QStringLiteral("0A"));
        QCOMPARE(kestrune::hexPairs(QByteArray::fromHex("105bfe5916")),
                 QStringLiteral("10 5B FE 59 16"));
        QCOMPARE(kestrune::hexPairs({}), QString());
    }

    void parseHexBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("spaced") << QStringLiteral("10 5b FE") << true
                                << QByteArray::fromHex("105bfe");
        QTest::newRow("packed") << QStringLiteral("105BFE") << true
                                << QByteArray::fromHex("105bfe");
        QTest::newRow("mac") << QStringLiteral("00-20-4A-01-02-03") << true
                             << QByteArray::fromHex("00204a010203");
        QTest::newRow("odd") << QStringLiteral("105") << false << QByteArray();
        QTest::newRow("split pair") << QStringLiteral("1 05") << false << QByteArray();
        QTest::newRow("bad char") << QStringLiteral("10 5X") << false << QByteArray();
        QTest::newRow("empty") << QString() << true << QByteArray();
    }
    void parseHexBytes() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QByteArray, bytes);
        QByteArray out("untouched");
        QCOMPARE(kestrune::parseHexBytes(text, out), ok);
        QCOMPARE(out, ok ? bytes : QByteArray("untouched"));
    }

    void toNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("plain") << QStringLiteral("3000") << qint64(3000) << true;
        QTest::newRow("blanks") << QStringLiteral("  42 ") << qint64(42) << true;
        QTest::newRow("negative") << QStringLiteral("-7") << qint64(-7) << true;
        QTest::newRow("not a number") << QStringLiteral("abc") << qint64(0) << false;
        QTest::newRow("empty") << QString() << qint64(0) << false;
        QTest::newRow("trailing text") << QStringLiteral("12ms") << qint64(12) << false;
        QTest::newRow("fraction") << QStringLiteral("1.5") << qint64(1) << true;
        QTest::newRow("huge") << QStringLiteral("99999999999999999999999") << qint64(INT64_MAX)
                              << true;
    }
    void toNumber() {
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        QFETCH(bool, numeric);
        QCOMPARE(kestrune::toNumber(text), expected);
        QCOMPARE(kestrune::isNumeric(text), numeric);
    }

    void iniMatchesWithoutCase() {
        const QString path = iniPath("case.ini");
        writeFile(path, "[IP]\nBusTimeout=2500\nScanTimeOut = 700\n[ModBus]\nBusTimeout=900\n");
        IniFile ini(path);
        QCOMPARE(ini.read(QStringLiteral("ip"), QStringLiteral("BUSTIMEOUT")),
                 QStringLiteral("2500"));
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("ScanTimeout")),
                 QStringLiteral("700"));
        QCOMPARE(ini.readNumber(QStringLiteral("MODBUS"), QStringLiteral("bustimeout")), 900);
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("Missing"), QStringLiteral("50")),
                 QStringLiteral("50"));
        QCOMPARE(ini.read(QStringLiteral("Nowhere"), QStringLiteral("BusTimeout")), QString());

        // BusTimeOut and BusTimeout are one entry: a write replaces, never duplicates.
        QVERIFY(
            ini.write(QStringLiteral("ip"), QStringLiteral("BusTimeOut"), QStringLiteral("4000")));
        QCOMPARE(ini.read(QStringLiteral("IP"), QStringLiteral("BusTimeout")),
                 QStringLiteral("4000"));
        QCOMPARE(readFile(path).count("usTime"), 2); // IP and ModBus, one each
    }

    void iniNumbersAreLenient() {
        const QString path = iniPath("numbers.ini");
        writeFile(path, "[Debug]\nPollInterval=abc\nMaxDebugLines=\n");
        IniFile ini(path);
        QCOMPARE(ini.readNumber(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                                QStringLiteral("10000")),
                 0);
        QCOMPARE(ini.readNumber(QStringLiteral("Debug"), QStringLiteral("MaxDebugLines"),
                                QStringLiteral("500")),
                 0);
    }

    void iniCutsLongValues() {
        const QString path = iniPath("long.ini");
        const QByteArray value(3000, 'x');
        writeFile(path, "[S]\nK=" + value + "\n");
        IniFile ini(path);
        QCOMPARE(ini.read(QStringLiteral("S"), QStringLiteral("K")).size(), 2047);
        QCOMPARE(
            ini.read(QStringLiteral("S"), QStringLiteral("none"), QString(3000, QLatin1Char('d')))
                .size(),
            2047);
    }

    void iniKeepsCommentsAndUnknownLines() {
        const QString path = iniPath("comments.ini");
        const QByteArray before = "; time-outs in ms\r\n"
                                  "[IP]\r\n"
                                  "; the meter page\r\n"
                                  "BusDelay=50\r\n"
                                  "this line is not an entry\r\n"
                                  "\r\n"
                                  "[Debug]\r\n"
                                  "PollInterval=10000\r\n";
        writeFile(path, before);
        IniFile ini(path);
        QVERIFY(ini.write(QStringLiteral("IP"), QStringLiteral("BusDelay"), QStringLiteral("75")));
        QVERIFY(
            ini.write(QStringLiteral("IP"), QStringLiteral("BusTimeout"), QStringLiteral("3000")));
        QVERIFY(ini.write(QStringLiteral("Search"), QStringLiteral("Delay"), QStringLiteral("5")));
        const QByteArray after = readFile(path);
        QCOMPARE(after, QByteArray("; time-outs in ms\r\n"
                                   "[IP]\r\n"
                                   "; the meter page\r\n"
                                   "BusDelay=75\r\n"
                                   "this line is not an entry\r\n"
                                   "BusTimeout=3000\r\n"
                                   "\r\n"
                                   "[Debug]\r\n"
                                   "PollInterval=10000\r\n"
                                   "\r\n"
                                   "[Search]\r\n"
                                   "Delay=5\r\n"));
        // A commented-out key is not an entry.
        writeFile(path, "[IP]\n;BusDelay=1\n");
        QCOMPARE(IniFile(path).read(QStringLiteral("IP"), QStringLiteral("BusDelay"),
                                    QStringLiteral("50")),
                 QStringLiteral("50"));
    }

    void iniCreatesFile() {
        const QString path = iniPath("new.ini");
        QVERIFY(!QFile::exists(path));
        IniFile ini(path);
        QVERIFY(ini.write(QStringLiteral("Debug"), QStringLiteral("PollInterval"),
                          QStringLiteral("5000")));
        QCOMPARE(readFile(path), QByteArray("[Debug]\nPollInterval=5000\n"));
        QVERIFY(!IniFile(m_dir.filePath(QStringLiteral("no/such/dir/x.ini")))
                     .write(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")));
    }

    // A value cannot start a line of its own; a write the disk cuts short
    // leaves the old file whole.
    void iniRefusedOrForgedWrites() {
        const QString path = iniPath("guarded.ini");
        writeFile(path, "[IP]\nBusDelay=50\n");
        IniFile ini(path);
        QVERIFY(ini.write(QStringLiteral("IP"), QStringLiteral("Note"),
                          QStringLiteral("a\r\n[IP]\nBusDelay=0")));
        QCOMPARE(readFile(path), QByteArray("[IP]\nBusDelay=50\nNote=a  [IP] BusDelay=0\n"));
        const QByteArray before = readFile(path);
        bool written = true;
        {
            const testfiles::FileSizeLimit limit(20);
            written = ini.write(QStringLiteral("IP"), QStringLiteral("Other"),
                                QString(100, QLatin1Char('x')));
        }
        QVERIFY(!written);
        QCOMPARE(readFile(path), before);
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("guarded.ini*")}, QDir::Files),
                 QStringList{QStringLiteral("guarded.ini")});
    }

    // A write replaces the file in one step: the old file is never opened
    // for truncation, and a process killed at any moment leaves either the
    // old or the new content, complete.
    void iniWriteIsAtomic() {
        const QString path = iniPath("atomic.ini");
        IniFile ini(path);
        QByteArray full;
        for (int k = 0; k < 40; ++k)
            full += "Key" + QByteArray::number(k) + "=" + QByteArray(1500, 'A') + "\n";
        writeFile(path, "[S]\n" + full);
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        QVERIFY(ini.write(QStringLiteral("S"), QStringLiteral("Key0"),
                          QString(1500, QLatin1Char('A'))));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QVERIFY2(before.st_ino != after.st_ino, "the file was rewritten in place");

        for (int round = 0; round < 6; ++round) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                IniFile w(path);
                for (int i = 0; i < 400; ++i) {
                    const QChar c = QLatin1Char(i % 2 ? 'A' : 'B');
                    for (int k = 0; k < 40; ++k)
                        (void)w.write(QStringLiteral("S"), QStringLiteral("Key%1").arg(k),
                                      QString(1500, c));
                }
                ::_exit(0);
            }
            ::usleep(static_cast<useconds_t>(3000 + round * 7000));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            for (int k = 0; k < 40; ++k) {
                const QString v = ini.read(QStringLiteral("S"), QStringLiteral("Key%1").arg(k));
                QCOMPARE(v.size(), 1500);
            }
        }
    }

    // An installation as a technician meets it: the program folder belongs
    // to the administrator, the INI file may be made writable for users, and
    // it may also be unreadable to them. The user's write must land where the
    // file allows it and must never lose entries it could not read.
    void iniWriteAsUser_data() {
        QTest::addColumn<bool>("folderWritable");
        QTest::addColumn<int>("fileMode"); // -1: no file
        QTest::addColumn<bool>("written");
        QTest::newRow("folder closed, file writable: in place") << false << 0666 << true;
        QTest::newRow("folder open, file writable") << true << 0666 << true;
        QTest::newRow("folder open, file unreadable") << true << 0222 << false;
        QTest::newRow("folder closed, file unreadable") << false << 0222 << false;
        QTest::newRow("folder closed, file read-only") << false << 0444 << false;
        QTest::newRow("folder closed, no file") << false << -1 << false;
    }
    void iniWriteAsUser() {
        QFETCH(bool, folderWritable);
        QFETCH(int, fileMode);
        QFETCH(bool, written);
        // The user must reach the folder; the test folder is private.
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
        const QString folder = m_dir.filePath(QStringLiteral("install"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/Kestrune.INI");
        QFile::remove(path);
        const QByteArray before(
            "[IP]\r\nBusDelay=7000\r\n; kept\r\n[Debug]\r\nMaxDebugLines=9\r\n");
        if (fileMode >= 0) {
            writeFile(path, before);
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)), 0);
        }
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), folderWritable ? 0777 : 0555), 0);
        const int code = asOrdinaryUser([&path] {
            return IniFile(path).write(QStringLiteral("IP"), QStringLiteral("BusDelay"),
                                       QStringLiteral("7"));
        });
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        QCOMPARE(code, written ? 0 : 1);
        if (fileMode < 0) {
            QVERIFY(!QFile::exists(path));
            return;
        }
        // Nothing but the file itself: no temporary file left behind.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Kestrune.INI")});
        const QByteArray after = readFile(path);
        if (!written) {
            QCOMPARE(after, before);
            return;
        }
        // Shorter than before: written in place, no tail of the old content.
        QCOMPARE(after,
                 QByteArray("[IP]\r\nBusDelay=7\r\n; kept\r\n[Debug]\r\nMaxDebugLines=9\r\n"));
    }

    void programDirEndsInOneSeparator_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("without") << QStringLiteral("/opt/kestrune")
                                 << QStringLiteral("/opt/kestrune/");
        QTest::newRow("with") << QStringLiteral("/opt/kestrune/")
                              << QStringLiteral("/opt/kestrune/");
        QTest::newRow("doubled") << QStringLiteral("/opt/kestrune//")
                                 << QStringLiteral("/opt/kestrune/");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
    }
    void programDirEndsInOneSeparator() {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        setProgramDir(given);
        QCOMPARE(programDir(), expected);
        QCOMPARE(programIni().path(), expected + QStringLiteral("Kestrune.INI"));
    }

    // Where an executable's files are looked for, by the folder it lies in.
    // "lang" marks a tree whose share/kestrune holds a language file.
    void installedFolders_data() {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("texts");
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("prefix");
        const QString lang = QStringLiteral("share/kestrune/Kestrune_Language.001");
        QTest::newRow("system: /usr, configuration in /etc")
            << "root/usr/bin" << QStringList{"root/usr/" + lang} << true
            << "root/usr/share/kestrune/"
            << "root/etc/kestrune/"
            << "root/usr";
        QTest::newRow("other prefix: its own etc")
            << "opt/k/bin/" << QStringList{"opt/k/" + lang} << true << "opt/k/share/kestrune/"
            << "opt/k/etc/kestrune/"
            << "opt/k";
        QTest::newRow("build folder")
            << "build" << QStringList{"build/Kestrune_Language.001"} << false << "build/"
            << "build/"
            << "";
        QTest::newRow("bin without a data folder")
            << "plain/bin" << QStringList{"plain/bin/Kestrune_Language.001"} << false
            << "plain/bin/"
            << "plain/bin/"
            << "";
        QTest::newRow("data folder without texts")
            << "empty/bin" << QStringList{"empty/share/kestrune/Kestrune.INI"} << false
            << "empty/bin/"
            << "empty/bin/"
            << "";
    }
    void installedFolders() {
        QFETCH(QString, exeDir);
        QFETCH(QStringList, files);
        QFETCH(bool, installed);
        QFETCH(QString, texts);
        QFETCH(QString, config);
        QFETCH(QString, prefix);
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        const QString top = tree.path() + QLatin1Char('/');
        QVERIFY(QDir().mkpath(top + exeDir));
        for (const QString& f : files) {
            QVERIFY(QDir().mkpath(QFileInfo(top + f).absolutePath()));
            writeFile(top + f, "0=English\n");
        }
        const ProgramFolders folders = foldersForExecutable(top + exeDir);
        QCOMPARE(folders.installed, installed);
        QCOMPARE(folders.texts, top + texts);
        QCOMPARE(folders.config, top + config);
        QCOMPARE(folders.program, withTrailingSeparator(QDir::cleanPath(top + exeDir)));
        if (installed) {
            QVERIFY2(folders.library.startsWith(top + prefix + QStringLiteral("/lib/")),
                     qPrintable(folders.library));
            QVERIFY(folders.library.endsWith(QStringLiteral("/kestrune/")));
        } else {
            QCOMPARE(folders.library, folders.program);
        }
    }

    // An installed program reads its texts from the data folder and the INI
    // from the configuration folder; setProgramDir puts it back to one folder.
    void installedProgramFindsItsFiles() {
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        const QString root = tree.path();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/usr/bin")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/usr/share/kestrune")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/etc/kestrune")));
        writeFile(root + QStringLiteral("/usr/share/kestrune/Kestrune_Language.001"),
                  "0=English\n10=Installed texts\n");
        writeFile(root + QStringLiteral("/usr/share/kestrune/Kestrune.INI"), "[IP]\nBusDelay=1\n");
        writeFile(root + QStringLiteral("/etc/kestrune/Kestrune.INI"), "[IP]\nBusDelay=77\n");
        setProgramFolders(foldersForExecutable(root + QStringLiteral("/usr/bin")));
        settings::save(QStringLiteral("Language"), QStringLiteral("001"));
        QVERIFY(loadLanguage());
        QCOMPARE(getText(10), QStringLiteral("Installed texts"));
        QCOMPARE(programIni().readNumber(QStringLiteral("IP"), QStringLiteral("BusDelay")), 77);

        setProgramDir(root + QStringLiteral("/usr/bin"));
        QCOMPARE(iniFilePath(), root + QStringLiteral("/usr/bin/Kestrune.INI"));
        QCOMPARE(textsDir(), root + QStringLiteral("/usr/bin/"));
        QVERIFY(!loadLanguage());
        settings::save(QStringLiteral("Language"), QString());
    }

    void settingsStore() {
        QCOMPARE(settings::get(QStringLiteral("Option_DHCP"), QStringLiteral("1")),
                 QStringLiteral("1"));
        QVERIFY(!settings::contains(QStringLiteral("Option_DHCP")));
        settings::save(QStringLiteral("Option_DHCP"), QStringLiteral("0"));
        QCOMPARE(settings::get(QStringLiteral("Option_DHCP"), QStringLiteral("1")),
                 QStringLiteral("0"));
        settings::save(settings::perTask(QStringLiteral("SerialPort"), 4), int64_t(3));
        QCOMPARE(settings::getNumber(QStringLiteral("SerialPort_4")), 3);
        settings::save(QStringLiteral("TCPPort"), QStringLiteral("abc"));
        QCOMPARE(settings::getNumber(QStringLiteral("TCPPort"), QStringLiteral("8001")), 0);
        // Stored under the application's own section, in the user's folder.
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("config/Kestrune/Kestrune.conf"))));
        QVERIFY(readFile(m_dir.filePath(QStringLiteral("config/Kestrune/Kestrune.conf")))
                    .contains("[Wizard]"));
    }
};

QTEST_GUILESS_MAIN(TestBase)
#include "tst_base.moc"
