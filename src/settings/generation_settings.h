#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "keying/keying_pattern.h"

namespace vantel::settings {

// The modulation: exactly one is selected. On/off keying is the case in which
// neither FSK nor the continuous tone is chosen.
enum class Mode { OnOffCW, FSKCW, ToneOnly };

inline bool isMorseMode(Mode mode) { return mode != Mode::ToneOnly; }

// The values that drive a run. Member names follow the window's own settings so
// that the window code and the engine read the same. A number that was never
// set is 0.
struct GenerationSettings {
    double WPM = 0;
    double ToneFreq = 0;
    double SPToneFreq = 0;
    double BW = 0;
    double SN = 0;
    double Duration = 0;
    double Dotperiod = 0;
    double ScaleFact = 0;
    double FilterCF = 0;
    double FilterBW = 0;
    float ContToneDur = 0;
    double FSample = 0;
    keying::KeyingPattern CWPattern;
};

// The window's edit boxes, and the one label the run repair writes.
enum class Box {
    FStext,
    Ftonetext,
    SpaceToneText,
    BWtext,
    SNtext,
    WPMtext,
    Label7,
    ScaleText,
    Messagetext,
    FilterCFtext,
    FilterBWtext,
};
inline constexpr std::size_t kBoxCount = static_cast<std::size_t>(Box::FilterBWtext) + 1;

// The text each box holds when the window opens.
std::string_view startupText(Box box);

// The texts of the boxes that the load step reads.
struct StartupTexts {
    std::string WPMtext{startupText(Box::WPMtext)};
    std::string SNtext{startupText(Box::SNtext)};
    std::string BWtext{startupText(Box::BWtext)};
    std::string FStext{startupText(Box::FStext)};
    std::string FilterCFtext{startupText(Box::FilterCFtext)};
    std::string FilterBWtext{startupText(Box::FilterBWtext)};
};

inline constexpr std::int16_t kStartupFirLength = 200;
inline constexpr float kStartupToneDuration = 5.0f;
inline constexpr double kStartupToneFreq = 800;
inline constexpr double kStartupSpaceToneFreq = 600;

// The load step: settings from the start-up texts and the fixed start values.
GenerationSettings loadSettings(const StartupTexts& texts = {});

using ReadText = std::function<std::string(Box)>;
using WriteText = std::function<void(Box, const std::string&)>;

// Repairs out-of-range settings before a run, in a fixed order. Each repaired
// text is handed to `writeText` at the moment it is repaired, so that the
// window's change handler for that box runs before the next step, exactly as
// if the user had typed it. `readText` gives the current text of SNtext and
// ScaleText.
void repairForRun(GenerationSettings& s, Mode mode, const ReadText& readText, const WriteText& writeText);

}  // namespace vantel::settings
