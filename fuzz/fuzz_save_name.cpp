// The name a saved copy is offered under and the ".WAV" ending every stored
// name gets, for any texts in the boxes.
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "save/save_name.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace save = vantel::save;

std::string asciiUpper(std::string_view s) {
    std::string upper(s);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

void checkOfferedName(std::string_view tone, std::string_view sn, std::string_view bw, std::string_view filterBw,
                      bool noFilter) {
    const std::string stem = save::offeredNameStem(tone, sn, bw);
    const std::string expected = std::string(tone) + "HzSN" + std::string(sn) + "BW" + std::string(bw) + "Fil";
    require(stem == expected, "the stem is the texts as they stand between Hz, SN, BW and Fil");
    const std::string filterPart = save::offeredNameFilterPart(noFilter, filterBw);
    require(filterPart == (noFilter ? std::string("Flat") : std::string(filterBw)), "Flat or the filter text");
}

void checkWavEnding(std::string_view typed) {
    const std::string stored = save::withWavEnding(std::string(typed));
    const bool hadEnding = asciiUpper(typed).find(".WAV") != std::string::npos;
    require(stored == (hadEnding ? std::string(typed) : std::string(typed) + ".WAV"),
            "\".WAV\" appended exactly when no case of it occurs");
    require(asciiUpper(stored).find(".WAV") != std::string::npos, "a stored name always holds .WAV");
    require(save::withWavEnding(stored) == stored, "the ending is added once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool noFilter = input.byte() & 1;
    const std::string_view tone = input.upTo('\n');
    const std::string_view sn = input.upTo('\n');
    const std::string_view bw = input.upTo('\n');
    const std::string_view filterBw = input.upTo('\n');
    checkOfferedName(tone, sn, bw, filterBw, noFilter);
    checkWavEnding(input.rest());
    checkWavEnding(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
