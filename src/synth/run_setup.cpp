#include "synth/run_setup.h"

#include "keying/extended_morse.h"
#include "keying/framing.h"
#include "keying/morse_encoder.h"
#include "text/number_text.h"

namespace vantel::synth {
namespace {

constexpr double kToneElementSeconds = 0.1;

// In continuous-tone mode the speed box holds the tone's length in seconds.
keying::KeyingPattern tonePatternFor(std::string_view speedText) {
    return keying::tonePattern(text::readNumber(speedText));
}

// Stations that interfere with a continuous tone send at this speed, give or take.
constexpr double kToneModeQrmWpm = 20;

keying::TimingOptions timingOptions(const channel::BandConditions& c) {
    keying::TimingOptions options;
    options.farnsworthWpm = c.farnsworthWpm;
    options.wordSpaceFactor = c.wordSpaceFactor;
    options.dashRatio = c.dashRatio;
    options.weightPercent = c.weightPercent;
    options.jitterPercent = c.jitterPercent;
    options.speedDriftPercent = c.speedDriftPercent;
    return options;
}

keying::Framing framing(const channel::BandConditions& c, double sampleRate) {
    auto samples = [&](double seconds) { return static_cast<std::int64_t>(text::roundHalfEven(seconds * sampleRate)); };
    return {samples(c.leadInS), samples(c.tailS), samples(c.durationS), c.cropFrom};
}

// Keying that is not the window's elements of one length.
bool timesTheKeying(const channel::BandConditions& c, bool extendedCharacters) {
    return extendedCharacters || timingOptions(c) != keying::TimingOptions{} ||
           c.leadInS != 0 || c.tailS != 0 || c.durationS != 0 || c.cropFrom != 0;
}

// Key edges and a chirp belong to on/off keying; the fist, the spacing and the
// extended characters to Morse; a continuous tone has none of them.
void checkForMode(const channel::BandConditions& c, bool extendedCharacters, settings::Mode mode) {
    if (mode != settings::Mode::OnOffCW) {
        if (c.riseMs != 0) throw text::SettingError("--rise goes with --mode onoff");
        if (c.chirpHz != 0) throw text::SettingError("--chirp goes with --mode onoff");
        if (mode == settings::Mode::FSKCW && c.driftHzPerMin != 0) {
            throw text::SettingError("--drift goes with --mode onoff or tone");
        }
    }
    if (mode == settings::Mode::ToneOnly && timesTheKeying(c, extendedCharacters)) {
        throw text::SettingError(
            "--farnsworth, --word-space, --dash-ratio, --weight, --jitter, --speed-drift, --extended, --lead-in, "
            "--tail, --duration and --crop-from go with Morse");
    }
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

RunSetup setUpRun(const settings::GenerationSettings& s, settings::Mode mode, std::string_view speedText,
                  const BandSetup& band) {
    const channel::BandConditions& c = band.conditions;
    checkForMode(c, band.extendedCharacters, mode);
    channel::validate(c, s.WPM);
    RunSetup setup;
    setup.mode = mode;
    setup.sampleRate = s.FSample;
    setup.toneHz = s.ToneFreq;
    setup.conditions = c;
    setup.seed = band.seed;
    setup.pattern = mode == settings::Mode::ToneOnly ? tonePatternFor(speedText) : s.CWPattern;
    if (timesTheKeying(c, band.extendedCharacters)) {
        const auto symbols = band.extendedCharacters ? keying::parseExtendedMessage(band.message)
                                                     : keying::parseClassicMessage(band.message);
        setup.timed = keying::timeMessage(symbols, s.FSample, s.WPM, timingOptions(c), band.seed);
        if (const keying::Framing f = framing(c, s.FSample); f.framed()) {
            setup.timed = keying::frameMessage(*setup.timed, f);
            // On/off keying's silence first means silence, not the oscillator's
            // keyed first sample; FSK sends its space tone from the start.
            setup.startsKeyed = mode == settings::Mode::FSKCW || setup.timed->runs.empty() ||
                                setup.timed->runs.front().keyDown;
        }
        setup.plan = planTimedRun(s, *setup.timed);
    } else {
        setup.plan = planRun(s, mode, setup.pattern);
    }
    if (c.qrmStations > 0) {
        const double wantedWpm = settings::isMorseMode(mode) ? s.WPM : kToneModeQrmWpm;
        setup.qrmStations =
            channel::makeQrmStations({c.qrmStations, c.qrmSpreadHz, c.qrmLevelDb, c.qrmTraffic, c.qrmTimeSpreadS}, s.ToneFreq, wantedWpm, s.FSample,
                                     setup.plan.totalSamples, band.seed);
    }
    return setup;
}

void designRunFilter(filter::CoefficientStore& coeffs, const settings::GenerationSettings& s, double centre,
                     std::int16_t firLength) {
    filter::designBandPass(coeffs, centre, s.FilterBW, s.FSample, firLength);
}

}  // namespace vantel::synth
