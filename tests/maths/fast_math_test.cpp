#include "maths/fast_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace vantel::fastmath {
namespace {

// Distance in units of the last place between two positive doubles.
std::int64_t ulpDistance(double a, double b) {
    return std::llabs(std::bit_cast<std::int64_t>(a) - std::bit_cast<std::int64_t>(b));
}

TEST(FastMathExp, WithinOneUlpOfTheLibraryOverItsRange) {
    // The library's exp is within about half an ulp of the true value; one
    // ulp from it keeps ours within about 1.5.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> wide(-708.0, 709.0);
    std::uniform_real_distribution<double> narrow(-20.0, 1.0);  // the decays and levels the effects use
    std::int64_t worst = 0;
    for (int i = 0; i < 200000; ++i) {
        const double x = i % 2 ? wide(random) : narrow(random);
        worst = std::max(worst, ulpDistance(exp(x), std::exp(x)));
    }
    EXPECT_LE(worst, 1);
    for (double x : {-708.0, -1e-300, 0.3465735902799726, -0.3465735902799727, 1e-17, 709.0}) {
        EXPECT_LE(ulpDistance(exp(x), std::exp(x)), 1) << x;
    }
    EXPECT_EQ(exp(0.0), 1.0);
    EXPECT_EQ(exp(-708.5), 0.0);
    EXPECT_EQ(exp(-1e6), 0.0);
}

}  // namespace
}  // namespace vantel::fastmath
