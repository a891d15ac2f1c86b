#pragma once

#include <QGroupBox>

namespace vantel::ui {

// A frame whose caption sits in its top border line rather than above it,
// so controls placed near the frame's top keep clear of both.
class FrameBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vantel::ui
