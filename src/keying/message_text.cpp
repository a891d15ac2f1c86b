#include "keying/message_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "keying/extended_morse.h"
#include "keying/morse_encoder.h"

namespace vantel::keying {
namespace {

// A character without a code and its Latin spelling, in capitals. A sign
// without case has only `capital`, a letter without a capital (ß, ς) only
// `small`; the other is 0.
struct Spelling {
    char32_t capital;
    char32_t small;
    const char* latin;
};

// Letters with diacritics as their base letter; the German, Scandinavian and
// Icelandic letters and the ligatures as on passports (ICAO 9303), because
// Ä as A or Ø as O changes words (Bär, Bar) where AE and OE keep them
// readable. Russian, Ukrainian, Belarusian and Serbian Cyrillic by the usual
// English-language romanisation (the letters they share take the Russian
// value: Г G, И I), the soft and hard signs dropped; Greek by ELOT 743.
constexpr Spelling kSpellings[] = {
    // Latin-1
    {U'À', U'à', "A"}, {U'Á', U'á', "A"}, {U'Â', U'â', "A"}, {U'Ã', U'ã', "A"}, {U'Ä', U'ä', "AE"},
    {U'Å', U'å', "AA"}, {U'Æ', U'æ', "AE"}, {U'Ç', U'ç', "C"}, {U'È', U'è', "E"}, {U'É', U'é', "E"},
    {U'Ê', U'ê', "E"}, {U'Ë', U'ë', "E"}, {U'Ì', U'ì', "I"}, {U'Í', U'í', "I"}, {U'Î', U'î', "I"}, {U'Ï', U'ï', "I"},
    {U'Ð', U'ð', "D"}, {U'Ñ', U'ñ', "N"}, {U'Ò', U'ò', "O"}, {U'Ó', U'ó', "O"}, {U'Ô', U'ô', "O"}, {U'Õ', U'õ', "O"},
    {U'Ö', U'ö', "OE"}, {U'Ø', U'ø', "OE"}, {U'Ù', U'ù', "U"}, {U'Ú', U'ú', "U"}, {U'Û', U'û', "U"},
    {U'Ü', U'ü', "UE"}, {U'Ý', U'ý', "Y"}, {U'Þ', U'þ', "TH"}, {U'ẞ', U'ß', "SS"}, {U'Ÿ', U'ÿ', "Y"},
    // Latin Extended-A, and the Romanian comma letters
    {U'Ā', U'ā', "A"}, {U'Ă', U'ă', "A"}, {U'Ą', U'ą', "A"}, {U'Ć', U'ć', "C"}, {U'Ĉ', U'ĉ', "C"}, {U'Ċ', U'ċ', "C"},
    {U'Č', U'č', "C"}, {U'Ď', U'ď', "D"}, {U'Đ', U'đ', "D"}, {U'Ē', U'ē', "E"}, {U'Ĕ', U'ĕ', "E"}, {U'Ė', U'ė', "E"},
    {U'Ę', U'ę', "E"}, {U'Ě', U'ě', "E"}, {U'Ĝ', U'ĝ', "G"}, {U'Ğ', U'ğ', "G"}, {U'Ġ', U'ġ', "G"}, {U'Ģ', U'ģ', "G"},
    {U'Ĥ', U'ĥ', "H"}, {U'Ħ', U'ħ', "H"}, {U'Ĩ', U'ĩ', "I"}, {U'Ī', U'ī', "I"}, {U'Ĭ', U'ĭ', "I"}, {U'Į', U'į', "I"},
    {U'İ', U'ı', "I"}, {U'Ĳ', U'ĳ', "IJ"}, {U'Ĵ', U'ĵ', "J"}, {U'Ķ', U'ķ', "K"}, {0, U'ĸ', "K"}, {U'Ĺ', U'ĺ', "L"},
    {U'Ļ', U'ļ', "L"}, {U'Ľ', U'ľ', "L"}, {U'Ŀ', U'ŀ', "L"}, {U'Ł', U'ł', "L"}, {U'Ń', U'ń', "N"}, {U'Ņ', U'ņ', "N"},
    {U'Ň', U'ň', "N"}, {0, U'ŉ', "N"}, {U'Ŋ', U'ŋ', "N"}, {U'Ō', U'ō', "O"}, {U'Ŏ', U'ŏ', "O"}, {U'Ő', U'ő', "O"},
    {U'Œ', U'œ', "OE"}, {U'Ŕ', U'ŕ', "R"}, {U'Ŗ', U'ŗ', "R"}, {U'Ř', U'ř', "R"}, {U'Ś', U'ś', "S"}, {U'Ŝ', U'ŝ', "S"},
    {U'Ş', U'ş', "S"}, {U'Š', U'š', "S"}, {U'Ţ', U'ţ', "T"}, {U'Ť', U'ť', "T"}, {U'Ŧ', U'ŧ', "T"}, {U'Ũ', U'ũ', "U"},
    {U'Ū', U'ū', "U"}, {U'Ŭ', U'ŭ', "U"}, {U'Ů', U'ů', "U"}, {U'Ű', U'ű', "U"}, {U'Ų', U'ų', "U"}, {U'Ŵ', U'ŵ', "W"},
    {U'Ŷ', U'ŷ', "Y"}, {U'Ź', U'ź', "Z"}, {U'Ż', U'ż', "Z"}, {U'Ž', U'ž', "Z"}, {0, U'ſ', "S"}, {U'Ș', U'ș', "S"},
    {U'Ț', U'ț', "T"},
    // Cyrillic
    {U'А', U'а', "A"}, {U'Б', U'б', "B"}, {U'В', U'в', "V"}, {U'Г', U'г', "G"}, {U'Д', U'д', "D"}, {U'Е', U'е', "E"},
    {U'Ё', U'ё', "E"}, {U'Ж', U'ж', "ZH"}, {U'З', U'з', "Z"}, {U'И', U'и', "I"}, {U'Й', U'й', "Y"}, {U'К', U'к', "K"},
    {U'Л', U'л', "L"}, {U'М', U'м', "M"}, {U'Н', U'н', "N"}, {U'О', U'о', "O"}, {U'П', U'п', "P"}, {U'Р', U'р', "R"},
    {U'С', U'с', "S"}, {U'Т', U'т', "T"}, {U'У', U'у', "U"}, {U'Ф', U'ф', "F"}, {U'Х', U'х', "KH"},
    {U'Ц', U'ц', "TS"}, {U'Ч', U'ч', "CH"}, {U'Ш', U'ш', "SH"}, {U'Щ', U'щ', "SHCH"}, {U'Ъ', U'ъ', ""},
    {U'Ы', U'ы', "Y"}, {U'Ь', U'ь', ""}, {U'Э', U'э', "E"}, {U'Ю', U'ю', "YU"}, {U'Я', U'я', "YA"},
    {U'Є', U'є', "YE"}, {U'І', U'і', "I"}, {U'Ї', U'ї', "YI"}, {U'Ґ', U'ґ', "G"}, {U'Ў', U'ў', "U"},
    {U'Ђ', U'ђ', "D"}, {U'Ј', U'ј', "J"}, {U'Љ', U'љ', "LJ"}, {U'Њ', U'њ', "NJ"}, {U'Ћ', U'ћ', "C"},
    {U'Џ', U'џ', "DZ"},
    // Greek
    {U'Α', U'α', "A"}, {U'Β', U'β', "V"}, {U'Γ', U'γ', "G"}, {U'Δ', U'δ', "D"}, {U'Ε', U'ε', "E"}, {U'Ζ', U'ζ', "Z"},
    {U'Η', U'η', "I"}, {U'Θ', U'θ', "TH"}, {U'Ι', U'ι', "I"}, {U'Κ', U'κ', "K"}, {U'Λ', U'λ', "L"}, {U'Μ', U'μ', "M"},
    {U'Ν', U'ν', "N"}, {U'Ξ', U'ξ', "X"}, {U'Ο', U'ο', "O"}, {U'Π', U'π', "P"}, {U'Ρ', U'ρ', "R"}, {U'Σ', U'σ', "S"},
    {0, U'ς', "S"}, {U'Τ', U'τ', "T"}, {U'Υ', U'υ', "Y"}, {U'Φ', U'φ', "F"}, {U'Χ', U'χ', "CH"}, {U'Ψ', U'ψ', "PS"},
    {U'Ω', U'ω', "O"}, {U'Ά', U'ά', "A"}, {U'Έ', U'έ', "E"}, {U'Ή', U'ή', "I"}, {U'Ί', U'ί', "I"}, {U'Ό', U'ό', "O"},
    {U'Ύ', U'ύ', "Y"}, {U'Ώ', U'ώ', "O"}, {U'Ϊ', U'ϊ', "I"}, {U'Ϋ', U'ϋ', "Y"}, {0, U'ΐ', "I"}, {0, U'ΰ', "Y"},
    // Typographic quotes, dashes and signs
    {U'‘', 0, "'"}, {U'’', 0, "'"}, {U'‚', 0, "'"}, {U'‛', 0, "'"}, {U'′', 0, "'"}, {U'‹', 0, "'"}, {U'›', 0, "'"},
    {U'“', 0, "\""}, {U'”', 0, "\""}, {U'„', 0, "\""}, {U'‟', 0, "\""}, {U'″', 0, "\""}, {U'«', 0, "\""},
    {U'»', 0, "\""}, {U'‐', 0, "-"}, {U'‑', 0, "-"}, {U'‒', 0, "-"}, {U'–', 0, "-"}, {U'—', 0, "-"}, {U'―', 0, "-"},
    {U'−', 0, "-"}, {U'…', 0, "..."}, {U'×', 0, "X"}, {U'÷', 0, "/"},
};

using SpellingIndex = std::vector<std::pair<char32_t, const Spelling*>>;

// The spellings by code point, both cases, for a binary search: a book of
// Cyrillic is looked up letter by letter.
SpellingIndex buildSpellingIndex() {
    SpellingIndex index;
    for (const Spelling& spelling : kSpellings) {
        if (spelling.capital != 0) index.emplace_back(spelling.capital, &spelling);
        if (spelling.small != 0) index.emplace_back(spelling.small, &spelling);
    }
    std::sort(index.begin(), index.end());
    return index;
}

const Spelling* spellingOf(char32_t codePoint) {
    static const SpellingIndex index = buildSpellingIndex();
    const auto at = std::lower_bound(index.begin(), index.end(), codePoint,
                                     [](const auto& entry, char32_t wanted) { return entry.first < wanted; });
    return at != index.end() && at->first == codePoint ? at->second : nullptr;
}

bool isSmallLetter(char32_t codePoint) {
    if (codePoint >= 'a' && codePoint <= 'z') return true;
    const Spelling* spelling = codePoint >= 0x80 ? spellingOf(codePoint) : nullptr;
    return spelling != nullptr && spelling->small == codePoint;
}

bool isAsciiBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isUnicodeBlank(char32_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// Characters that would not show between quotes: controls, invisible
// formatting (zero-width, direction marks, the byte-order mark, variation
// selectors, tags) and combining marks, which would sit on the quote.
bool isInvisible(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x300 && c <= 0x36F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
           (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
           (c >= 0xE0000 && c <= 0xE0FFF);
}

std::string formatted(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isProsignCharacter(char c) { return (upper(c) >= 'A' && upper(c) <= 'Z') || (c >= '0' && c <= '9'); }

// The length of the well-formed prosign ("<AR>": letters and digits in
// brackets) starting at message[at], or 0.
std::size_t prosignLength(std::string_view message, std::size_t at) {
    std::size_t end = at + 1;
    while (end < message.size() && isProsignCharacter(message[end])) ++end;
    const bool closed = end < message.size() && message[end] == '>';
    return closed && end > at + 1 ? end + 1 - at : 0;
}

class Cleaner {
   public:
    explicit Cleaner(bool extended) : extended_(extended) {}

    CleanedText clean(std::string_view message) {
        for (std::size_t at = 0; at < message.size();) {
            const bool ascii = static_cast<unsigned char>(message[at]) < 0x80;
            at = ascii ? asciiStep(message, at) : unicodeStep(message, at);
        }
        return std::move(result_);
    }

   private:
    bool sends(char c) const { return !(extended_ ? extendedMorseCode(upper(c)) : morseCode(upper(c))).empty(); }

    // The characters of an ASCII spelling the mode sends, in the mode.
    std::string sendable(std::string_view latin, bool extended) const {
        std::string kept;
        for (char c : latin) {
            if (!(extended ? extendedMorseCode(c) : morseCode(c)).empty()) kept += c;
        }
        return kept;
    }

    void record(std::string written, std::string sentAs, bool extendedWouldSend) {
        const auto [at, isNew] = positions_.try_emplace(written, result_.changes.size());
        if (isNew) {
            result_.changes.push_back({std::move(written), std::move(sentAs), 1, extendedWouldSend});
        } else {
            ++result_.changes[at->second].count;
        }
    }

    std::size_t asciiStep(std::string_view message, std::size_t at) {
        const char c = message[at];
        if (c == '<') return extended_ ? copyProsign(message, at) : spellProsign(message, at);
        if (isAsciiBlank(c)) {
            result_.text += ' ';
        } else if (sends(c)) {
            result_.text += c;
        } else {
            const bool shown = c >= 0x20 && c < 0x7F;
            record(shown ? std::string(1, c) : formatted("U+%04X", static_cast<unsigned char>(c)), "",
                   !extended_ && !extendedMorseCode(upper(c)).empty());
        }
        return at + 1;
    }

    // Everything up to the next '>' is the reader's to send or refuse.
    std::size_t copyProsign(std::string_view message, std::size_t at) {
        const std::size_t close = message.find('>', at);
        const std::size_t end = close == std::string_view::npos ? at + 1 : close + 1;
        result_.text += message.substr(at, end - at);
        return end;
    }

    std::size_t spellProsign(std::string_view message, std::size_t at) {
        const std::size_t length = prosignLength(message, at);
        if (length == 0) {
            record("<", "", false);
            return at + 1;
        }
        const std::string_view letters = message.substr(at + 1, length - 2);
        result_.text += letters;
        record(std::string(message.substr(at, length)), toUpperAscii(letters), true);
        return at + length;
    }

    std::size_t unicodeStep(std::string_view message, std::size_t at) {
        const Utf8Character character = readUtf8(message, at);
        const char32_t c = character.codePoint;
        const std::string_view written = message.substr(at, character.length);
        const std::size_t next = at + character.length;
        if (!character.valid) {
            record(formatted("\\x%02X", static_cast<unsigned>(c)), "", false);
        } else if (isUnicodeBlank(c)) {
            result_.text += ' ';
        } else if (extended_ && nationalLetter(c)) {
            result_.text += written;
        } else if (const Spelling* spelling = spellingOf(c)) {
            const std::string sent = sendable(spelling->latin, extended_);
            const bool wouldSend = !extended_ && (nationalLetter(c) || sendable(spelling->latin, true) != sent);
            result_.text += inCase(sent, c == spelling->small, nextIsSmall(message, next));
            record(std::string(written), sent, wouldSend);
        } else {
            record(isInvisible(c) ? formatted("U+%04X", c) : std::string(written), "", false);
        }
        return next;
    }

    static bool nextIsSmall(std::string_view message, std::size_t at) {
        return at < message.size() && readUtf8(message, at).valid && isSmallLetter(readUtf8(message, at).codePoint);
    }

    // A small letter's spelling in small letters; a capital's in capitals,
    // or as a word's first letter (Shchuka) when a small letter follows.
    static std::string inCase(std::string spelled, bool small, bool smallFollows) {
        for (std::size_t k = 0; k < spelled.size(); ++k) {
            if (small || (smallFollows && k > 0)) spelled[k] = lower(spelled[k]);
        }
        return spelled;
    }

    bool extended_;
    CleanedText result_;
    std::unordered_map<std::string, std::size_t> positions_;  // of each change, by what was written
};

std::string quoted(const TextChange& change) { return "'" + change.written + "'"; }

std::string times(std::size_t count) { return std::to_string(count) + "x"; }

// The script a romanised letter is of ("Cyrillic", "Greek"), or "" for any
// other change: a Russian text would otherwise name thirty letters.
std::string_view romanisedScript(const TextChange& change) {
    if (change.extendedWouldSend || change.written.empty()) return "";
    const char32_t c = readUtf8(change.written, 0).codePoint;
    if (c >= 0x400 && c <= 0x4FF) return "Cyrillic";
    if (c >= 0x370 && c <= 0x3FF) return "Greek";
    return "";
}

void appendItem(std::string& list, const std::string& item) { list += (list.empty() ? "" : ", ") + item; }

}  // namespace

CleanedText cleanMessage(std::string_view utf8, bool extended) { return Cleaner(extended).clean(utf8); }

std::optional<std::string> utf8Problem(std::string_view bytes) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::string where = " at line " + std::to_string(line) + ", column " + std::to_string(column);
        if (bytes[at] == '\0') return "NUL byte" + where + ": this is binary data, not a text";
        const Utf8Character character = readUtf8(bytes, at);
        if (!character.valid) {
            return "byte " + formatted("\\x%02X", static_cast<unsigned>(character.codePoint)) + where +
                   " is not UTF-8: save the text as UTF-8";
        }
        if (character.codePoint == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        at += character.length;
    }
    return std::nullopt;
}

std::string describeChanges(const std::vector<TextChange>& changes) {
    std::string made;
    std::string wouldSend;
    std::vector<std::pair<std::string_view, std::size_t>> scripts;  // romanised letters, in order of appearance
    for (const TextChange& change : changes) {
        const std::string_view script = romanisedScript(change);
        if (!script.empty()) {
            auto at =
                std::find_if(scripts.begin(), scripts.end(), [&](const auto& seen) { return seen.first == script; });
            if (at == scripts.end()) at = scripts.insert(at, {script, 0});
            at->second += change.count;
        } else if (change.extendedWouldSend) {
            appendItem(wouldSend, quoted(change) + " (" +
                                      (change.sentAs.empty() ? "dropped" : "sent as '" + change.sentAs + "'") + ", " +
                                      times(change.count) + ")");
        } else {
            appendItem(made, quoted(change) +
                                 (change.sentAs.empty() ? " dropped" : " sent as '" + change.sentAs + "'") + " (" +
                                 times(change.count) + ")");
        }
    }
    for (const auto& [script, count] : scripts) {
        appendItem(made, std::string(script) + " letters spelled in Latin (" + times(count) + ")");
    }
    if (made.empty() && wouldSend.empty()) return "";
    std::string line = "text changed: " + made;
    if (!wouldSend.empty()) line += (made.empty() ? "" : "; ") + std::string("--extended would send ") + wouldSend;
    return line;
}

}  // namespace vantel::keying
