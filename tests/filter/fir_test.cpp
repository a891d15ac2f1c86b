#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "filter/fir_design.h"
#include "filter/fir_filter.h"

namespace vantel::filter {
namespace {

double magnitudeAt(const CoefficientStore& h, int n, double frequency, double rate) {
    std::complex<double> sum;
    for (int a = 0; a <= n; ++a) sum += h[a] * std::polar(1.0, -2 * std::numbers::pi * frequency / rate * a);
    return std::abs(sum);
}

TEST(FirLengthRule, WorkedValuesAndLimits) {
    EXPECT_EQ(firLengthRule(3000, 12000, 200), 200);
    EXPECT_EQ(firLengthRule(250, 12000, 200), 200);
    EXPECT_EQ(firLengthRule(130, 12000, 200), 368);
    EXPECT_EQ(firLengthRule(100, 12000, 200), 480);
    EXPECT_EQ(firLengthRule(92, 12000, 200), 524);
    EXPECT_EQ(firLengthRule(100, 48000, 200), 1920);
    // 1 Hz or less keeps the current length; exactly 1 does not recompute.
    EXPECT_EQ(firLengthRule(1, 12000, 480), 480);
    EXPECT_EQ(firLengthRule(0.5, 12000, 480), 480);
    EXPECT_EQ(firLengthRule(0, 12000, 480), 480);
    // Longer than the stores hold, or than 16 bits: clamped to 4096.
    EXPECT_EQ(firLengthRule(10, 12000, 200), 4096);
    EXPECT_EQ(firLengthRule(1.2, 12000, 200), 4096);
    EXPECT_EQ(firLengthRule(1.0001, 1e300, 200), 4096);
    EXPECT_EQ(firLengthRule(100, -12000, 200), 200);
}

TEST(FirDesign, StartupFilter) {
    CoefficientStore h{};
    designBandPass(h, 1800, 3000, 12000, 200);
    EXPECT_EQ(h[100], 0.5);
    EXPECT_NEAR(h[99], 0.2645363, 1e-7);
    // The window's constant is 6.28318530718, not 2 pi, so symmetry holds to
    // within about 1e-12 rather than exactly.
    EXPECT_NEAR(h[99], h[101], 1e-12);
    EXPECT_NEAR(h[98], -0.0982739, 1e-7);
    EXPECT_NEAR(h[0], 0, 1e-14);
    EXPECT_NEAR(h[200], 0, 1e-14);
    for (int a = 0; a <= 200; ++a) EXPECT_NEAR(h[a], h[200 - a], 1e-12) << a;
    EXPECT_NEAR(magnitudeAt(h, 200, 300, 12000), 0.5, 0.01);
    EXPECT_NEAR(magnitudeAt(h, 200, 3300, 12000), 0.5, 0.01);
    for (double f = 500; f <= 3000; f += 50) EXPECT_NEAR(magnitudeAt(h, 200, f, 12000), 1, 0.002) << f;
}

TEST(FirDesign, NarrowFilterAndStoreAboveTheLengthKept) {
    CoefficientStore h{};
    designBandPass(h, 800, 100, 12000, 480);
    EXPECT_NEAR(h[240], 1.0 / 60, 1e-15);
    EXPECT_NEAR(magnitudeAt(h, 480, 750, 12000), 0.5, 0.02);
    EXPECT_NEAR(magnitudeAt(h, 480, 850, 12000), 0.5, 0.02);
    EXPECT_LT(magnitudeAt(h, 480, 700, 12000), 0.004);
    EXPECT_LT(magnitudeAt(h, 480, 900, 12000), 0.004);
    const CoefficientStore first = h;
    designBandPass(h, 1800, 3000, 12000, 200);
    for (int a = 201; a <= 480; ++a) EXPECT_EQ(h[a], first[a]) << a;
    EXPECT_EQ(h[481], 0);
}

TEST(FirDesign, DegenerateInputsNeverGiveNaN) {
    CoefficientStore h{};
    designBandPass(h, 1800, 0, 12000, 200);  // zero bandwidth: silence
    for (int a = 0; a <= 200; ++a) EXPECT_EQ(h[a], 0) << a;
    designBandPass(h, 100, 3000, 12000, 200);  // negative lower edge, not clamped
    EXPECT_EQ(h[100], 0.5);
    for (double rate : {0.0, -1.0, 1e-320, std::nan("")}) {
        designBandPass(h, 1800, 3000, rate, 4096);
        for (int a = 0; a <= 4096; ++a) ASSERT_TRUE(std::isfinite(h[a])) << rate << " " << a;
    }
}

TEST(FirRing, TwoTapsOnTheNewestSampleAndRingCarriedIntoTheNextRun) {
    CoefficientStore h{};
    for (int m = 0; m <= 4; ++m) h[m] = std::pow(10, m);  // 1, 10, 100, 1000, 10000
    FirRing ring;
    ring.startRun();
    // y[t] = 1 x[t-3] + 10 x[t-2] + 100 x[t-1] + 1000 x[t] + 10000 x[t], zeros before.
    const double expected[] = {11000, 22100, 33210, 44321, 55432, 66543};
    for (int t = 0; t < 6; ++t) EXPECT_EQ(ring.process(t + 1, h, 4), expected[t]) << t;
    // The next run writes from slot 0 again over what the last run left:
    // slots hold 5, 6, 3, 4, so the oldest inputs are 6, 3, 4 in slot order.
    ring.startRun();
    EXPECT_EQ(ring.process(7, h, 4), 6 + 30 + 400 + 77000);
    EXPECT_EQ(ring.delayLine()[0], 7.0f);
}

TEST(FirRing, LengthChangedMidRunStaysInsideTheStores) {
    CoefficientStore h{};
    h.fill(1);
    FirRing ring;
    ring.startRun();
    for (int t = 0; t < 4095; ++t) ring.process(1, h, 4096);
    // The position now lies far past a length of 200; the ring carries on.
    for (int t = 0; t < 1000; ++t) EXPECT_TRUE(std::isfinite(ring.process(1, h, 200)));
    EXPECT_EQ(ring.process(1, h, 200), 201);
}

}  // namespace
}  // namespace vantel::filter
