#pragma once

#include <cmath>
#include <cstdint>

namespace vantel::synth {

// The tone and the noise as generated, before the filter and the output
// scaling, so that a file's S/N can be stated as measured and not only as
// asked for.
struct SignalMeasure {
    double toneEnergy = 0;  // sum of squares over the samples with the key down
    std::int64_t toneSamples = 0;
    double noiseEnergy = 0;  // sum of squares of the noise over all samples
    std::int64_t noiseSamples = 0;
    // What arrives beside the wanted signal, over all samples.
    double qrmEnergy = 0;
    double qrnEnergy = 0;
    std::int64_t qrnCrashes = 0;
    // With a receiver: at its output, the wanted signal alone and everything
    // else (noise, QRM, QRN, hum), under the same AGC gain.
    double outputWantedEnergy = 0;
    double outputRestEnergy = 0;

    // Key-down tone power over the noise power counted one-sided in
    // `bandwidth` Hz (white noise spreads its power evenly from 0 to half the
    // sample rate), in dB. NaN when there is no tone or no noise to compare.
    double snrDb(double bandwidth, double sampleRate) const {
        if (toneSamples == 0 || noiseSamples == 0 || noiseEnergy <= 0) return std::nan("");
        const double tonePower = toneEnergy / static_cast<double>(toneSamples);
        const double noisePower = noiseEnergy / static_cast<double>(noiseSamples) * bandwidth / (sampleRate / 2);
        return 10 * std::log10(tonePower / noisePower);
    }

    // The QRM's mean power over the file against the wanted signal's
    // key-down power, in dB; NaN when there is none of either.
    double qrmDb() const {
        if (toneSamples == 0 || toneEnergy <= 0 || !(qrmEnergy > 0)) return std::nan("");
        const double qrmPower = qrmEnergy / static_cast<double>(noiseSamples);
        return 10 * std::log10(qrmPower / (toneEnergy / static_cast<double>(toneSamples)));
    }
    // The wanted signal's key-down power over the mean power of everything
    // else at the receiver's output, in dB; NaN without a receiver.
    double outputSnrDb() const {
        if (toneSamples == 0 || noiseSamples == 0 || !(outputWantedEnergy > 0) || !(outputRestEnergy > 0)) {
            return std::nan("");
        }
        const double wantedPower = outputWantedEnergy / static_cast<double>(toneSamples);
        return 10 * std::log10(wantedPower / (outputRestEnergy / static_cast<double>(noiseSamples)));
    }
    // The QRN's mean power over the file against the background noise's, in
    // dB; NaN when there is none of either.
    double qrnDb() const {
        if (noiseSamples == 0 || noiseEnergy <= 0 || !(qrnEnergy > 0)) return std::nan("");
        return 10 * std::log10(qrnEnergy / noiseEnergy);
    }
};

}  // namespace vantel::synth
