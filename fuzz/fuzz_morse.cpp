// The Morse encoder on any bytes: ASCII, UTF-8, invalid UTF-8, control bytes;
// and the extended reader and the timing on the same bytes with options taken
// from them.
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "channel/band_conditions.h"
#include "fuzz_input.h"
#include "keying/extended_morse.h"
#include "keying/morse_encoder.h"
#include "keying/morse_timing.h"
#include "keying/timing_limits.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace keying = vantel::keying;

void checkUpperCase(std::string_view message, const std::string& upper) {
    require(upper.size() == message.size(), "upper-casing keeps the length");
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        const char expected = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        require(upper[i] == expected, "only ASCII letters change, to capitals");
    }
}

struct Run {
    bool keyDown;
    std::size_t length;
};

std::vector<Run> runsOf(const std::string& pattern) {
    std::vector<Run> runs;
    for (char c : pattern) {
        const bool down = c == keying::kKeyDown;
        if (!runs.empty() && runs.back().keyDown == down) {
            ++runs.back().length;
        } else {
            runs.push_back({down, 1});
        }
    }
    return runs;
}

// Reads the pattern back: key-down runs of 1 and 3 are dots and dashes, a gap
// of 1 separates symbols, 3 ends a character and every 2 more are one blank.
std::string decode(const std::string& pattern) {
    std::string decoded;
    std::string symbols;
    for (const Run& run : runsOf(pattern)) {
        if (run.keyDown) {
            require(run.length == 1 || run.length == 3, "key-down runs are dots or dashes");
            symbols += run.length == 1 ? '.' : '-';
            continue;
        }
        if (run.length == 1) {
            require(!symbols.empty(), "a one-element gap lies inside a character");
            continue;
        }
        const bool endsCharacter = run.length % 2 == 1;
        require(endsCharacter == !symbols.empty(), "a character ends with 3 + 2 per blank, blanks alone are 2");
        if (endsCharacter) {
            decoded += symbols + '|';
            symbols.clear();
        }
        const std::size_t blanks = (run.length - (endsCharacter ? 3 : 0)) / 2;
        decoded.append(blanks, ' ');
    }
    require(symbols.empty(), "the pattern never ends on a key-down");
    return decoded;
}

// What the pattern must spell: each encodable character's code and every blank.
std::string expectedSpelling(std::string_view upper) {
    std::string spelling;
    for (char c : upper) {
        const std::string_view code = keying::morseCode(static_cast<unsigned char>(c));
        if (!code.empty()) spelling.append(code).push_back('|');
        if (c == ' ') spelling.push_back(' ');
    }
    return spelling;
}

void checkEncoding(std::string_view message) {
    const std::string upper = keying::toUpperAscii(message);
    checkUpperCase(message, upper);
    const keying::MorseEncoding encoding = keying::encodeMorse(upper);
    require(encoding.pattern.find_first_not_of("- ") == std::string::npos, "only key-down and key-up");
    require(encoding.duration == static_cast<std::int64_t>(encoding.pattern.size()), "Duration is the length");
    require(decode(encoding.pattern) == expectedSpelling(upper), "the pattern reads back as the message");

    // Encoding is per character: a message split anywhere encodes to the two
    // halves' patterns joined.
    const std::size_t cut = upper.size() / 3;
    const std::string joined = keying::encodeMorse(upper.substr(0, cut)).pattern +
                               keying::encodeMorse(upper.substr(cut)).pattern;
    require(joined == encoding.pattern, "encoding a split message joins the halves");
}

void checkTone(double seconds) {
    const keying::KeyingPattern tone = keying::tonePattern(seconds);
    require(tone.size() >= 0 && tone.isContinuousTone(), "a tone is a non-negative count");
    if (std::isfinite(seconds) && seconds > 0 && seconds < 1e15) {
        require(tone.size() == static_cast<std::int64_t>(std::nearbyint(seconds * 10)),
                "one element per tenth of a second, halves to even");
    }
    const std::string caption = keying::durationCaption(seconds);
    require(caption.starts_with("Duration") && caption.ends_with(" seconds"), "the duration caption's frame");
    require(caption.size() <= 8 + 5 + 8 || !(std::fabs(seconds) < 10000), "short lengths take five characters");
}

void checkOneLine(const std::exception& e) {
    const std::string what = e.what();
    require(!what.empty() && what.find('\n') == std::string::npos, "a refusal is one line");
}

