// The Generate command: from the settings on screen to "CWTemp.wav", element
// by element, with progress, Abort and the level report.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <cerrno>
#include <cstring>
#include <memory>

#include "filter/fir_design.h"
#include "keying/morse_encoder.h"
#include "synth/run_plan.h"
#include "text/number_text.h"
#include "ui/main_window.h"
#include "ui/progress_box.h"
#include "ui/window_look.h"
#include "wav/wav_writer.h"

namespace vantel::ui {
namespace {

using settings::Mode;

void yieldToEventLoop() { QCoreApplication::processEvents(); }

// The longest the run goes without letting the window repaint and hear a
// click.
constexpr qint64 kYieldIntervalMs = 15;

QString reportText(const std::string& text) { return QString::fromStdString(text).replace("\r\n", "\n"); }

const QColor& reportColour(synth::ReportKind kind) {
    switch (kind) {
        case synth::ReportKind::Normal: return kBlue;
        case synth::ReportKind::LowLevel: return kMagenta;
        case synth::ReportKind::SevereClipping:
        case synth::ReportKind::Aborted:
        case synth::ReportKind::Error: break;
    }
    return kRed;
}

}  // namespace

void Vantel::GenWav_Click() {
    if (runUnderWay()) return;
    phase_ = RunPhase::SettingUp;
    GenWav->hide();
    yieldToEventLoop();
    if (!Messagetext->text().isEmpty()) GenCW();
    GenWaveFile();
}

void Vantel::Abort_Click() { settings_.AbortFlag = 1; }

void Vantel::GenCW() {
    if (mode() == Mode::ToneOnly) {
        settings_.CWPattern = keying::tonePattern(text::readNumber(WPMtext->text().toStdString()));
        settings_.Dotperiod = 0.1;
        CWPatternText->setPlainText("Tone");
        return;
    }
    // Putting the capitals back raises the message edit, which clears the
    // pattern box and the duration; both are filled again below.
    const std::string message = keying::toUpperAscii(Messagetext->text().toStdString());
    Messagetext->setText(QString::fromStdString(message));
    keying::MorseEncoding encoding = keying::encodeMorse(message);
    settings_.Duration = static_cast<double>(encoding.duration);
    settings_.CWPattern = keying::KeyingPattern::fromText(std::move(encoding.pattern));
    CWPatternText->setPlainText(QString::fromStdString(settings_.CWPattern.text()));
    DurLabel->setText(QString::fromStdString(keying::durationCaption(settings_.Duration * settings_.Dotperiod)));
}

void Vantel::FilterCoeffs(double fcentre) {
    filter::designBandPass(state_.FIRCoeffs, fcentre, settings_.FilterBW, settings_.FSample, FIRLength);
}

void Vantel::GenWaveFile() {
    if (phase_ == RunPhase::Sounding) return;
    phase_ = RunPhase::SettingUp;
    editedDuringRun_ = false;
    try {
        runGeneration();
    } catch (const synth::RunError& e) {
        showRunFailure(QString::fromStdString(e.what()));
    } catch (const wav::FileError& e) {
        showRunFailure(QString::fromStdString(e.what()));
    }
    phase_ = RunPhase::Idle;
    if (closeRequested_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Vantel::runGeneration() {
    prepareWindowForRun();
    if (closeRequested_) return;
    settings_.TempWavFile = kTempWavFile;
    deleteOldTempFile();
    settings_.AbortFlag = 0;
    Abort->show();
    phase_ = RunPhase::Repairing;
    repairSettings();
    phase_ = RunPhase::SettingUp;
    ShowBandwidths();
    if (mode() == Mode::ToneOnly) {
        settings_.CWPattern = keying::tonePattern(text::readNumber(WPMtext->text().toStdString()));
    }
    // The run keeps its own copy: nothing an edit does may change the pattern
    // under it.
    const keying::KeyingPattern pattern = settings_.CWPattern;
    const synth::RunPlan plan = synth::planRun(settings_, mode(), pattern);
    FilterCoeffs(settings_.FilterCF);

    auto writer = std::make_unique<wav::WavWriter>(settings_.TempWavFile, plan.sampleRate, plan.totalSamples);
    try {
        synth::GenerationRun run(state_, plan, pattern, *writer);
        Progress->setScaleWidth(plan.elements);
        const bool complete = soundElements(run);
        writer->finish();
        if (complete) {
            showDone(synth::levelReport(settings_.TempWavFile, plan.totalSamples, run.stats()));
        } else {
            showAborted(synth::abortReport(plan.totalSamples, run.stats()));
        }
    } catch (const wav::FileError&) {
        // A file that could not be written whole is not left to be taken for
        // a result; a file someone put in its place is theirs and stays.
        writer->discard();
        throw;
    }
}

void Vantel::prepareWindowForRun() {
    Play->hide();
    GenWav->hide();
    SaveWav->hide();
    withdrawSaveDialog();
    Progress->fillTo(0);
    Progress->show();
    InfoText->clear();
    yieldToEventLoop();
}

void Vantel::deleteOldTempFile() {
    // unlink, not remove: a folder that happens to bear the name is not ours.
    if (::unlink(settings_.TempWavFile.c_str()) != 0 && errno != ENOENT) {
        throw wav::FileError("Cannot delete " + settings_.TempWavFile + ": " + std::strerror(errno));
    }
}

QLineEdit* Vantel::boxFor(settings::Box box) const {
    switch (box) {
        case settings::Box::FStext: return FStext;
        case settings::Box::Ftonetext: return Ftonetext;
        case settings::Box::SpaceToneText: return SpaceToneText;
        case settings::Box::BWtext: return BWtext;
        case settings::Box::SNtext: return SNtext;
        case settings::Box::WPMtext: return WPMtext;
        case settings::Box::ScaleText: return ScaleText;
        case settings::Box::Label7: break;
    }
    return nullptr;
}

void Vantel::repairSettings() {
    auto read = [this](settings::Box box) { return boxFor(box)->text().toStdString(); };
    auto write = [this](settings::Box box, const std::string& text) {
        if (box == settings::Box::Label7) {
            Label7->setText(QString::fromStdString(text));
        } else {
            boxFor(box)->setText(QString::fromStdString(text));
        }
    };
    settings::repairForRun(settings_, mode(), read, write);
}

bool Vantel::soundElements(synth::GenerationRun& run) {
    phase_ = RunPhase::Sounding;
    QElapsedTimer sinceYield;
    sinceYield.start();
    // Elements are taken many at a time, as the command takes them: a click or
    // an edit can only arrive at a yield, so the live values cannot change
    // within a call, and the abort still takes effect after the first sample
    // of the element after it.
    const std::int64_t perCall = synth::elementsPerCall(run.plan());
    while (run.running()) {
        run.runElements(perCall, liveControls());
        if (run.aborted()) return false;
        if (sinceYield.elapsed() < kYieldIntervalMs && run.running()) continue;
        Progress->fillTo(run.elementsDone());
        if (const auto clipping = synth::runningClippingFigure(run.stats())) {
            showReport({synth::ReportKind::SevereClipping, *clipping});
        }
        yieldToEventLoop();
        sinceYield.restart();
    }
    return true;
}

synth::LiveControls Vantel::liveControls() const {
    synth::LiveControls live;
    live.fsk = FSKCW->isChecked();
    live.filterOn = !NoFilter->isChecked();
    live.scaleFact = settings_.ScaleFact;
    live.firLength = FIRLength;
    live.abort = settings_.AbortFlag != 0 || closeRequested_;
    return live;
}

void Vantel::showAborted(const synth::Report& report) {
    Play->hide();
    SaveWav->hide();
    Abort->hide();
    showReport(report);
    if (editedDuringRun_) GenWav->show();
    yieldToEventLoop();
}

void Vantel::showDone(const synth::Report& report) {
    // A setting changed while the samples were being made: the file matches
    // neither the old settings nor the new, so it is not offered.
    if (!editedDuringRun_) {
        Play->show();
        SaveWav->show();
    }
    Abort->hide();
    Progress->hide();
    showReport(report);
    if (editedDuringRun_) GenWav->show();
}

void Vantel::showRunFailure(const QString& message) {
    Play->hide();
    SaveWav->hide();
    Abort->hide();
    Progress->hide();
    setTextColour(InfoText, kRed);
    InfoText->setText(message);
    GenWav->show();
}

void Vantel::showReport(const synth::Report& report) {
    setTextColour(InfoText, reportColour(report.kind));
    InfoText->setText(reportText(report.text));
}

}  // namespace vantel::ui
