// The edit handlers, driven through the real boxes: every keystroke takes
// effect, and a text the program writes raises its box's handler too.
#include <QCheckBox>
#include <QRadioButton>
#include <QtTest>
#include <cmath>

#include "window_driver.h"

using vantel::testing::WindowDriver;

class WindowEntryTest : public QObject {
    Q_OBJECT
private slots:
    void modeSwitchRoundTripKeepsSpeedAndToneLength();
    void speedEntryShowsTheDotInterval();
    void outputLevelAndScrollBarExchangeOncePerWay();
    void firLabelFollowsBandwidthAndToneCheck();
    void noFilterHidesTheFilterControls();
    void snFiguresFollowBandwidthAndRatio();
    void everyEditBringsBackGenerate();
};

void WindowEntryTest::modeSwitchRoundTripKeepsSpeedAndToneLength() {
    WindowDriver w;
    w.click("ToneOnly");
    QCOMPARE(w.text("WPMtext"), QString(" 5"));
    QCOMPARE(w.text("Label4"), QString("Tone Duration  s"));
    for (const char* name : {"Messagetext", "Label5", "Label7", "DurLabel", "SpaceToneText", "SPToneLabel"}) {
        QVERIFY2(!w.shown(name), name);
    }
    QCOMPARE(w.window.settings().Dotperiod, 0.1);
    QCOMPARE(w.window.settings().ContToneDur, 5.0f);

    w.type("WPMtext", "12.5");
    QCOMPARE(w.window.settings().ContToneDur, 12.5f);
    QCOMPARE(w.window.settings().WPM, 20.0);

    w.click("FSKCW");
    QCOMPARE(w.text("WPMtext"), QString(" 20"));
    QCOMPARE(w.text("Label4"), QString("CW Speed WPM"));
    QCOMPARE(w.text("Label7"), QString("Dot interval  60ms"));
    for (const char* name : {"Messagetext", "Label5", "Label7", "DurLabel", "SpaceToneText", "SPToneLabel"}) {
        QVERIFY2(w.shown(name), name);
    }
    QCOMPARE(w.window.settings().Dotperiod, 0.06);

    w.click("ToneOnly");
    QCOMPARE(w.text("WPMtext"), QString(" 12.5"));

    // Between the two Morse modes only the space tone comes and goes.
    w.click("OnOffCW");
    QVERIFY(!w.shown("SpaceToneText"));
    w.click("FSKCW");
    QVERIFY(w.shown("SpaceToneText"));
    QCOMPARE(w.text("WPMtext"), QString(" 20"));
}

void WindowEntryTest::speedEntryShowsTheDotInterval() {
    WindowDriver w;
    w.type("WPMtext", "25");
    QCOMPARE(w.text("Label7"), QString("Dot interval  48ms"));
    w.type("WPMtext", "7");
    QCOMPARE(w.text("Label7"), QString("Dot interval  171ms"));
    // No speed: the interval stays, the speed itself becomes 0.
    w.type("WPMtext", "fast");
    QCOMPARE(w.text("Label7"), QString("Dot interval  171ms"));
    QCOMPARE(w.window.settings().WPM, 0.0);
}

void WindowEntryTest::outputLevelAndScrollBarExchangeOncePerWay() {
    WindowDriver w;
    auto* bar = w.find<QScrollBar>("ScaleScroll");
    bar->setValue(3);
    QCOMPARE(w.text("ScaleText"), QString("3"));

    w.type("ScaleText", "3.5");
    QCOMPARE(bar->value(), 4);
    QCOMPARE(w.text("ScaleText"), QString("4"));
    QCOMPARE(w.window.settings().ScaleFact, std::pow(10.0, 4.0 / 20));

    bar->setValue(3);
    w.type("ScaleText", "3.4");
    QCOMPARE(bar->value(), 3);
    QCOMPARE(w.text("ScaleText"), QString("3.4"));
    QCOMPARE(w.window.settings().ScaleFact, std::pow(10.0, 3.4 / 20));

    w.type("ScaleText", "20");
    QCOMPARE(bar->value(), 2);  // the "2" moved it; "20" is off its scale and leaves it
    QCOMPARE(w.text("ScaleText"), QString("20"));
    QCOMPARE(w.window.settings().ScaleFact, 10.0);

    // A lone minus sign reads 0: the bar moves there and writes 0 over it.
    bar->setValue(-12);
    auto* box = w.find<QLineEdit>("ScaleText");
    box->selectAll();
    QTest::keyClicks(box, "-");
    QCOMPARE(bar->value(), 0);
    QCOMPARE(w.text("ScaleText"), QString("0"));

    // The top of the bar is the loud end.
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Up);
    QCOMPARE(w.text("ScaleText"), QString("1"));
    bar->setValue(bar->minimum());
    QCOMPARE(w.text("ScaleText"), QString("-50"));
}

