// vantel-gen: the Vantel generator from the command line.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/command_line.h"
#include "batch/practice.h"
#include "batch/render.h"
#include "batch/report.h"
#include "batch/sweep.h"
#include "formats/audio_format.h"
#include "keying/extended_morse.h"
#include "keying/message_text.h"
#include "sound/player.h"
#include "sound/stream_playback.h"
#include "synth/level_report.h"
#include "text/limit.h"
#include "vantel_version.h"

namespace {

// Set by SIGINT and SIGTERM and read by the runs between elements. A signal
// handler can reach nothing else, so these two have to live at file scope;
// lock-free atomics are safe to set there and to read from every worker.
std::atomic<bool> interruptRequested{false};
std::atomic<int> interruptSignal{SIGINT};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void requestInterrupt(int signal) {
    interruptSignal.store(signal);
    interruptRequested.store(true);
}

// The usual status of a program a signal stopped: 130 for SIGINT, 143 for SIGTERM.
int interruptedStatus() { return 128 + interruptSignal.load(); }

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = requestInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away (a closed pipe) must end the run with a message
    // and a failure status, not silently by the signal.
    signal(SIGPIPE, SIG_IGN);
}

constexpr int kExitClipped = 3;

void warn(const vantel::batch::CommandLine& line, const std::vector<std::string>& lines) {
    if (line.quietWarnings) return;
    for (const std::string& text : lines) std::cerr << "vantel-gen: " << text << '\n';
}

// The output's format and tags; a part of a split text is numbered as a track.
vantel::formats::Encoding encodingOf(const vantel::batch::CommandLine& line, const std::string& output,
                                     std::optional<int> track = std::nullopt) {
    using namespace vantel;
    std::optional<double> quality;
    if (line.quality) {
        double value = 0;
        const std::string& text = *line.quality;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
            throw batch::UsageError("bad --quality '" + text + "': use a number from 0 to 10");
        }
        quality = value;
    }
    formats::Tags tags;
    tags.title = line.title.value_or("");
    tags.artist = line.artist.value_or("");
    tags.album = line.album.value_or("");
    formats::Encoding encoding = batch::encodingFor(output, line.format, quality, tags);
    // A WAV file has no tags to number its parts by.
    if (encoding.format != formats::AudioFormat::Wav) encoding.tags.trackNumber = track;
    return encoding;
}

// Playback while the file is made: connected before the run, so that a
// missing sound server is told before any work.
class Speaker {
public:
    explicit Speaker(int rate) : playback_(rate, [] { return interruptRequested.load(); }), sink_(playback_) {
        const std::string why = playback_.waitUntilReady();
        if (why == vantel::sound::kStopped) throw vantel::batch::Interrupted();
        if (!why.empty()) throw std::runtime_error(why);
    }
    vantel::synth::SampleSink* sink() { return &sink_; }
    bool over() const { return playback_.over(); }
    // 0 when all was played, else the exit status.
    int finish() {
        const std::string played = playback_.waitUntilPlayed();
        if (played == vantel::sound::kStopped) return interruptedStatus();
        if (played.empty()) return 0;
        std::cerr << "vantel-gen: " << played << '\n';
        return 1;
    }

private:
    vantel::sound::StreamPlayback playback_;
    vantel::sound::PlaybackSink sink_;
};

int report(const vantel::batch::CommandLine& line, const vantel::batch::FileResult& result, bool toStandardError,
           const vantel::batch::FileRequest& request) {
    using namespace vantel::batch;
    std::ostream& out = toStandardError ? std::cerr : std::cout;
    for (const std::string& text : reportLines(request, result)) out << text << '\n';
    out.flush();
    const auto clipping = clippingWarning(result);
    if (clipping) std::cerr << "vantel-gen: " << *clipping << '\n';
    if (!out) return 1;
    return clipping && line.strict ? kExitClipped : 0;
}

int runOne(const vantel::batch::CommandLine& line) {
    using namespace vantel::batch;
    warn(line, looseTextWarnings(line.request));
    const bool playOnly = line.play && !line.outputGiven;
    const vantel::formats::Encoding encoding =
        playOnly ? vantel::formats::Encoding{} : encodingOf(line, line.output);
    std::optional<Speaker> speaker;
    std::optional<PreparedFile> prepared;
    if (line.play) {
        prepared = prepareFile(line.request);
        speaker.emplace(prepared->setup.plan.sampleRate);
    }
    const StopRequested stop = [&] { return interruptRequested.load() || (playOnly && speaker->over()); };
    FileResult result;
    if (playOnly) {
        result.prepared = *prepared;
        vantel::synth::SynthesisState state = startingState(result.prepared);
        renderInto(result, state, *speaker->sink(), stop);
        result.report = vantel::synth::levelReport("(played)", result.prepared.setup.plan.totalSamples, result.stats);
    } else {
        result = writeFile(line.request, line.output, stop, encoding, speaker ? speaker->sink() : nullptr);
    }
    if (!result.prepared.textChanges.empty()) warn(line, {result.prepared.textChanges});
    // With the file on standard output, the report goes to standard error.
    const int status = report(line, result, line.toStandardOutput(), line.request);
    const int played = speaker ? speaker->finish() : 0;
    return played != 0 ? played : status;
}

