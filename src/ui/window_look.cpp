#include "ui/window_look.h"

#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace vantel::ui {
namespace {

// Arimo is the same design under another name; then whatever the desktop
// calls its sans serif.
const QStringList kSansFallbacks{"Arimo", "DejaVu Sans", "Sans Serif"};

}  // namespace

QFont layoutFont(double points) {
    QFont font;
    QStringList families{kLayoutFamily};
    families.append(kSansFallbacks);
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

QFont standardFont() { return layoutFont(kStandardPointSize); }

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
