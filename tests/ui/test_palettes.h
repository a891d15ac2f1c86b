#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>

// The two desktop looks the window is checked and pictured under.
namespace vantel::testing {

// The style's own light palette, as on a desktop that sets none.
inline QPalette lightPalette() { return QApplication::style()->standardPalette(); }

// A dark desktop theme: a charcoal face with white text, the other roles
// derived from it as Qt derives them, and a darker box background.
inline QPalette darkPalette() {
    const QColor face(53, 53, 53);
    QPalette dark(face, face);
    dark.setColor(QPalette::Base, QColor(42, 42, 42));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return dark;
}

// The window's red on the light palette's face (#efefef): red itself reads
// there at only 3.5:1, so it is drawn darker, at 4.5:1.
inline const QColor kRedOnLightFace{220, 0, 0};

}  // namespace vantel::testing
