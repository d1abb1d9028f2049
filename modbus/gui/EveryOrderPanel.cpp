#include "EveryOrderPanel.h"

#include "wizard/gui/WizardText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// texts: 1037, 1038
constexpr int TextUseOrder = 1037;
constexpr int TextClose = 1038;

// The most orders a type offers (INT32, UINT32, FLOAT, DFLOAT).
constexpr int MaxOrders = 4;
// A value longer than this is cut in the tool tip (a DFLOAT far from 1 is
// written out in full and can be hundreds of digits long).
constexpr qsizetype ToolTipValueLimit = 40;

const QString NoValue = QStringLiteral("\u2013");

QString cut(const QString& value, qsizetype limit) {
    return value.size() > limit ? value.left(limit - 1) + QStringLiteral("\u2026") : value;
}

// A button caption shows '&' as a mnemonic unless it is doubled.
QString caption(const QString& text) {
    QString t = text;
    t.replace(QLatin1Char('&'), QLatin1String("&&"));
    return t;
}

} // namespace

QString everyOrderToolTip(const QList<modbus::OrderValue>& values, int currentOrder,
                          const QString& note) {
    QString head;
    QString cells;
    for (int i = 0; i < values.size(); ++i) {
        const bool own = i == currentOrder;
        const QString order = values[i].order.toHtmlEscaped();
        const QString value = values[i].value.isEmpty()
                                  ? NoValue
                                  : cut(values[i].value, ToolTipValueLimit).toHtmlEscaped();
        head += own ? QStringLiteral("<th>%1</th>").arg(order)
                    : QStringLiteral("<th style='font-weight:normal'>%1</th>").arg(order);
        cells += own ? QStringLiteral("<td><b>%1</b></td>").arg(value)
                     : QStringLiteral("<td>%1</td>").arg(value);
    }
    QString tip = QStringLiteral("<table cellspacing='0' cellpadding='3'><tr>%1</tr><tr>%2</tr>"
                                 "</table>")
                      .arg(head, cells);
    if (!note.isEmpty())
        tip += QStringLiteral("<p>%1</p>").arg(note.toHtmlEscaped());
    return tip;
}

EveryOrderPanel::EveryOrderPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("pnlModbusEveryOrder"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 3, 3, 5);
    column->setSpacing(3);

    auto* top = new QHBoxLayout;
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lblModbusEveryOrder"));
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("cmdModbusEveryOrderClose"));
    m_close->setText(QStringLiteral("\u00D7"));
    m_close->setAutoRaise(true);
    top->addWidget(m_title, 1);
    top->addWidget(m_close);
    column->addLayout(top);

    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    for (int i = 0; i < MaxOrders; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(wizardtext::indexed("cmdModbusOrder", i));
        b->setCheckable(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        b->setMinimumWidth(20);
        connect(b, &QToolButton::clicked, this, [this, i] {
            // The pressed look follows the row's order, which the page sets
            // when it shows the row again.
            m_orders[i]->setChecked(!m_orders[i]->isChecked());
            if (m_row >= 0)
                emit orderChosen(m_row, i);
        });
        row->addWidget(b);
        m_orders.append(b);
    }
    column->addLayout(row);

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblModbusEveryOrderNote"));
    m_note->setWordWrap(true);
    column->addWidget(m_note);

    connect(m_close, &QToolButton::clicked, this, [this] {
        close();
        emit closed();
    });
    hide();
}

void EveryOrderPanel::setCaptions() {
    m_close->setToolTip(wizardtext::text(TextClose));
}

void EveryOrderPanel::showRow(int row, const QString& title,
                              const QList<modbus::OrderValue>& values, int currentOrder,
                              const QString& note) {
    m_row = row;
    m_values = values.mid(0, MaxOrders);
    m_title->setText(title);
    for (int i = 0; i < MaxOrders; ++i) {
        QToolButton* b = m_orders[i];
        b->setVisible(i < m_values.size());
        b->setChecked(i == currentOrder);
    }
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    elideValues();
    show();
    raise();
}

void EveryOrderPanel::close() {
    m_row = -1;
    hide();
}

void EveryOrderPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    elideValues();
}

void EveryOrderPanel::elideValues() {
    for (int i = 0; i < m_values.size(); ++i) {
        QToolButton* b = m_orders[i];
        const QString& value = m_values[i].value;
        const int room = std::max(b->width() - 10, 10);
        const QString shown =
            value.isEmpty() ? NoValue : b->fontMetrics().elidedText(value, Qt::ElideRight, room);
        b->setText(m_values[i].order + QLatin1Char('\n') + caption(shown));
        b->setToolTip((value.isEmpty() ? QString() : cut(value, 255) + QLatin1Char('\n')) +
                      wizardtext::text(TextUseOrder));
    }
}

} // namespace kestrune
