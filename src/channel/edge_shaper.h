#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "keying/morse_timing.h"

namespace vantel::channel {

// The keying envelope at `position` within a run of `runLength` samples:
// raised-cosine edges of `riseSamples` samples. A key-down run rises from 0
// to 1 over its first riseSamples samples, a key-up run falls from 1 to 0
// over its first riseSamples samples, and an edge longer than its run is
// shortened to the run. So every mark keeps its length between the
// half-amplitude points and its envelope's area (the rise lost at its start
// is made up by the fall after its end); the squared envelope, i.e. the
// energy, loses a quarter of an edge per mark. Samples sit at the middle of
// their interval: sample p of an edge of length L takes the curve at
// (p + 0.5) / L, so even a one-sample edge gives 1/2. A rise of 0 is hard
// keying (1 key-down, 0 key-up).
double edgeEnvelope(bool keyDown, std::int64_t runLength, std::int64_t position, std::int64_t riseSamples);

// An edge length in whole samples (halves to even), after checking it
// against limits::kRise.
std::int64_t riseSamples(double riseMs, double sampleRate);

// The envelope of a list of runs, sample after sample from the first run's
// start; 0 after the last run. The runs are not copied: they must outlive
// the shaper.
class EdgeShaper {
public:
    EdgeShaper(std::span<const keying::KeyRun> runs, std::int64_t riseSamples);

    double next();
    // The next n values; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset();

private:
    // Fills `n` values of the current run from the current position; n does
    // not pass the run's end.
    void fillRun(double* out, std::int64_t n) const;
    void advance(std::int64_t n);

    std::span<const keying::KeyRun> runs_;
    std::int64_t rise_;
    std::size_t run_ = 0;
    std::int64_t position_ = 0;
};

}  // namespace vantel::channel
