#include "DiscoveryPage.h"

#include "base/Settings.h"
#include "channel/Link.h"
#include "netsetup/Adapters.h"
#include "netsetup/DeviceScan.h"
#include "netsetup/gui/AdapterWindow.h"
#include "netsetup/gui/SetupPageSupport.h"
#include "wizard/Navigation.h"
#include "wizard/ShellState.h"
#include "wizard/gui/WebPage.h"
#include "wizard/gui/WizardText.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace kestrune {

namespace {

// texts: 110, 224, 225, 226, 285, 286
constexpr int TextHeader = 110;
constexpr int TextChooseAdapter = 224;
constexpr int TextNoAdapter = 225;
constexpr int TextOpenWebPage = 226;
constexpr int TextRefresh = 285;
// The list's headings, in column order.
constexpr int TextFirstColumn = 2600; // texts: 2600-2604
constexpr int TextSelectAdapter = 286;

using wizardtext::text;

// The device list's columns and where an item keeps its key.
enum Column { ColumnIp, ColumnMac, ColumnType, ColumnIdentity, ColumnInfo };
constexpr int KeyRole = Qt::UserRole;

} // namespace

DiscoveryPage::DiscoveryPage(WizardFrame& frame) : WizardPage(page::Discovery, frame) {}

QString DiscoveryPage::headerText() const {
    return text(TextHeader);
}

void DiscoveryPage::build() {
    const PageLayout& l = pageLayout();
    m_info = l.addInfoText(this, number(), QRect(240, 810, twips::WindowWidth - 480, 600));
    m_devices = new QTreeWidget(this);
    m_devices->setObjectName(QStringLiteral("ListView_Devices"));
    m_devices->setRootIsDecorated(false);
    m_devices->setColumnCount(5);
    QStringList headings;
    for (int column = ColumnIp; column <= ColumnInfo; ++column)
        headings << text(TextFirstColumn + column);
    m_devices->setHeaderLabels(headings);
    m_devices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_devices->header()->setStretchLastSection(true);
    l.place(m_devices, 240, 1470, twips::WindowWidth - 480, twips::ButtonRowTop - 1470 - 120);
    m_refresh = l.addButton(this, QStringLiteral("Command_ScanDevicesRefresh"), 240,
                            twips::ButtonRowTop, 2100);
    m_selectAdapter = l.addButton(this, QStringLiteral("Command_ScanDevicesSelectAdapter"),
                                  twips::WindowWidth - 240 - 2100, twips::ButtonRowTop, 2100);
    connect(m_refresh, &QPushButton::clicked, this, &DiscoveryPage::scanDevices);
    connect(m_selectAdapter, &QPushButton::clicked, this, &DiscoveryPage::chooseAdapter);
    connect(m_devices, &QTreeWidget::currentItemChanged, this, &DiscoveryPage::deviceSelected);
    connect(m_devices, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_devices->topLevelItemCount() > 0)
            frame().next();
    });
}

void DiscoveryPage::prepare() {
    listAdapters();
}

void DiscoveryPage::setCaptions() {
    m_refresh->setText(text(TextRefresh));
    m_selectAdapter->setText(text(TextSelectAdapter));
}

void DiscoveryPage::listAdapters() {
    // ListAdapters at start-up: the stored choice checked against what the
    // system has now; the choice button only when there is a choice.
    const QList<NetworkAdapter> adapters = listNetworkAdapters(setuppage::config().includeLoopback);
    const AdapterChoice choice = kestrune::chooseAdapter(adapters, state().selectedAdapterIP,
                                                         state().selectedAdapterDescription);
    state().selectedAdapterIP = choice.ip;
    state().selectedAdapterDescription = choice.description;
    m_selectAdapter->setVisible(adapters.size() > 1);
}

void DiscoveryPage::enter() {
    if (state().selectedAdapterIP.isEmpty()) {
        frame().showInformation(TextChooseAdapter);
        chooseAdapter();
        return;
    }
    if (state().noAdapter()) {
        frame().showInformation(TextNoAdapter);
        return;
    }
    scanDevices();
}

void DiscoveryPage::chooseAdapter() {
    AdapterWindow window(state(), setuppage::config().includeLoopback, frame().mainWindow());
    if (window.exec() == QDialog::Accepted)
        scanDevices();
}

void DiscoveryPage::scanDevices() {
    if (m_scanning)
        return;
    m_scanning = true;
    m_devices->clear();
    state().chosenDeviceKind = 0;
    state().chosenDeviceIP.clear();
    frame().setNextEnabled(false);
    {
        const setuppage::WindowBusy busy(frame().mainWindow());
        const SetupConfig config = setuppage::config();
        DeviceScan scan(frame().link());
        scan.setAdapterAddress(state().selectedAdapterIP);
        setuppage::showOn(scan, m_info, frame().mainWindow());
        connect(&scan, &DeviceScan::deviceFound, this,
                [this](int row, const DiscoveredDevice& d) { showDevice(row, d, false); });
        connect(&scan, &DeviceScan::deviceChecked, this,
                [this](int row, const DiscoveredDevice& d) { showDevice(row, d, true); });
        scan.scan(config.broadcastAddress, config.scanTimeout);
    }
    m_scanning = false;
}

void DiscoveryPage::showDevice(int row, const DiscoveredDevice& d, bool checked) {
    QTreeWidgetItem* item = m_devices->topLevelItem(row);
    if (!item)
        item = new QTreeWidgetItem(m_devices);
    item->setText(ColumnIp, d.ip);
    item->setText(ColumnMac, d.macText);
    item->setText(ColumnType, d.type);
    item->setText(ColumnIdentity, d.identity);
    item->setText(ColumnInfo, wizardtext::shown(d.info));
    item->setData(ColumnIp, KeyRole, d.key);
    // A device that answered, then one the address check found or not.
    const QStyle::StandardPixmap icon = !checked      ? QStyle::SP_DriveNetIcon
                                        : d.reachable ? QStyle::SP_DialogApplyButton
                                                      : QStyle::SP_MessageBoxWarning;
    item->setIcon(ColumnIp, style()->standardIcon(icon));
}

void DiscoveryPage::deviceSelected() {
    const QTreeWidgetItem* item = m_devices->currentItem();
    if (!item)
        return;
    // The item key is the MAC address, "/" and the kind code.
    const QString key = item->data(ColumnIp, KeyRole).toString();
    state().chosenDeviceKind = key.section(QLatin1Char('/'), 1).toInt();
    state().chosenDeviceIP = item->text(ColumnIp);
    settings::save(QStringLiteral("MACAddress"), item->text(ColumnMac));
    settings::save(QStringLiteral("IPAddress"), item->text(ColumnIp));
    frame().setNextEnabled(true);
}

void DiscoveryPage::beforeNext() {
    // A kind-2 device has a web page of its own: offer to open it.
    m_openWebPage = state().chosenDeviceKind == 2 &&
                    wizardtext::askYesNo(frame().mainWindow(), QStringLiteral("Kestrune"),
                                         text(TextOpenWebPage));
}

void DiscoveryPage::store() {
    if (m_openWebPage)
        openDeviceWebPage(frame().mainWindow(), state().chosenDeviceIP);
    m_openWebPage = false;
    // A kind-2 device keeps its own settings: task 3 and the gateway and
    // mask fields are withheld for it.
    state().task3Enabled = state().chosenDeviceKind != 2;
    frame().notifyShellStateChanged();
}

} // namespace kestrune
