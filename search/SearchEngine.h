#pragma once

#include "channel/Link.h"
#include "search/ProbeResult.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

// The meter search without windows: the primary address scan and the
// secondary address tree search over the link, with the start both share
// (the link closed and reopened, the bus speed learnt from the gateway's
// setup record 0 or asked, the reply waits per speed and gateway family,
// the collision delays). The search window and kestrune-cli scan drive the
// same engine; it reports through signals and asks its two questions
// through SearchQuestions, and never touches a widget.
//
// Every wait is one of the link's event-loop waits: the user interface
// keeps running during a search, which is how an abort gets through.
namespace kestrune {

class IniFile;

enum class SearchMethod : int {
    Primary = 0,   // Option_SearchMethod(0)
    Secondary = 1, // Option_SearchMethod(1)
};

// The active family of the search time-out table (optActiveSetting).
enum class GatewayFamily : int {
    K1 = 0,
    K2 = 1,
};

// The two reply waits of a search, in ms.
struct SearchTimeouts {
    static constexpr int DefaultSndNke = 1000;
    static constexpr int DefaultRspUd2 = 10000;
    int sndNke = DefaultSndNke; // after SND_NKE and after a selection
    int rspUd2 = DefaultRspUd2; // after REQ_UD2
};

// The speed buttons Option_Timeout(0..2) stand for 300, 2400 and 9600 baud.
inline constexpr int SpeedChoiceCount = 3;
// "300", "2400", "9600"; empty outside 0..2.
QString speedChoiceBaud(int choice);

// The waits for a baud text and family from INI section "Search" (keys
// "SND_NKE_Timeout_" + baud + "_K1" / "_K2" and "RSP_UD2_Timeout_..."), 1000
// and 10000 when a key is missing (so any speed but 300, 2400 and 9600 gets
// those). A stored value that is not a number keeps the wait of previous.
SearchTimeouts searchTimeouts(const IniFile& ini, const QString& baud, GatewayFamily family,
                              const SearchTimeouts& previous = {});

// Caption of a speed button: "1000 ms/10000 ms (300 bps)", from the keys of
// the family.
QString speedChoiceCaption(const IniFile& ini, int choice, GatewayFamily family);

// Whether a row stays in the list while "view found only" is ticked: the
// primary scan drops the rows where nothing answered (icon 1), the
// secondary search every row that is not a found meter (icon 2).
bool keptWhenFoundOnly(SearchMethod method, const ProbeResult& row);

// The answers to the two bus-speed questions of a search start. The window
// asks them in Yes/No boxes, the command line answers from its options.
class SearchQuestions {
public:
    virtual ~SearchQuestions() = default;
    // The chosen device is a K2 gateway, whose line speed cannot be read
    // (texts 829..832, one a line). Yes goes on with the speed buttons.
    virtual bool confirmK2Speed(const QString& question) = 0;
    // Setup record 0 could not be read (texts 833, the address, 834, then
    // 835..838 and 832). Yes goes on at 300 baud with the speed buttons;
    // No abandons the search.
    virtual bool confirmUnknownSpeed(const QString& question) = 0;
};

// Answers both questions the same way, without asking.
class FixedSearchAnswers : public SearchQuestions {
public:
    explicit FixedSearchAnswers(bool yes) : m_yes(yes) {}
    bool confirmK2Speed(const QString&) override { return m_yes; }
    bool confirmUnknownSpeed(const QString&) override { return m_yes; }

private:
    bool m_yes;
};

// Everything one search needs, as the window's controls and the settings
// hold it (the command line fills it from its options).
struct SearchSettings {
    SearchMethod method = SearchMethod::Primary;

    // Primary scan: Text_LowPrimaryAddress, Text_HighPrimaryAddress,
    // Check_SND_NKE, Check_REQ_UD2.
    int low = 0;
    int high = 250;
    bool sndNke = true;
    bool reqUd2 = true;

    // Secondary search: the masks as typed (Text_SearchMaskId, ...Mnfct,
    // ...Version, ...Media), Chk_SearchUseFabrication with
    // Text_SearchFabrication, and chkSec_REQ_UD2. The three masks after the
    // identification and the fabrication number may be changed while the
    // search runs (setSelectionMasks).
    QString maskId = QStringLiteral("FFFFFFFF");
    QString maskManufacturer = QStringLiteral("FFFF");
    QString maskVersion = QStringLiteral("FF");
    QString maskMedium = QStringLiteral("FF");
    bool useFabrication = false;
    QString fabrication;
    bool secondaryReqUd2 = true;

    // The link as the connection page stored it, and the bus delay of the
    // page that opened the search.
    LinkSettings link;
    int busDelay = 50;

    // What the start uses to learn the bus speed of a network gateway: the
    // device chosen on the discovery page (kind 2 = K2, 0 = none chosen)
    // and its address, the address typed on the connection page
    // (Text_EnterIPAddress, shown in the questions) and the local adapter
    // the setup record is read from.
    int chosenDeviceKind = 0;
    QString chosenDeviceIp;
    QString typedAddress;
    QString adapterAddress;

    // The active family of the time-out table (Option_SearchActiveSetting).
    GatewayFamily family = GatewayFamily::K1;
    // The speed button selected when the speed choice is shown
    // (Option_Search_Timeout, 0..2).
    int speedChoice = 0;
};

// The counters of the status bar.
struct SearchCounters {
    int sndNkeFound =
        0; // SND_NKE acknowledged (primary), selections answered by one E5 (secondary)
    int rspUd2Found = 0;   // meters whose data were decoded
    int numberOfScans = 0; // addresses probed (primary), selections sent (secondary)
};

class SearchEngine : public QObject {
    Q_OBJECT
public:
    // How a search ended.
    enum class Outcome {
        Completed, // every address or digit was tried
        Aborted,   // abort() stopped it
        Abandoned, // nothing was probed: the serial port did not open, or
                   // the user declined a bus-speed question
    };

