// Generate from the window: the file, the report, the window states, Abort,
// closing mid-run, failures, and that the first file after start-up is the
// very file the command writes for the same texts.
#include <sys/resource.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>

#include "batch/render.h"
#include "test_palettes.h"
#include "ui/progress_box.h"
#include "window_driver.h"

using vantel::testing::WindowDriver;

namespace {

struct WavFile {
    qint64 size = 0;
    qint32 riffSize = 0;
    qint32 dataBytes = 0;
    qint32 sampleRate = 0;
};

qint32 le32(const QByteArray& b, int at) {
    return static_cast<qint32>(static_cast<quint8>(b[at]) | static_cast<quint8>(b[at + 1]) << 8 |
                               static_cast<quint8>(b[at + 2]) << 16 | static_cast<quint32>(static_cast<quint8>(b[at + 3])) << 24);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

WavFile readWav(const QString& path) {
    const QByteArray b = contents(path);
    if (b.size() < 44) return {b.size()};
    return {b.size(), le32(b, 4), le32(b, 40), le32(b, 24)};
}

// Acts once the run has sounded more than `share` of its elements (and at
// least one), from inside the run's yield to the event loop, as a user's
// click would arrive.
void onceSounding(WindowDriver& w, std::function<void()> action, double share = 0) {
    auto* poll = new QTimer(&w.window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, &w, action, share] {
        const auto* bar = w.find<vantel::ui::ProgressBox>("Progress");
        if (bar->filled() == 0 || bar->filled() < share * static_cast<double>(bar->scaleWidth())) return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start();
}

}  // namespace

class WindowRunTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void completeRunReportsAndOffersTheFile();
    void firstFileMatchesTheCommandByteForByte();
    void runRepairWritesTextsBack();
    void abortLeavesATruncatedValidFile();
    void closingDuringARunStopsItCleanly();
    void noSecondRunWhileOneIsUnderWay();
    void clippingIsReportedInRed();
    void failuresAreShownAndTheWindowStaysUsable();
    void saveAndPlayActOnTheGeneratedFile();

private:
    std::unique_ptr<QTemporaryDir> folder_;
};

void WindowRunTest::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(folder_->path()));
}

void WindowRunTest::completeRunReportsAndOffersTheFile() {
    WindowDriver w;
    w.type("Messagetext", "testing");
    w.generate();

    QCOMPARE(w.text("Messagetext"), QString("TESTING"));
    QCOMPARE(w.text("CWPatternText"), QString("---   -   - - -   ---   - -   --- -   --- --- -   "));
    QCOMPARE(w.text("DurLabel"), QString("Duration 3 seconds"));
    QVERIFY(w.text("InfoText").startsWith("CWTemp.wav\n\n 36000 Samples\nRMS = "));
    QCOMPARE(w.textColour("InfoText"), QColor(0, 0, 255));
    QCOMPARE(w.text("SNVals"), QString("S/N normalised :\n2500Hz    10.8dB\n   1Hz    44.8dB"));
    QVERIFY(w.shown("Play"));
    QVERIFY(w.shown("SaveWav"));
    for (const char* name : {"GenWav", "Abort", "Progress"}) QVERIFY2(!w.shown(name), name);

    const WavFile wav = readWav("CWTemp.wav");
    QCOMPARE(wav.sampleRate, 12000);
    QCOMPARE(wav.dataBytes, 72000);
    QCOMPARE(wav.size, qint64{72044});

    // Any edit returns to Ready; a second run replaces the file.
    w.type("SNtext", "30");
    QVERIFY(w.shown("GenWav"));
    QVERIFY(!w.shown("Play"));
    w.click("ToneOnly");
    w.type("WPMtext", "2.25");
    w.generate();
    QCOMPARE(w.text("CWPatternText"), QString("Tone"));
    QCOMPARE(readWav("CWTemp.wav").dataBytes, 22 * 1200 * 2);
}

