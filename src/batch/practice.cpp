#include "batch/practice.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "batch/sweep.h"
#include "keying/extended_morse.h"
#include "keying/message_text.h"
#include "practice/practice_texts.h"

namespace vantel::batch {
namespace {

// The most a text file or word list may hold, checked while it is read: a
// device or a mistaken file never fills memory.
constexpr std::size_t kMostTextBytes = std::size_t{64} * 1024 * 1024;

constexpr std::array<std::string_view, 8> kValued{"--text-file", "--koch",   "--koch-order", "--groups",
                                                  "--group-length", "--calls", "--word-list", "--words"};
constexpr std::array<std::string_view, 3> kFlags{"--paragraph-bt", "--qso", "--contest"};

// What a generated source makes when neither a count nor a duration says.
constexpr std::size_t kDefaultGroups = 20;
constexpr std::size_t kDefaultQsoWords = 120;
constexpr std::size_t kDefaultContestExchanges = 10;
constexpr std::size_t kDefaultListWords = 50;
constexpr std::size_t kDefaultGroupLength = 5;
// A generated source asked only for --words N makes at most this many: more
// than a run can hold at any speed (about 80 hours at 20 WPM).
constexpr std::size_t kMostGeneratedWords = 100000;

struct WholeRange {
    std::size_t lowest;
    std::size_t highest;
};
constexpr WholeRange kCountRange{1, 100000};
constexpr WholeRange kGroupLengthRange{1, 20};
constexpr WholeRange kWordsRange{1, 10000000};

std::size_t wholeNumber(std::string_view option, const std::string& text, WholeRange range) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < range.lowest ||
        value > range.highest) {
        throw UsageError("bad " + std::string(option) + " '" + text + "': use a whole number from " +
                         std::to_string(range.lowest) + " to " + std::to_string(range.highest));
    }
    return value;
}

std::string readAll(std::istream& in, std::string_view option, const std::string& name) {
    std::string text;
    std::array<char, 65536> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMostTextBytes) {
            throw UsageError(std::string(option) + " " + name + ": larger than " +
                             std::to_string(kMostTextBytes / (1024 * 1024)) + " MB");
        }
    }
    if (in.bad()) throw UsageError(std::string(option) + " " + name + ": cannot be read");
    return text;
}

// A text file's contents, checked to be UTF-8 text.
std::string readTextFile(std::string_view option, const std::string& name) {
    std::string text;
    if (name == "-") {
        text = readAll(std::cin, option, "(standard input)");
    } else {
        std::ifstream in(name, std::ios::binary);
        if (!in) throw UsageError(std::string(option) + " " + name + ": cannot be opened");
        text = readAll(in, option, name);
    }
    const std::string shown = name == "-" ? "(standard input)" : name;
    if (const auto problem = keying::utf8Problem(text)) {
        throw UsageError(std::string(option) + " " + shown + ": not UTF-8 text: " + *problem);
    }
    return text;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::vector<std::string> wordsOf(std::string_view text) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < text.size();) {
        while (i < text.size() && isBlank(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i])) ++i;
        if (i > start) words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

std::string joined(const std::vector<std::string>& words, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min(count, words.size()); ++i) {
        if (i > 0) text += ' ';
        text += words[i];
    }
    return text;
}

// Lines, a CR before each line feed dropped.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r')) line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

bool blankLine(std::string_view line) { return std::all_of(line.begin(), line.end(), isBlank); }

// The text as words: every run of blanks and line breaks one word gap, a
// paragraph break (an empty line) <BT> when asked for.
std::vector<std::string> fileWords(const PracticeRequest& p, std::string_view text) {
    std::vector<std::string> words;
    bool paragraphEnded = false;
    for (const std::string& line : linesOf(text)) {
        if (blankLine(line)) {
            paragraphEnded = !words.empty();
            continue;
        }
        if (paragraphEnded && p.paragraphBt) words.emplace_back("<BT>");
        paragraphEnded = false;
        for (std::string& word : wordsOf(line)) words.push_back(std::move(word));
    }
    return words;
}

// The generators' refusals are the user's input: exit status 2.
template <typename Make>
auto asUsage(Make make) {
    try {
        return make();
    } catch (const practice::PracticeError& e) {
        throw UsageError(e.what());
    }
}

practice::KochOrder kochOrderOf(const PracticeRequest& p) {
    return asUsage([&] { return practice::kochOrder(p.kochOrder.value_or(std::string(practice::kDefaultKochOrder))); });
}

