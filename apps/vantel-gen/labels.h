#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantel::gen {

// The message as the encoder sounds it: upper case, with every character that
// has no Morse code dropped; blanks stay.
std::string encodedMessage(std::string_view message);

// Where one character of the encoded message lies in the file, as a half-open
// range of sample numbers [start, end), counted from 0.
//
// Keying takes effect one sample late: the first sample of an element still
// has the key state of the element before it. So for a character with a code,
// start is one past the first sample of its first key-down element and end is
// one past the last sample of its last key-down element: the tone of that
// character sounds in exactly these samples (with its key-up gaps between
// symbols), and in no others. A blank, which has no tone, gets the same
// shifted range over its two key-up elements. Sample 0 always carries the tone
// (the oscillator starts keyed) and belongs to no label: every start is at
// least 1.
struct CharacterLabel {
    char character = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

std::vector<CharacterLabel> characterLabels(std::string_view encoded, std::int64_t samplesPerElement);

}  // namespace vantel::gen