void WindowRunTest::firstFileMatchesTheCommandByteForByte() {
    {
        WindowDriver w;
        w.generate();
        vantel::batch::writeFile(vantel::batch::FileRequest{}, "gen.wav");
        QCOMPARE(contents("CWTemp.wav"), contents("gen.wav"));
    }
    // The same texts typed into the boxes, in the order the command types them.
    WindowDriver w;
    w.type("WPMtext", "25");
    w.click("FSKCW");
    w.type("Messagetext", "cq de vantel");
    w.type("Ftonetext", "700");
    w.type("SpaceToneText", "650");
    w.type("FStext", "8000");
    w.type("SNtext", "5");
    w.type("BWtext", "2500");
    w.type("ScaleText", "-3");
    w.type("FilterCFtext", "700");
    w.type("FilterBWtext", "500");
    w.generate();
    vantel::batch::FileRequest options;
    options.mode = vantel::settings::Mode::FSKCW;
    options.typed[vantel::batch::Typed::Wpm] = "25";
    options.typed[vantel::batch::Typed::Message] = "cq de vantel";
    options.typed[vantel::batch::Typed::Tone] = "700";
    options.typed[vantel::batch::Typed::SpaceTone] = "650";
    options.typed[vantel::batch::Typed::Rate] = "8000";
    options.typed[vantel::batch::Typed::Snr] = "5";
    options.typed[vantel::batch::Typed::Bw] = "2500";
    options.typed[vantel::batch::Typed::Level] = "-3";
    options.typed[vantel::batch::Typed::FilterCf] = "700";
    options.typed[vantel::batch::Typed::FilterBw] = "500";
    vantel::batch::writeFile(options, "gen2.wav");
    QVERIFY(contents("CWTemp.wav").size() > 44);
    QCOMPARE(contents("CWTemp.wav"), contents("gen2.wav"));
}

void WindowRunTest::runRepairWritesTextsBack() {
    WindowDriver w;
    w.type("FStext", "0");
    w.type("Ftonetext", "-5");
    w.type("BWtext", "x");
    w.type("SNtext", "");
    w.type("WPMtext", "0");
    w.type("ScaleText", "");
    w.generate();
    QCOMPARE(w.text("FStext"), QString("12000"));
    QCOMPARE(w.text("Ftonetext"), QString("800"));
    QCOMPARE(w.text("BWtext"), QString("300"));
    QCOMPARE(w.text("SNtext"), QString("0"));
    QCOMPARE(w.text("WPMtext"), QString("20"));
    QCOMPARE(w.text("Label7"), QString(" 60ms"));
    QCOMPARE(w.text("ScaleText"), QString("0"));
    QCOMPARE(w.text("FIRLen"), QString("FIR  200"));
    QCOMPARE(w.text("SNVals"), QString("S/N normalised :\n2500Hz    -9.2dB\n   1Hz    24.8dB"));
    QCOMPARE(w.window.settings().ScaleFact, 1.0);
    // The repaired texts were written before the first sample: the file
    // matches them, so it is offered and Generate stays hidden.
    QVERIFY(w.shown("Play"));
    QVERIFY(!w.shown("GenWav"));
    QCOMPARE(readWav("CWTemp.wav").sampleRate, 12000);
}

void WindowRunTest::abortLeavesATruncatedValidFile() {
    WindowDriver w;
    w.click("ToneOnly");
    w.type("WPMtext", "600");
    onceSounding(w, [&] { w.click("Abort"); }, 0.3);
    w.generate();

    QCOMPARE(w.text("InfoText"), QString(" Aborted!  Change any parameter to restart"));
    QCOMPARE(w.textColour("InfoText"), vantel::testing::kRedOnLightFace);
    for (const char* name : {"Play", "SaveWav", "Abort", "GenWav"}) QVERIFY2(!w.shown(name), name);
    QVERIFY(w.shown("Progress"));

    // Whole elements of 1200 samples, then the one sample of the element
    // during which the abort was seen; the header tells the truth.
    const WavFile wav = readWav("CWTemp.wav");
    QCOMPARE(wav.dataBytes, wav.size - 44);
    QCOMPARE(wav.riffSize, wav.size - 8);
    QCOMPARE((wav.dataBytes / 2) % 1200, 1);
    QVERIFY(wav.dataBytes / 2 > 1800 * 1200);
    QVERIFY(wav.dataBytes / 2 < 6000 * 1200);

    // The bar shows how far the run got: blue, then white.
    auto* bar = w.find("Progress");
    const QImage picture = bar->grab().toImage();
    QCOMPARE(QColor(picture.pixel(bar->width() / 5, bar->height() / 2)), QColor(0, 0, 255));
    QCOMPARE(QColor(picture.pixel(bar->width() - 1, bar->height() / 2)), QColor(Qt::white));

    w.type("SNtext", "10");
    QVERIFY(w.shown("GenWav"));
}

void WindowRunTest::closingDuringARunStopsItCleanly() {
    WindowDriver w;
    w.click("ToneOnly");
    w.type("WPMtext", "600");
    onceSounding(w, [&] { w.window.close(); });
    QElapsedTimer clock;
    clock.start();
    w.generate();
    QVERIFY(clock.elapsed() < 10000);
    QTRY_VERIFY(!w.window.isVisible());
    const WavFile wav = readWav("CWTemp.wav");
    QVERIFY(wav.dataBytes > 0);
    QCOMPARE(wav.dataBytes, wav.size - 44);
}

