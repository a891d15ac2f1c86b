// The main window under a storm of seeded random keystrokes and clicks into
// every control, before, during and after runs and with the save dialog open,
// checking after every event what must always hold:
// - exactly one modulation is selected;
// - FIRLength stays within 200..4096;
// - Play and Save Wav File (and the open save dialog) are offered only for a
//   complete file made from the settings on screen, and only while none of
//   them has changed since;
// - never two runs at once: no event during a run replaces the run's file;
// - every copy the dialog stores is a whole WAV file.
//
// VANTEL_STRESS_SEED and VANTEL_STRESS_EVENTS override the seed and the count.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>
#include <optional>
#include <random>
#include <set>
#include <utility>

#include "fault_support.h"
#include "keying/morse_encoder.h"
#include "synth/run_plan.h"
#include "text/number_text.h"
#include "ui/window_driver.h"

using vantel::testing::InFolder;
using vantel::testing::isCompleteWav;
using vantel::testing::TempDir;
using vantel::testing::WindowDriver;

namespace {

const char* const kBoxes[] = {"WPMtext", "Messagetext",   "FilterBWtext", "FilterCFtext", "Ftonetext",
                              "SpaceToneText", "BWtext", "SNtext", "ScaleText", "FStext"};
const char* const kButtons[] = {"OnOffCW", "FSKCW", "ToneOnly", "NoFilter", "Abort", "Play", "SaveWav", "GenWav"};
const char* const kDisplays[] = {"CWPatternText", "SNVals"};
const char* const kModes[] = {"OnOffCW", "FSKCW", "ToneOnly"};

// Everything on screen a generated file is made from.
struct ScreenSettings {
    QStringList texts;
    QString mode;
    bool noFilter = false;
    int scroll = 0;
    bool operator==(const ScreenSettings&) const = default;
};

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    bool ok = false;
    const std::uint64_t value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

std::optional<ino_t> inodeOf(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0) return std::nullopt;
    return st.st_ino;
}

// How much of each kind of event the storm made, to show it reached them all.
struct StormCounts {
    int runs = 0;
    int eventsDuringRuns = 0;
    int dialogEvents = 0;
    int offeredFiles = 0;
};

class Storm {
public:
    Storm(WindowDriver& w, std::uint64_t seed) : w_(w), random_(seed) {}

    void event(bool duringRun) {
        // A file on offer is often saved, and an open dialog often used.
        if (w_.shown("SaveWav") && !dialogOpen() && below(3) == 0) return click("SaveWav");
        if (dialogOpen() && below(3) != 0) return dialogEvent();
        const int pick = below(100);
        if (pick < 55) typeKeys(randomBox());
        else if (pick < 60) typeKeys(w_.find<QWidget>(kDisplays[below(2)]));
        else if (pick < 66) scroll();
        else if (pick < 80 && dialogOpen()) dialogEvent();
        else if (pick < 97 || duringRun) clickRandomButton();
        else startRun();
    }

    void startRun() {
        if (!w_.shown("GenWav")) return;
        ++counts.runs;
        // A third of the runs are left alone to finish (if they finish soon).
        stormDuringRun_ = below(3) == 0 ? 0 : 1 + below(16);
        yieldsLeft_ = stormDuringRun_ == 0 ? 40 : 0;
        sinceRunStart_.start();
        w_.click("GenWav");
    }

