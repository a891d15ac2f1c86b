#include "channel/qrn_class_a.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "channel/band_conditions.h"
#include "random/random_stream.h"

namespace vantel::channel {
namespace {

// The amplitude the model exceeds with probability p, by bisection in ln a.
double modelAmplitude(double p, double A, double gamma) {
    double lo = std::log(1e-3), hi = std::log(1e5);
    for (int i = 0; i < 100; ++i) {
        const double mid = (lo + hi) / 2;
        (classAExceedance(std::exp(mid), A, gamma, 1) > p ? lo : hi) = mid;
    }
    return std::exp((lo + hi) / 2);
}

TEST(ClassAQrn, NoisePlusImpulsesFollowMiddletonsClassA) {
    constexpr std::size_t kN = 10'000'000;
    constexpr std::size_t kBlock = 1 << 16;
    constexpr double kProbabilities[] = {1e-1, 1e-2, 1e-3, 1e-4};
    std::vector<double> sum(kN), impulses(kBlock);
    for (const double A : {0.1, 1.0}) {
        for (const double gamma : {0.01, 0.1}) {
            ClassAQrn qrn(0, 20, A, gamma, 1, 48000, 11);
            random::RandomStream(5, random::StreamId::Hum).fillGaussians(sum.data(), kN);
            double square = 0;
            for (std::size_t done = 0; done < kN; done += kBlock) {
                const std::size_t n = std::min(kBlock, kN - done);
                qrn.process(impulses.data(), n);
                for (std::size_t i = 0; i < n; ++i) {
                    square += impulses[i] * impulses[i];
                    sum[done + i] = std::abs(sum[done + i] + impulses[i]);
                }
            }
            // The mean square's estimate has a relative standard deviation
            // of about sqrt((3 / A + 2) L / kN), under 0.6 %.
            const double expected = ClassAQrn::meanSquare(0, 20, gamma, 1, 48000);
            std::printf("A %.2g Gamma %.2g: mean square %.4g of the expected\n", A, gamma, square / kN / expected);
            EXPECT_NEAR(square / kN / expected, 1, 0.03) << A << " " << gamma;
            EXPECT_EQ(expected, 1 / gamma);
            EXPECT_EQ(qrn.crashes(), 0);
            // 1 dB is far outside the quantiles' scatter: even at 10^-4 they
            // rest on 1000 samples from about 100 impulses.
            for (const double p : kProbabilities) {
                const auto k = static_cast<std::ptrdiff_t>(kN - static_cast<std::size_t>(p * kN));
                std::nth_element(sum.begin(), sum.begin() + k, sum.end());
                const double model = modelAmplitude(p, A, gamma);
                const double db = 20 * std::log10(sum[static_cast<std::size_t>(k)] / model);
                std::printf("A %.2g Gamma %.2g P %.0e: measured %7.2f dB, model %7.2f dB (re sigma), %+.2f dB\n", A,
                            gamma, p, 20 * std::log10(sum[static_cast<std::size_t>(k)]), 20 * std::log10(model), db);
                EXPECT_LT(std::abs(db), 1) << A << " " << gamma << " " << p;
            }
        }
    }
    // The model itself: with no impulses in sight (A small) the Gaussian's
    // tail, erfc(a / sqrt 2).
    EXPECT_NEAR(classAExceedance(3, 1e-9, 1, 1), std::erfc(3 / std::sqrt(2.0)), 1e-9);
}

TEST(ClassAQrn, StrokesComeInTrainsAtTheRateAndBlocksGiveTheSamplesOneAtATimeDo) {
    // Strokes 50 dB over sigma against weak impulses (A = 1, Gamma = 10: one
    // impulse's standard deviation 0.32 sigma): a stroke is the samples over 5
    // sigma, strokes apart by more than 5 ms, which only strokes of
    // different flashes come closer than (gaps inside a flash exceed 18 ms).
    constexpr double kRate = 8000;
    constexpr double kFlashes = 0.5;
    constexpr std::size_t kN = 30 << 20;
    ClassAQrn qrn(kFlashes, 50, 1, 10, 1, kRate, 21);
    std::vector<double> block(1 << 16);
    std::vector<double> strokeTimes;
    double lastLoud = -1e9;
    for (std::size_t done = 0; done < kN; done += block.size()) {
        qrn.process(block.data(), block.size());
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (std::abs(block[i]) < 5) continue;
            const double t = static_cast<double>(done + i) / kRate;
            if (t - lastLoud > 0.005) strokeTimes.push_back(t);
            lastLoud = t;
        }
    }
    const double seconds = kN / kRate;
    // The number of strokes has variance rate * T * E[N^2], N uniform on 3..8.
    const double strokesPerFlash = (kFewestStrokes + kMostStrokes) / 2.0;
    const double expectedStrokes = kFlashes * seconds * strokesPerFlash;
    const double countSd = std::sqrt(kFlashes * seconds * (strokesPerFlash * strokesPerFlash + 35.0 / 12));
    const auto strokes = static_cast<double>(qrn.crashes());
    EXPECT_NEAR(strokes, expectedStrokes, 4 * countSd);
    EXPECT_NEAR(static_cast<double>(strokeTimes.size()) / strokes, 1, 0.03);
    // In trains: about 4.5 of 5.5 gaps lie inside a flash (at most 200 ms);
    // strokes as a Poisson process of the same rate would give 42 %.
    std::size_t short_gaps = 0;
    for (std::size_t i = 1; i < strokeTimes.size(); ++i) short_gaps += strokeTimes[i] - strokeTimes[i - 1] <= 0.2;
    const double shortShare = static_cast<double>(short_gaps) / static_cast<double>(strokeTimes.size() - 1);
    // The energy: strokes' log-normal levels and the flashes' count give the
    // mean square a relative standard deviation of about 4 % (measured over
    // 30 seeds).
    const double meanSquare = qrn.energyAdded() / kN;
    const double expectedSquare = ClassAQrn::meanSquare(kFlashes, 50, 10, 1, kRate);
    std::printf("%.0f strokes (expected %.0f), %zu detected, %.3f of gaps within a flash's; mean square %.4g "
                "(expected %.4g)\n",
                strokes, expectedStrokes, strokeTimes.size(), shortShare, meanSquare, expectedSquare);
    EXPECT_GT(shortShare, 0.75);
    EXPECT_LT(shortShare, 0.9);
    EXPECT_NEAR(meanSquare / expectedSquare, 1, 0.15);

    ClassAQrn single(30, 20, 1, 0.1, 50, 8000, 9), split = single;
    std::vector<double> expected(200000), got(200000);
    for (double& x : expected) x = single.next();
    std::mt19937 random(2);
    for (std::size_t done = 0; done < got.size();) {
        const std::size_t n =
            std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 9000)(random), got.size() - done);
        split.process(got.data() + done, n);
        done += n;
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(split.crashes(), single.crashes());
    EXPECT_EQ(split.energyAdded(), single.energyAdded());
    EXPECT_GT(single.crashes(), 500);
    split.reset();
    EXPECT_EQ(split.crashes(), 0);
    EXPECT_EQ(split.next(), expected[0]);
    EXPECT_THROW(ClassAQrn(101, 20, 1, 0.1, 1, 8000, 9), text::SettingError);
    EXPECT_THROW(ClassAQrn(1, 20, 0, 0.1, 1, 8000, 9), text::SettingError);
    EXPECT_THROW(ClassAQrn(1, 20, 1, 11, 1, 8000, 9), text::SettingError);
    EXPECT_THROW(ClassAQrn(1, 20, 1, 0.1, NAN, 8000, 9), text::SettingError);
}

}  // namespace
}  // namespace vantel::channel
