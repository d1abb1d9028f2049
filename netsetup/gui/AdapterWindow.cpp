#include "AdapterWindow.h"

#include "base/Settings.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WizardText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// texts: 80, 231, 238, 287
constexpr int TextCaption = 80;
constexpr int TextCancel = 231;
constexpr int TextOk = 238;
constexpr int TextChoose = 287;
constexpr int TextIpAddress = 2600; // texts: 2600, 2605
constexpr int TextDescription = 2605;

using wizardtext::text;

} // namespace

AdapterWindow::AdapterWindow(ShellState& state, bool includeLoopback, QWidget* parent)
    : QDialog(parent), m_state(state) {
    setObjectName(QStringLiteral("Kestrune_Adapters"));
    setWindowTitle(text(TextCaption));
    setModal(true);

    m_label = new QLabel(text(TextChoose), this);
    m_label->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ListView_Adapters"));
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({text(TextIpAddress), text(TextDescription)});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ok = new QPushButton(text(TextOk), this);
    m_ok->setObjectName(QStringLiteral("OK_Adapters"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(text(TextCancel), this);
    m_cancel->setObjectName(QStringLiteral("Cancel_Adapters"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(520, 300);

    // ListAdapters with the fill flag: every adapter, the chosen one
    // selected and in view.
    m_adapters = listNetworkAdapters(includeLoopback);
    const AdapterChoice choice =
        chooseAdapter(m_adapters, state.selectedAdapterIP, state.selectedAdapterDescription);
    for (const NetworkAdapter& a : std::as_const(m_adapters))
        new QTreeWidgetItem(m_list, {a.ip, a.description});
    if (choice.selected >= 0) {
        QTreeWidgetItem* item = m_list->topLevelItem(choice.selected);
        m_list->setCurrentItem(item);
        m_list->scrollToItem(item);
    } else {
        m_list->setCurrentItem(nullptr);
    }
    m_ok->setEnabled(m_list->currentItem() != nullptr);

    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { m_ok->setEnabled(current != nullptr); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &AdapterWindow::take);
    connect(m_ok, &QPushButton::clicked, this, &AdapterWindow::take);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AdapterWindow::take() {
    const QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    m_state.selectedAdapterIP = item->text(0);
    m_state.selectedAdapterDescription = item->text(1);
    settings::save(QStringLiteral("SelectedAdapterIP"), m_state.selectedAdapterIP);
    settings::save(QStringLiteral("SelectedAdapterDescription"),
                   m_state.selectedAdapterDescription);
    accept();
}

} // namespace kestrune
