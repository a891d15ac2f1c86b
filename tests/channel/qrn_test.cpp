#include "channel/qrn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>

#include "channel/band_conditions.h"

namespace vantel::channel {
namespace {

double normalCdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// The expected energy of one crash in samples of variance sigma^2, from the
// model's definition: E[peak^2] times the sum of the squared envelope.
double expectedCrashEnergy(double levelDb, double sigma, double rate) {
    // E[10^(2 * 6 z / 20)] for z standard normal clipped at +-3: with
    // b = 6 ln(10) / 10, e^(b^2/2) (Phi(3 - b) - Phi(-3 - b)) inside the
    // clip, plus the two clipped tails.
    const double b = kQrnLevelSpreadDb * std::log(10.0) / 10;
    const double c = kQrnLevelClip;
    const double levelFactor = std::exp(b * b / 2) * (normalCdf(c - b) - normalCdf(-c - b)) +
                               (std::exp(b * c) + std::exp(-b * c)) * normalCdf(-c);
    const double peakPower = sigma * sigma * std::pow(10.0, levelDb / 10) * levelFactor;
    // The squared envelope's integral: ta / 3 for the linear attack, then
    // tau / 2 (1 - e^(-2 (L - ta) / tau)) with tau = (L - ta) / 5; its mean
    // over L log-uniform in [5, 200] ms (density 1 / (L ln 40)), by the
    // midpoint rule in ln L. A sample grid at a random offset sums to the
    // integral in expectation.
    const double ta = kQrnAttackS;
    const int steps = 100000;
    const double lo = std::log(kQrnShortestS), hi = std::log(kQrnLongestS);
    double mean = 0;
    for (int i = 0; i < steps; ++i) {
        const double length = std::exp(lo + (hi - lo) * (i + 0.5) / steps);
        const double tau = (length - ta) / kQrnDecayConstants;
        mean += ta / 3 + tau / 2 * (1 - std::exp(-2 * (length - ta) / tau));
    }
    mean /= steps;
    return peakPower * mean * rate;
}

TEST(Qrn, CrashesArriveAtTheRateWithTheExpectedEnergy) {
    // 20 crashes a second for 2000 s: a Poisson count of mean 40,000 and
    // standard deviation 200. The energy of one crash has a relative
    // standard deviation of about 3.5 (the log-normal level, relative
    // variance about e^(b^2) = 6.7, times the length's, E[L^2] / E[L]^2 =
    // 1.9), so the mean over 40,000 crashes one of 1.7 %: 9 % is five of it.
    constexpr double kRate = 8000;
    QrnSource qrn(20, 10, 100, kRate, 77);
    std::vector<double> buffer(1 << 20);
    for (int block = 0; block < 2000 * 8000 / (1 << 20); ++block) qrn.process(buffer.data(), buffer.size());
    const double seconds = std::floor(2000 * 8000.0 / (1 << 20)) * (1 << 20) / kRate;
    const double expectedCount = 20 * seconds;
    std::cout << "QRN: " << qrn.crashes() << " crashes in " << seconds << " s (expected " << expectedCount
              << "), energy per crash " << qrn.energyAdded() / static_cast<double>(qrn.crashes()) << " (expected "
              << expectedCrashEnergy(10, 100, kRate) << ")\n";
    EXPECT_NEAR(static_cast<double>(qrn.crashes()), expectedCount, 5 * std::sqrt(expectedCount));
    EXPECT_NEAR(qrn.energyAdded() / static_cast<double>(qrn.crashes()) / expectedCrashEnergy(10, 100, kRate), 1, 0.09);
}

TEST(Qrn, BlocksGiveTheSamplesOneAtATimeDo) {
    QrnSource single(30, 20, 50, 8000, 9), block = single;
    std::vector<double> expected(200000), got(200000, 0.0);
    for (double& x : expected) x = single.next();
    std::mt19937 random(2);
    for (std::size_t done = 0; done < got.size();) {
        const std::size_t n =
            std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 9000)(random), got.size() - done);
        block.process(got.data() + done, n);
        done += n;
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(block.crashes(), single.crashes());
    EXPECT_EQ(block.energyAdded(), single.energyAdded());
    EXPECT_GT(single.crashes(), 100);
    block.reset();
    EXPECT_EQ(block.crashes(), 0);
    EXPECT_EQ(block.next(), expected[0]);
    // No crashes, silence.
    QrnSource none(0, 20, 50, 8000, 9);
    std::vector<double> quiet(10000, 1.5);
    none.process(quiet.data(), quiet.size());
    EXPECT_EQ(quiet, std::vector<double>(10000, 0.0));
    EXPECT_EQ(none.crashes(), 0);
    EXPECT_THROW(QrnSource(101, 20, 50, 8000, 9), text::SettingError);
    EXPECT_THROW(QrnSource(1, 61, 50, 8000, 9), text::SettingError);
    EXPECT_THROW(QrnSource(1, 20, NAN, 8000, 9), text::SettingError);
}

}  // namespace
}  // namespace vantel::channel
