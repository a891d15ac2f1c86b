#include "batch/request.h"

#include <array>
#include <charconv>
#include <cmath>
#include <set>

#include "batch/practice.h"
#include "batch/ranges.h"
#include "channel/multipath_fading.h"
#include "channel/watterson_fading.h"
#include "synth/noise_source.h"

namespace vantel::batch {
namespace {

settings::Mode parseMode(const std::string& text) {
    if (text == "onoff") return settings::Mode::OnOffCW;
    if (text == "fsk") return settings::Mode::FSKCW;
    if (text == "tone") return settings::Mode::ToneOnly;
    throw UsageError("bad mode '" + text + "': use onoff, fsk or tone");
}

std::uint64_t parseSeed(const std::string& text) {
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw UsageError("bad seed '" + text + "': use a whole number from 0 to 18446744073709551615");
    }
    return seed;
}

// The wanted RMS of --level auto, in dBFS.
double parseAutoRms(const std::string& text) {
    constexpr double kQuietest = -60;
    constexpr double kLoudest = -3;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value >= kQuietest) ||
        !(value <= kLoudest)) {
        throw UsageError("bad --auto-rms '" + text + "': use a number of dBFS from -60 to -3");
    }
    return value;
}

// The whole text as a number, or nothing: no blanks, no trailing letters, no
// window-style loose reading. A leading '+' is allowed.
std::optional<double> strictNumber(std::string_view text) {
    if (text.starts_with('+') && !text.starts_with("+-")) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Seconds, or a number with a unit: "90", "90s", "5m", "1.5h".
std::optional<double> strictSeconds(std::string_view text) {
    struct Unit {
        std::string_view suffix;
        double seconds;
    };
    constexpr std::array<Unit, 4> kUnits{{{"min", 60}, {"s", 1}, {"m", 60}, {"h", 3600}}};
    if (const auto value = strictNumber(text)) return value;
    for (const Unit& unit : kUnits) {
        if (!text.ends_with(unit.suffix)) continue;
        const auto value = strictNumber(text.substr(0, text.size() - unit.suffix.size()));
        return value ? std::optional<double>(*value * unit.seconds) : std::nullopt;
    }
    return std::nullopt;
}

std::string presetNames() {
    std::string names;
    for (std::size_t i = 0; i < channel::kFadingPresets.size(); ++i) {
        if (i > 0) names += i + 1 == channel::kFadingPresets.size() ? " or " : ", ";
        names += channel::kFadingPresets[i].name;
    }
    return names;
}

std::string choiceNames(const BandOption& option) {
    std::string names;
    for (std::size_t i = 0; i < option.choices.size(); ++i) {
        if (i > 0) names += i + 1 == option.choices.size() ? " or " : ", ";
        names += option.choices[i];
    }
    return names;
}

[[noreturn]] void refuseBandText(const BandOption& option, const std::string& text) {
    std::string use;
    switch (option.value) {
        case BandValue::Number: use = option.limit->rangeText(); break;
        case BandValue::Seconds: use = option.limit->rangeText() + " (or minutes as 5m, hours as 1h)"; break;
        case BandValue::WholeNumber: use = "a whole number, " + option.limit->rangeText(); break;
        case BandValue::Farnsworth: use = "0 (off) or 1 up to below the character speed in WPM"; break;
        case BandValue::Preset: use = presetNames(); break;
        case BandValue::Choice: use = choiceNames(option); break;
        case BandValue::Paths: use = "DELAY_MS:SPREAD_HZ[:POWER_DB[:SHIFT_HZ]] per path, paths joined by '/'"; break;
        case BandValue::Flag: use = "no value"; break;
    }
    throw UsageError("bad " + std::string(option.name) + " '" + text + "': use " + use);
}

// One band option's number, checked against its range.
double bandNumber(const BandOption& option, const std::string& text) {
    const std::optional<double> value = option.value == BandValue::Seconds ? strictSeconds(text) : strictNumber(text);
    if (!value || !std::isfinite(*value)) refuseBandText(option, text);
    switch (option.value) {
        case BandValue::Number:
        case BandValue::Seconds:
            if (!option.limit->allows(*value)) refuseBandText(option, text);
            break;
        case BandValue::WholeNumber:
            if (!option.limit->allows(*value) || *value != std::trunc(*value)) refuseBandText(option, text);
            break;
        case BandValue::Farnsworth:
            if (*value != 0 && !(*value >= keying::limits::kLowestFarnsworthWpm)) refuseBandText(option, text);
            break;
        case BandValue::Preset:
        case BandValue::Choice:
        case BandValue::Paths:
        case BandValue::Flag: break;
    }
    return *value;
}

// The index of a Choice's name among its choices.
std::size_t bandChoice(const BandOption& option, const std::string& text) {
    for (std::size_t i = 0; i < option.choices.size(); ++i) {
        if (option.choices[i] == text) return i;
    }
    refuseBandText(option, text);
}

// Its refusal names the option and the text already.
std::vector<channel::FadingPathSetting> bandPaths(const std::string& text) {
    try {
        return channel::parseFadingPaths(text);
    } catch (const text::SettingError& error) {
        throw UsageError(error.what());
    }
}

// A setting that is not a number: a name, fading paths or a flag.
void setBandWord(channel::BandConditions& c, const BandOption& option, const std::string& text) {
    switch (option.id) {
        case Band::QrmTraffic: c.qrmTraffic = static_cast<channel::QrmTraffic>(bandChoice(option, text)); break;
        case Band::QrnModel: c.qrnModel = static_cast<channel::QrnModel>(bandChoice(option, text)); break;
        case Band::IfShape: c.ifShape = static_cast<channel::IfShape>(bandChoice(option, text)); break;
        case Band::Agc: c.agc = static_cast<channel::AgcSpeed>(bandChoice(option, text)); break;
        case Band::FadingPaths:
            c.fading = true;
            c.fadingPaths = bandPaths(text);
            break;
        case Band::Receiver:
            if (text != kFlagGiven) refuseBandText(option, text);
            c.receiver = true;
            break;
        default: break;
    }
}

channel::FadingPreset bandPreset(const BandOption& option, const std::string& text) {
    for (const channel::FadingPreset& preset : channel::kFadingPresets) {
        if (preset.name == text) return preset;
    }
    refuseBandText(option, text);
}

bool isBandOption(std::string_view name) {
    for (const BandOption& option : kBandOptions) {
        if (option.name == name) return option.value != BandValue::Flag;
    }
    return false;
}

bool isBandFlag(std::string_view name) {
    for (const BandOption& option : kBandOptions) {
        if (option.name == name) return option.value == BandValue::Flag;
    }
    return false;
}

void setBandFlag(FileRequest& r, std::string_view name) {
    for (const BandOption& option : kBandOptions) {
        if (option.name == name) r.band[option.id] = std::string(kFlagGiven);
    }
}

BandValue valueOf(std::string_view name) {
    for (const BandOption& option : kBandOptions) {
        if (option.name == name) return option.value;
    }
    return BandValue::Number;
}

bool takesUnits(std::string_view name) {
    for (const BandOption& option : kBandOptions) {
        if (option.name == name) return option.value == BandValue::Seconds;
    }
    return false;
}

// A value given twice would name two files alike.
Axis distinctValues(std::string_view option, const std::vector<std::string>& texts) {
    std::set<std::string> seen;
    for (const std::string& t : texts) {
        if (!seen.insert(t).second) throw UsageError(std::string(option) + " gives " + t + " more than once");
    }
    return {texts.begin(), texts.end()};
}

}  // namespace

