#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantel::keying {

// One kind of change made to a message before it is sent.
struct TextChange {
    // The character as written (UTF-8). One that would not show on a line (a
    // control or invisible formatting character) is written as "U+200B", a
    // byte that is not UTF-8 as "\xE9", and a prosign the classic mode cannot
    // send as a whole, "<AR>".
    std::string written;
    // What is sent in its place, in capitals (Morse has no case); empty when
    // it is dropped.
    std::string sentAs;
    std::size_t count = 0;
    // Whether --extended would send it: a national letter, the punctuation
    // of the extended characters, a prosign.
    bool extendedWouldSend = false;

    bool operator==(const TextChange&) const = default;
};

struct CleanedText {
    std::string text;                 // what to send
    std::vector<TextChange> changes;  // in the order they first occur
};

// The message as the mode can send it, and what was changed. Characters the
// mode sends stay as written: A-Z a-z 0-9 . , ? / and the blank, and with
// `extended` the punctuation of extendedMorseCode(), prosigns in <..> and the
// national letters. Tabs, line breaks and the other blanks of Unicode become
// blanks (word gaps; not reported as changes). Any other character is sent
// as its usual Latin spelling where it has one (ß as SS, Cyrillic and Greek
// romanised, typographic quotes and dashes as ' " -) or as its base letter
// (Ô as O), keeping only what the mode sends of that; otherwise it is
// dropped. In the classic mode the national letters are spelled as on
// passports (ICAO 9303: Ä AE, Ö Ø OE, Ü UE, Å AA, Æ AE, Þ TH, others their
// base letter). A text the mode sends unchanged comes back byte for byte.
CleanedText cleanMessage(std::string_view utf8, bool extended);

// Why the bytes are no UTF-8 text, in one line naming the first NUL byte or
// invalid UTF-8 sequence by line and column (from 1, counted in
// characters); nullopt for valid UTF-8 without NUL bytes.
std::optional<std::string> utf8Problem(std::string_view bytes);

// The changes in one line for a warning, each character named once and the
// Cyrillic or Greek letters spelled in Latin counted as one item:
//   text changed: 'ß' sent as 'SS' (2x), '©' dropped (1x); --extended would
//   send 'Ä' (sent as 'AE', 3x), '=' (dropped, 1x)
//   text changed: Cyrillic letters spelled in Latin (12x)
// Empty when there are none.
std::string describeChanges(const std::vector<TextChange>& changes);

}  // namespace vantel::keying
