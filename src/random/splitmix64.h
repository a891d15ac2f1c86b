#pragma once

#include <cstdint>

// SplitMix64, counter-based: every random value of a file, the background
// noise and each band effect's streams alike, is an output of this
// generator taken at a counter, so any draw can be made directly and the
// same seed gives the same values on every machine.
namespace vantel::random {

// SplitMix64's finaliser and its counter step, the golden gamma. Output i of
// the generator started at `seed` is splitMix64(seed + (i + 1) * gamma), so
// any output can be computed directly.
inline constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ULL;

inline std::uint64_t splitMix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

inline std::uint64_t splitMix64Input(std::uint64_t seed, std::uint64_t index) { return seed + (index + 1) * kGoldenGamma; }
inline std::uint64_t splitMix64At(std::uint64_t seed, std::uint64_t index) {
    return splitMix64(splitMix64Input(seed, index));
}

}  // namespace vantel::random
