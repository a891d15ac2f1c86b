// A file request into a file: a request built option by option from fuzzed
// words (as a scripting front end builds one, not through the command line),
// then a whole short run into a private folder, checking the file and the
// report. A run either fails with one line and leaves nothing, or writes a
// valid WAV; without band options it is the window's run.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "batch/prepare.h"
#include "batch/render.h"
#include "batch/request.h"
#include "channel/band_conditions.h"
#include "fuzz_arguments.h"
#include "fuzz_input.h"
#include "keying/extended_morse.h"
#include "keying/message_text.h"
#include "keying/morse_encoder.h"
#include "synth/run_plan.h"
#include "text/limit.h"
#include "text/number_text.h"

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

// The request the words give, option by option: each request option with the
// word after it, each flag alone, any other word skipped. Nothing when a
// value is refused.
std::optional<batch::FileRequest> requestOf(const std::vector<std::string>& words) {
    batch::FileRequest request;
    try {
        for (std::size_t i = 0; i < words.size(); ++i) {
            // Their values name files to read (or standard input), which are
            // not this target's input.
            if (words[i] == "--text-file" || words[i] == "--word-list") {
                ++i;
                continue;
            }
            if (batch::isRequestFlag(words[i])) {
                batch::setRequestFlag(request, words[i]);
            } else if (batch::isRequestOption(words[i]) && i + 1 < words.size()) {
                batch::setRequestOption(request, words[i], words[i + 1]);
                ++i;
            }
        }
        batch::checkRequest(request);
    } catch (const batch::UsageError&) {
        return std::nullopt;
    }
    return request;
}

// The run the command will make: the typed form, the pattern it builds and
// the repaired values that fix the sample count.
synth::RunPlan predictPlan(const batch::FileRequest& options) {
    // The command first makes the message sendable (naming every change); the
    // window is given that text.
    batch::FileRequest sendable = options;
    if (const auto& message = options.typed[batch::Typed::Message]) {
        sendable.typed[batch::Typed::Message] = vantel::keying::cleanMessage(*message, options.extended).text;
    }
    batch::TypedForm form = batch::typeIntoForm(sendable);
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

void checkRun(const batch::FileRequest& options) {
    const PrivateFolder folder;
    const std::string output = (folder.path() / "CWTemp.wav").string();
    std::optional<batch::PreparedFile> prepared;
    const auto prepareRefusal = refusal([&] { prepared = batch::prepareFile(options); });
    const bool refusedToPrepare = prepareRefusal.has_value();
    if (prepared && prepared->setup.plan.totalSamples > kMostSamples) return;
    // Without band options or a practice text (which the window has not) the
    // plan follows from the window's own steps alone.
    if (!batch::hasBandOptions(options) && !options.practice.given()) {
        std::optional<synth::RunPlan> plan;
        try {
            plan = predictPlan(options);
        } catch (const synth::RunError&) {
        }
        // --level auto also refuses a run the window would make, when that
        // run's level has no finite value to scale from.
        const bool cannotScale = options.level.automatic && refusedToPrepare && prepareRefusal->starts_with("--level auto:");
        require(plan.has_value() == (!refusedToPrepare || cannotScale),
                "the window's plan and the command agree on refusing");
        if (plan && prepared) {
            require(plan->totalSamples == prepared->setup.plan.totalSamples &&
                        plan->sampleRate == prepared->setup.plan.sampleRate,
                    "the window's plan is the command's");
        }
    }
    synth::Report report;
    const bool refusedToRun = refusal([&] { report = batch::writeFile(options, output).report; }).has_value();
    require(refusedToRun == refusedToPrepare, "a run fails exactly when its set-up does");
    if (!refusedToRun) {
        const auto bytes = contents(output);
        checkWav(bytes, prepared->setup.plan);
        checkReportedRms(bytes, report);
        std::filesystem::remove(output);
    }
    require(std::filesystem::is_empty(folder.path()), "nothing is left behind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    if (const auto request = requestOf(vantel::fuzz::argumentsOf(input))) checkRun(*request);
    return 0;
}
