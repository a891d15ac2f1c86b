#include "channel/tone_wander.h"

#include <algorithm>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/sample_formulas.h"

namespace vantel::channel {
namespace {

// e^-40 is below 5e-18: the chirp is left out after 40 time constants.
constexpr double kChirpCutOff = 40;

}  // namespace

ToneWander::ToneWander(std::span<const keying::KeyRun> runs, double sampleRate, double toneHz, double chirpHz,
                       double driftHzPerMinute)
    : runs_(runs) {
    text::checkSampleRate(sampleRate);
    limits::kChirp.check(chirpHz);
    limits::kDrift.check(driftHzPerMinute);
    if (!std::isfinite(toneHz)) throw text::SettingError("bad tone frequency '" + text::shortestText(toneHz) + "'");
    toneIncrement_ = toneHz / sampleRate;
    chirpIncrement_ = chirpHz / sampleRate;
    driftPerSample_ = driftHzPerMinute / 60 / sampleRate / sampleRate;
    const double timeConstant = kChirpTimeConstantS * sampleRate;
    decayPerSample_ = -1 / timeConstant;
    chirpSamples_ = static_cast<std::int64_t>(std::ceil(kChirpCutOff * timeConstant));
    reset();
}

bool ToneWander::chirping() const { return sinceKeyDown_ >= 0 && sinceKeyDown_ < chirpSamples_; }

double ToneWander::nextIncrement() {
    double increment = formula::drifted(toneIncrement_, driftPerSample_, static_cast<double>(sample_));
    if (chirping()) {
        increment = formula::chirped(increment, chirpIncrement_, decayPerSample_, static_cast<double>(sinceKeyDown_));
    }
    advance(1);
    return increment;
}

void ToneWander::process(double* increments, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        // Stretches within one run and wholly inside or outside the chirp:
        // there the count since the key went down grows by one per sample.
        const std::int64_t left = run_ < runs_.size() ? runs_[run_].samples - position_ : INT64_MAX;
        std::int64_t count = std::min<std::int64_t>(left, static_cast<std::int64_t>(n - i));
        const bool pulled = chirping();
        if (pulled) count = std::min(count, chirpSamples_ - sinceKeyDown_);
        kernels::increments(toneIncrement_, driftPerSample_, static_cast<double>(sample_), pulled, chirpIncrement_,
                            decayPerSample_, static_cast<double>(sinceKeyDown_), increments + i,
                            static_cast<std::size_t>(count));
        advance(count);
        i += static_cast<std::size_t>(count);
    }
}

// Moves on by n samples that lie within the current run (or after the last).
void ToneWander::advance(std::int64_t n) {
    sample_ += n;
    position_ += n;
    if (sinceKeyDown_ >= 0) sinceKeyDown_ += n;
    while (run_ < runs_.size() && position_ >= runs_[run_].samples) {
        position_ -= runs_[run_].samples;
        ++run_;
        if (run_ < runs_.size() && runs_[run_].keyDown) sinceKeyDown_ = position_;
    }
}

void ToneWander::reset() {
    run_ = 0;
    position_ = 0;
    sample_ = 0;
    sinceKeyDown_ = -1;
    advance(0);
    if (run_ < runs_.size() && runs_[run_].keyDown) sinceKeyDown_ = 0;
}

}  // namespace vantel::channel
