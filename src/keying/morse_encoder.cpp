#include "keying/morse_encoder.h"

#include <array>
#include <cmath>

#include "text/number_text.h"

namespace vantel::keying {
namespace {

struct CodeEntry {
    char character;
    const char* code;
};

constexpr std::array<CodeEntry, 40> kCodes{{
    {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},    {'E', "."},
    {'F', "..-."},   {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},
    {'K', "-.-"},    {'L', ".-.."},   {'M', "--"},     {'N', "-."},     {'O', "---"},
    {'P', ".--."},   {'Q', "--.-"},   {'R', ".-."},    {'S', "..."},    {'T', "-"},
    {'U', "..-"},    {'V', "...-"},   {'W', ".--"},    {'X', "-..-"},   {'Y', "-.--"},
    {'Z', "--.."},   {'.', ".-.-.-"}, {'/', "-..-."},  {'?', "..--.."}, {',', "--..--"},
    {'0', "-----"},  {'1', ".----"},  {'2', "..---"},  {'3', "...--"},  {'4', "....-"},
    {'5', "....."},  {'6', "-...."},  {'7', "--..."},  {'8', "---.."},  {'9', "----."},
}};

constexpr std::array<const char*, 128> buildTable() {
    std::array<const char*, 128> table{};
    for (const auto& entry : kCodes) table[static_cast<unsigned char>(entry.character)] = entry.code;
    return table;
}

constexpr std::array<const char*, 128> kTable = buildTable();

}  // namespace

std::string_view morseCode(unsigned char character) {
    if (character >= kTable.size() || kTable[character] == nullptr) return {};
    return kTable[character];
}

std::string toUpperAscii(std::string_view message) {
    std::string upper(message);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

MorseEncoding encodeMorse(std::string_view upperCaseMessage) {
    MorseEncoding result;
    for (char c : upperCaseMessage) {
        const std::string_view code = morseCode(static_cast<unsigned char>(c));
        if (!code.empty()) {
            for (char symbol : code) result.pattern += symbol == '.' ? "- " : "--- ";
            result.pattern += "  ";
        }
        if (c == ' ') result.pattern += "  ";
    }
    result.duration = static_cast<std::int64_t>(result.pattern.size());
    return result;
}

std::string durationCaption(double seconds) {
    const std::string form = text::signedForm(seconds);
    std::string shown;
    if (form.find('E') == std::string::npos && std::fabs(seconds) < 10000) {
        shown = form.substr(0, 5);
    } else if (std::fabs(seconds) < 1) {
        shown = " 0";
    } else {
        shown = (seconds < 0 ? "" : " ") + text::formatPattern(seconds, "0");
    }
    return "Duration" + shown + " seconds";
}

KeyingPattern tonePattern(double seconds) {
    constexpr double kLongest = 9.0e18;
    const double count = text::roundHalfEven(seconds * 10);
    if (!(count > 0)) return KeyingPattern::continuousTone(0);
    return KeyingPattern::continuousTone(static_cast<std::int64_t>(count < kLongest ? count : kLongest));
}

}  // namespace vantel::keying
