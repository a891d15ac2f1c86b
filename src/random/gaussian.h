#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "maths/fast_math.h"

// Gaussian values from single 64-bit outputs, with the plain-arithmetic
// maths, written once for the values drawn one at a time and the kernels
// that draw them in blocks.
namespace vantel::random {

inline constexpr double kTwoPi = 6.28318530717958647692;

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

}  // namespace vantel::random
