#include "filter/real_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace vantel::filter {
namespace {

TEST(RealFft, MatchesTheDefinitionAndInvertsForEvenAndOddPowersOfTwo) {
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
        fft.inverse(re.data(), im.data(), back.data());
        for (std::size_t t = 0; t < size; ++t) EXPECT_NEAR(back[t] / (size / 2), x[t], 1e-13) << size;
    }
    EXPECT_THROW(RealFft(48), std::invalid_argument);
}

}  // namespace
}  // namespace vantel::filter
