#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "settings/generation_settings.h"
#include "synth/generation_run.h"
#include "synth/level_report.h"

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace vantel::ui {

class ProgressBox;
class SaveWavFile;

// The main window. It owns the generation settings, the keying pattern and
// the synthesis state (noise position, filter coefficients and delay line) for
// its whole life. Every control keeps the name it has in the layout, as its
// member name and as its object name. Each edit handler applies the engine's
// entry rule for its box; a text the program writes into a box raises that
// box's handler at once, exactly as typing does.
//
// A run happens inside the Generate handler on the window's one thread. It
// makes its samples in calls of about 64k samples (whole elements) and yields
// to the event loop between calls, at least every 15 ms, so Abort, edits and
// a close request are handled while it goes on; they take effect from the
// next element on.
class Vantel : public QWidget {
    Q_OBJECT
public:
    explicit Vantel(QWidget* parent = nullptr);
    ~Vantel() override;

    // Shows the entered S/N re-expressed for 2500 Hz and 1 Hz in SNVals.
    void ShowBandwidths();
    // Builds the keying pattern from the message (or the tone length).
    void GenCW();
    // Writes "CWTemp.wav" in the current directory from the settings.
    void GenWaveFile();
    // Designs the output filter's coefficients around `fcentre`.
    void FilterCoeffs(double fcentre);

    const settings::GenerationSettings& settings() const { return settings_; }
    std::int16_t firLength() const { return FIRLength; }
    bool runUnderWay() const { return phase_ != RunPhase::Idle; }
    bool playing() const { return playing_; }

    static constexpr const char* kTempWavFile = "CWTemp.wav";

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class RunPhase { Idle, SettingUp, Repairing, Sounding };

    // Building the window.
    void createControls();
    void centreOnScreen();
    void createWindowControls();
    void createModulationFrame();
    void createLevelFrame();
    void createMessageFrame();
    void createFilterFrame();
    void fitCaptions();
    void setTabOrder();
    void nameControlsByCaptions();
    void applyColours();
    void connectHandlers();

    // Control events.
    void OnOffCW_Click();
    void FSKCW_Click();
    void ToneOnly_Click();
    void WPMtext_Change();
    void Messagetext_Change();
    void FilterBWtext_Change();
    void FilterCFtext_Change();
    void Ftonetext_Change();
    void SpaceToneText_Change();
    void NoFilter_Click();
    void BWtext_Change();
    void SNtext_Change();
    void ScaleText_Change();
    void ScaleScroll_Change();
    void FStext_Change();
    void GenWav_Click();
    void Abort_Click();
    void Play_Click();
    void SaveWav_Click();
    void Form_Load();
    void Form_Unload();

    // Steps the handlers share.
    settings::Mode mode() const;
    void switchMode(settings::Mode mode);
    void outputReset();
    void withdrawSaveDialog();
    void showGenerateUnlessRunning();
    void filterOrToneEdited(settings::Box box);
    void refreshFirLength();
    void toneCheck();

    // The run.
    void runGeneration();
    void prepareWindowForRun();
    void deleteOldTempFile();
    void repairSettings();
    bool soundElements(synth::GenerationRun& run);
    synth::LiveControls liveControls() const;
    void showAborted(const synth::Report& report);
    void showDone(const synth::Report& report);
    void showRunFailure(const QString& message);
    void showReport(const synth::Report& report);
    void showInfo(const QString& text, const QColor& colour);

    QLineEdit* boxFor(settings::Box box) const;
    std::string boxText(settings::Box box) const;
    // Applies the box's entry rule to its text.
    std::optional<int> enter(settings::Box box);

    settings::GenerationSettings settings_;
    std::int16_t FIRLength = settings::kStartupFirLength;
    std::int32_t AbortFlag = 0;
    std::string TempWavFile;  // the file the last run wrote, resolved against the current folder
    synth::SynthesisState state_;

    RunPhase phase_ = RunPhase::Idle;
    bool editedDuringRun_ = false;
    bool closeRequested_ = false;
    bool playing_ = false;
    SaveWavFile* saveDialog_ = nullptr;  // made on the first Save, owned as a child
    std::optional<QColor> infoColour_;   // InfoText's colour as chosen, before it is made readable
    double logicalDpi_ = 96;

    // Frames.
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* TxType = nullptr;
    // On the window.
    ProgressBox* Progress = nullptr;
    QPushButton* Abort = nullptr;
    QPushButton* SaveWav = nullptr;
    QPushButton* Play = nullptr;
    QPushButton* GenWav = nullptr;
    QPlainTextEdit* CWPatternText = nullptr;
    QLineEdit* FStext = nullptr;
    QLabel* InfoText = nullptr;
    QLabel* Label1 = nullptr;
    // In "Modulation".
    QRadioButton* FSKCW = nullptr;
    QRadioButton* OnOffCW = nullptr;
    QRadioButton* ToneOnly = nullptr;
    // In "S/N and Output Level".
    QPlainTextEdit* SNVals = nullptr;
    QLineEdit* BWtext = nullptr;
    QLineEdit* SNtext = nullptr;
    QLineEdit* ScaleText = nullptr;
    QScrollBar* ScaleScroll = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    // In "Message / Tone Data".
    QLineEdit* SpaceToneText = nullptr;
    QLineEdit* Ftonetext = nullptr;
    QLineEdit* WPMtext = nullptr;
    QLineEdit* Messagetext = nullptr;
    QLabel* SPToneLabel = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* DurLabel = nullptr;
    // In "Output Filter".
    QCheckBox* NoFilter = nullptr;
    QLineEdit* FilterCFtext = nullptr;
    QLineEdit* FilterBWtext = nullptr;
    QLabel* FIRLen = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label9 = nullptr;
};

}  // namespace vantel::ui
