#include "filter/fir_design.h"

#include <algorithm>
#include <cmath>

#include "text/number_text.h"

namespace vantel::filter {
namespace {

// The constants as the design has always used them, not full-precision pi.
constexpr double kPi = 3.14159265359;
constexpr double kTwoPi = 6.28318530718;

}  // namespace

std::int16_t firLengthRule(double filterBandwidth, double sampleRate, std::int16_t currentLength) {
    double length = currentLength;
    if (filterBandwidth > 1) length = text::roundHalfEven(sampleRate * (4 / filterBandwidth));
    if (std::isnan(length)) length = currentLength;
    length = 4 * std::floor(length / 4 + 0.5);
    length = std::clamp(length, double{kMinFirLength}, double{kMaxFirLength});
    return static_cast<std::int16_t>(length);
}

void designBandPass(CoefficientStore& coeffs, double fcentre, double filterBandwidth, double sampleRate,
                    std::int16_t firLength) {
    const int n = std::clamp<int>(firLength, 1, kMaxFirLength);
    const double upper = (fcentre + filterBandwidth / 2) / sampleRate;
    const double lower = (fcentre - filterBandwidth / 2) / sampleRate;
    const double gain = (2 * filterBandwidth) / sampleRate;
    for (int a = 0; a <= n; ++a) {
        const double g = std::fabs(text::roundHalfEven(n / 2.0 - a));
        const double x = g * (kPi * (upper - lower));
        const double y = g * (kPi * (upper + lower));
        // sin x / x tends to 1 as x -> 0, which a zero bandwidth reaches on every tap.
        const double ideal = (g == 0) ? 1.0 : (x == 0 ? std::cos(y) : (std::sin(x) * std::cos(y)) / x);
        const double window = 0.54 - 0.46 * std::cos(kTwoPi * a / n);
        coeffs[static_cast<std::size_t>(a)] = gain * (window * ideal);
    }
    // Absurd inputs (a rate near zero, a bandwidth near the largest double)
    // can overflow a tap; a silent filter is better than NaN in the output.
    const auto end = coeffs.begin() + n + 1;
    if (!std::all_of(coeffs.begin(), end, [](double c) { return std::isfinite(c); })) {
        std::fill(coeffs.begin(), end, 0.0);
    }
}

}  // namespace vantel::filter
