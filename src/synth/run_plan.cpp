#include "synth/run_plan.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "synth/noise_source.h"
#include "text/number_text.h"
#include "synth/sample_sink.h"

namespace vantel::synth {
namespace {

constexpr double kMaxHeaderRate = INT32_MAX / 2;  // the byte rate must fit too

std::string tooLongMessage() {
    return "File too long for a WAV file: at most " + std::to_string(kMostRunSamples) + " samples";
}

// What every run fixes alike, whatever its keying.
RunPlan planCommon(const settings::GenerationSettings& s) {
    RunPlan plan;
    plan.noiseScale = std::pow(10.0, -s.SN / 20) * std::sqrt(s.FSample / s.BW) * kNoiseReference;
    plan.markIncrement = s.ToneFreq / s.FSample;
    plan.spaceIncrement = s.SPToneFreq / s.FSample;

    const double rate = text::roundHalfEven(s.FSample);
    if (!(rate <= kMaxHeaderRate)) throw RunError("Sample rate too high for a WAV file");
    if (!(rate >= 1)) throw RunError("Sample rate too low: below 1 Hz");
    plan.sampleRate = static_cast<std::int32_t>(rate);
    return plan;
}

}  // namespace

RunPlan planRun(const settings::GenerationSettings& s, settings::Mode mode, const keying::KeyingPattern& pattern) {
    RunPlan plan = planCommon(s);
    const bool tone = mode == settings::Mode::ToneOnly;
    const double perElement = text::roundHalfEven(tone ? s.FSample / 10 : s.FSample * s.Dotperiod);
    if (pattern.empty()) {
        throw RunError(tone ? "Nothing to generate: the tone length is 0 or less"
                            : "Nothing to generate: the message has no Morse characters");
    }
    if (!(perElement >= 1)) throw RunError("Nothing to generate: an element is shorter than one sample");
    if (perElement > static_cast<double>(kMostRunSamples)) throw RunError(tooLongMessage());
    plan.samplesPerElement = static_cast<std::int64_t>(perElement);
    plan.elements = pattern.size();
    if (plan.elements > kMostRunSamples / plan.samplesPerElement) throw RunError(tooLongMessage());
    plan.totalSamples = plan.elements * plan.samplesPerElement;
    return plan;
}

RunPlan planTimedRun(const settings::GenerationSettings& s, const keying::TimedMessage& timed) {
    RunPlan plan = planCommon(s);
    if (timed.runs.empty()) throw RunError("Nothing to generate: the message has no Morse characters");
    if (timed.totalSamples > kMostRunSamples) throw RunError(tooLongMessage());
    plan.elements = static_cast<std::int64_t>(timed.runs.size());
    plan.totalSamples = timed.totalSamples;
    return plan;
}

std::int64_t elementsPerCall(const RunPlan& plan) {
    return std::max<std::int64_t>(1, kSamplesPerCall / std::max<std::int64_t>(1, plan.samplesPerElement));
}

}  // namespace vantel::synth