// The extended reader: every symbol a blank or a code of dots and dashes,
// prosigns in brackets; the classic reader gives a subset of its symbols.
std::vector<keying::MessageSymbol> readSymbols(std::string_view message, bool extended) {
    std::vector<keying::MessageSymbol> symbols;
    try {
        symbols = extended ? keying::parseExtendedMessage(message) : keying::parseClassicMessage(message);
    } catch (const keying::MessageError& e) {
        require(extended, "the classic reader refuses nothing");
        checkOneLine(e);
        return {};
    }
    for (const keying::MessageSymbol& symbol : symbols) {
        require(symbol.code.find_first_not_of(".-") == std::string::npos, "codes are dots and dashes");
        require(symbol.isBlank() == (symbol.text == " "), "a blank, and only a blank, has no code");
        require(keying::readUtf8(symbol.text, 0).length == symbol.text.size() ||
                    (symbol.text.front() == '<' && symbol.text.back() == '>'),
                "a symbol is one character or a prosign in brackets");
    }
    return symbols;
}

// A value from the bytes: most often inside [low, high], otherwise anything.
double optionValue(FuzzInput& input, double low, double high) {
    if (input.byte() % 4 == 0) return input.interestingDouble();
    return low + (high - low) * (input.byte() / 255.0);
}

// Whether sample n (from 0) of the timed runs is key-down.
bool keyDownAt(const std::vector<std::int64_t>& runEnds, const std::vector<keying::KeyRun>& runs, std::int64_t n) {
    const auto at = std::upper_bound(runEnds.begin(), runEnds.end(), n) - runEnds.begin();
    return runs[static_cast<std::size_t>(at)].keyDown;
}

void checkTiming(FuzzInput& input) {
    namespace limits = vantel::keying::limits;
    const bool extended = input.byte() % 2 == 0;
    const double rate = input.byte() % 4 == 0 ? input.interestingDouble() : 100 + 60 * input.byte();
    const double wpm = optionValue(input, 1, 60);
    keying::TimingOptions options;
    options.farnsworthWpm = input.byte() % 2 == 0 ? 0 : optionValue(input, 1, wpm);
    options.wordSpaceFactor = optionValue(input, limits::kWordSpace.low, limits::kWordSpace.high);
    options.dashRatio = optionValue(input, limits::kDashRatio.low, limits::kDashRatio.high);
    options.weightPercent = optionValue(input, limits::kWeight.low, limits::kWeight.high);
    options.jitterPercent = optionValue(input, limits::kJitter.low, limits::kJitter.high);
    options.speedDriftPercent = optionValue(input, limits::kSpeedDrift.low, limits::kSpeedDrift.high);
    const std::uint64_t seed = input.raw<std::uint64_t>();
    const std::vector<keying::MessageSymbol> symbols = readSymbols(input.rest(), extended);

    keying::TimedMessage timed;
    try {
        timed = keying::timeMessage(symbols, rate, wpm, options, seed);
    } catch (const vantel::text::SettingError& e) {
        checkOneLine(e);
        return;
    }
    std::int64_t sum = 0;
    std::vector<std::int64_t> runEnds;
    for (std::size_t i = 0; i < timed.runs.size(); ++i) {
        require(timed.runs[i].samples >= 1, "every run holds a sample");
        require(i == 0 || timed.runs[i].keyDown != timed.runs[i - 1].keyDown, "runs alternate");
        sum += timed.runs[i].samples;
        runEnds.push_back(sum);
    }
    require(sum == timed.totalSamples, "the runs add up to the total");
    require(timed.labels.size() == symbols.size(), "one label per symbol");
    std::int64_t previousEnd = 1;
    for (std::size_t i = 0; i < timed.labels.size(); ++i) {
        const keying::TimedLabel& label = timed.labels[i];
        require(label.text == symbols[i].text, "a label shows its symbol");
        require(label.start >= previousEnd && label.start <= label.end, "labels in order, none reversed");
        require(label.end <= timed.totalSamples + 1, "labels inside the file");
        previousEnd = label.end;
        if (symbols[i].isBlank()) continue;
        // The keying's one-sample lag: the character's first and last key-down
        // samples are start - 1 and end - 2, and the sample after is key-up.
        require(label.end - label.start >= 1 && label.end <= timed.totalSamples, "a character has a mark in the file");
        require(keyDownAt(runEnds, timed.runs, label.start - 1) && keyDownAt(runEnds, timed.runs, label.end - 2),
                "a character's label starts and ends on its marks");
        require(label.end == timed.totalSamples || !keyDownAt(runEnds, timed.runs, label.end - 1),
                "a character's last mark ends where its label does");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkEncoding(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzInput input(data, size);
    checkTone(input.interestingDouble());
    checkTiming(input);
    return 0;
}
