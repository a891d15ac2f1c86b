#pragma once

#include <cstddef>
#include <cstdint>

#include "channel/band_conditions.h"

namespace vantel::channel {

// The AGC's times, in seconds. attackS: a 20 dB step up is followed to
// within 1 dB in this time; hangS: after the level falls, the gain holds
// this long; decayS: then the gain rises with this time constant (10 dB in
// 1.15 decayS) until the detector meets the level again.
struct AgcTimes {
    double attackS;
    double hangS;
    double decayS;
};
// As transceivers' fast and slow AGC. The fast preset's short hang still
// bridges the gap between a tone's crests, so that a steady tone's gain does
// not ripple.
inline constexpr AgcTimes kFastAgc{0.002, 0.02, 0.15};
inline constexpr AgcTimes kSlowAgc{0.002, 0.3, 1.5};
// The gain never rises above this (40 dB over a lone key-down signal's):
// between characters the noise comes up to near the signal's level, the
// pumping of a real receiver, yet a silent band stays quiet.
inline constexpr double kMostAgcGainDb = 40;

// The preset's times; zeros for Off.
AgcTimes agcTimes(AgcSpeed speed);

// A receiver's AGC on the IF filter's output: a peak detector with attack,
// hang and decay, and the gain referenceAmplitude / detected level, at most
// kMostAgcGainDb. The detector charges toward |x| whenever |x| exceeds it;
// |x| above 0.99 of it restarts the hang; it holds while the hang lasts,
// then falls by a fixed factor per sample, never below the level that gives
// the most gain. The
// reference is the wanted signal's key-down peak amplitude, so that a lone
// steady tone passes at gain 1 (to within the difference between its
// crests and its largest samples). It starts at the most gain, as on a quiet
// band. Off: gain 1 exactly.
class Agc {
public:
    Agc(AgcSpeed speed, double referenceAmplitude, double sampleRate);

    // The gain to apply to x (x is also what the detector sees).
    double gain(double x);
    // The gains of the next n samples; the same as n calls of gain().
    void gains(const double* in, double* gain, std::size_t n);
    void reset();

    double level() const { return level_; }
    double mostGain() const { return reference_ / floor_; }
    AgcSpeed speed() const { return speed_; }

private:
    // The detector takes one sample: the level moves on.
    void detect(double x);
    AgcSpeed speed_;
    double reference_;
    double floor_;    // the level that gives the most gain
    double charge_;   // the share of the step to |x| taken per sample
    double fall_;     // per-sample factor after the hang
    std::int64_t hangSamples_;
    double level_;
    std::int64_t hold_ = 0;
};

}  // namespace vantel::channel
