#pragma once

#include <cstdint>

#include "filter/fir_design.h"
#include "filter/fir_filter.h"
#include "keying/keying_pattern.h"
#include "synth/level_stats.h"
#include "synth/noise_source.h"
#include "synth/run_plan.h"
#include "synth/signal_synth.h"
#include "wav/wav_writer.h"

namespace vantel::synth {

// State that outlives a run and belongs to the window (or to one command):
// the noise generator's position, the coefficient store and the filter's delay
// line. Later runs continue the noise and start from the previous run's ring.
struct SynthesisState {
    NoiseSource noise;
    filter::CoefficientStore FIRCoeffs{};
    filter::FirRing FIRDelay;
};

// Values the user may change while a run goes on; the run reads them at the
// start of every element.
struct LiveControls {
    bool fsk = false;
    bool filterOn = true;
    double scaleFact = 1;
    std::int16_t firLength = filter::kMinFirLength;
    bool abort = false;
};

// One run: sounds the pattern element by element into a WAV writer whose header
// was written for the plan's total. The front end yields between elements.
class GenerationRun {
public:
    GenerationRun(SynthesisState& state, const RunPlan& plan, const keying::KeyingPattern& pattern,
                  wav::WavWriter& writer);

    // Sounds the next element. With `live.abort` set, only its first sample is
    // written and the run ends aborted.
    void runElement(const LiveControls& live);

    bool complete() const { return element_ == plan_.elements; }
    bool aborted() const { return aborted_; }
    bool running() const { return !complete() && !aborted_; }
    std::int64_t elementsDone() const { return element_; }
    const RunPlan& plan() const { return plan_; }
    const LevelStats& stats() const { return stats_; }

private:
    std::int16_t produceSample(bool keyDown, const LiveControls& live);

    SynthesisState& state_;
    RunPlan plan_;
    const keying::KeyingPattern& pattern_;
    wav::WavWriter& writer_;
    KeyedOscillator oscillator_;
    LevelStats stats_;
    std::int64_t element_ = 0;
    bool aborted_ = false;
};

}  // namespace vantel::synth

namespace vantel::synth {

// The set-up between the run repair and the header: plans the run, then designs
// the filter for the run's centre frequency (whether or not filtering is on).
RunPlan prepareRun(SynthesisState& state, const settings::GenerationSettings& s, settings::Mode mode,
                   const keying::KeyingPattern& pattern, std::int16_t firLength);

}  // namespace vantel::synth
