#include "settings/entry_rules.h"

#include <cmath>

#include "filter/fir_design.h"
#include "text/number_text.h"

namespace vantel::settings {

double scaleFactor(double decibels) { return std::pow(10.0, decibels / 20); }

void enterSpeed(GenerationSettings& s, Mode mode, std::string_view text) {
    if (isMorseMode(mode)) {
        s.WPM = text::readNumber(text);
        if (s.WPM > 0) s.Dotperiod = 1.2 / s.WPM;
    } else {
        s.Dotperiod = 0.1;
        s.ContToneDur = static_cast<float>(text::readNumber(text));
    }
}

std::string dotIntervalCaption(double dotperiod) {
    return "Dot interval " + text::signedForm(std::floor(1000 * dotperiod + 0.5)) + "ms";
}

std::string speedTextForMode(const GenerationSettings& s, Mode mode) {
    return isMorseMode(mode) ? text::signedForm(s.WPM) : text::signedForm(s.ContToneDur);
}

void enterReferenceBandwidth(GenerationSettings& s, std::string_view text) {
    if (!text.empty()) s.BW = std::fabs(text::readNumber(text));
}

void enterSignalToNoise(GenerationSettings& s, std::string_view text) { s.SN = text::readNumber(text); }

void enterSampleRate(GenerationSettings& s, std::string_view text) { s.FSample = text::readNumber(text); }

std::optional<int> enterOutputScaling(GenerationSettings& s, std::string_view text) {
    const double decibels = text::readNumber(text);
    s.ScaleFact = scaleFactor(decibels);
    if (decibels <= kScaleScrollMax && decibels >= kScaleScrollMin) {
        return static_cast<int>(text::roundHalfEven(decibels));
    }
    return std::nullopt;
}

void enterFilterBandwidth(GenerationSettings& s, std::int16_t& firLength, std::string_view text) {
    if (!text.empty()) s.FilterBW = std::fabs(text::readNumber(text));
    firLength = filter::firLengthRule(s.FilterBW, s.FSample, firLength);
}

void enterFilterCentre(GenerationSettings& s, std::string_view text) {
    if (!text.empty()) s.FilterCF = std::fabs(text::readNumber(text));
}

void enterTone(GenerationSettings& s, std::string_view text) { s.ToneFreq = text::readNumber(text); }

void enterSpaceTone(GenerationSettings& s, std::string_view text) { s.SPToneFreq = text::readNumber(text); }

std::optional<int> enterText(Box box, GenerationSettings& s, std::int16_t& firLength, Mode mode, std::string_view text) {
    switch (box) {
        case Box::FStext: enterSampleRate(s, text); break;
        case Box::Ftonetext: enterTone(s, text); break;
        case Box::SpaceToneText: enterSpaceTone(s, text); break;
        case Box::BWtext: enterReferenceBandwidth(s, text); break;
        case Box::SNtext: enterSignalToNoise(s, text); break;
        case Box::WPMtext: enterSpeed(s, mode, text); break;
        case Box::ScaleText: return enterOutputScaling(s, text);
        case Box::FilterCFtext: enterFilterCentre(s, text); break;
        case Box::FilterBWtext: enterFilterBandwidth(s, firLength, text); break;
        case Box::Messagetext:
        case Box::Label7: break;
    }
    return std::nullopt;
}

bool toneOutsideFilter(const GenerationSettings& s, Mode mode) {
    const double lower = s.FilterCF - s.FilterBW / 2;
    const double upper = s.FilterCF + s.FilterBW / 2;
    auto outside = [&](double f) { return f < lower || f > upper; };
    return outside(s.ToneFreq) || (mode == Mode::FSKCW && outside(s.SPToneFreq));
}

std::string firLengthCaption(std::int16_t firLength) { return "FIR " + text::signedForm(static_cast<double>(firLength)); }

}  // namespace vantel::settings
