#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "keying/morse_timing.h"

namespace vantel::channel {

// Time constant of the chirp's decay: a quarter of 20 ms, so that the pull
// has fallen to e^-4 (under 2 %) 20 ms after the key went down.
inline constexpr double kChirpTimeConstantS = 0.005;

// The transmitter's frequency from sample to sample, as phase increments in
// cycles per sample: the tone, plus a chirp (a pull of `chirpHz` at every
// key-down edge that decays exponentially with kChirpTimeConstantS, each
// edge starting the pull afresh), plus a drift of `driftHzPerMinute` growing
// linearly from the file's first sample. Before the first key-down there is
// no chirp. The runs are not copied: they must outlive the object.
class ToneWander {
public:
    ToneWander(std::span<const keying::KeyRun> runs, double sampleRate, double toneHz, double chirpHz,
               double driftHzPerMinute);

    double nextIncrement();
    // The next n increments; the same as n calls of nextIncrement().
    void process(double* increments, std::size_t n);
    void reset();

private:
    bool chirping() const;
    void advance(std::int64_t n);

    std::span<const keying::KeyRun> runs_;
    double toneIncrement_;
    double chirpIncrement_;
    double driftPerSample_;     // increment added per sample of the file
    double decayPerSample_;     // -1 / (time constant in samples)
    std::int64_t chirpSamples_;  // beyond this many samples the chirp is below 1e-17 of its pull
    std::size_t run_ = 0;
    std::int64_t position_ = 0;      // within the current run
    std::int64_t sample_ = 0;        // within the file
    std::int64_t sinceKeyDown_ = -1;  // samples since the last key-down edge; -1 before the first
};

// Integrates phase increments the way the keyed oscillator does: the phase
// of a sample is the one before plus its increment, less its floor, so
// it stays in [0, 1) whatever the increments' sign or size.
class PhaseAccumulator {
public:
    explicit PhaseAccumulator(double startPhase = 0) : start_(wrap(startPhase)), phase_(start_) {}

    // The phase of the next sample; then moves on by `increment`.
    double next(double increment) {
        const double phase = phase_;
        phase_ = wrap(phase_ + increment);
        return phase;
    }
    // phases[i] for the next n samples; the same as n calls of next().
    void process(const double* increments, double* phases, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) phases[i] = next(increments[i]);
    }
    // The same with one increment for all n samples.
    void fillConstant(double increment, double* phases, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) phases[i] = next(increment);
    }
    double phase() const { return phase_; }
    void reset() { phase_ = start_; }

private:
    // t less its floor; a tiny negative t would round up to 1 itself.
    // In [0, 2), the usual case, the floor is 0 or 1: the same subtraction
    // without the call.
    static double wrap(double t) {
        if (t >= 0 && t < 2) return t >= 1 ? t - 1 : t;
        const double fraction = t - std::floor(t);
        return fraction < 1 ? fraction : 0.0;
    }

    double start_;
    double phase_;
};

}  // namespace vantel::channel
