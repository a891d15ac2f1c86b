#include "ui/progress_box.h"

#include <QPainter>

#include "ui/window_look.h"

namespace vantel::ui {

ProgressBox::ProgressBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void ProgressBox::setScaleWidth(std::int64_t elements) {
    scaleWidth_ = elements > 0 ? elements : 1;
    fillTo(0);
}

void ProgressBox::fillTo(std::int64_t elements) {
    filled_ = elements;
    if (boundary() != paintedBoundary_) update();
}

int ProgressBox::boundary() const {
    const double share = static_cast<double>(filled_) / static_cast<double>(scaleWidth_);
    return static_cast<int>(share * width() + 0.5);
}

void ProgressBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintedBoundary_ = boundary();
    painter.fillRect(QRect(0, 0, paintedBoundary_, height()), kBlue);
    painter.fillRect(QRect(paintedBoundary_, 0, width() - paintedBoundary_, height()), Qt::white);
}

void ProgressBox::resizeEvent(QResizeEvent*) { paintedBoundary_ = -1; }

}  // namespace vantel::ui