// Koch, calls, QSOs, contest exchanges or list words: `count` words of them
// (groups, calls, exchanges' words ...), the first words the same for any count.
std::vector<std::string> makeWords(const PracticeRequest& p, bool extended, std::uint64_t seed,
                                   std::size_t count) {
    if (p.koch) {
        const std::size_t groupLength =
            p.groupLength ? wholeNumber("--group-length", *p.groupLength, kGroupLengthRange) : kDefaultGroupLength;
        return practice::kochGroups(kochOrderOf(p), wholeNumber("--koch", *p.koch, {1, 1000}), count, groupLength,
                                    seed);
    }
    if (p.calls) return practice::callSigns(count, seed);
    if (p.qso) return practice::qsoWords(count, extended, seed);
    if (p.contest) return practice::contestWords(count, seed);
    return practice::listWords(p.listWords, count, seed);
}

std::vector<std::string> generatedWords(const PracticeRequest& p, bool extended, std::uint64_t seed,
                                        std::size_t count) {
    return asUsage([&] { return makeWords(p, extended, seed, count); });
}

// How many words a generated source makes unless told.
std::size_t defaultCount(const PracticeRequest& p) {
    if (p.koch) return p.groups ? wholeNumber("--groups", *p.groups, kCountRange) : kDefaultGroups;
    if (p.calls) return wholeNumber("--calls", *p.calls, kCountRange);
    if (p.qso) return kDefaultQsoWords;
    if (p.contest) return practice::contestWordsFor(kDefaultContestExchanges);
    return kDefaultListWords;
}

bool countGiven(const PracticeRequest& p) { return (p.koch && p.groups) || p.calls; }

// The words a file's text is made of, before any is cut; `wanted` asks a
// generated source for at least so many words when no count is given.
std::vector<std::string> sourceWords(const FileRequest& request, std::uint64_t seed, std::size_t wanted) {
    const PracticeRequest& p = request.practice;
    if (p.textFile) return fileWords(p, *p.fileText);
    const std::size_t count = countGiven(p) ? defaultCount(p) : std::max(wanted, defaultCount(p));
    return generatedWords(p, request.extended, seed, count);
}

// The characters a word sends (a prosign is one).
std::size_t charactersIn(std::string_view word, bool extended) {
    const auto symbols = extended ? keying::parseExtendedMessage(word) : keying::parseClassicMessage(word);
    return static_cast<std::size_t>(
        std::count_if(symbols.begin(), symbols.end(), [](const keying::MessageSymbol& s) { return !s.isBlank(); }));
}

// The most leading words whose characters are all among the first `kept`.
std::size_t wordsWithin(const std::vector<std::string>& words, std::size_t kept, bool extended) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        characters += charactersIn(words[i], extended);
        if (characters > kept) return i;
    }
    return words.size();
}

double durationOf(const FileRequest& request) { return bandConditions(request).durationS; }

// A first guess at how many words fill `seconds` at the request's speed, on
// the generous side: a word of five characters is 50 dot lengths.
std::size_t wordsForSeconds(const FileRequest& request, double seconds) {
    double wpm = 20;
    if (const auto& text = request.typed[Typed::Wpm]) {
        double typed = 0;
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), typed);
        if (error == std::errc() && typed > 0) wpm = typed;
    }
    return static_cast<std::size_t>(std::ceil(seconds / 60 * wpm * 2)) + 10;
}

// The request sending `message` instead of its own text.
FileRequest withMessage(const FileRequest& request, std::string message) {
    FileRequest r = request;
    r.typed[Typed::Message] = std::move(message);
    r.practice = {};
    return r;
}

std::string sendable(const std::string& text, bool extended, std::string& changes) {
    const keying::CleanedText cleaned = keying::cleanMessage(text, extended);
    changes = keying::describeChanges(cleaned.changes);
    return cleaned.text;
}

// The leading words of `words` that fit `seconds` (as --duration) with `seed`.
std::size_t wordsThatFit(const FileRequest& request, const std::vector<std::string>& words, double seconds,
                         std::uint64_t seed, const CharactersThatFit& fit) {
    FileRequest probe = withMessage(request, joined(words, words.size()));
    probe.band[Band::Duration] = std::to_string(seconds);
    probe.band[Band::Tail].reset();
    probe.seed = seed;
    return wordsWithin(words, fit(probe), request.extended);
}

std::string describeSource(const PracticeRequest& p) {
    if (p.textFile) return "text file " + *p.textFile;
    if (p.koch) return "koch " + *p.koch + " " + std::string(kochOrderOf(p).name);
    if (p.calls) return "calls " + *p.calls;
    if (p.qso) return "qso";
    if (p.contest) return "contest";
    return "word list " + p.wordList.value_or("");
}

}  // namespace

bool isPracticeOption(std::string_view name) {
    return std::find(kValued.begin(), kValued.end(), name) != kValued.end();
}

bool isPracticeFlag(std::string_view name) { return std::find(kFlags.begin(), kFlags.end(), name) != kFlags.end(); }

