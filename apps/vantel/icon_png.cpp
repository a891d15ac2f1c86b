// Writes the window's icon as a PNG for the desktop's icon theme, so the
// installed icon and the window's own are always the same picture.
#include <QImage>

#include "ui/app_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    return vantel::ui::appIconImage().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
