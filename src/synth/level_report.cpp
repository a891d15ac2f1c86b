#include "synth/level_report.h"

#include <cmath>

#include "text/number_text.h"

namespace vantel::synth {
namespace {

// ln 10 as the level figures have always used it.
constexpr double kLn10 = 2.3026;
constexpr double kFullScale = 32767;
constexpr double kLowLevelPeak = 3277;
constexpr std::int32_t kRunningFigureThreshold = 20;

std::string rmsText(std::int64_t rms) { return "RMS = " + text::formatPattern(static_cast<double>(rms), "#####"); }

}  // namespace

std::optional<std::string> runningClippingFigure(const LevelStats& stats) {
    if (stats.clipped <= kRunningFigureThreshold) return std::nullopt;
    const double excess = 20 / kLn10 * std::log(stats.peak / kFullScale);
    return text::formatPattern(excess, "  ##") + "dB clipping";
}

std::int64_t roundedRms(std::int64_t samples, const LevelStats& stats) {
    if (samples <= 0) return 0;
    return static_cast<std::int64_t>(std::floor(std::sqrt(static_cast<double>(stats.sumSquares) / static_cast<double>(samples)) + 0.5));
}

Report levelReport(const std::string& fileName, std::int64_t samples, const LevelStats& stats) {
    const std::int64_t rms = roundedRms(samples, stats);
    if (stats.clipped > static_cast<double>(samples) / 100) {
        return {ReportKind::SevereClipping, "Severe Clipping. Reduce output scaling"};
    }
    if (stats.peak < kLowLevelPeak) {
        return {ReportKind::LowLevel,
                std::string("Output level low.  Increase output Scaling") + kLineBreak + kLineBreak + rmsText(rms)};
    }
    return {ReportKind::Normal, fileName + kLineBreak + kLineBreak + text::signedForm(static_cast<double>(samples)) +
                                    " Samples" + kLineBreak + rmsText(rms)};
}

Report abortReport(std::int64_t plannedSamples, const LevelStats& stats) {
    std::string text = " Aborted!  Change any parameter to restart";
    if (stats.clipped > static_cast<double>(plannedSamples) / 10) text += "  Severe Clipping, reduce output scaling";
    return {ReportKind::Aborted, text};
}

}  // namespace vantel::synth
