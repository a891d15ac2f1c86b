// Draws the main window at start-up and after a complete run under the light
// palette into window-startup<suffix>.png and window-done<suffix>.png in the
// folder given, and after a run under a dark palette into
// window-done-dark<suffix>.png. It refuses to draw them in any face but the
// one the layout is drawn for, so the pictures show what the installed
// program looks like.
#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "test_palettes.h"
#include "ui/main_window.h"
#include "ui/window_look.h"

namespace {

bool drawnInTheLayoutFace(const QWidget& window) {
    const QString face = QFontInfo(window.font()).family();
    if (face == vantel::ui::kLayoutFamily) return true;
    std::fprintf(stderr, "window_screenshots: drawn in %s, not %s: install fonts-liberation2\n", qPrintable(face),
                 qPrintable(vantel::ui::kLayoutFamily));
    return false;
}

bool saveWhenDrawn(QWidget& window, const QString& file) {
    QTest::qWait(200);
    return window.grab().save(file);
}

// Opens a window under the application's palette, saves it into `startupFile`
// (unless empty), runs Generate and saves it into `doneFile`.
bool drawRun(const QString& startupFile, const QString& doneFile) {
    vantel::ui::Vantel window;
    if (!drawnInTheLayoutFace(window)) return false;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return false;
    bool saved = startupFile.isEmpty() || saveWhenDrawn(window, startupFile);
    window.findChild<QPushButton*>("GenWav")->click();
    return saveWhenDrawn(window, doneFile) && saved;
}

}  // namespace

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

    // Set explicitly, so the pictures do not depend on the desktop they are
    // drawn on.
    QApplication::setPalette(vantel::testing::lightPalette());
    if (!drawRun(out.filePath("window-startup" + suffix + ".png"), out.filePath("window-done" + suffix + ".png"))) {
        return 1;
    }
    QApplication::setPalette(vantel::testing::darkPalette());
    return drawRun({}, out.filePath("window-done-dark" + suffix + ".png")) ? 0 : 1;
}
