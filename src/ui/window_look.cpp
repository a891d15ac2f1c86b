#include "ui/window_look.h"

#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace vantel::ui {
namespace {

// Arial's metric twin first, then narrow faces, then whatever the desktop
// calls its sans serif.
const QStringList kSansFallbacks{"Liberation Sans", "Arimo", "DejaVu Sans Condensed", "DejaVu Sans", "Sans Serif"};

QFont sansFont(const QString& preferred, double points) {
    QFont font;
    QStringList families{preferred};
    families.append(kSansFallbacks);
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

}  // namespace

QFont standardFont() { return sansFont("MS Sans Serif", kStandardPointSize); }
QFont windowsSansFont(double points) { return sansFont("MS Sans Serif", points); }
QFont arialFont(double points) { return sansFont("Arial", points); }

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
}

}  // namespace vantel::ui
