#include "batch/options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "channel/watterson_fading.h"
#include "keying/timing_limits.h"

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

unsigned parseJobs(const std::string& text) {
    constexpr unsigned kMostJobs = 1024;
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || jobs == 0 ||
        jobs > kMostJobs) {
        throw UsageError("bad job count '" + text + "': use a whole number from 1 to " + std::to_string(kMostJobs));
    }
    return jobs;
}

// Flags that take no value; false when `name` is not one.
bool setFlag(GenOptions& options, const std::string& name) {
    if (name == "--help" || name == "-h") {
        options.help = true;
    } else if (name == "--version") {
        options.version = true;
    } else if (name == "--no-filter") {
        options.noFilter = true;
    } else if (name == "--sweep") {
        options.sweep = true;
    } else if (name == "-q" || name == "--quiet") {
        options.quiet = true;
    } else if (name == "--strict") {
        options.strict = true;
    } else if (name == "--quiet-warnings") {
        options.quietWarnings = true;
    } else if (name == "--extended") {
        options.extended = true;
    } else {
        return false;
    }
    return true;
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

std::string presetNames() {
    std::string names;
    for (std::size_t i = 0; i < channel::kFadingPresets.size(); ++i) {
        if (i > 0) names += i + 1 == channel::kFadingPresets.size() ? " or " : ", ";
        names += channel::kFadingPresets[i].name;
    }
    return names;
}

[[noreturn]] void refuseBandText(const BandOption& option, const std::string& text) {
    std::string use;
    switch (option.value) {
        case BandValue::Number: use = option.limit->rangeText(); break;
        case BandValue::WholeNumber: use = "a whole number, " + option.limit->rangeText(); break;
        case BandValue::Farnsworth: use = "0 (off) or 1 up to below the character speed in WPM"; break;
        case BandValue::Preset: use = presetNames(); break;
    }
    throw UsageError("bad " + std::string(option.name) + " '" + text + "': use " + use);
}

// One band option's number, checked against its range.
double bandNumber(const BandOption& option, const std::string& text) {
    const std::optional<double> value = strictNumber(text);
    if (!value || !std::isfinite(*value)) refuseBandText(option, text);
    switch (option.value) {
        case BandValue::Number:
            if (!option.limit->allows(*value)) refuseBandText(option, text);
            break;
        case BandValue::WholeNumber:
            if (!option.limit->allows(*value) || *value != std::trunc(*value)) refuseBandText(option, text);
            break;
        case BandValue::Farnsworth:
            if (*value != 0 && !(*value >= keying::limits::kLowestFarnsworthWpm)) refuseBandText(option, text);
            break;
        case BandValue::Preset: break;
    }
    return *value;
}

channel::FadingPreset bandPreset(const BandOption& option, const std::string& text) {
    for (const channel::FadingPreset& preset : channel::kFadingPresets) {
        if (preset.name == text) return preset;
    }
    refuseBandText(option, text);
}

// Settings that only shape an effect need the option that turns it on.
void checkCompanions(const GenOptions& o) {
    auto given = [&](Band id) { return o.band[id].has_value(); };
    if (given(Band::QsbPeriod) && !given(Band::QsbDepth)) throw UsageError("--qsb-period goes with --qsb-depth");
    if ((given(Band::QrmSpread) || given(Band::QrmLevel)) && !given(Band::Qrm)) {
        throw UsageError("--qrm-spread and --qrm-level go with --qrm");
    }
    if (given(Band::QrnLevel) && !given(Band::Qrn)) throw UsageError("--qrn-level goes with --qrn");
}

void checkSweepOptions(const GenOptions& options) {
    if (!options.sweep) {
        if (options.messagesFile || options.jobs || options.quiet) {
            throw UsageError("--messages, -j and -q go with --sweep");
        }
        return;
    }
    if (!options.outputGiven) throw UsageError("--sweep needs an output folder: -o DIR");
    if (options.toStandardOutput()) throw UsageError("a sweep writes a folder of files, not standard output: -o DIR");
    if (options.messagesFile && options.typed[Typed::Message]) throw UsageError("give either --message or --messages, not both");
}

}  // namespace

std::string_view untypedText(const TypedOption& option) {
    return option.id == Typed::ToneLength ? "5" : settings::startupText(option.box);
}

GenOptions parseOptions(const std::vector<std::string>& args) {
    GenOptions options;
    using Setter = std::function<void(const std::string&)>;
    auto setOutput = [&](const std::string& v) {
        options.output = v;
        options.outputGiven = true;
    };
    std::map<std::string, Setter> valued{
        {"-o", setOutput},
        {"--output", setOutput},
        {"--messages", [&](const std::string& v) { options.messagesFile = v; }},
        {"-j", [&](const std::string& v) { options.jobs = parseJobs(v); }},
        {"--jobs", [&](const std::string& v) { options.jobs = parseJobs(v); }},
        {"--mode", [&](const std::string& v) { options.mode = parseMode(v); }},
        {"--seed", [&](const std::string& v) { options.seed = parseSeed(v); }},
        {"--auto-rms",
         [&](const std::string& v) {
             options.autoRmsDbfs = parseAutoRms(v);
             options.autoRmsGiven = true;
         }},
    };
    for (const TypedOption& typed : kTypedOptions) {
        valued.emplace(typed.name, [&options, id = typed.id](const std::string& v) { options.typed[id] = v; });
    }
    for (const BandOption& band : kBandOptions) {
        valued.emplace(band.name, [&options, id = band.id](const std::string& v) { options.band[id] = v; });
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (setFlag(options, name)) {
            if (value) throw UsageError(name + " takes no value");
            continue;
        }
        const auto setter = valued.find(name);
        if (setter == valued.end()) throw UsageError("unknown option '" + args[i] + "' (see --help)");
        if (!value) {
            if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
            value = args[++i];
        }
        setter->second(*value);
    }
    if (options.output.empty()) throw UsageError("the output file name is empty");
    if (options.autoRmsGiven && !options.autoLevel()) throw UsageError("--auto-rms goes with --level auto");
    checkSweepOptions(options);
    checkCompanions(options);
    // A sweep's values are lists, read once they are expanded.
    if (!options.sweep) bandConditions(options);
    return options;
}

