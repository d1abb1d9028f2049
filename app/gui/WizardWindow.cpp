#include "WizardWindow.h"

#include "app/Language.h"
#include "app/Settings.h"
#include "app/gui/LanguageHook.h"
#include "app/gui/Logo.h"
#include "app/gui/WebPage.h"
#include "app/gui/WizardText.h"
#include "channel/Link.h"

#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
#include "channel/gui/DebugWindow.h"
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

namespace kestrune {

namespace {

// Language texts of the shell.
// texts: 10, 100-104, 110-118, 208, 209, 222, 223, 225, 232-234, 300, 301, 350, 351, 360, 361
// texts: 107, 370
constexpr int TextCaption = 10;
constexpr int TextStartHeader = 100;
constexpr int TextStartInfo1 = 101;
constexpr int TextStartInfo2 = 102;
constexpr int TextTaskHeader = 103;
constexpr int TextChangeLanguage = 104;
constexpr int TextFirstTask = 110;
constexpr int TextNoAdapter = 225;
constexpr int TextCancel = 232;
constexpr int TextBack = 233;
constexpr int TextNext = 234;
constexpr int TextNextDeviceSettings = 370;
constexpr int TextVersion = 107;
constexpr int TextOpenWebPage = 226;

// The web sites behind Label_Link(0) (the maker's) and Label_Link(1).
const char* const LinkUrls[2] = {"https://www.zelmor.example/", "https://m-bus.com/"};
const char* const MakerName = "Zelmor";

using wizardtext::indexed;
using wizardtext::shown;

// A link shows its site's host name.
QString linkText(int index) {
    return QUrl(QLatin1String(LinkUrls[index])).host();
}

} // namespace

void drawEtchedLine(QWidget* widget, int y) {
    QPainter p(widget);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, y, widget->width() - 1, y);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(0, y + 1, widget->width() - 1, y + 1);
}

void PagePanel::setSeparatorY(int y) {
    m_separatorY = y;
    update();
}

void PagePanel::paintEvent(QPaintEvent*) {
    if (m_separatorY >= 0)
        drawEtchedLine(this, m_separatorY);
}

WizardWindow::WizardWindow(ShellState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("Kestrune_Wizard"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildWindow();
    connect(&link(), &Link::connectionLost, this, &WizardWindow::linkLost);
    connect(&link(), &Link::sendFailed, this, [this](const QString& message) {
        QMessageBox::warning(this, QStringLiteral("Kestrune"), shown(message));
    });
}

WizardWindow::~WizardWindow() {
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::closeWindow();
#endif
}

int WizardWindow::twipsX(int twips) const {
    return twipsToPixels(twips, logicalDpiX());
}
int WizardWindow::twipsY(int twips) const {
    return twipsToPixels(twips, logicalDpiY());
}

void WizardWindow::setGeometryTwips(QWidget* w, int left, int top, int width, int height) const {
    const int x = twipsX(left);
    const int y = twipsY(top);
    w->setGeometry(x, y, twipsX(left + width) - x, twipsY(top + height) - y);
}

void WizardWindow::buildWindow() {
    setFixedSize(twipsX(WidthTwips), twipsY(HeightTwips));

    for (int n : page::All)
        buildPage(n);

    m_logo = new LogoWidget(this);
    m_logo->setObjectName(QStringLiteral("Image_Logo"));

    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("Command_Back"));
    m_next = new QPushButton(this);
    m_next->setObjectName(QStringLiteral("Command_Next"));
    m_next->setDefault(true);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("Command_Cancel"));
    const int buttonTop = ButtonSeparatorTwips + 420;
    setGeometryTwips(m_back, 3735, buttonTop, 1125, 375);
    setGeometryTwips(m_next, 4890, buttonTop, 1125, 375);
    setGeometryTwips(m_cancel, 6285, buttonTop, 1125, 375);

    connect(m_back, &QPushButton::clicked, this, &WizardWindow::back);
    connect(m_next, &QPushButton::clicked, this, &WizardWindow::next);
    connect(m_cancel, &QPushButton::clicked, this, &WizardWindow::close);
}

