#include "synth/block_kernels.h"

#include <cmath>
#include <cstring>

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
void tone(const double* phase, const double* amplitude, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = amplitude[i] * fastmath::sin(kTonePi * (2 * phase[i]));
}

VANTEL_MULTIVERSION
void add(const double* __restrict tone, double* __restrict inout, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) inout[i] = tone[i] + inout[i];
}

namespace {

// Four lanes summed separately, then in lane order: the same bits whatever the
// register width, where a plain loop would not vectorise at all.
using Vec4 = double __attribute__((vector_size(32)));

}  // namespace

VANTEL_MULTIVERSION
double sumOfSquares(const double* x, std::size_t n) {
    Vec4 lanes{};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Vec4 v;
        std::memcpy(&v, x + i, sizeof v);
        lanes += v * v;
    }
    double sum = ((lanes[0] + lanes[1]) + lanes[2]) + lanes[3];
    for (; i < n; ++i) sum += x[i] * x[i];
    return sum;
}

VANTEL_MULTIVERSION
std::int64_t countNonZero(const double* x, std::size_t n) {
    std::int64_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += x[i] != 0 ? 1 : 0;
    return count;
}

VANTEL_MULTIVERSION
void limit(const double* x, double scale, std::int16_t* out, std::size_t n, LevelStats& stats) {
    for (std::size_t i = 0; i < n; ++i) out[i] = stats.take(x[i] * scale);
}

}  // namespace vantel::synth::kernels
