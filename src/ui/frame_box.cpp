#include "ui/frame_box.h"

#include <QPainter>

namespace vantel::ui {

void FrameBox::paintEvent(QPaintEvent*) {
    constexpr int kCaptionIndent = 6;
    constexpr int kCaptionPadding = 2;
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(QRect(0, lineY, width() - 1, height() - 1 - lineY));

    const QRect caption(kCaptionIndent, 0, metrics.horizontalAdvance(title()) + 2 * kCaptionPadding,
                        metrics.height());
    painter.fillRect(caption, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}

}  // namespace vantel::ui
