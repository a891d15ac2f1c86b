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
static_assert(kPieceSamples <= BandPath::kMostSamples);

}  // namespace

GenerationRun::GenerationRun(SynthesisState& state, const RunSetup& setup, synth::SampleSink& writer, Renderer renderer)
    : state_(state),
      plan_(setup.plan),
      keying_(setup.keying()),
      writer_(writer),
      renderer_(renderer),
      oscillator_(setup.plan.markIncrement, setup.plan.spaceIncrement, setup.startsKeyed) {
    state_.FIRDelay.startRun();
    if (setup.hasBandConditions()) band_ = std::make_unique<BandPath>(setup);
    const channel::BandConditions& c = setup.conditions;
    if (c.receiver) {
        receiver_ = std::make_unique<channel::Receiver>(c, setup.toneHz, kPeakAmplitude, setup.sampleRate, setup.seed);
    } else if (c.humHz > 0) {
        hum_.emplace(channel::Hum::forFile(setup.seed, c.humHz, c.humLevelDb, kPeakAmplitude, setup.sampleRate));
    }
}

GenerationRun::~GenerationRun() = default;

std::int64_t GenerationRun::elementsInNextCall() const {
    if (keying_.uniform()) return elementsPerCall(plan_);
    // Whole runs while they fit the call's samples, at least one.
    std::int64_t count = 1;
    std::int64_t samples = keying_.samples(element_);
    while (element_ + count < plan_.elements && samples + keying_.samples(element_ + count) <= kSamplesPerCall) {
        samples += keying_.samples(element_ + count);
        ++count;
    }
    return count;
}

