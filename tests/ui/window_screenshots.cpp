// Draws the main window at start-up and after a complete run into
// window-startup.png and window-done.png in the folder given.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QTemporaryDir work;
    QDir::setCurrent(work.path());

    vantel::ui::Vantel window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QTest::qWait(200);
    bool saved = window.grab().save(out.filePath("window-startup.png"));

    window.findChild<QPushButton*>("GenWav")->click();
    QTest::qWait(200);
    saved = window.grab().save(out.filePath("window-done.png")) && saved;
    return saved ? 0 : 1;
}
