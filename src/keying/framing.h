#pragma once

#include <cstdint>

#include "keying/morse_timing.h"

// Where a timed message sits in its file: silence before and after it, or a
// file of a fixed length cut from it at character boundaries. Clips for
// training a decoder want both: not every clip starting with a mark at its
// first sample, and clips of one length without a character cut in half.
namespace vantel::keying {

struct Framing {
    std::int64_t leadIn = 0;    // key-up samples before the first character
    std::int64_t tail = 0;      // key-up samples after the message's end (not with a duration)
    std::int64_t duration = 0;  // the file's samples; 0: as long as the message and the silences
    double cropFrom = 0;        // the first character sent: this share of the message's symbols, 0 to below 1

    bool framed() const { return leadIn != 0 || tail != 0 || duration != 0 || cropFrom != 0; }
    bool operator==(const Framing&) const = default;
};

// The message framed: from the first character at or after the cropFrom
// share of its symbols (blanks before it skipped), after leadIn samples of
// key-up; with a duration, only the characters that fit whole, each with the
// key-up gap that follows it, then key-up to the duration's end; without one,
// the rest of the message and tail samples of key-up. The labels move with
// their characters and the dropped ones go. A message with no character left
// is all key-up.
TimedMessage frameMessage(const TimedMessage& message, const Framing& framing);

}  // namespace vantel::keying
