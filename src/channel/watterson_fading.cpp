#include "channel/watterson_fading.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/delay_history.h"
#include "channel/sample_formulas.h"
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
    std::string names;
    for (std::size_t i = 0; i < kFadingPresets.size(); ++i) {
        if (i > 0) names += i + 1 == kFadingPresets.size() ? " or " : ", ";
        names += kFadingPresets[i].name;
    }
    throw text::SettingError("unknown fading preset '" + std::string(name) + "': use " + names);
}

DopplerPath::DopplerPath(double spreadHz, double sampleRate, random::RandomStream stream) : stream_(stream) {
    limits::kFadingSpread.check(spreadHz);
    text::checkSampleRate(sampleRate);
    const double step = text::roundHalfEven(sampleRate / (kPointsPerSpread * spreadHz));
    // Capped so that any file lies within a few segments; the cap is beyond
    // every real case (2^40 samples, 290 days at 44.1 kHz).
    step_ = static_cast<std::int64_t>(std::clamp(step, 1.0, 1099511627776.0));
    invStep_ = 1.0 / static_cast<double>(step_);
    taps_ = dopplerTaps(spreadHz, sampleRate / static_cast<double>(step_));
    drawRe_.resize(taps_.size() + kDrawBlock);
    drawIm_.resize(taps_.size() + kDrawBlock);
    reset();
}

ComplexGain DopplerPath::makePoint() {
    if (first_ + taps_.size() > filled_) drawMore();
    const kernels::FirSum sum =
        kernels::firSum(taps_.data(), drawRe_.data() + first_, drawIm_.data() + first_, taps_.size());
    ++first_;
    return {sum.re, sum.im};
}

void DopplerPath::drawMore() {
    const std::size_t kept = filled_ - first_;
    std::copy(drawRe_.data() + first_, drawRe_.data() + filled_, drawRe_.data());
    std::copy(drawIm_.data() + first_, drawIm_.data() + filled_, drawIm_.data());
    first_ = 0;
    const std::size_t wanted = drawRe_.size() - kept;
    stream_.fillComplexGaussians(drawRe_.data() + kept, drawIm_.data() + kept, wanted);
    filled_ = kept + wanted;
}

void DopplerPath::reset() {
    stream_.reset();
    first_ = 0;
    filled_ = 0;
    from_ = makePoint();
    to_ = makePoint();
    position_ = 0;
}

void DopplerPath::nextSegment() {
    from_ = to_;
    to_ = makePoint();
    position_ = 0;
}

ComplexGain DopplerPath::next() {
    const double t = static_cast<double>(position_) * invStep_;
    const ComplexGain g{formula::interpolated(from_.re, to_.re, t), formula::interpolated(from_.im, to_.im, t)};
    if (++position_ == step_) nextSegment();
    return g;
}

void DopplerPath::process(double* re, double* im, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::int64_t wanted = static_cast<std::int64_t>(n - i);
        const auto count = static_cast<std::size_t>(std::min(step_ - position_, wanted));
        const auto position = static_cast<double>(position_);
        kernels::interpolate(from_.re, to_.re, invStep_, position, re + i, count);
        kernels::interpolate(from_.im, to_.im, invStep_, position, im + i, count);
        position_ += static_cast<std::int64_t>(count);
        if (position_ == step_) nextSegment();
        i += count;
    }
}

// Only the two points the path ends between are made: the points of the
// segments passed whole are passed by their draws alone, without their FIR,
// which spares a station's silences most of their cost.
void DopplerPath::skip(std::int64_t n) {
    if (n <= 0) return;
    const std::int64_t segments = (position_ + n) / step_;
    position_ = (position_ + n) % step_;
    for (std::int64_t k = 0; k + 2 < segments; ++k) passPoint();
    for (std::int64_t k = std::max<std::int64_t>(segments - 2, 0); k < segments; ++k) {
        from_ = to_;
        to_ = makePoint();
    }
}

void DopplerPath::passPoint() {
    if (first_ + taps_.size() > filled_) drawMore();
    ++first_;
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

WattersonChannel::WattersonChannel(double spreadHz, double delayMs, double sampleRate, random::RandomStream path1,
                                   random::RandomStream path2)
    : path1_(spreadHz, sampleRate, path1), path2_(spreadHz, sampleRate, path2) {
    limits::kFadingDelay.check(delayMs);
    delay_ = static_cast<std::int64_t>(text::roundHalfEven(delayMs * sampleRate / 1000));
    delayedI_.assign(static_cast<std::size_t>(delay_), 0.0);
    delayedQ_.assign(static_cast<std::size_t>(delay_), 0.0);
}

WattersonChannel WattersonChannel::forFile(std::uint64_t fileSeed, double spreadHz, double delayMs,
                                           double sampleRate) {
    return WattersonChannel(spreadHz, delayMs, sampleRate, random::RandomStream(fileSeed, random::StreamId::FadingPath1),
                            random::RandomStream(fileSeed, random::StreamId::FadingPath2));
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
    return formula::fadingMix(scale_, g1.re, g1.im, g2.re, g2.im, inPhase, quadrature, d.inPhase, d.quadrature);
}

void WattersonChannel::delayChunk(const double* inPhase, const double* quadrature, std::size_t n) {
    const auto delay = static_cast<std::size_t>(delay_);
    channel::delayChunk(delayedI_, head_, delay, inPhase, n, historyI_);
    channel::delayChunk(delayedQ_, head_, delay, quadrature, n, historyQ_);
    head_ = 0;
}

void WattersonChannel::process(const double* inPhase, const double* quadrature, double* out, std::size_t n) {
    for (auto* buffer : {&g1re_, &g1im_, &g2re_, &g2im_}) buffer->resize(kChunk);
    historyI_.resize(kChunk + static_cast<std::size_t>(delay_));
    historyQ_.resize(kChunk + static_cast<std::size_t>(delay_));
    for (std::size_t done = 0; done < n;) {
        const std::size_t count = std::min(kChunk, n - done);
        path1_.process(g1re_.data(), g1im_.data(), count);
        path2_.process(g2re_.data(), g2im_.data(), count);
        kernels::FadingBlock block{g1re_.data(), g1im_.data(), g2re_.data(), g2im_.data(), inPhase + done,
                                   quadrature + done, inPhase + done, quadrature + done};
        if (delay_ > 0) {
            delayChunk(inPhase + done, quadrature + done, count);
            block.delayedInPhase = historyI_.data();
            block.delayedQuadrature = historyQ_.data();
        }
        kernels::fadingMix(scale_, block, out + done, count);
        done += count;
    }
}

void WattersonChannel::skipSilence(std::int64_t n) {
    path1_.skip(n);
    path2_.skip(n);
}

void WattersonChannel::reset() {
    path1_.reset();
    path2_.reset();
    std::fill(delayedI_.begin(), delayedI_.end(), 0.0);
    std::fill(delayedQ_.begin(), delayedQ_.end(), 0.0);
    head_ = 0;
}

}  // namespace vantel::channel
