#include "filter/real_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace vantel::filter {
namespace {

TEST(RealFft, MatchesTheDefinitionAndFiltersByCircularConvolution) {
    for (std::size_t size : {4u, 8u, 32u, 64u, 512u}) {
        std::vector<double> x(size);
        for (std::size_t t = 0; t < size; ++t) x[t] = std::sin(0.37 * t * t) + 0.1 * static_cast<double>(t % 7);
        RealFft fft(size);
        std::vector<double> re(fft.bins()), im(fft.bins()), back(size);
        fft.forward(x.data(), re.data(), im.data());
        for (std::size_t k = 0; k < fft.bins(); ++k) {
            std::complex<double> sum;
            for (std::size_t t = 0; t < size; ++t) {
                sum += x[t] * std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(k * t % size) / size);
            }
            EXPECT_NEAR(re[k], sum.real(), 1e-11) << size << " bin " << k;
            EXPECT_NEAR(im[k], sum.imag(), 1e-11) << size << " bin " << k;
        }
        // Filtering with the spectrum of h convolves with h (times size/2);
        // h = x checks every bin pair, the middle bin and bins 0 and size/2.
        std::vector<double> h(size);
        for (std::size_t t = 0; t < size; ++t) h[t] = std::cos(1.3 * t) - 0.05 * static_cast<double>(t % 5);
        std::vector<double> hRe(fft.bins()), hIm(fft.bins());
        fft.forward(h.data(), hRe.data(), hIm.data());
        fft.filter(x.data(), fft.prepareGains(hRe.data(), hIm.data()), back.data());
        for (std::size_t t = 0; t < size; ++t) {
            double sum = 0;
            for (std::size_t u = 0; u < size; ++u) sum += x[u] * h[(t + size - u) % size];
            EXPECT_NEAR(back[t] / (size / 2), sum, 1e-11 * size) << size << " sample " << t;
        }
    }
    EXPECT_THROW(RealFft(48), std::invalid_argument);
}

}  // namespace
}  // namespace vantel::filter
