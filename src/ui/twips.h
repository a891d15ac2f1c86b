#pragma once

#include <QRect>
#include <cmath>

namespace vantel::ui {

// The layout is drawn in twips, 1/1440 inch: 15 twips to a pixel at 96 dpi.
inline constexpr double kTwipsPerInch = 1440;

struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

// Converts edges rather than sizes, so neighbouring controls that touch in
// twips still touch in pixels.
inline int twipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / kTwipsPerInch));
}

inline QRect toPixels(const TwipRect& r, double logicalDpi) {
    const int left = twipsToPixels(r.left, logicalDpi);
    const int top = twipsToPixels(r.top, logicalDpi);
    const int right = twipsToPixels(r.left + r.width, logicalDpi);
    const int bottom = twipsToPixels(r.top + r.height, logicalDpi);
    return {left, top, right - left, bottom - top};
}

}  // namespace vantel::ui
