#include "keying/morse_timing.h"

#include <algorithm>
#include <cmath>

#include "keying/timing_limits.h"
#include "random/random_stream.h"
#include "maths/fast_math.h"
#include "text/number_text.h"

namespace vantel::keying {
namespace {

// One mark or gap, in dot units at the character speed, and the symbol it
// belongs to.
struct Piece {
    bool keyDown;
    double units;
    std::size_t symbol;
};

// The pieces whose edges bound a symbol's label: from the start of `first`
// to the end of `last`.
struct SymbolSpan {
    std::size_t first;
    std::size_t last;
};

struct Layout {
    std::vector<Piece> pieces;
    std::vector<SymbolSpan> spans;
};

struct Gaps {
    double character;  // after a character's last mark
    double blank;      // added by each blank
};

Gaps gapsFor(const TimingOptions& options, double characterWpm) {
    double character = 3;
    double word = 5;  // the classic three units and two more for the blank
    if (options.farnsworthWpm > 0) {
        // The ARRL's ta, in dots of 1.2 / c seconds: (60c - 37.2s) / (1.2 s).
        const double ta = 50 * characterWpm / options.farnsworthWpm - 31;
        character = 3 * ta / 19;
        word = 7 * ta / 19;
    }
    return {character, options.wordSpaceFactor * word - character};
}

void layOutCharacter(const MessageSymbol& symbol, std::size_t index, const TimingOptions& options, const Gaps& gaps,
                     Layout& layout) {
    // Weight moves the edge between a mark and the gap after it.
    const double weightShift = 2 * options.weightPercent / 100 - 1;
    const std::size_t first = layout.pieces.size();
    for (std::size_t i = 0; i < symbol.code.size(); ++i) {
        const double mark = (symbol.code[i] == '.' ? 1 : options.dashRatio) + weightShift;
        const double gap = (i + 1 == symbol.code.size() ? gaps.character : 1) - weightShift;
        layout.pieces.push_back({true, mark, index});
        layout.pieces.push_back({false, gap, index});
    }
    layout.spans.push_back({first, layout.pieces.size() - 2});
}

Layout layOut(const std::vector<MessageSymbol>& symbols, const TimingOptions& options, const Gaps& gaps) {
    Layout layout;
    for (std::size_t s = 0; s < symbols.size(); ++s) {
        if (symbols[s].isBlank()) {
            layout.spans.push_back({layout.pieces.size(), layout.pieces.size()});
            layout.pieces.push_back({false, gaps.blank, s});
        } else {
            layOutCharacter(symbols[s], s, options, gaps, layout);
        }
    }
    return layout;
}

double clippedGaussian(random::RandomStream& stream) { return std::clamp(stream.gaussian(), -3.0, 3.0); }

// Each symbol's speed relative to the character speed (1 without drift).
std::vector<double> speedFactors(std::size_t symbols, double driftPercent, random::RandomStream stream) {
    std::vector<double> factors(symbols, 1.0);
    if (driftPercent == 0 || symbols == 0) return factors;
    const double sigma = driftPercent / 100;
    const double step = fastmath::exp(-1 / kDriftCorrelationSymbols);
    const double innovation = std::sqrt(1 - step * step) * sigma;
    double x = sigma * stream.gaussian();  // started in the stationary distribution
    for (std::size_t s = 0; s < symbols; ++s) {
        if (s > 0) x = step * x + innovation * stream.gaussian();
        factors[s] = fastmath::exp(std::clamp(x, -3 * sigma, 3 * sigma));
    }
    return factors;
}

// The real-valued start time of every piece and the end of the last, in
// samples, with each run of equal key state stretched by its jitter factor.
std::vector<double> pieceTimes(const Layout& layout, const std::vector<double>& speed, double dotSamples,
                               double jitterPercent, random::RandomStream jitter) {
    const std::vector<Piece>& pieces = layout.pieces;
    std::vector<double> times(pieces.size() + 1, 0.0);
    double runStart = 0;
    for (std::size_t p = 0; p < pieces.size();) {
        std::size_t end = p;
        while (end < pieces.size() && pieces[end].keyDown == pieces[p].keyDown) ++end;
        const double factor =
            jitterPercent == 0 ? 1.0 : std::max(0.1, 1 + jitterPercent / 100 * clippedGaussian(jitter));
        double within = 0;
        for (std::size_t q = p; q < end; ++q) {
            times[q] = runStart + factor * within;
            within += pieces[q].units * dotSamples / speed[pieces[q].symbol];
        }
        runStart += factor * within;
        times[end] = runStart;
        p = end;
    }
    return times;
}

// Every edge rounded on its own. Run edges are kept at least one sample
// apart; an edge inside a run (between blanks) stays within its run.
std::vector<std::int64_t> roundEdges(const Layout& layout, const std::vector<double>& times) {
    const std::vector<Piece>& pieces = layout.pieces;
    std::vector<std::int64_t> edges(times.size(), 0);
    std::int64_t runEdge = 0;
    std::size_t runFirst = 0;
    for (std::size_t p = 1; p <= pieces.size(); ++p) {
        const auto rounded = static_cast<std::int64_t>(text::roundHalfEven(times[p]));
        if (p < pieces.size() && pieces[p].keyDown == pieces[p - 1].keyDown) {
            edges[p] = rounded;
            continue;
        }
        runEdge = std::max(rounded, runEdge + 1);
        edges[p] = runEdge;
        for (std::size_t q = runFirst + 1; q < p; ++q) edges[q] = std::clamp(edges[q], edges[runFirst], runEdge);
        runFirst = p;
    }
    return edges;
}

void checkInputs(double sampleRate, double characterWpm, const TimingOptions& options) {
    text::checkSampleRate(sampleRate);
    if (!(characterWpm > 0 && characterWpm <= 1000)) {
        throw text::SettingError("bad character speed '" + text::shortestText(characterWpm) +
                                 "': use more than 0 up to 1000 WPM");
    }
    keying::checkFarnsworth(options.farnsworthWpm, characterWpm);
    limits::kWordSpace.check(options.wordSpaceFactor);
    limits::kDashRatio.check(options.dashRatio);
    limits::kWeight.check(options.weightPercent);
    limits::kJitter.check(options.jitterPercent);
    limits::kSpeedDrift.check(options.speedDriftPercent);
}

}  // namespace

double samplesPerDot(double sampleRate, double characterWpm) { return sampleRate * 1.2 / characterWpm; }

TimedMessage timeMessage(const std::vector<MessageSymbol>& symbols, double sampleRate, double characterWpm,
                         const TimingOptions& options, std::uint64_t fileSeed) {
    checkInputs(sampleRate, characterWpm, options);
    const Layout layout = layOut(symbols, options, gapsFor(options, characterWpm));
    const std::vector<double> speed =
        speedFactors(symbols.size(), options.speedDriftPercent, {fileSeed, random::StreamId::SpeedDrift});
    const std::vector<double> times = pieceTimes(layout, speed, samplesPerDot(sampleRate, characterWpm),
                                                 options.jitterPercent, {fileSeed, random::StreamId::Jitter});
    // Far beyond any file, but sample counts must stay whole 64-bit numbers.
    constexpr double kLongest = 4.0e18;
    if (!(times.back() < kLongest)) throw text::SettingError("message too long: more than 4e18 samples");
    const std::vector<std::int64_t> edges = roundEdges(layout, times);

    TimedMessage timed;
    for (std::size_t p = 0; p < layout.pieces.size(); ++p) {
        const bool keyDown = layout.pieces[p].keyDown;
        if (timed.runs.empty() || timed.runs.back().keyDown != keyDown) timed.runs.push_back({keyDown, 0});
        timed.runs.back().samples += edges[p + 1] - edges[p];
    }
    for (std::size_t s = 0; s < symbols.size(); ++s) {
        const SymbolSpan span = layout.spans[s];
        // The one-sample delay of the keying.
        timed.labels.push_back({symbols[s].text, edges[span.first] + 1, edges[span.last + 1] + 1});
    }
    timed.totalSamples = edges.back();
    return timed;
}

void checkFarnsworth(double overallWpm, double characterWpm) {
    if (overallWpm == 0) return;
    if (overallWpm >= limits::kLowestFarnsworthWpm && overallWpm < characterWpm) return;
    throw text::SettingError("bad --farnsworth '" + text::shortestText(overallWpm) + "': use 0 (off) or 1 up to below the character " +
                    "speed of " + text::shortestText(characterWpm) + " WPM");
}

}  // namespace vantel::keying
