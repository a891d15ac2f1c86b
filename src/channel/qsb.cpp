#include "channel/qsb.h"

#include <algorithm>
#include <cmath>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/sample_formulas.h"

namespace vantel::channel {
namespace {

}  // namespace

QsbGain::QsbGain(double depthDb, double periodS, double sampleRate, random::RandomStream phaseStream) {
    limits::kQsbDepth.check(depthDb);
    limits::kQsbPeriod.check(periodS);
    text::checkSampleRate(sampleRate);
    exponent_ = -(depthDb / 2 * fastmath::kNepersPerDb);
    cyclesPerSample_ = 1 / (periodS * sampleRate);
    startPhase_ = phaseStream.uniform();
}

QsbGain QsbGain::forFile(std::uint64_t fileSeed, double depthDb, double periodS, double sampleRate) {
    return QsbGain(depthDb, periodS, sampleRate, random::RandomStream(fileSeed, random::StreamId::Qsb));
}

double QsbGain::next() {
    return scale_ * formula::qsb(static_cast<double>(sample_++), cyclesPerSample_, startPhase_, exponent_);
}

void QsbGain::process(double* out, std::size_t n) {
    kernels::qsb(static_cast<double>(sample_), cyclesPerSample_, startPhase_, exponent_, scale_, out, n);
    sample_ += static_cast<std::int64_t>(n);
}

// The squared gain is the gain with twice the exponent; summed in blocks.
double QsbGain::meanPower(std::int64_t samples) const {
    if (samples <= 0) return 0;
    constexpr std::int64_t kBlock = 4096;
    double block[kBlock];
    double sum = 0;
    for (std::int64_t start = 0; start < samples; start += kBlock) {
        const std::int64_t n = std::min(kBlock, samples - start);
        kernels::qsb(static_cast<double>(start), cyclesPerSample_, startPhase_, 2 * exponent_, 1, block,
                     static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) sum += block[i];
    }
    return sum / static_cast<double>(samples);
}

void QsbGain::normaliseOver(std::int64_t samples) {
    const double mean = meanPower(samples);
    scale_ = mean > 0 ? 1 / std::sqrt(mean) : 1;
}

}  // namespace vantel::channel
