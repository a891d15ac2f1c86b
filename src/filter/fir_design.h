#pragma once

#include <array>
#include <cstdint>

namespace vantel::filter {

inline constexpr std::int16_t kMinFirLength = 200;
// The largest length the coefficient store and the delay line hold.
inline constexpr std::int16_t kMaxFirLength = 4096;

using CoefficientStore = std::array<double, kMaxFirLength + 1>;

// The FIR length for a filter bandwidth and sample rate: 4 x rate / bandwidth,
// to the nearest multiple of 4, at least 200 and at most 4096. A bandwidth of
// 1 Hz or less keeps the current length (still brought into that range).
std::int16_t firLengthRule(double filterBandwidth, double sampleRate, std::int16_t currentLength);

// Hamming-windowed band-pass design for fcentre +/- bandwidth/2 into taps
// 0..firLength of `coeffs`; taps above firLength keep what they held. The pass
// band gain is about 1 and the response is -6 dB at the band edges.
void designBandPass(CoefficientStore& coeffs, double fcentre, double filterBandwidth, double sampleRate,
                    std::int16_t firLength);

}  // namespace vantel::filter
