#pragma once

#include <cstdint>

namespace vantel::synth {

struct UniformPair {
    float u1;
    float u2;
};

// Uniform single-precision values on [0, 1), two per sample. Each pair comes
// from one SplitMix64 output taken at a counter, so the stream is the same on
// every machine, can be continued from run to run, and any position can be
// computed directly (which lets a vectorised generator produce it too).
class NoiseSource {
public:
    // The seed every program start uses, so the first run's noise is the same
    // at every start.
    static constexpr std::uint64_t kStartupSeed = 0x56414E54454CULL;

    explicit NoiseSource(std::uint64_t seed = kStartupSeed) : seed_(seed) {}

    UniformPair next() { return pairAt(counter_++); }
    UniformPair pairAt(std::uint64_t index) const;

    std::uint64_t seed() const { return seed_; }
    std::uint64_t pairsDrawn() const { return counter_; }
    void skip(std::uint64_t pairs) { counter_ += pairs; }

private:
    std::uint64_t seed_;
    std::uint64_t counter_ = 0;
};

inline std::uint64_t splitMix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

inline UniformPair NoiseSource::pairAt(std::uint64_t index) const {
    constexpr float kScale = 1.0f / 16777216.0f;  // 2^-24: every value exact in a float
    const std::uint64_t bits = splitMix64(seed_ + (index + 1) * 0x9E3779B97F4A7C15ULL);
    return {static_cast<float>(bits >> 40) * kScale, static_cast<float>((bits >> 16) & 0xFFFFFF) * kScale};
}

}  // namespace vantel::synth
