// The Morse encoder on any bytes: ASCII, UTF-8, invalid UTF-8, control bytes.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "keying/morse_encoder.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkEncoding(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzInput input(data, size);
    checkTone(input.interestingDouble());
    return 0;
}
