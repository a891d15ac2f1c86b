#include "keying/extended_morse.h"

#include <array>
#include <cstdio>

#include "keying/morse_encoder.h"

namespace vantel::keying {
namespace {

struct CodeEntry {
    char character;
    const char* code;
};

// ITU-R M.1677-1 gives = + - @ ' " ( ) : (the double hyphen, cross,
// hyphen, commercial at, apostrophe, inverted commas, brackets and colon);
// ; ! & _ $ are the codes in common amateur use.
constexpr std::array<CodeEntry, 14> kExtraCodes{{
    {'=', "-...-"},
    {'+', ".-.-."},
    {'-', "-....-"},
    {'@', ".--.-."},
    {'\'', ".----."},
    {'"', ".-..-."},
    {'(', "-.--."},
    {')', "-.--.-"},
    {':', "---..."},
    {';', "-.-.-."},
    {'!', "-.-.--"},
    {'&', ".-..."},
    {'_', "..--.-"},
    {'$', "...-..-"},
}};

bool isLetterOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// A byte as the error messages show it: printable ASCII as itself, anything
// else as \xNN so that the message stays on one line.
std::string shown(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

// The prosign starting at message[open] (a '<'): its symbol, and the index
// just past its '>'.
struct Prosign {
    MessageSymbol symbol;
    std::size_t next;
};

Prosign readProsign(std::string_view message, std::size_t open) {
    const std::size_t close = message.find('>', open + 1);
    const std::size_t nested = message.find('<', open + 1);
    if (nested < close) {
        throw MessageError("prosign '" + shown(message.substr(open, nested - open)) +
                           "' holds a '<': close it with '>' first");
    }
    if (close == std::string_view::npos) {
        throw MessageError("unterminated prosign '" + shown(message.substr(open)) + "': close it with '>'");
    }
    const std::string letters = toUpperAscii(message.substr(open + 1, close - open - 1));
    if (letters.empty()) throw MessageError("empty prosign '<>': put letters or digits between the brackets");
    MessageSymbol symbol{"<" + letters + ">", ""};
    for (char c : letters) {
        if (!isLetterOrDigit(c)) {
            throw MessageError("prosign '" + shown(symbol.text) + "' holds '" + shown(std::string_view(&c, 1)) +
                               "': a prosign takes letters and digits only");
        }
        symbol.code += morseCode(static_cast<unsigned char>(c));
    }
    return {symbol, close + 1};
}

}  // namespace

std::string_view extendedMorseCode(unsigned char character) {
    const std::string_view classic = morseCode(character);
    if (!classic.empty()) return classic;
    for (const auto& entry : kExtraCodes) {
        if (static_cast<unsigned char>(entry.character) == character) return entry.code;
    }
    return {};
}

std::vector<MessageSymbol> parseExtendedMessage(std::string_view message) {
    std::vector<MessageSymbol> symbols;
    for (std::size_t i = 0; i < message.size();) {
        if (message[i] == '<') {
            Prosign prosign = readProsign(message, i);
            symbols.push_back(std::move(prosign.symbol));
            i = prosign.next;
            continue;
        }
        const char c = toUpperAscii(message.substr(i, 1))[0];
        if (c == ' ') {
            symbols.push_back({" ", ""});
        } else if (const std::string_view code = extendedMorseCode(static_cast<unsigned char>(c)); !code.empty()) {
            symbols.push_back({std::string(1, c), std::string(code)});
        }
        ++i;
    }
    return symbols;
}

std::vector<MessageSymbol> parseClassicMessage(std::string_view message) {
    std::vector<MessageSymbol> symbols;
    for (const char c : toUpperAscii(message)) {
        if (c == ' ') {
            symbols.push_back({" ", ""});
        } else if (const std::string_view code = morseCode(static_cast<unsigned char>(c)); !code.empty()) {
            symbols.push_back({std::string(1, c), std::string(code)});
        }
    }
    return symbols;
}

}  // namespace vantel::keying
