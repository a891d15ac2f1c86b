#pragma once

#include <optional>
#include <string>

// The S/N ratio re-expressed for two fixed bandwidths, for the user's
// information beside the S/N entry.
namespace vantel::settings {

// Three lines joined by CR LF: a heading, the ratio in 2500 Hz and the ratio
// in 1 Hz, each "#0.0dB". Nothing when the reference bandwidth is not a
// positive number, since the figures are undefined then.
std::optional<std::string> normalisedSnText(double sn, double referenceBandwidth);

}  // namespace vantel::settings
