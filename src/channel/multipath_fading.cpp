#include "channel/multipath_fading.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "channel/channel_kernels.h"
#include "channel/delay_history.h"
#include "channel/sample_formulas.h"
#include "maths/fast_math.h"
#include "text/number_text.h"

namespace vantel::channel {
namespace {

constexpr std::array<random::StreamId, limits::kMostFadingPaths> kFileStreams{
    random::StreamId::FadingPath1, random::StreamId::FadingPath2, random::StreamId::FadingPath3,
    random::StreamId::FadingPath4};
constexpr std::array<random::StreamId, limits::kMostFadingPaths> kStationStreams{
    random::StreamId::QrmFadingPath1, random::StreamId::QrmFadingPath2, random::StreamId::QrmFadingPath3,
    random::StreamId::QrmFadingPath4};

void checkPaths(const std::vector<FadingPathSetting>& paths) {
    if (paths.empty() || paths.size() > static_cast<std::size_t>(limits::kMostFadingPaths)) {
        throw text::SettingError("--fading-paths gives 1 to " + std::to_string(limits::kMostFadingPaths) +
                                 " paths, not " + std::to_string(paths.size()));
    }
    for (const FadingPathSetting& path : paths) {
        limits::kPathDelay.check(path.delayMs);
        limits::kPathSpread.check(path.spreadHz);
        limits::kPathPower.check(path.powerDb);
        limits::kPathShift.check(path.shiftHz);
    }
}

double powerRatio(double db) { return fastmath::exp(2 * fastmath::kNepersPerDb * db); }

ComplexGain phasor(double amplitude, double sample, double cyclesPerSample) {
    const double angle = formula::kTwoPi * formula::steadyPhase(sample, cyclesPerSample, 0);
    return {amplitude * fastmath::cos(angle), amplitude * fastmath::sin(angle)};
}

formula::Complex complex(const ComplexGain& g) { return {g.re, g.im}; }

}  // namespace

MultipathChannel::MultipathChannel(const std::vector<FadingPathSetting>& paths, double sampleRate,
                                   const std::vector<random::RandomStream>& streams) {
    checkPaths(paths);
    if (streams.size() != paths.size()) throw std::invalid_argument("MultipathChannel takes one stream per path");
    double total = 0;
    for (const FadingPathSetting& path : paths) total += powerRatio(path.powerDb);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const FadingPathSetting& setting = paths[i];
        const auto delay = static_cast<std::int64_t>(text::roundHalfEven(setting.delayMs * sampleRate / 1000));
        Path path{DopplerPath(setting.spreadHz, sampleRate, streams[i]), delay,
                  std::sqrt(2 * powerRatio(setting.powerDb) / total), setting.shiftHz / sampleRate, {}, {}, -1, {}};
        if (path.cyclesPerSample != 0) {
            for (std::int64_t k = 0; k < kTurnBlock; ++k) {
                const ComplexGain turn = phasor(1, static_cast<double>(k), path.cyclesPerSample);
                path.turnRe.push_back(turn.re);
                path.turnIm.push_back(turn.im);
            }
        }
        longestDelay_ = std::max(longestDelay_, delay);
        paths_.push_back(std::move(path));
    }
    delayedI_.assign(static_cast<std::size_t>(longestDelay_), 0.0);
    delayedQ_.assign(static_cast<std::size_t>(longestDelay_), 0.0);
}

MultipathChannel MultipathChannel::forFile(std::uint64_t fileSeed, const std::vector<FadingPathSetting>& paths,
                                           double sampleRate) {
    checkPaths(paths);
    std::vector<random::RandomStream> streams;
    for (std::size_t i = 0; i < paths.size(); ++i) streams.emplace_back(fileSeed, kFileStreams[i]);
    return MultipathChannel(paths, sampleRate, streams);
}

MultipathChannel MultipathChannel::forStation(std::uint64_t fileSeed, std::uint64_t station,
                                              const std::vector<FadingPathSetting>& paths, double sampleRate) {
    checkPaths(paths);
    std::vector<random::RandomStream> streams;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        streams.push_back(random::RandomStream(fileSeed, kStationStreams[i]).derive(station));
    }
    return MultipathChannel(paths, sampleRate, streams);
}