void WizardWindow::buildPage(int n) {
    Page pg;
    pg.panel = new PagePanel(this);
    pg.panel->setObjectName(indexed("Picture_Page", n));
    // The panel ends just above the window's separator line.
    setGeometryTwips(pg.panel, 0, 0, WidthTwips, ButtonSeparatorTwips - 30);
    pg.panel->hide();

    pg.header = new QWidget(pg.panel);
    pg.header->setObjectName(indexed("Picture_Header", n));
    pg.header->setAutoFillBackground(true);
    QPalette pal = pg.header->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    pg.header->setPalette(pal);

    pg.headerLabel = new QLabel(pg.header);
    pg.headerLabel->setObjectName(indexed("Label_Header", n));
    pg.headerLabel->setWordWrap(true);
    pg.headerLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = pg.headerLabel->font();
    bold.setBold(true);
    pg.headerLabel->setFont(bold);

    if (n == page::Start) {
        setGeometryTwips(pg.header, 0, 0, WidthTwips, StartHeaderTwips);
        setGeometryTwips(pg.headerLabel, 2400, 0, WidthTwips - 2400 - 120, StartHeaderTwips);
        QFont big = bold;
        big.setPointSizeF(big.pointSizeF() * 1.25);
        pg.headerLabel->setFont(big);
    } else {
        setGeometryTwips(pg.header, 0, 0, WidthTwips, HeaderTwips);
        setGeometryTwips(pg.headerLabel, 240, 0, LogoLeftTwips - 240 - 120, HeaderTwips);
        pg.panel->setSeparatorY(twipsY(PageSeparatorTwips));
    }
    m_pages[n] = pg;

    switch (n) {
    case page::Start:
        buildStartPage();
        break;
    case page::Tasks:
        buildTaskPage();
        break;
    case page::SetupIpMac:
        buildSetupIpMacPage();
        break;
    case page::SetupIpAddress:
        buildSetupIpAddressPage();
        break;
    case page::SetupIpNetwork:
    case page::SerialConsole:
        addInfoText(pg.panel, n, QRect(240, 900, WidthTwips - 480, 1500));
        break;
    case page::Ping:
        addInfoText(pg.panel, n, QRect(240, 900, WidthTwips - 480, 1500));
        buildPingPage();
        break;
    case page::Connection:
        buildConnectionPage();
        break;
    case page::DeviceSettings:
        buildDeviceSettingsPage();
        break;
    case page::MeterFeatures:
        buildMeterFeaturesPage();
        break;
    case page::Modbus:
        buildModbusPage();
        break;
    case page::MBusAscii:
        buildAsciiPage();
        break;
    case page::Task7:
    case page::Task8:
        buildLinkTestPage(n);
        break;
    default:
        break;
    }
}

QPlainTextEdit* WizardWindow::addInfoText(QWidget* parent, int index, const QRect& twips) {
    auto* info = new QPlainTextEdit(parent);
    info->setObjectName(indexed("Text_Info", index));
    info->setReadOnly(true);
    info->setFrameShape(QFrame::NoFrame);
    info->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    info->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = info->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    info->setPalette(pal);
    info->setFocusPolicy(Qt::ClickFocus);
    setGeometryTwips(info, twips.x(), twips.y(), twips.width(), twips.height());
    m_infoTexts[index] = info;
    return info;
}

void WizardWindow::buildStartPage() {
    QWidget* panel = m_pages[page::Start].panel;
    const int column = 2220;
    const int left = 120;
    const int top = StartHeaderTwips + 150;

    m_version = new QLabel(panel);
    m_version->setObjectName(QStringLiteral("Label_Version"));
    setGeometryTwips(m_version, left, top, column - left, 255);

    m_maker = new QLabel(panel);
    m_maker->setObjectName(QStringLiteral("Label_Maker"));
    setGeometryTwips(m_maker, left, top + 270, column - left, 255);

    for (int i = 0; i < 2; ++i) {
        auto* link = new QLabel(panel);
        link->setObjectName(indexed("Label_Link", i));
        link->setCursor(Qt::PointingHandCursor);
        QPalette pal = link->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(pal);
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->installEventFilter(this);
        setGeometryTwips(link, left, top + 720 + i * 285, column - left, 255);
        m_links[i] = link;
    }

    m_changeLanguage = new QPushButton(panel);
    m_changeLanguage->setObjectName(QStringLiteral("Command_ChangeLanguage"));
    setGeometryTwips(m_changeLanguage, left, ButtonSeparatorTwips - 30 - 120 - 375, column - left,
                     375);
    connect(m_changeLanguage, &QPushButton::clicked, this, &WizardWindow::changeLanguage);

    const int infoLeft = 2400;
    const int infoWidth = WidthTwips - infoLeft - 120;
    addInfoText(panel, 0, QRect(infoLeft, top, infoWidth, 1500));
    addInfoText(
        panel, 1,
        QRect(infoLeft, top + 1560, infoWidth, ButtonSeparatorTwips - 30 - 120 - top - 1560));
}

void WizardWindow::buildTaskPage() {
    QWidget* panel = m_pages[page::Tasks].panel;
    for (int i = 0; i < ShellState::TaskCount; ++i) {
        auto* option = new QRadioButton(panel);
        option->setObjectName(indexed("Option_SelectWhatToDo", i));
        setGeometryTwips(option, 480, 960 + i * 405, WidthTwips - 960, 330);
        option->installEventFilter(this);
        connect(option, &QRadioButton::clicked, this, [this, i] { taskOptionClicked(i); });
        // Tasks 7 and 8 have no function of their own: not offered.
        option->setVisible(i < 7);
        m_taskOptions[i] = option;
    }
}

