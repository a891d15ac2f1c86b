#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// Window tests choose the fonts the window can find, so that what they check
// does not depend on what a machine happens to have installed. The font set
// is named by VANTEL_TEST_FONTS:
//   "dejavu"     only DejaVu Sans, as on a minimal desktop;
//   "liberation" the face the layout is drawn for, with DejaVu Sans beside it.
// Unset, the machine's own fonts are used.
namespace vantel::testing {

inline QStringList testFontFiles(const QByteArray& set) {
    const QString dejavu = "/usr/share/fonts/truetype/dejavu/";
    const QString liberation = "/usr/share/fonts/truetype/liberation2/";
    QStringList files{dejavu + "DejaVuSans.ttf", dejavu + "DejaVuSans-Bold.ttf"};
    if (set == "liberation") files << liberation + "LiberationSans-Regular.ttf" << liberation + "LiberationSans-Bold.ttf";
    return files;
}

// Call before the application object exists: hides every installed font from
// fontconfig by pointing it at an empty folder.
inline void hideInstalledFonts(const QTemporaryDir& scratch) {
    if (qEnvironmentVariableIsEmpty("VANTEL_TEST_FONTS")) return;
    const QString fonts = scratch.filePath("fonts");
    QDir().mkpath(fonts);
    QFile config(scratch.filePath("fonts.conf"));
    if (!config.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(config.fileName()));
    config.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                                "<fontconfig><dir>%1</dir><cachedir>%2</cachedir></fontconfig>\n")
                     .arg(fonts, scratch.filePath("cache"))
                     .toUtf8());
    config.close();
    qputenv("FONTCONFIG_FILE", config.fileName().toLocal8Bit());
}

// Call once the application object exists: loads the set's font files. A
// missing file is a failed set-up (the install step brings every one).
inline void loadTestFonts() {
    const QByteArray set = qgetenv("VANTEL_TEST_FONTS");
    if (set.isEmpty()) return;
    if (set != "dejavu" && set != "liberation") qFatal("VANTEL_TEST_FONTS: unknown font set %s", set.constData());
    for (const QString& file : testFontFiles(set)) {
        if (QFontDatabase::addApplicationFont(file) < 0) qFatal("cannot load font %s", qPrintable(file));
    }
}

// Runs a window test object as QTEST_MAIN would, with the fonts set up.
template <typename TestObject>
int runWindowTest(int argc, char** argv) {
    const QTemporaryDir fontScratch;
    hideInstalledFonts(fontScratch);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    loadTestFonts();
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace vantel::testing
