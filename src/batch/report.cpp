#include "batch/report.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "synth/level_report.h"
#include "text/number_text.h"

namespace vantel::batch {
namespace {

// A number as a reader would write it: 48, 0.5, -3, 1e+20.
std::string plainNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::optional<std::string> looseTextWarning(std::string_view option, const std::string& typed) {
    const std::string quoted = std::string(option) + " '" + typed + "'";
    const std::string value = plainNumber(text::readNumber(typed));
    switch (text::howTextReads(typed)) {
        case text::TextReading::Whole: return std::nullopt;
        case text::TextReading::InnerBlanks: return "warning: " + quoted + " read as " + value + ": blanks inside a number are ignored";
        case text::TextReading::LeadingPart: return "warning: " + quoted + " read as " + value + ": only its leading number counts";
        case text::TextReading::NoNumber: return "warning: " + quoted + " holds no number: read as 0";
        case text::TextReading::Empty: return "warning: " + quoted + " is empty: the box's rule for an empty text applies, as in the window";
    }
    return std::nullopt;
}

bool isNumeric(const TypedOption& option) { return option.id != Typed::Message; }

// Each distinct text once, in the order given.
void addWarnings(std::vector<std::string>& lines, std::set<std::string>& seen, std::string_view option,
                 const std::string& typed) {
    if (auto line = looseTextWarning(option, typed); line && seen.insert(*line).second) lines.push_back(*line);
}

std::string percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, share < 0.001 ? "%.2g %%" : "%.1f %%", 100 * share);
    return text;
}

std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// 300 as "300", 312.5 as "312.5".
std::string shortNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace

std::vector<std::string> reportLines(const FileRequest& request, const FileResult& result) {
    std::vector<std::string> lines;
    const std::string& report = result.report.text;
    for (std::size_t start = 0;;) {
        const std::size_t end = report.find(synth::kLineBreak, start);
        lines.push_back(report.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    if (const auto line = autoLevelLine(request, result)) lines.push_back(*line);
    lines.push_back(measuredSnrLine(result));
    if (const auto line = measuredInterferenceLine(result)) lines.push_back(*line);
    return lines;
}

std::optional<std::string> measuredInterferenceLine(const FileResult& result) {
    const channel::BandConditions& c = result.prepared.setup.conditions;
    const synth::SignalMeasure& m = result.measure;
    auto figure = [](double db) { return std::isnan(db) ? std::string("none") : oneDecimal(db) + " dB"; };
    std::string line;
    if (c.qrmStations > 0) line = "QRM measured: " + figure(m.qrmDb()) + " against the wanted signal";
    if (c.qrnRate > 0) {
        if (!line.empty()) line += "; ";
        line += "QRN measured: " + figure(m.qrnDb()) + " against the noise (" + std::to_string(m.qrnCrashes) +
                (m.qrnCrashes == 1 ? " crash)" : " crashes)");
    }
    if (line.empty()) return std::nullopt;
    return line;
}

std::string measuredSnrLine(const FileResult& result) {
    const double inReference = measuredSnrDb(result);
    if (std::isnan(inReference)) return "S/N measured: none (no tone or no noise)";
    return "S/N measured: " + oneDecimal(inReference) + " dB in " + shortNumber(result.prepared.form.s.BW) +
           " Hz (one-sided), " + oneDecimal(measuredSnrDb2500(result)) + " dB in 2500 Hz";
}

std::optional<std::string> autoLevelLine(const FileRequest& request, const FileResult& result) {
    if (!result.prepared.autoLevelText) return std::nullopt;
    const std::string used = result.prepared.form.text(settings::Box::ScaleText);
    return "Output level: " + used + " dB, chosen by --level auto for a file RMS of " +
           plainNumber(request.level.target()) + " dBFS";
}

std::vector<std::string> looseTextWarnings(const FileRequest& request) {
    std::vector<std::string> lines;
    std::set<std::string> seen;
    for (const TypedOption& option : kTypedOptions) {
        if (isNumeric(option) && request.typed[option.id]) addWarnings(lines, seen, option.name, *request.typed[option.id]);
    }
    return lines;
}

std::vector<std::string> looseTextWarnings(const SweepRequest& request) {
    std::vector<std::string> lines;
    std::set<std::string> seen;
    const auto swept = [&](Typed id) -> const Axis* {
        switch (id) {
            case Typed::Snr: return &request.snrs;
            case Typed::Wpm: return &request.wpms;
            case Typed::Tone: return &request.tones;
            default: return nullptr;
        }
    };
    for (const TypedOption& option : kTypedOptions) {
        if (!isNumeric(option)) continue;
        if (const Axis* values = swept(option.id)) {
            for (const auto& value : *values) {
                if (value) addWarnings(lines, seen, option.name, *value);
            }
        } else if (const auto& typed = request.base.typed[option.id]) {
            addWarnings(lines, seen, option.name, *typed);
        }
    }
    return lines;
}

std::optional<std::string> clippingWarning(const FileResult& result) {
    const std::int64_t clipped = result.stats.clipped;
    if (clipped == 0) return std::nullopt;
    const std::int64_t samples = result.prepared.setup.plan.totalSamples;
    std::string line = "warning: " + std::to_string(clipped) + " of " + std::to_string(samples) + " samples (" +
                       percent(static_cast<double>(clipped) / static_cast<double>(samples)) + ") clipped";
    if (const auto level = levelAvoidingClipping(result)) {
        line += "; --level " + *level + " would have avoided it";
    } else {
        line += "; the level has no finite value (check the S/N and --level)";
    }
    return line;
}

void ClippingSummary::add(std::size_t index, const std::string& name, std::int64_t clippedSamples,
                          std::int64_t samples) {
    ++files_;
    if (clippedSamples == 0) return;
    ++filesClipped_;
    const double share = static_cast<double>(clippedSamples) / static_cast<double>(samples);
    // The worst share, and among equal shares the first file.
    if (filesClipped_ == 1 || share > worstShare_ || (share == worstShare_ && index < worstIndex_)) {
        worstShare_ = share;
        worstIndex_ = index;
        worstFile_ = name;
    }
}

std::optional<std::string> ClippingSummary::warning(bool automaticLevel) const {
    if (filesClipped_ == 0) return std::nullopt;
    return "warning: " + std::to_string(filesClipped_) + " of " + std::to_string(files_) +
           " files have clipped samples (worst " + percent(worstShare_) + " of the samples of " + worstFile_ + "); " +
           (automaticLevel ? "a lower --auto-rms leaves more headroom" : "--level auto scales each file to avoid it");
}

}  // namespace vantel::batch