void WizardWindow::prepare() {
    setWindowTitle(shown(getText(TextCaption)));
    setFixedSize(twipsX(WidthTwips), twipsY(HeightTwips));

    // The saved options; their click handlers store them again.
    m_state.restoreSavedOptions();
    taskOptionClicked(m_state.selectedTask);
    changeIpSettingsClicked(m_state.changeIpSettingsOption);
    dhcpClicked(m_state.dhcpOption);
    enterIpAddressClicked(m_state.enterIpAddressOption);

    setCaptions();
    fillFixedLists();
    m_version->setText(m_version->text() + QLatin1String(KESTRUNE_VERSION));
}

void WizardWindow::setCaptions() {
    m_back->setText(shown(getText(TextBack)));
    m_next->setText(shown(getText(TextNext)));
    m_cancel->setText(shown(getText(TextCancel)));
    m_changeLanguage->setText(shown(getText(TextChangeLanguage)));

    m_pages[page::Start].headerLabel->setText(shown(getText(TextStartHeader)));
    m_infoTexts[0]->setPlainText(shown(getText(TextStartInfo1)));
    m_infoTexts[1]->setPlainText(shown(getText(TextStartInfo2)));
    m_pages[page::Tasks].headerLabel->setText(shown(getText(TextTaskHeader)));
    for (int i = 0; i < ShellState::TaskCount; ++i)
        m_taskOptions[i]->setText(shown(getText(TextFirstTask + i)));

    m_version->setText(shown(getText(TextVersion)) + QLatin1Char(' '));
    m_maker->setText(QLatin1String(MakerName));
    for (int i = 0; i < 2; ++i) {
        m_links[i]->setText(linkText(i));
        m_links[i]->setToolTip(QLatin1String(LinkUrls[i]));
    }

    // Texts of the pages that the task pages fill in: their headers and
    // information boxes.
    m_pages[page::SetupIpNetwork].headerLabel->setText(shown(getText(208)));
    m_infoTexts[page::SetupIpNetwork]->setPlainText(shown(getText(209)));
    m_pages[page::Ping].headerLabel->setText(shown(getText(350)));
    m_infoTexts[page::Ping]->setPlainText(shown(getText(351)));
    setPageCaptions();
}

void WizardWindow::taskOptionClicked(int index) {
    m_state.selectTask(index);
    m_taskOptions[m_state.selectedTask]->setChecked(true);
}

void WizardWindow::loadPageSettings(int n) {
    const Page& pg = m_pages.at(n);
    pg.panel->move(0, 0);
    if (n == page::Start) {
        m_logo->setParent(pg.header);
        setGeometryTwips(m_logo, 120, 90, 2160, StartHeaderTwips - 180);
    } else {
        m_logo->setParent(pg.header);
        setGeometryTwips(m_logo, LogoLeftTwips, 60, WidthTwips - LogoLeftTwips - 120,
                         HeaderTwips - 120);
    }
    m_logo->show();

    m_next->setText(shown(getText(TextNext)));
    m_back->setEnabled(n != page::Start);
    m_next->setEnabled(true);
    // The serial format fields of the connection page show only for the
    // tasks that choose them.
    for (int i = 0; i < 3; ++i) {
        m_formatLabels[i]->hide();
        m_formatLists[i]->hide();
    }
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::setPollBoxEnabled(false);
#endif

    switch (n) {
    case page::SerialConsole: {
        const bool task1 = m_state.selectedTask == 1;
        pg.headerLabel->setText(shown(getText(task1 ? 222 : 300)));
        m_infoTexts[page::SerialConsole]->setPlainText(shown(getText(task1 ? 223 : 301)));
        break;
    }
    case page::DeviceSettings:
        m_next->setText(shown(getText(TextNextDeviceSettings)));
        break;
    default:
        break;
    }
    if (!nextEnabledOnEntry(n))
        m_next->setEnabled(false);
    loadPageContent(n);
}

void WizardWindow::showPage(int n) {
    m_state.currentPage = n;
    QWidget* panel = m_pages.at(n).panel;
    panel->show();
    panel->raise();
    panel->update();
    runEntryAction(n);
}

void WizardWindow::savePageSettings(int n, bool store) {
    m_pages.at(n).panel->hide();
    if (store)
        storePageContent(n);
    if (n == page::MeterFeatures || n == page::Task7 || n == page::Task8) {
        closeLink();
        m_state.meterPageLinkOpen = false;
    }
}

