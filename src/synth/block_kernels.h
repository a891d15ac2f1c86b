#pragma once

#include <cstddef>
#include <cstdint>

#include "synth/level_stats.h"

// The generator's inner loops over blocks of samples. Each is built for several
// instruction sets and the best one the processor has is chosen at run time;
// all of them give the same bits, since every sample is computed by the same
// operations in the same order.
namespace vantel::synth::kernels {

// out[i] = the noise of pair `firstPair + i` of the stream seeded `seed`, with
// standard deviation `sigma` (the same values NoiseSource and gaussianNoise give).
void noise(std::uint64_t seed, std::uint64_t firstPair, double sigma, double* out, std::size_t n);

// out[i] = amplitude[i] * sin(pi * 2 * phase[i]), pi as the tone has always used it.
void tone(const double* phase, const double* amplitude, double* out, std::size_t n);

// inout[i] = tone[i] + inout[i].
void add(const double* tone, double* inout, std::size_t n);

// The sum of x[i]^2, in an order fixed for every instruction set.
double sumOfSquares(const double* x, std::size_t n);

// How many x[i] are not zero.
std::int64_t countNonZero(const double* x, std::size_t n);

// out[i] = x[i] * scale limited to 16 bits, counted into `stats` as LevelStats::take does.
void limit(const double* x, double scale, std::int16_t* out, std::size_t n, LevelStats& stats);

}  // namespace vantel::synth::kernels
