#include "Logo.h"

#include <QPainter>
#include <QPainterPath>

namespace kestrune {

LogoWidget::LogoWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void paintLogoTile(QPainter& p, const QRectF& tile) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = tile.width();

    // Tile.
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, QColor(30, 90, 170));
    fill.setColorAt(1, QColor(10, 45, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, side * 0.18, side * 0.18);

    // The "K".
    const qreal u = side / 10.0;
    QPen pen(Qt::white, u * 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    const qreal x0 = tile.left() + 3 * u;
    const qreal top = tile.top() + 2 * u;
    const qreal bottom = tile.top() + 6.6 * u;
    const qreal mid = (top + bottom) / 2;
    p.drawLine(QPointF(x0, top), QPointF(x0, bottom));
    p.drawLine(QPointF(x0 + 3.8 * u, top), QPointF(x0 + 0.3 * u, mid));
    p.drawLine(QPointF(x0 + 0.3 * u, mid), QPointF(x0 + 3.8 * u, bottom));

    // The bus: a line with three taps.
    QPen bus(QColor(255, 200, 60), u * 0.7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(bus);
    const qreal busY = tile.top() + 8.2 * u;
    p.drawLine(QPointF(tile.left() + 1.5 * u, busY), QPointF(tile.right() - 1.5 * u, busY));
    p.setBrush(QColor(255, 200, 60));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(tile.left() + (2.8 + 2.2 * i) * u, busY), u * 0.75, u * 0.75);
    p.restore();
}

QImage logoImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    // A small margin keeps the antialiased edge inside the picture.
    const qreal margin = size / 32.0;
    paintLogoTile(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    return image;
}

void LogoWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal side = qMin(width(), height()) - 2.0;
    if (side < 8)
        return;
    const QRectF tile(1, (height() - side) / 2.0, side, side);
    paintLogoTile(p, tile);

    // The name, when the widget is wide enough for it.
    const qreal textLeft = tile.right() + side * 0.15;
    const QRectF textRect(textLeft, 0, width() - textLeft, height());
    if (textRect.width() < side * 1.5)
        return;
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(qMax(8, static_cast<int>(side * 0.42)));
    QFontMetricsF fm(f);
    const QString name = QStringLiteral("Kestrune");
    while (fm.horizontalAdvance(name) > textRect.width() && f.pixelSize() > 8) {
        f.setPixelSize(f.pixelSize() - 1);
        fm = QFontMetricsF(f);
    }
    p.setFont(f);
    p.setPen(QColor(10, 45, 110));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, name);
}

} // namespace kestrune