void WizardWindow::enterPage(int n) {
    if (!isPage(n))
        return;
    loadPageSettings(n);
    showPage(n);
}

NavigationInput WizardWindow::navigationInput() const {
    NavigationInput in;
    in.page = m_state.currentPage;
    in.task = m_state.selectedTask;
    in.forcedNextPage = m_state.forcedNextPage;
    in.changeIpSettings = m_state.changeIpSettingsOption;
    in.enterIpAddress = m_state.enterIpAddressOption;
    in.task3Enabled = m_state.task3Enabled;
    in.noAdapter = m_state.noAdapter();
    return in;
}

void WizardWindow::applyTransition(const Transition& t) {
    if (t.resetForcedNextPage)
        m_state.forcedNextPage = 0;
    if (t.closeSerialPort)
        closeSerialPort();
    if (t.closeLink)
        closeLink();
    if (t.selectTask >= 0 && m_taskOptions[t.selectTask]->isEnabled())
        taskOptionClicked(t.selectTask);
    enterPage(t.target);
    if (t.refusedNoAdapter)
        showInformation(TextNoAdapter);
}

void WizardWindow::next() {
    if (!m_next->isEnabled())
        return;
    const int from = m_state.currentPage;
    const Transition t = nextPage(navigationInput());
    if (!t.moves)
        return;
    // A kind-2 device has a web page of its own: offer to open it.
    const bool kind2 = from == page::Discovery && m_state.chosenDeviceKind == 2;
    const bool openWebPage =
        kind2 &&
        QMessageBox::question(this, QStringLiteral("Kestrune"), shown(getText(TextOpenWebPage)),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    savePageSettings(from, true);
    if (from == page::Discovery) {
        if (openWebPage)
            openDeviceWebPage(this, m_state.chosenDeviceIP);
        // A kind-2 device keeps its own settings: task 3 and the gateway and
        // mask fields are withheld for it.
        m_state.task3Enabled = !kind2;
        m_taskOptions[3]->setEnabled(m_state.task3Enabled);
        updateAddressFields();
    }
    applyTransition(t);
}

void WizardWindow::back() {
    if (!m_back->isEnabled())
        return;
    const int from = m_state.currentPage;
    const Transition t = backPage(navigationInput());
    m_state.forcedNextPage = 0;
    if (!t.moves)
        return;
    savePageSettings(from, false);
    applyTransition(t);
}

QWidget* WizardWindow::pagePanel(int n) const {
    auto it = m_pages.find(n);
    return it == m_pages.end() ? nullptr : it->second.panel;
}

void WizardWindow::openTrafficLog() {
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::open(*this);
#endif
}

void WizardWindow::pollAction(PollTarget target) {
    const char* name = nullptr;
    switch (target) {
    case PollTarget::MeterFeatureApply:
        name = "Command_MeterFeature_Apply";
        break;
    case PollTarget::ModbusRead:
        name = "Command_ModBus_MeterFeature_Read";
        break;
    case PollTarget::AsciiRead:
        name = "Command_MBusAscii_MeterFeature_Read";
        break;
    case PollTarget::None:
        return;
    }
    auto* button = findChild<QAbstractButton*>(QLatin1String(name));
    if (button && button->isEnabled())
        button->click();
}

void WizardWindow::openLink(int index) {
    openWebSite(this, QUrl(QLatin1String(LinkUrls[index])));
}

void WizardWindow::changeLanguage() {
    showLanguageWindowModally(this);
}

void WizardWindow::showInformation(int textNumber) {
    QMessageBox::information(this, QStringLiteral("Kestrune"), shown(getText(textNumber)));
}

void WizardWindow::closeLink() {
    link().closeConnection();
    m_state.meterPageLinkOpen = false;
}

void WizardWindow::closeSerialPort() {
    link().closeSerialPort();
}

void WizardWindow::paintEvent(QPaintEvent*) {
    drawEtchedLine(this, twipsY(ButtonSeparatorTwips));
}

void WizardWindow::closeEvent(QCloseEvent* event) {
    // Nothing is stored here: options were stored when clicked, page fields
    // when their page was left with Next.
#ifdef KESTRUNE_HAVE_DEBUG_WINDOW
    DebugWindow::closeWindow();
#endif
    closeLink();
    event->accept();
    QCoreApplication::quit();
}

bool WizardWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && infoTextClicked(watched))
        return true;
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < 2; ++i) {
            if (watched == m_links[i] &&
                static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                openLink(i);
                return true;
            }
        }
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < ShellState::TaskCount; ++i) {
            if (watched == m_taskOptions[i] && m_taskOptions[i]->isEnabled()) {
                taskOptionClicked(i);
                next();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrune
