#include "channel/edge_shaper.h"

#include <algorithm>
#include <string>

#include "channel/band_conditions.h"
#include "channel/channel_kernels.h"
#include "channel/sample_formulas.h"
#include "text/number_text.h"

namespace vantel::channel {

double edgeEnvelope(bool keyDown, std::int64_t runLength, std::int64_t position, std::int64_t riseSamples) {
    const std::int64_t edge = std::min(riseSamples, runLength);
    if (position >= edge) return keyDown ? 1.0 : 0.0;
    return formula::edge(keyDown, static_cast<double>(position), static_cast<double>(edge));
}

std::int64_t riseSamples(double riseMs, double sampleRate) {
    limits::kRise.check(riseMs);
    text::checkSampleRate(sampleRate);
    return static_cast<std::int64_t>(text::roundHalfEven(riseMs * sampleRate / 1000));
}

EdgeShaper::EdgeShaper(std::span<const keying::KeyRun> runs, std::int64_t riseSamples)
    : runs_(runs), rise_(riseSamples) {
    if (riseSamples < 0) throw text::SettingError("bad edge length: " + std::to_string(riseSamples) + " samples");
    advance(0);  // past any empty runs
}

double EdgeShaper::next() {
    if (run_ >= runs_.size()) return 0;
    const keying::KeyRun& run = runs_[run_];
    const double value = edgeEnvelope(run.keyDown, run.samples, position_, rise_);
    advance(1);
    return value;
}

void EdgeShaper::process(double* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n && run_ < runs_.size()) {
        const std::int64_t left = runs_[run_].samples - position_;
        const std::int64_t count = std::min<std::int64_t>(left, static_cast<std::int64_t>(n - done));
        fillRun(out + done, count);
        advance(count);
        done += static_cast<std::size_t>(count);
    }
    std::fill(out + done, out + n, 0.0);
}

void EdgeShaper::fillRun(double* out, std::int64_t n) const {
    const keying::KeyRun& run = runs_[run_];
    const std::int64_t edge = std::min(rise_, run.samples);
    const std::int64_t inEdge = std::clamp<std::int64_t>(edge - position_, 0, n);
    kernels::edge(run.keyDown, static_cast<double>(position_), static_cast<double>(edge), out,
                  static_cast<std::size_t>(inEdge));
    std::fill(out + inEdge, out + n, run.keyDown ? 1.0 : 0.0);
}

void EdgeShaper::advance(std::int64_t n) {
    position_ += n;
    while (run_ < runs_.size() && position_ >= runs_[run_].samples) {
        position_ -= runs_[run_].samples;
        ++run_;
    }
}

void EdgeShaper::reset() {
    run_ = 0;
    position_ = 0;
    advance(0);
}

}  // namespace vantel::channel
