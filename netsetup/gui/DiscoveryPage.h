#pragma once

#include "wizard/gui/WizardPage.h"

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kestrune {

struct DiscoveredDevice;

// Page 10 (task 0): the devices found on the local network (ScanDevices on
// entry and with Command_ScanDevicesRefresh), the adapter window behind
// Command_ScanDevicesSelectAdapter. Choosing a device keeps its kind and
// address and stores MACAddress and IPAddress; a double click on the list
// acts as Next. Next offers to open the web page of a kind-2 device and
// withholds task 3 (and the gateway and mask fields of page 21) for it.
class DiscoveryPage : public WizardPage {
    Q_OBJECT
public:
    explicit DiscoveryPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void enter() override;
    void beforeNext() override;
    void store() override;

    // ScanDevices: the list filled anew.
    void scanDevices();
    // Command_ScanDevicesSelectAdapter: the adapter window, then a new scan
    // when an adapter was taken.
    void chooseAdapter();

private:
    void listAdapters();
    void showDevice(int row, const DiscoveredDevice& device, bool checked);
    void deviceSelected();

    QPlainTextEdit* m_info = nullptr;
    QTreeWidget* m_devices = nullptr;
    QPushButton* m_refresh = nullptr;
    QPushButton* m_selectAdapter = nullptr;
    bool m_scanning = false;
    bool m_openWebPage = false;
};

} // namespace kestrune
