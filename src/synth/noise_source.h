#pragma once

#include <cmath>
#include <cstdint>

#include "maths/fast_math.h"
#include "random/splitmix64.h"

namespace vantel::synth {

// The two 24-bit draws one output holds, as whole numbers: every value and
// every multiple of 2^-24 of it is exact in a float, and 32-bit conversions
// vectorise everywhere.
struct DrawBits {
    std::int32_t first;
    std::int32_t second;
};
inline DrawBits drawBits(std::uint64_t output) {
    return {static_cast<std::int32_t>(output >> 40), static_cast<std::int32_t>((output >> 16) & 0xFFFFFF)};
}
inline constexpr double kDrawStep = 1.0 / 16777216.0;  // 2^-24

struct UniformPair {
    float u1;
    float u2;
};

// Uniform single-precision values on [0, 1), two per sample, each pair from
// one SplitMix64 output taken at a counter: the stream is the same on every
// machine, can be continued from run to run, and any position can be computed
// directly (which lets a vectorised generator produce it too).
class NoiseSource {
public:
    // The seed every program start uses, so the first run's noise is the same
    // at every start.
    static constexpr std::uint64_t kStartupSeed = 0x56414E54454CULL;

    explicit NoiseSource(std::uint64_t seed = kStartupSeed) : seed_(seed) {}

    UniformPair next() { return pairAt(counter_++); }
    UniformPair pairAt(std::uint64_t index) const {
        const DrawBits bits = drawBits(random::splitMix64At(seed_, index));
        constexpr auto kStep = static_cast<float>(kDrawStep);
        return {static_cast<float>(bits.first) * kStep, static_cast<float>(bits.second) * kStep};
    }

    std::uint64_t seed() const { return seed_; }
    std::uint64_t pairsDrawn() const { return counter_; }
    void skip(std::uint64_t pairs) { counter_ += pairs; }
    void reset() { counter_ = 0; }

private:
    std::uint64_t seed_;
    std::uint64_t counter_ = 0;
};

// Box-Muller, the cosine branch: a Gaussian value of standard deviation
// `sigma` from two uniform draws. Written once for both renderers, over the
// maths each uses: the reference the C library's, the block renderer the
// plain-arithmetic functions that vectorise.
inline constexpr double kNoiseReference = 10000;  // noise sigma at a ratio of 1
inline constexpr double kNoiseTwoPi = 6.28318530718;

// The smallest draw the logarithm may see: a draw of exactly 0 would give an
// infinite noise value, so it is taken as half the generator's step instead.
inline constexpr float kSmallestUniform = 1.0f / 33554432.0f;  // 2^-25

struct LibraryMaths {
    static double log(double x) { return std::log(x); }
    static double cos(double x) { return std::cos(x); }
};
struct PlainMaths {
    static double log(double x) { return fastmath::log(x); }
    static double cos(double x) { return fastmath::cos(x); }
};

inline double radiusDraw(double u1) { return u1 > 0 ? u1 : double{kSmallestUniform}; }

template <typename Maths>
double boxMullerRadius(double u1) {
    return std::sqrt(-2 * Maths::log(u1));
}

template <typename Maths>
double boxMullerValue(double sigma, double radius, double u2) {
    return sigma * radius * Maths::cos(u2 * kNoiseTwoPi);
}

inline double gaussianNoise(double sigma, UniformPair u) {
    return boxMullerValue<LibraryMaths>(sigma, boxMullerRadius<LibraryMaths>(radiusDraw(u.u1)), u.u2);
}

}  // namespace vantel::synth
