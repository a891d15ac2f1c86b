#include "batch/sweep.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "batch/prepare.h"
#include "batch/progress.h"
#include "batch/ranges.h"
#include "keying/extended_morse.h"
#include "random/splitmix64.h"
#include "save/save_name.h"
#include "synth/run_plan.h"

namespace vantel::batch {
namespace {

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

// Longest name most file systems take.
constexpr std::size_t kLongestName = 255;

// The sweep's axes from the outermost to the innermost.
std::vector<const Axis*> axes(const SweepRequest& r) {
    std::vector<const Axis*> all{&r.messages};
    for (const Axis& values : r.bands) all.push_back(&values);
    for (const Axis* values : {&r.wpms, &r.tones, &r.snrs}) all.push_back(values);
    return all;
}

// The number of files, refused beyond kMostSweepFiles.
std::size_t fileCount(const SweepRequest& r) {
    std::size_t count = 1;
    for (const Axis* values : axes(r)) {
        count *= values->size();  // each factor is at most kMostSweepFiles, so this cannot overflow before the check
        if (count > kMostSweepFiles) {
            throw UsageError("the sweep would make more than " + std::to_string(kMostSweepFiles) + " files");
        }
    }
    return count;
}

struct Position {
    std::size_t message, wpm, tone, snr;
    std::array<std::size_t, kBandCount> band;
};

Position positionOf(const SweepRequest& r, std::size_t index) {
    Position at{};
    at.snr = index % r.snrs.size();
    index /= r.snrs.size();
    at.tone = index % r.tones.size();
    index /= r.tones.size();
    at.wpm = index % r.wpms.size();
    index /= r.wpms.size();
    for (std::size_t b = kBandCount; b-- > 0;) {
        at.band[b] = index % r.bands[b].size();
        index /= r.bands[b].size();
    }
    at.message = index;
    return at;
}

// File `index`'s request: the base with each axis's value at its position.
FileRequest fileRequestAt(const SweepRequest& r, std::uint64_t seed, std::size_t index) {
    const Position at = positionOf(r, index);
    FileRequest file = r.base;
    file.typed[Typed::Message] = r.messages[at.message];
    file.typed[Typed::Wpm] = r.wpms[at.wpm];
    file.typed[Typed::Tone] = r.tones[at.tone];
    file.typed[Typed::Snr] = r.snrs[at.snr];
    for (const BandOption& band : kBandOptions) {
        const auto b = static_cast<std::size_t>(band.id);
        file.band[band.id] = r.bands[b][at.band[b]];
    }
    file.seed = fileSeed(seed, index);
    return file;
}

// "moderate" as "Moderate", for a name part.
std::string capitalised(std::string text) {
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z') text.front() = static_cast<char>(text.front() - 'a' + 'A');
    return text;
}

std::string zeroPadded(std::size_t value, std::size_t width) {
    std::string text = std::to_string(value);
    return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

// The window's offered name from the boxes after the run, then what else the
// sweep varies, then the ending the save dialog adds.
std::string fileName(const SweepRequest& r, std::size_t index, const TypedForm& f) {
    using settings::Box;
    std::string name = save::offeredNameStem(f.text(Box::Ftonetext), f.text(Box::SNtext), f.text(Box::BWtext)) +
                       save::offeredNameFilterPart(!f.filterOn, f.text(Box::FilterBWtext));
    const Position at = positionOf(r, index);
    if (r.wpms.size() > 1) name += "WPM" + *r.wpms[at.wpm];
    if (r.messages.size() > 1) name += "Msg" + zeroPadded(at.message + 1, std::to_string(r.messages.size()).size());
    for (const BandOption& band : kBandOptions) {
        const auto& values = r.bands[static_cast<std::size_t>(band.id)];
        if (values.size() < 2) continue;
        const std::size_t value = at.band[static_cast<std::size_t>(band.id)];
        // Fading paths hold '/': they are named by their place in the list.
        name += std::string(band.namePart) +
                (band.value == BandValue::Paths ? std::to_string(value + 1) : capitalised(*values[value]));
    }
    return name + (r.encoding.format == formats::AudioFormat::Wav ? std::string(".WAV")
                                                                  : std::string(formats::fileExtension(r.encoding.format)));
}

void checkName(const std::string& name) {
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        throw UsageError("the file name " + name + " would hold a '/': change the texts that form it");
    }
    if (name.size() > kLongestName) throw UsageError("the file name " + name + " would be too long");
}

// Fixes every file's name, and finds any file that cannot be made, before
// anything is written.
void nameFiles(SweepPlan& p) {
    const std::size_t count = fileCount(p.request);
    p.names.reserve(count);
    std::set<std::string> taken;
    for (std::size_t i = 0; i < count; ++i) {
        PreparedFile prepared;
        try {
            prepared = prepareFile(fileRequestAt(p.request, p.seed, i));
        } catch (const synth::RunError& e) {
            throw UsageError("file " + std::to_string(i) + " of the sweep: " + e.what());
        } catch (const text::SettingError& e) {
            throw UsageError("file " + std::to_string(i) + " of the sweep: " + e.what());
        } catch (const keying::MessageError& e) {
            throw UsageError("file " + std::to_string(i) + " of the sweep: " + e.what());
        }
        std::string name = fileName(p.request, i, prepared.form);
        checkName(name);
        if (!taken.insert(name).second) {
            throw UsageError("two files would be named " + name + " (the run repair gives two values the same text)");
        }
        p.names.push_back(std::move(name));
    }
}

constexpr const char* kLockFile = ".vantel-sweep.lock";

void makeFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw save::PublishError("Cannot create the output folder " + folder.string() + ": " + error.message());
    }
}

