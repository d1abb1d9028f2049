#include "LanguageWindow.h"

#include "base/ProgramDir.h"
#include "base/Settings.h"
#include "base/TextUtil.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// Texts of this window.
// texts: 30, 105, 106, 231, 238
constexpr int32_t kTextCaption = 30;
constexpr int32_t kTextChooseLanguage = 106;
constexpr int32_t kTextRestartNeeded = 105;
constexpr int32_t kTextOk = 238;
constexpr int32_t kTextCancel = 231;

const QString kLanguageKey = QStringLiteral("Language");

} // namespace

LanguageWindow::LanguageWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Kestrune_Language"));
    setModal(true);

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label_Language"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("Combo_Language"));
    m_combo->setMinimumWidth(220);
    m_label->setBuddy(m_combo);

    m_ok = new QPushButton(this);
    m_ok->setObjectName(QStringLiteral("Command_OK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("Command_Cancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_combo);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &LanguageWindow::commandOkClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    fillLanguageList();
    setCaptions();
}

void LanguageWindow::fillLanguageList() {
    m_choices = listLanguages(textsDir());
    for (const LanguageChoice& choice : m_choices)
        m_combo->addItem(choice.name, choice.number);

    // Preselect the language in use; nothing is selected when the stored one
    // is no longer offered, or when none was chosen yet and there is more
    // than one to choose from. On the very first start with one language
    // file there is no choice to make: it is the one selected.
    m_combo->setCurrentIndex(-1);
    const QString stored = settings::get(kLanguageKey);
    if (stored.trimmed().isEmpty()) {
        if (m_choices.size() == 1)
            m_combo->setCurrentIndex(0);
    } else {
        const int64_t number = toNumber(stored);
        for (int i = 0; i < m_choices.size(); ++i) {
            if (m_choices[i].number == number) {
                m_combo->setCurrentIndex(i);
                break;
            }
        }
    }

    if (languageTable().count() == 0 && !m_choices.isEmpty())
        m_standIn.loadFile(m_choices.front().path);
}

QString LanguageWindow::text(int32_t n) const {
    if (languageTable().count() == 0 && m_standIn.count() > 0)
        return m_standIn.text(n);
    return getText(n);
}

void LanguageWindow::setCaptions() {
    setWindowTitle(text(kTextCaption));
    m_label->setText(text(kTextChooseLanguage));
    m_ok->setText(text(kTextOk));
    m_cancel->setText(text(kTextCancel));
}

void LanguageWindow::commandOkClicked() {
    const QString previous = settings::get(kLanguageKey);
    const int index = m_combo->currentIndex();
    if (index < 0 || index >= m_choices.size()) {
        reject();
        return;
    }

    const int number = m_choices[index].number;
    settings::save(kLanguageKey, QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0')));
    accept();

    // The running windows keep their texts: a change applies at the next
    // start. On the very first choice the caller loads the language at once,
    // so there is nothing to tell.
    if (!previous.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, text(kTextCaption), text(kTextRestartNeeded),
                        QMessageBox::Ok, parentWidget());
        box.setObjectName(QStringLiteral("Message_LanguageRestart"));
        box.exec();
    }
}

void showLanguageWindowModally(QWidget* parent) {
    LanguageWindow window(parent);
    window.exec();
}

} // namespace kestrune
