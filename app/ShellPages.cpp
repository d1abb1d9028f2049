#include "ShellPages.h"

#include "app/LanguageWindow.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WebPage.h"
#include "wizard/gui/WizardText.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

namespace kestrune {

namespace {

// Language texts of pages 0 and 1.
// texts: 100-104, 107, 110-118
constexpr int TextStartHeader = 100;
constexpr int TextStartInfo1 = 101;
constexpr int TextStartInfo2 = 102;
constexpr int TextTaskHeader = 103;
constexpr int TextChangeLanguage = 104;
constexpr int TextVersion = 107;
constexpr int TextFirstTask = 110;

// The web sites behind Label_Link(0) (the maker's) and Label_Link(1).
const char* const LinkUrls[2] = {"https://www.zelmor.example/", "https://m-bus.com/"};
const char* const MakerName = "Zelmor";

using wizardtext::indexed;
using wizardtext::text;

// A link shows its site's host name.
QString linkText(int index) {
    return QUrl(QLatin1String(LinkUrls[index])).host();
}

} // namespace

static_assert(ShellState::TaskCount == 9, "one option per task");

void addShellPages(PageRegistry& registry) {
    registry.add(std::make_unique<StartPage>(registry.frame()));
    registry.add(std::make_unique<TaskPage>(registry.frame()));
}

// ---- Page 0 ------------------------------------------------------------------------

StartPage::StartPage(WizardFrame& frame) : WizardPage(page::Start, frame, Header::Tall) {}

QString StartPage::headerText() const {
    return text(TextStartHeader);
}

void StartPage::build() {
    const int column = 2220;
    const int left = 120;
    const int top = twips::StartHeader + 150;

    m_version = new QLabel(this);
    m_version->setObjectName(QStringLiteral("Label_Version"));
    pageLayout().place(m_version, left, top, column - left, 255);

    m_maker = new QLabel(this);
    m_maker->setObjectName(QStringLiteral("Label_Maker"));
    pageLayout().place(m_maker, left, top + 270, column - left, 255);

    for (int i = 0; i < 2; ++i) {
        auto* link = new QLabel(this);
        link->setObjectName(indexed("Label_Link", i));
        link->setCursor(Qt::PointingHandCursor);
        QPalette pal = link->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(pal);
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->installEventFilter(this);
        pageLayout().place(link, left, top + 720 + i * 285, column - left, 255);
        m_links[i] = link;
    }

    m_changeLanguage = pageLayout().addButton(this, QStringLiteral("Command_ChangeLanguage"), left,
                                              twips::PanelHeight - 120 - 375, column - left);
    connect(m_changeLanguage, &QPushButton::clicked, this,
            [this] { showLanguageWindowModally(frame().mainWindow()); });

    const int infoLeft = 2400;
    const int infoWidth = twips::WindowWidth - infoLeft - 120;
    m_info[0] = pageLayout().addInfoText(this, 0, QRect(infoLeft, top, infoWidth, 1500));
    m_info[1] = pageLayout().addInfoText(
        this, 1, QRect(infoLeft, top + 1560, infoWidth, twips::PanelHeight - 120 - top - 1560));
}

void StartPage::setCaptions() {
    m_changeLanguage->setText(text(TextChangeLanguage));
    m_info[0]->setPlainText(text(TextStartInfo1));
    m_info[1]->setPlainText(text(TextStartInfo2));
    m_version->setText(text(TextVersion) + QLatin1Char(' ') + QLatin1String(KESTRUNE_VERSION));
    m_maker->setText(QLatin1String(MakerName));
    for (int i = 0; i < 2; ++i) {
        m_links[i]->setText(linkText(i));
        m_links[i]->setToolTip(QLatin1String(LinkUrls[i]));
    }
}

void StartPage::openLink(int index) {
    openWebSite(frame().mainWindow(), QUrl(QLatin1String(LinkUrls[index])));
}

bool StartPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int i = 0; i < 2; ++i) {
            if (watched == m_links[i]) {
                openLink(i);
                return true;
            }
        }
    }
    return WizardPage::eventFilter(watched, event);
}

// ---- Page 1 ------------------------------------------------------------------------

TaskPage::TaskPage(WizardFrame& frame) : WizardPage(page::Tasks, frame) {}

QString TaskPage::headerText() const {
    return text(TextTaskHeader);
}

void TaskPage::build() {
    for (int i = 0; i < ShellState::TaskCount; ++i) {
        auto* option = new QRadioButton(this);
        option->setObjectName(indexed("Option_SelectWhatToDo", i));
        pageLayout().place(option, 480, 960 + i * 405, twips::WindowWidth - 960, 330);
        option->installEventFilter(this);
        connect(option, &QRadioButton::clicked, this, [this, i] { taskOptionClicked(i); });
        // Tasks 7 and 8 have no function of their own: not offered.
        option->setVisible(i < 7);
        m_options[i] = option;
    }
}

void TaskPage::prepare() {
    taskOptionClicked(state().selectedTask);
}

void TaskPage::setCaptions() {
    for (int i = 0; i < ShellState::TaskCount; ++i)
        m_options[i]->setText(text(TextFirstTask + i));
}

void TaskPage::loadSettings() {
    showSelectedTask();
}

void TaskPage::shellStateChanged() {
    showSelectedTask();
}

void TaskPage::showSelectedTask() {
    for (int i = 0; i < ShellState::TaskCount; ++i)
        m_options[i]->setEnabled(state().taskSelectable(i));
    m_options[state().selectedTask]->setChecked(true);
}

void TaskPage::taskOptionClicked(int index) {
    state().selectTask(index);
    m_options[state().selectedTask]->setChecked(true);
}

bool TaskPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < ShellState::TaskCount; ++i) {
            if (watched == m_options[i] && m_options[i]->isEnabled()) {
                taskOptionClicked(i);
                frame().next();
                return true;
            }
        }
    }
    return WizardPage::eventFilter(watched, event);
}

} // namespace kestrune