[[noreturn]] void refuseHeld(const std::filesystem::path& folder) {
    throw UsageError("the output folder " + folder.string() +
                     " is being written by another sweep: wait for it, or choose another folder");
}

std::string shownIn(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

SweepFileMade fileMade(const SweepTask& task, const FileResult& result) {
    const ManifestRow row = manifestRow(task.index, task.name, task.request, result);
    return {task.index, task.name, {csvLine(row), jsonLine(row), metadataLine(row)}, result.stats.clipped,
            result.prepared.setup.plan.totalSamples};
}

}  // namespace

std::uint64_t fileSeed(std::uint64_t sweepSeed, std::size_t index) { return random::splitMix64At(sweepSeed, index); }

std::vector<std::string> readMessages(const std::string& path) {
    const std::string what = "the messages file " + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw UsageError("cannot read " + what + ": " + reason(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw UsageError("cannot read " + what + ": it is a folder");
    }
    std::vector<std::string> messages;
    std::string line;
    auto endLine = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) messages.push_back(std::move(line));
        line.clear();
        if (messages.size() > kMostSweepFiles) {
            ::close(fd);
            throw UsageError(what + " holds more than " + std::to_string(kMostSweepFiles) + " messages");
        }
    };
    std::vector<char> chunk(64 * 1024);
    for (std::size_t total = 0;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw UsageError("cannot read " + what + ": " + reason(error));
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
        if (total > kMostMessagesBytes) {
            ::close(fd);
            throw UsageError(what + " is larger than " + std::to_string(kMostMessagesBytes / (1024 * 1024)) + " MiB");
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[static_cast<std::size_t>(i)] == '\n') {
                endLine();
            } else {
                line += chunk[static_cast<std::size_t>(i)];
            }
        }
    }
    endLine();
    ::close(fd);
    if (messages.empty()) throw UsageError(what + " holds no message");
    return messages;
}

SweepPlan planSweep(const SweepRequest& request) {
    SweepPlan p;
    p.request = request;
    p.seed = request.base.noiseSeed();
    nameFiles(p);
    return p;
}

SweepTask sweepTask(const SweepPlan& plan, std::size_t index) {
    return {index, plan.names.at(index), fileRequestAt(plan.request, plan.seed, index), plan.request.encoding};
}

void checkOutputFolder(const SweepPlan& p) {
    std::error_code error;
    const auto status = std::filesystem::status(p.request.folder, error);
    if (!std::filesystem::exists(status)) return;
    if (!std::filesystem::is_directory(status)) {
        throw UsageError("the output folder " + p.request.folder.string() + " is a file");
    }
    auto refuseExisting = [&](const std::string& name) {
        if (std::filesystem::exists(std::filesystem::symlink_status(p.request.folder / name, error))) {
            throw UsageError("the output folder " + p.request.folder.string() + " already holds " + name +
                             ": choose a new or empty folder");
        }
    };
    refuseExisting(kManifestCsv);
    refuseExisting(kManifestJsonl);
    if (p.request.audioFolder) refuseExisting(kAudioFolderMetadata);
    for (const std::string& name : p.names) refuseExisting(name);
}

HeldFolder::HeldFolder(const SweepPlan& plan) {
    const std::filesystem::path& path = plan.request.folder;
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored) && !std::filesystem::is_directory(path, ignored)) {
        throw UsageError("the output folder " + path.string() + " is a file");
    }
    makeFolder(path);
    folder_ = std::make_unique<save::Folder>(path, path.string());
    if (::flock(folder_->fd(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) refuseHeld(path);
        // Some file systems lock only files: a lock file in the folder, then.
        lockFile_ = ::openat(folder_->fd(), kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFile_ < 0) {
            throw save::PublishError("Cannot lock the output folder " + path.string() + ": " + reason(errno));
        }
        if (::flock(lockFile_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(lockFile_);
            lockFile_ = -1;
            if (error == EWOULDBLOCK) refuseHeld(path);
            throw save::PublishError("Cannot lock the output folder " + path.string() + ": " + reason(error));
        }
    }
    // Under the lock, nothing of another sweep can appear any more; another
    // sweep still running was told of above, before what it has written.
    checkOutputFolder(plan);
}

HeldFolder::~HeldFolder() {
    if (lockFile_ < 0) return;
    ::unlinkat(folder_->fd(), kLockFile, 0);
    ::close(lockFile_);
}

std::vector<std::string> HeldFolder::removeTemporaries(const std::string& temporaryMark) const {
    std::vector<std::string> left;
    const int listing = ::fcntl(folder_->fd(), F_DUPFD_CLOEXEC, 0);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) ::close(listing);
        return {"(the folder could not be listed: " + reason(errno) + ")"};
    }
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.find(temporaryMark) != std::string::npos) found.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : found) {
        if (::unlinkat(folder_->fd(), name.c_str(), 0) != 0 && errno != ENOENT) left.push_back(name);
    }
    return left;
}

