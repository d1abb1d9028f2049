#pragma once

// The wizard's page interface.
//
// Every page of the wizard (Picture_Page(n)) is a WizardPage: a widget that
// the frame (WizardWindow in app/: logo, Back / Next / Cancel, navigation,
// the traffic log) shows one at a time. The frame never looks inside a page;
// it calls the page's steps:
//
//   build()              once, when the page is registered: lay out the
//                        controls with pageLayout() (twips) and connect them;
//   prepare()            once at start-up, after the shell state was
//                        restored: saved options, fixed lists;
//   setCaptions()        once at start-up: captions from the language;
//   loadSettings()       LoadPageSettings, each time the page is laid out
//                        (Next, Back, start-up): controls from the settings;
//   enter()              ShowPage's entry action, once the page is visible;
//   beforeNext()         Next leads away: questions asked while the page
//                        still shows;
//   store()              SavePageSettings on Next: store the controls;
//   leave()              the page was left, by Next (after store()) or Back;
//   linkLost(reason)     the link closed by itself while the page showed;
//   shellStateChanged()  another page changed shell state this page shows.
//
// Before loadSettings() the frame gives Command_Next its caption and the
// enabled state of nextStartsEnabled(), and Label_Header(n) the text of
// headerText(). Everything else a page needs of the frame is WizardFrame:
// the shell state, the link, the Next button, information boxes, the
// traffic log, and next() to move on as if the user had pressed Next.
//
// Adding a page:
// 1. Its number and its Next/Back rules go into wizard/Navigation.h
//    (page::All and the tables of Navigation.cpp), the one place for them.
// 2. The class goes into the gui/ folder of the subsystem it drives (for
//    example netsetup/gui/PingPage.h), into that folder's widget library
//    (kestrune_netsetup_gui), which links the subsystem's plain library and
//    kestrune_wizard_page (or kestrune_channel_gui for a page that works
//    over the link).
// 3. It derives from WizardPage (a page that opens the link on entry, as
//    pages 60 to 100 do, from LinkPage or ReadPage in channel/gui/LinkPage.h),
//    passes its number to the constructor and overrides build() and the
//    steps it needs. Controls carry the system's names as objectName;
//    language texts come from wizardtext::text(n) (wizard/gui/WizardText.h),
//    and the marker comment beside their constants lists their numbers for
//    the language test (lang/README.md).
// 4. The folder's registration function registers it (for example
//    addNetsetupPages() in netsetup/gui/NetsetupPages.cpp):
//        registry.add(std::make_unique<PingPage>(registry.frame()));
//    A new gui/ folder gets such a function, and the program (app/
//    CMakeLists.txt and WizardWindow::registerPages) links and calls it.
//    A page number of page::All without a page ends the program at start,
//    with a message naming the number.

#include "wizard/gui/PageLayout.h"

#include <QWidget>

#include <memory>

class QLabel;

namespace kestrune {

class Link;
class ShellState;

// What the wizard's frame offers its pages.
class WizardFrame {
public:
    virtual ~WizardFrame() = default;

    // The program-wide shell state: selected task, current page, options.
    virtual ShellState& state() = 0;
    // The wizard window: the parent of message boxes and dialogs.
    virtual QWidget* mainWindow() = 0;
    // The one link to the bus equipment.
    virtual Link& link() = 0;
    // Closes the link (serial, UDP or TCP) and clears MeterPageLinkOpen.
    virtual void closeLink() = 0;

    // Command_Next: enabled or not, and its caption (the frame gives it
    // language text 234 each time a page is laid out).
    virtual void setNextEnabled(bool enabled) = 0;
    virtual void setNextText(const QString& text) = 0;
    // Moves on as if the user pressed Next (nothing happens while Next is
    // disabled).
    virtual void next() = 0;

    // Shows language text n in an information box.
    virtual void showInformation(int textNumber) = 0;
    // The Debug buttons of the task pages: opens or closes the traffic log.
    virtual void toggleTrafficLog() = 0;
    // Tells every page that the shell state changed (see shellStateChanged).
    virtual void notifyShellStateChanged() = 0;
};

// One page of the wizard: the panel Picture_Page(n) with its header
// Picture_Header(n) and Label_Header(n), and the page's controls.
class WizardPage : public QWidget {
    Q_OBJECT
public:
    // The header is 690 twips high with the logo at its right; the start
    // page has a tall header (1095 twips) with the logo at its left.
    enum class Header { Normal, Tall };

    WizardPage(int number, WizardFrame& frame, Header header = Header::Normal);

    int number() const { return m_number; }
    bool hasTallHeader() const { return m_tallHeader; }
    QWidget* header() const { return m_header; }
    QLabel* headerLabel() const { return m_headerLabel; }

    // The text of Label_Header(n), asked for at start-up and each time the
    // page is laid out; an empty text leaves the label as it is.
    virtual QString headerText() const { return {}; }
    // Whether Command_Next starts enabled when the page is laid out (the
    // navigation's table; a page then enables it once its work is done).
    virtual bool nextStartsEnabled() const;

    virtual void build() = 0;
    virtual void prepare() {}
    virtual void setCaptions() {}
    virtual void loadSettings() {}
    virtual void enter() {}
    virtual void beforeNext() {}
    virtual void store() {}
    virtual void leave() {}
    virtual void linkLost(const QString& reason) { (void)reason; }
    virtual void shellStateChanged() {}

protected:
    WizardFrame& frame() const { return m_frame; }
    ShellState& state() const { return m_frame.state(); }
    const PageLayout& pageLayout() const { return m_layout; }
    // Whether this page is the one on show.
    bool isCurrent() const;

    void paintEvent(QPaintEvent* event) override;

private:
    int m_number;
    WizardFrame& m_frame;
    PageLayout m_layout;
    bool m_tallHeader;
    QWidget* m_header = nullptr;
    QLabel* m_headerLabel = nullptr;
};

// Where the pages are registered: number -> page.
class PageRegistry {
public:
    virtual ~PageRegistry() = default;
    // The frame every page is built for.
    virtual WizardFrame& frame() = 0;
    // Takes the page, builds it (build()) and files it under its number.
    // A number registered twice is a programming error and ends the program.
    virtual void add(std::unique_ptr<WizardPage> page) = 0;
};

} // namespace kestrune
