// The meter page without widgets: which controls each operation shows,
// enables, forces off and restores (one table of page entries and clicks),
// and what Apply makes of the boxes (clamping, normalisation, dispatch).
#include "base/Language.h"
#include "mbus/MeterFeatures.h"

#include <QMap>
#include <QtTest>

using namespace kestrune;

namespace {

// A box as "<value><e enabled | d disabled | - hidden>".
QString box(const CheckBoxState& b) {
    return QString(b.checked ? QLatin1Char('1') : QLatin1Char('0')) + (!b.visible ? QLatin1Char('-')
                                                                       : b.enabled
                                                                           ? QLatin1Char('e')
                                                                           : QLatin1Char('d'));
}

QString shown(bool visible, bool enabled = true) {
    return !visible ? QStringLiteral("-") : enabled ? QStringLiteral("e") : QStringLiteral("d");
}

QString describe(const MeterFeatureControls& c) {
    const MeterControlState& s = c.state();
    return QStringList{
        QStringLiteral("init ") + box(s.alwaysInit),
        QStringLiteral("app ") + box(s.alwaysApp),
        QStringLiteral("bc ") + box(s.broadcast),
        QStringLiteral("sec ") + box(s.secondary),
        QStringLiteral("enh ") + box(s.enhanced),
        QStringLiteral("reset ") + shown(true, s.resetListEnabled),
        QStringLiteral("new ") + shown(s.newAddressVisible),
        QStringLiteral("speed ") + shown(s.lineSpeedVisible),
        QStringLiteral("addr ") + s.address0 + shown(s.address0Visible, s.address0Enabled),
        QStringLiteral("fab ") + shown(s.fabricationVisible, s.fabricationEnabled),
        QStringLiteral("label %1").arg(s.addressLabelText),
        QStringLiteral("head %1").arg(s.headerText),
        QStringLiteral("info %1").arg(s.infoText),
        QStringLiteral("apply %1").arg(s.applyCaptionText),
        QStringLiteral("kept ") + c.storedAddress0(),
    }
        .join(QLatin1Char(' '));
}

// Clicks as the user makes them: "f3" an operation, "b1"/"b0" broadcast,
// "s" secondary, "e" enhanced, "i" always-init, "a" always-reset,
// "t:TEXT" typing into the address box.
void act(MeterFeatureControls& c, const QString& actions) {
    for (const QString& a : actions.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (a.startsWith(QLatin1String("t:"))) {
            c.editAddress0(a.mid(2));
            continue;
        }
        const bool on = a.mid(1) == QLatin1String("1");
        switch (a[0].toLatin1()) {
        case 'f':
            c.selectFeature(a.mid(1).toInt());
            break;
        case 'b':
            c.setBroadcast(on);
            break;
        case 's':
            c.setSecondary(on);
            break;
        case 'e':
            c.setEnhanced(on);
            break;
        case 'i':
            c.setAlwaysInit(on);
            break;
        case 'a':
            c.setAlwaysApp(on);
            break;
        default:
            qFatal("unknown action %s", qPrintable(a));
        }
    }
}

} // namespace

class TestMeterFeatures : public QObject {
    Q_OBJECT

private slots:
    // Page entry with stored values ("f1 i b a s e": the stored feature and
    // the stored ticks), then clicks; the state the page shows afterwards.
    void controls_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("state");

