#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "batch/options.h"
#include "channel/watterson_fading.h"
#include "fuzz_input.h"
#include "text/limit.h"

// Command-line words from fuzz input: band options first when the input asks
// for them (their values near and far outside their ranges, without the
// fuzzer first having to spell them), then any words. Both the command-line
// target and the request target read inputs this way, so they share one
// corpus vocabulary.
namespace vantel::fuzz {

// Inputs that start with this byte begin with band options whose values
// come from the bytes that follow: numbers near and far outside their
// ranges, and preset names, without the fuzzer first having to spell them.
inline constexpr std::uint8_t kBandPrefix = 0xB5;

inline std::string bandValue(FuzzInput& input, const vantel::batch::BandOption& option) {
    const std::uint8_t pick = input.byte();
    if (option.value == vantel::batch::BandValue::Preset) {
        const auto& presets = vantel::channel::kFadingPresets;
        return pick % 8 < presets.size() ? std::string(presets[pick % 8].name) : std::string(input.upTo('\n'));
    }
    if (pick % 4 == 0) return std::string(input.upTo('\n'));  // any text
    if (pick % 4 == 1 || option.limit == nullptr) return vantel::text::shortestText(input.interestingDouble());
    // Within the range, on a grid of 256 steps.
    const double share = input.byte() / 255.0;
    const double value = option.limit->low + share * (option.limit->high - option.limit->low);
    return vantel::text::shortestText(option.value == vantel::batch::BandValue::WholeNumber ? std::round(value) : value);
}

inline std::vector<std::string> argumentsOf(FuzzInput& input) {
    std::vector<std::string> args;
    if (input.remaining() > 0 && input.peek() == kBandPrefix) {
        input.byte();
        const int count = input.byte() % 6;
        for (int i = 0; i < count; ++i) {
            const vantel::batch::BandOption& option = vantel::batch::kBandOptions[input.byte() % vantel::batch::kBandCount];
            args.emplace_back(option.name);
            args.push_back(bandValue(input, option));
        }
        if (input.byte() % 3 == 0) args.emplace_back("--extended");
    }
    while (input.remaining() > 0 && args.size() < 64) {
        std::string arg(input.upTo('\n'));
        // Their values name files to read (or standard input), which are not
        // the input fuzzed here.
        if (arg == "--text-file" || arg == "--word-list" || arg.starts_with("--text-file=") ||
            arg.starts_with("--word-list=")) {
            continue;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

}  // namespace vantel::fuzz
