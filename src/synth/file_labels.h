#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "keying/morse_timing.h"
#include "synth/run_setup.h"

// Labels that describe the file as written. Keying gives each character the
// samples where its key is down; the file sounds it later and softer at the
// ends: the oscillator's one-sample lag, the key edges, and the output
// filter's delay all move where the tone is heard.
namespace vantel::synth {

// How a file moves a signal's keying.
struct LabelTiming {
    // From a run's first sample to the first sample that sounds it: 1 for the
    // wanted signal (the oscillator takes a key change one sample late), 0
    // for the other stations, which sound their runs directly.
    std::int64_t lag = 1;
    std::int64_t riseSamples = 0;  // the raised-cosine key edges, 0 for hard keying
    std::int64_t filterDelay = 0;  // the output filter's, 0 without it
    std::int64_t totalSamples = 0;
};

// Keyed labels (as TimedLabel describes them: a character from one past its
// first key-down sample to one past its last) over `runs` (from the file's
// first sample), moved to where the file sounds them: a character's start and
// end to the middle of its rising and falling edge (half the edge's samples,
// rounded down: where the envelope passes half amplitude), then everything by
// the filter's delay, and cut at the file's end (a character the delay pushes
// past it keeps an empty range there). A blank, which has no edges, moves by
// the lag and the filter only.
std::vector<keying::TimedLabel> labelsInFile(const std::vector<keying::TimedLabel>& keyed,
                                             std::span<const keying::KeyRun> runs, const LabelTiming& timing);

struct FileLabels {
    std::int64_t filterDelay = 0;
    std::int64_t receiverDelay = 0;  // the receiver's IF filter's, at the tone
    std::vector<keying::TimedLabel> wanted;
    std::vector<std::vector<keying::TimedLabel>> stations;  // each QRM station's, in order
};

// Every signal's labels in the file a set-up run writes: the wanted signal's
// (the message as sent in the Morse modes, `messageBox` being the message
// box's text after the run's encoding; none for a continuous tone) and each
// QRM station's. Under fading the labels follow the first, undelayed path.
// The receiver's IF filter's group delay at the tone, in whole samples (0
// without a receiver). Every signal is labelled with it: stations away from
// the tone are delayed a little differently, by well under a dot.
std::int64_t receiverDelaySamples(const RunSetup& setup);

FileLabels fileLabels(const RunSetup& setup, std::string_view messageBox, bool filterOn, std::int16_t firLength);

}  // namespace vantel::synth
