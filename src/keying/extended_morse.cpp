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

struct NationalEntry {
    char32_t capital;
    char32_t small;
    NationalLetter letter;
};

// ITU-R M.1677-1 has É; the others are the codes of the national alphabets
// in wide use (German, Scandinavian, Spanish, French, Polish, Czech,
// Esperanto, Icelandic).
constexpr std::array<NationalEntry, 29> kNationalLetters{{
    {U'À', U'à', {"À", ".--.-"}},  {U'Å', U'å', {"Å", ".--.-"}},   {U'Ä', U'ä', {"Ä", ".-.-"}},
    {U'Æ', U'æ', {"Æ", ".-.-"}},   {U'Ą', U'ą', {"Ą", ".-.-"}},    {U'Ç', U'ç', {"Ç", "-.-.."}},
    {U'Ĉ', U'ĉ', {"Ĉ", "-.-.."}},  {U'Ć', U'ć', {"Ć", "-.-.."}},   {U'Ð', U'ð', {"Ð", "..--."}},
    {U'É', U'é', {"É", "..-.."}},  {U'Ę', U'ę', {"Ę", "..-.."}},   {U'È', U'è', {"È", ".-..-"}},
    {U'Ł', U'ł', {"Ł", ".-..-"}},  {U'Ĝ', U'ĝ', {"Ĝ", "--.-."}},   {U'Ĥ', U'ĥ', {"Ĥ", "----"}},
    {U'Š', U'š', {"Š", "----"}},   {U'Ĵ', U'ĵ', {"Ĵ", ".---."}},   {U'Ñ', U'ñ', {"Ñ", "--.--"}},
    {U'Ń', U'ń', {"Ń", "--.--"}},  {U'Ó', U'ó', {"Ó", "---."}},    {U'Ö', U'ö', {"Ö", "---."}},
    {U'Ø', U'ø', {"Ø", "---."}},   {U'Ś', U'ś', {"Ś", "...-..."}}, {U'Ŝ', U'ŝ', {"Ŝ", "...-."}},
    {U'Þ', U'þ', {"Þ", ".--.."}},  {U'Ü', U'ü', {"Ü", "..--"}},    {U'Ŭ', U'ŭ', {"Ŭ", "..--"}},
    {U'Ź', U'ź', {"Ź", "--..-."}}, {U'Ż', U'ż', {"Ż", "--..-"}},
}};

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

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

Utf8Character readUtf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const Utf8Character invalid{lead, 1, false};
    if (lead < 0x80) return {lead, 1, true};
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;  // below it the sequence is overlong
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    } else {
        return invalid;
    }
    if (text.size() - at < length) return invalid;
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!isContinuation(byte)) return invalid;
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest || surrogate || codePoint > 0x10FFFF) return invalid;
    return {codePoint, length, true};
}

std::optional<NationalLetter> nationalLetter(char32_t codePoint) {
    for (const NationalEntry& entry : kNationalLetters) {
        if (entry.capital == codePoint || entry.small == codePoint) return entry.letter;
    }
    return std::nullopt;
}

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
        if (static_cast<unsigned char>(message[i]) >= 0x80) {
            const Utf8Character character = readUtf8(message, i);
            if (const auto letter = character.valid ? nationalLetter(character.codePoint) : std::nullopt) {
                symbols.push_back({std::string(letter->capital), std::string(letter->code)});
            }
            i += character.length;
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