void setPracticeOption(PracticeRequest& p, std::string_view name, const std::string& text) {
    if (name == "--text-file") {
        p.fileText = readTextFile(name, text);
        p.textFile = text;
        if (wordsOf(*p.fileText).empty()) throw UsageError("--text-file " + text + ": holds no words");
    } else if (name == "--word-list") {
        std::vector<std::string> words = wordsOf(readTextFile(name, text));
        if (words.empty()) throw UsageError("--word-list " + text + ": holds no words");
        p.listWords = std::move(words);
        p.wordList = text;
    } else if (name == "--koch") {
        p.koch = text;
    } else if (name == "--koch-order") {
        p.kochOrder = text;
    } else if (name == "--groups") {
        p.groups = text;
    } else if (name == "--group-length") {
        p.groupLength = text;
    } else if (name == "--calls") {
        p.calls = text;
    } else if (name == "--words") {
        p.words = text;
    } else {
        throw UsageError("unknown option '" + std::string(name) + "' (see --help)");
    }
}

void setPracticeFlag(PracticeRequest& p, std::string_view name) {
    if (name == "--qso") {
        p.qso = true;
    } else if (name == "--contest") {
        p.contest = true;
    } else if (name == "--paragraph-bt") {
        p.paragraphBt = true;
    } else {
        throw UsageError("unknown option '" + std::string(name) + "' (see --help)");
    }
}

std::vector<std::string_view> practiceOptionNames() {
    return {"--text-file", "--paragraph-bt", "--koch", "--koch-order", "--groups", "--group-length",
            "--calls",     "--qso",          "--contest", "--word-list", "--words"};
}

void checkPractice(const FileRequest& request) {
    const PracticeRequest& p = request.practice;
    if (!p.given()) return;
    const int sources = (request.typed[Typed::Message] ? 1 : 0) + (p.textFile ? 1 : 0) + (p.koch ? 1 : 0) +
                        (p.calls ? 1 : 0) + (p.qso ? 1 : 0) + (p.contest ? 1 : 0) + (p.wordList ? 1 : 0);
    if (sources > 1) {
        throw UsageError("give one text: --message, --text-file, --koch, --calls, --qso, --contest or --word-list");
    }
    if ((p.kochOrder || p.groups || p.groupLength) && !p.koch) {
        throw UsageError("--koch-order, --groups and --group-length go with --koch");
    }
    if (p.paragraphBt && !p.textFile) throw UsageError("--paragraph-bt goes with --text-file");
    if (p.paragraphBt && !request.extended) throw UsageError("--paragraph-bt sends <BT>, a prosign: add --extended");
    if (request.mode == settings::Mode::ToneOnly && p.given()) {
        throw UsageError("a practice text needs a Morse mode (onoff or fsk), not tone");
    }
    if (p.words) wholeNumber("--words", *p.words, kWordsRange);
    if (p.groups) wholeNumber("--groups", *p.groups, kCountRange);
    if (p.groupLength) wholeNumber("--group-length", *p.groupLength, kGroupLengthRange);
    if (p.calls) wholeNumber("--calls", *p.calls, kCountRange);
    if (p.koch) {
        const practice::KochOrder order = kochOrderOf(p);
        const std::size_t lessons = order.characters.size() - 1;
        const std::size_t lesson = wholeNumber("--koch", *p.koch, {1, lessons});
        if (!request.extended && practice::lessonNeedsExtended(order, lesson)) {
            throw UsageError("Koch lesson " + *p.koch + " of the " + std::string(order.name) +
                             " order sends '=' (<BT>): add --extended");
        }
    }
}

MessageText messageFor(const FileRequest& request, std::uint64_t seed, const CharactersThatFit& fit) {
    const PracticeRequest& p = request.practice;
    MessageText out;
    if (!p.given()) {
        const auto& typed = request.typed[Typed::Message];
        out.message = typed ? sendable(*typed, request.extended, out.changes) : std::string();
        return out;
    }
    out.source = describeSource(p);
    const double seconds = durationOf(request);
    std::size_t wanted = seconds > 0 ? wordsForSeconds(request, seconds) : 0;
    std::size_t most = p.words ? wholeNumber("--words", *p.words, kWordsRange) : SIZE_MAX;
    if (p.words && !countGiven(p)) wanted = std::max(wanted, std::min(most, kMostGeneratedWords));
    for (;;) {
        std::vector<std::string> words;
        if (p.makesMessage()) {
            words = wordsOf(sendable(joined(sourceWords(request, seed, wanted), SIZE_MAX), request.extended,
                                     out.changes));
        } else {
            words = wordsOf(sendable(request.typed[Typed::Message].value_or(""), request.extended, out.changes));
        }
        const bool generated = p.makesMessage() && !p.textFile && !countGiven(p);
        std::size_t keep = std::min(words.size(), most);
        if (seconds > 0) {
            std::vector<std::string> candidate(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(keep));
            const std::size_t fitting = wordsThatFit(request, candidate, seconds, seed, fit);
            if (fitting == candidate.size() && generated && keep < most && words.size() >= wanted) {
                wanted *= 2;  // all of it fits: make more
                continue;
            }
            if (fitting == 0) {
                throw UsageError("--duration " + *request.band[Band::Duration] + " is shorter than the first word ('" +
                                 words.front() + "')");
            }
            keep = fitting;
        }
        out.message = joined(words, keep);
        return out;
    }
}

