#include "channel/qrn_class_a.h"

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
// Measured: below this many samples a chunk's fixed cost outweighs the
// Gaussians it draws in vain for samples past the end of an impulse.
constexpr std::int64_t kShortestChunk = 16;

// Sub-streams of the QrnImpulses and QrnImpulseNoise streams.
constexpr std::uint64_t kImpulseStream = 0;
constexpr std::uint64_t kStrokeStream = 1;

double strokeRise(double sampleRate) { return kStrokeRiseS * sampleRate; }
double strokeLength(double sampleRate) { return kStrokeLengthS * sampleRate; }
double strokeDecaySamples(double sampleRate) {
    return (strokeLength(sampleRate) - strokeRise(sampleRate)) / kStrokeDecayConstants;
}

void checkSettings(double strokeRate, double strokeLevelDb, double gamma, double noiseSigma, double sampleRate) {
    limits::kQrnRate.check(strokeRate);
    limits::kQrnLevel.check(strokeLevelDb);
    limits::kQrnGamma.check(gamma);
    text::checkSampleRate(sampleRate);
    if (!(std::isfinite(noiseSigma) && noiseSigma >= 0)) {
        throw text::SettingError("bad noise level for QRN '" + text::shortestText(noiseSigma) + "'");
    }
}

}  // namespace

ClassAQrn::ClassAQrn(double strokeRate, double strokeLevelDb, double impulsiveIndex, double gamma, double noiseSigma,
                     double sampleRate, std::uint64_t fileSeed)
    : levelDb_(strokeLevelDb),
      noiseSigma_(noiseSigma),
      sampleRate_(sampleRate),
      impulses_(random::RandomStream(fileSeed, random::StreamId::QrnImpulses).derive(kImpulseStream)),
      flashes_(random::RandomStream(fileSeed, random::StreamId::QrnImpulses).derive(kStrokeStream)),
      impulseNoise_(random::RandomStream(fileSeed, random::StreamId::QrnImpulseNoise).derive(kImpulseStream)),
      strokeNoise_(random::RandomStream(fileSeed, random::StreamId::QrnImpulseNoise).derive(kStrokeStream)) {
    checkSettings(strokeRate, strokeLevelDb, gamma, noiseSigma, sampleRate);
    limits::kQrnIndex.check(impulsiveIndex);
    impulseLength_ = std::max<std::int64_t>(1, std::llround(kClassAImpulseS * sampleRate));
    impulseRate_ = impulsiveIndex / static_cast<double>(impulseLength_);
    impulseVariance_ = noiseSigma * noiseSigma / (gamma * impulsiveIndex);
    flashRate_ = strokeRate / sampleRate;
    rise_ = strokeRise(sampleRate);
    decay_ = -1 / strokeDecaySamples(sampleRate);
    reset();
}

double ClassAQrn::meanSquare(double strokeRate, double strokeLevelDb, double gamma, double noiseSigma,
                             double sampleRate) {
    checkSettings(strokeRate, strokeLevelDb, gamma, noiseSigma, sampleRate);
    const double noisePower = noiseSigma * noiseSigma;
    // A stroke's squared envelope summed over samples at a uniformly random
    // offset is its integral in expectation: rise / 3 for the linear rise,
    // tau / 2 (1 - e^(-2 (length - rise) / tau)) for the decay.
    const double tau = strokeDecaySamples(sampleRate);
    const double envelope =
        strokeRise(sampleRate) / 3 + tau / 2 * (1 - fastmath::exp(-2 * kStrokeDecayConstants));
    const double peakPower =
        noisePower * fastmath::exp(2 * strokeLevelDb * fastmath::kNepersPerDb) * kStrokeLevelPowerFactor;
    const double strokesPerFlash = (kFewestStrokes + kMostStrokes) / 2.0;
    return noisePower / gamma + strokeRate / sampleRate * strokesPerFlash * peakPower * envelope;
}

void ClassAQrn::reset() {
    impulses_.reset();
    flashes_.reset();
    impulseEnds_.clear();
    pending_.clear();
    active_.clear();
    sample_ = 0;
    strokes_ = 0;
    energy_ = 0;
    // The impulses' process starts L samples before the file, so that the
    // first sample already has its full Poisson(A) count.
    nextImpulse_ = -static_cast<double>(impulseLength_) + impulses_.poissonInterval(impulseRate_);
    nextFlash_ = flashRate_ > 0 ? flashes_.poissonInterval(flashRate_) : kNever;
}

