#include "synth/run_setup.h"

#include "keying/morse_encoder.h"
#include "text/number_text.h"

namespace vantel::synth {
namespace {

constexpr double kToneElementSeconds = 0.1;

// In continuous-tone mode the speed box holds the tone's length in seconds.
keying::KeyingPattern tonePatternFor(std::string_view speedText) {
    return keying::tonePattern(text::readNumber(speedText));
}

}  // namespace

std::string encodeForRun(settings::GenerationSettings& s, settings::Mode mode, std::string_view message,
                         std::string_view speedText) {
    if (mode == settings::Mode::ToneOnly) {
        s.CWPattern = tonePatternFor(speedText);
        s.Dotperiod = kToneElementSeconds;
        return std::string(message);
    }
    std::string upperCase = keying::toUpperAscii(message);
    keying::MorseEncoding encoding = keying::encodeMorse(upperCase);
    s.Duration = static_cast<double>(encoding.duration);
    s.CWPattern = keying::KeyingPattern::fromText(std::move(encoding.pattern));
    return upperCase;
}

RunSetup setUpRun(const settings::GenerationSettings& s, settings::Mode mode, std::string_view speedText) {
    RunSetup setup;
    setup.pattern = mode == settings::Mode::ToneOnly ? tonePatternFor(speedText) : s.CWPattern;
    setup.plan = planRun(s, mode, setup.pattern);
    return setup;
}

void designRunFilter(filter::CoefficientStore& coeffs, const settings::GenerationSettings& s, double centre,
                     std::int16_t firLength) {
    filter::designBandPass(coeffs, centre, s.FilterBW, s.FSample, firLength);
}

}  // namespace vantel::synth
