#include "synth/block_kernels.h"

#include <cmath>

#include "synth/fast_math.h"
#include "synth/noise_source.h"
#include "synth/signal_synth.h"

#define VANTEL_MULTIVERSION [[gnu::target_clones("avx512f", "avx2", "default")]]

namespace vantel::synth::kernels {

VANTEL_MULTIVERSION
void noise(std::uint64_t seed, std::uint64_t firstPair, double sigma, double* out, std::size_t n) {
    constexpr double kScale = 1.0 / 16777216.0;
    constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t bits = splitMix64(seed + (firstPair + i + 1) * kGolden);
        // 24-bit draws: 32-bit conversions vectorise everywhere.
        const auto k1 = static_cast<std::int32_t>(bits >> 40);
        const auto k2 = static_cast<std::int32_t>((bits >> 16) & 0xFFFFFF);
        const double u1 = k1 > 0 ? static_cast<double>(k1) * kScale : double{kSmallestUniform};
        const double u2 = static_cast<double>(k2) * kScale;
        const double g = std::sqrt(-2 * fastmath::log(u1));
        const double h = fastmath::cos(u2 * kNoiseTwoPi);
        out[i] = sigma * g * h;
    }
}

VANTEL_MULTIVERSION
void addTone(const double* phase, const double* amplitude, double* inout, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) inout[i] = amplitude[i] * fastmath::sin(kTonePi * (2 * phase[i])) + inout[i];
}

VANTEL_MULTIVERSION
void limit(const double* x, double scale, std::int16_t* out, std::size_t n, LevelStats& stats) {
    for (std::size_t i = 0; i < n; ++i) out[i] = stats.take(x[i] * scale);
}

}  // namespace vantel::synth::kernels
