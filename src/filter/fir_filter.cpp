#include "filter/fir_filter.h"

#include <algorithm>
#include <cmath>

#include "maths/fast_math.h"

namespace vantel::filter {

double FirRing::process(double x, const CoefficientStore& coeffs, std::int16_t length) {
    const int n = std::clamp<int>(length, 1, kMaxFirLength);
    int p = position_;
    // After a shrinking length the old position may lie past the new ring; the
    // slot still exists, and the first step below brings p back into range.
    delay_[static_cast<std::size_t>(p)] = static_cast<float>(x);
    double acc = 0;
    for (int m = 0; m < n; ++m) {
        p = (p + 1) % n;
        acc += delay_[static_cast<std::size_t>(p)] * coeffs[static_cast<std::size_t>(m)];
    }
    acc += delay_[static_cast<std::size_t>(p)] * coeffs[static_cast<std::size_t>(n)];
    position_ = (p + 1) % n;
    return acc;
}

namespace {

// Tap k of the effective filter, k = 0 acting on the oldest sample.
double effectiveTap(const CoefficientStore& coeffs, int n, int k) {
    const auto at = static_cast<std::size_t>(k);
    return k == n - 1 ? coeffs[at] + coeffs[at + 1] : coeffs[at];
}

int ringLength(std::int16_t length) { return std::clamp<int>(length, 1, kMaxFirLength); }

}  // namespace

std::int64_t delaySamples(std::int16_t length) { return std::max(ringLength(length) / 2 - 1, 0); }

double noisePowerGain(const CoefficientStore& coeffs, std::int16_t length) {
    const int n = ringLength(length);
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += effectiveTap(coeffs, n, k) * effectiveTap(coeffs, n, k);
    return sum;
}

double tonePowerGain(const CoefficientStore& coeffs, std::int16_t length, double cyclesPerSample) {
    constexpr double kTwoPi = 6.283185307179586;
    const int n = ringLength(length);
    double re = 0, im = 0;
    for (int k = 0; k < n; ++k) {
        // The phase is reduced to one cycle first, so the plain-arithmetic sine
        // and cosine see small arguments and give the same bits everywhere.
        const double cycles = cyclesPerSample * k;
        const double angle = kTwoPi * (cycles - std::floor(cycles));
        re += effectiveTap(coeffs, n, k) * fastmath::cos(angle);
        im += effectiveTap(coeffs, n, k) * fastmath::sin(angle);
    }
    return re * re + im * im;
}

}  // namespace vantel::filter
