#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <optional>
#include <vector>

#include "channel/band_conditions.h"
#include "channel/qrm.h"
#include "filter/fir_design.h"
#include "keying/keying_runs.h"
#include "keying/morse_timing.h"
#include "keying/keying_pattern.h"
#include "settings/generation_settings.h"
#include "synth/run_plan.h"

// The set-up of a Generate run, the same for every front end. In order:
//   1. encodeForRun, when the message box is not empty (the window's GenCW);
//   2. the run repair (settings::repairForRun);
//   3. setUpRun: the pattern the run sounds and its plan;
//   4. designRunFilter with FilterCF (the window's FilterCoeffs);
// then the WAV header for the plan's total and a GenerationRun.
namespace vantel::synth {

// The encoding step: in the Morse modes the message, in capitals, becomes
// CWPattern and its length Duration; in continuous-tone mode CWPattern is the
// tone the speed box asks for and Dotperiod a tenth of a second. Returns the
// message as the box should then show it (in capitals in the Morse modes,
// untouched in continuous-tone mode).
std::string encodeForRun(settings::GenerationSettings& s, settings::Mode mode, std::string_view message,
                         std::string_view speedText);

// The band conditions a run is made under, beyond the window's settings: all
// off by default, which is the window's run exactly.
struct BandSetup {
    channel::BandConditions conditions;
    bool extendedCharacters = false;  // the ITU punctuation and prosigns in <>
    std::string message;              // the message box's text, timed afresh
    std::uint64_t seed = 0;           // the file's seed: every effect's stream derives from it
};

// What a run is fixed to before its first sample. The run keeps its own
// pattern: nothing an edit does during the run may change it.
struct RunSetup {
    keying::KeyingPattern pattern;
    RunPlan plan;
    // What the band conditions read of the settings.
    settings::Mode mode = settings::Mode::OnOffCW;
    double sampleRate = 0;
    double toneHz = 0;
    channel::BandConditions conditions;
    std::uint64_t seed = 0;
    // Keying that is not whole dots (Farnsworth, a fist, extended
    // characters): the run's elements are these runs, labelled as sent.
    std::optional<keying::TimedMessage> timed;
    // The other stations, fixed by the seed.
    std::vector<channel::QrmStation> qrmStations;
    // Whether the oscillator starts keyed, as the window's always does (its
    // first sample carries the tone); not where a framed message starts with
    // silence.
    bool startsKeyed = true;

    // True when any band condition is on; the run then goes through a
    // BandPath, and otherwise makes the window's samples exactly.
    bool hasBandConditions() const { return timed.has_value() || conditions != channel::BandConditions{}; }
    // The run's keying, element by element: the timed runs or the pattern's
    // elements. Refers to this set-up, which must outlive it.
    keying::KeyingRuns keying() const {
        return timed ? keying::KeyingRuns(timed->runs) : keying::KeyingRuns(pattern, plan.samplesPerElement);
    }
};

// After the repair: in continuous-tone mode the tone is built afresh from the
// speed box; in the Morse modes the run sounds the pattern the last encoding
// left in CWPattern, or with keying options the message timed as they ask.
// Throws RunError when there is nothing to generate or too much for a WAV
// file, text::SettingError for a band condition out of range or for the mode,
// and keying::MessageError for a message that cannot be sent as written.
RunSetup setUpRun(const settings::GenerationSettings& s, settings::Mode mode, std::string_view speedText,
                  const BandSetup& band = {});

// The run's band-pass around `centre` with the settings' bandwidth and rate,
// into the coefficient store; designed whether or not filtering is on.
void designRunFilter(filter::CoefficientStore& coeffs, const settings::GenerationSettings& s, double centre,
                     std::int16_t firLength);

}  // namespace vantel::synth