// A practice text in numbered files, one after the other.
int runParts(const vantel::batch::CommandLine& line) {
    using namespace vantel::batch;
    warn(line, looseTextWarnings(line.request));
    const PracticeParts parts = splitIntoParts(line.request, *line.split, line.output, charactersKept);
    if (!parts.changes.empty()) warn(line, {parts.changes});
    for (std::size_t i = 0; i < parts.requests.size(); ++i) {
        const std::string& name = parts.names[i];
        const auto encoding = encodingOf(line, name, static_cast<int>(i + 1));
        const FileResult result = writeFile(parts.requests[i], name, [] { return interruptRequested.load(); }, encoding);
        const double seconds = static_cast<double>(result.prepared.setup.plan.totalSamples) /
                               result.prepared.setup.plan.sampleRate;
        const long long whole = std::llround(seconds);
        std::cout << name << ": " << whole / 60 << ':' << (whole % 60 < 10 ? "0" : "") << whole % 60 << " ("
                  << std::fixed << std::setprecision(1) << seconds << " s)\n";
        if (const auto clipping = clippingWarning(result)) {
            std::cerr << "vantel-gen: " << name << ": " << *clipping << '\n';
            if (line.strict) return kExitClipped;
        }
    }
    std::cout << parts.requests.size() << " files\n";
    std::cout.flush();
    return std::cout ? 0 : 1;
}

// The changes made to the sweep's messages, each message's line once.
std::vector<std::string> textChangeWarnings(const vantel::batch::SweepRequest& request) {
    std::vector<std::string> lines;
    for (const auto& message : request.messages) {
        if (!message) continue;
        const auto cleaned = vantel::keying::cleanMessage(*message, request.base.extended);
        const std::string line = vantel::keying::describeChanges(cleaned.changes);
        if (!line.empty() && std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    return lines;
}

// A format that cannot hold the sweep's rate is refused before any file.
void checkSampleRate(const vantel::formats::Encoding& encoding, const vantel::batch::PreparedFile& prepared) {
    try {
        vantel::formats::checkSampleRate(encoding.format, prepared.setup.plan.sampleRate);
    } catch (const vantel::formats::FormatError& e) {
        throw vantel::batch::UsageError(e.what());
    }
}

int runSweep(const vantel::batch::CommandLine& line) {
    using namespace vantel::batch;
    SweepRequest request = sweepRequest(line);
    request.encoding = encodingOf(line, "");
    const SweepPlan plan = planSweep(request);
    checkSampleRate(request.encoding, prepareFile(sweepTask(plan, 0).request));
    warn(line, looseTextWarnings(plan.request));
    warn(line, textChangeWarnings(plan.request));
    const HeldFolder folder(plan);
    if (interruptRequested.load()) throw Interrupted();
    const SweepControls controls{line.jobs.value_or(std::max(1u, std::thread::hardware_concurrency())),
                                 !line.quiet && ::isatty(STDERR_FILENO) == 1};
    const SweepOutcome outcome = vantel::batch::runSweep(plan, folder, controls, interruptRequested);
    // The set stays together in the folder held, wherever it was moved meanwhile.
    const bool moved = !folder.folder().stillAtItsPath();
    const std::filesystem::path where = moved ? folder.folder().whereNow() : plan.request.folder;
    const std::string movedNote = moved ? " (the folder was moved while the sweep ran)" : "";
    const std::string listed = std::to_string(outcome.filesWritten) + " of " + std::to_string(plan.names.size()) +
                               " files complete, listed in " + (where / "manifest.csv").string() + movedNote;
    if (!outcome.error.empty()) {
        std::cerr << "vantel-gen: " << outcome.error << " (" << listed << ")\n";
        return 1;
    }
    if (outcome.interrupted) {
        std::cerr << "vantel-gen: interrupted: " << listed << '\n';
        return interruptedStatus();
    }
    std::cout << outcome.filesWritten << " files and their manifest in " << where.string() << movedNote << '\n';
    std::cout.flush();
    const auto clipping = outcome.clipping.warning(line.request.level.automatic);
    if (clipping) std::cerr << "vantel-gen: " << *clipping << '\n';
    if (!std::cout) return 1;
    return clipping && line.strict ? kExitClipped : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    catchInterrupts();
    try {
        const vantel::batch::CommandLine line = vantel::batch::parseCommandLine(args);
        if (line.help) {
            std::cout << vantel::batch::usageText();
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
        if (line.version) {
            std::cout << "vantel-gen " << vantel::kVersion << '\n';
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
        if (line.sweep) return runSweep(line);
        return line.split ? runParts(line) : runOne(line);
    } catch (const vantel::batch::UsageError& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 2;
    } catch (const vantel::text::SettingError& e) {
        // A band condition out of range or not for the mode: the user's input.
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 2;
    } catch (const vantel::keying::MessageError& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 2;
    } catch (const vantel::batch::Interrupted& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return interruptedStatus();
    } catch (const std::exception& e) {
        std::cerr << "vantel-gen: " << e.what() << '\n';
        return 1;
    }
}
