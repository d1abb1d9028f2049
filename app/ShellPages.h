#pragma once

#include "wizard/gui/WizardPage.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace kestrune {

// Registers the wizard's own pages: the start page (0) and the task list (1).
void addShellPages(PageRegistry& registry);

// Page 0: the program's name, version and maker, the two web links, the
// language button and the two introduction texts.
class StartPage : public WizardPage {
    Q_OBJECT
public:
    explicit StartPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void setCaptions() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openLink(int index);

    QLabel* m_version = nullptr;
    QLabel* m_maker = nullptr;
    QLabel* m_links[2] = {nullptr, nullptr};
    QPushButton* m_changeLanguage = nullptr;
    QPlainTextEdit* m_info[2] = {nullptr, nullptr};
};

// Page 1: the task options Option_SelectWhatToDo(0) to (8). A click stores
// the task, a double click also moves on.
class TaskPage : public WizardPage {
    Q_OBJECT
public:
    explicit TaskPage(WizardFrame& frame);

    QString headerText() const override;
    void build() override;
    void prepare() override;
    void setCaptions() override;
    void loadSettings() override;
    void shellStateChanged() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void taskOptionClicked(int index);
    void showSelectedTask();

    QRadioButton* m_options[9] = {};
};

} // namespace kestrune
