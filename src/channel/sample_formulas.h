#pragma once

#include <bit>
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

// A 32-bit whole number as a double, exactly, with operations every vector
// unit has (the bit pattern of 2^52 + v, less 2^52).
inline double fromBits32(std::uint64_t v) {
    return std::bit_cast<double>(v | 0x4330000000000000ULL) - 4503599627370496.0;
}

// Box-Muller over one 64-bit output: the radius from its top 32 bits (half a
// step up, so never 0: at most 6.7), the angle from its low 32 bits.
struct Polar {
    double radius;
    double angle;
};
inline Polar polar(std::uint64_t bits) {
    constexpr double kUnit32 = 1.0 / 4294967296.0;  // 2^-32
    const double u1 = (fromBits32(bits >> 32) + 0.5) * kUnit32;
    const double u2 = fromBits32(bits & 0xFFFFFFFFULL) * kUnit32;
    return {std::sqrt(-2 * fastmath::log(u1)), u2 * kTwoPi};
}
inline double gaussian(std::uint64_t bits) {
    const Polar p = polar(bits);
    return p.radius * fastmath::cos(p.angle);
}
// Both branches, scaled by 1/sqrt(2): a circular complex Gaussian with
// E|z|^2 = 1.
struct ComplexValue {
    double re;
    double im;
};
inline ComplexValue complexGaussian(std::uint64_t bits) {
    constexpr double kHalfPower = 0.70710678118654752440;  // 1 / sqrt(2)
    const Polar p = polar(bits);
    const double r = p.radius * kHalfPower;
    return {r * fastmath::cos(p.angle), r * fastmath::sin(p.angle)};
}

}  // namespace vantel::channel::formula
