#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keying/morse_timing.h"

namespace vantel::keying {

// The message as the window's encoder sounds it: upper case, with every
// character that has no Morse code dropped; blanks stay.
std::string encodedMessage(std::string_view message);

// Where each character of the encoded message is keyed, for the window's
// pattern of elements of one length, as a half-open range of sample numbers
// [start, end) counted from 0.
//
// Keying takes effect one sample late: the first sample of an element still
// has the key state of the element before it. So for a character with a code,
// start is one past the first sample of its first key-down element and end is
// one past the last sample of its last key-down element. A blank, which has no
// tone, gets the same shifted range over its two key-up elements. Sample 0
// always carries the tone (the oscillator starts keyed) and belongs to no
// label: every start is at least 1. The same form as the timed keying's
// labels, which these equal for the classic timing.
std::vector<TimedLabel> classicLabels(std::string_view encoded, std::int64_t samplesPerElement);

}  // namespace vantel::keying
