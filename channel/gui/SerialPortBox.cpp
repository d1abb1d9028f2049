#include "SerialPortBox.h"

#include <QAbstractItemView>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace kestrune {

SerialPortBox::SerialPortBox(QWidget* parent) : QComboBox(parent) {
    // The box's own tool tip follows the entry shown.
    connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

void SerialPortBox::setPorts(const QStringList& names) {
    clear();
    addItems(names);
    for (int i = 0; i < count(); ++i)
        setItemData(i, names[i], Qt::ToolTipRole);
    setToolTip(currentText());
}

int SerialPortBox::textRoom() const {
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    // The label is drawn one pixel in from either side of the field.
    return std::max(0, field.width() - 2);
}

QString SerialPortBox::shownText() const {
    return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, textRoom());
}

int SerialPortBox::listWidthNeeded() const {
    const QAbstractItemView* list = view();
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(itemText(i)));
    // Room for the entry's margins, the list's frame and its scroll bar.
    const int margins = 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) +
                        2 * list->frameWidth() + 8;
    return widest + margins + list->verticalScrollBar()->sizeHint().width();
}

void SerialPortBox::showPopup() {
    // Never wider than the screen the box is on.
    const QScreen* on = screen();
    const int most = on ? on->availableGeometry().width() : listWidthNeeded();
    view()->setMinimumWidth(std::min(listWidthNeeded(), most));
    QComboBox::showPopup();
}

void SerialPortBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    opt.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

} // namespace kestrune
