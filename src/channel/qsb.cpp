#include "channel/qsb.h"

#include <algorithm>
#include <cmath>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/sample_formulas.h"
#include "maths/fast_math.h"

namespace vantel::channel {
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

RandomQsbGain::RandomQsbGain(double depthDb, double timeS, double sampleRate, random::RandomStream stream)
    : stream_(stream) {
    limits::kQsbRandom.check(depthDb);
    limits::kQsbTime.check(timeS);
    text::checkSampleRate(sampleRate);
    exponent_ = depthDb * fastmath::kNepersPerDb;
    step_ = std::max<std::int64_t>(1, std::llround(timeS * sampleRate / kRandomQsbPointsPerTime));
    rho_ = fastmath::exp(-static_cast<double>(step_) / (timeS * sampleRate));
    innovation_ = std::sqrt(1 - rho_ * rho_);
    invStep_ = 1 / static_cast<double>(step_);
    reset();
}

RandomQsbGain RandomQsbGain::forFile(std::uint64_t fileSeed, double depthDb, double timeS, double sampleRate) {
    return RandomQsbGain(depthDb, timeS, sampleRate, random::RandomStream(fileSeed, random::StreamId::QsbRandom));
}

void RandomQsbGain::reset() {
    sample_ = 0;
    point_ = 0;
    to_ = stream_.gaussianAt(0);
    from_ = to_;
    to_ = rho_ * to_ + innovation_ * stream_.gaussianAt(1);
}

void RandomQsbGain::advance() {
    ++point_;
    from_ = to_;
    to_ = rho_ * to_ + innovation_ * stream_.gaussianAt(static_cast<std::uint64_t>(point_ + 1));
}

double RandomQsbGain::next() {
    std::int64_t position = sample_ - point_ * step_;
    if (position == step_) {
        advance();
        position = 0;
    }
    ++sample_;
    const double g = formula::interpolated(from_, to_, static_cast<double>(position) * invStep_);
    return scale_ * fastmath::exp(exponent_ * g);
}

void RandomQsbGain::process(double* out, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        std::int64_t position = sample_ - point_ * step_;
        if (position == step_) {
            advance();
            position = 0;
        }
        const std::size_t count = std::min(n - i, static_cast<std::size_t>(step_ - position));
        kernels::interpolate(from_, to_, invStep_, static_cast<double>(position), out + i, count);
        kernels::expGains(scale_, exponent_, out + i, count);
        sample_ += static_cast<std::int64_t>(count);
        i += count;
    }
}

double RandomQsbGain::meanPower(std::int64_t samples) const {
    if (samples <= 0) return 0;
    RandomQsbGain gain = *this;
    gain.reset();
    gain.setScale(1);
    constexpr std::int64_t kBlock = 4096;
    double block[kBlock];
    double sum = 0;
    for (std::int64_t start = 0; start < samples; start += kBlock) {
        const std::int64_t n = std::min(kBlock, samples - start);
        gain.process(block, static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) sum += block[i] * block[i];
    }
    return sum / static_cast<double>(samples);
}

void RandomQsbGain::normaliseOver(std::int64_t samples) {
    const double mean = meanPower(samples);
    scale_ = mean > 0 ? 1 / std::sqrt(mean) : 1;
}

}  // namespace vantel::channel
