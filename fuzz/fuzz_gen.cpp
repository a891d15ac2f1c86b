// vantel-gen from fuzzed command lines: the option parser, then a whole short
// run into a private folder, checking the file and the report it prints. A
// run either fails with one line and leaves nothing, or writes a valid WAV.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "channel/band_conditions.h"
#include "channel/watterson_fading.h"
#include "fuzz_input.h"
#include "batch/options.h"
#include "batch/render.h"
#include "keying/extended_morse.h"
#include "keying/morse_encoder.h"
#include "synth/run_plan.h"
#include "text/number_text.h"
#include "wav/wav_writer.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace batch = vantel::batch;
namespace settings = vantel::settings;
namespace synth = vantel::synth;

// Runs stay short so the fuzzer spends its time on inputs, not on samples.
constexpr std::int64_t kMostSamples = 50000;

// A folder of its own for each run: libFuzzer ends with _Exit, so nothing
// made once for the whole process would ever be removed.
class PrivateFolder {
public:
    PrivateFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantel-fuzz-XXXXXX").string();
        require(::mkdtemp(pattern.data()) != nullptr, "a private folder can be made");
        path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Inputs that start with this byte begin with band options whose values
// come from the bytes that follow: numbers near and far outside their
// ranges, and preset names, without the fuzzer first having to spell them.
constexpr std::uint8_t kBandPrefix = 0xB5;

std::string bandValue(FuzzInput& input, const batch::BandOption& option) {
    const std::uint8_t pick = input.byte();
    if (option.value == batch::BandValue::Preset) {
        const auto& presets = vantel::channel::kFadingPresets;
        return pick % 8 < presets.size() ? std::string(presets[pick % 8].name) : std::string(input.upTo('\n'));
    }
    if (pick % 4 == 0) return std::string(input.upTo('\n'));  // any text
    if (pick % 4 == 1 || option.limit == nullptr) return vantel::text::shortestText(input.interestingDouble());
    // Within the range, on a grid of 256 steps.
    const double share = input.byte() / 255.0;
    const double value = option.limit->low + share * (option.limit->high - option.limit->low);
    return vantel::text::shortestText(option.value == batch::BandValue::WholeNumber ? std::round(value) : value);
}

std::vector<std::string> argumentsOf(FuzzInput& input) {
    std::vector<std::string> args;
    if (input.remaining() > 0 && input.peek() == kBandPrefix) {
        input.byte();
        const int count = input.byte() % 6;
        for (int i = 0; i < count; ++i) {
            const batch::BandOption& option = batch::kBandOptions[input.byte() % batch::kBandCount];
            args.emplace_back(option.name);
            args.push_back(bandValue(input, option));
        }
        if (input.byte() % 3 == 0) args.emplace_back("--extended");
    }
    while (input.remaining() > 0 && args.size() < 64) args.emplace_back(input.upTo('\n'));
    return args;
}

auto comparable(const batch::GenOptions& o) {
    return std::tie(o.output, o.mode, o.typed[vantel::batch::Typed::Message], o.typed[vantel::batch::Typed::Wpm], o.typed[vantel::batch::Typed::ToneLength], o.typed[vantel::batch::Typed::Tone], o.typed[vantel::batch::Typed::SpaceTone], o.typed[vantel::batch::Typed::Rate], o.typed[vantel::batch::Typed::Snr], o.typed[vantel::batch::Typed::Bw],
                    o.typed[vantel::batch::Typed::Level], o.typed[vantel::batch::Typed::FilterCf], o.typed[vantel::batch::Typed::FilterBw], o.noFilter, o.seed, o.help,
                    o.band, o.extended);
}

// The options written out again, each in its long form.
std::vector<std::string> argumentsFor(const batch::GenOptions& o) {
    std::vector<std::string> args{"--output", o.output, "--mode"};
    args.push_back(o.mode == settings::Mode::FSKCW ? "fsk" : o.mode == settings::Mode::ToneOnly ? "tone" : "onoff");
    auto add = [&](const std::string& name, const std::optional<std::string>& value) {
        if (value) args.insert(args.end(), {name, *value});
    };
    add("--message", o.typed[vantel::batch::Typed::Message]);
    add("--wpm", o.typed[vantel::batch::Typed::Wpm]);
    add("--tone-length", o.typed[vantel::batch::Typed::ToneLength]);
    add("--tone", o.typed[vantel::batch::Typed::Tone]);
    add("--space-tone", o.typed[vantel::batch::Typed::SpaceTone]);
    add("--rate", o.typed[vantel::batch::Typed::Rate]);
    add("--snr", o.typed[vantel::batch::Typed::Snr]);
    add("--bw", o.typed[vantel::batch::Typed::Bw]);
    add("--level", o.typed[vantel::batch::Typed::Level]);
    add("--filter-cf", o.typed[vantel::batch::Typed::FilterCf]);
    add("--filter-bw", o.typed[vantel::batch::Typed::FilterBw]);
    for (const batch::BandOption& option : batch::kBandOptions) add(std::string(option.name), o.band[option.id]);
    if (o.extended) args.push_back("--extended");
    if (o.seed) add("--seed", std::to_string(*o.seed));
    if (o.noFilter) args.push_back("--no-filter");
    if (o.help) args.push_back("--help");
    return args;
}

// The run the command will make: the typed form, the pattern it builds and
// the repaired values that fix the sample count.
synth::RunPlan predictPlan(const batch::GenOptions& options) {
    batch::TypedForm form = batch::typeIntoForm(options);
    vantel::keying::KeyingPattern pattern = form.s.CWPattern;
    if (form.mode == settings::Mode::ToneOnly) {
        form.s.Dotperiod = 0.1;
        pattern = vantel::keying::tonePattern(vantel::text::readNumber(form.text(settings::Box::WPMtext)));
    } else if (!form.text(settings::Box::Messagetext).empty()) {
        const std::string message = vantel::keying::toUpperAscii(form.text(settings::Box::Messagetext));
        pattern = vantel::keying::KeyingPattern::fromText(vantel::keying::encodeMorse(message).pattern);
    }
    auto read = [&](settings::Box box) { return form.text(box); };
    settings::repairForRun(form.s, form.mode, read, [](settings::Box, const std::string&) {});
    return synth::planRun(form.s, form.mode, pattern);
}

std::vector<std::uint8_t> contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | b[at + static_cast<std::size_t>(i)];
    return value;
}

