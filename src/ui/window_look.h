#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

// Fonts and colours of the main window. The layout was measured in an
// 8-point classic sans serif; Liberation Sans has the metrics of its
// successor, so the window asks for it by name. Where it is missing the
// desktop's sans serif takes its place, and captions that would not fit are
// drawn smaller (see the window's caption fitting).
namespace vantel::ui {

inline constexpr double kStandardPointSize = 8;
inline const QString kLayoutFamily = QStringLiteral("Liberation Sans");

QFont standardFont();
QFont layoutFont(double points);  // the layout's face at a size

inline const QColor kRed{255, 0, 0};
inline const QColor kBlue{0, 0, 255};
inline const QColor kMagenta{255, 0, 255};
inline const QColor kLightGreen{192, 255, 192};

// The least contrast at which ordinary text is easily read (WCAG 2, level AA).
inline constexpr double kReadableContrast = 4.5;

// The WCAG 2 contrast of two colours: 1 (the same brightness) to 21 (black on
// white).
double contrastRatio(const QColor& a, const QColor& b);
// `colour` itself where it reads on `background`; otherwise the same hue and
// saturation, made darker or lighter by the least that reaches
// kReadableContrast, so a desktop's dark palette keeps the window's colours
// yet leaves every text legible.
QColor readableOn(const QColor& colour, const QColor& background);

// Gives the widget's text `colour`, made readable on `background`, the
// colour the text is drawn on.
void setTextColour(QWidget* widget, const QColor& colour, const QColor& background);
void setBackground(QWidget* widget, const QColor& colour);

}  // namespace vantel::ui
