#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// Fonts and colours of the main window. The layout was drawn for an 8-point
// sans serif; the fonts it names fall back to metric-alike or narrow sans
// serifs found on a stock Linux desktop, so every caption fits its box.
namespace vantel::ui {

inline constexpr double kStandardPointSize = 8;

QFont standardFont();
QFont windowsSansFont(double points);  // the classic dialog face at a size
QFont arialFont(double points);

inline const QColor kRed{255, 0, 0};
inline const QColor kBlue{0, 0, 255};
inline const QColor kMagenta{255, 0, 255};
inline const QColor kLightGreen{192, 255, 192};

void setTextColour(QWidget* widget, const QColor& colour);
void setBackground(QWidget* widget, const QColor& colour);

}  // namespace vantel::ui
