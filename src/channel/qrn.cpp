#include "channel/qrn.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/sample_formulas.h"
#include "maths/fast_math.h"

namespace vantel::channel {
namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

QrnSource::QrnSource(double ratePerSecond, double levelDb, double noiseSigma, double sampleRate,
                     std::uint64_t fileSeed)
    : levelDb_(levelDb),
      noiseSigma_(noiseSigma),
      sampleRate_(sampleRate),
      events_(fileSeed, random::StreamId::Qrn),
      noise_(fileSeed, random::StreamId::QrnNoise) {
    limits::kQrnRate.check(ratePerSecond);
    limits::kQrnLevel.check(levelDb);
    text::checkSampleRate(sampleRate);
    if (!(std::isfinite(noiseSigma) && noiseSigma >= 0)) {
        throw text::SettingError("bad noise level for QRN '" + text::shortestText(noiseSigma) + "'");
    }
    rate_ = ratePerSecond / sampleRate;
    attack_ = kQrnAttackS * sampleRate;
    reset();
}

QrnSource::Crash QrnSource::drawCrash(double after) {
    if (rate_ == 0) return {kNever, kNever, 0, 0};
    const double start = after + events_.poissonInterval(rate_);
    const double length = kQrnShortestS * sampleRate_ *
                          fastmath::exp(events_.uniform() * fastmath::log(kQrnLongestS / kQrnShortestS));
    const double z = std::clamp(events_.gaussian(), -kQrnLevelClip, kQrnLevelClip);
    const double peak = noiseSigma_ * fastmath::exp((levelDb_ + kQrnLevelSpreadDb * z) * fastmath::kNepersPerDb);
    const double decaySamples = (length - attack_) / kQrnDecayConstants;
    return {start, start + length, peak, -1 / decaySamples};
}

void QrnSource::reset() {
    events_.reset();
    active_.clear();
    sample_ = 0;
    crashes_ = 0;
    energy_ = 0;
    pending_ = drawCrash(0);
}

void QrnSource::startCrashes(double sample) {
    while (pending_.start <= sample) {
        active_.push_back(pending_);
        ++crashes_;
        pending_ = drawCrash(pending_.start);
    }
}

// A crash sounds in the samples n with start <= n < end; the variances of
// the crashes sounding in a sample are added in the order the crashes began.
double QrnSource::next() {
    const auto n = static_cast<double>(sample_);
    startCrashes(n);
    double variance = 0;
    for (const Crash& crash : active_) {
        if (n >= crash.end) continue;  // a crash shorter than a sample
        const double sigma = formula::crashSigma(n - crash.start, attack_, crash.decay, crash.peak);
        variance += sigma * sigma;
    }
    std::erase_if(active_, [n](const Crash& crash) { return crash.end <= n + 1; });
    const double value =
        variance > 0 ? std::sqrt(variance) * noise_.gaussianAt(static_cast<std::uint64_t>(sample_)) : 0.0;
    energy_ += value * value;
    ++sample_;
    return value;
}

void QrnSource::addChunk(double* out, std::size_t n) {
    const auto first = static_cast<double>(sample_);
    const double end = first + static_cast<double>(n);
    startCrashes(end - 1);
    std::fill(variance_.begin(), variance_.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    for (const Crash& crash : active_) {
        // The chunk's samples from ceil(start) up to ceil(end).
        const double from = std::max(first, std::ceil(crash.start));
        const double to = std::min(end, std::ceil(crash.end));
        if (!(from < to)) continue;
        kernels::addCrashVariance(from, crash.start, attack_, crash.decay, crash.peak,
                                  variance_.data() + static_cast<std::size_t>(from - first),
                                  static_cast<std::size_t>(to - from));
    }
    std::erase_if(active_, [end](const Crash& crash) { return crash.end <= end; });
    random::kernels::scaledGaussians(noise_.inputAt(static_cast<std::uint64_t>(sample_)), variance_.data(), values_.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        energy_ += values_[i] * values_[i];
        out[i] += values_[i];
    }
    sample_ += static_cast<std::int64_t>(n);
}

std::int64_t QrnSource::quietSamples(std::int64_t limit) const {
    if (!active_.empty()) return 0;
    const double untilNext = std::ceil(pending_.start) - static_cast<double>(sample_);
    if (untilNext >= static_cast<double>(limit)) return limit;
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(untilNext));
}

void QrnSource::process(double* out, std::size_t n) {
    // The crashes are added onto silence, as next() adds them to 0.
    std::fill(out, out + n, 0.0);
    double* buffer = out;
    variance_.resize(kChunk);
    values_.resize(kChunk);
    for (std::size_t i = 0; i < n;) {
        const std::int64_t quiet = quietSamples(static_cast<std::int64_t>(n - i));
        sample_ += quiet;
        i += static_cast<std::size_t>(quiet);
        if (i == n) break;
        const std::size_t count = std::min(kChunk, n - i);
        addChunk(buffer + i, count);
        i += count;
    }
}

}  // namespace vantel::channel
