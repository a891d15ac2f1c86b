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

void setTextColour(QWidget* widget, const QColor& colour);
void setBackground(QWidget* widget, const QColor& colour);

}  // namespace vantel::ui
