#pragma once

#include <cstddef>
#include <vector>

#include "channel/band_conditions.h"

namespace vantel::channel {

// Low-pass prototypes of the IF filter shapes, each of even order (every
// conjugate pole pair becomes two band-pass sections):
//  - Gaussian: 4th-order Bessel (Thomson), whose magnitude approaches a
//    Gaussian and whose step response barely overshoots (0.8 %): no ringing;
//  - Butterworth: 4th order, an 8th-order band-pass;
//  - Crystal: 8th-order Chebyshev type I with 0.5 dB ripple, the response of
//    an 8-pole crystal ladder (shape factor -60/-6 dB about 1.6).
inline constexpr int kBesselOrder = 4;
inline constexpr int kButterworthOrder = 4;
inline constexpr int kCrystalOrder = 8;
inline constexpr double kCrystalRippleDb = 0.5;
// The band's edges stay above an octave below the tone (as an SSB filter's
// audio passband starts a few hundred hertz up) and below this share of the
// sample rate, where the bilinear transform's warping is still mild.
inline constexpr double kLowestEdgeOfTone = 0.5;
inline constexpr double kHighestEdgeOfRate = 0.45;

// The receiver's IF filter as heard at audio: a band-pass around the wanted
// tone, 0 dB at the tone and `bandwidthHz` wide between its -6 dB points
// (relative to the centre, as rigs quote IF filters). The analogue
// prototype is moved to the band by the low-pass to band-pass transform
// s -> (s^2 + W0^2) / (B s) between prewarped edges W = tan(pi f / fs), then
// to samples by the bilinear transform; each pole pair is one section
//     y[n] = g (x[n] - x[n-2]) - a1 y[n-1] - a2 y[n-2],
// g scaling it to unit gain at the tone, in double precision.
//
// A band that would reach below half the tone is moved up to start there,
// one above 0.45 fs moved down to end there, keeping its width (a wide
// filter on a low tone is then a rig's SSB filter, its passband lying
// above the tone); if the width does not fit between the two, the band is
// that whole range. A tone outside it is refused.
class IfFilter {
public:
    IfFilter(IfShape shape, double centreHz, double bandwidthHz, double sampleRate);

    double next(double x);
    // The next n samples filtered; the same as n calls of next().
    void process(const double* in, double* out, std::size_t n);
    // Two filters of the same design (copies) each filtering its own input,
    // side by side, which is faster than one after the other; the same
    // values as their process().
    static void processTwo(IfFilter& first, const double* in1, double* out1, IfFilter& second, const double* in2,
                           double* out2, std::size_t n);
    void reset();

    // |H| at that frequency (1 at the tone).
    double gainAt(double hz) const;
    // The equivalent noise bandwidth: white noise of one-sided density N0
    // comes out with power N0 times this.
    double noiseBandwidthHz() const { return noiseBandwidth_; }
    // The group delay at the tone, in samples.
    double delaySamples() const { return delay_; }
    // The -6 dB edges the filter was designed for (after any move).
    double lowEdgeHz() const { return lowEdge_; }
    double highEdgeHz() const { return highEdge_; }
    std::size_t sections() const { return sections_.size(); }

    struct Section {
        double g, a1, a2;
    };

    struct History {
        double z1 = 0, z2 = 0;
    };

private:
    double measureNoiseBandwidth() const;
    double measureDelay() const;

    double sampleRate_;
    double centre_;
    double lowEdge_, highEdge_;
    std::vector<Section> sections_;
    // history_[0]: the input's last two samples; history_[k]: section k-1's
    // output's, which is also section k's input.
    std::vector<History> history_;
    double noiseBandwidth_ = 0;
    double delay_ = 0;
};

}  // namespace vantel::channel
