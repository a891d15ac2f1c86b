#pragma once

#include <cmath>

#include "synth/noise_source.h"

namespace vantel::synth {

inline constexpr double kPeakAmplitude = 14142.13;  // RMS 10000
inline constexpr double kNoiseReference = 10000;    // noise sigma at a ratio of 1
inline constexpr double kTonePi = 3.14159265359;
inline constexpr double kNoiseTwoPi = 6.28318530718;

// The smallest draw the logarithm may see: a draw of exactly 0 would give an
// infinite noise value, so it is taken as half the generator's step instead.
inline constexpr float kSmallestUniform = 1.0f / 33554432.0f;  // 2^-25

// The noise part of a sample with standard deviation `sigma`, from two uniform
// draws (the cosine branch of Box-Muller).
inline double gaussianNoise(double sigma, UniformPair u) {
    const float u1 = u.u1 > 0 ? u.u1 : kSmallestUniform;
    const double g = std::sqrt(-2 * std::log(double{u1}));
    const double h = std::cos(u.u2 * kNoiseTwoPi);
    return sigma * g * h;
}

// The keyed sine oscillator. Keying takes effect one sample late: a sample is
// made with the amplitude and frequency chosen while making the one before.
// The phase runs on through key-up elements and across FSK shifts.
class KeyedOscillator {
public:
    KeyedOscillator(double markIncrement, double spaceIncrement)
        : markIncrement_(markIncrement), spaceIncrement_(spaceIncrement) {}

    // The tone part of the next sample; then keys for the sample after it.
    double next(bool keyDown, bool fsk) {
        const double tone = amplitude_ * std::sin(kTonePi * (2 * phase_));
        if (fsk) {
            phase_ += keyDown ? markIncrement_ : spaceIncrement_;
        } else {
            phase_ += markIncrement_;
            amplitude_ = keyDown ? kPeakAmplitude : 0;
        }
        phase_ -= std::floor(phase_);
        return tone;
    }

private:
    double markIncrement_;
    double spaceIncrement_;
    double phase_ = 0;
    double amplitude_ = kPeakAmplitude;
};

}  // namespace vantel::synth