std::uint64_t FileRequest::noiseSeed() const { return seed.value_or(synth::NoiseSource::kStartupSeed); }

bool isRequestOption(std::string_view name) {
    if (name == "--mode" || name == "--seed" || name == "--auto-rms" || isPracticeOption(name)) return true;
    for (const TypedOption& option : kTypedOptions) {
        if (option.name == name) return true;
    }
    return isBandOption(name);
}

void setRequestOption(FileRequest& r, std::string_view name, const std::string& text) {
    if (name == "--mode") {
        r.mode = parseMode(text);
    } else if (name == "--seed") {
        r.seed = parseSeed(text);
    } else if (name == "--auto-rms") {
        r.level.targetRmsDbfs = parseAutoRms(text);
    } else if (isPracticeOption(name)) {
        setPracticeOption(r.practice, name, text);
    } else if (name == typedOption(Typed::Level).name && text == kAutoLevel) {
        r.level.automatic = true;
        r.typed[Typed::Level].reset();
    } else {
        for (const TypedOption& option : kTypedOptions) {
            if (option.name != name) continue;
            if (option.id == Typed::Level) r.level.automatic = false;
            r.typed[option.id] = text;
            return;
        }
        for (const BandOption& option : kBandOptions) {
            if (option.name != name || option.value == BandValue::Flag) continue;
            r.band[option.id] = text;
            return;
        }
        throw UsageError("unknown option '" + std::string(name) + "' (see --help)");
    }
}

bool isRequestFlag(std::string_view name) {
    return name == "--no-filter" || name == "--extended" || isPracticeFlag(name) || isBandFlag(name);
}