bool tagAt(const std::vector<std::uint8_t>& b, std::size_t at, const char* tag) {
    return std::equal(tag, tag + 4, b.begin() + static_cast<std::ptrdiff_t>(at));
}

void checkWav(const std::vector<std::uint8_t>& b, const synth::RunPlan& plan) {
    require(b.size() == 44 + 2 * static_cast<std::size_t>(plan.totalSamples), "the file holds every sample");
    require(tagAt(b, 0, "RIFF") && tagAt(b, 8, "WAVE") && tagAt(b, 12, "fmt ") && tagAt(b, 36, "data"),
            "RIFF WAVE fmt data");
    require(le(b, 4, 4) == b.size() - 8 && le(b, 40, 4) == b.size() - 44, "header sizes match the length");
    require(le(b, 16, 4) == 16 && le(b, 20, 2) == 1 && le(b, 22, 2) == 1 && le(b, 32, 2) == 2 && le(b, 34, 2) == 16,
            "16-bit mono PCM");
    require(le(b, 24, 4) == static_cast<std::uint32_t>(plan.sampleRate) &&
                le(b, 28, 4) == 2 * static_cast<std::uint32_t>(plan.sampleRate),
            "rate and byte rate");
}

// The RMS the report states is the RMS of the samples in the file.
void checkReportedRms(const std::vector<std::uint8_t>& b, const synth::Report& report) {
    const std::size_t at = report.text.rfind("RMS = ");
    if (at == std::string::npos) return;
    double sumSquares = 0;
    const std::size_t samples = (b.size() - 44) / 2;
    for (std::size_t i = 44; i < b.size(); i += 2) {
        const double s = static_cast<std::int16_t>(le(b, i, 2));
        sumSquares += s * s;
    }
    const double rms = std::floor(std::sqrt(sumSquares / static_cast<double>(samples)) + 0.5);
    require(vantel::text::readNumber(report.text.substr(at + 6)) == rms, "the reported RMS is the file's");
}

// A refusal is one line the command prints after "vantel-gen: ".
std::string checkedRefusal(const std::exception& e) {
    std::string what = e.what();
    require(!what.empty() && what.find('\n') == std::string::npos, "a refusal is one line");
    return what;
}

// The refusal's text, or nothing when `run` went through.
template <typename Run>
std::optional<std::string> refusal(Run&& run) {
    try {
        run();
        return std::nullopt;
    } catch (const synth::RunError& e) {
        return checkedRefusal(e);
    } catch (const vantel::text::SettingError& e) {
        return checkedRefusal(e);
    } catch (const vantel::keying::MessageError& e) {
        return checkedRefusal(e);
    } catch (const batch::UsageError& e) {  // a sweep's lists, read only once expanded
        return checkedRefusal(e);
    }
}

void checkRun(batch::GenOptions options) {
    const PrivateFolder folder;
    options.output = (folder.path() / "CWTemp.wav").string();
    std::optional<batch::PreparedFile> prepared;
    const auto prepareRefusal = refusal([&] { prepared = batch::prepareFile(options); });
    const bool refusedToPrepare = prepareRefusal.has_value();
    if (prepared && prepared->setup.plan.totalSamples > kMostSamples) return;
    // Without band options the plan follows from the window's own steps alone.
    if (!batch::hasBandOptions(options)) {
        std::optional<synth::RunPlan> plan;
        try {
            plan = predictPlan(options);
        } catch (const synth::RunError&) {
        }
        // --level auto also refuses a run the window would make, when that
        // run's level has no finite value to scale from.
        const bool cannotScale = options.autoLevel() && refusedToPrepare && prepareRefusal->starts_with("--level auto:");
        require(plan.has_value() == (!refusedToPrepare || cannotScale),
                "the window's plan and the command agree on refusing");
        if (plan && prepared) {
            require(plan->totalSamples == prepared->setup.plan.totalSamples &&
                        plan->sampleRate == prepared->setup.plan.sampleRate,
                    "the window's plan is the command's");
        }
    }
    synth::Report report;
    const bool refusedToRun = refusal([&] { report = batch::generateFile(options).report; }).has_value();
    require(refusedToRun == refusedToPrepare, "a run fails exactly when its set-up does");
    if (!refusedToRun) {
        const auto bytes = contents(options.output);
        checkWav(bytes, prepared->setup.plan);
        checkReportedRms(bytes, report);
        std::filesystem::remove(options.output);
    }
    require(std::filesystem::is_empty(folder.path()), "nothing is left behind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    batch::GenOptions options;
    try {
        options = batch::parseOptions(argumentsOf(input));
    } catch (const batch::UsageError&) {
        return 0;
    }
    require(!options.output.empty(), "an output name");
    require(comparable(batch::parseOptions(argumentsFor(options))) == comparable(options),
            "options written out read back the same");
    if (!options.help) checkRun(options);
    return 0;
}
