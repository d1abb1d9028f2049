#include "PageLayout.h"

#include "wizard/ShellState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>

#include <utility>

namespace kestrune {

namespace {

// A click on the long label of an option selects the option.
class LongLabelClick : public QObject {
public:
    LongLabelClick(QPlainTextEdit* info, QRadioButton* option, std::function<void()> onSelect)
        : QObject(info), m_option(option), m_onSelect(std::move(onSelect)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonRelease)
            return QObject::eventFilter(watched, event);
        if (m_onSelect)
            m_onSelect();
        m_option->setFocus(Qt::MouseFocusReason);
        return true;
    }

private:
    QRadioButton* m_option;
    std::function<void()> m_onSelect;
};

} // namespace

void drawEtchedLine(QWidget* widget, int y) {
    QPainter p(widget);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, y, widget->width() - 1, y);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(0, y + 1, widget->width() - 1, y + 1);
}

void setResultText(QLabel* label, const QString& text, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    label->setText(text);
}

int PageLayout::x(int twips) const {
    return twipsToPixels(twips, m_reference->logicalDpiX());
}

int PageLayout::y(int twips) const {
    return twipsToPixels(twips, m_reference->logicalDpiY());
}

void PageLayout::place(QWidget* widget, int left, int top, int width, int height) const {
    const int px = x(left);
    const int py = y(top);
    widget->setGeometry(px, py, x(left + width) - px, y(top + height) - py);
}

QLabel* PageLayout::addLabel(QWidget* parent, const QString& name, int left, int top,
                             int width) const {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(label, left, top, width, twips::RowHeight);
    return label;
}

QLineEdit* PageLayout::addLineEdit(QWidget* parent, const QString& name, int left, int top,
                                   int width) const {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    place(edit, left, top, width, twips::RowHeight);
    return edit;
}

QComboBox* PageLayout::addCombo(QWidget* parent, const QString& name, int left, int top,
                                int width) const {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    place(combo, left, top, width, twips::RowHeight);
    return combo;
}

QCheckBox* PageLayout::addCheckBox(QWidget* parent, const QString& name, int left, int top,
                                   int width) const {
    auto* check = new QCheckBox(parent);
    check->setObjectName(name);
    place(check, left, top, width, twips::RowHeight);
    return check;
}

QRadioButton* PageLayout::addOption(QWidget* parent, const QString& name, int left, int top,
                                    int width) const {
    auto* option = new QRadioButton(parent);
    option->setObjectName(name);
    place(option, left, top, width, twips::RowHeight);
    return option;
}

QGroupBox* PageLayout::addFrame(QWidget* parent, const QString& name, int left, int top, int width,
                                int height) const {
    auto* frame = new QGroupBox(parent);
    frame->setObjectName(name);
    place(frame, left, top, width, height);
    return frame;
}

QPushButton* PageLayout::addButton(QWidget* parent, const QString& name, int left, int top,
                                   int width) const {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    place(button, left, top, width, twips::ButtonHeight);
    return button;
}

QLabel* PageLayout::addResultLabel(QWidget* parent, const QString& name, int top,
                                   int height) const {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    place(label, 1200, top + 45, twips::WindowWidth - 1200 - 240, height - 120);
    return label;
}

QPlainTextEdit* PageLayout::addInfoText(QWidget* parent, int index, const QRect& area) const {
    auto* info = new QPlainTextEdit(parent);
    info->setObjectName(QStringLiteral("Text_Info(%1)").arg(index));
    info->setReadOnly(true);
    info->setFrameShape(QFrame::NoFrame);
    info->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    info->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = info->palette();
    pal.setColor(QPalette::Base, m_reference->palette().color(QPalette::Window));
    info->setPalette(pal);
    info->setFocusPolicy(Qt::ClickFocus);
    place(info, area.x(), area.y(), area.width(), area.height());
    return info;
}

PageLayout::LongLabelOption PageLayout::addLongLabelOption(QWidget* parent, const QString& name,
                                                           int infoIndex, int top, int height,
                                                           std::function<void()> onSelect) const {
    LongLabelOption l;
    l.option = new QRadioButton(parent);
    l.option->setObjectName(name);
    place(l.option, 240, top + 30, 330, 300);
    l.info = addInfoText(parent, infoIndex, QRect(600, top, twips::WindowWidth - 840, height));
    // The whole text shows: no room (and no need) for a scroll bar.
    l.info->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    l.info->document()->setDocumentMargin(1);
    l.info->viewport()->installEventFilter(
        new LongLabelClick(l.info, l.option, std::move(onSelect)));
    l.info->viewport()->setCursor(Qt::ArrowCursor);
    return l;
}

} // namespace kestrune