    // The run in progress, if any, is driven from here at its yields: a few
    // events, or none for a while, then Abort so that no run outlasts its
    // share of the test.
    void arm(std::function<void()> check) {
        auto* timer = new QTimer(&w_.window);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [this, timer, check] {
            if (!w_.window.runUnderWay()) return;
            const std::optional<ino_t> runFile = inodeOf("CWTemp.wav");
            if (stormDuringRun_ > 0) {
                --stormDuringRun_;
                ++counts.eventsDuringRuns;
                event(true);
            } else if (yieldsLeft_-- <= 0 || sinceRunStart_.elapsed() > kLongestRunMs) {
                w_.click("Abort");
            }
            check();
            // A second run would have deleted and rewritten the file.
            if (runFile && w_.window.runUnderWay()) QCOMPARE(inodeOf("CWTemp.wav"), runFile);
        });
        QObject::connect(&w_.window, &QObject::destroyed, timer, &QObject::deleteLater);
        timer->start();
    }

    bool dialogOpen() {
        QWidget* dialog = dialogWindow();
        return dialog != nullptr && dialog->isVisible();
    }
    QWidget* dialogWindow() { return w_.window.findChild<QWidget*>("SaveWavFile"); }

    StormCounts counts;

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    QWidget* randomBox() {
        for (int attempt = 0; attempt < 10; ++attempt) {
            QWidget* box = w_.find<QWidget>(kBoxes[below(std::size(kBoxes))]);
            if (box->isVisible()) return box;
        }
        return w_.find<QWidget>("Messagetext");
    }

    void typeKeys(QWidget* target) {
        target->setFocus();
        const int keys = 1 + below(4);
        for (int k = 0; k < keys; ++k) pressRandomKey(target);
    }

    void pressRandomKey(QWidget* target) {
        static const char kCharacters[] = "0123456789012345678901234.-+ekE ABCSTXYZ?/,.é";
        static const Qt::Key kKeys[] = {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Left, Qt::Key_Right,
                                        Qt::Key_Home,      Qt::Key_End,    Qt::Key_A};
        const int pick = below(10);
        if (pick < 7) {
            const QString all = QString::fromUtf8(kCharacters);
            const QChar character = all[below(all.size())];
            if (character.unicode() < 128) {
                QTest::keyClicks(target, QString(character));
            } else {
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(character), Qt::NoModifier);
            }
        } else {
            const Qt::Key key = kKeys[below(std::size(kKeys))];
            QTest::keyClick(target, key, key == Qt::Key_A ? Qt::ControlModifier : Qt::NoModifier);
        }
    }

    void scroll() {
        static const Qt::Key kKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
        auto* bar = w_.find<QScrollBar>("ScaleScroll");
        if (!bar->isVisible()) return;
        QTest::keyClick(bar, kKeys[below(std::size(kKeys))]);
    }

    void clickRandomButton() { click(kButtons[below(std::size(kButtons))]); }

    void click(const char* name) {
        if (w_.shown(name) && w_.find<QWidget>(name)->isEnabled()) w_.click(name);
    }

    void dialogEvent() {
        ++counts.dialogEvents;
        QWidget* dialog = dialogWindow();
        const int pick = below(4);
        if (pick < 2) {
            auto* name = dialog->findChild<QLineEdit*>("Text1");
            name->setFocus();
            QTest::keyClicks(name, QString("ab.WAV"[below(6)]));
            if (below(3) == 0) QTest::keyClick(name, Qt::Key_Backspace);
            return;
        }
        auto* button = dialog->findChild<QAbstractButton*>(pick == 2 ? "DoTheSave" : "DelFile");
        if (button->isVisible()) QTest::mouseClick(button, Qt::LeftButton);
    }

    WindowDriver& w_;
    std::mt19937_64 random_;
    int stormDuringRun_ = 0;
    int yieldsLeft_ = 0;
    // Typed sample rates and speeds can ask for elements of millions of
    // samples; those runs are cut short so the test stays within a minute.
    static constexpr qint64 kLongestRunMs = 250;
    QElapsedTimer sinceRunStart_;
};

}  // namespace

class WindowStressTest : public QObject {
    Q_OBJECT
private slots:
    void randomInputKeepsEveryInvariant();
    void editWhileTheRunIsSetUpIsNotOffered();

private:
    void checkInvariants(WindowDriver& w, Storm& storm);
    void checkOfferedFile(WindowDriver& w);
    ScreenSettings screen(WindowDriver& w);

    std::optional<ScreenSettings> offeredFor_;
};

ScreenSettings WindowStressTest::screen(WindowDriver& w) {
    ScreenSettings s;
    for (const char* box : kBoxes) s.texts << w.text(box);
    for (const char* mode : kModes) {
        if (w.find<QRadioButton>(mode)->isChecked()) s.mode = mode;
    }
    s.noFilter = w.find<QCheckBox>("NoFilter")->isChecked();
    s.scroll = w.find<QScrollBar>("ScaleScroll")->value();
    return s;
}

// The file on offer is whole, and is what the settings on screen make.
void WindowStressTest::checkOfferedFile(WindowDriver& w) {
    namespace keying = vantel::keying;
    const auto& s = w.window.settings();
    const bool tone = w.find<QRadioButton>("ToneOnly")->isChecked();
    const auto mode = tone ? vantel::settings::Mode::ToneOnly
                           : w.find<QRadioButton>("FSKCW")->isChecked() ? vantel::settings::Mode::FSKCW
                                                                        : vantel::settings::Mode::OnOffCW;
    if (tone) {
        const auto expected = keying::tonePattern(vantel::text::readNumber(w.text("WPMtext").toStdString()));
        QCOMPARE(s.CWPattern.size(), expected.size());
    } else if (!w.text("Messagetext").isEmpty()) {
        const auto upper = keying::toUpperAscii(w.text("Messagetext").toStdString());
        QCOMPARE(s.CWPattern.text(), keying::encodeMorse(upper).pattern);
    }
    const vantel::synth::RunPlan plan = vantel::synth::planRun(s, mode, s.CWPattern);
    QVERIFY(isCompleteWav("CWTemp.wav"));
    const auto wav = vantel::testing::readWav("CWTemp.wav");
    QCOMPARE(static_cast<std::int64_t>(wav.dataBytes) / 2, plan.totalSamples);
    QCOMPARE(wav.sampleRate, plan.sampleRate);
}

