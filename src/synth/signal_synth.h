#pragma once

#include <cmath>
#include <cstddef>

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

    // The amplitude the next sample will have (0 while keyed off).
    double amplitude() const { return amplitude_; }

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

    // The phases and amplitudes of the next n samples of one element, for
    // computing their tone in bulk; leaves the oscillator as n calls of next().
    void fill(bool keyDown, bool fsk, double* phase, double* amplitude, std::size_t n) {
        const double increment = (fsk && !keyDown) ? spaceIncrement_ : markIncrement_;
        const double keyed = fsk ? amplitude_ : (keyDown ? kPeakAmplitude : 0.0);
        // Locals, not members: the outputs could alias the members otherwise.
        double current = phase_;
        if (n > 0) {
            phase[0] = current;
            amplitude[0] = amplitude_;
        }
        if (increment >= 0 && increment < 1 && current >= 0 && current < 1) {
            // t lies in [0, 2), where the floor is 0 or 1: the same subtraction.
            for (std::size_t i = 0; i + 1 < n; ++i) {
                const double t = current + increment;
                current = t >= 1 ? t - 1 : t;
                phase[i + 1] = current;
            }
        } else {
            for (std::size_t i = 0; i + 1 < n; ++i) {
                const double t = current + increment;
                current = t - std::floor(t);
                phase[i + 1] = current;
            }
        }
        for (std::size_t i = 1; i < n; ++i) amplitude[i] = keyed;
        if (n > 0) {
            const double t = current + increment;
            phase_ = t - std::floor(t);
            amplitude_ = keyed;
        }
    }

private:
    double markIncrement_;
    double spaceIncrement_;
    double phase_ = 0;
    double amplitude_ = kPeakAmplitude;
};

}  // namespace vantel::synth
