#include "channel/qsb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <numbers>
#include <random>

#include "channel/band_conditions.h"

namespace vantel::channel {
namespace {

constexpr double kRate = 1000;

TEST(Qsb, LevelSwingsBetweenZeroAndTheDepthWithThePeriod) {
    QsbGain qsb = QsbGain::forFile(7, 20, 4, kRate);
    const double phi = qsb.startPhase();
    ASSERT_GE(phi, 0.0);
    ASSERT_LT(phi, 1.0);
    double highest = -1e9, lowest = 1e9;
    for (int n = 0; n < 8000; ++n) {
        const double db = 20 * std::log10(qsb.next());
        const double expected = -10 * (1 - std::cos(2 * std::numbers::pi * (n / (4 * kRate) + phi)));
        ASSERT_NEAR(db, expected, 1e-9) << n;
        highest = std::max(highest, db);
        lowest = std::min(lowest, db);
    }
    EXPECT_NEAR(highest, 0, 1e-4);
    EXPECT_NEAR(lowest, -20, 1e-4);
    // The phase is the file's: the same seed, the same phase; another, another.
    EXPECT_EQ(QsbGain::forFile(7, 20, 4, kRate).startPhase(), phi);
    EXPECT_NE(QsbGain::forFile(8, 20, 4, kRate).startPhase(), phi);
    EXPECT_THROW(QsbGain::forFile(7, 61, 4, kRate), text::SettingError);
    EXPECT_THROW(QsbGain::forFile(7, 20, 0.1, kRate), text::SettingError);
    EXPECT_THROW(QsbGain::forFile(7, -1, 4, kRate), text::SettingError);
}

TEST(Qsb, NormalisedToUnitMeanPowerOverTheFile) {
    // 10.3 periods: not whole, so the file's mean is not the period's.
    QsbGain qsb = QsbGain::forFile(3, 30, 2, kRate);
    constexpr std::int64_t kN = 20600;
    const double before = qsb.meanPower(kN);
    // Over whole periods the mean of 10^(-D (1 - cos x) / 20) is e^-a I0(a),
    // a = D ln(10) / 20; the 0.3 period left over, whose own mean lies
    // in [0, 1], moves the file's by at most 0.3 / 10.3 of the difference.
    const double a = 30 * std::log(10.0) / 20;
    const double wholePeriods = std::exp(-a) * std::cyl_bessel_i(0.0, a);
    EXPECT_NEAR(before, wholePeriods, 0.3 / 10.3 * std::max(wholePeriods, 1 - wholePeriods));
    qsb.normaliseOver(kN);
    double sum = 0;
    for (std::int64_t n = 0; n < kN; ++n) {
        const double g = qsb.next();
        sum += g * g;
    }
    EXPECT_NEAR(sum / kN, 1, 1e-12);
    // Depth 0 is no QSB at all.
    QsbGain flat = QsbGain::forFile(3, 0, 2, kRate);
    flat.normaliseOver(kN);
    EXPECT_EQ(flat.next(), 1.0);
}

TEST(Qsb, BlocksGiveTheGainsOneAtATimeDo) {
    QsbGain single = QsbGain::forFile(5, 12, 0.5, 8000), block = single;
    single.normaliseOver(40000);
    block.normaliseOver(40000);
    std::vector<double> expected(40000), got(40000);
    for (double& g : expected) g = single.next();
    std::mt19937 random(1);
    for (std::size_t done = 0; done < got.size();) {
        const std::size_t n =
            std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 5000)(random), got.size() - done);
        block.process(got.data() + done, n);
        done += n;
    }
    EXPECT_EQ(got, expected);
}

TEST(Qsb, RandomFadeIsLogNormalWithItsDepthAndCorrelationTime) {
    // 10,000 correlation times: the level's standard deviation is measured
    // to about 1 % (its variance to sqrt(2 tau / T)), its autocorrelation to
    // about 0.01; the interpolation between points lowers the first by 0.5 %.
    constexpr double kDepth = 8;
    constexpr double kTime = 0.1;
    constexpr double kRate = 8000;
    constexpr std::size_t kN = 8'000'000;
    RandomQsbGain qsb = RandomQsbGain::forFile(4, kDepth, kTime, kRate);
    std::vector<double> level(kN);
    qsb.process(level.data(), kN);
    double mean = 0;
    for (double& x : level) {
        x = 20 * std::log10(x);
        mean += x;
    }
    mean /= kN;
    const auto covariance = [&](std::size_t lag) {
        double sum = 0;
        for (std::size_t i = 0; i + lag < kN; ++i) sum += (level[i] - mean) * (level[i + lag] - mean);
        return sum / static_cast<double>(kN - lag);
    };
    const double variance = covariance(0);
    EXPECT_NEAR(std::sqrt(variance) / kDepth, 1, 0.03);
    for (const double lag : {0.5, 1.0, 2.0}) {
        const double r = covariance(static_cast<std::size_t>(lag * kTime * kRate)) / variance;
        std::cout << "random QSB: sd " << std::sqrt(variance) << " dB, r(" << lag << " tau) " << r << " (e^-lag "
                  << std::exp(-lag) << ")\n";
        EXPECT_NEAR(r, std::exp(-lag), 0.05) << lag;
    }

    RandomQsbGain single = RandomQsbGain::forFile(5, 12, 0.5, 8000), block = single;
    single.normaliseOver(60000);
    block.normaliseOver(60000);
    std::vector<double> expected(60000), got(60000);
    for (double& g : expected) g = single.next();
    std::mt19937 random(3);
    for (std::size_t done = 0; done < got.size();) {
        const std::size_t n =
            std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 5000)(random), got.size() - done);
        block.process(got.data() + done, n);
        done += n;
    }
    EXPECT_EQ(got, expected);
    double power = 0;
    for (const double g : expected) power += g * g;
    EXPECT_NEAR(power / 60000, 1, 1e-12);
    block.reset();
    EXPECT_EQ(block.next(), expected[0]);
    // Another file fades otherwise; depth 0 is no fade.
    EXPECT_NE(RandomQsbGain::forFile(6, 12, 0.5, 8000).next(), RandomQsbGain::forFile(5, 12, 0.5, 8000).next());
    EXPECT_EQ(RandomQsbGain::forFile(5, 0, 0.5, 8000).next(), 1.0);
    EXPECT_THROW(RandomQsbGain::forFile(5, 31, 0.5, 8000), text::SettingError);
    EXPECT_THROW(RandomQsbGain::forFile(5, 10, 0.05, 8000), text::SettingError);
}

}  // namespace
}  // namespace vantel::channel
