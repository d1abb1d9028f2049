#pragma once

#include "base/Language.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

// Small helpers of the wizard window's sources for control names and texts.
namespace kestrune::wizardtext {

// "Name(index)": the objectName of a member of a control array.
inline QString indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// Language texts carry CR LF line breaks; the widgets want LF.
inline QString shown(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

// Language text n as a widget shows it.
inline QString text(int n) {
    return shown(getText(n));
}

// Words of the file dialogs and of the message boxes after a failed save or
// load. A filter is its name in the user's language and its pattern as
// given ("(*.txt)", " (*.csv)"): the pattern stays what the dialog matches.
// texts: 2650-2652, 2660-2661
constexpr int TextTextFiles = 2650;
constexpr int TextAllFiles = 2651;
constexpr int TextCommaSeparatedFiles = 2652;
constexpr int TextSaveError = 2660;
constexpr int TextOpenError = 2661;

inline QString fileFilter(int nameText, const char* pattern) {
    return text(nameText) + QLatin1String(pattern);
}
inline QString saveErrorTitle() {
    return text(TextSaveError);
}
inline QString openErrorTitle() {
    return text(TextOpenError);
}

// A question with Yes and No buttons in the user's language (Qt's own
// button words would stay English). True when Yes was chosen.
constexpr int TextYes = 2670; // texts: 2670-2671
constexpr int TextNo = 2671;
inline bool askYesNo(QWidget* parent, const QString& title, const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.button(QMessageBox::Yes)->setText(text(TextYes));
    box.button(QMessageBox::No)->setText(text(TextNo));
    return box.exec() == QMessageBox::Yes;
}

} // namespace kestrune::wizardtext
