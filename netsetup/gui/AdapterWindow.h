#pragma once

#include "netsetup/Adapters.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kestrune {

class ShellState;

// The adapter window (Kestrune_Adapters): the network adapters, the chosen
// one selected. OK (OK_Adapters, or a double click on an adapter) takes the
// selected adapter as SelectedAdapterIP and SelectedAdapterDescription, in
// the shell state and the settings store; Cancel (Cancel_Adapters) closes
// without a change. The caller starts the new discovery after OK.
class AdapterWindow : public QDialog {
    Q_OBJECT
public:
    AdapterWindow(ShellState& state, bool includeLoopback, QWidget* parent = nullptr);

    // The adapters listed (ListAdapters with the fill flag).
    const QList<NetworkAdapter>& adapters() const { return m_adapters; }

private:
    void take();

    ShellState& m_state;
    QList<NetworkAdapter> m_adapters;
    QLabel* m_label = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrune
