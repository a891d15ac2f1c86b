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

// Random QSB's fade process is made exactly at points this many to a
// correlation time and interpolated linearly between them: the interpolation
// lowers the level's variance by (1 - rho) / 3 on average (rho = e^-1/32:
// 1 %, its standard deviation 0.5 %) and rounds off the process's cusp at lags
// under a point's spacing, which a fade of seconds never shows.
inline constexpr double kRandomQsbPointsPerTime = 32;

// Random QSB: a log-normal fade, the level in dB
//     L(t) = depthDb * g(t),
// g a stationary unit-variance Gaussian Ornstein-Uhlenbeck process, whose
// autocorrelation is e^(-|dt| / timeS). g is made at points `step` samples
// apart (timeS * sampleRate / 32 rounded, at least 1) as the exact AR(1)
// process g_0 = w_0, g_(k+1) = rho g_k + sqrt(1 - rho^2) w_(k+1), rho =
// e^(-step / (timeS sampleRate)), w_k draw k of the stream; between points
// it is interpolated linearly. The gain is 10^(L / 20), times the scale.
// normaliseOver() and setScale() as for QsbGain.
class RandomQsbGain {
public:
    RandomQsbGain(double depthDb, double timeS, double sampleRate, random::RandomStream stream);
    // The file's own: from its QsbRandom stream.
    static RandomQsbGain forFile(std::uint64_t fileSeed, double depthDb, double timeS, double sampleRate);

    double next();
    // The next n gains; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset();

    // The mean squared gain over the first `samples` samples (before any
    // normalisation), summed sample by sample.
    double meanPower(std::int64_t samples) const;
    void normaliseOver(std::int64_t samples);
    void setScale(double scale) { scale_ = scale; }

private:
    // On to the next pair of points.
    void advance();

    double exponent_;  // depth as a natural log of amplitude
    double rho_;
    double innovation_;
    double invStep_;
    std::int64_t step_;
    random::RandomStream stream_;
    double scale_ = 1;
    std::int64_t sample_ = 0;
    std::int64_t point_ = 0;  // the point at or before sample_
    double from_ = 0;         // g at that point and the next
    double to_ = 0;
};

}  // namespace vantel::channel
