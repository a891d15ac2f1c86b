#include "random/random_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>
#include <vector>

namespace vantel::random {
namespace {

constexpr std::uint64_t kSeed = 0x56414E54454CULL;

TEST(RandomStream, NeverSharesADrawWithTheNoiseOrAnotherStream) {
    // SplitMix64's finaliser is a bijection, so equal outputs mean equal
    // generator inputs: no shared value among these means no shared counter.
    constexpr std::uint64_t kDraws = 20000;
    std::unordered_set<std::uint64_t> seen;
    for (std::uint64_t i = 0; i < kDraws; ++i) seen.insert(random::splitMix64At(kSeed, i));
    std::vector<RandomStream> streams;
    for (std::uint64_t id = 1; id <= 10; ++id) {
        const RandomStream stream(kSeed, static_cast<StreamId>(id));
        for (std::uint64_t k = 1; k < 4; ++k) streams.push_back(stream.derive(k));
        streams.push_back(stream);
    }
    for (RandomStream& stream : streams) {
        for (std::uint64_t j = 0; j < kDraws; ++j) ASSERT_TRUE(seen.insert(stream.nextBits()).second);
    }
    // A different file seed gives a different stream.
    EXPECT_NE(RandomStream(kSeed + 1, StreamId::Jitter).bitsAt(0), RandomStream(kSeed, StreamId::Jitter).bitsAt(0));
}

TEST(RandomStream, DrawJIsOutputJWhateverWasAskedBefore) {
    RandomStream stream(kSeed, StreamId::Qrn);
    const RandomStream fresh = stream;
    const double u = stream.uniform();
    const double g = stream.gaussian();
    const double w = stream.poissonInterval(4);
    const RandomStream::Complex z = stream.complexGaussian();
    EXPECT_EQ(u, fresh.uniformAt(0));
    EXPECT_EQ(g, fresh.gaussianAt(1));
    EXPECT_EQ(w, -fastmath::log(1 - fresh.uniformAt(2)) / 4);
    EXPECT_EQ(z.re, fresh.complexGaussianAt(3).re);
    EXPECT_EQ(stream.drawsTaken(), 4u);
    // In blocks: the same Gaussians, and the count moves on the same.
    std::vector<double> block(1000);
    stream.fillGaussians(block.data(), block.size());
    for (std::size_t j = 0; j < block.size(); ++j) ASSERT_EQ(block[j], fresh.gaussianAt(4 + j)) << j;
    EXPECT_EQ(stream.gaussian(), fresh.gaussianAt(1004));
    stream.reset();
    EXPECT_EQ(stream.uniform(), u);
}

TEST(RandomStream, DistributionsHaveTheirMoments) {
    // N = 10^6 draws: the mean of a unit-variance value has standard error
    // 1e-3, a sample variance of a Gaussian sqrt(2/N) = 1.4e-3, the mean of
    // z^4 sqrt((105 - 9)/N) = 0.0098, the mean of an exponential with
    // mean 1/4 0.25e-3. Tolerances are about five standard errors.
    constexpr int kN = 1000000;
    RandomStream stream(kSeed, StreamId::Jitter);
    double uSum = 0, uMin = 1, uMax = 0, g1 = 0, g2 = 0, g4 = 0, wSum = 0, c2 = 0, cross = 0;
    for (int i = 0; i < kN; ++i) {
        const double u = stream.uniform();
        uSum += u;
        uMin = std::min(uMin, u);
        uMax = std::max(uMax, u);
        const double g = stream.gaussian();
        g1 += g;
        g2 += g * g;
        g4 += g * g * g * g;
        wSum += stream.poissonInterval(4);
        const RandomStream::Complex z = stream.complexGaussian();
        c2 += z.re * z.re + z.im * z.im;
        cross += z.re * z.im;
    }
    EXPECT_NEAR(uSum / kN, 0.5, 5 * std::sqrt(1.0 / 12 / kN));
    EXPECT_GE(uMin, 0.0);
    EXPECT_LT(uMax, 1.0);
    EXPECT_NEAR(g1 / kN, 0, 5e-3);
    EXPECT_NEAR(g2 / kN, 1, 7e-3);
    EXPECT_NEAR(g4 / kN, 3, 0.05);
    EXPECT_NEAR(wSum / kN, 0.25, 5 * 0.25 / std::sqrt(kN));
    EXPECT_NEAR(c2 / kN, 1, 5e-3);  // |z|^2 is exponential: standard error 1e-3
    EXPECT_NEAR(cross / kN, 0, 2.5e-3);  // re * im has standard deviation 1/2
}

}  // namespace
}  // namespace vantel::random
