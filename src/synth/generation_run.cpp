#include "synth/generation_run.h"

namespace vantel::synth {

GenerationRun::GenerationRun(SynthesisState& state, const RunPlan& plan, const keying::KeyingPattern& pattern,
                             wav::WavWriter& writer)
    : state_(state),
      plan_(plan),
      pattern_(pattern),
      writer_(writer),
      oscillator_(plan.markIncrement, plan.spaceIncrement) {
    state_.FIRDelay.startRun();
}

std::int16_t GenerationRun::produceSample(bool keyDown, const LiveControls& live) {
    const double noise = gaussianNoise(plan_.noiseScale, state_.noise.next());
    double x = oscillator_.next(keyDown, live.fsk) + noise;
    if (live.filterOn) x = state_.FIRDelay.process(x, state_.FIRCoeffs, live.firLength);
    return stats_.take(x * live.scaleFact);
}

void GenerationRun::runElement(const LiveControls& live) {
    if (!running()) return;
    const bool keyDown = pattern_.keyDown(element_);
    const std::int64_t samples = live.abort ? 1 : plan_.samplesPerElement;
    for (std::int64_t i = 0; i < samples; ++i) writer_.append(produceSample(keyDown, live));
    if (live.abort) {
        aborted_ = true;
    } else {
        ++element_;
    }
}

}  // namespace vantel::synth

namespace vantel::synth {

RunPlan prepareRun(SynthesisState& state, const settings::GenerationSettings& s, settings::Mode mode,
                   const keying::KeyingPattern& pattern, std::int16_t firLength) {
    const RunPlan plan = planRun(s, mode, pattern);
    filter::designBandPass(state.FIRCoeffs, s.FilterCF, s.FilterBW, s.FSample, firLength);
    return plan;
}

}  // namespace vantel::synth
