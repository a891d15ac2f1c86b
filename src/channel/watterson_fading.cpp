#include "channel/watterson_fading.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "channel/band_conditions.h"
#include "maths/fast_math.h"
#include "text/number_text.h"

namespace vantel::channel {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTapSigmas = 4;

// The Gaussian taps whose power response is the Doppler spectrum: a Gaussian
// impulse response of standard deviation s_t has the power response
// exp(-4 pi^2 s_t^2 f^2), a Gaussian of standard deviation
// 1 / (2 sqrt(2) pi s_t); the spectrum's sigma is half the spread.
std::vector<double> dopplerTaps(double spreadHz, double pointRate) {
    const double sigmaHz = spreadHz / 2;
    const double sigmaPoints = pointRate / (2 * std::sqrt(2.0) * kPi * sigmaHz);
    const auto half = static_cast<std::int64_t>(std::ceil(kTapSigmas * sigmaPoints));
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double power = 0;
    for (std::int64_t k = -half; k <= half; ++k) {
        const double x = static_cast<double>(k) / sigmaPoints;
        const double tap = fastmath::exp(-0.5 * x * x);
        taps[static_cast<std::size_t>(k + half)] = tap;
        power += tap * tap;
    }
    // Unit-power draws through taps of power 1/2: a path of mean power 1/2.
    const double norm = std::sqrt(0.5 / power);
    for (double& tap : taps) tap *= norm;
    return taps;
}

double power(const ComplexGain& g) { return g.re * g.re + g.im * g.im; }
double realProduct(const ComplexGain& a, const ComplexGain& b) { return a.re * b.re + a.im * b.im; }

// For t_j = j / step, j = 0 .. count-1: the sums of (1-t)^2, t(1-t) and t^2,
// which weigh |from|^2, 2 Re(from conj(to)) and |to|^2 in the power of a
// linearly interpolated stretch.
struct SegmentWeights {
    double from;
    double cross;
    double to;
};
SegmentWeights segmentWeights(std::int64_t count, std::int64_t step) {
    const auto j = static_cast<double>(count);
    const auto m = static_cast<double>(step);
    const double sumT = j * (j - 1) / 2 / m;
    const double sumT2 = (j - 1) * j * (2 * j - 1) / 6 / (m * m);
    return {j - 2 * sumT + sumT2, sumT - sumT2, sumT2};
}

}  // namespace

FadingPreset fadingPreset(std::string_view name) {
    for (const FadingPreset& preset : kFadingPresets) {
        if (preset.name == name) return preset;
    }
    throw BandError("unknown fading preset '" + std::string(name) + "': use good, moderate, poor or flutter");
}

DopplerPath::DopplerPath(double spreadHz, double sampleRate, RandomStream stream) : stream_(stream) {
    limits::kFadingSpread.check(spreadHz);
    checkSampleRate(sampleRate);
    const double step = text::roundHalfEven(sampleRate / (kPointsPerSpread * spreadHz));
    // Capped so that any file lies within a few segments; the cap is beyond
    // every real case (2^40 samples, 290 days at 44.1 kHz).
    step_ = static_cast<std::int64_t>(std::clamp(step, 1.0, 1099511627776.0));
    invStep_ = 1.0 / static_cast<double>(step_);
    taps_ = dopplerTaps(spreadHz, sampleRate / static_cast<double>(step_));
    window_.resize(2 * taps_.size());
    reset();
}

ComplexGain DopplerPath::makePoint() {
    const std::size_t n = taps_.size();
    const ComplexGain* draws = window_.data() + head_;
    ComplexGain sum;
    for (std::size_t k = 0; k < n; ++k) {
        sum.re += taps_[k] * draws[k].re;
        sum.im += taps_[k] * draws[k].im;
    }
    // Slide the window on by one draw.
    const RandomStream::Complex draw = stream_.complexGaussian();
    window_[head_] = window_[head_ + n] = {draw.re, draw.im};
    head_ = head_ + 1 == n ? 0 : head_ + 1;
    return sum;
}

void DopplerPath::reset() {
    stream_.reset();
    const std::size_t n = taps_.size();
    for (std::size_t k = 0; k < n; ++k) {
        const RandomStream::Complex draw = stream_.complexGaussian();
        window_[k] = window_[k + n] = {draw.re, draw.im};
    }
    head_ = 0;
    from_ = makePoint();
    to_ = makePoint();
    position_ = 0;
}

