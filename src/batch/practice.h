#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/request.h"

// Practice material: where a file's message comes from (a text file, Koch
// lessons, call signs, QSOs, contest exchanges, a word list), the text made
// sendable (line breaks as word gaps, characters without a code transliterated
// or dropped, every change named) and cut at a word boundary to a duration or
// a number of words, or split into parts.
namespace vantel::batch {

// The options that choose and shape a file's text, and the flags among them.
bool isPracticeOption(std::string_view name);
bool isPracticeFlag(std::string_view name);
// Sets one; --text-file and --word-list read their file here ("-": standard
// input). Throws UsageError for a file that cannot be read, is too large, is
// not text (a NUL byte, invalid UTF-8: where) or holds no words.
void setPracticeOption(PracticeRequest& practice, std::string_view name, const std::string& text);
void setPracticeFlag(PracticeRequest& practice, std::string_view name);
// In the order of the help text.
std::vector<std::string_view> practiceOptionNames();

// One source at most, each shaping option with its source, every number in
// its range, the Koch order known and the lesson in it, --extended where the
// text needs it. Throws UsageError.
void checkPractice(const FileRequest& request);

// A file's message as it is sent, and how it was made.
struct MessageText {
    std::string message;  // what is typed into the message box
    std::string changes;  // the characters changed or dropped, one line; empty: none
    std::string source;   // e.g. "koch 5 standard"; empty: the message typed
};

// How many characters of a candidate message fit the request's duration: the
// characters a run of it keeps, given the request with that message.
using CharactersThatFit = std::function<std::size_t(const FileRequest&)>;

// The message a file sends: typed, read or made from `seed`, made sendable,
// and cut to --words and to the duration (--duration with a practice text:
// the whole words that fit). Throws UsageError when not even one word fits.
MessageText messageFor(const FileRequest& request, std::uint64_t seed, const CharactersThatFit& fit);

// The request's text in parts of at most `seconds` each, cut at word
// boundaries; `seedOf(i)` is part i's seed (its jitter and drift time it).
// Throws UsageError when a single word is longer than a part.
std::vector<std::string> splitByDuration(const FileRequest& request, double seconds, std::uint64_t textSeed,
                                         const std::function<std::uint64_t(std::size_t)>& seedOf,
                                         const CharactersThatFit& fit);

// The text file's chapters: a new one at each line that starts with the word
// "chapter" (in any case). Throws UsageError when there are none.
std::vector<std::string> splitByChapters(const FileRequest& request);

// A practice text split into numbered files (--split): each part's name
// ("book-01.mp3" for "book.mp3"), its request (the part's text, its own
// noise seed: output i + 1 of SplitMix64 from the request's seed, as a
// sweep's files) and the changes made to the text's characters.
struct PracticeParts {
    std::vector<std::string> names;
    std::vector<FileRequest> requests;
    std::string changes;
};
PracticeParts splitIntoParts(const FileRequest& request, const std::string& splitText, const std::string& output,
                             const CharactersThatFit& fit);

}  // namespace vantel::batch
