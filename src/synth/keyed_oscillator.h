#pragma once

#include <cmath>
#include <cstddef>

namespace vantel::synth {

inline constexpr double kPeakAmplitude = 14142.13;  // RMS 10000
inline constexpr double kTonePi = 3.14159265359;

// The keyed sine oscillator. Keying takes effect one sample late: a sample is
// made with the amplitude and frequency chosen while making the one before.
// The phase runs on through key-up elements and across FSK shifts.
class KeyedOscillator {
public:
    KeyedOscillator(double markIncrement, double spaceIncrement, bool startsKeyed = true)
        : markIncrement_(markIncrement),
          spaceIncrement_(spaceIncrement),
          startAmplitude_(startsKeyed ? kPeakAmplitude : 0),
          amplitude_(startAmplitude_) {}

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

    // The phases and amplitudes of the next n samples with one key state, for
    // computing their tone in bulk; leaves the oscillator as n calls of next().
    void process(bool keyDown, bool fsk, double* phase, double* amplitude, std::size_t n);
    void reset() {
        phase_ = 0;
        amplitude_ = startAmplitude_;
    }

private:
    double markIncrement_;
    double spaceIncrement_;
    double startAmplitude_;
    double phase_ = 0;
    double amplitude_;
};

}  // namespace vantel::synth