AudioFolder audioFolderOf(const SweepPlan& plan) {
    return plan.request.audioFolder ? AudioFolder::On : AudioFolder::Off;
}

FileWriting sweepFileWriting(const std::string& temporarySuffix) {
    return FileWriting{temporarySuffix, save::Replace::Refused, false};
}

SweepFileMade makeSweepFile(const SweepTask& task, const save::Folder& folder, const std::string& shownFolder,
                            const FileWriting& how, const StopRequested& stop) {
    const FileResult result = writeFileIn(folder, task.name, shownIn(shownFolder, task.name), how, task.request, stop,
                                            task.encoding);
    return fileMade(task, result);
}

SweepFileMade sweepFileRow(const SweepTask& task, const std::string& shownFolder) {
    return fileMade(task, renderClip(task.request, shownIn(shownFolder, task.name)).result);
}

namespace {

// The workers and their shared state for one sweep.
class SweepRun {
public:
    SweepRun(const SweepPlan& plan, const HeldFolder& folder, const std::atomic<bool>& interrupted)
        : plan_(plan),
          folder_(folder),
          interrupted_(interrupted),
          writing_(sweepFileWriting()),
          manifest_(folder.folder(), plan.request.folder.string(), audioFolderOf(plan)) {}

    SweepOutcome run(const SweepControls& controls) {
        const std::size_t total = plan_.names.size();
        const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(controls.jobs, std::max<std::size_t>(total, 1)));
        std::vector<std::thread> threads;
        for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { work(); });
        showProgressUntilDone(ProgressLine(std::cerr, total, controls.progress), workers);
        for (std::thread& t : threads) t.join();
        manifest_.finish();
        SweepOutcome outcome;
        outcome.clipping = clipping_;
        outcome.filesWritten = done_;
        outcome.interrupted = interrupted_.load() && error_.empty();
        outcome.error = error_;
        return outcome;
    }

private:
    bool stopRequested() const { return interrupted_.load() || failed_.load(); }

    void work() {
        while (!stopRequested()) {
            const std::size_t index = next_.fetch_add(1);
            if (index >= plan_.names.size()) break;
            if (!makeFile(index)) break;
        }
        const std::lock_guard lock(mutex_);
        ++workersDone_;
        changed_.notify_all();
    }

    // False when the sweep is to stop.
    bool makeFile(std::size_t index) {
        SweepFileMade made;
        try {
            made = makeSweepFile(sweepTask(plan_, index), folder_.folder(), plan_.request.folder.string(), writing_,
                                 [this] { return stopRequested(); });
            manifest_.add(index, made.lines);
        } catch (const Interrupted&) {
            return false;
        } catch (const std::exception& e) {
            fail(plan_.names[index] + ": " + e.what());
            return false;
        }
        const std::lock_guard lock(mutex_);
        ++done_;
        clipping_.add(made.index, made.name, made.clippedSamples, made.samples);
        changed_.notify_all();
        return true;
    }

    void fail(const std::string& error) {
        const std::lock_guard lock(mutex_);
        if (error_.empty()) error_ = error;
        failed_ = true;
        changed_.notify_all();
    }

    void showProgressUntilDone(ProgressLine progress, unsigned workers) {
        constexpr auto kRedraw = std::chrono::milliseconds(200);
        std::unique_lock lock(mutex_);
        while (workersDone_ < workers) {
            progress.show(done_);
            changed_.wait_for(lock, kRedraw);
        }
        progress.end(done_);
    }

    const SweepPlan& plan_;
    const HeldFolder& folder_;
    const std::atomic<bool>& interrupted_;
    const FileWriting writing_;
    ManifestWriter manifest_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
    unsigned workersDone_ = 0;
    std::string error_;
    ClippingSummary clipping_;
};

}  // namespace

SweepOutcome runSweep(const SweepPlan& plan, const HeldFolder& folder, const SweepControls& controls,
                      const std::atomic<bool>& interrupted) {
    SweepRun run(plan, folder, interrupted);
    return run.run(controls);
}

}  // namespace vantel::batch
