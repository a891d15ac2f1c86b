#include "ui/window_look.h"

#include <QPalette>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vantel::ui {
namespace {

// Arimo is the same design under another name; then whatever the desktop
// calls its sans serif.
const QStringList kSansFallbacks{"Arimo", "DejaVu Sans", "Sans Serif"};

double relativeLuminance(const QColor& colour) {
    auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

// The colour at another HSL lightness, in whole 8-bit channels: what a screen
// shows, and so what the contrast must be measured on.
QColor atLightness(const QColor& colour, double lightness) {
    float hue = 0;
    float saturation = 0;
    float unused = 0;
    colour.getHslF(&hue, &saturation, &unused);
    // A grey has no hue (-1); any will do at no saturation.
    const QColor moved = QColor::fromHslF(std::max(hue, 0.0F), saturation, static_cast<float>(lightness));
    return QColor(moved.red(), moved.green(), moved.blue());
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor readableOn(const QColor& colour, const QColor& background) {
    if (contrastRatio(colour, background) >= kReadableContrast) return colour;
    // Lightness is searched outwards in both directions at once, so the first
    // readable step is the smallest change. One end or the other always
    // reads: black or white on any background reaches at least 4.58.
    constexpr int kSteps = 1000;
    const double start = colour.lightnessF();
    for (int step = 1; step <= kSteps; ++step) {
        const double shift = static_cast<double>(step) / kSteps;
        for (const double lightness : {std::max(start - shift, 0.0), std::min(start + shift, 1.0)}) {
            const QColor moved = atLightness(colour, lightness);
            if (contrastRatio(moved, background) >= kReadableContrast) return moved;
        }
    }
    return colour;
}

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

void setTextColour(QWidget* widget, const QColor& colour, const QColor& background) {
    const QColor readable = readableOn(colour, background);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, readable);
    palette.setColor(QPalette::Text, readable);
    palette.setColor(QPalette::ButtonText, readable);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
}

}  // namespace vantel::ui
