#pragma once

#include "base/IniFile.h"
#include "netsetup/SetupConfig.h"
#include "wizard/gui/WizardText.h"

#include <QMessageBox>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

// What the setup pages share: the INI's setup settings, an operation's texts
// shown in the page's information box and in message boxes, and the window
// held disabled while an exchange runs.
namespace kestrune::setuppage {

inline SetupConfig config() {
    return SetupConfig::fromIni(programIni());
}

// Shows what an operation (GatewaySetup, DeviceScan) reports: its growing
// information text in the box, its message texts in warning boxes over the
// window.
template <typename Operation>
void showOn(Operation& operation, QPlainTextEdit* info, QWidget* window) {
    QObject::connect(&operation, &Operation::infoChanged, info,
                     [info](const QString& text) { info->setPlainText(wizardtext::shown(text)); });
    QObject::connect(&operation, &Operation::messageBox, window, [window](const QString& text) {
        QMessageBox::warning(window, QStringLiteral("Kestrune"), wizardtext::shown(text));
    });
}

// Disables the window for as long as it is in scope: no second exchange
// and no page change can start while one waits.
class WindowBusy {
public:
    explicit WindowBusy(QWidget* window) : m_window(window) {
        if (m_window)
            m_window->setEnabled(false);
    }
    ~WindowBusy() {
        if (m_window)
            m_window->setEnabled(true);
    }
    WindowBusy(const WindowBusy&) = delete;
    WindowBusy& operator=(const WindowBusy&) = delete;

private:
    QPointer<QWidget> m_window;
};

} // namespace kestrune::setuppage
