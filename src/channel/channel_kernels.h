#pragma once

#include <cstddef>
#include <cstdint>

// The band effects' loops over blocks, built for several instruction sets
// with the best chosen at run time. Each sample is computed by the formula in
// channel/sample_formulas.h, the same operations in the same order as the
// effects' sample-at-a-time paths, so every set gives the same bits. Sample
// numbers and positions are whole numbers below 2^53.
namespace vantel::channel::kernels {

// out[i] = formula::edge(keyDown, firstPosition + i, length).
void edge(bool keyDown, double firstPosition, double length, double* out, std::size_t n);

// inPhase[i] = amplitude * envelope[i] * sin(2 pi phase[i]) and, unless
// quadrature is null, quadrature[i] the same with the cosine.
void tone(double amplitude, const double* envelope, const double* phase, double* inPhase, double* quadrature,
          std::size_t n);

// A steady tone: inPhase[i] = amplitude * envelope[i] * sin(2 pi p) for p
// the steady phase at firstSample + i, and unless quadrature is null the
// same with the cosine.
void steadyTone(double amplitude, const double* envelope, double firstSample, double increment, double startPhase,
                double* inPhase, double* quadrature, std::size_t n);

// The same for a tone drifting linearly (formula::driftingPhase).
void driftingTone(double amplitude, const double* envelope, double firstSample, double increment,
                  double driftPerSample, double startPhase, double* inPhase, double* quadrature, std::size_t n);

// out[i] = scale * e^(exponent * out[i]): gains from levels.
void expGains(double scale, double exponent, double* out, std::size_t n);

// out[i] = the drifted increment at sample firstSample + i, chirped by
// the pull at firstSince + i when `chirping`.
void increments(double toneIncrement, double driftPerSample, double firstSample, bool chirping, double chirpIncrement,
                double decayPerSample, double firstSince, double* out, std::size_t n);

// out[i] = scale * formula::qsb(firstSample + i, ...).
void qsb(double firstSample, double cyclesPerSample, double startPhase, double exponent, double scale, double* out,
         std::size_t n);

// out[i] = formula::interpolated(from, to, (firstPosition + i) * invStep).
void interpolate(double from, double to, double invStep, double firstPosition, double* out, std::size_t n);

struct FadingBlock {
    const double* g1re;
    const double* g1im;
    const double* g2re;
    const double* g2im;
    const double* inPhase;
    const double* quadrature;
    const double* delayedInPhase;
    const double* delayedQuadrature;
};
// out[i] = formula::fadingMix(scale, the block's values at i).
void fadingMix(double scale, const FadingBlock& block, double* out, std::size_t n);

// One path of a multipath channel: sum[i] = formula::pathSum(sum[i],
// amplitude * g[i], inPhase[i], quadrature[i]) for g[i] = (gRe[i], gIm[i]).
struct PathBlock {
    const double* gRe;
    const double* gIm;
    const double* inPhase;     // the path's delayed input
    const double* quadrature;
};
void addPath(double amplitude, const PathBlock& block, double* sum, std::size_t n);
// The same for a frequency-shifted path, whose gain is
// formula::shiftedGain(g[i], anchor, (turnRe[i], turnIm[i])).
void addShiftedPath(double anchorRe, double anchorIm, const double* turnRe, const double* turnIm,
                    const PathBlock& block, double* sum, std::size_t n);

// variance[i] += formula::crashSigma(firstSample + i - crashStart, ...)^2.
void addCrashVariance(double firstSample, double crashStart, double attack, double decayPerSample, double peak,
                      double* variance, std::size_t n);

// The FIR sums of taps[k] * re[k] and taps[k] * im[k], k < n, in four
// interleaved partial sums added in lane order at the end.
struct FirSum {
    double re;
    double im;
};
FirSum firSum(const double* taps, const double* re, const double* im, std::size_t n);

}  // namespace vantel::channel::kernels
