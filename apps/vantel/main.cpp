// vantel: the desktop program.
#include <QApplication>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantel");
    QGuiApplication::setDesktopFileName("vantel");
    vantel::ui::Vantel window;
    window.show();
    return QApplication::exec();
}
