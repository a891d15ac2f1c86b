#pragma once

#include <cstdint>

#include "filter/fir_design.h"
#include "synth/run_setup.h"

// Levels known before a run: what the samples' mean square will be, so that
// an output level can be chosen for a wanted RMS without making the file
// twice. Everything here is plain arithmetic (no C library logarithms), so
// the same settings give the same level on every machine.
namespace vantel::synth {

// Full scale for level figures in dBFS: a 16-bit sample of magnitude 32768,
// as audio tools count it (a full-scale square wave is 0 dBFS).
inline constexpr double kFullScale = 32768;

// The expected mean square of the run's samples before the output scaling:
// the tone while it sounds (the oscillator starts keyed, and keying acts one
// sample late; in FSK it always sounds, at the mark or space tone) at the
// filter's gain for its frequency, plus the noise at the filter's power gain.
// With band conditions: the timed runs' key-down samples, each QRM station
// at its level and frequency while its key is down, and the QRN crashes'
// expected power (rate times a crash's mean energy); fading and QSB keep the
// mean power. Key edges' transients are left out: they are a vanishing share
// of a file.
double expectedMeanSquare(const RunSetup& setup, settings::Mode mode, bool filterOn, const filter::CoefficientStore& coeffs, std::int16_t firLength);

// The output level in dB that scales a mean square to an RMS of `rmsDbfs`.
double levelForRms(double meanSquare, double rmsDbfs);

// 10 log10(x) for a positive, finite x, in plain arithmetic.
double decibels(double powerRatio);

}  // namespace vantel::synth