    // Status bar panels.
    enum Panel : int {
        PanelPortSettings = 1,
        PanelAddress = 2, // address or mask probed; the summary at the end
        PanelSndNke = 3,
        PanelRspUd2 = 4,
    };

    // The progress bar of the secondary search: 11 steps per level.
    static constexpr int SecondaryBandWidth = 11;
    static constexpr int SecondaryProgressMaximum = 88;
    // SearchSend waits at most this many 1 ms passes for bus silence.
    static constexpr int BusQuietCapMs = 10001;

    // The questions are asked through answers (not owned; may be null: then
    // every question is answered No). The INI file gives the time-out table
    // and the collision delays; it must outlive the engine.
    SearchEngine(Link& link, const IniFile& ini, SearchQuestions* answers,
                 QObject* parent = nullptr);
    ~SearchEngine() override;

    void setQuestions(SearchQuestions* answers) { m_answers = answers; }

    // ValidateSettings: primary, 0 <= low <= high < 252 and at least one of
    // SND_NKE and REQ_UD2; secondary, an identification mask of exactly 8
    // characters (blanks around it not counted).
    static bool settingsValid(const SearchSettings& settings);

    // Command_Search_Click: runs one whole search and returns when it ends
    // (the waits inside run the event loop). A call while a search runs, or
    // with settings that are not valid, returns Abandoned at once and
    // changes nothing.
    Outcome run(const SearchSettings& settings);
    bool isRunning() const { return m_running; }

    // Command_AbortSearch / Command_Exit: the search stops before the next
    // address or digit (the exchange under way is finished first).
    void abort() { m_breakFlag = true; }
    bool abortRequested() const { return m_breakFlag; }

    // A speed button clicked while the speed choice is shown: the waits of
    // that speed and of the active family, from now on.
    void chooseSpeed(int choice);
    // The masks after the identification, read anew for every selection.
    void setSelectionMasks(const QString& manufacturer, const QString& version,
                           const QString& medium, bool useFabrication, const QString& fabrication);

    // ---- What the last (or running) search found ------------------------------

    // Every row in the order added, "view found only" not applied.
    const QList<ProbeResult>& rows() const { return m_rows; }
    const SearchCounters& counters() const { return m_counters; }
    // Portsettings: status panel 1, and the head of both exports.
    const QString& portSettings() const { return m_portSettings; }
    const SearchTimeouts& timeouts() const { return m_timeouts; }
    int collisionPrimDelay() const { return m_collisionPrimDelay; }
    int collisionSecDelay() const { return m_collisionSecDelay; }
    // Whether the last start showed the speed choice (Frame_Timeout).
    bool speedChoiceShown() const { return m_speedChoiceShown; }
    // The speed of the bus as the start learnt it ("2400"); empty if unknown.
    const QString& baudText() const { return m_baud; }

    // Kept for the engine's life (the search window's): a host whose
    // speed question was answered Yes is not asked about again.
    bool speedConfirmed() const { return m_speedConfirmed; }
    const QString& confirmedHost() const { return m_confirmedHost; }

signals:
    void started();
    // The result list was emptied (start of a search).
    void rowsCleared();
    // A row was added (column 1 and icon 1) and, once its probe is decided,
    // changed; index counts rows() from 0.
    void rowAdded(int index, const kestrune::ProbeResult& row);
    void rowChanged(int index, const kestrune::ProbeResult& row);
    void progressRangeChanged(int minimum, int maximum);
    void progressChanged(int value);
    // A status panel's new text (Panel).
    void statusChanged(int panel, const QString& text);
    // The start could not learn the speed: Frame_Timeout is shown with the
    // speed button choice selected.
    void speedChoiceRequested(int choice);
    // A socket refused a probe: text 154, two line breaks, the reason in
    // single quotes. The window shows a warning box; the search goes on.
    void sendFailed(const QString& message);
    void finished(kestrune::SearchEngine::Outcome outcome);

private:
    bool startLink(const SearchSettings& settings);
    int iniDelay(const QString& key, int previous) const;
    void searchSend(const QByteArray& telegram);
    QByteArray searchReceive(int timeoutMs);
    int addRow(const QString& probed);
    void readData(ProbeResult& row, const QByteArray& reply);
    void scanPrimary(int low, int high);
    int scanSecondary();
    // ScanTree: the ten digits at position p and the subtrees below the
    // answered ones; levelDelay is the quiet time in force at this level.
    void scanTree(QString mask, int p, int levelDelay);
    // One selection and its row; true when something answered a wildcard
    // mask, so the search descends below it.
    bool probeSelection(const QString& mask, int p, int digit);

    Link& m_link;
    const IniFile& m_ini;
    SearchQuestions* m_answers = nullptr;

    bool m_running = false;
    bool m_breakFlag = false;
    QList<ProbeResult> m_rows;
    SearchCounters m_counters;
    QString m_portSettings;
    QString m_baud;
    SearchTimeouts m_timeouts;
    GatewayFamily m_family = GatewayFamily::K1;
    int m_busDelay = 50;
    int m_activeBusDelay = 50;
    int m_collisionPrimDelay = 3000;
    int m_collisionSecDelay = 3000;
    bool m_speedChoiceShown = false;
    bool m_speedConfirmed = false;
    QString m_confirmedHost;
    SearchSettings m_settings;
};

} // namespace kestrune

Q_DECLARE_METATYPE(kestrune::ProbeResult)
