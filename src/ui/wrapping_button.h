#pragma once

#include <QPushButton>

namespace vantel::ui {

// A push button whose caption wraps onto further lines when it is wider than
// the button, as "Generate WAV file" must in its narrow place.
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vantel::ui
