#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "gen_options.h"
#include "gen_run.h"
#include "keying/morse_timing.h"

namespace vantel::gen {

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
ManifestRow manifestRow(std::size_t index, const std::string& fileName, const GenOptions& typed,
                        const FileResult& result);

// The column names, the same for every row.
std::string csvHeader();
std::string csvLine(const ManifestRow& row);
std::string jsonLine(const ManifestRow& row);

// A CSV field: always quoted, quotes doubled; every byte kept as it is.
std::string csvText(std::string_view text);
// A JSON string: quotes, backslashes and control characters escaped; valid
// UTF-8 kept; each byte that is not part of valid UTF-8 becomes U+FFFD (the
// manifest's hex field keeps the typed message's exact bytes).
std::string jsonText(std::string_view text);

inline constexpr const char* kManifestCsv = "manifest.csv";
inline constexpr const char* kManifestJsonl = "manifest.jsonl";

// Writes manifest.csv and manifest.jsonl in a folder with rows in index order,
// whatever order the files finish in. The rows go to temporary files as soon
// as every earlier row is in; finish() writes the rest in order and renames
// both into place, so the folder never holds a manifest that lists a file that
// is not complete. Safe to call add() from several threads.
class ManifestWriter {
public:
    explicit ManifestWriter(const std::filesystem::path& folder);
    ~ManifestWriter();
    ManifestWriter(const ManifestWriter&) = delete;
    ManifestWriter& operator=(const ManifestWriter&) = delete;

    void add(std::size_t index, const ManifestRow& row);
    // Writes the rows held back (of files after one that never completed) and
    // puts both manifests in place. Throws wav::FileError.
    void finish();

private:
    struct Lines {
        std::string csv;
        std::string json;
    };
    void write(const Lines& lines);
    void check();
    void discard();

    std::filesystem::path folder_, csvTemporary_, jsonTemporary_;
    std::ofstream csv_, json_;
    std::mutex mutex_;
    std::map<std::size_t, Lines> heldBack_;
    std::size_t next_ = 0;
    bool madeCsv_ = false, madeJson_ = false;
    bool finished_ = false;
};

}  // namespace vantel::gen
