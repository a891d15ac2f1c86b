#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch/render.h"
#include "batch/request.h"

// What a run tells besides its file: the report lines vantel-gen prints
// after a run (and Python hands back), and the warnings on standard error
// for texts read loosely and samples clipped. Each warning starts
// "warning: ".
namespace vantel::batch {

// The level report's lines, then the level an automatic level chose, the
// measured S/N and, with QRM or QRN, their measured power.
std::vector<std::string> reportLines(const FileRequest& request, const FileResult& result);

// "S/N measured: 17.0 dB in 300 Hz (one-sided), 7.8 dB in 2500 Hz".
std::string measuredSnrLine(const FileResult& result);

// With QRM or QRN on: "QRM measured: -2.8 dB against the wanted signal; QRN
// measured: 6.1 dB against the noise (41 crashes)": the QRM's mean power
// against the wanted signal's key-down power and the QRN's against the
// background noise's, as generated. Nothing when neither is on.
std::optional<std::string> measuredInterferenceLine(const FileResult& result);

// "Output level: -17.1 dB, chosen by --level auto for a file RMS of -20
// dBFS"; nothing without an automatic level.
std::optional<std::string> autoLevelLine(const FileRequest& request, const FileResult& result);

// One line for each numeric option whose text is not read whole as a number
// ("48k" read as 48, "abc" as 0, "2 0" as 20, an empty text as an empty box).
std::vector<std::string> looseTextWarnings(const FileRequest& request);
// The same for a sweep, once for each value its axes give.
std::vector<std::string> looseTextWarnings(const SweepRequest& request);

// The share of a file's samples that clipped, and the --level that would
// have avoided it; nothing when none clipped.
std::optional<std::string> clippingWarning(const FileResult& result);

// How many of a sweep's files clipped, and the worst.
class ClippingSummary {
public:
    // A complete file: its index, name, clipped samples and samples.
    void add(std::size_t index, const std::string& name, std::int64_t clippedSamples, std::int64_t samples);
    std::size_t files() const { return files_; }
    std::size_t filesClipped() const { return filesClipped_; }
    // Nothing when none clipped. The advice fits the level the sweep was
    // given: an automatic level, or more headroom for it (impulsive QRN can
    // still reach full scale).
    std::optional<std::string> warning(bool automaticLevel) const;

private:
    std::size_t files_ = 0;
    std::size_t filesClipped_ = 0;
    double worstShare_ = 0;  // of a file's samples, 0 to 1
    std::size_t worstIndex_ = 0;
    std::string worstFile_;
};

}  // namespace vantel::batch
