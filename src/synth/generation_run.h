#pragma once

#include <cstdint>

#include <vector>

#include "filter/block_fir.h"
#include "filter/fir_design.h"
#include "filter/fir_filter.h"
#include "keying/keying_pattern.h"
#include "synth/level_stats.h"
#include "synth/noise_source.h"
#include "synth/run_plan.h"
#include "synth/signal_measure.h"
#include "synth/keyed_oscillator.h"
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

// Values the user may change while a run goes on; each call of runElements
// takes them afresh, so a change takes effect at an element boundary.
struct LiveControls {
    bool fsk = false;
    bool filterOn = true;
    double scaleFact = 1;
    std::int16_t firLength = filter::kMinFirLength;
    bool abort = false;
};

// How samples are computed: one at a time, straight from the definitions (the
// reference the tests hold the fast path to), or in blocks with vectorised
// maths and an FFT filter, which differ from it by at most one unit in rare
// samples.
enum class Renderer { Reference, Fast };

// One run: sounds the pattern into a sink (a WAV writer whose header was
// written for the plan's total, or memory), as many elements a call as the front end asks for
// (synth::elementsPerCall); the front end looks for stops between calls.
class GenerationRun {
public:
    GenerationRun(SynthesisState& state, const RunPlan& plan, const keying::KeyingPattern& pattern,
                  wav::SampleSink& writer, Renderer renderer = Renderer::Fast);

    // Sounds up to `count` elements with the same live values. With
    // `live.abort` set, only the first sample of the next element is written
    // and the run ends aborted.
    void runElements(std::int64_t count, const LiveControls& live);

    bool complete() const { return element_ == plan_.elements && !aborted_; }
    bool aborted() const { return aborted_; }
    bool running() const { return !complete() && !aborted_; }
    std::int64_t elementsDone() const { return element_; }
    const RunPlan& plan() const { return plan_; }
    const LevelStats& stats() const { return stats_; }
    // The tone and noise as generated (before filtering and scaling).
    const SignalMeasure& signalMeasure() const { return measure_; }

private:
    std::int16_t produceSample(bool keyDown, const LiveControls& live);
    void renderReference(std::int64_t samples, const LiveControls& live);
    void renderFast(std::int64_t samples, const LiveControls& live);
    void renderChunk(std::size_t count, const LiveControls& live);
    // Tone plus noise, unfiltered, for the next `count` samples.
    void makeRawSamples(const LiveControls& live, double* raw, std::size_t count);
    // Moves the element position on by samples written.
    void advance(std::int64_t samples);

    SynthesisState& state_;
    RunPlan plan_;
    const keying::KeyingPattern& pattern_;
    wav::SampleSink& writer_;
    Renderer renderer_;
    KeyedOscillator oscillator_;
    LevelStats stats_;
    SignalMeasure measure_;
    std::int64_t element_ = 0;
    std::int64_t sampleInElement_ = 0;
    bool aborted_ = false;
    filter::BlockFir blockFir_;
    std::vector<double> phase_, amplitude_, tone_, raw_, filtered_;
    std::vector<std::int16_t> output_;
};

}  // namespace vantel::synth
