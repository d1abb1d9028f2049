#include "search/gui/SearchTimeoutsWindow.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "channel/gui/TimeoutsWindow.h"
#include "search/gui/SearchWindow.h"
#include "wizard/gui/WizardText.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrune {

namespace {

// texts: 60, 230, 231, 238, 239, 740, 1200-1203
constexpr int TextCaption = 60;
constexpr int TextApply = 230;
constexpr int TextCancel = 231;
constexpr int TextOk = 238;
constexpr int TextFactoryDefaults = 239;
constexpr int TextUnit = 740;
constexpr int TextK1Header = 1200;
constexpr int TextK2Header = 1201;
constexpr int TextFunctionBaud = 1202;
constexpr int TextActiveSetting = 1203;

using searchtimeouts::RowCount;
using wizardtext::indexed;

SearchTimeoutsWindow* g_instance = nullptr;

// The row's designed label: its function and speed ("RSP_UD2 2400").
QString rowLabel(int row) {
    const QString stem = QLatin1String(searchtimeouts::rows()[static_cast<size_t>(row)].stem);
    return stem.section(QLatin1Char('_'), 0, 1) + QLatin1Char(' ') +
           stem.section(QLatin1Char('_'), -1);
}

constexpr std::array<GatewayFamily, 2> Families = {GatewayFamily::K1, GatewayFamily::K2};

} // namespace

SearchTimeoutsWindow* SearchTimeoutsWindow::showWindow(QWidget* parent) {
    if (!g_instance) {
        g_instance = new SearchTimeoutsWindow(parent);
        g_instance->readSearchTimeouts();
        const GatewayFamily stored = searchtimeouts::activeFamily();
        g_instance->m_active[static_cast<size_t>(stored)]->setChecked(true);
    }
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

SearchTimeoutsWindow* SearchTimeoutsWindow::instance() {
    return g_instance;
}

GatewayFamily SearchTimeoutsWindow::activeFamily() {
    return g_instance ? g_instance->selectedFamily() : searchtimeouts::activeFamily();
}

SearchTimeoutsWindow::SearchTimeoutsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Kestrune_SearchTimeouts"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    setCaptions();
}

SearchTimeoutsWindow::~SearchTimeoutsWindow() {
    if (g_instance == this)
        g_instance = nullptr;
}

void SearchTimeoutsWindow::buildControls() {
    const auto label = [this](const QString& name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };
    auto* grid = new QGridLayout;
    m_functionHeader = label(QStringLiteral("lblFunctionBaud"));
    m_k1Header = label(QStringLiteral("lblK1Header"));
    m_k2Header = label(QStringLiteral("lblK2Header"));
    grid->addWidget(m_functionHeader, 0, 0);
    grid->addWidget(m_k1Header, 0, 1);
    grid->addWidget(m_k2Header, 0, 2);
    for (int row = 0; row < RowCount; ++row) {
        const auto at = static_cast<size_t>(row);
        QLabel* function = label(indexed("lblFunction", row));
        function->setText(rowLabel(row));
        grid->addWidget(function, row + 1, 0);
        for (int f = 0; f < 2; ++f) {
            auto* box = new QLineEdit(this);
            box->setObjectName(indexed(f == 0 ? "txtK1" : "txtK2", row));
            box->setAlignment(Qt::AlignRight);
            grid->addWidget(box, row + 1, f + 1);
            m_boxes[static_cast<size_t>(f)][at] = box;
        }
        m_units[at] = label(indexed("lblSort", row));
        grid->addWidget(m_units[at], row + 1, 3);
    }
    m_activeLabel = label(QStringLiteral("lblActivSetting"));
    grid->addWidget(m_activeLabel, RowCount + 1, 0);
    for (int f = 0; f < 2; ++f) {
        auto* option = new QRadioButton(this);
        option->setObjectName(indexed("optActiveSetting", f));
        grid->addWidget(option, RowCount + 1, f + 1);
        m_active[static_cast<size_t>(f)] = option;
    }
    m_active[0]->setChecked(true);

    const TimeoutButtons buttons = addTimeoutButtons(this, grid);
    m_ok = buttons.ok;
    m_apply = buttons.apply;
    m_cancel = buttons.cancel;
    m_defaults = buttons.defaults;
    connect(m_ok, &QPushButton::clicked, this, &SearchTimeoutsWindow::okClicked);
    connect(m_apply, &QPushButton::clicked, this, &SearchTimeoutsWindow::applyClicked);
    connect(m_defaults, &QPushButton::clicked, this, &SearchTimeoutsWindow::factoryDefaults);
}

void SearchTimeoutsWindow::setCaptions() {
    setWindowTitle(getText(TextCaption));
    m_ok->setText(getText(TextOk));
    m_apply->setText(getText(TextApply));
    m_cancel->setText(getText(TextCancel));
    m_defaults->setText(getText(TextFactoryDefaults));
    m_k1Header->setText(getText(TextK1Header));
    m_k2Header->setText(getText(TextK2Header));
    m_functionHeader->setText(getText(TextFunctionBaud));
    m_activeLabel->setText(getText(TextActiveSetting));
    // The two options name the families as the column headers do.
    m_active[0]->setText(getText(TextK1Header));
    m_active[1]->setText(getText(TextK2Header));
    for (QLabel* unit : m_units)
        unit->setText(getText(TextUnit));
}

GatewayFamily SearchTimeoutsWindow::selectedFamily() const {
    return m_active[0]->isChecked() ? GatewayFamily::K1 : GatewayFamily::K2;
}

void SearchTimeoutsWindow::readSearchTimeouts() {
    for (GatewayFamily f : Families) {
        const QStringList texts = searchtimeouts::readTexts(programIni(), f);
        for (int row = 0; row < RowCount; ++row)
            m_boxes[static_cast<size_t>(f)][static_cast<size_t>(row)]->setText(texts[row]);
    }
}

bool SearchTimeoutsWindow::writeSearchTimeouts() {
    bool written = true;
    for (GatewayFamily f : Families) {
        QStringList texts;
        for (const QLineEdit* box : m_boxes[static_cast<size_t>(f)])
            texts.append(box->text());
        written = written && searchtimeouts::writeTexts(programIni(), f, texts);
    }
    SearchWindow::refreshSpeedButtons();
    if (!written)
        showTimeoutsWriteFailure(this, QStringLiteral("SearchTimeoutsWriteFailure"));
    return written;
}

void SearchTimeoutsWindow::factoryDefaults() {
    for (GatewayFamily f : Families) {
        const QStringList texts = searchtimeouts::factoryTexts(f);
        for (int row = 0; row < RowCount; ++row)
            m_boxes[static_cast<size_t>(f)][static_cast<size_t>(row)]->setText(texts[row]);
    }
}

void SearchTimeoutsWindow::okClicked() {
    // What could not be stored must not vanish with the window.
    if (!writeSearchTimeouts())
        return;
    searchtimeouts::storeActiveFamily(selectedFamily());
    close();
}

void SearchTimeoutsWindow::applyClicked() {
    if (writeSearchTimeouts())
        readSearchTimeouts();
    searchtimeouts::storeActiveFamily(selectedFamily());
}

} // namespace kestrune
