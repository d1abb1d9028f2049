#pragma once

#include "wizard/gui/WizardPage.h"

class QLabel;
class QPushButton;

namespace kestrune {

// A task page that works over the link (pages 60 to 100). Laid out, it
// takes its bus delay and time-outs from its INI section (60 "IP", 70
// "ModBus", 80 "MBusASCII", 90 "PadPuls", 100 "FreePacketAndString");
// shown, it opens the link for the selected task, with the window disabled
// while the link opens. The page says how that went through
// showLinkFailure() and showLinkOpened(); a link that closes by itself while
// the page shows is a failure too (language text 398), and stops the
// continuous poll.
class LinkPage : public WizardPage {
    Q_OBJECT
public:
    // Whether leaving the page, by Next or by Back, closes the link (pages
    // 60, 90 and 100); the others leave that to the navigation.
    enum class OnLeave { KeepLink, CloseLink };

    LinkPage(int number, WizardFrame& frame, OnLeave onLeave = OnLeave::KeepLink);

    // A page that overrides these calls them too.
    void loadSettings() override;
    void enter() override;
    void leave() override;
    void linkLost(const QString& reason) override;

protected:
    // The link could not be opened (language text 158) or was lost (398),
    // with the link's reason, which may be empty.
    virtual void showLinkFailure(int textNumber, const QString& error) = 0;
    // The link is open; a page shows lineSettingsNote() with its word.
    virtual void showLinkOpened() = 0;
    // After either of them, while the page still shows.
    virtual void linkAttempted(bool open) { (void)open; }

    // The link's note on a line setting the serial port just opened could
    // not carry (Link::lineSettingsNote()), as a widget shows it.
    QString lineSettingsNote() const;

private:
    OnLeave m_onLeave;
};

// A read page (pages 70 and 80): a LinkPage with a result row at its foot,
// the "Result" label, the result label beside it, the Read button and the
// Debug button (which opens or closes the traffic log). Laid out, the result
// label shows the ready text (language text 364) in blue; a link failure
// shows in dark red and disables Read; an open link empties the result
// label, enables Read and offers the continuous poll. The row's captions are
// language texts: the read pages' common ones unless the page names its own.
class ReadPage : public LinkPage {
    Q_OBJECT
public:
    using LinkPage::LinkPage;

    // A page that overrides these calls them too.
    void setCaptions() override;
    void loadSettings() override;

protected:
    // texts: 365-367
    static constexpr int TextRowResult = 365;
    static constexpr int TextRowRead = 366;
    static constexpr int TextRowDebug = 367;

    struct RowNames {
        const char* result;     // the "Result" label
        const char* resultText; // the result label
        const char* read;       // the Read button
        const char* debug;      // the Debug button
        // Language texts of the captions of the "Result" label and the buttons.
        int resultCaption = TextRowResult;
        int readCaption = TextRowRead;
        int debugCaption = TextRowDebug;
    };
    // Lays out the result row, the result label resultHeight twips high
    // above the buttons; call it from build().
    void buildResultRow(const RowNames& names, int resultHeight = twips::ResultHeight);

    QLabel* resultLabel() const { return m_result; }
    QLabel* resultText() const { return m_resultText; }
    QPushButton* readButton() const { return m_read; }
    QPushButton* debugButton() const { return m_debug; }

    void showLinkFailure(int textNumber, const QString& error) override;
    void showLinkOpened() override;

private:
    RowNames m_names{};
    QLabel* m_result = nullptr;
    QLabel* m_resultText = nullptr;
    QPushButton* m_read = nullptr;
    QPushButton* m_debug = nullptr;
};

} // namespace kestrune
