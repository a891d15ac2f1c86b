#pragma once

#include <array>
#include <cstdint>

#include "filter/fir_design.h"

namespace vantel::filter {

// The output filter's delay line: a ring of single-precision inputs that lives
// as long as the window, so a run's first outputs still hold the end of the
// previous filtered run. Per sample, with x[t] the newest input and N the
// length: y[t] = h[0]x[t-N+1] + ... + h[N-1]x[t] + h[N]x[t]. The two last taps
// both act on the newest sample and the ring holds N values, not N+1.
class FirRing {
public:
    // Every run starts writing at slot 0; the contents are kept.
    void startRun() { position_ = 0; }
    // Silence in the whole delay line, as at the window's start.
    void reset() {
        delay_.fill(0);
        position_ = 0;
    }

    // Filters one sample with taps 0..length of `coeffs`. The length may change
    // between calls (the user edits the bandwidth during a run).
    double process(double x, const CoefficientStore& coeffs, std::int16_t length);

    const std::array<float, kMaxFirLength + 1>& delayLine() const { return delay_; }
    std::array<float, kMaxFirLength + 1>& delayLine() { return delay_; }
    // The slot the next sample goes into.
    int position() const { return position_; }
    void setPosition(int position) { position_ = position; }

private:
    std::array<float, kMaxFirLength + 1> delay_{};
    int position_ = 0;
};

// The filter's delay in whole samples. The taps are symmetric about the
// centre tap, length / 2, and the ring pairs tap m with the input
// length - 1 - m samples before the newest (the two last taps both acting on
// the newest), so the centre acts on the input length / 2 - 1 samples back:
// every frequency is delayed by exactly that, 99 samples for the start-up
// length of 200. The length is even, so no half sample arises.
std::int64_t delaySamples(std::int16_t length);

// What the filter does to power, for planning a run's level. The effective
// taps are h[0..N-2] and h[N-1] + h[N] (the two that share the newest sample).
// On white noise: the sum of the squared effective taps.
double noisePowerGain(const CoefficientStore& coeffs, std::int16_t length);
// On a steady tone of `cyclesPerSample`: the squared magnitude of the response.
double tonePowerGain(const CoefficientStore& coeffs, std::int16_t length, double cyclesPerSample);

}  // namespace vantel::filter