// A flash's draws: its number of strokes, then each stroke's level and the
// gap to the next; then the gap to the next flash.
void ClassAQrn::drawFlash() {
    const int spanned = kMostStrokes - kFewestStrokes + 1;
    const int count = kFewestStrokes + std::min(spanned - 1, static_cast<int>(flashes_.uniform() * spanned));
    const double medianGap = kStrokeGapMedianS * sampleRate_;
    double start = nextFlash_;
    for (int k = 0; k < count; ++k) {
        const double z = std::clamp(flashes_.gaussian(), -kStrokeLevelClip, kStrokeLevelClip);
        const double peak =
            noiseSigma_ * fastmath::exp((levelDb_ + kStrokeLevelSpreadDb * z) * fastmath::kNepersPerDb);
        const Stroke stroke{start, start + strokeLength(sampleRate_), peak};
        pending_.insert(std::upper_bound(pending_.begin(), pending_.end(), stroke,
                                         [](const Stroke& a, const Stroke& b) { return a.start < b.start; }),
                        stroke);
        if (k + 1 < count) {
            const double g = std::clamp(flashes_.gaussian(), -kStrokeGapClip, kStrokeGapClip);
            start += medianGap * fastmath::exp(kStrokeGapSpread * g);
        }
    }
    nextFlash_ += flashes_.poissonInterval(flashRate_);
}

void ClassAQrn::startImpulses(std::int64_t sample) {
    while (nextImpulse_ <= static_cast<double>(sample)) {
        impulseEnds_.push_back(static_cast<std::int64_t>(std::ceil(nextImpulse_)) + impulseLength_);
        nextImpulse_ += impulses_.poissonInterval(impulseRate_);
    }
}

void ClassAQrn::startStrokes(double sample) {
    while (nextFlash_ <= sample) drawFlash();
    auto begun = pending_.begin();
    while (begun != pending_.end() && begun->start <= sample) ++begun;
    strokes_ += begun - pending_.begin();
    active_.insert(active_.end(), pending_.begin(), begun);
    pending_.erase(pending_.begin(), begun);
}

// Impulses are summed as a count, strokes' variances in the order the strokes
// began; the two noises are drawn apart and added.
double ClassAQrn::next() {
    startImpulses(sample_);
    while (!impulseEnds_.empty() && impulseEnds_.front() <= sample_) impulseEnds_.pop_front();
    const auto n = static_cast<double>(sample_);
    startStrokes(n);
    double variance = 0;
    for (const Stroke& stroke : active_) {
        if (n >= stroke.end) continue;  // a stroke shorter than a sample
        const double sigma = formula::crashSigma(n - stroke.start, rise_, decay_, stroke.peak);
        variance += sigma * sigma;
    }
    std::erase_if(active_, [n](const Stroke& stroke) { return stroke.end <= n + 1; });
    const auto draw = static_cast<std::uint64_t>(sample_);
    const double impulseVariance = static_cast<double>(impulseEnds_.size()) * impulseVariance_;
    const double impulse = impulseVariance > 0 ? std::sqrt(impulseVariance) * impulseNoise_.gaussianAt(draw) : 0.0;
    const double stroke = variance > 0 ? std::sqrt(variance) * strokeNoise_.gaussianAt(draw) : 0.0;
    const double value = impulse + stroke;
    energy_ += value * value;
    ++sample_;
    return value;
}

// The count of impulses covering each sample, as a running sum of their
// beginnings (+1) and ends (-1) within the chunk.
void ClassAQrn::impulseVariance(std::size_t n) {
    const std::int64_t first = sample_;
    const std::int64_t end = first + static_cast<std::int64_t>(n);
    startImpulses(end - 1);
    std::fill(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(n) + 1, 0);
    for (const std::int64_t impulseEnd : impulseEnds_) {
        const std::int64_t from = std::max(first, impulseEnd - impulseLength_);
        const std::int64_t to = std::min(end, impulseEnd);
        if (from >= to) continue;
        ++steps_[static_cast<std::size_t>(from - first)];
        --steps_[static_cast<std::size_t>(to - first)];
    }
    int count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        count += steps_[i];
        variance_[i] = static_cast<double>(count) * impulseVariance_;
    }
    while (!impulseEnds_.empty() && impulseEnds_.front() <= end) impulseEnds_.pop_front();
}

