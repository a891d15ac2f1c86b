#pragma once

#include <cstddef>
#include <cstdint>

#include "channel/agc.h"
#include "channel/band_conditions.h"
#include "channel/hum.h"
#include "channel/if_filter.h"

namespace vantel::channel {

// The receiver the band's signals pass through: the IF filter centred on the
// wanted tone, the AGC on its output, then the audio stage's hum. To
// measure the S/N at the output, the wanted signal alone can go through a
// second copy of the filter and take the same gains (the AGC detects the
// sum only); the hum is added to the sum only.
class Receiver {
public:
    // conditions.ifShape, ifBandwidthHz, agc, humHz and humLevelDb; the
    // reference is the wanted signal's key-down peak amplitude at the
    // receiver's input (the filter passes the tone at 0 dB).
    Receiver(const BandConditions& conditions, double toneHz, double referenceAmplitude, double sampleRate,
             std::uint64_t fileSeed);
    Receiver(IfShape shape, double bandwidthHz, AgcSpeed agc, double humHz, double humLevelDb, double toneHz,
             double referenceAmplitude, double sampleRate, std::uint64_t fileSeed);

    double next(double x);
    // The sum's output; `wantedOut` gets the wanted signal's share of it.
    double next(double x, double wanted, double& wantedOut);
    // The next n samples; the same as n calls of next(). `in` and `out`
    // may be the same array, as may `wanted` and `wantedOut`.
    void process(const double* in, double* out, std::size_t n);
    void process(const double* in, const double* wanted, double* out, double* wantedOut, std::size_t n);
    void reset();

    // The filter's group delay at the tone: the labels move by this much.
    double delaySamples() const { return filter_.delaySamples(); }
    const IfFilter& filter() const { return filter_; }
    const Agc& agc() const { return agc_; }
    const Hum& hum() const { return hum_; }

private:
    static constexpr std::size_t kChunk = 512;

    IfFilter filter_;
    IfFilter wantedFilter_;
    Agc agc_;
    Hum hum_;
};

}  // namespace vantel::channel
