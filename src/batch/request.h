#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/options.h"
#include "channel/band_conditions.h"
#include "formats/audio_format.h"
#include "settings/generation_settings.h"

// What a front end asks for, as typed values: the command line, the Python
// module and the fuzzers all build these, and one engine path consumes them.
namespace vantel::batch {

// How the output level is chosen: the text typed into the level box (the
// request's typed level, or the box's start-up text), or before the run,
// from the plan and the filter, so that the file's RMS sits at a target.
struct LevelPolicy {
    bool automatic = false;
    std::optional<double> targetRmsDbfs;  // with `automatic`; nothing: kDefaultAutoRmsDbfs

    double target() const { return targetRmsDbfs.value_or(kDefaultAutoRmsDbfs); }
    bool operator==(const LevelPolicy&) const = default;
};

// Where a file's message comes from when it is not typed: a text file, or
// practice texts made from the file's seed (Koch lessons, call signs, QSOs,
// contest exchanges, words from a list). The values are the texts given,
// read when the request is used; a text file and a word list are read when
// the option is set, so that the request carries their words wherever it
// goes (a cluster's worker has no such file).
struct PracticeRequest {
    std::optional<std::string> textFile;  // the name given; "-": standard input
    std::optional<std::string> fileText;  // its text
    std::optional<std::string> koch;      // the lesson
    std::optional<std::string> kochOrder;
    std::optional<std::string> groups;
    std::optional<std::string> groupLength;
    std::optional<std::string> calls;
    bool qso = false;
    bool contest = false;
    std::optional<std::string> wordList;  // the name given
    std::vector<std::string> listWords;   // its words
    std::optional<std::string> words;     // the most words sent
    bool paragraphBt = false;             // a paragraph break sent as <BT>

    // Whether the message is made here rather than typed.
    bool makesMessage() const { return textFile || koch || calls || qso || contest || wordList; }
    bool given() const { return makesMessage() || words || kochOrder || groups || groupLength || paragraphBt; }
    bool operator==(const PracticeRequest&) const = default;
};

// One file: the texts the window's boxes would hold (so that every file is
// byte for byte the window's for the same texts), the mode and the filter
// switch, the band conditions as typed (read strictly), the seed and the
// level policy.
struct FileRequest {
    settings::Mode mode = settings::Mode::OnOffCW;
    TypedTexts typed;  // nothing: the box's start-up text
    bool filterOn = true;
    BandTexts band;  // nothing: the effect is off
    bool extended = false;  // the extended characters and prosigns
    PracticeRequest practice;
    std::optional<std::uint64_t> seed;  // nothing: the window's start-up seed
    LevelPolicy level;

    bool operator==(const FileRequest&) const = default;
    std::uint64_t noiseSeed() const;
};

// The request's options by the names the command line gives them ("--snr",
// "--mode", "--level", "--auto-rms", "--seed", every band option), each set
// from a text and checked as far as a single value can be: a bad mode, seed
// or --auto-rms is a UsageError here, the boxes' texts are read as the
// window reads them, and the band options when the request is used.
bool isRequestOption(std::string_view name);
void setRequestOption(FileRequest& request, std::string_view name, const std::string& text);
// The flags: "--no-filter", "--extended".
bool isRequestFlag(std::string_view name);
void setRequestFlag(FileRequest& request, std::string_view name);
// Every option and flag name, in the order of the help text.
std::vector<std::string_view> requestOptionNames();

// --auto-rms needs --level auto; throws UsageError otherwise.
void checkLevelPolicy(const FileRequest& request);
// Settings that only shape an effect need the option that turns it on;
// throws UsageError otherwise.
void checkCompanions(const FileRequest& request);
// Both, and the band options read strictly: a request a single file can be
// made from, as far as it can be known before the run is set up.
void checkRequest(const FileRequest& request);

// The band conditions the request gives, every setting read strictly; throws
// UsageError naming the option, its text and its range. The Farnsworth speed
// is checked against the character speed when the run is set up.
channel::BandConditions bandConditions(const FileRequest& request);

// Whether any band option or --extended was given.
bool hasBandOptions(const FileRequest& request);

// The values of one axis of a sweep; nothing stands for the option not given.
using Axis = std::vector<std::optional<std::string>>;

// A sweep: a file request for what the files share, and the values each axis
// takes. Every axis holds at least one value. The files are numbered with
// the messages outermost, then the band options in the order of kBandOptions,
// then speeds, tones and S/N values innermost; file i's noise seed is
// output i + 1 of SplitMix64 started at the base's seed.
struct SweepRequest {
    FileRequest base;
    Axis messages{std::nullopt};
    Axis wpms{std::nullopt};
    Axis tones{std::nullopt};
    Axis snrs{std::nullopt};
    std::array<Axis, kBandCount> bands;
    std::filesystem::path folder;
    bool audioFolder = false;  // metadata.csv too, for the folder as an audio dataset (kAudioFolderFlag)
    formats::Encoding encoding;  // every file's format (WAV: named ".WAV", as the save dialog names them)

    SweepRequest();
    bool operator==(const SweepRequest&) const = default;
};

// The flag that asks a sweep for metadata.csv (SweepRequest::audioFolder):
// on the command line, and as Python's keyword without the dashes.
inline constexpr std::string_view kAudioFolderFlag = "--audiofolder";

// An axis from the text a command line gives it: a number, a list or a range
// (expandValues), or for --channel a list of presets. Throws UsageError for
// unreadable syntax and for a value given twice (it would name two files
// alike).
Axis axisFromText(std::string_view option, const std::string& text);
// An axis from values given one by one; throws UsageError for a value given
// twice or none at all.
Axis axisFromValues(std::string_view option, const std::vector<std::string>& values);

// The sweep whose axes are the request's list-valued texts (--snr, --wpm,
// --tone and every band option, as a command line gives them) over
// `messages` (nothing: the request's message), into `folder`.
SweepRequest sweepFromTexts(const FileRequest& request, const std::optional<std::vector<std::string>>& messages,
                            const std::filesystem::path& folder);

}  // namespace vantel::batch