std::vector<std::string> splitByDuration(const FileRequest& request, double seconds, std::uint64_t textSeed,
                                         const std::function<std::uint64_t(std::size_t)>& seedOf,
                                         const CharactersThatFit& fit) {
    FileRequest whole = request;
    whole.band[Band::Duration].reset();
    const std::vector<std::string> words = wordsOf(messageFor(whole, textSeed, fit).message);
    std::vector<std::string> parts;
    for (std::size_t first = 0; first < words.size();) {
        std::size_t guess = wordsForSeconds(request, seconds);
        for (;;) {
            const std::size_t end = std::min(words.size(), first + guess);
            const std::vector<std::string> candidate(words.begin() + static_cast<std::ptrdiff_t>(first),
                                                     words.begin() + static_cast<std::ptrdiff_t>(end));
            const std::size_t fitting = wordsThatFit(request, candidate, seconds, seedOf(parts.size()), fit);
            if (fitting == candidate.size() && end < words.size()) {
                guess *= 2;
                continue;
            }
            if (fitting == 0) {
                throw UsageError("the word '" + candidate.front() + "' is longer than a part of " +
                                 std::to_string(seconds) + " s");
            }
            parts.push_back(joined(candidate, fitting));
            first += fitting;
            break;
        }
    }
    return parts;
}

std::vector<std::string> splitByChapters(const FileRequest& request) {
    const PracticeRequest& p = request.practice;
    if (!p.textFile) throw UsageError("--split chapters goes with --text-file");
    std::vector<std::string> chapters;
    std::string current;
    for (const std::string& line : linesOf(*p.fileText)) {
        const std::vector<std::string> words = wordsOf(line);
        std::string first = words.empty() ? std::string() : words.front();
        std::transform(first.begin(), first.end(), first.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
        if (first == "chapter" && !wordsOf(current).empty()) {
            chapters.push_back(current);
            current.clear();
        }
        current += line + '\n';
    }
    if (!wordsOf(current).empty()) chapters.push_back(current);
    if (chapters.size() < 2) throw UsageError("--split chapters: " + *p.textFile + " has no line starting with CHAPTER");
    return chapters;
}

namespace {

// "book.mp3" part 3 of 12: "book-03.mp3".
std::string partName(const std::string& output, std::size_t index, std::size_t count) {
    const std::filesystem::path path(output);
    const std::size_t digits = std::max<std::size_t>(2, std::to_string(count).size());
    std::string number = std::to_string(index + 1);
    number.insert(0, digits - number.size(), '0');
    std::filesystem::path name = path.parent_path() / (path.stem().string() + "-" + number + path.extension().string());
    return name.string();
}

}  // namespace

PracticeParts splitIntoParts(const FileRequest& request, const std::string& splitText, const std::string& output,
                             const CharactersThatFit& fit) {
    const std::uint64_t seed = request.noiseSeed();
    auto seedOf = [&](std::size_t i) { return fileSeed(seed, i); };
    PracticeParts parts;
    std::vector<FileRequest>& requests = parts.requests;
    if (splitText == "chapters") {
        for (std::string& chapter : splitByChapters(request)) {
            FileRequest part = request;
            part.practice.fileText = std::move(chapter);
            part.seed = seedOf(requests.size());
            requests.push_back(std::move(part));
        }
        std::string all;
        for (const FileRequest& part : requests) {
            const std::string changes = messageFor(part, *part.seed, fit).changes;
            if (!changes.empty() && all.find(changes) == std::string::npos) all += (all.empty() ? "" : "; ") + changes;
        }
        parts.changes = all;
    } else {
        FileRequest probe = request;
        probe.band[Band::Duration] = splitText;
        const double seconds = bandConditions(probe).durationS;
        if (!(seconds > 0)) throw UsageError("bad --split '" + splitText + "': use a length such as 300 or 5m, or chapters");
        parts.changes = messageFor(request, seed, fit).changes;
        for (std::string& text : splitByDuration(request, seconds, seed, seedOf, fit)) {
            FileRequest part = withMessage(request, std::move(text));
            part.seed = seedOf(requests.size());
            requests.push_back(std::move(part));
        }
    }
    for (std::size_t i = 0; i < requests.size(); ++i) parts.names.push_back(partName(output, i, requests.size()));
    return parts;
}

}  // namespace vantel::batch
