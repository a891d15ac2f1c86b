#pragma once

#include <cstdint>

#include <memory>
#include <optional>
#include <vector>

#include "channel/hum.h"
#include "channel/receiver.h"
#include "filter/block_fir.h"
#include "filter/fir_design.h"
#include "filter/fir_filter.h"
#include "keying/keying_pattern.h"
#include "keying/keying_runs.h"
#include "synth/level_stats.h"
#include "synth/noise_source.h"
#include "synth/band_path.h"
#include "synth/run_plan.h"
#include "synth/run_setup.h"
#include "synth/signal_measure.h"
#include "synth/keyed_oscillator.h"
#include "synth/sample_sink.h"

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

// One run: sounds a set-up run into a sink (a WAV writer whose header was
// written for the plan's total, or memory), a call at a time; the front end
// looks for stops between calls. The set-up must outlive the run.
class GenerationRun {
public:
    GenerationRun(SynthesisState& state, const RunSetup& setup, synth::SampleSink& writer,
                  Renderer renderer = Renderer::Fast);
    ~GenerationRun();

    // Sounds the next call's elements: about 64k samples of whole elements,
    // fixed by the plan, so a file's bytes never depend on when a front end
    // looked for a stop.
    void runCall(const LiveControls& live) { runElements(elementsInNextCall(), live); }
    // Sounds up to `count` elements with the same live values. With
    // `live.abort` set, only the first sample of the next element is written
    // and the run ends aborted.
    void runElements(std::int64_t count, const LiveControls& live);
    std::int64_t elementsInNextCall() const;

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
    double bandSample(bool keyDown, double noise, const LiveControls& live);
    void measureToneAndNoise(const double* raw, std::size_t count);
    void addBandConditions(double* raw, std::size_t count);
    // The receiver (or the hum alone) on the band's sum of one sample, and
    // on a block whose wanted signal is in tone_.
    double listen(double sum, double wanted);
    void listen(double* raw, std::size_t count);
    void renderReference(std::int64_t samples, const LiveControls& live);
    void renderFast(std::int64_t samples, const LiveControls& live);
    void renderChunk(std::size_t count, const LiveControls& live);
    // Tone plus noise, unfiltered, for the next `count` samples.
    void makeRawSamples(const LiveControls& live, double* raw, std::size_t count);
    // Moves the element position on by samples written.
    void advance(std::int64_t samples);

    SynthesisState& state_;
    RunPlan plan_;
    keying::KeyingRuns keying_;
    std::unique_ptr<BandPath> band_;  // only with band conditions
    std::unique_ptr<channel::Receiver> receiver_;  // only with --receiver
    std::optional<channel::Hum> hum_;              // hum without a receiver
    synth::SampleSink& writer_;
    Renderer renderer_;
    KeyedOscillator oscillator_;
    LevelStats stats_;
    SignalMeasure measure_;
    std::int64_t element_ = 0;
    std::int64_t sampleInElement_ = 0;
    bool aborted_ = false;
    filter::BlockFir blockFir_;
    std::vector<double> phase_, amplitude_, tone_, raw_, filtered_, qrm_, qrn_, wantedOut_;
    std::vector<std::int16_t> output_;
};

}  // namespace vantel::synth
