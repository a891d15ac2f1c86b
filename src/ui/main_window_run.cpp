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

#include "keying/morse_encoder.h"
#include "synth/run_setup.h"
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

void Vantel::Abort_Click() { AbortFlag = 1; }

void Vantel::GenCW() {
    const std::string message =
        synth::encodeForRun(settings_, mode(), boxText(settings::Box::Messagetext), boxText(settings::Box::WPMtext));
    if (mode() == Mode::ToneOnly) {
        CWPatternText->setPlainText("Tone");
        return;
    }
    // Putting the capitals back raises the message edit, which clears the
    // pattern box and the duration; both are filled again below.
    Messagetext->setText(QString::fromStdString(message));
    CWPatternText->setPlainText(QString::fromStdString(settings_.CWPattern.text()));
    DurLabel->setText(QString::fromStdString(keying::durationCaption(settings_.Duration * settings_.Dotperiod)));
}

void Vantel::FilterCoeffs(double fcentre) { synth::designRunFilter(state_.FIRCoeffs, settings_, fcentre, FIRLength); }

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
    TempWavFile = kTempWavFile;
    deleteOldTempFile();
    AbortFlag = 0;
    Abort->show();
    phase_ = RunPhase::Repairing;
    repairSettings();
    phase_ = RunPhase::SettingUp;
    ShowBandwidths();
    const synth::RunSetup setup = synth::setUpRun(settings_, mode(), boxText(settings::Box::WPMtext));
    const synth::RunPlan& plan = setup.plan;
    FilterCoeffs(settings_.FilterCF);

    auto writer = std::make_unique<wav::WavWriter>(TempWavFile, plan.sampleRate, plan.totalSamples);
    try {
        synth::GenerationRun run(state_, setup, *writer);
        Progress->setScaleWidth(plan.elements);
        const bool complete = soundElements(run);
        writer->finish();
        if (complete) {
            showDone(synth::levelReport(TempWavFile, plan.totalSamples, run.stats()));
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
    if (::unlink(TempWavFile.c_str()) != 0 && errno != ENOENT) {
        throw wav::FileError("Cannot delete " + TempWavFile + ": " + std::strerror(errno));
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
        case settings::Box::Messagetext: return Messagetext;
        case settings::Box::FilterCFtext: return FilterCFtext;
        case settings::Box::FilterBWtext: return FilterBWtext;
        case settings::Box::Label7: break;
    }
    return nullptr;
}

void Vantel::repairSettings() {
    auto read = [this](settings::Box box) { return boxText(box); };
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
    while (run.running()) {
        run.runCall(liveControls());
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
    live.abort = AbortFlag != 0 || closeRequested_;
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
    showInfo(message, kRed);
    GenWav->show();
}

void Vantel::showReport(const synth::Report& report) { showInfo(reportText(report.text), reportColour(report.kind)); }

void Vantel::showInfo(const QString& text, const QColor& colour) {
    infoColour_ = colour;
    setTextColour(InfoText, colour, palette().color(QPalette::Window));
    InfoText->setText(text);
}

}  // namespace vantel::ui
