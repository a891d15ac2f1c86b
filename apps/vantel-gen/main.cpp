// vantel-gen: the Vantel generator from the command line.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "batch/command_line.h"
#include "batch/report.h"
#include "batch/sweep.h"
#include "keying/extended_morse.h"
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

int runOne(const vantel::batch::CommandLine& line) {
    using namespace vantel::batch;
    warn(line, looseTextWarnings(line.request));
    const FileResult result = writeFile(line.request, line.output, [] { return interruptRequested.load(); });
    // With the file on standard output, the report goes to standard error.
    std::ostream& report = line.toStandardOutput() ? std::cerr : std::cout;
    for (const std::string& text : reportLines(line.request, result)) report << text << '\n';
    report.flush();
    const auto clipping = clippingWarning(result);
    if (clipping) std::cerr << "vantel-gen: " << *clipping << '\n';
    if (!report) return 1;
    return clipping && line.strict ? kExitClipped : 0;
}

int runSweep(const vantel::batch::CommandLine& line) {
    using namespace vantel::batch;
    const SweepPlan plan = planSweep(sweepRequest(line));
    warn(line, looseTextWarnings(plan.request));
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
        return line.sweep ? runSweep(line) : runOne(line);
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