        // Each operation as the page enters with nothing ticked.
        QTest::newRow("initialise") << "f0"
                                    << ""
                                    << "init 0d app 0d bc 0e sec 0e enh 0- reset d new - speed - "
                                       "addr 12e fab - label 641 head 620 info 630 apply 691 "
                                       "kept 12";
        QTest::newRow("read address") << "f1"
                                      << ""
                                      << "init 0e app 0d bc 0e sec 0e enh 0- reset d new - speed "
                                         "- addr 12e fab - label 641 head 621 info 631 apply 692 "
                                         "kept 12";
        QTest::newRow("change address") << "f2"
                                        << ""
                                        << "init 0e app 0d bc 0- sec 0e enh 0- reset d new e "
                                           "speed - addr 12e fab - label 641 head 622 info 632 "
                                           "apply 693 kept 12";
        QTest::newRow("change speed") << "f3"
                                      << ""
                                      << "init 0e app 0d bc 0- sec 0e enh 0- reset d new - speed "
                                         "e addr 12e fab - label 641 head 623 info 633 apply 694 "
                                         "kept 12";
        QTest::newRow("diagnostic read") << "f4"
                                         << ""
                                         << "init 0e app 0e bc 0e sec 0e enh 0- reset e new - "
                                            "speed - addr 12e fab - label 641 head 624 info 634 "
                                            "apply 695 kept 12";
        QTest::newRow("application reset") << "f5"
                                           << ""
                                           << "init 0d app 0d bc 0d sec 0e enh 0- reset e new - "
                                              "speed - addr 12e fab - label 641 head 625 info 635 "
                                              "apply 696 kept 12";

        // Forced off and restored.
        QTest::newRow("stored always-init survives the page entry")
            << "f1 i"
            << ""
            << "init 1e app 0d bc 0e sec 0e enh 0- reset d new - speed - addr 12e fab - label 641 "
               "head 611 info 631 apply 692 kept 12";
        QTest::newRow("always-init comes back after an operation forced it off")
            << "f1 i"
            << "f0 f2"
            << "init 1e app 0d bc 0- sec 0e enh 0- reset d new e speed - addr 12e fab - label 641 "
               "head 612 info 632 apply 693 kept 12";
        QTest::newRow("a tick made after the restore is kept")
            << "f1"
            << "i1 f3"
            << "init 1e app 0d bc 0- sec 0e enh 0- reset d new - speed e addr 12e fab - label 641 "
               "head 613 info 633 apply 694 kept 12";
        QTest::newRow("always-reset held while another operation runs")
            << "f4 a"
            << "f1 f4"
            << "init 0e app 1e bc 0d sec 0e enh 0- reset e new - speed - addr 12e fab - label 641 "
               "head 624 info 634 apply 695 kept 12";

        // The broadcast box.
        QTest::newRow("broadcast puts 254 in the box")
            << "f0"
            << "b1"
            << "init 0d app 0d bc 1e sec 0e enh 0- reset d new - speed - addr 254d fab - label 641 "
               "head 620 info 630 apply 691 kept 12";
        QTest::newRow("hidden broadcast leaves 254 for the address change")
            << "f0"
            << "b1 f2"
            << "init 0e app 0d bc 1- sec 0e enh 0- reset d new e speed - addr 254e fab - label 641 "
               "head 622 info 632 apply 693 kept 12";
        QTest::newRow("typing while broadcast is ticked is not kept")
            << "f0"
            << "b1 f2 t:77 f0 b0"
            << "init 0d app 0d bc 0e sec 0e enh 0- reset d new - speed - addr 12e fab - label 641 "
               "head 620 info 630 apply 691 kept 12";
        QTest::newRow("typing is kept") << "f1"
                                        << "t:9"
                                        << "init 0e app 0d bc 0e sec 0e enh 0- reset d new - "
                                           "speed - addr 9e fab - label 641 head 621 info 631 "
                                           "apply 692 kept 9";
        QTest::newRow("application reset takes the stored address, editable")
            << "f0"
            << "b1 f5"
            << "init 0d app 0d bc 1d sec 0e enh 0- reset e new - speed - addr 12e fab - label 641 "
               "head 625 info 635 apply 696 kept 12";
        QTest::newRow("always-reset in the diagnostic read takes the stored address")
            << "f4 b"
            << "a1"
            << "init 0e app 1e bc 1d sec 0e enh 0- reset e new - speed - addr 12e fab - label 641 "
               "head 624 info 634 apply 695 kept 12";
        QTest::newRow("entering the diagnostic read with always-reset and broadcast")
            << "f4 b a"
            << ""
            << "init 0e app 1e bc 1d sec 0e enh 0- reset e new - speed - addr 12e fab - label 641 "
               "head 624 info 634 apply 695 kept 12";
        QTest::newRow("always-reset off gives broadcast back")
            << "f4 b"
            << "a1 a0"
            << "init 0e app 0e bc 1e sec 0e enh 0- reset e new - speed - addr 254d fab - label 641 "
               "head 624 info 634 apply 695 kept 12";

