// The window as it opens: controls, captions, start-up state, fonts, tab
// order, that every caption fits its box, and the names a screen reader
// gives its inputs.
#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>

#include "test_fonts.h"
#include "test_palettes.h"
#include "window_driver.h"

using vantel::testing::WindowDriver;

namespace {

QString accessibleName(QWidget* control) {
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

// A caption as a screen reader says it: no mnemonic marker, no closing colon.
QString spoken(QString caption) {
    caption.remove('&');
    if (caption.endsWith(':')) caption.chop(1);
    return caption;
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithTheStartupState();
    void placesControlsFromTwips();
    void opensCentredOnItsScreen();
    void everyCaptionFitsItsBox();
    void drawsInTheLayoutFace();
    void focusFollowsTheTabOrder();
    void everyInputIsNamedByItsCaption();
};

void WindowLayoutTest::opensWithTheStartupState() {
    WindowDriver w;
    QCOMPARE(w.window.windowTitle(), QString("Vantel   Morvath"));
    QCOMPARE(w.window.windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(w.window.font().pointSizeF(), 8.0);

    QVERIFY(w.find<QRadioButton>("OnOffCW")->isChecked());
    QVERIFY(!w.find<QCheckBox>("NoFilter")->isChecked());
    for (const char* name : {"GenWav", "FilterCFtext", "FilterBWtext", "FIRLen", "Label9", "Label10", "Messagetext",
                             "Label7", "DurLabel", "SNVals", "CWPatternText", "InfoText"}) {
        QVERIFY2(w.shown(name), name);
    }
    for (const char* name : {"Play", "SaveWav", "Abort", "Progress", "SpaceToneText", "SPToneLabel"}) {
        QVERIFY2(!w.shown(name), name);
    }
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));
    QCOMPARE(w.text("Label4"), QString("CW Speed  WPM"));
    QCOMPARE(w.text("Label7"), QString("Dot Interval 60ms"));
    QCOMPARE(w.text("Messagetext"), QString("TESTING"));
    QCOMPARE(w.text("FStext"), QString("12000"));
    for (const char* name : {"SNVals", "CWPatternText", "DurLabel", "InfoText"}) QVERIFY2(w.text(name).isEmpty(), name);

    // The load step took its numbers from the boxes.
    const auto& s = w.window.settings();
    QCOMPARE(s.WPM, 20.0);
    QCOMPARE(s.Dotperiod, 0.06);
    QCOMPARE(s.FSample, 12000.0);
    QCOMPARE(s.BW, 300.0);
    QCOMPARE(s.FilterCF, 1800.0);
    QCOMPARE(s.FilterBW, 3000.0);
    QCOMPARE(w.window.firLength(), std::int16_t{200});

    QCOMPARE(w.find("CWPatternText")->palette().color(QPalette::Text), vantel::testing::kRedOnLightFace);
    QCOMPARE(w.find("Play")->palette().color(QPalette::Button), QColor(192, 255, 192));
    QCOMPARE(w.find("Play")->font().pointSizeF(), 12.0);
    QCOMPARE(w.find("SaveWav")->font().pointSizeF(), 9.75);
}

void WindowLayoutTest::placesControlsFromTwips() {
    // At 96 dpi, 15 twips to the pixel.
    WindowDriver w;
    QCOMPARE(w.window.logicalDpiX(), 96);
    QCOMPARE(w.window.size(), QSize(361, 539));
    QCOMPARE(w.find("Frame2")->geometry(), QRect(8, 48, 337, 153));
    QCOMPARE(w.find("TxType")->geometry(), QRect(16, 120, 105, 73));
    QCOMPARE(w.find("ScaleScroll")->geometry(), QRect(200, 64, 17, 25));
    QCOMPARE(w.find("GenWav")->geometry(), QRect(144, 432, 65, 33));
    // Modulation lies inside the message frame but is drawn in front of it.
    QVERIFY(w.window.childAt(60, 150)->objectName() == "TxType" ||
            w.window.childAt(60, 150)->parentWidget()->objectName() == "TxType");
}

void WindowLayoutTest::opensCentredOnItsScreen() {
    WindowDriver w;
    const QRect area = w.window.screen()->availableGeometry();
    const QRect place = w.window.frameGeometry();
    // The window is placed before it has a frame: the frame the platform
    // adds afterwards may move it by a few pixels.
    constexpr int kFrame = 8;
    auto near = [](int a, int b) { return std::abs(a - b) <= kFrame; };
    // Centred on each axis it fits; where the screen is too small for it,
    // from the screen's top (or left) edge.
    const bool fitsAcross = place.width() <= area.width();
    const bool fitsDown = place.height() <= area.height();
    QVERIFY2(fitsAcross ? near(place.center().x(), area.center().x()) : near(place.left(), area.left()),
             qPrintable(QString::number(place.left())));
    QVERIFY2(fitsDown ? near(place.center().y(), area.center().y()) : near(place.top(), area.top()),
             qPrintable(QString::number(place.top())));
    if (fitsAcross && fitsDown) QVERIFY(area.contains(place));
}

void WindowLayoutTest::everyCaptionFitsItsBox() {
    WindowDriver w;
    auto labelsFit = [&] {
        for (QLabel* label : w.window.findChildren<QLabel*>()) {
            if (label->wordWrap() || label->text().isEmpty()) continue;
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            if (needed > label->contentsRect().width()) return label->objectName() + ": " + label->text();
        }
        return QString();
    };
    QCOMPARE(labelsFit(), QString());
    // The captions the handlers write fit as well.
    w.type("WPMtext", "1");
    w.type("Ftonetext", "5000");
    QCOMPARE(labelsFit(), QString());
    w.click("ToneOnly");
    QCOMPARE(labelsFit(), QString());

    for (QAbstractButton* option : w.window.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(option)) {
            const QRect room = option->rect().adjusted(3, 3, -3, -3);
            const QRect used = option->fontMetrics().boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap,
                                                                  option->text());
            QVERIFY2(room.contains(used), qPrintable(option->objectName()));
        } else {
            QVERIFY2(option->sizeHint().width() <= option->width(), qPrintable(option->objectName()));
        }
    }
    for (QGroupBox* frame : w.window.findChildren<QGroupBox*>()) {
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) < frame->width() - 16,
                 qPrintable(frame->objectName()));
    }
    // The normalised figures fill the box's three lines without scrolling.
    w.type("SNtext", "-20");
    auto* figures = w.find<QPlainTextEdit>("SNVals");
    const QFontMetrics metrics(figures->font());
    for (const QString& line : figures->toPlainText().split('\n')) {
        QVERIFY2(metrics.horizontalAdvance(line) < figures->viewport()->width(), qPrintable(line));
    }
    QVERIFY(3 * metrics.lineSpacing() <= figures->viewport()->height());
}