channel::BandConditions bandConditions(const GenOptions& o) {
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
            case Band::Channel: break;
        }
    }
    return c;
}

bool hasBandOptions(const GenOptions& o) {
    if (o.extended) return true;
    for (const BandOption& option : kBandOptions) {
        if (o.band[option.id]) return true;
    }
    return false;
}

std::string usageText() {
    return R"(Usage: vantel-gen [options]
Writes a 16-bit mono WAV file of Morse code (or a tone) in calibrated white
noise, exactly as the Vantel window's Generate command does on its first run,
and prints the level report. Every value is read like the text typed into the
window's box ("12k" reads as 12, letters as 0); a text not read whole as a
number gets a warning on standard error saying how it was read. Clipped
samples always get a warning, with the --level that would have avoided them.

  -o, --output FILE    output file (default CWTemp.wav); - writes the WAV to
                       standard output (the report then goes to standard
                       error)
  --mode MODE          onoff, fsk or tone (default onoff)
  --message TEXT       Morse message (default TESTING)
  --wpm TEXT           speed in words per minute (default 20)
  --tone-length TEXT   tone length in seconds, tone mode (default 5)
  --tone TEXT          tone frequency in Hz (default 800)
  --space-tone TEXT    FSK space tone in Hz (default 600)
  --rate TEXT          sample rate in Hz (default 12000)
  --snr TEXT           signal to noise ratio in dB (default 20)
  --bw TEXT            reference bandwidth of the S/N in Hz (default 300)
  --level TEXT         output scaling in dB (default 0), or auto: chosen from
                       the settings before the run so that the file's RMS
                       is at -20 dBFS, then used as if typed
  --auto-rms DB        the file RMS --level auto aims at, -60 to -3 dBFS
  --filter-cf TEXT     output filter centre in Hz (default 1800)
  --filter-bw TEXT     output filter bandwidth in Hz (default 3000)
  --no-filter          no output filter
  --seed N             noise seed (default: the window's start-up seed)
  --strict             exit with status 3 when samples were clipped (the
                       file stays)
  --quiet-warnings     no warnings about texts read loosely ("48k" as 48)
  -h, --help           this text
  --version            print the program's name and version

Band conditions (each off unless given; values are read strictly, the
whole text a number in range):
  --rise MS            raised-cosine key edges, 0 to 1000 ms (onoff mode)
  --farnsworth WPM     Farnsworth spacing: characters at --wpm, gaps for this
                       overall speed (1 up to below --wpm)
  --word-space FACTOR  word gaps stretched by 1 to 10
  --extended           the extended punctuation and prosigns such as <AR>
  --jitter PERCENT     every mark and gap's length varied, 0 to 50 %
  --dash-ratio R       dash length in dots, 2 to 5 (default 3)
  --weight PERCENT     key-down share of a dot and its gap, 10 to 90 (50)
  --speed-drift PERCENT
                       a slow random walk of the speed, 0 to 50 %
  --channel PRESET     Watterson fading: good, moderate, poor or flutter
  --fading-spread HZ   fading with this Doppler spread, 0.01 to 50 Hz
  --fading-delay MS    fading with this second-path delay, 0 to 10 ms (with
                       --channel these two replace the preset's values)
  --qsb-depth DB       slow sinusoidal fade between 0 and -DB, up to 60 dB
  --qsb-period S       its period, 0.5 to 3600 s (default 10)
  --qrm N              N other CW stations nearby, 0 to 20
  --qrm-spread HZ      within +-HZ of the tone, 0 to 5000 (default 400)
  --qrm-level DB       their level against the wanted signal's, +-6 dB each
                       (-60 to 30, default 0)
  --qrn RATE           static crashes per second, 0 to 100
  --qrn-level DB       their median peak above the noise, -20 to 60 (20)
  --chirp HZ           the tone pulled this high at each key-down, 0 to 500
  --drift HZ_PER_MIN   the tone moving linearly, -1000 to 1000 Hz a minute
The S/N label stays the wanted signal's key-down power (after its edges and
fading) against the background noise; with QRM or QRN a further line gives
their power as measured.

It also prints the S/N measured from the generated tone and noise: the
key-down tone power over the noise power counted one-sided in the reference
bandwidth, and the same in 2500 Hz. The S/N asked for counts the noise over a
two-sided spectrum, so the measured one-sided figure is about 3 dB lower.

Sweeps: vantel-gen --sweep -o DIR [options]
Writes one file for every combination of the values given into folder DIR,
named like the window's offered name (800HzSN20BW300Fil3000) followed by
WPM<speed> when several speeds are given and Msg<n> when several messages
are, with ".WAV"; and manifest.csv and manifest.jsonl describing each file.
  --snr, --wpm, --tone a value (20), a list (0,3,6), an inclusive range with
                       a step (-20:10:2), or a list of these (0:6:2,10);
                       so does every numeric band option, and --channel a
                       list of presets (good,poor)
  --messages FILE      one message per line (empty lines are skipped)
  --seed N             seeds every file's noise (file i gets output i+1 of
                       SplitMix64 started at N; the manifest lists them)
  -j, --jobs N         files made at once (default: the number of cores)
  -q, --quiet          no progress line on standard error
)";
}

}  // namespace vantel::batch
