#include "synth/keyed_oscillator.h"

namespace vantel::synth {

void KeyedOscillator::process(bool keyDown, bool fsk, double* phase, double* amplitude, std::size_t n) {
    if (n == 0) return;
    const double increment = (fsk && !keyDown) ? spaceIncrement_ : markIncrement_;
    const double keyed = fsk ? amplitude_ : (keyDown ? kPeakAmplitude : 0.0);
    // Locals, not members: the outputs could alias the members otherwise.
    double current = phase_;
    phase[0] = current;
    amplitude[0] = amplitude_;
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
    const double t = current + increment;
    phase_ = t - std::floor(t);
    amplitude_ = keyed;
}

}  // namespace vantel::synth
