#pragma once

#include <cmath>
#include <cstdint>

namespace vantel::synth {

// What a run has written so far: clipped samples, the largest scaled magnitude
// before limiting, and the sum of squares of the written 16-bit values. The sum
// is kept as an exact integer: a double loses units once it passes 2^53, which
// a long loud file reaches, and then the RMS would depend on summation order.
struct LevelStats {
    std::int32_t clipped = 0;
    double peak = 0;
    std::int64_t sumSquares = 0;

    // Limits a scaled sample to 16 bits (halves to even) and counts it.
    std::int16_t take(double x) {
        std::int16_t v;
        if (x > 32767) {
            v = 32767;
            ++clipped;
        } else if (x < -32768) {
            v = -32768;
            ++clipped;
        } else if (std::isnan(x)) {
            // Only absurd settings (an infinite level or noise) get here; count
            // the sample as clipped rather than write an undefined value.
            v = 0;
            ++clipped;
        } else {
            v = static_cast<std::int16_t>(std::nearbyint(x));
        }
        if (std::fabs(x) > peak) peak = std::fabs(x);
        sumSquares += std::int64_t{v} * v;
        return v;
    }
};

}  // namespace vantel::synth
