#pragma once

#include <cstdint>
#include <stdexcept>

#include "keying/keying_pattern.h"
#include "keying/morse_timing.h"
#include "settings/generation_settings.h"

namespace vantel::synth {

// A run cannot start or could not finish; the text says why in a line the
// user can act on.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything a run fixes at its start from the repaired settings.
struct RunPlan {
    double noiseScale = 0;       // sigma of the noise
    double markIncrement = 0;    // cycles per sample
    double spaceIncrement = 0;
    std::int64_t samplesPerElement = 0;  // 0 when the elements are runs of any length
    std::int64_t elements = 0;
    std::int64_t totalSamples = 0;
    std::int32_t sampleRate = 0;  // as written in the header
};

// Plans a run of `pattern` with repaired settings. Throws RunError when there
// is nothing to generate or the file would not fit a WAV header.
RunPlan planRun(const settings::GenerationSettings& s, settings::Mode mode, const keying::KeyingPattern& pattern);

// Plans a run keyed by timed runs of samples (its elements are the runs).
// Throws RunError as planRun does.
RunPlan planTimedRun(const settings::GenerationSettings& s, const keying::TimedMessage& timed);

// The samples one call of a run makes at most (unless one element is longer).
inline constexpr std::int64_t kSamplesPerCall = 65536;

// Elements per call of a run of elements of one length: about 64k samples, so that a front end sees
// stops and clicks within milliseconds while short elements do not pay the
// per-call cost (and the filter its per-block cost) one by one. The split
// follows from the plan alone, so a file's bytes never depend on when a front
// end looked for a stop, and the window and the command write the same bytes.
std::int64_t elementsPerCall(const RunPlan& plan);

}  // namespace vantel::synth
