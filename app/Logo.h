#pragma once

#include <QWidget>

namespace kestrune {

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
