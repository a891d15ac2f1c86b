#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "synth/level_stats.h"

namespace vantel::synth {

// How a report is to be shown: normal (blue), a problem (red) or a low level
// (magenta).
enum class ReportKind { Normal, SevereClipping, LowLevel, Aborted, Error };

struct Report {
    ReportKind kind;
    std::string text;  // lines joined by CR LF
};

inline constexpr const char* kLineBreak = "\r\n";

// The clipping excess in dB shown while a run goes on, once more than 20
// samples have clipped.
std::optional<std::string> runningClippingFigure(const LevelStats& stats);

// The report at the end of a complete run of `samples` samples (at least one).
Report levelReport(const std::string& fileName, std::int64_t samples, const LevelStats& stats);

// The report when the user aborted a run planned for `plannedSamples`.
Report abortReport(std::int64_t plannedSamples, const LevelStats& stats);

// The RMS of the written samples, rounded half up.
std::int64_t roundedRms(std::int64_t samples, const LevelStats& stats);

}  // namespace vantel::synth
