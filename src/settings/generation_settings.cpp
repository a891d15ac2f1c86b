#include "settings/generation_settings.h"

#include <cmath>

#include "settings/entry_rules.h"
#include "text/number_text.h"

namespace vantel::settings {

std::string_view startupText(Box box) {
    switch (box) {
        case Box::FStext: return "12000";
        case Box::Ftonetext: return "800";
        case Box::SpaceToneText: return "600";
        case Box::BWtext: return "300";
        case Box::SNtext: return "20";
        case Box::WPMtext: return "20";
        case Box::Label7: return "Dot Interval 60ms";
        case Box::ScaleText: return "0";
        case Box::Messagetext: return "TESTING";
        case Box::FilterCFtext: return "1800";
        case Box::FilterBWtext: return "3000";
    }
    return {};
}

GenerationSettings loadSettings(const StartupTexts& texts) {
    GenerationSettings s;
    s.WPM = text::readNumber(texts.WPMtext);
    // A start-up speed of 0 would divide by zero; the run repair sets 20 later.
    s.Dotperiod = s.WPM > 0 ? 1.2 / s.WPM : 0;
    s.SN = text::readNumber(texts.SNtext);
    s.BW = text::readNumber(texts.BWtext);
    s.FSample = text::readNumber(texts.FStext);
    s.FilterCF = text::readNumber(texts.FilterCFtext);
    s.FilterBW = text::readNumber(texts.FilterBWtext);
    s.ContToneDur = kStartupToneDuration;
    s.SPToneFreq = kStartupSpaceToneFreq;
    s.ToneFreq = kStartupToneFreq;
    return s;
}

void repairForRun(GenerationSettings& s, Mode mode, const ReadText& readText, const WriteText& writeText) {
    if (!(s.FSample > 0)) {
        s.FSample = 12000;
        writeText(Box::FStext, "12000");
    }
    if (!(s.ToneFreq > 0)) {
        s.ToneFreq = 800;
        writeText(Box::Ftonetext, "800");
    }
    if (!(s.SPToneFreq > 0)) {
        s.SPToneFreq = 600;
        writeText(Box::SpaceToneText, "600");
    }
    if (!(s.BW > 0)) {
        s.BW = 300;
        writeText(Box::BWtext, "300");
    }
    if (readText(Box::SNtext).empty()) {
        writeText(Box::SNtext, "0");
        s.SN = 0;
    }
    if (isMorseMode(mode) && !(s.WPM > 0)) {
        s.WPM = 20;
        writeText(Box::WPMtext, "20");
        s.Dotperiod = 1.2 / s.WPM;
        writeText(Box::Label7, text::signedForm(std::floor(1000 * s.Dotperiod + 0.5)) + "ms");
    }
    const std::string scaleText = readText(Box::ScaleText);
    s.ScaleFact = scaleFactor(text::readNumber(scaleText));
    if (scaleText.empty()) {
        writeText(Box::ScaleText, "0");
        s.ScaleFact = 1;
    }
}

}  // namespace vantel::settings
