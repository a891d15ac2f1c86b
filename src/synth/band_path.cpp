#include "synth/band_path.h"

#include <algorithm>

#include "channel/channel_kernels.h"
#include "keying/keying_runs.h"
#include "synth/keyed_oscillator.h"

namespace vantel::synth {
namespace {

std::vector<keying::KeyRun> wantedRuns(const RunSetup& setup) {
    if (setup.timed) return setup.timed->runs;
    return keying::mergedRuns(setup.pattern, setup.plan.samplesPerElement);
}

}  // namespace

BandPath::BandPath(const RunSetup& setup) : runs_(wantedRuns(setup)) {
    const channel::BandConditions& c = setup.conditions;
    const double rate = setup.sampleRate;
    const std::int64_t total = setup.plan.totalSamples;
    const std::int64_t rise = channel::riseSamples(c.riseMs, rate);
    if (rise > 0 && setup.mode == settings::Mode::OnOffCW) shaper_.emplace(runs_, rise);
    if (c.chirpHz != 0 || c.driftHzPerMin != 0) {
        wander_.emplace(runs_, rate, setup.toneHz, c.chirpHz, c.driftHzPerMin);
    }
    std::optional<channel::QrmFading> qrmFading;
    if (c.fading) {
        fading_.emplace(channel::WattersonChannel::forFile(setup.seed, c.fadingSpreadHz, c.fadingDelayMs, rate));
        fading_->normaliseOver(total);
        qrmFading = channel::QrmFading{c.fadingSpreadHz, c.fadingDelayMs};
    }
    if (c.qsbDepthDb > 0) {
        qsb_.emplace(channel::QsbGain::forFile(setup.seed, c.qsbDepthDb, c.qsbPeriodS, rate));
        qsb_->normaliseOver(total);
    }
    if (!setup.qrmStations.empty()) {
        qrm_.emplace(setup.qrmStations, kPeakAmplitude, rise, rate, total, setup.seed, qrmFading);
    }
    if (c.qrnRate > 0) qrn_.emplace(c.qrnRate, c.qrnLevelDb, setup.plan.noiseScale, rate, setup.seed);
    for (auto* buffer : {&shaped_, &envelope_, &increments_, &phases_, &inPhase_, &quadrature_, &gain_}) {
        buffer->resize(kMostSamples);
    }
}

void BandPath::envelope(const double* keyedAmplitude, double* out, std::size_t n) {
    if (!shaper_) {
        // Hard keying: the oscillator's own keying, as 0 or 1.
        for (std::size_t i = 0; i < n; ++i) out[i] = keyedAmplitude[i] / kPeakAmplitude;
        return;
    }
    // The shaped envelope replaces the key state, with the oscillator's lag:
    // sample t sounds at the envelope of sample t - 1.
    shaper_->fill(shaped_.data(), n);
    out[0] = shapedCarry_;
    std::copy(shaped_.data(), shaped_.data() + n - 1, out + 1);
    shapedCarry_ = shaped_[n - 1];
}

void BandPath::process(const double* keyedAmplitude, const double* phase, double* wanted, double* qrm,
                       double* qrn, std::size_t n) {
    if (n == 0) return;
    envelope(keyedAmplitude, envelope_.data(), n);
    const double* tonePhase = phase;
    if (wander_) {
        wander_->fill(increments_.data(), n);
        phase_.fill(increments_.data(), phases_.data(), n);
        tonePhase = phases_.data();
    }
    channel::kernels::tone(kPeakAmplitude, envelope_.data(), tonePhase, fading_ ? inPhase_.data() : wanted,
                           fading_ ? quadrature_.data() : nullptr, n);
    if (fading_) fading_->process(inPhase_.data(), quadrature_.data(), wanted, n);
    if (qsb_) {
        qsb_->fill(gain_.data(), n);
        for (std::size_t i = 0; i < n; ++i) wanted[i] *= gain_[i];
    }
    std::fill(qrm, qrm + n, 0.0);
    if (qrm_) qrm_->addTo(qrm, n);
    std::fill(qrn, qrn + n, 0.0);
    if (qrn_) qrn_->addTo(qrn, n);
}

}  // namespace vantel::synth
