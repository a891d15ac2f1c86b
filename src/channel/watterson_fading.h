#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "random/random_stream.h"

namespace vantel::channel {

struct ComplexGain {
    double re = 0;
    double im = 0;
};

// The Watterson channel's usual conditions: the good, moderate and poor
// mid-latitude channels and a flutter channel, then every two-path test
// channel of Recommendation ITU-R F.1487 (Testing of HF modems with
// bandwidths of up to about 12 kHz using ionospheric channel simulators):
// two equal paths with the differential delay and frequency spread (twice
// the Doppler spectrum's standard deviation) of low-, mid- and
// high-latitude quiet, moderate and disturbed conditions, and of disturbed
// mid-latitude near-vertical incidence (NVIS) paths.
struct FadingPreset {
    std::string_view name;
    double spreadHz;
    double delayMs;
};
inline constexpr std::array<FadingPreset, 14> kFadingPresets{{
    {"good", 0.1, 0.5},
    {"moderate", 0.5, 1.0},
    {"poor", 1.0, 2.0},
    {"flutter", 10.0, 0.5},
    {"itu-low-quiet", 0.5, 0.5},
    {"itu-low-moderate", 1.5, 2.0},
    {"itu-low-disturbed", 10.0, 6.0},
    {"itu-mid-quiet", 0.1, 0.5},
    {"itu-mid-moderate", 0.5, 1.0},
    {"itu-mid-disturbed", 1.0, 2.0},
    {"itu-mid-nvis", 1.0, 7.0},
    {"itu-high-quiet", 0.5, 1.0},
    {"itu-high-moderate", 10.0, 3.0},
    {"itu-high-disturbed", 30.0, 7.0},
}};

// The preset of that name; throws text::SettingError for any other name.
FadingPreset fadingPreset(std::string_view name);

// The path gains are made at this many points per second per hertz of
// spread, then interpolated: the Doppler spectrum, which holds all but
// 1e-6 of its power within 2.5 spreads of 0, lies far below the images that
// linear interpolation leaves about the point rate (64 spreads), which it
// attenuates by about 65 dB.
inline constexpr double kPointsPerSpread = 64;

// One Rayleigh-fading path: a complex Gaussian gain with a Gaussian Doppler
// spectrum whose two-sigma width is the spread, and mean power 1/2. Complex
// white Gaussian draws of the stream, one per point, go through a Gaussian
// FIR (cut at 4 sigma, taps normalised so the power is exact in
// expectation) at a rate of a whole number of samples per point (about
// kPointsPerSpread points per second per Hz, at least one sample per
// point); between points the gain is interpolated linearly. Every value
// follows from the stream alone, so the gains of a whole file are fixed
// before any sample is made.
class DopplerPath {
public:
    DopplerPath(double spreadHz, double sampleRate, random::RandomStream stream);

    ComplexGain next();
    // The next n gains' real and imaginary components; the same as n calls of next().
    void process(double* re, double* im, std::size_t n);
    // Moves on by n gains without making them: the state n calls of next()
    // leave (the points are drawn alike).
    void skip(std::int64_t n);
    void reset();

    // The mean of |g|^2 over the first `samples` samples from the start,
    // exactly (from the points, without making the samples); leaves this
    // path where it is.
    double meanPower(std::int64_t samples) const;
    std::int64_t samplesPerPoint() const { return step_; }
    std::size_t taps() const { return taps_.size(); }

private:
    static constexpr std::size_t kDrawBlock = 256;
    void nextSegment();
    // The FIR over the next taps_.size() draws; then moves on by one draw.
    ComplexGain makePoint();
    // Moves on by one draw as makePoint() does, without the FIR.
    void passPoint();
    // Keeps the draws not yet passed and appends the next kDrawBlock.
    void drawMore();

    random::RandomStream stream_;
    std::vector<double> taps_;
    // Draws in order, the next point's window starting at first_.
    std::vector<double> drawRe_, drawIm_;
    std::size_t first_ = 0;
    std::size_t filled_ = 0;
    std::int64_t step_;
    double invStep_;
    ComplexGain from_, to_;     // the points at the current segment's ends
    std::int64_t position_ = 0;  // within the segment
};

// The Watterson HF channel: two independently fading paths, the second one
// `delayMs` later (rounded to whole samples). Fed with the clean tone's
// in-phase and quadrature components, amp sin(theta) and amp cos(theta), path i
// gives Re g_i * amp sin(theta(t - tau_i)) + Im g_i * amp cos(theta(t - tau_i));
// the channel returns their sum times the normalising scale. Before the
// delay has passed, the second path's input is silence.
class WattersonChannel {
public:
    WattersonChannel(double spreadHz, double delayMs, double sampleRate, random::RandomStream path1, random::RandomStream path2);
    // The wanted signal's channel: the file's FadingPath1 and FadingPath2 streams.
    static WattersonChannel forFile(std::uint64_t fileSeed, double spreadHz, double delayMs, double sampleRate);

    // The mean of |g1|^2 + |g2|^2 over the first `samples` samples (about 1).
    double meanGainPower(std::int64_t samples) const {
        return path1_.meanPower(samples) + path2_.meanPower(samples);
    }
    // Scales the output by 1 / sqrt(meanGainPower(samples)), so that the
    // signal keeps its mean power over a file of that length.
    void normaliseOver(std::int64_t samples);
    // Scales the output by `scale` (a normalisation measured elsewhere).
    void setScale(double scale) { scale_ = scale; }

    double next(double inPhase, double quadrature);
    // out[i] for the next n samples; the same as n calls of next().
    void process(const double* inPhase, const double* quadrature, double* out, std::size_t n);
    // n samples of silence when the delay line holds nothing but silence (the
    // last delaySamples() inputs were 0): the output would be 0 throughout,
    // so only the gains move on.
    void skipSilence(std::int64_t n);
    void reset();

    std::int64_t delaySamples() const { return delay_; }
    double scale() const { return scale_; }

private:
    static constexpr std::size_t kChunk = 1024;
    struct Delayed {
        double inPhase;
        double quadrature;
    };
    // The input of delay_ samples ago (the input itself without a delay);
    // stores this one.
    Delayed delayLine(double inPhase, double quadrature);
    // The chunk's delayed inputs: the ring in time order, then the chunk,
    // from which delayed[k] is history[k]; leaves the ring holding the
    // chunk's last delay_ inputs.
    void delayChunk(const double* inPhase, const double* quadrature, std::size_t n);

    DopplerPath path1_;
    DopplerPath path2_;
    std::int64_t delay_;
    std::vector<double> delayedI_, delayedQ_;  // the last delay_ inputs, a ring
    std::size_t head_ = 0;
    double scale_ = 1;
    std::vector<double> g1re_, g1im_, g2re_, g2im_, historyI_, historyQ_;
};

}  // namespace vantel::channel
