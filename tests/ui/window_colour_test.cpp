// The window's colours under a light and a dark desktop palette: every text
// it colours reads on what it is drawn on, a colour that already reads stays
// exactly as chosen, and a palette change while the window is open is
// followed.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <vector>

#include "test_palettes.h"
#include "ui/window_look.h"
#include "window_driver.h"

using vantel::testing::WindowDriver;
using vantel::ui::contrastRatio;
using vantel::ui::kReadableContrast;
using vantel::ui::readableOn;

namespace {

// A coloured text: the colour the window chose for it, the colour it is drawn
// in, and the colour behind it.
struct ColouredText {
    const char* name;
    QColor chosen;
    QColor drawn;
    QColor background;
};

std::vector<ColouredText> colouredTexts(WindowDriver& w, const QColor& reportColour) {
    const QPalette& look = w.window.palette();
    const QPalette& play = w.find("Play")->palette();
    const QPalette& pattern = w.find("CWPatternText")->palette();
    return {
        {"Play", look.color(QPalette::ButtonText), play.color(QPalette::ButtonText), play.color(QPalette::Button)},
        {"CWPatternText", vantel::ui::kRed, pattern.color(QPalette::Text), pattern.color(QPalette::Base)},
        {"InfoText", reportColour, w.textColour("InfoText"), look.color(QPalette::Window)},
        {"FIRLen", look.color(QPalette::Dark), w.textColour("FIRLen"), look.color(QPalette::Window)},
    };
}

QString describe(const ColouredText& text) {
    return QString("%1: %2 drawn %3 on %4, %5:1")
        .arg(text.name, text.chosen.name(), text.drawn.name(), text.background.name())
        .arg(contrastRatio(text.drawn, text.background), 0, 'f', 2);
}

}  // namespace

class WindowColourTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QApplication::setPalette(vantel::testing::lightPalette()); }
    void readableColourKeepsItsHueAndMovesLeast();
    void textsReadUnderLightAndDarkPalettes_data();
    void textsReadUnderLightAndDarkPalettes();
};

void WindowColourTest::readableColourKeepsItsHueAndMovesLeast() {
    const std::vector<QColor> colours{vantel::ui::kRed, vantel::ui::kBlue, vantel::ui::kMagenta, Qt::white,
                                      Qt::black,        QColor(159, 159, 159), QColor(26, 26, 26)};
    const std::vector<QColor> backgrounds{QColor(239, 239, 239), QColor(53, 53, 53), QColor(42, 42, 42),
                                          vantel::ui::kLightGreen, Qt::white};
    for (const QColor& colour : colours) {
        for (const QColor& background : backgrounds) {
            const QColor readable = readableOn(colour, background);
            const QString pair = colour.name() + " on " + background.name() + " -> " + readable.name();
            QVERIFY2(contrastRatio(readable, background) >= kReadableContrast, qPrintable(pair));
            if (contrastRatio(colour, background) >= kReadableContrast) QCOMPARE(readable, colour);
            QCOMPARE(readable.hslHue(), colour.hslHue());
            QVERIFY2(std::abs(readable.hslSaturation() - colour.hslSaturation()) <= 2, qPrintable(pair));
            // No lightness nearer the original reads, on either side.
            const double moved = std::abs(readable.lightnessF() - colour.lightnessF());
            for (double shift = 0; shift < moved - 0.01; shift += 0.005) {
                for (const double lightness : {colour.lightnessF() - shift, colour.lightnessF() + shift}) {
                    if (lightness < 0 || lightness > 1) continue;
                    const QColor nearer = QColor::fromHslF(std::max(colour.hslHueF(), 0.0F), colour.hslSaturationF(),
                                                           static_cast<float>(lightness));
                    QVERIFY2(contrastRatio(nearer, background) < kReadableContrast, qPrintable(pair));
                }
            }
        }
    }
}

void WindowColourTest::textsReadUnderLightAndDarkPalettes_data() {
    QTest::addColumn<QString>("scaling");
    QTest::addColumn<QString>("signalToNoise");
    QTest::addColumn<QColor>("reportColour");
    QTest::newRow("level report") << "0" << "20" << vantel::ui::kBlue;
    QTest::newRow("low level") << "-30" << "20" << vantel::ui::kMagenta;
    QTest::newRow("clipping") << "10" << "60" << vantel::ui::kRed;
}

void WindowColourTest::textsReadUnderLightAndDarkPalettes() {
    QFETCH(QString, scaling);
    QFETCH(QString, signalToNoise);
    QFETCH(QColor, reportColour);
    const QTemporaryDir folder;
    QVERIFY(QDir::setCurrent(folder.path()));
    WindowDriver w;
    w.type("ScaleText", scaling);
    w.type("SNtext", signalToNoise);
    w.generate();
    QVERIFY(w.shown("Play"));

    // Opened under the light palette, then the desktop's theme switched to
    // dark and back while the window stays open.
    const QPalette light = vantel::testing::lightPalette();
    for (const QPalette& palette : {light, vantel::testing::darkPalette(), light}) {
        QApplication::setPalette(palette);
        // A window hears of the change through its event queue.
        QTRY_COMPARE(w.find("CWPatternText")->palette().color(QPalette::Base), palette.color(QPalette::Button));
        QCOMPARE(w.find("Play")->palette().color(QPalette::Button), vantel::ui::kLightGreen);
        for (const ColouredText& text : colouredTexts(w, reportColour)) {
            QVERIFY2(contrastRatio(text.drawn, text.background) >= kReadableContrast, qPrintable(describe(text)));
            QVERIFY2(text.drawn.hslHue() == text.chosen.hslHue(), qPrintable(describe(text)));
            if (contrastRatio(text.chosen, text.background) >= kReadableContrast) {
                QVERIFY2(text.drawn == text.chosen, qPrintable(describe(text)));
            }
        }
    }
}

QTEST_MAIN(WindowColourTest)
#include "window_colour_test.moc"
