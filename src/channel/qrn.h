#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "random/random_stream.h"

namespace vantel::channel {

// The shape of the crashes.
inline constexpr double kQrnAttackS = 0.001;     // linear rise to the peak
inline constexpr double kQrnShortestS = 0.005;   // lengths log-uniform between these
inline constexpr double kQrnLongestS = 0.200;
inline constexpr double kQrnDecayConstants = 5;  // time constants of the decay in a crash's length
inline constexpr double kQrnLevelSpreadDb = 6;   // standard deviation of the peak level
inline constexpr double kQrnLevelClip = 3;       // the level's Gaussian clipped at +-3 sigma

// QRN: atmospheric crashes arriving as a Poisson process. A crash is
// broadband Gaussian noise whose standard deviation rises linearly to its
// peak in kQrnAttackS, then decays exponentially, reaching e^-5 (-43 dB) at
// the end of the crash, where it stops. Lengths are log-uniform between 5
// and 200 ms (many short clicks, a few long crashes). The peak standard
// deviation is log-normal: noiseSigma * 10^((levelDb + 6 z) / 20), z a
// standard Gaussian clipped at +-3. Crashes that overlap add as independent
// noises: sample n carries z_n * sqrt(sum of the crashes' variances), z_n
// drawn for that sample from the file's QrnNoise stream; arrival gaps,
// lengths and levels come from its Qrn stream, three draws per crash.
class QrnSource {
public:
    QrnSource(double ratePerSecond, double levelDb, double noiseSigma, double sampleRate, std::uint64_t fileSeed);

    double next();
    // The next n samples of QRN; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset();

    // Crashes begun, and the energy (sum of squared samples) added, so far.
    std::int64_t crashes() const { return crashes_; }
    double energyAdded() const { return energy_; }

private:
    struct Crash {
        double start;   // in samples, real-valued
        double end;
        double peak;    // standard deviation at the peak
        double decay;   // -1 / (decay time constant in samples)
    };
    static constexpr std::size_t kChunk = 512;
    Crash drawCrash(double start);
    // Moves every crash that has begun by `sample` to the active ones.
    void startCrashes(double sample);
    // Samples from sample_ on that no crash touches (up to `limit`).
    std::int64_t quietSamples(std::int64_t limit) const;
    // Adds the next n samples (at most kChunk) to out, and moves on.
    void addChunk(double* out, std::size_t n);

    double rate_;          // per sample
    double levelDb_;
    double noiseSigma_;
    double sampleRate_;
    double attack_;        // in samples
    random::RandomStream events_;
    random::RandomStream noise_;
    Crash pending_{};
    std::vector<Crash> active_;
    std::vector<double> variance_, values_;
    std::int64_t sample_ = 0;
    std::int64_t crashes_ = 0;
    double energy_ = 0;
};

}  // namespace vantel::channel
