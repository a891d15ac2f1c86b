#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantel::batch {

// The most files one sweep may make, and so the most values one list may hold.
inline constexpr std::size_t kMostSweepFiles = 100000;

// Expands a sweep value: a number ("20"), a list ("0,3,6"), an inclusive range
// with a step ("-20:10:2", "10:-20:-2", "0:1:0.25"), or a list of these
// ("0:6:2,10"). Each value comes back as the text to type into the box; range
// values are computed in exact decimals ("0.75", never "0.7500000001").
// Throws UsageError, naming `option`, for any other syntax, an empty range, a
// step of 0, or more than kMostSweepFiles values.
std::vector<std::string> expandValues(std::string_view option, std::string_view listText);

}  // namespace vantel::batch
