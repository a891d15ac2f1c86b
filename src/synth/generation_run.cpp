#include "synth/generation_run.h"

#include <algorithm>
#include <span>

#include "synth/block_kernels.h"

namespace vantel::synth {

namespace {
// The filter works best on long blocks; the sample making goes through the
// block in pieces small enough for their working arrays to stay in cache.
constexpr std::size_t kChunkSamples = 65536;
constexpr std::size_t kPieceSamples = 4096;
}  // namespace

GenerationRun::GenerationRun(SynthesisState& state, const RunPlan& plan, const keying::KeyingPattern& pattern,
                             wav::SampleSink& writer, Renderer renderer)
    : state_(state),
      plan_(plan),
      pattern_(pattern),
      writer_(writer),
      renderer_(renderer),
      oscillator_(plan.markIncrement, plan.spaceIncrement) {
    state_.FIRDelay.startRun();
}

std::int16_t GenerationRun::produceSample(bool keyDown, const LiveControls& live) {
    const double noise = gaussianNoise(plan_.noiseScale, state_.noise.next());
    const bool sounding = oscillator_.amplitude() != 0;
    const double tone = oscillator_.next(keyDown, live.fsk);
    measure_.noiseEnergy += noise * noise;
    ++measure_.noiseSamples;
    if (sounding) {
        measure_.toneEnergy += tone * tone;
        ++measure_.toneSamples;
    }
    double x = tone + noise;
    if (live.filterOn) x = state_.FIRDelay.process(x, state_.FIRCoeffs, live.firLength);
    return stats_.take(x * live.scaleFact);
}

void GenerationRun::runElements(std::int64_t count, const LiveControls& live) {
    if (!running() || count <= 0) return;
    // The abort is seen after the first sample of the element that follows it.
    const std::int64_t left = plan_.elements - element_;
    const std::int64_t samples = live.abort ? 1 : (count < left ? count : left) * plan_.samplesPerElement;
    if (renderer_ == Renderer::Reference) {
        renderReference(samples, live);
    } else {
        renderFast(samples, live);
    }
    if (live.abort) aborted_ = true;
}

void GenerationRun::advance(std::int64_t samples) {
    sampleInElement_ += samples;
    element_ += sampleInElement_ / plan_.samplesPerElement;
    sampleInElement_ %= plan_.samplesPerElement;
}

void GenerationRun::renderReference(std::int64_t samples, const LiveControls& live) {
    for (std::int64_t i = 0; i < samples; ++i) {
        writer_.append(produceSample(pattern_.keyDown(element_), live));
        advance(1);
    }
}

void GenerationRun::renderFast(std::int64_t samples, const LiveControls& live) {
    // Working arrays only as long as this run's calls need, at most a chunk: a
    // short run (a clip of a few seconds) then does not allocate, fault in and
    // give back a megabyte it never uses.
    const auto longest = static_cast<std::size_t>(std::min<std::int64_t>(samples, std::int64_t{kChunkSamples}));
    if (raw_.size() < longest) {
        for (auto* buffer : {&raw_, &filtered_}) buffer->resize(longest);
        output_.resize(longest);
    }
    if (const std::size_t piece = std::min(kPieceSamples, longest); phase_.size() < piece) {
        for (auto* buffer : {&phase_, &amplitude_, &tone_}) buffer->resize(piece);
    }
    while (samples > 0) {
        const auto count = static_cast<std::size_t>(samples < std::int64_t{kChunkSamples} ? samples : kChunkSamples);
        renderChunk(count, live);
        samples -= static_cast<std::int64_t>(count);
    }
}

void GenerationRun::renderChunk(std::size_t count, const LiveControls& live) {
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = std::min(kPieceSamples, count - done);
        makeRawSamples(live, raw_.data() + done, piece);
        done += piece;
    }
    const double* x = raw_.data();
    if (live.filterOn) {
        blockFir_.process(state_.FIRDelay, state_.FIRCoeffs, live.firLength, raw_.data(), filtered_.data(), count);
        x = filtered_.data();
    }
    kernels::limit(x, live.scaleFact, output_.data(), count, stats_);
    writer_.append(std::span<const std::int16_t>(output_.data(), count));
}

void GenerationRun::makeRawSamples(const LiveControls& live, double* raw, std::size_t count) {
    for (std::size_t filled = 0; filled < count;) {
        const std::int64_t leftInElement = plan_.samplesPerElement - sampleInElement_;
        const std::size_t n = std::min<std::size_t>(count - filled, static_cast<std::size_t>(leftInElement));
        oscillator_.fill(pattern_.keyDown(element_), live.fsk, &phase_[filled], &amplitude_[filled], n);
        advance(static_cast<std::int64_t>(n));
        filled += n;
    }
    kernels::noise(state_.noise.seed(), state_.noise.pairsDrawn(), plan_.noiseScale, raw, count);
    state_.noise.skip(count);
    kernels::tone(phase_.data(), amplitude_.data(), tone_.data(), count);
    measure_.noiseEnergy += kernels::sumOfSquares(raw, count);
    measure_.noiseSamples += static_cast<std::int64_t>(count);
    measure_.toneEnergy += kernels::sumOfSquares(tone_.data(), count);
    measure_.toneSamples += kernels::countNonZero(amplitude_.data(), count);
    kernels::add(tone_.data(), raw, count);
}

}  // namespace vantel::synth
