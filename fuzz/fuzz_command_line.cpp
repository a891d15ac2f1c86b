// vantel-gen's command line from fuzzed words: every line either is refused
// with one line, or reads into a command line and a request that, written
// out again in long form, read back the same.
#include <optional>
#include <string>
#include <vector>

#include "batch/command_line.h"
#include "fuzz_arguments.h"
#include "fuzz_input.h"
#include "settings/generation_settings.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace batch = vantel::batch;
namespace settings = vantel::settings;

// The command line written out again, each option in its long form.
std::vector<std::string> argumentsFor(const batch::CommandLine& line) {
    const batch::FileRequest& r = line.request;
    std::vector<std::string> args{"--output", line.output, "--mode"};
    args.push_back(r.mode == settings::Mode::FSKCW ? "fsk" : r.mode == settings::Mode::ToneOnly ? "tone" : "onoff");
    auto add = [&](std::string_view name, const std::optional<std::string>& value) {
        if (value) args.insert(args.end(), {std::string(name), *value});
    };
    for (const batch::TypedOption& option : batch::kTypedOptions) add(option.name, r.typed[option.id]);
    if (r.level.automatic) add("--level", std::string(batch::kAutoLevel));
    if (r.level.targetRmsDbfs) add("--auto-rms", vantel::text::shortestText(*r.level.targetRmsDbfs));
    for (const batch::BandOption& option : batch::kBandOptions) {
        if (option.value != batch::BandValue::Flag) {
            add(option.name, r.band[option.id]);
        } else if (r.band[option.id]) {
            args.push_back(std::string(option.name));
        }
    }
    if (r.extended) args.push_back("--extended");
    if (r.seed) add("--seed", std::to_string(*r.seed));
    if (!r.filterOn) args.push_back("--no-filter");
    if (line.help) args.push_back("--help");
    if (line.version) args.push_back("--version");
    if (line.sweep) args.push_back("--sweep");
    if (line.strict) args.push_back("--strict");
    if (line.quietWarnings) args.push_back("--quiet-warnings");
    if (line.quiet) args.push_back("--quiet");
    if (line.audioFolder) args.push_back(std::string(batch::kAudioFolderFlag));
    add("--messages", line.messagesFile);
    if (line.jobs) add("--jobs", std::to_string(*line.jobs));
    const batch::PracticeRequest& p = r.practice;
    add("--koch", p.koch);
    add("--koch-order", p.kochOrder);
    add("--groups", p.groups);
    add("--group-length", p.groupLength);
    add("--calls", p.calls);
    add("--words", p.words);
    if (p.qso) args.push_back("--qso");
    if (p.contest) args.push_back("--contest");
    if (p.paragraphBt) args.push_back("--paragraph-bt");
    add("--format", line.format);
    add("--quality", line.quality);
    add("--title", line.title);
    add("--artist", line.artist);
    add("--album", line.album);
    add("--split", line.split);
    if (line.play) args.push_back("--play");
    return args;
}

bool same(const batch::CommandLine& a, const batch::CommandLine& b) {
    return a.output == b.output && a.request == b.request && a.help == b.help && a.version == b.version &&
           a.sweep == b.sweep && a.strict == b.strict && a.quietWarnings == b.quietWarnings && a.quiet == b.quiet &&
           a.audioFolder == b.audioFolder && a.messagesFile == b.messagesFile && a.jobs == b.jobs &&
           a.format == b.format && a.quality == b.quality && a.title == b.title && a.artist == b.artist &&
           a.album == b.album && a.split == b.split && a.play == b.play;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    batch::CommandLine line;
    try {
        line = batch::parseCommandLine(vantel::fuzz::argumentsOf(input));
    } catch (const batch::UsageError& e) {
        require(std::string(e.what()).find('\n') == std::string::npos, "a refusal is one line");
        return 0;
    }
    require(!line.output.empty(), "an output name");
    require(same(batch::parseCommandLine(argumentsFor(line)), line), "a command line written out reads back the same");
    // A sweep's lists are read only once expanded; a messages file is left unread here.
    if (line.sweep && !line.messagesFile) {
        try {
            const batch::SweepRequest sweep = batch::sweepRequest(line);
            require(!sweep.snrs.empty() && !sweep.wpms.empty() && !sweep.tones.empty(), "every axis has a value");
        } catch (const batch::UsageError& e) {
            require(std::string(e.what()).find('\n') == std::string::npos, "a refusal is one line");
        }
    }
    return 0;
}
