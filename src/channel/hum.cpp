#include "channel/hum.h"

#include <bit>
#include <cmath>
#include <numbers>

#include "channel/band_conditions.h"
#include "channel/if_filter.h"
#include "maths/fast_math.h"

namespace vantel::channel {
namespace {

constexpr int kFractionBits = 64 - std::countr_zero(kHumTablePoints);
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;
// The fraction is kept to 32 bits, which a double holds exactly.
constexpr int kDroppedBits = kFractionBits - 32;
constexpr double kFractionUnit = 1.0 / 4294967296.0;  // 2^-32

}  // namespace

Hum::Hum(double hz, double levelDb, double referenceAmplitude, double sampleRate, random::RandomStream phase) {
    limits::kHum.check(hz);
    limits::kHumLevel.check(levelDb);
    text::checkSampleRate(sampleRate);
    if (hz == 0) return;
    double power = 0;
    std::vector<double> phases;
    for (std::size_t k = 0; k < kHumHarmonics.size() && (k + 1) * hz < kHighestEdgeOfRate * sampleRate; ++k) {
        power += kHumHarmonics[k] * kHumHarmonics[k] / 2;
        phases.push_back(phase.uniform());
    }
    harmonics_ = phases.size();
    if (harmonics_ == 0) return;
    rms_ = referenceAmplitude / std::numbers::sqrt2 * fastmath::exp(levelDb * fastmath::kNepersPerDb);
    const double scale = rms_ / std::sqrt(power);
    table_.assign(kHumTablePoints + 1, 0.0);
    for (std::size_t i = 0; i <= kHumTablePoints; ++i) {
        const double cycle = static_cast<double>(i % kHumTablePoints) / kHumTablePoints;
        for (std::size_t k = 0; k < harmonics_; ++k) {
            // The product's fraction: the argument stays within a cycle.
            const double turns = static_cast<double>(k + 1) * cycle + phases[k];
            const double within = turns - std::floor(turns);
            table_[i] += scale * kHumHarmonics[k] * fastmath::sin(2 * std::numbers::pi * within);
        }
    }
    step_ = static_cast<std::uint64_t>(std::ldexp(hz / sampleRate, 64));
}

Hum Hum::forFile(std::uint64_t fileSeed, double hz, double levelDb, double referenceAmplitude, double sampleRate) {
    return Hum(hz, levelDb, referenceAmplitude, sampleRate, random::RandomStream(fileSeed, random::StreamId::Hum));
}

// The phase in cycles is the 64-bit fraction sample * step, wrapping: its top
// bits pick the table's point, the next ones the fraction between points.
double Hum::at(std::int64_t sample) const {
    const std::uint64_t phase = static_cast<std::uint64_t>(sample) * step_;
    const std::size_t i = static_cast<std::size_t>(phase >> kFractionBits);
    const double fraction =
        static_cast<double>(static_cast<std::int64_t>((phase & kFractionMask) >> kDroppedBits)) * kFractionUnit;
    return table_[i] + fraction * (table_[i + 1] - table_[i]);
}

double Hum::next() {
    if (table_.empty()) return 0;
    return at(sample_++);
}

void Hum::process(double* out, std::size_t n) {
    if (table_.empty()) {
        sample_ += static_cast<std::int64_t>(n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) out[i] += at(sample_ + static_cast<std::int64_t>(i));
    sample_ += static_cast<std::int64_t>(n);
}

}  // namespace vantel::channel
