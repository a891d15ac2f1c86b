#pragma once

#include <cstddef>
#include <cstdint>

#include "random/random_stream.h"

namespace vantel::channel {

// Slow QSB: an amplitude gain whose level in dB swings sinusoidally between
// 0 and -depthDb with the given period,
//     level(n) = -depthDb (1 - cos(2 pi (n / (period fs) + phi))) / 2,
// phi a uniform starting phase (in cycles) from the file's Qsb stream, so
// that files of a set fade differently. normaliseOver() scales it to unit
// mean power over the file; a run normalises it with its signal instead
// (setScale), so that the signal's key-down power keeps its value.
class QsbGain {
public:
    QsbGain(double depthDb, double periodS, double sampleRate, random::RandomStream phaseStream);
    // The file's own: starting phase from its Qsb stream.
    static QsbGain forFile(std::uint64_t fileSeed, double depthDb, double periodS, double sampleRate);

    double next();
    // The next n gains; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset() { sample_ = 0; }

    // The mean squared gain over the first `samples` samples (before any
    // normalisation), summed sample by sample.
    double meanPower(std::int64_t samples) const;
    void normaliseOver(std::int64_t samples);
    void setScale(double scale) { scale_ = scale; }

    double startPhase() const { return startPhase_; }

private:
    double exponent_;  // -depth / 2 as a natural log of amplitude
    double cyclesPerSample_;
    double startPhase_;
    double scale_ = 1;
    std::int64_t sample_ = 0;
};

}  // namespace vantel::channel
