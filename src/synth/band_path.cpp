#include "synth/band_path.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_kernels.h"
#include "keying/keying_runs.h"
#include "synth/block_kernels.h"
#include "synth/keyed_oscillator.h"

namespace vantel::synth {
namespace {

std::vector<keying::KeyRun> mergedPatternOf(const RunSetup& setup) {
    if (setup.timed) return {};
    return keying::mergedRuns(setup.pattern, setup.plan.samplesPerElement);
}

}  // namespace

BandPath::BandPath(const RunSetup& setup) : BandPath(setup, Use::Run) {}

BandPath::BandPath(const RunSetup& setup, Use use)
    : mergedPattern_(mergedPatternOf(setup)), startCarry_(setup.startsKeyed ? 1.0 : 0.0), shapedCarry_(startCarry_) {
    runs_ = setup.timed ? std::span<const keying::KeyRun>(setup.timed->runs) : std::span<const keying::KeyRun>(mergedPattern_);
    const channel::BandConditions& c = setup.conditions;
    const double rate = setup.sampleRate;
    const std::int64_t total = setup.plan.totalSamples;
    const std::int64_t rise = channel::riseSamples(c.riseMs, rate);
    if (rise > 0 && setup.mode == settings::Mode::OnOffCW) shaper_.emplace(runs_, rise);
    if (c.chirpHz != 0 || c.driftHzPerMin != 0) {
        wander_.emplace(runs_, rate, setup.toneHz, c.chirpHz, c.driftHzPerMin);
    }
    std::optional<channel::QrmFading> qrmFading;
    if (c.fading && c.fadingPaths.empty()) {
        fading_.emplace(channel::WattersonChannel::forFile(setup.seed, c.fadingSpreadHz, c.fadingDelayMs, rate));
        silence_ = channel::SilenceTracker(fading_->delaySamples());
        qrmFading = channel::QrmFading{c.fadingSpreadHz, c.fadingDelayMs};
    } else if (c.fading) {
        paths_.emplace(channel::MultipathChannel::forFile(setup.seed, c.fadingPaths, rate));
        silence_ = channel::SilenceTracker(paths_->delaySamples());
        qrmFading = channel::QrmFading{c.fadingSpreadHz, c.fadingDelayMs, c.fadingPaths};
    }
    if (c.qsbDepthDb > 0) {
        qsb_.emplace(channel::QsbGain::forFile(setup.seed, c.qsbDepthDb, c.qsbPeriodS, rate));
    }
    if (c.qsbRandomDb > 0) {
        randomQsb_.emplace(channel::RandomQsbGain::forFile(setup.seed, c.qsbRandomDb, c.qsbTimeS, rate));
    }
    for (auto* buffer : {&shaped_, &envelope_, &increments_, &phases_, &inPhase_, &quadrature_, &gain_}) {
        buffer->resize(kMostSamples);
    }
    if (use == Use::Measure) return;
    // The stations start on their own thread first: they are made while the
    // wanted signal is measured.
    if (!setup.qrmStations.empty()) {
        qrm_.emplace(setup.qrmStations, kPeakAmplitude, rise, rate, total, setup.seed, qrmFading);
    }
    if (fading_ || paths_ || qsb_ || randomQsb_) normaliseWanted(setup);
    if (c.qrnModel == channel::QrnModel::ClassA) {
        classA_.emplace(c.qrnRate, c.qrnLevelDb, c.qrnIndex, c.qrnGamma, setup.plan.noiseScale, rate, setup.seed);
    } else if (c.qrnRate > 0) {
        qrn_.emplace(c.qrnRate, c.qrnLevelDb, setup.plan.noiseScale, rate, setup.seed);
    }
}

BandPath::WantedEnergy BandPath::measureWanted(const RunSetup& setup) {
    BandPath path(setup, Use::Measure);
    KeyedOscillator oscillator(setup.plan.markIncrement, setup.plan.spaceIncrement, setup.startsKeyed);
    const keying::KeyingRuns keying = setup.keying();
    const bool fsk = setup.mode == settings::Mode::FSKCW;
    std::vector<double> phase(kMostSamples), amplitude(kMostSamples), received(kMostSamples);
    WantedEnergy energy;
    for (std::int64_t element = 0; element < setup.plan.elements; ++element) {
        for (std::int64_t left = keying.samples(element); left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, kMostSamples));
            oscillator.process(keying.keyDown(element), fsk, phase.data(), amplitude.data(), n);
            path.makeWanted(amplitude.data(), phase.data(), received.data(), n, &energy);
            left -= static_cast<std::int64_t>(n);
        }
    }
    return energy;
}