void ClassAQrn::strokeVariance(std::size_t n) {
    const auto first = static_cast<double>(sample_);
    const double end = first + static_cast<double>(n);
    startStrokes(end - 1);
    std::fill(strokeVariance_.begin(), strokeVariance_.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    for (const Stroke& stroke : active_) {
        // The chunk's samples from ceil(start) up to ceil(end).
        const double from = std::max(first, std::ceil(stroke.start));
        const double to = std::min(end, std::ceil(stroke.end));
        if (!(from < to)) continue;
        kernels::addCrashVariance(from, stroke.start, rise_, decay_, stroke.peak,
                                  strokeVariance_.data() + static_cast<std::size_t>(from - first),
                                  static_cast<std::size_t>(to - from));
    }
    std::erase_if(active_, [end](const Stroke& stroke) { return stroke.end <= end; });
}

void ClassAQrn::chunk(double* out, std::size_t n) {
    const double last = static_cast<double>(sample_) + static_cast<double>(n) - 1;
    const bool striking = !active_.empty() || (!pending_.empty() && pending_.front().start <= last) || nextFlash_ <= last;
    impulseVariance(n);
    random::kernels::scaledGaussians(impulseNoise_.inputAt(static_cast<std::uint64_t>(sample_)), variance_.data(),
                                     values_.data(), n);
    if (striking) {
        strokeVariance(n);
        random::kernels::scaledGaussians(strokeNoise_.inputAt(static_cast<std::uint64_t>(sample_)),
                                         strokeVariance_.data(), strokeValues_.data(), n);
    } else {
        std::fill(strokeValues_.begin(), strokeValues_.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    }
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = values_[i] + strokeValues_[i];
        energy_ += out[i] * out[i];
    }
    sample_ += static_cast<std::int64_t>(n);
}

std::int64_t ClassAQrn::quietSamples(std::int64_t limit) const {
    if (!impulseEnds_.empty() || !active_.empty()) return 0;
    double nextStart = std::min(std::ceil(nextImpulse_), std::ceil(nextFlash_));
    if (!pending_.empty()) nextStart = std::min(nextStart, std::ceil(pending_.front().start));
    const double untilNext = nextStart - static_cast<double>(sample_);
    if (untilNext >= static_cast<double>(limit)) return limit;
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(untilNext));
}

std::int64_t ClassAQrn::activeEnd() const {
    double end = impulseEnds_.empty() ? 0.0 : static_cast<double>(impulseEnds_.back());
    for (const Stroke& stroke : active_) end = std::max(end, std::ceil(stroke.end));
    return static_cast<std::int64_t>(std::min(end, 9e18));
}

void ClassAQrn::process(double* out, std::size_t n) {
    std::fill(out, out + n, 0.0);
    variance_.resize(kChunk);
    strokeVariance_.resize(kChunk);
    values_.resize(kChunk);
    strokeValues_.resize(kChunk);
    steps_.resize(kChunk + 1);
    for (std::size_t i = 0; i < n;) {
        const std::int64_t quiet = quietSamples(static_cast<std::int64_t>(n - i));
        sample_ += quiet;
        i += static_cast<std::size_t>(quiet);
        if (i == n) break;
        // A chunk runs to the end of what sounds now (more may begin in
        // it), so that quiet stretches after a short impulse are skipped;
        // but not shorter than a chunk's own cost is worth.
        startImpulses(sample_);
        startStrokes(static_cast<double>(sample_));
        const std::int64_t busy = std::max<std::int64_t>(kShortestChunk, activeEnd() - sample_);
        const std::size_t count = std::min({kChunk, n - i, static_cast<std::size_t>(busy)});
        chunk(out + i, count);
        i += count;
    }
}

double classAExceedance(double amplitude, double A, double gamma, double sigmaG) {
    if (!(amplitude > 0)) return 1;
    constexpr int kMostTerms = 100000;
    double weight = std::exp(-A);
    double sum = 0;
    for (int m = 0; m < kMostTerms; ++m) {
        const double sigma = sigmaG * std::sqrt(1 + m / (A * gamma));
        sum += weight * std::erfc(amplitude / (sigma * std::sqrt(2.0)));
        weight *= A / (m + 1);
        if (m > A && weight < 1e-18) break;
    }
    return sum;
}

}  // namespace vantel::channel
