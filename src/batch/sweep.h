#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/manifest.h"
#include "batch/render.h"
#include "batch/report.h"
#include "batch/request.h"
#include "save/publish.h"

// Decoder test sets: every combination of a sweep request's axes, as files in
// one folder with a manifest.
namespace vantel::batch {

// Every file of a sweep, fixed before anything is written: the request, the
// seed every file's seed derives from, and each file's name (its index is
// its place in the request's order).
struct SweepPlan {
    SweepRequest request;
    std::uint64_t seed = 0;
    std::vector<std::string> names;  // by file index
};

// File i's noise seed: output i + 1 of SplitMix64 started at the sweep's seed.
// It depends on nothing else, so any -j and any machine give the same files.
std::uint64_t fileSeed(std::uint64_t sweepSeed, std::size_t index);

// The most a messages file may hold, checked while it is read: a device or a
// mistaken file never fills memory.
inline constexpr std::size_t kMostMessagesBytes = std::size_t{64} * 1024 * 1024;

// One message per line; a CR before the line feed is dropped and empty lines
// are skipped. Throws UsageError when the file cannot be read, is too large,
// holds more lines than a sweep may have files, or holds none.
std::vector<std::string> readMessages(const std::string& path);

// Checks every file's settings and name; throws UsageError (or RunError)
// before anything is written.
SweepPlan planSweep(const SweepRequest& request);

// One file of a sweep with all it takes to make it anywhere (what a cluster's
// worker is sent): its index, its name in the folder, and its request,
// exactly what a single run with those texts and that seed takes.
struct SweepTask {
    std::size_t index = 0;
    std::string name;
    FileRequest request;
    formats::Encoding encoding;  // Python's sweeps write WAV only
};
SweepTask sweepTask(const SweepPlan& plan, std::size_t index);

// The folder may be new or existing, but must not be a file or already hold a
// file of this sweep or a manifest (or metadata.csv, when the sweep writes
// one). Throws UsageError.
void checkOutputFolder(const SweepPlan& plan);

// A sweep's folder, made when missing and held for this sweep alone: a lock
// on the open folder, which the system lets go when the process ends however
// it ends. A second sweep into the same folder is refused at once with
// UsageError; the folder's contents are checked again under the lock
// (checkOutputFolder). Files are then made and named in the folder held,
// wherever it is moved meanwhile.
class HeldFolder {
public:
    explicit HeldFolder(const SweepPlan& plan);
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    const save::Folder& folder() const { return *folder_; }

    // Removes what other processes of this sweep left behind when they died
    // mid-file (a cluster's workers): every entry whose name holds
    // `temporaryMark` (".partial-" and the sweep's own token). Returns the
    // names it could not remove.
    std::vector<std::string> removeTemporaries(const std::string& temporaryMark) const;

private:
    std::unique_ptr<save::Folder> folder_;
    int lockFile_ = -1;  // where the folder itself cannot be locked
};

// Whether the plan's folder gets metadata.csv besides the manifests.
AudioFolder audioFolderOf(const SweepPlan& plan);

// How a sweep's files are written: never over an existing name, through a
// temporary named with `temporarySuffix`.
FileWriting sweepFileWriting(const std::string& temporarySuffix = save::processTemporarySuffix());

// A file of a sweep, complete: its manifest lines and how much of it clipped.
struct SweepFileMade {
    std::size_t index = 0;
    std::string name;
    ManifestWriter::Lines lines;
    std::int64_t clippedSamples = 0;
    std::int64_t samples = 0;
};

// The per-file step: makes the task's file in `folder` (shown as
// `shownFolder`), complete or not at all. Throws as writeFileIn does.
SweepFileMade makeSweepFile(const SweepTask& task, const save::Folder& folder, const std::string& shownFolder,
                            const FileWriting& how, const StopRequested& stop = {});
// The same file's manifest lines made in memory, nothing written: for a
// complete file whose maker died before it reported.
SweepFileMade sweepFileRow(const SweepTask& task, const std::string& shownFolder);

struct SweepOutcome {
    std::size_t filesWritten = 0;
    bool interrupted = false;
    std::string error;  // the first failure, empty when none
    ClippingSummary clipping;
};

struct SweepControls {
    unsigned jobs = 1;
    bool progress = false;  // a progress line on standard error
};

// Makes the files with `jobs` workers in the held folder, then writes the
// manifests listing the files that are complete. A set `interrupted` (or a
// failing file) stops the workers at their next look between calls of the
// run (about 64k samples, a fraction of a second apart); their temporaries
// are removed. No file is ever published over another.
SweepOutcome runSweep(const SweepPlan& plan, const HeldFolder& folder, const SweepControls& controls,
                      const std::atomic<bool>& interrupted);

}  // namespace vantel::batch