void WindowLayoutTest::drawsInTheLayoutFace() {
    WindowDriver w;
    QCOMPARE(w.window.font().families().value(0), QString("Liberation Sans"));
    const QByteArray fonts = qgetenv("VANTEL_TEST_FONTS");
    if (fonts.isEmpty()) QSKIP("the machine's own fonts: which face is drawn depends on them");
    const QString drawn = QFontInfo(w.window.font()).family();
    QCOMPARE(drawn, fonts == "liberation" ? QString("Liberation Sans") : QString("DejaVu Sans"));

    // A caption that had to be fitted keeps the face, only smaller; in the
    // face the layout was drawn for, none needs it.
    int smaller = 0;
    for (QWidget* control : w.window.findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(control) && !qobject_cast<QAbstractButton*>(control)) continue;
        QCOMPARE(QFontInfo(control->font()).family(), drawn);
        if (control->font().pointSizeF() < control->parentWidget()->font().pointSizeF()) ++smaller;
    }
    if (fonts == "liberation") QCOMPARE(smaller, 0);
}

void WindowLayoutTest::focusFollowsTheTabOrder() {
    WindowDriver w;
    const QStringList expected{"FStext",       "CWPatternText", "FilterBWtext", "FilterCFtext", "NoFilter",
                               "Messagetext",  "WPMtext",       "Ftonetext",    "ScaleScroll",  "ScaleText",
                               "SNtext",       "BWtext",        "SNVals",       "GenWav",
                               // the options are one stop; the arrow keys move within them
                               "ToneOnly",     "FStext"};
    w.find("FStext")->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void WindowLayoutTest::everyInputIsNamedByItsCaption() {
    WindowDriver w;
    const std::vector<std::pair<const char*, const char*>> captions{
        {"FStext", "Label1"},
        {"BWtext", "Label2"}, {"SNtext", "Label6"}, {"ScaleText", "Label8"}, {"ScaleScroll", "Label8"},
        {"Ftonetext", "Label3"}, {"WPMtext", "Label4"}, {"Messagetext", "Label5"}, {"SpaceToneText", "SPToneLabel"},
        {"FilterCFtext", "Label10"}, {"FilterBWtext", "Label9"}};
    for (const auto& [control, caption] : captions) {
        QCOMPARE(accessibleName(w.find(control)), spoken(w.text(caption)));
    }
    // The speed box's caption changes with the mode, and its name with it.
    w.click("ToneOnly");
    QCOMPARE(accessibleName(w.find("WPMtext")), QString("Tone Duration  s"));

    // Every control of the layout that takes input or shows a value; Qt's
    // own parts of them (a box's scroll bars) have no name of their own.
    for (QWidget* control : w.window.findChildren<QWidget*>()) {
        if (control->objectName().isEmpty()) continue;
        const bool input = qobject_cast<QLineEdit*>(control) || qobject_cast<QPlainTextEdit*>(control) ||
                           qobject_cast<QAbstractButton*>(control) || qobject_cast<QScrollBar*>(control);
        if (input) QVERIFY2(!accessibleName(control).isEmpty(), qPrintable(control->objectName()));
    }
}

int main(int argc, char** argv) { return vantel::testing::runWindowTest<WindowLayoutTest>(argc, argv); }
#include "window_layout_test.moc"
