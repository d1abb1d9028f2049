// The wizard's controls found by objectName and pressed as a user presses
// them; shared by the tests that walk the pages.
#pragma once

#include "app/WizardWindow.h"
#include "wizard/Navigation.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QString>
#include <QWidget>
#include <QtTest>

namespace pagedriver {

// The page whose panel is on show; -1 when none or more than one is.
inline int shownPage(const kestrune::WizardWindow* w) {
    int shown = -1;
    for (int p : kestrune::page::All) {
        if (w->pagePanel(p)->isVisible()) {
            if (shown >= 0)
                return -1;
            shown = p;
        }
    }
    return shown;
}

// The control named name below root; a warning names a missing one.
template <typename T> T* child(const QWidget* root, const QString& name) {
    T* c = root->findChild<T*>(name);
    if (!c)
        qWarning("control %s not found", qPrintable(name));
    return c;
}

// A mouse click where a user clicks (an option button on its circle, a check
// box on its box: a wide one ignores clicks beside its caption); false,
// without a click, when the button is missing, hidden or disabled.
inline bool click(QAbstractButton* b) {
    if (!b || !b->isVisible() || !b->isEnabled())
        return false;
    const QPoint at = qobject_cast<QRadioButton*>(b) || qobject_cast<QCheckBox*>(b)
                          ? QPoint(8, b->height() / 2)
                          : b->rect().center();
    QTest::mouseClick(b, Qt::LeftButton, {}, at);
    return true;
}

} // namespace pagedriver
