#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// Sine, cosine and natural logarithm written as plain arithmetic, so that loops
// over them vectorise and give the same bits with every instruction set (the
// C library picks different code on different processors). Accurate to about
// one unit in the last place over the ranges the generator uses.
namespace vantel::fastmath {

namespace detail {

// pi/2 split so that q * kPio2Hi is exact for the small quadrant counts used.
inline constexpr double kTwoOverPi = 6.36619772367581382433e-01;
inline constexpr double kPio2Hi = 1.57079625129699707031e+00;
inline constexpr double kPio2Mid = 7.54978941586159635335e-08;
inline constexpr double kPio2Lo = 5.39030285815811904290e-15;

// sin r and cos r for |r| <= pi/4 (minimax polynomials, as in Cephes).
inline double sinKernel(double r) {
    const double z = r * r;
    double p = 1.58962301576546568060e-10;
    p = p * z + -2.50507477628578072866e-8;
    p = p * z + 2.75573136213857245213e-6;
    p = p * z + -1.98412698295895385996e-4;
    p = p * z + 8.33333333332211858878e-3;
    p = p * z + -1.66666666666666307295e-1;
    return r + r * z * p;
}

inline double cosKernel(double r) {
    const double z = r * r;
    double p = -1.13585365213876817300e-11;
    p = p * z + 2.08757008419747316778e-9;
    p = p * z + -2.75573141792967388112e-7;
    p = p * z + 2.48015872888517045348e-5;
    p = p * z + -1.38888888888730564116e-3;
    p = p * z + 4.16666666666665929218e-2;
    return 1.0 - 0.5 * z + z * z * p;
}

struct Reduced {
    double r;
    std::uint64_t quadrant;  // only the two low bits count
};

// Adding 1.5 * 2^52 leaves a whole number in a double's low mantissa bits;
// integer conversions of 64-bit values have no vector instruction before
// AVX-512, these bit operations do.
inline constexpr double kRoundingShift = 6755399441055744.0;

// x = quadrant * pi/2 + r, for |x| up to about 1e5 (the generator's arguments
// stay below 7).
inline Reduced reduce(double x) {
    const double shifted = x * kTwoOverPi + kRoundingShift;
    const double q = shifted - kRoundingShift;
    const double r = ((x - q * kPio2Hi) - q * kPio2Mid) - q * kPio2Lo;
    return {r, std::bit_cast<std::uint64_t>(shifted)};
}

}  // namespace detail

inline double sin(double x) {
    const detail::Reduced red = detail::reduce(x);
    const double s = detail::sinKernel(red.r);
    const double c = detail::cosKernel(red.r);
    const std::uint64_t q = red.quadrant & 3;
    const double v = (q & 1) ? c : s;
    return (q & 2) ? -v : v;
}

inline double cos(double x) {
    const detail::Reduced red = detail::reduce(x);
    const double s = detail::sinKernel(red.r);
    const double c = detail::cosKernel(red.r);
    const std::uint64_t q = red.quadrant & 3;
    const double v = (q & 1) ? s : c;
    return (q == 1 || q == 2) ? -v : v;
}

// Natural logarithm of a positive, normal, finite x (fdlibm's method).
inline double log(double x) {
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    constexpr double kSqrt2 = 1.41421356237309504880;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    // The biased exponent as a double, by the same bit trick as above.
    const double biased = std::bit_cast<double>((bits >> 52) | 0x4330000000000000ULL) - 4503599627370496.0;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFULL) | 0x3FF0000000000000ULL);
    const bool high = m > kSqrt2;
    m = high ? m * 0.5 : m;
    const double e = biased - 1023.0 + (high ? 1.0 : 0.0);
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (3.999999999940941908e-01 + w * (2.222219843214978396e-01 + w * 1.531383769920937332e-01));
    const double t2 =
        z * (6.666666666666735130e-01 +
             w * (2.857142874366239149e-01 + w * (1.818357216161805012e-01 + w * 1.479819860511658591e-01)));
    const double r = t2 + t1;
    const double hfsq = 0.5 * f * f;
    return e * kLn2Hi - ((hfsq - (s * (hfsq + r) + e * kLn2Lo)) - f);
}

}  // namespace vantel::fastmath
