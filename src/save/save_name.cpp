#include "save/save_name.h"

#include <algorithm>

namespace vantel::save {

std::string offeredNameStem(std::string_view toneText, std::string_view snText, std::string_view bwText) {
    std::string name;
    name.append(toneText).append("Hz").append("SN").append(snText).append("BW").append(bwText).append("Fil");
    return name;
}

std::string offeredNameFilterPart(bool noFilter, std::string_view filterBwText) {
    return noFilter ? std::string("Flat") : std::string(filterBwText);
}

std::string withWavEnding(std::string typed) {
    std::string upper = typed;
    // Only ASCII letters can make ".WAV", and the locale must not change the answer.
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    if (upper.find(".WAV") == std::string::npos) typed += ".WAV";
    return typed;
}

}  // namespace vantel::save
