#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "random/random_stream.h"

namespace vantel::channel {

// The hum's harmonics' amplitudes, the fundamental's first: the mains
// field's fundamental, odd harmonics from the transformer's saturated core,
// and a full-wave rectifier's buzz, its even harmonics 2m falling as
// 1 / (4 m^2 - 1) (the Fourier series of |sin|), half the fundamental at
// the second.
inline constexpr std::array<double, 8> kHumHarmonics{1.0, 0.5, 0.2, 0.1, 0.08, 0.0429, 0.04, 0.0238};
// One period of the hum is tabulated at this many points (a power of two)
// and interpolated linearly: the 8th harmonic has 512 points a cycle, the
// error under -100 dB.
inline constexpr std::size_t kHumTablePoints = 4096;

// Mains hum and buzz added to the receiver's output: the harmonics of
// kHumHarmonics below 0.45 fs, each with a uniform random phase from the
// stream (one draw each, in order), scaled so that the total RMS lies
// levelDb from the wanted tone's key-down RMS, referenceAmplitude / sqrt 2.
// Sample n is the period's table at the fundamental's phase n hz / fs
// (in 64-bit fixed point: exact, however long the file).
// hz 0: nothing.
class Hum {
public:
    Hum(double hz, double levelDb, double referenceAmplitude, double sampleRate, random::RandomStream phase);
    static Hum forFile(std::uint64_t fileSeed, double hz, double levelDb, double referenceAmplitude, double sampleRate);

    double next();
    // Adds the next n samples of hum to out; next() gives the same values.
    void process(double* out, std::size_t n);
    void reset() { sample_ = 0; }

    double rms() const { return rms_; }
    std::size_t harmonics() const { return harmonics_; }

private:
    double at(std::int64_t sample) const;

    std::uint64_t step_ = 0;  // cycles per sample times 2^64
    double rms_ = 0;
    std::size_t harmonics_ = 0;
    std::vector<double> table_;  // one period, with the first point again at the end
    std::int64_t sample_ = 0;
};

}  // namespace vantel::channel