void DopplerPath::nextSegment() {
    from_ = to_;
    to_ = makePoint();
    position_ = 0;
}

ComplexGain DopplerPath::interpolate(std::int64_t position) const {
    const double t = static_cast<double>(position) * invStep_;
    return {from_.re + (to_.re - from_.re) * t, from_.im + (to_.im - from_.im) * t};
}

ComplexGain DopplerPath::next() {
    const ComplexGain g = interpolate(position_);
    if (++position_ == step_) nextSegment();
    return g;
}

void DopplerPath::fill(ComplexGain* out, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::int64_t wanted = static_cast<std::int64_t>(n - i);
        const auto count = static_cast<std::size_t>(std::min(step_ - position_, wanted));
        for (std::size_t j = 0; j < count; ++j) out[i + j] = interpolate(position_ + static_cast<std::int64_t>(j));
        position_ += static_cast<std::int64_t>(count);
        if (position_ == step_) nextSegment();
        i += count;
    }
}

double DopplerPath::meanPower(std::int64_t samples) const {
    if (samples <= 0) return 0;
    DopplerPath path = *this;
    path.reset();
    const SegmentWeights whole = segmentWeights(step_, step_);
    double sum = 0;
    for (std::int64_t left = samples; left > 0; left -= step_) {
        const SegmentWeights w = left >= step_ ? whole : segmentWeights(left, step_);
        sum += w.from * power(path.from_) + 2 * w.cross * realProduct(path.from_, path.to_) + w.to * power(path.to_);
        path.nextSegment();
    }
    return sum / static_cast<double>(samples);
}

WattersonChannel::WattersonChannel(double spreadHz, double delayMs, double sampleRate, RandomStream path1,
                                   RandomStream path2)
    : path1_(spreadHz, sampleRate, path1), path2_(spreadHz, sampleRate, path2) {
    limits::kFadingDelay.check(delayMs);
    delay_ = static_cast<std::int64_t>(text::roundHalfEven(delayMs * sampleRate / 1000));
    delayedI_.assign(static_cast<std::size_t>(delay_), 0.0);
    delayedQ_.assign(static_cast<std::size_t>(delay_), 0.0);
}

WattersonChannel WattersonChannel::forFile(std::uint64_t fileSeed, double spreadHz, double delayMs,
                                           double sampleRate) {
    return WattersonChannel(spreadHz, delayMs, sampleRate, RandomStream(fileSeed, StreamId::FadingPath1),
                            RandomStream(fileSeed, StreamId::FadingPath2));
}

void WattersonChannel::normaliseOver(std::int64_t samples) {
    const double mean = meanGainPower(samples);
    scale_ = mean > 0 ? 1 / std::sqrt(mean) : 1;
}

WattersonChannel::Delayed WattersonChannel::delayLine(double inPhase, double quadrature) {
    if (delay_ == 0) return {inPhase, quadrature};
    const Delayed out{delayedI_[head_], delayedQ_[head_]};
    delayedI_[head_] = inPhase;
    delayedQ_[head_] = quadrature;
    head_ = head_ + 1 == delayedI_.size() ? 0 : head_ + 1;
    return out;
}

double WattersonChannel::next(double inPhase, double quadrature) {
    const Delayed d = delayLine(inPhase, quadrature);
    const ComplexGain g1 = path1_.next();
    const ComplexGain g2 = path2_.next();
    return mix(g1, g2, inPhase, quadrature, d.inPhase, d.quadrature);
}

void WattersonChannel::process(const double* inPhase, const double* quadrature, double* out, std::size_t n) {
    gains1_.resize(kChunk);
    gains2_.resize(kChunk);
    for (std::size_t done = 0; done < n;) {
        const std::size_t count = std::min(kChunk, n - done);
        path1_.fill(gains1_.data(), count);
        path2_.fill(gains2_.data(), count);
        for (std::size_t k = 0; k < count; ++k) {
            const double i = inPhase[done + k];
            const double q = quadrature[done + k];
            const Delayed d = delayLine(i, q);
            out[done + k] = mix(gains1_[k], gains2_[k], i, q, d.inPhase, d.quadrature);
        }
        done += count;
    }
}

void WattersonChannel::reset() {
    path1_.reset();
    path2_.reset();
    std::fill(delayedI_.begin(), delayedI_.end(), 0.0);
    std::fill(delayedQ_.begin(), delayedQ_.end(), 0.0);
    head_ = 0;
}

}  // namespace vantel::channel