double MultipathChannel::meanGainPower(std::int64_t samples) const {
    double sum = 0;
    for (const Path& path : paths_) sum += path.amplitude * path.amplitude * path.gains.meanPower(samples);
    return sum;
}

void MultipathChannel::normaliseOver(std::int64_t samples) {
    const double mean = meanGainPower(samples);
    scale_ = mean > 0 ? 1 / std::sqrt(mean) : 1;
}

const ComplexGain& MultipathChannel::anchorAt(Path& path, std::int64_t block) {
    if (block != path.anchorBlock) {
        path.anchor = phasor(path.amplitude, static_cast<double>(block * kTurnBlock), path.cyclesPerSample);
        path.anchorBlock = block;
    }
    return path.anchor;
}

double MultipathChannel::next(double inPhase, double quadrature) {
    const auto longest = static_cast<std::size_t>(longestDelay_);
    double sum = 0;
    for (Path& path : paths_) {
        const auto delay = static_cast<std::size_t>(path.delay);
        const std::size_t slot = (head_ + longest - delay) % std::max<std::size_t>(longest, 1);
        const double i = delay == 0 ? inPhase : delayedI_[slot];
        const double q = delay == 0 ? quadrature : delayedQ_[slot];
        const ComplexGain g = path.gains.next();
        formula::Complex h{path.amplitude * g.re, path.amplitude * g.im};
        if (path.cyclesPerSample != 0) {
            const auto k = static_cast<std::size_t>(sample_ % kTurnBlock);
            h = formula::shiftedGain(complex(g), complex(anchorAt(path, sample_ / kTurnBlock)),
                                     {path.turnRe[k], path.turnIm[k]});
        }
        sum = formula::pathSum(sum, h, i, q);
    }
    if (longest > 0) {
        delayedI_[head_] = inPhase;
        delayedQ_[head_] = quadrature;
        head_ = head_ + 1 == longest ? 0 : head_ + 1;
    }
    ++sample_;
    return scale_ * sum;
}

void MultipathChannel::delayChunk(const double* inPhase, const double* quadrature, std::size_t n) {
    const auto delay = static_cast<std::size_t>(longestDelay_);
    channel::delayChunk(delayedI_, head_, delay, inPhase, n, historyI_);
    channel::delayChunk(delayedQ_, head_, delay, quadrature, n, historyQ_);
    head_ = 0;
}

void MultipathChannel::addPath(Path& path, const double* inPhase, const double* quadrature, std::size_t n) {
    path.gains.process(gRe_.data(), gIm_.data(), n);
    kernels::PathBlock block{gRe_.data(), gIm_.data(), inPhase, quadrature};
    if (longestDelay_ > 0) {
        const auto first = static_cast<std::size_t>(longestDelay_ - path.delay);
        block.inPhase = historyI_.data() + first;
        block.quadrature = historyQ_.data() + first;
    }
    if (path.cyclesPerSample == 0) {
        kernels::addPath(path.amplitude, block, sum_.data(), n);
        return;
    }
    for (std::size_t done = 0; done < n;) {
        const std::int64_t sample = sample_ + static_cast<std::int64_t>(done);
        const auto k = static_cast<std::size_t>(sample % kTurnBlock);
        const std::size_t count = std::min(static_cast<std::size_t>(kTurnBlock) - k, n - done);
        const ComplexGain& anchor = anchorAt(path, sample / kTurnBlock);
        const kernels::PathBlock piece{block.gRe + done, block.gIm + done, block.inPhase + done,
                                       block.quadrature + done};
        kernels::addShiftedPath(anchor.re, anchor.im, path.turnRe.data() + k, path.turnIm.data() + k, piece,
                                sum_.data() + done, count);
        done += count;
    }
}

