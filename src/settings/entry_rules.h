#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/generation_settings.h"

// What an edit of each box does to the settings. The window's change handlers
// and the command-line front end both apply these, so a text typed into the
// window and the same text given as an option give the same run.
namespace vantel::settings {

// 10 ^ (dB / 20).
double scaleFactor(double decibels);

// Speed box: words per minute in the Morse modes, tone length in seconds in
// continuous-tone mode.
void enterSpeed(GenerationSettings& s, Mode mode, std::string_view text);

// "Dot interval " + signed form of the interval in whole milliseconds + "ms".
std::string dotIntervalCaption(double dotperiod);

// The speed box text a mode switch puts back: the last speed, or the last
// tone length.
std::string speedTextForMode(const GenerationSettings& s, Mode mode);

// Reference bandwidth: an empty text keeps the value; otherwise its magnitude.
void enterReferenceBandwidth(GenerationSettings& s, std::string_view text);
void enterSignalToNoise(GenerationSettings& s, std::string_view text);
void enterSampleRate(GenerationSettings& s, std::string_view text);

// Output level in dB. Returns the scroll-bar position the level asks for, or
// nothing when the level lies outside the bar's range.
std::optional<int> enterOutputScaling(GenerationSettings& s, std::string_view text);
inline constexpr int kScaleScrollMin = -50;
inline constexpr int kScaleScrollMax = 10;

// Filter bandwidth also reapplies the FIR length rule, even when an empty text
// left the bandwidth unchanged.
void enterFilterBandwidth(GenerationSettings& s, std::int16_t& firLength, std::string_view text);
void enterFilterCentre(GenerationSettings& s, std::string_view text);
void enterTone(GenerationSettings& s, std::string_view text);
void enterSpaceTone(GenerationSettings& s, std::string_view text);

// What an edit of `box` to `text` does, by the box's own rule above: the one
// place that joins each box to its rule, for the window's change handlers and
// the command's typing alike. For ScaleText, the scroll-bar position the level
// asks for; nothing for every other box (the message and the label change no
// setting).
std::optional<int> enterText(Box box, GenerationSettings& s, std::int16_t& firLength, Mode mode, std::string_view text);

// True when a tone the run will sound lies outside the filter's pass band;
// the space tone counts only in FSK.
bool toneOutsideFilter(const GenerationSettings& s, Mode mode);

// "FIR " + signed form of the length.
std::string firLengthCaption(std::int16_t firLength);
inline constexpr const char* kToneOutsideFilterText = "Tone outside filter response";

}  // namespace vantel::settings
