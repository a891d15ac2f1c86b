#include "gen_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace vantel::gen {
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
    } else {
        return false;
    }
    return true;
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
    return options;
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
                       a step (-20:10:2), or a list of these (0:6:2,10)
  --messages FILE      one message per line (empty lines are skipped)
  --seed N             seeds every file's noise (file i gets output i+1 of
                       SplitMix64 started at N; the manifest lists them)
  -j, --jobs N         files made at once (default: the number of cores)
  -q, --quiet          no progress line on standard error
)";
}

}  // namespace vantel::gen
