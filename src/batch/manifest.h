#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "batch/options.h"
#include "batch/request.h"
#include "batch/render.h"
#include "save/publish.h"
#include "keying/morse_timing.h"

namespace vantel::batch {

// A seed is written as a number in CSV but as a string in JSON, where many
// readers hold numbers as doubles and would round a 64-bit seed.
struct SeedValue {
    std::uint64_t value = 0;
};

// A value already written as JSON (an array of objects); CSV holds the same
// text in one quoted field.
struct JsonValue {
    std::string json;
};

// One manifest field: nothing (an option not given: an empty CSV field, JSON
// null), text, whole number, real number (NaN when there is none to give),
// yes/no, seed, the character labels, or a JSON value.
using FieldValue = std::variant<std::monostate, std::string, std::int64_t, double, bool, SeedValue,
                                std::vector<keying::TimedLabel>, JsonValue>;
using ManifestRow = std::vector<std::pair<std::string, FieldValue>>;

// The row of file `index` of a sweep: the settings as typed (the box's
// start-up text where none was given; nothing for a band option not given)
// and as the run used them, the seed, the message as sent with its labels
// (at the actual timing when the keying is timed), the QRM stations, and
// what the run measured.
ManifestRow manifestRow(std::size_t index, const std::string& fileName, const FileRequest& typed,
                        const FileResult& result);

// The column names, the same for every row.
std::string csvHeader();
std::string csvLine(const ManifestRow& row);
std::string jsonLine(const ManifestRow& row);

// A sweep's folder as a Hugging Face "audiofolder" dataset: metadata.csv, a
// row per file: `file_name`, `text` (the message as sent, prosigns as
// "<AR>"), `labels` (JSON [["C",start,end],...]: each character with its
// half-open sample range, as the manifest's `labels_with_text`), then the
// settings a set is most often split by (kMetadataSettings, as in
// manifest.csv). The index joins a row to the manifest's.
inline constexpr std::array<std::string_view, 9> kMetadataSettings{
    "index", "seed", "mode", "wpm", "tone_hz", "snr_db", "bw_hz", "rate_hz", "samples"};
std::string metadataHeader();
std::string metadataLine(const ManifestRow& row);

// A CSV field: always quoted, quotes doubled; every byte kept as it is.
std::string csvText(std::string_view text);
// A JSON string: quotes, backslashes and control characters escaped; valid
// UTF-8 kept; each byte that is not part of valid UTF-8 becomes U+FFFD (the
// manifest's hex field keeps the typed message's exact bytes).
std::string jsonText(std::string_view text);

inline constexpr const char* kManifestCsv = "manifest.csv";
inline constexpr const char* kManifestJsonl = "manifest.jsonl";
inline constexpr const char* kAudioFolderMetadata = "metadata.csv";

// Whether a sweep's folder also gets metadata.csv.
enum class AudioFolder : bool { Off, On };

// Writes manifest.csv and manifest.jsonl (with AudioFolder::On metadata.csv
// too) in a held folder with rows in index order, whatever order the files
// finish in. The rows go to temporary files as soon as every earlier row is
// in; finish() writes the rest in order and publishes them all, never over
// anything that bears their names, so the folder never holds a manifest that
// lists a file that is not complete. Unfinished, it leaves nothing behind.
// Safe to call add() from several threads. Errors are save::PublishError
// naming the manifest's file.
class ManifestWriter {
public:
    ManifestWriter(const save::Folder& folder, const std::string& shownFolder,
                   AudioFolder audioFolder = AudioFolder::Off,
                   const std::string& temporarySuffix = save::processTemporarySuffix());
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    struct Lines {
        std::string csv;
        std::string json;
        std::string metadata{};  // written with AudioFolder::On only
    };
    void add(std::size_t index, const ManifestRow& row) {
        add(index, Lines{csvLine(row), jsonLine(row), metadataLine(row)});
    }
    void add(std::size_t index, Lines lines);
    // Writes the rows held back (of files after one that never completed) and
    // puts every file in place.
    void finish();

private:
    void write(const Lines& lines);
    void flush();

    save::PendingFile csv_, json_;
    std::optional<save::PendingFile> metadata_;
    std::string csvBuffer_, jsonBuffer_, metadataBuffer_;
    std::mutex mutex_;
    std::map<std::size_t, Lines> heldBack_;
    std::size_t next_ = 0;
};

}  // namespace vantel::batch
