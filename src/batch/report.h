#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/render.h"
#include "batch/sweep.h"

// What vantel-gen tells on standard error without stopping: texts it read
// loosely and files whose samples clipped. Each line starts "warning: ".
namespace vantel::batch {

// One line for each numeric option whose text is not read whole as a number
// ("48k" read as 48, "abc" as 0, "2 0" as 20, an empty text as an empty box).
std::vector<std::string> looseTextWarnings(const GenOptions& options);
// The same for a sweep, once for each value its lists give.
std::vector<std::string> looseTextWarnings(const SweepPlan& plan);

// The share of a file's samples that clipped, and the --level that would
// have avoided it; nothing when none clipped.
std::optional<std::string> clippingWarning(const FileResult& result);

// How many of a sweep's files clipped, and the worst; nothing when none did.
// The advice fits the level the sweep was given: --level auto, or more
// headroom for it (impulsive QRN can still reach full scale).
std::optional<std::string> sweepClippingWarning(const SweepOutcome& outcome, bool autoLevel);

// The report line for --level auto: the level it chose and why.
std::optional<std::string> autoLevelLine(const GenOptions& options, const FileResult& result);

}  // namespace vantel::batch
