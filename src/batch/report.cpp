#include "batch/report.h"

#include <cstdio>
#include <set>

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
    if (option == typedOption(Typed::Level).name && typed == kAutoLevel) return;
    if (auto line = looseTextWarning(option, typed); line && seen.insert(*line).second) lines.push_back(*line);
}

std::string percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, share < 0.001 ? "%.2g %%" : "%.1f %%", 100 * share);
    return text;
}

}  // namespace

std::vector<std::string> looseTextWarnings(const GenOptions& options) {
    std::vector<std::string> lines;
    std::set<std::string> seen;
    for (const TypedOption& option : kTypedOptions) {
        if (isNumeric(option) && options.typed[option.id]) addWarnings(lines, seen, option.name, *options.typed[option.id]);
    }
    return lines;
}

std::vector<std::string> looseTextWarnings(const SweepPlan& plan) {
    std::vector<std::string> lines;
    std::set<std::string> seen;
    const auto swept = [&](Typed id) -> const std::vector<std::optional<std::string>>* {
        switch (id) {
            case Typed::Snr: return &plan.snrs;
            case Typed::Wpm: return &plan.wpms;
            case Typed::Tone: return &plan.tones;
            default: return nullptr;
        }
    };
    for (const TypedOption& option : kTypedOptions) {
        if (!isNumeric(option)) continue;
        if (const auto* values = swept(option.id)) {
            for (const auto& value : *values) {
                if (value) addWarnings(lines, seen, option.name, *value);
            }
        } else if (const auto& typed = plan.base.typed[option.id]) {
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

std::optional<std::string> sweepClippingWarning(const SweepOutcome& outcome, bool autoLevel) {
    if (outcome.filesClipped == 0) return std::nullopt;
    return "warning: " + std::to_string(outcome.filesClipped) + " of " + std::to_string(outcome.filesWritten) +
           " files have clipped samples (worst " + percent(outcome.worstClippedShare) + " of the samples of " +
           outcome.worstClippedFile + "); " +
           (autoLevel ? "a lower --auto-rms leaves more headroom" : "--level auto scales each file to avoid it");
}

std::optional<std::string> autoLevelLine(const GenOptions& options, const FileResult& result) {
    if (!result.prepared.autoLevelText) return std::nullopt;
    const std::string used = result.prepared.form.text(settings::Box::ScaleText);
    return "Output level: " + used + " dB, chosen by --level auto for a file RMS of " +
           plainNumber(options.autoRmsDbfs) + " dBFS";
}

}  // namespace vantel::batch
