#include "PropertiesWindow.h"

#include "base/Language.h"
#include "mbus/FcbState.h"
#include "wizard/gui/WizardText.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// texts: 70, 231, 238
constexpr int TextCaption = 70;
constexpr int TextCancel = 231;
constexpr int TextOk = 238;

// The choices as the devices' documents name them, in the order of their
// values (the stored policy is the position).
constexpr int TextFirstChoice = 2615; // texts: 2615-2617

PropertiesWindow* g_instance = nullptr;

} // namespace

PropertiesWindow* PropertiesWindow::showWindow(QWidget* parent) {
    if (!g_instance)
        g_instance = new PropertiesWindow(parent);
    const int stored = storedFcbPolicy();
    fcbState().setPolicy(stored);
    g_instance->m_options[static_cast<size_t>(stored)]->setChecked(true);
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

PropertiesWindow* PropertiesWindow::instance() {
    return g_instance;
}

PropertiesWindow::PropertiesWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Kestrune_Properties"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(getText(TextCaption));

    m_frame = new QGroupBox(QStringLiteral("REQ_UD2"), this);
    m_frame->setObjectName(QStringLiteral("Frame_FCB_REQ_UD2"));
    auto* options = new QVBoxLayout(m_frame);
    for (int i = 0; i < 3; ++i) {
        auto* o = new QRadioButton(getText(TextFirstChoice + i), m_frame);
        o->setObjectName(wizardtext::indexed("optFCB", i));
        options->addWidget(o);
        m_options[static_cast<size_t>(i)] = o;
    }
    m_ok = new QPushButton(getText(TextOk), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(getText(TextCancel), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &PropertiesWindow::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
}

PropertiesWindow::~PropertiesWindow() {
    if (g_instance == this)
        g_instance = nullptr;
}

void PropertiesWindow::okClicked() {
    for (int i = 0; i < 3; ++i) {
        if (m_options[static_cast<size_t>(i)]->isChecked()) {
            storeFcbPolicy(i);
            break;
        }
    }
    close();
}

} // namespace kestrune
