#include "synth/block_kernels.h"

#include <cmath>
#include <cstring>

#include "maths/fast_math.h"
#include "maths/simd.h"
#include "synth/keyed_oscillator.h"
#include "synth/noise_source.h"

namespace vantel::synth::kernels {

// In three passes over sub-blocks rather than one loop: a loop body holding
// the generator, the logarithm and the cosine together is longer than the
// processor can look ahead through, and then waits on its own long chains of
// dependent operations. Every value is computed exactly as in a single loop.
VANTEL_MULTIVERSION
void noise(std::uint64_t seed, std::uint64_t firstPair, double sigma, double* out, std::size_t n) {
    constexpr std::size_t kSubBlock = 1024;
    double radius[kSubBlock];
    // The counter's SplitMix64 input steps by the golden gamma: an addition per
    // sample instead of a (slow, emulated) 64-bit vector multiplication.
    std::uint64_t input = random::splitMix64Input(seed, firstPair);
    for (std::size_t start = 0; start < n; start += kSubBlock) {
        const std::size_t count = n - start < kSubBlock ? n - start : kSubBlock;
        double* angle = out + start;
        for (std::size_t i = 0; i < count; ++i, input += random::kGoldenGamma) {
            const DrawBits bits = drawBits(random::splitMix64(input));
            radius[i] = radiusDraw(static_cast<double>(bits.first) * kDrawStep);
            angle[i] = static_cast<double>(bits.second) * kDrawStep;
        }
        for (std::size_t i = 0; i < count; ++i) radius[i] = boxMullerRadius<PlainMaths>(radius[i]);
        for (std::size_t i = 0; i < count; ++i) angle[i] = boxMullerValue<PlainMaths>(sigma, radius[i], angle[i]);
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

using maths::Vec4;

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

namespace {

using maths::Mask4;
using maths::Int4;
using maths::Short4;

// Adding and taking away 1.5 * 2^52 rounds to the nearest whole number, halves
// to even, exactly as nearbyint does in the default rounding mode.
constexpr double kRoundingShift = 6755399441055744.0;

}  // namespace

// Four samples at a time, with the clipped count, peak and sum of squares kept
// in lanes: whole numbers below 2^53 for blocks under 2^25 samples (and a
// maximum), which no order of adding can change.
VANTEL_MULTIVERSION
void limit(const double* x, double scale, std::int16_t* out, std::size_t n, LevelStats& stats) {
    Mask4 clipped{};
    Vec4 peak = Vec4{} + stats.peak;
    Vec4 sumSquares{};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Vec4 v;
        std::memcpy(&v, x + i, sizeof v);
        v *= scale;
        const Mask4 high = v > 32767.0;
        const Mask4 low = v < -32768.0;
        const Mask4 bad = v != v;  // NaN: only from absurd settings
        const Vec4 rounded = (v + kRoundingShift) - kRoundingShift;
        const Vec4 limited = high ? Vec4{} + 32767.0 : (low ? Vec4{} - 32768.0 : (bad ? Vec4{} : rounded));
        clipped -= high | low | bad;  // a true lane is -1
        const Vec4 magnitude = bad ? Vec4{} : (v < 0 ? -v : v);
        peak = magnitude > peak ? magnitude : peak;
        sumSquares += limited * limited;
        const Short4 samples = __builtin_convertvector(__builtin_convertvector(limited, Int4), Short4);
        std::memcpy(out + i, &samples, sizeof samples);
    }
    for (int lane = 0; lane < 4; ++lane) {
        stats.clipped += static_cast<std::int32_t>(clipped[lane]);
        stats.peak = peak[lane] > stats.peak ? peak[lane] : stats.peak;
        stats.sumSquares += static_cast<std::int64_t>(sumSquares[lane]);
    }
    for (; i < n; ++i) out[i] = stats.take(x[i] * scale);
}

}  // namespace vantel::synth::kernels
