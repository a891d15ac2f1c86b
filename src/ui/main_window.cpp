#include "ui/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>

#include "settings/entry_rules.h"
#include "settings/sn_display.h"
#include "text/number_text.h"
#include "ui/app_icon.h"
#include "ui/save_wav_file.h"

namespace vantel::ui {
namespace {

using settings::Mode;

std::string textOf(const QLineEdit* box) { return box->text().toStdString(); }
QString qText(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

Vantel::Vantel(QWidget* parent) : QWidget(parent) {
    logicalDpi_ = logicalDpiX();
    setWindowIcon(appIcon());
    createControls();
    connectHandlers();
    Form_Load();
    centreOnScreen();
}

void Vantel::centreOnScreen() {
    const QScreen* opensOn = screen();
    if (opensOn == nullptr) return;
    const QRect area = opensOn->availableGeometry();
    QRect place = frameGeometry();
    place.moveCenter(area.center());
    // On a screen too small for it, the title bar and the top left stay in reach.
    if (place.top() < area.top()) place.moveTop(area.top());
    if (place.left() < area.left()) place.moveLeft(area.left());
    move(place.topLeft());
}

Vantel::~Vantel() = default;

void Vantel::connectHandlers() {
    auto onText = [this](QLineEdit* box, void (Vantel::*handler)()) {
        connect(box, &QLineEdit::textChanged, this, [this, handler] { (this->*handler)(); });
    };
    auto onSelect = [this](QRadioButton* option, void (Vantel::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool selected) {
            if (selected) (this->*handler)();
        });
    };
    onSelect(OnOffCW, &Vantel::OnOffCW_Click);
    onSelect(FSKCW, &Vantel::FSKCW_Click);
    onSelect(ToneOnly, &Vantel::ToneOnly_Click);
    onText(WPMtext, &Vantel::WPMtext_Change);
    onText(Messagetext, &Vantel::Messagetext_Change);
    onText(FilterBWtext, &Vantel::FilterBWtext_Change);
    onText(FilterCFtext, &Vantel::FilterCFtext_Change);
    onText(Ftonetext, &Vantel::Ftonetext_Change);
    onText(SpaceToneText, &Vantel::SpaceToneText_Change);
    onText(BWtext, &Vantel::BWtext_Change);
    onText(SNtext, &Vantel::SNtext_Change);
    onText(ScaleText, &Vantel::ScaleText_Change);
    onText(FStext, &Vantel::FStext_Change);
    connect(NoFilter, &QCheckBox::toggled, this, [this] { NoFilter_Click(); });
    connect(ScaleScroll, &QScrollBar::valueChanged, this, [this] { ScaleScroll_Change(); });
    connect(GenWav, &QPushButton::clicked, this, [this] { GenWav_Click(); });
    connect(Abort, &QPushButton::clicked, this, [this] { Abort_Click(); });
    connect(Play, &QPushButton::clicked, this, [this] { Play_Click(); });
    connect(SaveWav, &QPushButton::clicked, this, [this] { SaveWav_Click(); });
}

// ---- Start and end -------------------------------------------------------

void Vantel::Form_Load() {
    settings::StartupTexts texts;
    texts.WPMtext = textOf(WPMtext);
    texts.SNtext = textOf(SNtext);
    texts.BWtext = textOf(BWtext);
    texts.FStext = textOf(FStext);
    texts.FilterCFtext = textOf(FilterCFtext);
    texts.FilterBWtext = textOf(FilterBWtext);
    settings_ = settings::loadSettings(texts);
    FIRLength = settings::kStartupFirLength;
    refreshFirLength();
}

void Vantel::Form_Unload() {
    // Closing the main window ends the program, whatever else is open.
    QCoreApplication::quit();
}

void Vantel::changeEvent(QEvent* event) {
    // A desktop's theme may change while the window is open; the window's
    // colours are then measured against the new palette.
    if (event->type() == QEvent::PaletteChange) applyColours();
    QWidget::changeEvent(event);
}

void Vantel::closeEvent(QCloseEvent* event) {
    if (runUnderWay() || playing_) {
        // The run loop (or the wait for the sound) is further up this very
        // call stack: ask it to stop, and close once it has finished.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

// ---- Modulation and speed ------------------------------------------------

Mode Vantel::mode() const {
    if (ToneOnly->isChecked()) return Mode::ToneOnly;
    if (FSKCW->isChecked()) return Mode::FSKCW;
    return Mode::OnOffCW;
}

void Vantel::OnOffCW_Click() { switchMode(Mode::OnOffCW); }
void Vantel::FSKCW_Click() { switchMode(Mode::FSKCW); }
void Vantel::ToneOnly_Click() { switchMode(Mode::ToneOnly); }

void Vantel::switchMode(Mode newMode) {
    const bool morse = settings::isMorseMode(newMode);
    const bool spaceTone = newMode == Mode::FSKCW;
    Messagetext->setVisible(morse);
    WPMtext->setText(qText(settings::speedTextForMode(settings_, newMode)));
    Label4->setText(morse ? "CW Speed WPM" : "Tone Duration  s");
    Label7->setVisible(morse);
    Label5->setVisible(morse);
    DurLabel->setVisible(morse);
    if (morse) {
        SpaceToneText->setVisible(spaceTone);
        SPToneLabel->setVisible(spaceTone);
    }
    outputReset();
    if (!morse) {
        SpaceToneText->hide();
        SPToneLabel->hide();
    }
    CWPatternText->clear();
}

void Vantel::WPMtext_Change() {
    enter(settings::Box::WPMtext);
    if (settings::isMorseMode(mode())) Label7->setText(qText(settings::dotIntervalCaption(settings_.Dotperiod)));
    outputReset();
}

void Vantel::Messagetext_Change() {
    Play->hide();
    SaveWav->hide();
    withdrawSaveDialog();
    CWPatternText->clear();
    showGenerateUnlessRunning();
    DurLabel->clear();
    QCoreApplication::processEvents();
}

// ---- Filter and tones ----------------------------------------------------

void Vantel::FilterBWtext_Change() { filterOrToneEdited(settings::Box::FilterBWtext); }

void Vantel::FilterCFtext_Change() { filterOrToneEdited(settings::Box::FilterCFtext); }

void Vantel::Ftonetext_Change() { filterOrToneEdited(settings::Box::Ftonetext); }

void Vantel::SpaceToneText_Change() { filterOrToneEdited(settings::Box::SpaceToneText); }

// The filter's edits and the tones' share their steps: the FIR length shown
// afresh, then the check that the tones lie in the pass band.
void Vantel::filterOrToneEdited(settings::Box box) {
    enter(box);
    outputReset();
    refreshFirLength();
    toneCheck();
}

void Vantel::NoFilter_Click() {
    outputReset();
    const bool filterShown = !NoFilter->isChecked();
    for (QWidget* control : {static_cast<QWidget*>(FilterCFtext), static_cast<QWidget*>(FilterBWtext),
                             static_cast<QWidget*>(FIRLen), static_cast<QWidget*>(Label9),
                             static_cast<QWidget*>(Label10)}) {
        control->setVisible(filterShown);
    }
}

void Vantel::refreshFirLength() { FIRLen->setText(qText(settings::firLengthCaption(FIRLength))); }

void Vantel::toneCheck() {
    if (settings::toneOutsideFilter(settings_, mode())) FIRLen->setText(settings::kToneOutsideFilterText);
}

// ---- Level, bandwidth and sample rate ------------------------------------

void Vantel::BWtext_Change() {
    enter(settings::Box::BWtext);
    outputReset();
    ShowBandwidths();
}

void Vantel::SNtext_Change() {
    enter(settings::Box::SNtext);
    outputReset();
    ShowBandwidths();
}

void Vantel::ScaleText_Change() {
    // Moving the bar writes its integer back into this box, which runs this
    // handler once more; that pass sets the bar to the value it already has,
    // which raises nothing, and the exchange ends.
    if (const auto position = enter(settings::Box::ScaleText)) {
        ScaleScroll->setValue(*position);
    }
    outputReset();
}

void Vantel::ScaleScroll_Change() { ScaleText->setText(qText(text::plainInteger(ScaleScroll->value()))); }

void Vantel::FStext_Change() {
    enter(settings::Box::FStext);
    outputReset();
}

void Vantel::ShowBandwidths() {
    // A bandwidth of 0 has no normalised figures; the last ones stay.
    if (const auto figures = settings::normalisedSnText(settings_.SN, settings_.BW)) {
        SNVals->setPlainText(qText(*figures).replace("\r\n", "\n"));
    }
}

std::optional<int> Vantel::enter(settings::Box box) {
    return settings::enterText(box, settings_, FIRLength, mode(), boxText(box));
}

std::string Vantel::boxText(settings::Box box) const { return textOf(boxFor(box)); }

// ---- The output reset ----------------------------------------------------

void Vantel::outputReset() {
    Play->hide();
    SaveWav->hide();
    withdrawSaveDialog();
    showGenerateUnlessRunning();
}

void Vantel::withdrawSaveDialog() {
    // An open save dialog would store a file that no longer matches the
    // settings, or one a new run is half way through writing. Save Wav File
    // opens it again, with a fresh name, once there is a file to offer.
    if (saveDialog_ != nullptr) saveDialog_->hide();
}

void Vantel::showGenerateUnlessRunning() {
    // A second run must not start on the file the first still has open, so
    // Generate comes back only when the run is over. An edit while samples
    // are being made leaves a file that no longer matches the window.
    switch (phase_) {
        case RunPhase::Idle: GenWav->show(); break;
        // The run's own repair writes the texts it then uses.
        case RunPhase::Repairing: break;
        // The pattern is built before the run yields for the first time, so
        // an edit even then leaves a file that does not match the window.
        case RunPhase::SettingUp:
        case RunPhase::Sounding: editedDuringRun_ = true; break;
    }
}

}  // namespace vantel::ui
