#pragma once

#include <QImage>
#include <QWidget>

class QPainter;

namespace kestrune {

// The logo's tile (without the name) painted into a square. The one source
// of the logo: the header of the wizard, the window icon and the desktop
// icons installed with the program are all painted by it.
void paintLogoTile(QPainter& p, const QRectF& tile);

// The tile as a square picture of size x size pixels on a transparent ground.
QImage logoImage(int size);

// The program's logo: a rounded blue tile with a stylised "K" over three bus
// taps, and the program's name beside it when there is room. Drawn, not
// loaded, so it scales to the header it sits in.
class LogoWidget : public QWidget {
    Q_OBJECT
public:
    explicit LogoWidget(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kestrune
