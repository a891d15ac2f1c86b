#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// Sine, cosine, natural logarithm and exponential written as plain arithmetic, so that loops
// over them vectorise and give the same bits with every instruction set (the
// C library picks different code on different processors). Accurate to about
// one unit in the last place over the ranges the generator uses.
namespace vantel::fastmath {

// ln(10) / 20: a level in dB as the natural logarithm of an amplitude ratio.
inline constexpr double kNepersPerDb = 0.11512925464970228420;

namespace detail {

// pi/2 split so that q * kPio2Hi is exact for the small multiples used.
inline constexpr double kInvPi = 3.18309886183790671538e-01;
inline constexpr double kPio2Hi = 1.57079625129699707031e+00;
inline constexpr double kPio2Mid = 7.54978941586159635335e-08;
inline constexpr double kPio2Lo = 5.39030285815811904290e-15;

// Adding 1.5 * 2^52 leaves a whole number in a double's low mantissa bits;
// integer conversions of 64-bit values have no vector instruction before
// AVX-512, these bit operations do.
inline constexpr double kRoundingShift = 6755399441055744.0;

// sin r for |r| <= pi/2: one minimax polynomial (as in SLEEF), about 3 ulp.
inline double sinHalfPeriod(double r) {
    const double z = r * r;
    double p = -7.97255955009037868891952e-18;
    p = p * z + 2.81009972710863200091251e-15;
    p = p * z + -7.64712219118158833288484e-13;
    p = p * z + 1.60590430605664501629054e-10;
    p = p * z + -2.50521083763502045810755e-08;
    p = p * z + 2.75573192239198747630416e-06;
    p = p * z + -0.000198412698412696162806809;
    p = p * z + 0.00833333333333332974823815;
    p = p * z + -0.166666666666666657414808;
    return z * (p * r) + r;
}

// sin of x - q pi/2 for an even or odd whole q, negated when bit 1 of q is set:
// that is sin x for even q = 2k, and cos x for odd q = 2k - 1.
inline double sinReduced(double x, double shifted) {
    const double q = shifted - kRoundingShift;
    const double r = ((x - q * kPio2Hi) - q * kPio2Mid) - q * kPio2Lo;
    const double s = sinHalfPeriod(r);
    return (std::bit_cast<std::uint64_t>(shifted) & 2) ? -s : s;
}

}  // namespace detail

// For |x| up to about 1e5 (the generator's arguments stay below 7).
inline double sin(double x) {
    // q = 2 round(x / pi), so that x - q pi/2 lies within +-pi/2.
    const double k = (x * detail::kInvPi + detail::kRoundingShift) - detail::kRoundingShift;
    return detail::sinReduced(x, 2 * k + detail::kRoundingShift);
}

inline double cos(double x) {
    // cos x = sin(x + pi/2): q = 2 round(x / pi + 1/2) - 1.
    const double k = (x * detail::kInvPi + 0.5 + detail::kRoundingShift) - detail::kRoundingShift;
    // With r = x - q pi/2, cos x = sin(r + k pi) = (-1)^k sin r; bit 1 of
    // q = 2k - 1 is set exactly when k is even, so that sign is the opposite
    // of the one sinReduced applies.
    return -detail::sinReduced(x, 2 * k - 1 + detail::kRoundingShift);
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

// e^x for -708 <= x <= 709 (fdlibm's method: x = k ln 2 + r with |r| <=
// ln 2 / 2, a rational approximation of e^r, then 2^k put into the exponent
// bits); below -708 it gives 0, the true value being under 3.3e-308.
inline double exp(double x) {
    constexpr double kInvLn2 = 1.44269504088896338700e+00;
    constexpr double kLn2Hi = 6.93147180369123816490e-01;  // k * kLn2Hi is exact for |k| < 2^20
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    const double clamped = x < -708.0 ? -708.0 : (x > 709.0 ? 709.0 : x);
    const double shifted = clamped * kInvLn2 + detail::kRoundingShift;
    const double k = shifted - detail::kRoundingShift;
    const double hi = clamped - k * kLn2Hi;
    const double lo = k * kLn2Lo;
    const double r = hi - lo;
    const double t = r * r;
    double p = 4.13813679705723846039e-08;
    p = p * t + -1.65339022054652515390e-06;
    p = p * t + 6.61375632143793436117e-05;
    p = p * t + -2.77777777770155933842e-03;
    p = p * t + 1.66666666666666019037e-01;
    const double c = r - t * p;
    const double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    // The low mantissa bits of `shifted` hold k (two's complement); moved up
    // into the exponent field with the bias they make 2^k, while the shifted
    // value's own exponent bits drop out at the top.
    const std::uint64_t scaleBits = (std::bit_cast<std::uint64_t>(shifted) + 1023) << 52;
    const double result = y * std::bit_cast<double>(scaleBits);
    return x < -708.0 ? 0.0 : result;
}

}  // namespace vantel::fastmath
