#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "random/random_stream.h"

namespace vantel::channel {

// The impulses of the Class A static. Middleton's Class A describes
// interference whose impulses are no longer than the receiver's response
// time, so each impulse lasts about 1 / bandwidth of a voice or CW receiver's
// audio (2.5 to 5 kHz): 0.2 ms, at every sample rate at least one sample.
inline constexpr double kClassAImpulseS = 0.0002;
// A near stroke (Rakov & Uman, "Lightning: Physics and Effects", 2003, ch. 4
// and 13): the return stroke's current rises within a few microseconds and
// its radiated field's main pulse is over within 0.1 to 0.2 ms, its
// ionospheric echoes within about a millisecond. Here: a linear rise over
// 0.05 ms, then an exponential decay reaching e^-5 (-43 dB) 1 ms after the
// start, where the stroke stops.
inline constexpr double kStrokeRiseS = 0.00005;
inline constexpr double kStrokeLengthS = 0.001;
inline constexpr double kStrokeDecayConstants = 5;
// A negative cloud-to-ground flash has 3 to 5 strokes on average, with up to
// a dozen or more; here a uniform whole number from 3 to 8.
inline constexpr int kFewestStrokes = 3;
inline constexpr int kMostStrokes = 8;
// The gaps between a flash's strokes: log-normal, geometric mean 60 ms
// (Rakov, Uman & Thottappillil, J. Geophys. Res. 99, 1994), ln-spread 0.6,
// clipped at +-2 of it (18 to 200 ms), so a flash lasts a few hundred ms.
inline constexpr double kStrokeGapMedianS = 0.060;
inline constexpr double kStrokeGapSpread = 0.6;
inline constexpr double kStrokeGapClip = 2;
// The strokes' peak levels: log-normal in dB like the crashes' (QrnSource).
inline constexpr double kStrokeLevelSpreadDb = 6;
inline constexpr double kStrokeLevelClip = 3;
// E[10^(2 * 6 z / 20)] for z a standard Gaussian clipped at +-3, i.e. with
// b = 6 ln(10) / 10: e^(b^2/2) (Phi(3 - b) - Phi(-3 - b)) + (e^3b + e^-3b)
// Phi(-3). The strokes' mean power over their median peak power.
inline constexpr double kStrokeLevelPowerFactor = 2.5450640346745446;

// Middleton Class A static with trains of near lightning strokes.
//
// The impulses. The file's own white Gaussian background noise (standard
// deviation noiseSigma) is Class A's Gaussian part; this object adds the
// impulsive part, of mean power noiseSigma^2 / gamma. Impulses arrive as a
// Poisson process, A / L per sample, L = kClassAImpulseS * sampleRate
// rounded (at least 1); an impulse arriving at real time t covers the L
// samples from ceil(t) on. The arrivals in each interval (k - 1, k] are
// independent Poisson counts of mean A / L, so the number m(n) of impulses
// covering sample n, the arrivals in (n - L, n], is exactly Poisson(A). Sample
// n carries sqrt(m(n) v) z_n, v = noiseSigma^2 / (gamma A), z_n a standard
// Gaussian drawn for sample n: given m it is Gaussian with variance m v, so
// noise plus impulses is Gaussian with variance
//     sigma_m^2 = noiseSigma^2 (1 + m / (A gamma))   with probability e^-A A^m / m!,
// Middleton's Class A first-order distribution. (Neighbouring samples share
// their impulses: the variance holds for L samples, as an impulse through a
// receiver of that response time would.)
//
// The strokes. Flashes arrive as a Poisson process at strokeRate per second;
// each is a train of kFewestStrokes..kMostStrokes strokes, the first at the
// flash's time, the others after log-normal gaps. A stroke is Gaussian noise
// under its envelope (kStrokeRiseS, kStrokeLengthS); its peak standard
// deviation is noiseSigma * 10^((strokeLevelDb + 6 z) / 20), z a standard
// Gaussian clipped at +-3. A stroke sounds in the samples n with
// start <= n < start + length; overlapping strokes add their variances, and
// sample n carries sqrt(their sum) y_n, y_n another Gaussian of its own.
//
// Sample n is the impulses' value plus the strokes'. The impulses' arrivals
// come from the file's QrnImpulses sub-stream 0, the flashes (gap, number of
// strokes, then each stroke's gap and level) from its sub-stream 1; z_n and
// y_n are draws n of its QrnImpulseNoise sub-streams 0 and 1.
class ClassAQrn {
public:
    ClassAQrn(double strokeRate, double strokeLevelDb, double impulsiveIndex, double gamma, double noiseSigma,
              double sampleRate, std::uint64_t fileSeed);

    double next();
    // The next n samples; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset();

    // Strokes begun, and the energy (sum of squared samples) added, so far.
    std::int64_t crashes() const { return strokes_; }
    double energyAdded() const { return energy_; }

    // The expected mean square this object adds per sample: the impulses'
    // noiseSigma^2 / gamma plus the strokes' mean power.
    static double meanSquare(double strokeRate, double strokeLevelDb, double gamma, double noiseSigma,
                             double sampleRate);

    std::int64_t impulseLength() const { return impulseLength_; }

private:
    struct Stroke {
        double start;  // in samples, real-valued
        double end;
        double peak;   // standard deviation at the peak
    };
    static constexpr std::size_t kChunk = 512;
    void drawFlash();
    // Moves every impulse and stroke that has begun by `sample` to the active ones.
    void startImpulses(std::int64_t sample);
    void startStrokes(double sample);
    // Samples from sample_ on that nothing touches (up to `limit`), and the
    // first sample after everything active now has ended.
    std::int64_t quietSamples(std::int64_t limit) const;
    std::int64_t activeEnd() const;
    // The impulses' and the strokes' variances for the next n samples.
    void impulseVariance(std::size_t n);
    void strokeVariance(std::size_t n);
    // Writes the next n samples (at most kChunk) to out, and moves on.
    void chunk(double* out, std::size_t n);

    double impulseRate_;    // per sample
    double impulseVariance_;
    double flashRate_;      // per sample
    double levelDb_;
    double noiseSigma_;
    double sampleRate_;
    double rise_;           // in samples
    double decay_;          // -1 / (decay time constant in samples)
    std::int64_t impulseLength_;
    random::RandomStream impulses_;
    random::RandomStream flashes_;
    random::RandomStream impulseNoise_;
    random::RandomStream strokeNoise_;
    double nextImpulse_ = 0;             // the next arrival, real-valued
    std::deque<std::int64_t> impulseEnds_;  // of the active impulses, in order
    double nextFlash_ = 0;
    std::vector<Stroke> pending_;        // drawn, not begun, in order of start
    std::vector<Stroke> active_;
    std::vector<double> variance_, strokeVariance_, values_, strokeValues_;
    std::vector<int> steps_;
    std::int64_t sample_ = 0;
    std::int64_t strokes_ = 0;
    double energy_ = 0;
};

// Middleton Class A's probability that |x| > amplitude for x its Gaussian
// part (standard deviation sigmaG) plus its impulsive part (index A, Gaussian
// over impulsive power gamma): the sum over m of e^-A A^m / m! times
// erfc(amplitude / (sigma_m sqrt 2)). The impulses with the file's noise,
// without the strokes.
double classAExceedance(double amplitude, double A, double gamma, double sigmaG);

}  // namespace vantel::channel
