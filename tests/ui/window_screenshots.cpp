// Draws the main window at start-up and after a complete run into
// window-startup<suffix>.png and window-done<suffix>.png in the folder given.
// It refuses to draw them in any face but the one the layout is drawn for, so
// the pictures show what the installed program looks like.
#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "ui/main_window.h"
#include "ui/window_look.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: window_screenshots FOLDER [SUFFIX]\n");
        return 2;
    }
    // Made absolute before the run moves into its scratch folder.
    const QDir out(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const QString suffix = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QTemporaryDir work;
    QDir::setCurrent(work.path());

    vantel::ui::Vantel window;
    const QString face = QFontInfo(window.font()).family();
    if (face != vantel::ui::kLayoutFamily) {
        std::fprintf(stderr, "window_screenshots: drawn in %s, not %s: install fonts-liberation2\n",
                     qPrintable(face), qPrintable(vantel::ui::kLayoutFamily));
        return 1;
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QTest::qWait(200);
    bool saved = window.grab().save(out.filePath("window-startup" + suffix + ".png"));

    window.findChild<QPushButton*>("GenWav")->click();
    QTest::qWait(200);
    saved = window.grab().save(out.filePath("window-done" + suffix + ".png")) && saved;
    return saved ? 0 : 1;
}
