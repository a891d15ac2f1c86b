// The FIR length rule and the band-pass design for any bandwidth, centre,
// rate and length, the absurd ones included (0, negative, NaN, infinite).
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>

#include "filter/fir_design.h"
#include "fuzz_input.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace filter = vantel::filter;

void checkLengthRule(double bandwidth, double rate, std::int16_t current) {
    const std::int16_t length = filter::firLengthRule(bandwidth, rate, current);
    require(length >= filter::kMinFirLength && length <= filter::kMaxFirLength, "length within 200..4096");
    require(length % 4 == 0, "length a multiple of 4");
    if (!(bandwidth > 1)) {
        require(filter::firLengthRule(bandwidth, rate * 2 + 1, current) == length,
                "a bandwidth of 1 Hz or less keeps the current length, whatever the rate");
    }
}

// The response at `frequency` (Hz) of taps 0..n.
double gainAt(const filter::CoefficientStore& c, int n, double frequency, double rate) {
    std::complex<double> sum = 0;
    for (int a = 0; a <= n; ++a) sum += c[a] * std::polar(1.0, -2 * M_PI * frequency / rate * a);
    return std::abs(sum);
}

// A length the program uses (the rule's: a multiple of 4 from 200 to 4096)
// and a band well inside 0..rate/2, many taps wide: its centre must pass at
// about unit gain. Odd lengths, which the rule never gives, pair up the taps
// around the centre and make no band-pass at all.
bool comfortablyDesignable(double centre, double bandwidth, double rate, int n) {
    if (!(rate >= 1000 && rate <= 200000 && n >= filter::kMinFirLength && n % 4 == 0)) return false;
    const double tapsWidth = rate / n;
    return bandwidth >= 40 * tapsWidth && centre - bandwidth / 2 >= 20 * tapsWidth &&
           centre + bandwidth / 2 <= rate / 2 - 20 * tapsWidth;
}

void checkDesign(double centre, double bandwidth, double rate, std::int16_t length) {
    constexpr double kUntouched = 12345.0;
    filter::CoefficientStore coeffs;
    coeffs.fill(kUntouched);
    filter::designBandPass(coeffs, centre, bandwidth, rate, length);
    const int n = std::clamp<int>(length, 1, filter::kMaxFirLength);

    double largest = 0;
    for (int a = 0; a <= n; ++a) {
        require(std::isfinite(coeffs[a]), "every coefficient is finite");
        largest = std::max(largest, std::fabs(coeffs[a]));
    }
    for (int a = n + 1; a <= filter::kMaxFirLength; ++a) require(coeffs[a] == kUntouched, "taps above N untouched");
    // The window's constant is 6.28318530718, not 2 pi, so the mirror taps
    // differ in their last dozen digits but no more. With absurd bandwidths
    // the ideal response is subnormal before the gain scales it back up, and
    // each tap may then be off by the gain times the smallest double.
    const double gain = std::fabs(2 * bandwidth / rate);
    const double gainFloor = std::isnan(gain) ? 0 : 2 * gain * std::numeric_limits<double>::denorm_min();
    for (int a = 0; a <= n / 2; ++a) {
        const double left = coeffs[a];
        const double right = coeffs[n - a];
        const double allowed = 1e-11 * std::max(std::fabs(left), std::fabs(right)) + gainFloor + 1e-300;
        require(std::fabs(left - right) <= allowed, "coefficients symmetric");
    }
    if (comfortablyDesignable(centre, bandwidth, rate, n)) {
        const double gain = gainAt(coeffs, n, centre, rate);
        require(gain > 0.8 && gain < 1.25, "the pass band's centre passes at unit gain");
        require(gainAt(coeffs, n, 0, rate) < 0.05 * gain, "no DC through a band-pass");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const double bandwidth = input.interestingDouble();
    const double centre = input.interestingDouble();
    const double rate = input.interestingDouble();
    // Lengths: mostly the rule's own, sometimes anything a 16-bit store holds.
    const auto current = input.raw<std::int16_t>();
    checkLengthRule(bandwidth, rate, current);
    const std::int16_t length = (input.byte() & 1) ? current : filter::firLengthRule(bandwidth, rate, current);
    checkDesign(centre, bandwidth, rate, length);
    return 0;
}
