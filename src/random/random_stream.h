#pragma once

#include <cstddef>
#include <cstdint>

#include "maths/fast_math.h"
#include "random/gaussian.h"
#include "random/random_kernels.h"
#include "random/splitmix64.h"

namespace vantel::random {

// One random stream per effect, so that switching an effect on, off or
// changing its settings never changes the draws of another effect or of the
// background noise. Values below 256; a new effect takes a new value and no
// value is ever reused.
enum class StreamId : std::uint64_t {
    Jitter = 1,
    SpeedDrift,
    FadingPath1,
    FadingPath2,
    Qrm,             // a QRM station's settings and message: one sub-stream per station
    Qrn,             // the crashes' arrival times, lengths and levels
    QrnNoise,        // the crashes' noise, one draw per sample of the file
    QrmFadingPath1,  // a faded QRM station's paths: one sub-stream per station
    QrmFadingPath2,
    Qsb,             // the QSB's starting phase
    PracticeText,    // practice texts: one sub-stream per kind of text
    QsbRandom,       // the random QSB's fade process
    QrnImpulses,     // the impulsive static's arrivals and the stroke trains' times and levels
    QrnImpulseNoise, // the impulsive static's noise, one draw per sample it touches
    FadingPath3,     // the third and fourth fading paths
    FadingPath4,
    QrmTraffic,      // a station's fist, tone and schedule in QSOs, contests and pile-ups: one sub-stream per station
    QrmFadingPath3,  // a QRM station's further paths: one sub-stream per station
    QrmFadingPath4,
    Hum,             // the hum's phase
};

// A counter-based SplitMix64 sequence of its own for each (file seed, effect,
// sub-stream). The background noise of a file with seed s uses outputs
// splitMix64At(s, i) for counters i below 2^56 (a file holds fewer than 2^31
// samples, and the window's noise would need decades to pass 2^56). Stream
// (id, k) is the same generator taken from counter
//     id * (2^56 + 1) + k * (2^40 + 1)
// on, i.e. seeded s + that counter times the golden gamma, with room for 2^40
// draws: its counters lie above the noise's and apart from every other
// stream's, so no two streams ever share a draw. The "+ 1"s make the seed
// differences odd multiples of the gamma, whose bits look random, rather than
// multiples that touch only the top bits.
//
// Every value comes from one 64-bit output, so draw j of the stream is output j
// whatever kinds of values were asked for before it, and any draw can be made
// directly (the *At functions).
class RandomStream {
public:
    static constexpr std::uint64_t kSubStreams = std::uint64_t{1} << 16;
    static constexpr std::uint64_t kDrawsPerStream = std::uint64_t{1} << 40;

    RandomStream(std::uint64_t fileSeed, StreamId id) : RandomStream(fileSeed, static_cast<std::uint64_t>(id), 0) {}

    // Sub-stream k (taken modulo kSubStreams) of the same effect, e.g. QRM
    // station k. The stream made from (seed, id) is sub-stream 0, so an effect
    // with sub-streams takes all of its streams through derive().
    RandomStream derive(std::uint64_t k) const { return RandomStream(fileSeed_, id_, k % kSubStreams); }

    std::uint64_t nextBits() { return bitsAt(counter_++); }
    // Uniform on [0, 1): the top 53 bits.
    double uniform() { return uniformAt(counter_++); }
    // Standard Gaussian by Box-Muller (random::gaussian: the cosine branch,
    // with the plain-arithmetic maths): one output per value, no second
    // value kept, so that draw j is always output j.
    double gaussian() { return gaussianAt(counter_++); }
    // A waiting time of a Poisson process with `rate` events per unit time
    // (rate > 0): exponential with mean 1 / rate.
    double poissonInterval(double rate) { return -fastmath::log(1.0 - uniform()) / rate; }

    // The next n Gaussians at once; the same as n calls of gaussian().
    void fillGaussians(double* out, std::size_t n) {
        kernels::gaussians(inputAt(counter_), out, n);
        counter_ += n;
    }

    struct Complex {
        double re;
        double im;
    };
    // A circular complex Gaussian with E|z|^2 = 1: both Box-Muller branches
    // of one output, each component of variance 1/2.
    Complex complexGaussian() { return complexGaussianAt(counter_++); }

    std::uint64_t bitsAt(std::uint64_t draw) const { return splitMix64At(fileSeed_, base_ + draw); }
    double uniformAt(std::uint64_t draw) const { return static_cast<double>(bitsAt(draw) >> 11) * kUnit53; }
    double gaussianAt(std::uint64_t draw) const { return random::gaussian(bitsAt(draw)); }
    Complex complexGaussianAt(std::uint64_t draw) const {
        const ComplexValue z = random::complexGaussian(bitsAt(draw));
        return {z.re, z.im};
    }
    // The next n complex Gaussians' components at once; the same as n calls of
    // complexGaussian().
    void fillComplexGaussians(double* re, double* im, std::size_t n) {
        kernels::complexGaussians(inputAt(counter_), re, im, n);
        counter_ += n;
    }

    // The SplitMix64 input of a draw, for block kernels that step it on by
    // the golden gamma.
    std::uint64_t inputAt(std::uint64_t draw) const { return splitMix64Input(fileSeed_, base_ + draw); }
    std::uint64_t drawsTaken() const { return counter_; }
    void reset() { counter_ = 0; }

private:
    static constexpr double kUnit53 = 1.0 / 9007199254740992.0;  // 2^-53

    RandomStream(std::uint64_t fileSeed, std::uint64_t id, std::uint64_t k)
        : fileSeed_(fileSeed),
          id_(id),
          base_(id * ((std::uint64_t{1} << 56) + 1) + k * (kDrawsPerStream + 1)) {}

    std::uint64_t fileSeed_;
    std::uint64_t id_;
    std::uint64_t base_;
    std::uint64_t counter_ = 0;
};

}  // namespace vantel::random