void setRequestFlag(FileRequest& r, std::string_view name) {
    if (name == "--no-filter") {
        r.filterOn = false;
    } else if (name == "--extended") {
        r.extended = true;
    } else if (isPracticeFlag(name)) {
        setPracticeFlag(r.practice, name);
    } else if (isBandFlag(name)) {
        setBandFlag(r, name);
    } else {
        throw UsageError("unknown option '" + std::string(name) + "' (see --help)");
    }
}

std::vector<std::string_view> requestOptionNames() {
    std::vector<std::string_view> names{"--mode"};
    for (const TypedOption& option : kTypedOptions) {
        names.push_back(option.name);
        if (option.id == Typed::Level) names.push_back("--auto-rms");
    }
    names.insert(names.end(), {"--no-filter", "--seed"});
    for (const BandOption& option : kBandOptions) {
        names.push_back(option.name);
        if (option.id == Band::WordSpace) names.push_back("--extended");
    }
    for (const std::string_view name : practiceOptionNames()) names.push_back(name);
    return names;
}

channel::BandConditions bandConditions(const FileRequest& o) {
    checkCompanions(o);
    channel::BandConditions c;
    if (const auto& name = o.band[Band::Channel]) {
        const channel::FadingPreset preset = bandPreset(bandOption(Band::Channel), *name);
        c.fading = true;
        c.fadingSpreadHz = preset.spreadHz;
        c.fadingDelayMs = preset.delayMs;
    }
    for (const BandOption& option : kBandOptions) {
        const std::optional<std::string>& text = o.band[option.id];
        if (!text || option.value == BandValue::Preset) continue;
        if (option.value == BandValue::Choice || option.value == BandValue::Paths || option.value == BandValue::Flag) {
            setBandWord(c, option, *text);
            continue;
        }
        const double value = bandNumber(option, *text);
        switch (option.id) {
            case Band::Rise: c.riseMs = value; break;
            case Band::Farnsworth: c.farnsworthWpm = value; break;
            case Band::WordSpace: c.wordSpaceFactor = value; break;
            case Band::Jitter: c.jitterPercent = value; break;
            case Band::DashRatio: c.dashRatio = value; break;
            case Band::Weight: c.weightPercent = value; break;
            case Band::SpeedDrift: c.speedDriftPercent = value; break;
            case Band::FadingSpread:
                c.fading = true;
                c.fadingSpreadHz = value;
                break;
            case Band::FadingDelay:
                c.fading = true;
                c.fadingDelayMs = value;
                break;
            case Band::QsbDepth: c.qsbDepthDb = value; break;
            case Band::QsbPeriod: c.qsbPeriodS = value; break;
            case Band::Qrm: c.qrmStations = static_cast<int>(value); break;
            case Band::QrmSpread: c.qrmSpreadHz = value; break;
            case Band::QrmLevel: c.qrmLevelDb = value; break;
            case Band::Qrn: c.qrnRate = value; break;
            case Band::QrnLevel: c.qrnLevelDb = value; break;
            case Band::Chirp: c.chirpHz = value; break;
            case Band::Drift: c.driftHzPerMin = value; break;
            case Band::LeadIn: c.leadInS = value; break;
            case Band::Tail: c.tailS = value; break;
            case Band::Duration: c.durationS = value; break;
            case Band::CropFrom: c.cropFrom = value; break;
            case Band::QrmTimeSpread: c.qrmTimeSpreadS = value; break;
            case Band::QrnIndex: c.qrnIndex = value; break;
            case Band::QrnGamma: c.qrnGamma = value; break;
            case Band::QsbRandom: c.qsbRandomDb = value; break;
            case Band::QsbTime: c.qsbTimeS = value; break;
            case Band::IfBw: c.ifBandwidthHz = value; break;
            case Band::Hum: c.humHz = value; break;
            case Band::HumLevel: c.humLevelDb = value; break;
            default: break;
        }
    }
    return c;
}

bool hasBandOptions(const FileRequest& o) {
    if (o.extended) return true;
    for (const BandOption& option : kBandOptions) {
        if (o.band[option.id]) return true;
    }
    return false;
}

