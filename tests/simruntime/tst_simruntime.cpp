// The simulator's installation file and its pseudo-terminals.
#include "sim/runtime/Pty.h"
#include "sim/runtime/SimConfig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kestrune::sim;

class TestSimRuntime : public QObject {
    Q_OBJECT
private slots:
    void parsesSections() {
        QString error;
        const auto file = parseConfig("# demo\n"
                                      "[gateway gw1]\n"
                                      "address = 127.0.0.2\n"
                                      "  family=K2  \n"
                                      "\n"
                                      "; second\n"
                                      "[meter]\n"
                                      "primary = 5\n",
                                      QStringLiteral("demo.conf"), error);
        QVERIFY2(file, qPrintable(error));
        QCOMPARE(file->sections.size(), 2);
        const ConfigSection& gw = file->sections[0];
        QCOMPARE(gw.kind, QStringLiteral("gateway"));
        QCOMPARE(gw.name, QStringLiteral("gw1"));
        QCOMPARE(gw.line, 2);
        QCOMPARE(gw.find(QStringLiteral("FAMILY"))->value, QStringLiteral("K2"));
        QCOMPARE(gw.find(QStringLiteral("family"))->line, 4);
        QCOMPARE(file->sections[1].title(), QStringLiteral("[meter]"));
    }

    void refusesSyntaxWithLine_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("before section")
            << QByteArray("a = 1\n")
            << QStringLiteral("f:1: \"a\" stands before the first section");
        QTest::newRow("open header") << QByteArray("[gateway\n")
                                     << QStringLiteral("f:1: section header without closing \"]\"");
        QTest::newRow("no equals") << QByteArray("[meter]\n\nprimary 5\n")
                                   << QStringLiteral("f:3: expected \"key = value\"");
        QTest::newRow("twice") << QByteArray("[meter m]\nprimary=1\nPRIMARY=2\n")
                               << QStringLiteral("f:3: \"PRIMARY\" is given twice in [meter m]");
        QTest::newRow("three words")
            << QByteArray("[a b c]\n")
            << QStringLiteral("f:1: a section header is \"[kind]\" or \"[kind name]\"");
    }
    void refusesSyntaxWithLine() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QString got;
        QVERIFY(!parseConfig(text, QStringLiteral("f"), got));
        QCOMPARE(got, error);
    }

    void typedValues() {
        QString error;
        const auto file = parseConfig("[meter m]\n"
                                      "primary = 300\n"
                                      "secondary = 0x1F\n"
                                      "reply = 68 03 03 68\n"
                                      "bad = 6\n"
                                      "address = 192.168.1.5\n"
                                      "medium = water\n",
                                      QStringLiteral("f"), error);
        QVERIFY(file);
        const ConfigSection& s = file->sections[0];

        ConfigReader r(QStringLiteral("f"));
        QCOMPARE(r.integer(s, QStringLiteral("secondary"), 0, 0, 255), 31);
        QCOMPARE(r.bytes(s, QStringLiteral("reply")), QByteArray::fromHex("68030368"));
        QCOMPARE(r.choice(s, QStringLiteral("medium"),
                          {QStringLiteral("heat"), QStringLiteral("WATER")}, 0),
                 1);
        QCOMPARE(r.integer(s, QStringLiteral("missing"), 7, 0, 9), 7);
        QVERIFY(r.ok());

        QCOMPARE(r.integer(s, QStringLiteral("primary"), 1, 0, 250), 1);
        QCOMPARE(r.error(),
                 QStringLiteral("f:2: primary in [meter m] must lie between 0 and 250, not 300"));

        ConfigReader addr(QStringLiteral("f"));
        QCOMPARE(addr.loopbackAddress(s, QStringLiteral("address"), QStringLiteral("127.0.0.2")),
                 QStringLiteral("127.0.0.2"));
        QVERIFY(addr.error().startsWith(
            QStringLiteral("f:6: address in [meter m] is \"192.168.1.5\"")));

        ConfigReader keys(QStringLiteral("f"));
        keys.onlyKeys(s, {QStringLiteral("primary"), QStringLiteral("secondary")});
        QCOMPARE(keys.error().left(35), QStringLiteral("f:4: unknown key \"reply\" in [meter "));
    }

    void loopbackOnly_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("ok");
        QTest::newRow("default") << QStringLiteral("127.0.0.2") << true;
        QTest::newRow("top of range") << QStringLiteral("127.255.255.254") << true;
        QTest::newRow("lan") << QStringLiteral("192.168.0.10") << false;
        QTest::newRow("broadcast") << QStringLiteral("255.255.255.255") << false;
        QTest::newRow("any") << QStringLiteral("0.0.0.0") << false;
        QTest::newRow("short form") << QStringLiteral("127.1") << false;
        QTest::newRow("ipv6") << QStringLiteral("::1") << false;
        QTest::newRow("name") << QStringLiteral("localhost") << false;
    }
    void loopbackOnly() {
        QFETCH(QString, address);
        QFETCH(bool, ok);
        QCOMPARE(isLoopbackV4(address), ok);
    }

    void ptyCarriesBytesBothWays() {
        QTemporaryDir dir;
        Pty pty;
        QVERIFY2(pty.open(), qPrintable(pty.errorString()));
        const QString link = dir.filePath(QStringLiteral("gw1-console"));
        QVERIFY(pty.linkAs(link));
        QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());

        const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio{};
        QCOMPARE(::tcgetattr(fd, &tio), 0);
        ::cfmakeraw(&tio);
        ::cfsetospeed(&tio, B2400);
        ::cfsetispeed(&tio, B2400);
        QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
        QCOMPARE(pty.baudRate(), 2400);

        QSignalSpy spy(&pty, &Pty::received);
        const QByteArray request = QByteArray::fromHex("105bfe5916");
        QCOMPARE(::write(fd, request.constData(), request.size()), request.size());
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), 2000);
        QCOMPARE(spy.first().first().toByteArray(), request);

        QVERIFY(pty.write(QByteArray(1, char(0xE5))));
        char buf[8] = {};
        ssize_t got = 0;
        // (QTRY_* evaluates its expression once more after success, which
        // would consume the byte; poll by hand.)
        for (int i = 0; i < 40 && got <= 0; ++i) {
            got = ::read(fd, buf, sizeof buf);
            if (got <= 0)
                QTest::qWait(50);
        }
        QCOMPARE(got, ssize_t(1));
        QCOMPARE(static_cast<unsigned char>(buf[0]), 0xE5);
        ::close(fd);

        // Closing removes the stable link.
        pty.close();
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestSimRuntime)
#include "tst_simruntime.moc"