std::int16_t GenerationRun::produceSample(bool keyDown, const LiveControls& live) {
    const double noise = gaussianNoise(plan_.noiseScale, state_.noise.next());
    if (band_) {
        double x = bandSample(keyDown, noise, live);
        if (live.filterOn) x = state_.FIRDelay.process(x, state_.FIRCoeffs, live.firLength);
        return stats_.take(x * live.scaleFact);
    }
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

// One sample of tone, noise and what the band adds, as the block path makes it.
double GenerationRun::bandSample(bool keyDown, double noise, const LiveControls& live) {
    double phase = 0, amplitude = 0, wanted = 0, qrm = 0, qrn = 0;
    oscillator_.process(keyDown, live.fsk, &phase, &amplitude, 1);
    band_->process(&amplitude, &phase, &wanted, &qrm, &qrn, 1);
    measure_.noiseEnergy += noise * noise;
    ++measure_.noiseSamples;
    measure_.toneEnergy += wanted * wanted;
    measure_.toneSamples += amplitude != 0 ? 1 : 0;
    measure_.qrmEnergy += qrm * qrm;
    measure_.qrnEnergy += qrn * qrn;
    measure_.qrnCrashes = band_->qrnCrashes();
    return listen(((wanted + noise) + qrm) + qrn, wanted);
}

double GenerationRun::listen(double sum, double wanted) {
    if (hum_) return sum + hum_->next();
    if (!receiver_) return sum;
    double wantedOut = 0;
    const double out = receiver_->next(sum, wanted, wantedOut);
    const double rest = out - wantedOut;
    measure_.outputWantedEnergy += wantedOut * wantedOut;
    measure_.outputRestEnergy += rest * rest;
    return out;
}

void GenerationRun::listen(double* raw, std::size_t count) {
    if (hum_) hum_->process(raw, count);
    if (!receiver_) return;
    if (wantedOut_.size() < count) wantedOut_.resize(tone_.size());
    receiver_->process(raw, tone_.data(), raw, wantedOut_.data(), count);
    for (std::size_t i = 0; i < count; ++i) {
        const double rest = raw[i] - wantedOut_[i];
        measure_.outputWantedEnergy += wantedOut_[i] * wantedOut_[i];
        measure_.outputRestEnergy += rest * rest;
    }
}

void GenerationRun::runElements(std::int64_t count, const LiveControls& live) {
    if (!running() || count <= 0) return;
    // The abort is seen after the first sample of the element that follows it.
    const std::int64_t last = std::min(plan_.elements, element_ + count);
    std::int64_t samples = -sampleInElement_;
    if (keying_.uniform()) {
        samples += (last - element_) * plan_.samplesPerElement;
    } else {
        for (std::int64_t e = element_; e < last; ++e) samples += keying_.samples(e);
    }
    if (live.abort) samples = 1;
    if (renderer_ == Renderer::Reference) {
        renderReference(samples, live);
    } else {
        renderFast(samples, live);
    }
    if (live.abort) aborted_ = true;
}

void GenerationRun::advance(std::int64_t samples) {
    sampleInElement_ += samples;
    if (keying_.uniform()) {
        element_ += sampleInElement_ / plan_.samplesPerElement;
        sampleInElement_ %= plan_.samplesPerElement;
        return;
    }
    while (element_ < plan_.elements && sampleInElement_ >= keying_.samples(element_)) {
        sampleInElement_ -= keying_.samples(element_);
        ++element_;
    }
}

void GenerationRun::renderReference(std::int64_t samples, const LiveControls& live) {
    for (std::int64_t i = 0; i < samples; ++i) {
        writer_.append(produceSample(keying_.keyDown(element_), live));
        advance(1);
    }
}

void GenerationRun::renderFast(std::int64_t samples, const LiveControls& live) {
    // Working arrays as long as the whole run, at most a chunk, made at the
    // first call: a short run (a clip of a few seconds) then does not fault in
    // and give back a megabyte it never uses, and runs called a few elements
    // at a time (framing, a fist) do not grow them call by call.
    const auto longest = static_cast<std::size_t>(
        std::min<std::int64_t>(std::max(samples, plan_.totalSamples), std::int64_t{kChunkSamples}));
    if (raw_.size() < longest) {
        for (auto* buffer : {&raw_, &filtered_}) {
            buffer->clear();  // scratch: nothing to keep
            buffer->resize(longest);
        }
        output_.clear();
        output_.resize(longest);
    }
    if (const std::size_t piece = std::min(kPieceSamples, longest); phase_.size() < piece) {
        for (auto* buffer : {&phase_, &amplitude_, &tone_, &qrm_, &qrn_}) buffer->resize(piece);
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
        const std::int64_t leftInElement = keying_.samples(element_) - sampleInElement_;
        const std::size_t n = std::min<std::size_t>(count - filled, static_cast<std::size_t>(leftInElement));
        oscillator_.process(keying_.keyDown(element_), live.fsk, &phase_[filled], &amplitude_[filled], n);
        advance(static_cast<std::int64_t>(n));
        filled += n;
    }
    kernels::noise(state_.noise.seed(), state_.noise.pairsDrawn(), plan_.noiseScale, raw, count);
    state_.noise.skip(count);
    if (band_) {
        addBandConditions(raw, count);
        return;
    }
    kernels::tone(phase_.data(), amplitude_.data(), tone_.data(), count);
    measureToneAndNoise(raw, count);
    kernels::add(tone_.data(), raw, count);
}

// The noise in `raw` and the wanted tone in tone_, for the S/N measured.
void GenerationRun::measureToneAndNoise(const double* raw, std::size_t count) {
    measure_.noiseEnergy += kernels::sumOfSquares(raw, count);
    measure_.noiseSamples += static_cast<std::int64_t>(count);
    measure_.toneEnergy += kernels::sumOfSquares(tone_.data(), count);
    measure_.toneSamples += kernels::countNonZero(amplitude_.data(), count);
}

void GenerationRun::addBandConditions(double* raw, std::size_t count) {
    band_->process(amplitude_.data(), phase_.data(), tone_.data(), qrm_.data(), qrn_.data(), count);
    measureToneAndNoise(raw, count);
    measure_.qrnCrashes = band_->qrnCrashes();
    // In the order one sample at a time adds them.
    kernels::add(tone_.data(), raw, count);
    if (band_->hasQrm()) {
        measure_.qrmEnergy += kernels::sumOfSquares(qrm_.data(), count);
        kernels::add(qrm_.data(), raw, count);
    }
    if (band_->hasQrn()) {
        measure_.qrnEnergy += kernels::sumOfSquares(qrn_.data(), count);
        kernels::add(qrn_.data(), raw, count);
    }
    listen(raw, count);
}

}  // namespace vantel::synth