        // Secondary addressing.
        QTest::newRow("secondary forces always-init off")
            << "f1 i"
            << "s1"
            << "init 0d app 0d bc 0d sec 1e enh 0e reset d new - speed - addr 12- fab - label 640 "
               "head 621 info 631 apply 692 kept 12";
        QTest::newRow("secondary off restores always-init")
            << "f1 i"
            << "s1 s0"
            << "init 1e app 0d bc 0e sec 0e enh 0- reset d new - speed - addr 12e fab - label 641 "
               "head 611 info 631 apply 692 kept 12";
        QTest::newRow("secondary clears broadcast in the diagnostic read")
            << "f4 b"
            << "s1"
            << "init 0d app 0e bc 0d sec 1e enh 0e reset e new - speed - addr 12- fab - label 640 "
               "head 624 info 634 apply 695 kept 12";
        QTest::newRow("secondary keeps a hidden broadcast in the address change")
            << "f0"
            << "b1 f2 s1"
            << "init 0d app 0d bc 1- sec 1e enh 0e reset d new e speed - addr 254- fab - label 640 "
               "head 622 info 632 apply 693 kept 12";
        QTest::newRow("fabrication follows the enhanced box")
            << "f1"
            << "s1 e1"
            << "init 0d app 0d bc 0d sec 1e enh 1e reset d new - speed - addr 12- fab e label 640 "
               "head 621 info 631 apply 692 kept 12";
        QTest::newRow("fabrication hidden with the secondary boxes")
            << "f1"
            << "s1 e1 s0"
            << "init 0e app 0d bc 0e sec 0e enh 1- reset d new - speed - addr 12e fab - label 641 "
               "head 621 info 631 apply 692 kept 12";
        QTest::newRow("stored secondary and enhanced") << "f1 s e"
                                                       << ""
                                                       << "init 0d app 0d bc 0d sec 1e enh 1e "
                                                          "reset d new - speed - addr 12- fab e "
                                                          "label 640 head 621 info 631 apply 692 "
                                                          "kept 12";
        QTest::newRow("stored feature out of range")
            << "f9"
            << ""
            << "init 0d app 0d bc 0e sec 0e enh 0- reset d new - speed - addr 12e fab - label 641 "
               "head 620 info 630 apply 691 kept 12";
    }
    void controls() {
        QFETCH(QString, stored);
        QFETCH(QString, actions);
        MeterFeatureControls::Stored s;
        s.address0 = QStringLiteral("12");
        for (const QString& w : stored.split(QLatin1Char(' '))) {
            if (w.startsWith(QLatin1Char('f')))
                s.feature = w.mid(1).toInt();
            s.alwaysInit |= w == QLatin1String("i");
            s.alwaysApp |= w == QLatin1String("a");
            s.broadcast |= w == QLatin1String("b");
            s.secondary |= w == QLatin1String("s");
            s.enhanced |= w == QLatin1String("e");
        }
        MeterFeatureControls c([](const QString&, const QString&) {});
        c.enter(s);
        act(c, actions);
        QTEST(describe(c), "state");
    }

    // What the handlers store, as the settings store would see it.
    void stores() {
        QMap<QString, QString> stored;
        MeterFeatureControls c(
            [&stored](const QString& key, const QString& value) { stored[key] = value; });
        MeterFeatureControls::Stored s;
        s.feature = 1;
        s.address0 = QStringLiteral("12");
        s.alwaysInit = true;
        c.enter(s);
        QCOMPARE(stored.value(meterkeys::Feature), QStringLiteral("1"));
        QCOMPARE(stored.value(meterkeys::UseSecondary), QStringLiteral("0"));
        act(c, QStringLiteral("f0 b1 f2 t:77"));
        QCOMPARE(stored.value(meterkeys::Feature), QStringLiteral("2"));
        QCOMPARE(stored.value(meterkeys::Broadcast), QStringLiteral("1"));
        // Forced off is stored as off; 254 and text typed under it are not kept.
        QCOMPARE(stored.value(meterkeys::AlwaysInit), QStringLiteral("1"));
        QCOMPARE(stored.value(meterkeys::Address0, QStringLiteral("none")), QStringLiteral("none"));
        act(c, QStringLiteral("f0"));
        QCOMPARE(stored.value(meterkeys::AlwaysInit), QStringLiteral("0"));
        act(c, QStringLiteral("b0 t:31 s1 e1"));
        QCOMPARE(stored.value(meterkeys::Address0), QStringLiteral("31"));
        QCOMPARE(stored.value(meterkeys::UseSecondary), QStringLiteral("1"));
        QCOMPARE(stored.value(meterkeys::UseEnhanced), QStringLiteral("1"));
    }

    void wildcards_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("empty") << "" << 8 << "FFFFFFFF";
        QTest::newRow("whole") << "12345678" << 8 << "12345678";
        QTest::newRow("star") << "12*4" << 8 << "FFFF12F4";
        QTest::newRow("lower f") << "f1" << 8 << "FFFFFFF1";
        QTest::newRow("other letters dropped") << "1a2b C3" << 8 << "FFFFF123";
        QTest::newRow("too long keeps the end") << "123456789" << 8 << "23456789";
        QTest::newRow("short length") << "1234" << 2 << "34";
    }
    void wildcards() {
        QFETCH(QString, text);
        QFETCH(int, n);
        QTEST(normaliseWildcardDigits(text, n), "normalised");
    }

    // Apply: the boxes' texts after clamping and normalisation, and the
    // operation with its address ("sel" when the selection goes first).
    void apply_data() {
        QTest::addColumn<int>("feature");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("newAddress");
        QTest::addColumn<QString>("flags"); // b broadcast, s secondary, e enhanced
        QTest::addColumn<QString>("plan");  // A|N|target|sel?

        QTest::newRow("300 becomes 250") << 0 << "300"
                                         << ""
                                         << ""
                                         << "250|0|250|";
        QTest::newRow("-5 becomes 0") << 0 << "-5"
                                      << ""
                                      << ""
                                      << "0|0|0|";
        QTest::newRow("253 stays") << 0 << "253"
                                   << ""
                                   << ""
                                   << "253|0|253|";
        QTest::newRow("255 stays") << 1 << "255"
                                   << ""
                                   << ""
                                   << "255|0|255|";
        QTest::newRow("text is 0") << 0 << "abc"
                                   << ""
                                   << ""
                                   << "0|0|0|";
        QTest::newRow("leading number") << 0 << " 7x"
                                        << ""
                                        << ""
                                        << "7|0|7|";
        QTest::newRow("half rounds to even") << 0 << "12.5"
                                             << ""
                                             << ""
                                             << "12|0|12|";
        QTest::newRow("and up to even") << 0 << "13.5"
                                        << ""
                                        << ""
                                        << "14|0|14|";
        QTest::newRow("new 252 becomes 250") << 2 << "1"
                                             << "252"
                                             << ""
                                             << "1|250|1|";
        QTest::newRow("new 251 stays") << 2 << "1"
                                       << "251"
                                       << ""
                                       << "1|251|1|";
        QTest::newRow("new -1 becomes 0") << 2 << "1"
                                          << "-1"
                                          << ""
                                          << "1|0|1|";

        QTest::newRow("initialise, broadcast") << 0 << "5"
                                               << ""
                                               << "b"
                                               << "5|0|254|";
        QTest::newRow("initialise, secondary") << 0 << "5"
                                               << ""
                                               << "s"
                                               << "5|0|253|sel";
        QTest::newRow("read, broadcast wins over secondary") << 1 << "5"
                                                             << ""
                                                             << "bs"
                                                             << "5|0|254|";
        QTest::newRow("read, secondary") << 1 << "5"
                                         << ""
                                         << "s"
                                         << "5|0|253|sel";
        QTest::newRow("address change ignores broadcast") << 2 << "254"
                                                          << "7"
                                                          << "b"
                                                          << "254|7|254|";
        QTest::newRow("address change, secondary") << 2 << "5"
                                                   << "7"
                                                   << "s"
                                                   << "5|7|253|sel";
        QTest::newRow("speed, secondary") << 3 << "5"
                                          << ""
                                          << "s"
                                          << "5|0|253|sel";
        QTest::newRow("diagnostic, broadcast uses the box") << 4 << "5"
                                                            << ""
                                                            << "bs"
                                                            << "5|0|5|";
        QTest::newRow("diagnostic, secondary") << 4 << "5"
                                               << ""
                                               << "s"
                                               << "5|0|253|sel";
        QTest::newRow("reset ignores broadcast") << 5 << "5"
                                                 << ""
                                                 << "b"
                                                 << "5|0|5|";
        QTest::newRow("reset, secondary, enhanced") << 5 << "5"
                                                    << ""
                                                    << "se"
                                                    << "5|0|253|sel+fab";
        QTest::newRow("enhanced without secondary") << 1 << "5"
                                                    << ""
                                                    << "e"
                                                    << "5|0|5|";
    }
    void apply() {
        QFETCH(int, feature);
        QFETCH(QString, flags);
        ApplyInput in;
        in.feature = feature;
        QFETCH(QString, address);
        QFETCH(QString, newAddress);
        in.address = address;
        in.newAddress = newAddress;
        in.broadcast = flags.contains(QLatin1Char('b'));
        in.secondary = flags.contains(QLatin1Char('s'));
        in.enhanced = flags.contains(QLatin1Char('e'));
        in.fabrication = QStringLiteral("1234");
        const ApplyPlan p = planApply(in);
        QCOMPARE(int(p.operation), feature);
        QCOMPARE(p.address, p.addressText.toInt());
        const QString sel = !p.select             ? QString()
                            : p.selectFabrication ? QStringLiteral("sel+fab")
                                                  : QStringLiteral("sel");
        QTEST(QStringList({p.addressText, p.newAddressText, QString::number(p.target), sel})
                  .join(QLatin1Char('|')),
              "plan");
        if (p.selectFabrication)
            QCOMPARE(*p.selectFabrication, QStringLiteral("FFFF1234"));
    }

    void lists() {
        languageTable().parse("690=(rare)\n760=None\n761=All\n776=Last\n");
        QCOMPARE(meterLineSpeedTexts(),
                 QStringList({"300", "600 (rare)", "1200 (rare)", "2400", "4800 (rare)", "9600"}));
        const QStringList resets = meterResetTexts();
        QCOMPARE(resets.size(), MeterResetListCount);
        QCOMPARE(resets.first(), QStringLiteral("None"));
        QCOMPARE(resets[1], QStringLiteral("0 - All"));
        QCOMPARE(resets.last(), QStringLiteral("15 - Last"));
    }

    void secondaryBoxes_data() {
        QTest::addColumn<QStringList>("typed"); // id, manufacturer, version, medium
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("empty") << QStringList{"", "", "", ""}
                               << QStringList{"FFFFFFFF", "FFFF", "FF", "FF"};
        QTest::newRow("wildcard digits")
            << QStringList{"12*4", "2C2D", "1", ""} << QStringList{"FFFF12F4", "2C2D", "F1", "FF"};
        QTest::newRow("too long keeps the end") << QStringList{"123456789", "ABCDEF", "123", "4"}
                                                << QStringList{"23456789", "CDEF", "23", "F4"};
    }
    void secondaryBoxes() {
        QFETCH(QStringList, typed);
        ApplyInput in;
        in.secondary = true;
        in.secId = typed[0];
        in.secManufacturer = typed[1];
        in.secVersion = typed[2];
        in.secMedium = typed[3];
        const ApplyPlan p = planApply(in);
        QTEST(QStringList({p.secId, p.secManufacturer, p.secVersion, p.secMedium}), "sent");
    }
};

QTEST_APPLESS_MAIN(TestMeterFeatures)
#include "tst_meterfeatures.moc"
