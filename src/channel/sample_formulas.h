#pragma once

#include <cmath>
#include <cstdint>

#include "maths/fast_math.h"

// The per-sample formulas of the band effects, each written once: an
// object's sample-at-a-time path and its block kernel both call these, so the
// two give the same bits. Sample numbers and positions come as whole-valued
// doubles (exact below 2^53), which vector loops can make from 32-bit counts.
namespace vantel::channel::formula {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 6.28318530717958647692;

// Sample `position` of a raised-cosine edge `length` samples long, taken at
// the middle of its interval: the rise, or for a key-up edge the fall.
inline double edge(bool keyDown, double position, double length) {
    const double rise = 0.5 - 0.5 * fastmath::cos(kPi * ((position + 0.5) / length));
    return keyDown ? rise : 1.0 - rise;
}

// The tone's increment with the drift, and the chirp's pull on it.
inline double drifted(double toneIncrement, double driftPerSample, double sample) {
    return toneIncrement + driftPerSample * sample;
}
inline double chirped(double increment, double chirpIncrement, double decayPerSample, double sinceKeyDown) {
    return increment + chirpIncrement * fastmath::exp(decayPerSample * sinceKeyDown);
}

// The phase in cycles, in [0, 1), of a steady tone at `sample`: computed from
// the sample number, so it needs no running sum (after 10^9 samples it is
// still within 1e-8 of a cycle).
inline double steadyPhase(double sample, double increment, double startPhase) {
    const double cycles = startPhase + sample * increment;
    return cycles - std::floor(cycles);
}

// A tone drifting linearly from the file's first sample: the sum of the
// increments increment + driftPerSample * s over the samples s before
// `sample`, in closed form, so that silent stretches need not be summed.
inline double driftingPhase(double sample, double increment, double driftPerSample, double startPhase) {
    const double cycles = startPhase + sample * increment + driftPerSample * (sample * (sample - 1) / 2);
    return cycles - std::floor(cycles);
}

// The QSB's gain, e^(exponent (1 - cos(2 pi x))) for x the fraction of
// sample * cyclesPerSample + startPhase.
inline double qsb(double sample, double cyclesPerSample, double startPhase, double exponent) {
    double cycles = sample * cyclesPerSample + startPhase;
    cycles -= std::floor(cycles);
    return fastmath::exp(exponent * (1 - fastmath::cos(kTwoPi * cycles)));
}

// A crash's standard deviation `t` samples after its start.
inline double crashSigma(double t, double attack, double decayPerSample, double peak) {
    const double envelope = t < attack ? t / attack : fastmath::exp(decayPerSample * (t - attack));
    return peak * envelope;
}

// The linear interpolation of the fading paths.
inline double interpolated(double from, double to, double t) { return from + (to - from) * t; }

// Both paths of the Watterson channel, scaled.
inline double fadingMix(double scale, double g1re, double g1im, double g2re, double g2im, double inPhase,
                        double quadrature, double delayedInPhase, double delayedQuadrature) {
    return scale * (((g1re * inPhase + g1im * quadrature) + g2re * delayedInPhase) + g2im * delayedQuadrature);
}

struct Complex {
    double re;
    double im;
};
inline Complex times(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

// A multipath channel's sum over its paths so far, with one more path of
// gain h on that path's delayed input. For two paths of gain g1 and g2 this
// adds up in the order fadingMix does.
inline double pathSum(double sum, Complex h, double inPhase, double quadrature) {
    return (sum + h.re * inPhase) + h.im * quadrature;
}

// A frequency-shifted path's gain: the fading gain times the path's phasor
// at the start of the sample's block (amplitude included) times the turn
// the shift makes within the block.
inline Complex shiftedGain(Complex gain, Complex anchor, Complex turn) { return times(gain, times(anchor, turn)); }

}  // namespace vantel::channel::formula