void WindowEntryTest::firLabelFollowsBandwidthAndToneCheck() {
    WindowDriver w;
    w.type("Ftonetext", "300");
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));
    w.type("Ftonetext", "3300.1");
    QCOMPARE(w.text("FIRLen"), QString("Tone outside filter response"));
    w.type("Ftonetext", "-800");
    QCOMPARE(w.text("FIRLen"), QString("Tone outside filter response"));
    w.type("Ftonetext", "800");
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));

    // The space tone counts only in FSK, and only from the next edit on.
    w.type("SpaceToneText", "200");
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));
    w.click("FSKCW");
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));
    w.type("FilterCFtext", "1800");
    QCOMPARE(w.text("FIRLen"), QString("Tone outside filter response"));
    w.click("OnOffCW");

    // The bandwidth sets the FIR length from the sample rate it finds.
    w.type("FilterBWtext", "100");
    QCOMPARE(w.text("FIRLen"), QString("Tone outside filter response"));
    w.type("FilterCFtext", "800");
    QCOMPARE(w.text("FIRLen"), QString("FIR  480"));
    w.type("FStext", "48000");
    QCOMPARE(w.text("FIRLen"), QString("FIR  480"));
    w.type("FilterBWtext", "");
    QCOMPARE(w.window.settings().FilterBW, 100.0);
    QCOMPARE(w.text("FIRLen"), QString("FIR  1920"));
    w.type("FilterBWtext", "-100");
    QCOMPARE(w.window.settings().FilterBW, 100.0);
}

void WindowEntryTest::noFilterHidesTheFilterControls() {
    WindowDriver w;
    w.type("Ftonetext", "5000");
    w.click("NoFilter");
    for (const char* name : {"FilterCFtext", "FilterBWtext", "FIRLen", "Label9", "Label10"}) {
        QVERIFY2(!w.shown(name), name);
    }
    QVERIFY(w.shown("NoFilter"));
    w.click("NoFilter");
    for (const char* name : {"FilterCFtext", "FilterBWtext", "FIRLen", "Label9", "Label10"}) {
        QVERIFY2(w.shown(name), name);
    }
    QCOMPARE(w.text("FIRLen"), QString("Tone outside filter response"));
}

void WindowEntryTest::snFiguresFollowBandwidthAndRatio() {
    WindowDriver w;
    // Clearing the bandwidth keeps 300 and shows the start-up figures.
    w.type("BWtext", "");
    QCOMPARE(w.text("SNVals"), QString("S/N normalised :\n2500Hz    10.8dB\n   1Hz    44.8dB"));
    w.type("BWtext", "3000");
    w.type("SNtext", "-10");
    QCOMPARE(w.text("SNVals"), QString("S/N normalised :\n2500Hz    -9.2dB\n   1Hz    24.8dB"));
    // A bandwidth of 0 has no figures; the last ones stay.
    w.type("BWtext", "0");
    QCOMPARE(w.window.settings().BW, 0.0);
    QCOMPARE(w.text("SNVals"), QString("S/N normalised :\n2500Hz    -9.2dB\n   1Hz    24.8dB"));
    w.type("BWtext", "-300");
    QCOMPARE(w.window.settings().BW, 300.0);
}

void WindowEntryTest::everyEditBringsBackGenerate() {
    WindowDriver w;
    auto* generate = w.find("GenWav");
    for (const char* box : {"FStext", "BWtext", "SNtext", "ScaleText", "WPMtext", "Ftonetext", "FilterBWtext"}) {
        generate->hide();
        QTest::keyClick(w.find(box), Qt::Key_Space);
        QVERIFY2(generate->isVisible(), box);
    }
    // Editing the message clears the shown pattern and its length.
    w.find<QPlainTextEdit>("CWPatternText")->setPlainText("- - -");
    w.find<QLabel>("DurLabel")->setText("Duration 3 seconds");
    w.type("Messagetext", "SOS");
    QVERIFY(w.text("CWPatternText").isEmpty());
    QVERIFY(w.text("DurLabel").isEmpty());
}

QTEST_MAIN(WindowEntryTest)
#include "window_entry_test.moc"
