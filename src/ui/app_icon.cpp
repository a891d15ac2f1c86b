#include "ui/app_icon.h"

#include <QPixmap>

#include "ui/vantel_icon.xpm"

namespace vantel::ui {

QImage appIconImage() { return QImage(vantel_icon_xpm); }

QIcon appIcon() { return QIcon(QPixmap::fromImage(appIconImage())); }

}  // namespace vantel::ui
