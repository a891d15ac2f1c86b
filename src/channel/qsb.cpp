#include "channel/qsb.h"

#include <cmath>

#include "channel/band_conditions.h"
#include "maths/fast_math.h"

namespace vantel::channel {
namespace {

constexpr double kTwoPi = 6.283185307179586477;
constexpr double kNepersPerDb = 0.11512925464970228420;  // ln(10) / 20

}  // namespace

QsbGain::QsbGain(double depthDb, double periodS, double sampleRate, RandomStream phaseStream) {
    limits::kQsbDepth.check(depthDb);
    limits::kQsbPeriod.check(periodS);
    checkSampleRate(sampleRate);
    halfDepthNepers_ = depthDb / 2 * kNepersPerDb;
    cyclesPerSample_ = 1 / (periodS * sampleRate);
    startPhase_ = phaseStream.uniform();
}

QsbGain QsbGain::forFile(std::uint64_t fileSeed, double depthDb, double periodS, double sampleRate) {
    return QsbGain(depthDb, periodS, sampleRate, RandomStream(fileSeed, StreamId::Qsb));
}

double QsbGain::gainAt(std::int64_t sample, double exponentScale) const {
    double cycles = static_cast<double>(sample) * cyclesPerSample_ + startPhase_;
    cycles -= std::floor(cycles);
    const double swing = 1 - fastmath::cos(kTwoPi * cycles);  // 0 .. 2
    return fastmath::exp(-halfDepthNepers_ * exponentScale * swing);
}

void QsbGain::fill(double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = scale_ * gainAt(sample_ + static_cast<std::int64_t>(i));
    sample_ += static_cast<std::int64_t>(n);
}

double QsbGain::meanPower(std::int64_t samples) const {
    if (samples <= 0) return 0;
    double sum = 0;
    for (std::int64_t n = 0; n < samples; ++n) sum += gainAt(n, 2);
    return sum / static_cast<double>(samples);
}

void QsbGain::normaliseOver(std::int64_t samples) {
    const double mean = meanPower(samples);
    scale_ = mean > 0 ? 1 / std::sqrt(mean) : 1;
}

}  // namespace vantel::channel