void WindowRunTest::noSecondRunWhileOneIsUnderWay() {
    WindowDriver w;
    w.click("ToneOnly");
    w.type("WPMtext", "600");
    bool generateShownDuringRun = true;
    qint64 nestedClickTook = -1;
    onceSounding(w, [&] {
        w.type("SNtext", "25");  // an edit mid-run does not bring Generate back
        generateShownDuringRun = w.shown("GenWav");
        QElapsedTimer clock;
        clock.start();
        w.find<QPushButton>("GenWav")->click();
        nestedClickTook = clock.elapsed();
    });
    w.generate();
    QVERIFY(!generateShownDuringRun);
    QVERIFY(nestedClickTook >= 0 && nestedClickTook < 1000);
    QCOMPARE(readWav("CWTemp.wav").dataBytes, 6000 * 1200 * 2);
    // The file no longer matches the window, so it is not offered.
    QVERIFY(w.text("InfoText").startsWith("CWTemp.wav"));
    QVERIFY(w.shown("GenWav"));
    QVERIFY(!w.shown("Play"));
    QVERIFY(!w.shown("SaveWav"));
}

void WindowRunTest::clippingIsReportedInRed() {
    WindowDriver w;
    w.type("SNtext", "60");
    w.type("ScaleText", "10");
    w.click("ToneOnly");
    w.type("WPMtext", "600");
    QString runningFigure;
    onceSounding(w, [&] { runningFigure = w.text("InfoText"); });
    w.generate();
    QCOMPARE(runningFigure, QString("  3dB clipping"));
    QCOMPARE(w.text("InfoText"), QString("Severe Clipping. Reduce output scaling"));
    QCOMPARE(w.textColour("InfoText"), vantel::testing::kRedOnLightFace);
    QVERIFY(w.shown("Play"));
}

void WindowRunTest::failuresAreShownAndTheWindowStaysUsable() {
    WindowDriver w;
    auto expectFailure = [&](const QString& message) {
        QCOMPARE(w.text("InfoText"), message);
        QCOMPARE(w.textColour("InfoText"), vantel::testing::kRedOnLightFace);
        for (const char* name : {"Play", "SaveWav", "Abort", "Progress"}) QVERIFY2(!w.shown(name), name);
        QVERIFY(w.shown("GenWav"));
    };

    // A folder in the file's place is neither deleted nor written into.
    QVERIFY(QDir().mkpath("CWTemp.wav/inside"));
    w.generate();
    expectFailure("Cannot delete CWTemp.wav: Is a directory");
    QVERIFY(QDir("CWTemp.wav/inside").exists());
    QVERIFY(QDir("CWTemp.wav").removeRecursively());

    w.click("ToneOnly");
    w.type("WPMtext", "0");
    w.generate();
    expectFailure("Nothing to generate: the tone length is 0 or less");
    QVERIFY(!QFile::exists("CWTemp.wav"));

    // A write that fails part way leaves no partial file behind.
    w.type("WPMtext", "100");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    setrlimit(RLIMIT_FSIZE, &small);
    w.generate();
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(w.text("InfoText").startsWith("Cannot write CWTemp.wav: "));
    expectFailure(w.text("InfoText"));
    QVERIFY(!QFile::exists("CWTemp.wav"));

    w.generate();
    QVERIFY(w.shown("Play"));
}

void WindowRunTest::saveAndPlayActOnTheGeneratedFile() {
    WindowDriver w;
    w.click("NoFilter");
    w.generate();
    w.click("SaveWav");
    auto* dialog = w.window.findChild<QWidget*>("SaveWavFile");
    QVERIFY(dialog != nullptr);
    QVERIFY(dialog->isVisible());
    auto* name = dialog->findChild<QLineEdit*>("Text1");
    QCOMPARE(name->text(), QString("800HzSN20BW300FilFlat"));
    auto* store = dialog->findChild<QPushButton*>("DoTheSave");
    QTest::mouseClick(store, Qt::LeftButton, {}, store->rect().center());
    QVERIFY(!dialog->isVisible());
    QFile original("CWTemp.wav");
    QFile copy("800HzSN20BW300FilFlat.WAV");
    QVERIFY(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), original.readAll());

    // With no sound server, Play says so in red at once and the window goes on.
    qputenv("PULSE_SERVER", "unix:/nonexistent/vantel-test-socket");
    QElapsedTimer timer;
    timer.start();
    w.click("Play");
    QVERIFY(timer.elapsed() < 3000);
    qunsetenv("PULSE_SERVER");
    QVERIFY(!w.text("InfoText").isEmpty());
    QVERIFY(!w.text("InfoText").contains('\n'));
    QCOMPARE(w.textColour("InfoText"), vantel::testing::kRedOnLightFace);
    QVERIFY(!w.window.playing());
    w.type("SNtext", "10");
    QVERIFY(w.shown("GenWav"));
    QVERIFY(!w.shown("Play"));
}

QTEST_MAIN(WindowRunTest)
#include "window_run_test.moc"
