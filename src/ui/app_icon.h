#pragma once

#include <QIcon>
#include <QImage>

namespace vantel::ui {

// The window's own 32 x 32, 16-colour icon: a keyed tone over noise.
QImage appIconImage();
QIcon appIcon();

}  // namespace vantel::ui