// One scale for the fading and the QSB together, on the channel when there
// is one: the fading's shape within the file stays as drawn.
void BandPath::normaliseWanted(const RunSetup& setup) {
    const WantedEnergy energy = measureWanted(setup);
    const double scale = energy.sent > 0 && energy.received > 0 ? std::sqrt(energy.sent / energy.received) : 1.0;
    if (fading_) {
        fading_->setScale(scale);
    } else if (paths_) {
        paths_->setScale(scale);
    } else if (qsb_) {
        qsb_->setScale(scale);
    } else {
        randomQsb_->setScale(scale);
    }
}

void BandPath::envelope(const double* keyedAmplitude, double* out, std::size_t n) {
    if (!shaper_) {
        // Hard keying: the oscillator's own keying (the peak or 0), as 1 or 0.
        for (std::size_t i = 0; i < n; ++i) out[i] = keyedAmplitude[i] != 0 ? 1.0 : 0.0;
        return;
    }
    // The shaped envelope replaces the key state, with the oscillator's lag:
    // sample t sounds at the envelope of sample t - 1.
    shaper_->process(shaped_.data(), n);
    out[0] = shapedCarry_;
    std::copy(shaped_.data(), shaped_.data() + n - 1, out + 1);
    shapedCarry_ = shaped_[n - 1];
}

// The keyed tone of samples [first, first + n) of this call, faded when the
// channel fades.
void BandPath::addTone(const double* phase, double* wanted, std::size_t first, std::size_t n, WantedEnergy* energy) {
    const double* envelope = envelope_.data() + first;
    if (!fading_ && !paths_) {
        channel::kernels::tone(kPeakAmplitude, envelope, phase, wanted, nullptr, n);
        if (energy) energy->sent += kernels::sumOfSquares(wanted, n);
        return;
    }
    // The in-phase component is the tone as sent.
    channel::kernels::tone(kPeakAmplitude, envelope, phase, inPhase_.data(), quadrature_.data(), n);
    if (energy) energy->sent += kernels::sumOfSquares(inPhase_.data(), n);
    if (fading_) {
        fading_->process(inPhase_.data(), quadrature_.data(), wanted, n);
    } else {
        paths_->process(inPhase_.data(), quadrature_.data(), wanted, n);
    }
}

void BandPath::reset() {
    if (shaper_) shaper_->reset();
    shapedCarry_ = startCarry_;
    if (wander_) wander_->reset();
    phase_.reset();
    if (fading_) fading_->reset();
    if (paths_) paths_->reset();
    silence_.reset();
    if (qsb_) qsb_->reset();
    if (randomQsb_) randomQsb_->reset();
    if (qrm_) qrm_->reset();
    if (qrn_) qrn_->reset();
    if (classA_) classA_->reset();
}

void BandPath::process(const double* keyedAmplitude, const double* phase, double* wanted, double* qrm,
                       double* qrn, std::size_t n) {
    if (n == 0) return;
    makeWanted(keyedAmplitude, phase, wanted, n);
    if (qrm_) qrm_->process(qrm, n);
    if (qrn_) qrn_->process(qrn, n);
    if (classA_) classA_->process(qrn, n);
}

void BandPath::makeWanted(const double* keyedAmplitude, const double* phase, double* wanted, std::size_t n,
                          WantedEnergy* energy) {
    envelope(keyedAmplitude, envelope_.data(), n);
    const double* tonePhase = phase;
    if (wander_) {
        wander_->process(increments_.data(), n);
        phase_.process(increments_.data(), phases_.data(), n);
        tonePhase = phases_.data();
    }
    // Between marks, once the fading's delay line has emptied, the wanted
    // signal is 0 (or -0) in every sample: the tone and the channel are not
    // computed there, and only the fading's gains move on.
    silence_.split(
        envelope_.data(), n,
        [&](std::size_t from, std::size_t to) { addTone(tonePhase + from, wanted + from, from, to - from, energy); },
        [&](std::size_t from, std::size_t to) {
            std::fill(wanted + from, wanted + to, 0.0);
            if (fading_) fading_->skipSilence(static_cast<std::int64_t>(to - from));
            if (paths_) paths_->skipSilence(static_cast<std::int64_t>(to - from));
        });
    if (qsb_) {
        qsb_->process(gain_.data(), n);
        for (std::size_t i = 0; i < n; ++i) wanted[i] *= gain_[i];
    }
    if (randomQsb_) {
        randomQsb_->process(gain_.data(), n);
        for (std::size_t i = 0; i < n; ++i) wanted[i] *= gain_[i];
    }
    if (energy) energy->received += kernels::sumOfSquares(wanted, n);
}

}  // namespace vantel::synth
