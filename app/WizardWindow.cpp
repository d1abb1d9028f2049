#include "WizardWindow.h"

#include "app/Logo.h"
#include "app/ShellPages.h"
#include "ascii/gui/AsciiPages.h"
#include "base/Language.h"
#include "channel/Link.h"
#include "channel/gui/ChannelPages.h"
#include "channel/gui/DebugWindow.h"
#include "mbus/gui/MBusPages.h"
#include "modbus/gui/ModbusPages.h"
#include "netsetup/gui/NetsetupPages.h"
#include "search/gui/SearchWindows.h"
#include "wizard/gui/WizardText.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace kestrune {

namespace {

// Language texts of the frame.
// texts: 10, 225, 232-234
constexpr int TextCaption = 10;
constexpr int TextNoAdapter = 225;
constexpr int TextCancel = 232;
constexpr int TextBack = 233;
constexpr int TextNext = 234;

using wizardtext::text;

} // namespace

// Files each registered page under its number.
class WizardWindow::Registry : public PageRegistry {
public:
    explicit Registry(WizardWindow& window) : m_window(window) {}
    WizardFrame& frame() override { return m_window; }
    void add(std::unique_ptr<WizardPage> page) override {
        const int n = page->number();
        if (page->parentWidget() != &m_window || m_window.m_pages.count(n) != 0)
            qFatal("wizard page %d registered twice or for another window", n);
        WizardPage* p = page.release(); // the window owns it as a child widget
        p->build();
        m_window.m_pages[n] = p;
    }

private:
    WizardWindow& m_window;
};

WizardWindow::WizardWindow(ShellState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_layout(this) {
    setObjectName(QStringLiteral("Kestrune_Wizard"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(twipsX(WidthTwips), twipsY(HeightTwips));
    registerPages();
    buildFrame();
    connect(&kestrune::link(), &Link::connectionLost, this, &WizardWindow::linkLost);
    connect(&kestrune::link(), &Link::sendFailed, this, [this](const QString& message) {
        QMessageBox::warning(this, QStringLiteral("Kestrune"), wizardtext::shown(message));
    });
}

WizardWindow::~WizardWindow() {
    DebugWindow::closeWindow();
}

void WizardWindow::registerPages() {
    Registry registry(*this);
    addShellPages(registry);
    addNetsetupPages(registry);
    addChannelPages(registry);
    addMBusPages(registry);
    addSearchWindows(registry);
    addModbusPages(registry);
    addAsciiPages(registry);
    for (int n : page::All) {
        if (m_pages.count(n) == 0)
            qFatal("wizard page %d has no page registered", n);
    }
}

void WizardWindow::buildFrame() {
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
    m_layout.place(m_back, 3735, buttonTop, 1125, 375);
    m_layout.place(m_next, 4890, buttonTop, 1125, 375);
    m_layout.place(m_cancel, 6285, buttonTop, 1125, 375);

    connect(m_back, &QPushButton::clicked, this, &WizardWindow::back);
    connect(m_next, &QPushButton::clicked, this, &WizardWindow::next);
    connect(m_cancel, &QPushButton::clicked, this, &WizardWindow::close);
}

WizardPage* WizardWindow::page(int number) const {
    auto it = m_pages.find(number);
    return it == m_pages.end() ? nullptr : it->second;
}

QWidget* WizardWindow::pagePanel(int number) const {
    return page(number);
}

void WizardWindow::prepare() {
    setWindowTitle(text(TextCaption));
    setFixedSize(twipsX(WidthTwips), twipsY(HeightTwips));

    // The saved options; the pages' click handlers store them again.
    m_state.restoreSavedOptions();
    for (auto& [n, p] : m_pages)
        p->prepare();

    m_back->setText(text(TextBack));
    m_next->setText(text(TextNext));
    m_cancel->setText(text(TextCancel));
    for (auto& [n, p] : m_pages) {
        p->setCaptions();
        const QString header = p->headerText();
        if (!header.isEmpty())
            p->headerLabel()->setText(header);
    }
}

void WizardWindow::loadPageSettings(int n) {
    WizardPage* p = page(n);
    p->move(0, 0);
    m_logo->setParent(p->header());
    if (p->hasTallHeader())
        m_layout.place(m_logo, 120, 90, 2160, twips::StartHeader - 180);
    else
        m_layout.place(m_logo, twips::LogoLeft, 60, WidthTwips - twips::LogoLeft - 120,
                       twips::Header - 120);
    m_logo->show();

    m_next->setText(text(TextNext));
    m_back->setEnabled(n != page::Start);
    m_next->setEnabled(p->nextStartsEnabled());
    DebugWindow::setPollBoxEnabled(false);
    const QString header = p->headerText();
    if (!header.isEmpty())
        p->headerLabel()->setText(header);
    p->loadSettings();
}

void WizardWindow::showPage(int n) {
    m_state.currentPage = n;
    WizardPage* p = page(n);
    p->show();
    p->raise();
    p->update();
    p->enter();
}

void WizardWindow::savePageSettings(int n, bool store) {
    WizardPage* p = page(n);
    p->hide();
    if (store)
        p->store();
    p->leave();
}

void WizardWindow::enterPage(int n) {
    if (!page(n))
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
        kestrune::link().closeSerialPort();
    if (t.closeLink)
        closeLink();
    if (t.selectTask >= 0 && m_state.taskSelectable(t.selectTask)) {
        m_state.selectTask(t.selectTask);
        notifyShellStateChanged();
    }
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
    page(from)->beforeNext();
    savePageSettings(from, true);
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

Link& WizardWindow::link() {
    return kestrune::link();
}

void WizardWindow::closeLink() {
    kestrune::link().closeConnection();
    m_state.meterPageLinkOpen = false;
}

void WizardWindow::setNextEnabled(bool enabled) {
    m_next->setEnabled(enabled);
}

void WizardWindow::setNextText(const QString& caption) {
    m_next->setText(caption);
}

void WizardWindow::showInformation(int textNumber) {
    QMessageBox::information(this, QStringLiteral("Kestrune"), text(textNumber));
}

void WizardWindow::notifyShellStateChanged() {
    for (auto& [n, p] : m_pages)
        p->shellStateChanged();
}

void WizardWindow::openTrafficLog() {
    DebugWindow::open(*this);
}

void WizardWindow::toggleTrafficLog() {
    DebugWindow::toggle(*this);
}

TelegramProtocol WizardWindow::trafficProtocol() const {
    // The Modbus framing is told from the bytes: RTU is only what is expected.
    return protocolForTask(m_state.selectedTask, false);
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

void WizardWindow::linkLost(const QString& reason) {
    if (WizardPage* p = page(m_state.currentPage))
        p->linkLost(reason);
}

void WizardWindow::paintEvent(QPaintEvent*) {
    drawEtchedLine(this, twipsY(ButtonSeparatorTwips));
}

void WizardWindow::closeEvent(QCloseEvent* event) {
    // Nothing is stored here: options were stored when clicked, page fields
    // when their page was left with Next.
    DebugWindow::closeWindow();
    closeLink();
    event->accept();
    QCoreApplication::quit();
}

} // namespace kestrune
