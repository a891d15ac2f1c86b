#include "channel/agc.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "maths/fast_math.h"
#include "maths/simd.h"

namespace vantel::channel {
namespace {

// The detector charges with a time constant of this share of the attack
// time: a tone's samples exceed the detector only near its crests, so the
// charge acts for a fraction of each cycle, and the 20 dB step must still
// be followed within the attack time.
constexpr double kChargeConstantOfAttack = 0.1;
// A sample within this share of the detected level (0.09 dB) restarts the
// hang as one above it does: a steady tone's crests, whose sampled heights
// differ a little, keep the gain from decaying between them.
constexpr double kHangShare = 0.99;

// gain[i] = reference / gain[i], as wide as the processor divides.
VANTEL_MULTIVERSION
void divideInto(double reference, double* gain, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) gain[i] = reference / gain[i];
}

}  // namespace

AgcTimes agcTimes(AgcSpeed speed) {
    switch (speed) {
        case AgcSpeed::Off: return {0, 0, 0};
        case AgcSpeed::Fast: return kFastAgc;
        case AgcSpeed::Slow: return kSlowAgc;
    }
    throw text::SettingError("unknown AGC speed");
}

Agc::Agc(AgcSpeed speed, double referenceAmplitude, double sampleRate) : speed_(speed), reference_(referenceAmplitude) {
    text::checkSampleRate(sampleRate);
    if (!(referenceAmplitude > 0 && std::isfinite(referenceAmplitude)))
        throw text::SettingError("bad AGC reference amplitude '" + text::shortestText(referenceAmplitude) +
                                 "': use more than 0");
    const AgcTimes times = agcTimes(speed);
    floor_ = referenceAmplitude * fastmath::exp(-kMostAgcGainDb * fastmath::kNepersPerDb);
    charge_ = speed == AgcSpeed::Off ? 0 : 1 - fastmath::exp(-1 / (kChargeConstantOfAttack * times.attackS * sampleRate));
    fall_ = speed == AgcSpeed::Off ? 1 : fastmath::exp(-1 / (times.decayS * sampleRate));
    hangSamples_ = static_cast<std::int64_t>(std::llround(times.hangS * sampleRate));
    reset();
}

void Agc::reset() {
    level_ = floor_;
    hold_ = 0;
}

double Agc::gain(double x) {
    if (speed_ == AgcSpeed::Off) return 1;
    detect(x);
    return reference_ / level_;
}

void Agc::detect(double x) {
    const double a = std::abs(x);
    if (a > level_) {
        level_ += charge_ * (a - level_);
        hold_ = hangSamples_;
    } else if (a > kHangShare * level_) {
        hold_ = hangSamples_;
    } else if (hold_ > 0) {
        --hold_;
    } else {
        level_ = std::max(level_ * fall_, floor_);
    }
}

void Agc::gains(const double* in, double* gain, std::size_t n) {
    if (speed_ == AgcSpeed::Off) {
        std::fill(gain, gain + n, 1.0);
        return;
    }
    // The detector is a recurrence; the divisions after it vectorise.
    for (std::size_t i = 0; i < n; ++i) {
        detect(in[i]);
        gain[i] = level_;
    }
    divideInto(reference_, gain, n);
}

}  // namespace vantel::channel
