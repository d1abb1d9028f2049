#pragma once

#include "base/ResultTone.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kestrune {

// Measures of the wizard in twips (1/1440 inch), from the window's top left.
namespace twips {
// The window.
constexpr int WindowWidth = 7530;
constexpr int WindowHeight = 6500;
// The etched line above the buttons, from the top of the window.
constexpr int ButtonSeparator = 5330;
// The etched line below the header of every page but page 0.
constexpr int PageSeparator = 705;
// Header heights: the start page and the others.
constexpr int StartHeader = 1095;
constexpr int Header = 690;
// Left edge of the logo in the headers of the pages other than page 0.
constexpr int LogoLeft = 5400;
// A page panel ends just above the window's separator line.
constexpr int PanelHeight = ButtonSeparator - 30;

// Rows of fields on the pages.
constexpr int RowHeight = 345;
constexpr int RowStep = 435;
constexpr int ButtonHeight = 375;
// The row of action buttons at the foot of a page.
constexpr int ButtonRowTop = PanelHeight - 120 - ButtonHeight;
// A result label holds up to three lines (a failure text with its reason).
constexpr int ResultHeight = 960;
} // namespace twips

// Colours of the result labels.
namespace resultcolor {
inline const QColor Blue{0, 0, 255};     // success, and the page's ready text
inline const QColor DarkRed{177, 4, 12}; // an error reply, or the link failed
inline const QColor Red{255, 0, 0};      // a time-out or a rejected file
// The colour of a result the protocol code gave its tone.
inline QColor of(ResultTone tone) {
    const Rgb rgb = resultRgb(tone);
    return QColor(rgb.red, rgb.green, rgb.blue);
}
} // namespace resultcolor

// Draws the etched separator (a grey line with a white line one pixel below
// it) across a widget at height y, in pixels. Call it from paintEvent.
void drawEtchedLine(QWidget* widget, int y);

// Shows a caption in a result label in the given colour.
void setResultText(QLabel* label, const QString& text, const QColor& color);

// The layout helper of the pages: places controls in twips and gives them
// their objectName. Every page lays out its controls with it; positions are
// converted with the logical resolution of the reference widget (the wizard
// window), so the pages scale with it.
class PageLayout {
public:
    explicit PageLayout(const QWidget* reference) : m_reference(reference) {}

    // Twips to pixels, horizontally and vertically.
    int x(int twips) const;
    int y(int twips) const;

    // Gives a widget its place, all measures in twips.
    void place(QWidget* widget, int left, int top, int width, int height) const;

    // A label, a text field, a list or a check box one row high.
    QLabel* addLabel(QWidget* parent, const QString& name, int left, int top, int width) const;
    QLineEdit* addLineEdit(QWidget* parent, const QString& name, int left, int top,
                           int width) const;
    QComboBox* addCombo(QWidget* parent, const QString& name, int left, int top, int width) const;
    QCheckBox* addCheckBox(QWidget* parent, const QString& name, int left, int top,
                           int width) const;
    // An option button, one row high.
    QRadioButton* addOption(QWidget* parent, const QString& name, int left, int top,
                            int width) const;
    // A frame with its caption at the top, for a group of controls that
    // are laid out inside it (positions relative to the frame).
    QGroupBox* addFrame(QWidget* parent, const QString& name, int left, int top, int width,
                        int height) const;
    // A push button, one button high.
    QPushButton* addButton(QWidget* parent, const QString& name, int left, int top,
                           int width) const;
    // A result label: word-wrapped, selectable, beside its "Result" label at
    // the left, reaching to the page's right margin; height is that of the
    // row it heads.
    QLabel* addResultLabel(QWidget* parent, const QString& name, int top,
                           int height = twips::ResultHeight) const;
    // An explanatory text field Text_Info(index): read-only, frameless, on
    // the window's background.
    QPlainTextEdit* addInfoText(QWidget* parent, int index, const QRect& twips) const;

    // An option button whose long label is the information text Text_Info
    // (infoIndex) beside it. A click on the text runs onSelect (the option's
    // click handler) and gives the option the focus.
    struct LongLabelOption {
        QRadioButton* option = nullptr;
        QPlainTextEdit* info = nullptr;
    };
    LongLabelOption addLongLabelOption(QWidget* parent, const QString& name, int infoIndex, int top,
                                       int height, std::function<void()> onSelect) const;

private:
    const QWidget* m_reference;
};

} // namespace kestrune