void checkCompanions(const FileRequest& o) {
    auto given = [&](Band id) { return o.band[id].has_value(); };
    if (given(Band::QsbPeriod) && !given(Band::QsbDepth)) throw UsageError("--qsb-period goes with --qsb-depth");
    if ((given(Band::QrmSpread) || given(Band::QrmLevel)) && !given(Band::Qrm)) {
        throw UsageError("--qrm-spread and --qrm-level go with --qrm");
    }
    if ((given(Band::QrmTraffic) || given(Band::QrmTimeSpread)) && !given(Band::Qrm)) {
        throw UsageError("--qrm-traffic and --qrm-time-spread go with --qrm");
    }
    if (given(Band::QrmTimeSpread) && o.band[Band::QrmTraffic] != std::string("pileup")) {
        throw UsageError("--qrm-time-spread goes with --qrm-traffic pileup");
    }
    if (given(Band::QrnModel) && !given(Band::Qrn)) throw UsageError("--qrn-model goes with --qrn (0 for the static alone)");
    if ((given(Band::QrnIndex) || given(Band::QrnGamma)) && o.band[Band::QrnModel] != std::string("class-a")) {
        throw UsageError("--qrn-index and --qrn-gamma go with --qrn-model class-a");
    }
    if (given(Band::QrnLevel) && !given(Band::Qrn)) throw UsageError("--qrn-level goes with --qrn");
    if (given(Band::QsbTime) && !given(Band::QsbRandom)) throw UsageError("--qsb-time goes with --qsb-random");
    if (given(Band::FadingPaths) &&
        (given(Band::Channel) || given(Band::FadingSpread) || given(Band::FadingDelay))) {
        throw UsageError("--fading-paths goes without --channel, --fading-spread and --fading-delay");
    }
    if ((given(Band::IfShape) || given(Band::IfBw) || given(Band::Agc)) && !given(Band::Receiver)) {
        throw UsageError("--if-shape, --if-bw and --agc go with --receiver");
    }
    if (given(Band::HumLevel) && !given(Band::Hum)) throw UsageError("--hum-level goes with --hum");
    if (given(Band::Tail) && given(Band::Duration)) {
        throw UsageError("--tail goes without --duration, which fills the file with silence to its end");
    }
}

void checkLevelPolicy(const FileRequest& request) {
    if (request.level.targetRmsDbfs && !request.level.automatic) throw UsageError("--auto-rms goes with --level auto");
}

void checkRequest(const FileRequest& request) {
    checkLevelPolicy(request);
    checkCompanions(request);
    checkPractice(request);
    bandConditions(request);
}

Axis axisFromText(std::string_view option, const std::string& text) {
    const std::string* listText = &text;
    std::vector<std::string> texts;
    if (const BandValue value = valueOf(option);
        value == BandValue::Preset || value == BandValue::Choice || value == BandValue::Paths ||
        value == BandValue::Flag) {
        for (std::size_t start = 0;;) {
            const std::size_t end = listText->find(',', start);
            std::string item = listText->substr(start, end - start);
            while (!item.empty() && item.front() == ' ') item.erase(item.begin());
            while (!item.empty() && item.back() == ' ') item.pop_back();
            texts.push_back(item);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    } else if (takesUnits(option)) {
        // "30s,1m,90": single values may carry a unit; ranges are in seconds.
        for (std::size_t start = 0;;) {
            const std::size_t end = listText->find(',', start);
            const std::string item = listText->substr(start, end - start);
            const bool range = item.find(':') != std::string::npos || !strictSeconds(item);
            for (std::string& value : range ? expandValues(option, item) : std::vector<std::string>{item}) {
                texts.push_back(std::move(value));
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
    } else {
        texts = expandValues(option, *listText);
    }
    return distinctValues(option, texts);
}

Axis axisFromValues(std::string_view option, const std::vector<std::string>& values) {
    if (values.empty()) throw UsageError(std::string(option) + " is given no value");
    return distinctValues(option, values);
}

SweepRequest::SweepRequest() { bands.fill(Axis{std::nullopt}); }

SweepRequest sweepFromTexts(const FileRequest& request, const std::optional<std::vector<std::string>>& messages,
                            const std::filesystem::path& folder) {
    SweepRequest sweep;
    sweep.base = request;
    sweep.folder = folder;
    auto axis = [&](Typed id) {
        const auto& text = request.typed[id];
        return text ? axisFromText(typedOption(id).name, *text) : Axis{std::nullopt};
    };
    sweep.snrs = axis(Typed::Snr);
    sweep.wpms = axis(Typed::Wpm);
    sweep.tones = axis(Typed::Tone);
    for (const BandOption& option : kBandOptions) {
        if (const auto& text = request.band[option.id]) {
            sweep.bands[static_cast<std::size_t>(option.id)] = axisFromText(option.name, *text);
        }
    }
    if (messages) {
        sweep.messages.assign(messages->begin(), messages->end());
    } else {
        sweep.messages = {request.typed[Typed::Message]};
    }
    return sweep;
}


}  // namespace vantel::batch
