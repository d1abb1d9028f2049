#pragma once

#include "base/Language.h"

#include <QDialog>
#include <QVector>

class QComboBox;
class QLabel;
class QPushButton;

namespace kestrune {

// The language window (Kestrune_Language): offers every language file beside
// the program and stores the choice in the per-user setting "Language" as
// three digits ("001"). The new language is loaded at the next start, or at
// once on the very first start when the caller loads it after this window
// closes.
//
// Shown modally at start-up when no language could be loaded, and from the
// start page's language button.
class LanguageWindow : public QDialog {
    Q_OBJECT

public:
    explicit LanguageWindow(QWidget* parent = nullptr);

    // The languages in list order (the order of Combo_Language's items).
    const QVector<LanguageChoice>& choices() const { return m_choices; }

private:
    void fillLanguageList();
    void setCaptions();
    void commandOkClicked();
    // Text n of the running language; while none is loaded (first start),
    // of the first language offered, so the window is never captioned with
    // placeholders when a language file is there to read.
    QString text(int32_t n) const;

    QVector<LanguageChoice> m_choices;
    LanguageTable m_standIn;
    QLabel* m_label = nullptr;
    QComboBox* m_combo = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Shows the language window modally and returns when it is closed.
void showLanguageWindowModally(QWidget* parent);

} // namespace kestrune
