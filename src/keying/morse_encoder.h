#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "keying/keying_pattern.h"

namespace vantel::keying {

// International Morse code for the 40 characters the encoder knows, as dots and
// dashes; empty for every other byte.
std::string_view morseCode(unsigned char character);

// ASCII letters to capitals; every other byte (UTF-8 included) stays as it is.
std::string toUpperAscii(std::string_view message);

struct MorseEncoding {
    std::string pattern;        // "-" key down, " " key up
    std::int64_t duration = 0;  // elements, always pattern.size()
};

// Encodes an already upper-cased message: dot 1 element, dash 3, 1 between the
// symbols, 3 after a character and 2 more per blank. Characters without a code
// (lower case, punctuation outside the table, bytes above 127) leave no trace.
MorseEncoding encodeMorse(std::string_view upperCaseMessage);

// "Duration" + the length in seconds as shown beside the message: the first
// five characters of its signed form (cut, not rounded). Lengths that would
// not fit in five characters (10,000 s or more) are shown in whole seconds,
// and lengths that need a negative exponent as 0.
std::string durationCaption(double seconds);

// The continuous-tone pattern: one key-down element per tenth of a second of
// the tone length (halves to even). A length of 0 or less gives the empty
// pattern; an absurdly long one saturates (the run refuses it as too long).
KeyingPattern tonePattern(double seconds);

}  // namespace vantel::keying