void MultipathChannel::process(const double* inPhase, const double* quadrature, double* out, std::size_t n) {
    for (auto* buffer : {&gRe_, &gIm_, &sum_}) buffer->resize(kChunk);
    historyI_.resize(kChunk + static_cast<std::size_t>(longestDelay_));
    historyQ_.resize(kChunk + static_cast<std::size_t>(longestDelay_));
    for (std::size_t done = 0; done < n;) {
        const std::size_t count = std::min(kChunk, n - done);
        if (longestDelay_ > 0) delayChunk(inPhase + done, quadrature + done, count);
        std::fill(sum_.begin(), sum_.begin() + static_cast<std::ptrdiff_t>(count), 0.0);
        for (Path& path : paths_) addPath(path, inPhase + done, quadrature + done, count);
        for (std::size_t k = 0; k < count; ++k) out[done + k] = scale_ * sum_[k];
        sample_ += static_cast<std::int64_t>(count);
        done += count;
    }
}

void MultipathChannel::skipSilence(std::int64_t n) {
    for (Path& path : paths_) path.gains.skip(n);
    sample_ += n;
}

void MultipathChannel::reset() {
    for (Path& path : paths_) path.gains.reset();
    std::fill(delayedI_.begin(), delayedI_.end(), 0.0);
    std::fill(delayedQ_.begin(), delayedQ_.end(), 0.0);
    head_ = 0;
    sample_ = 0;
}

namespace {

[[noreturn]] void refusePaths(std::string_view text, const std::string& fault) {
    throw text::SettingError("bad --fading-paths '" + std::string(text) + "': " + fault +
                             "; use DELAY:SPREAD[:POWER[:SHIFT]] per path (ms, Hz, dB, Hz), 1 to " +
                             std::to_string(limits::kMostFadingPaths) + " paths separated by '/', e.g. 0:0.5/2:1:-6");
}

// The whole field as a number: no blanks, nothing after it.
bool readsStrictly(std::string_view field) {
    return field.find_first_of(" \t\r\n") == std::string_view::npos &&
           text::howTextReads(field) == text::TextReading::Whole;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t to = text.find(separator, from);
        parts.push_back(text.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from));
        if (to == std::string_view::npos) return parts;
        from = to + 1;
    }
}

}  // namespace

std::vector<FadingPathSetting> parseFadingPaths(std::string_view text) {
    constexpr std::array<std::string_view, 4> kNames{"delay", "spread", "power", "shift"};
    constexpr std::array<const text::Limit*, 4> kLimits{&limits::kPathDelay, &limits::kPathSpread,
                                                        &limits::kPathPower, &limits::kPathShift};
    const std::vector<std::string_view> texts = split(text, '/');
    if (texts.size() > static_cast<std::size_t>(limits::kMostFadingPaths)) {
        refusePaths(text, std::to_string(texts.size()) + " paths");
    }
    std::vector<FadingPathSetting> paths;
    for (std::size_t p = 0; p < texts.size(); ++p) {
        const std::string path = "path " + std::to_string(p + 1);
        const std::vector<std::string_view> fields = split(texts[p], ':');
        if (fields.size() < 2 || fields.size() > 4) {
            refusePaths(text, path + " '" + std::string(texts[p]) + "' is not 2 to 4 numbers separated by ':'");
        }
        std::array<double, 4> values{0, 0, 0, 0};
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::string field = path + "'s " + std::string(kNames[f]) + " '" + std::string(fields[f]) + "'";
            if (!readsStrictly(fields[f])) refusePaths(text, field + " is not a number");
            values[f] = text::readNumber(fields[f]);
            if (!kLimits[f]->allows(values[f])) {
                refusePaths(text, field + " is not " + kLimits[f]->rangeText());
            }
        }
        paths.push_back({values[0], values[1], values[2], values[3]});
    }
    return paths;
}

std::string fadingPathsText(const std::vector<FadingPathSetting>& paths) {
    std::string text;
    for (const FadingPathSetting& path : paths) {
        if (!text.empty()) text += '/';
        text += text::shortestText(path.delayMs) + ":" + text::shortestText(path.spreadHz);
        if (path.powerDb != 0 || path.shiftHz != 0) text += ":" + text::shortestText(path.powerDb);
        if (path.shiftHz != 0) text += ":" + text::shortestText(path.shiftHz);
    }
    return text;
}

}  // namespace vantel::channel
