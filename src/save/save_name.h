#pragma once

#include <string>
#include <string_view>

// The name a saved copy is offered under, and the ending every stored name gets.
namespace vantel::save {

// The settings part of the offered name, from the boxes' texts exactly as they
// stand: «800», «20», «300» give «800HzSN20BW300Fil».
std::string offeredNameStem(std::string_view toneText, std::string_view snText, std::string_view bwText);

// What follows the stem: «Flat» when the output is not filtered, otherwise
// the filter bandwidth text as it stands.
std::string offeredNameFilterPart(bool noFilter, std::string_view filterBwText);

// The name a copy is stored under: `typed` with ".WAV" appended unless ".WAV"
// already occurs in it in any mix of case («test.wav» and «my.wave» stay).
std::string withWavEnding(std::string typed);

}  // namespace vantel::save
