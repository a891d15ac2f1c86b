#pragma once

// Power spectra for the statistical tests: a radix-2 FFT and an averaged
// periodogram (Hann window, segments overlapping by half). Test code only,
// so the library's maths is fine here.

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <utility>
#include <vector>

namespace vantel::testing {

inline void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> w = std::polar(1.0, angle * static_cast<double>(k));
                const std::complex<double> u = a[start + k];
                const std::complex<double> v = a[start + k + length / 2] * w;
                a[start + k] = u + v;
                a[start + k + length / 2] = u - v;
            }
        }
    }
}

// The mean power per bin of segments of `size` samples (a power of 2): bin k
// is frequency k / size of the sample rate, bins from size / 2 on the
// negative frequencies. Scaled so that the bins add up to the mean power
// of the signal.
inline std::vector<double> averagedPeriodogram(const std::vector<std::complex<double>>& x, std::size_t size) {
    std::vector<double> window(size);
    double windowPower = 0;
    for (std::size_t i = 0; i < size; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(size));
        windowPower += window[i] * window[i];
    }
    std::vector<double> power(size, 0.0);
    std::size_t segments = 0;
    std::vector<std::complex<double>> segment(size);
    for (std::size_t start = 0; start + size <= x.size(); start += size / 2, ++segments) {
        for (std::size_t i = 0; i < size; ++i) segment[i] = x[start + i] * window[i];
        fft(segment);
        for (std::size_t k = 0; k < size; ++k) power[k] += std::norm(segment[k]);
    }
    for (double& p : power) p /= static_cast<double>(segments) * windowPower * static_cast<double>(size);
    return power;
}

inline std::vector<double> averagedPeriodogram(const std::vector<double>& x, std::size_t size) {
    return averagedPeriodogram(std::vector<std::complex<double>>(x.begin(), x.end()), size);
}

// The sum of the bins within +-halfWidthHz of frequencyHz (positive side).
inline double bandPower(const std::vector<double>& power, double sampleRate, double frequencyHz, double halfWidthHz) {
    const double binHz = sampleRate / static_cast<double>(power.size());
    const auto low = static_cast<std::ptrdiff_t>(std::ceil((frequencyHz - halfWidthHz) / binHz));
    const auto high = static_cast<std::ptrdiff_t>(std::floor((frequencyHz + halfWidthHz) / binHz));
    double sum = 0;
    for (std::ptrdiff_t k = low; k <= high; ++k) {
        if (k >= 0 && k < static_cast<std::ptrdiff_t>(power.size())) sum += power[static_cast<std::size_t>(k)];
    }
    return sum;
}

}  // namespace vantel::testing