void WindowStressTest::checkInvariants(WindowDriver& w, Storm& storm) {
    int selected = 0;
    for (const char* mode : kModes) selected += w.find<QRadioButton>(mode)->isChecked() ? 1 : 0;
    QCOMPARE(selected, 1);
    QVERIFY(w.window.firLength() >= 200 && w.window.firLength() <= 4096);

    const bool offered = w.shown("Play") || w.shown("SaveWav");
    QCOMPARE(w.shown("Play"), w.shown("SaveWav"));
    if (storm.dialogOpen()) QVERIFY2(offered, "the save dialog is open for a file that is not offered");
    if (!offered) {
        offeredFor_.reset();
        return;
    }
    QVERIFY(!w.window.runUnderWay());
    if (!offeredFor_) {
        ++storm.counts.offeredFiles;
        checkOfferedFile(w);
        offeredFor_ = screen(w);
    }
    QVERIFY2(*offeredFor_ == screen(w), "a setting changed and the file is still offered");
}

void WindowStressTest::randomInputKeepsEveryInvariant() {
    // Play fails at once without a server; the test is about the window.
    qputenv("PULSE_SERVER", "unix:/nonexistent/vantel-stress");
    const std::uint64_t seed = envNumber("VANTEL_STRESS_SEED", 20261208);
    const std::uint64_t events = envNumber("VANTEL_STRESS_EVENTS", 3000);
    qInfo("seed %llu, %llu events", static_cast<unsigned long long>(seed), static_cast<unsigned long long>(events));

    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    Storm storm(w, seed);
    std::set<std::pair<std::string, ino_t>> copiesChecked;
    auto check = [&] {
        checkInvariants(w, storm);
        for (const auto& entry : std::filesystem::directory_iterator(work.path())) {
            const std::string name = entry.path().filename();
            if (!entry.is_regular_file() || name == "CWTemp.wav") continue;
            if (!copiesChecked.emplace(name, *inodeOf(entry.path().c_str())).second) continue;
            QVERIFY2(isCompleteWav(entry.path()), "a stored copy is not a whole WAV file");
        }
    };
    storm.arm(check);
    QElapsedTimer elapsed;
    elapsed.start();
    for (std::uint64_t i = 0; i < events; ++i) {
        storm.event(false);
        QVERIFY2(!w.window.runUnderWay(), "a run outlived the click that started it");
        check();
        if (QTest::currentTestFailed()) QFAIL(qPrintable(QString("invariant broken at event %1").arg(i)));
    }
    const StormCounts& c = storm.counts;
    qInfo("%llu events in %lld ms: %d runs, %d events during them, %d files offered, %d in the save dialog",
          static_cast<unsigned long long>(events), elapsed.elapsed(), c.runs, c.eventsDuringRuns, c.offeredFiles,
          c.dialogEvents);
}

// What the storm first found: a message typed at the run's first yield, after
// the pattern was built from the old one, left Play and Save offered for a
// file of the old message.
void WindowStressTest::editWhileTheRunIsSetUpIsNotOffered() {
    TempDir work;
    InFolder here(work.path());
    WindowDriver w;
    w.type("Messagetext", "E");
    bool typed = false;
    auto* poll = new QTimer(&w.window);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, [&] {
        // Set up: the pattern is shown, samples have not begun (no Abort yet).
        if (!w.window.runUnderWay() || w.text("CWPatternText").isEmpty() || w.shown("Abort")) return;
        poll->stop();
        w.type("Messagetext", "T");
        typed = true;
    });
    poll->start();
    w.generate();
    QVERIFY(typed);
    QVERIFY(!w.shown("Play") && !w.shown("SaveWav"));
    QVERIFY(w.shown("GenWav"));

    // Generate again: now the file is of "T" and is offered.
    w.generate();
    QVERIFY(w.shown("Play") && w.shown("SaveWav"));
    QCOMPARE(w.window.settings().CWPattern.text(), std::string("---   "));
}

QTEST_MAIN(WindowStressTest)
#include "window_stress_test.moc"
