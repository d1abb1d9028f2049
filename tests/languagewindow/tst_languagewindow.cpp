// The language window: what it offers and preselects, what OK stores, and
// when it tells the user that a restart is needed.

#include "app/LanguageWindow.h"
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "tests/simprogram/ProgramFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kestrune;

namespace {

using fixture::userSettings;

bool writeFile(const QString& path, const QByteArray& contents) {
    return fixture::writeFile(path, contents).isEmpty();
}

// Records and closes every message box that opens while it lives.
class MessageBoxWatcher : public QObject {
public:
    struct Seen {
        QString text;
        QMessageBox::Icon icon;
    };

    MessageBoxWatcher() {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &MessageBoxWatcher::look);
        m_timer.start();
    }

    const QList<Seen>& seen() const { return m_seen; }

private:
    void look() {
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget* widget : widgets) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible()) {
                m_seen.append({box->text(), box->icon()});
                box->done(QMessageBox::Ok);
            }
        }
    }

    QTimer m_timer;
    QList<Seen> m_seen;
};

} // namespace

class TestLanguageWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString programFolder() const { return m_dir.filePath(QStringLiteral("program")); }

    static QString storedLanguage() {
        return userSettings().value(QStringLiteral("Wizard/Language")).toString();
    }

    static bool languageStored() {
        return userSettings().contains(QStringLiteral("Wizard/Language"));
    }

    static QComboBox* combo(LanguageWindow& window) {
        return window.findChild<QComboBox*>(QStringLiteral("Combo_Language"));
    }

    // Presses OK and returns the message boxes that came up meanwhile.
    static QList<MessageBoxWatcher::Seen> pressOk(LanguageWindow& window) {
        MessageBoxWatcher watcher;
        auto* ok = window.findChild<QPushButton*>(QStringLiteral("Command_OK"));
        if (!ok)
            return {};
        ok->click();
        return watcher.seen();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        const QDir dir(m_dir.path());
        QVERIFY(dir.mkpath(programFolder()));
        setProgramDir(programFolder());
        const QDir program(programFolder());
        QVERIFY(writeFile(program.filePath(QStringLiteral("Kestrune_Language.001")),
                          "English texts\n0=English\n30=Language\n105=Restart to apply\n"
                          "106=Choose:\n231=Cancel\n238=OK\n"));
        QVERIFY(writeFile(program.filePath(QStringLiteral("Kestrune_Language.002")),
                          "0=Deutsch\n30=Sprache\n105=Neustart n\xf6tig\n238=OK\n"));
        // Not offered: a non-numeric extension and a file without a name.
        QVERIFY(writeFile(program.filePath(QStringLiteral("Kestrune_Language.ENG")), "0=Other\n"));
        QVERIFY(writeFile(program.filePath(QStringLiteral("Kestrune_Language.003")), "10=x\n"));
    }

    void init() {
        userSettings().remove(QStringLiteral("Wizard/Language"));
        languageTable().clear();
    }

    void controls() {
        LanguageWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("Kestrune_Language"));
        QVERIFY(window.isModal());
        QVERIFY(combo(window));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("Command_OK")));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("Command_Cancel")));
        QCOMPARE(combo(window)->count(), 2);
        QCOMPARE(combo(window)->itemText(0), QStringLiteral("English"));
        QCOMPARE(combo(window)->itemText(1), QStringLiteral("Deutsch"));
        QCOMPARE(window.choices().size(), 2);
        QCOMPARE(window.choices()[1].number, 2);
    }

    void preselection_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::newRow("none stored") << "" << -1;
        QTest::newRow("001") << "001" << 0;
        QTest::newRow("002") << "002" << 1;
        QTest::newRow("numeric value counts") << "2" << 1;
        QTest::newRow("not offered") << "003" << -1;
        QTest::newRow("not a number") << "abc" << -1;
    }

    void preselection() {
        QFETCH(QString, stored);
        QFETCH(int, index);
        if (!stored.isEmpty())
            settings::save(QStringLiteral("Language"), stored);
        LanguageWindow window;
        QCOMPARE(combo(window)->currentIndex(), index);
    }

    // On the very first start nothing is loaded yet; the window still reads
    // in a language instead of showing "Invalid Text (n)".
    void captionsBeforeAnyLanguageIsLoaded() {
        LanguageWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Language"));
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label_Language"))->text(),
                 QStringLiteral("Choose:"));
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("Command_OK"))->text(),
                 QStringLiteral("OK"));
    }

    void captionsFromLoadedLanguage() {
        settings::save(QStringLiteral("Language"), QStringLiteral("002"));
        QVERIFY(loadLanguage());
        LanguageWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Sprache"));
        // Text 106 is missing from this file: the placeholder shows it.
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label_Language"))->text(),
                 QStringLiteral("Invalid Text (106)"));
    }

    void firstChoiceStoresWithoutMessage() {
        LanguageWindow window;
        QCOMPARE(combo(window)->currentIndex(), -1);
        combo(window)->setCurrentIndex(0);
        const auto boxes = pressOk(window);
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(storedLanguage(), QStringLiteral("001"));
        QCOMPARE(window.result(), int(QDialog::Accepted));
        // The caller can now load it at once.
        QVERIFY(loadLanguage());
        QCOMPARE(getText(0), QStringLiteral("English"));
    }

    void secondChoiceTellsAboutRestart() {
        settings::save(QStringLiteral("Language"), QStringLiteral("001"));
        QVERIFY(loadLanguage());
        LanguageWindow window;
        QCOMPARE(combo(window)->currentIndex(), 0);
        combo(window)->setCurrentIndex(1);
        const auto boxes = pressOk(window);
        QCOMPARE(storedLanguage(), QStringLiteral("002"));
        QCOMPARE(boxes.size(), 1);
        // In the language still running, not the new one.
        QCOMPARE(boxes[0].text, QStringLiteral("Restart to apply"));
        QCOMPARE(boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        // The running texts stay until the next start.
        QCOMPARE(getText(30), QStringLiteral("Language"));
    }

    // The setting names a file that has gone: the stored value still counts
    // as an earlier choice, and the window is readable through a stand-in.
    void earlierChoiceWithoutLoadedLanguage() {
        settings::save(QStringLiteral("Language"), QStringLiteral("009"));
        QVERIFY(!loadLanguage());
        LanguageWindow window;
        QCOMPARE(combo(window)->currentIndex(), -1);
        combo(window)->setCurrentIndex(1);
        const auto boxes = pressOk(window);
        QCOMPARE(storedLanguage(), QStringLiteral("002"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Restart to apply"));
    }

    void noSelectionStoresNothing() {
        LanguageWindow window;
        QCOMPARE(combo(window)->currentIndex(), -1);
        const auto boxes = pressOk(window);
        QCOMPARE(boxes.size(), 0);
        QVERIFY(!languageStored());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    void noSelectionKeepsEarlierChoice() {
        settings::save(QStringLiteral("Language"), QStringLiteral("002"));
        LanguageWindow window;
        combo(window)->setCurrentIndex(-1);
        const auto boxes = pressOk(window);
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(storedLanguage(), QStringLiteral("002"));
    }

    void cancelStoresNothing() {
        LanguageWindow window;
        combo(window)->setCurrentIndex(1);
        window.findChild<QPushButton*>(QStringLiteral("Command_Cancel"))->click();
        QVERIFY(!languageStored());
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }

    // Shown modally the way start-up shows it: exec() returns once OK was
    // pressed, with the choice stored.
    void modalRunStoresChoice() {
        LanguageWindow window;
        QTimer::singleShot(50, &window, [&window] {
            combo(window)->setCurrentIndex(1);
            window.findChild<QPushButton*>(QStringLiteral("Command_OK"))->click();
        });
        QTimer::singleShot(5000, &window, [&window] { window.reject(); }); // safety net
        QCOMPARE(window.exec(), int(QDialog::Accepted));
        QCOMPARE(storedLanguage(), QStringLiteral("002"));
    }

    // On the very first start with one language file that one is selected,
    // so OK takes it; with anything stored before, nothing is guessed. A
    // file named in other letter case is the one then opened.
    void onlyLanguageOnFirstStart_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("storedAfterOk");
        QTest::newRow("first start") << "Kestrune_Language.001"
                                     << "" << 0 << "001";
        QTest::newRow("first start, upper-case name") << "KESTRUNE_LANGUAGE.002"
                                                      << "" << 0 << "002";
        QTest::newRow("earlier choice gone") << "Kestrune_Language.001"
                                             << "009" << -1 << "009";
    }
    void onlyLanguageOnFirstStart() {
        QFETCH(QString, fileName);
        QFETCH(QString, stored);
        QFETCH(int, index);
        QFETCH(QString, storedAfterOk);
        QTemporaryDir single;
        QVERIFY(single.isValid());
        QVERIFY(writeFile(QDir(single.path()).filePath(fileName), "0=Only\n30=Language\n"));
        setProgramDir(single.path());
        if (!stored.isEmpty())
            settings::save(QStringLiteral("Language"), stored);
        {
            LanguageWindow window;
            QCOMPARE(combo(window)->currentIndex(), index);
            MessageBoxWatcher watcher;
            window.findChild<QPushButton*>(QStringLiteral("Command_OK"))->click();
        }
        QCOMPARE(storedLanguage(), storedAfterOk);
        if (index >= 0) {
            QVERIFY(loadLanguage());
            QCOMPARE(getText(0), QStringLiteral("Only"));
        }
        setProgramDir(programFolder());
    }

    void noLanguageFiles() {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        setProgramDir(empty.path());
        LanguageWindow window;
        setProgramDir(programFolder());
        QCOMPARE(combo(window)->count(), 0);
        const auto boxes = pressOk(window);
        QCOMPARE(boxes.size(), 0);
        QVERIFY(!languageStored());
    }
};

QTEST_MAIN(TestLanguageWindow)
#include "tst_languagewindow.moc"
