#include "WizardPage.h"

#include "wizard/Navigation.h"
#include "wizard/ShellState.h"

#include <QLabel>

namespace kestrune {

WizardPage::WizardPage(int number, WizardFrame& frame, Header header)
    : QWidget(frame.mainWindow()), m_number(number), m_frame(frame), m_layout(frame.mainWindow()),
      m_tallHeader(header == Header::Tall) {
    setObjectName(QStringLiteral("Picture_Page(%1)").arg(number));
    m_layout.place(this, 0, 0, twips::WindowWidth, twips::PanelHeight);
    hide();

    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("Picture_Header(%1)").arg(number));
    m_header->setAutoFillBackground(true);
    QPalette pal = m_header->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    m_header->setPalette(pal);

    m_headerLabel = new QLabel(m_header);
    m_headerLabel->setObjectName(QStringLiteral("Label_Header(%1)").arg(number));
    m_headerLabel->setWordWrap(true);
    m_headerLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = m_headerLabel->font();
    bold.setBold(true);
    m_headerLabel->setFont(bold);

    if (m_tallHeader) {
        m_layout.place(m_header, 0, 0, twips::WindowWidth, twips::StartHeader);
        m_layout.place(m_headerLabel, 2400, 0, twips::WindowWidth - 2400 - 120, twips::StartHeader);
        QFont big = bold;
        big.setPointSizeF(big.pointSizeF() * 1.25);
        m_headerLabel->setFont(big);
    } else {
        m_layout.place(m_header, 0, 0, twips::WindowWidth, twips::Header);
        m_layout.place(m_headerLabel, 240, 0, twips::LogoLeft - 240 - 120, twips::Header);
    }
}

bool WizardPage::nextStartsEnabled() const {
    return nextEnabledOnEntry(m_number);
}

bool WizardPage::isCurrent() const {
    return state().currentPage == m_number;
}

void WizardPage::paintEvent(QPaintEvent*) {
    // Every page but the start page has an etched line below its header.
    if (!m_tallHeader)
        drawEtchedLine(this, m_layout.y(twips::PageSeparator));
}

} // namespace kestrune
