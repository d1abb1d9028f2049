#include "mbus/gui/RecordsView.h"

#include "base/Language.h"
#include "mbus/MeterIdentification.h"
#include "mbus/RecordTable.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrune {

namespace {

// texts: 232, 2500, 2510-2515
constexpr int TextExit = 232;
constexpr int TextCaption = 2500;
constexpr int TextCopy = 2510;
constexpr int TextSender = 2511;
constexpr int TextSenderNoHeader = 2512;
constexpr int TextNoReply = 2513;
constexpr int TextCopied = 2514;
constexpr int TextNoRecords = 2515;

// The window's size when it opens, in pixels at 96 dpi.
constexpr int OpenWidth = 780;
constexpr int OpenHeight = 380;

QPointer<RecordsView> g_window;

QString text(int n) {
    QString t = getText(n);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

// Who sent the reply, from its fixed header.
QString senderText(const mbus::RecordDecoding& d, QByteArrayView reply) {
    if (!d.isLongFrame)
        return {};
    if (const std::optional<MeterDataColumns> c = extractMeterData(reply); c && !c->fixedStructure)
        return text(TextSender)
            .arg(c->address, c->identification, c->manufacturer, c->version, c->medium);
    if (d.header.kind == mbus::HeaderKind::Fixed)
        return text(TextSender)
            .arg(QString::number(d.a), d.header.id, QStringLiteral("-"), QStringLiteral("-"),
                 QStringLiteral("-"));
    return text(TextSenderNoHeader).arg(d.a);
}

bool rightAligned(mbus::RecordColumn c) {
    using mbus::RecordColumn;
    return c == RecordColumn::Record || c == RecordColumn::Storage || c == RecordColumn::Tariff ||
           c == RecordColumn::Subunit || c == RecordColumn::Value;
}

} // namespace

RecordsView::RecordsView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Kestrune_Records"));
    setWindowTitle(text(TextCaption));

    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("Label_Records"));
    m_heading->setWordWrap(true);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableWidget(0, mbus::RecordColumnCount, this);
    m_table->setObjectName(QStringLiteral("List_Records"));
    m_table->setHorizontalHeaderLabels(mbus::recordColumnTitles());
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Every column as wide as its cells, but the quantity takes what is left
    // (and gives way first when the window is narrow: its tip has it all).
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(
        static_cast<int>(mbus::RecordColumn::Quantity), QHeaderView::Stretch);

    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("Label_RecordNotes"));
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_copy = new QPushButton(text(TextCopy), this);
    m_copy->setObjectName(QStringLiteral("Command_CopyCsv"));
    m_exit = new QPushButton(text(TextExit), this);
    m_exit->setObjectName(QStringLiteral("Command_Exit"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    auto* root = new QVBoxLayout(this);
    root->addWidget(m_heading);
    root->addWidget(m_table, 1);
    root->addWidget(m_notes);
    root->addLayout(buttons);

    connect(m_copy, &QPushButton::clicked, this, &RecordsView::copyCsv);
    connect(m_exit, &QPushButton::clicked, this, &QWidget::close);
    showReply({});
}

void RecordsView::showReply(const QByteArray& reply) {
    m_reply = reply;
    const mbus::RecordDecoding d = mbus::decodeRecords(reply);
    const std::vector<QStringList> rows = mbus::recordRows(d);

    m_table->setRowCount(0);
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const QStringList& cells = rows[static_cast<size_t>(r)];
        for (int c = 0; c < mbus::RecordColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (rightAligned(static_cast<mbus::RecordColumn>(c)))
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            // Long quantities and plain texts stay readable in the tip.
            item->setToolTip(cells[c]);
            m_table->setItem(r, c, item);
        }
    }
    // The remarks column is there only when a record has a remark.
    const int remarks = static_cast<int>(mbus::RecordColumn::Remarks);
    bool anyRemark = false;
    for (const QStringList& cells : rows)
        anyRemark = anyRemark || !cells[remarks].isEmpty();
    m_table->setColumnHidden(remarks, !anyRemark);

    if (reply.isEmpty()) {
        m_heading->setText(text(TextNoReply));
        m_notes->clear();
    } else {
        m_heading->setText(senderText(d, reply));
        QStringList notes = mbus::recordNotes(d);
        if (rows.empty() && notes.isEmpty())
            notes << text(TextNoRecords);
        m_notes->setText(notes.join(QLatin1Char('\n')));
    }
    m_notes->setVisible(!m_notes->text().isEmpty());
    m_copy->setEnabled(!rows.empty());
}

int RecordsView::rowCount() const {
    return m_table->rowCount();
}

QString RecordsView::csv() const {
    std::vector<QStringList> rows;
    rows.reserve(static_cast<size_t>(m_table->rowCount()));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < mbus::RecordColumnCount; ++c)
            cells << m_table->item(r, c)->text();
        rows.push_back(std::move(cells));
    }
    return mbus::recordsCsv(mbus::recordColumnTitles(), rows);
}

void RecordsView::copyCsv() {
    QApplication::clipboard()->setText(csv());
    m_notes->setText(text(TextCopied).arg(m_table->rowCount()));
    m_notes->setVisible(true);
}

RecordsView* RecordsView::showWindow(const QByteArray& reply, QWidget* beside) {
    QWidget* owner = beside ? beside->window() : nullptr;
    const bool fresh = !g_window;
    if (fresh) {
        g_window = new RecordsView(owner);
        g_window->setWindowFlag(Qt::Window);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    g_window->showReply(reply);
    if (fresh)
        g_window->placeBeside(owner);
    g_window->show();
    g_window->raise();
    return g_window;
}

RecordsView* RecordsView::window() {
    return g_window;
}

int RecordsView::tableWidth() const {
    // Room for the cell margins and the grid line of each column.
    const int padding =
        3 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 8;
    const QFontMetrics cells = m_table->fontMetrics();
    const QFontMetrics titles = m_table->horizontalHeader()->fontMetrics();
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < mbus::RecordColumnCount; ++c) {
        if (m_table->isColumnHidden(c))
            continue;
        int column = titles.horizontalAdvance(m_table->horizontalHeaderItem(c)->text()) + 16;
        for (int r = 0; r < m_table->rowCount(); ++r)
            column = std::max(column, cells.horizontalAdvance(m_table->item(r, c)->text()));
        width += column + padding;
    }
    return width;
}

void RecordsView::placeBeside(QWidget* beside) {
    const QScreen* scr = beside ? beside->screen() : screen();
    const qreal scale = scr ? scr->logicalDotsPerInchX() / 96.0 : 1.0;
    // Wide enough for the whole table when the screen has room for it.
    const QMargins m = layout()->contentsMargins();
    int wide = std::max(qRound(OpenWidth * scale), tableWidth() + m.left() + m.right());
    if (scr)
        wide = std::min(wide, scr->availableGeometry().width());
    resize(wide, qRound(OpenHeight * scale));
    if (!beside)
        return;
    const QRect b = beside->frameGeometry();
    // To the right of the window; below it when another window of the
    // program (the traffic log) already stands there.
    QRect place(QPoint(b.right() + 1, b.top()), size());
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != beside && w != this && w->isVisible() && w->frameGeometry().intersects(place)) {
            place.moveTo(b.left(), b.bottom() + 1);
            break;
        }
    }
    if (scr) {
        const QRect avail = scr->availableGeometry();
        place.moveLeft(std::max(avail.left(), std::min(place.left(), avail.right() - width())));
        place.moveTop(std::max(avail.top(), std::min(place.top(), avail.bottom() - height())));
    }
    move(place.topLeft());
}

} // namespace kestrune
