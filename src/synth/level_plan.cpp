#include "synth/level_plan.h"

#include "filter/fir_filter.h"
#include "maths/fast_math.h"
#include "synth/keyed_oscillator.h"

namespace vantel::synth {
namespace {

constexpr double kLn10 = 2.302585092994046;

// Samples that carry the tone at the mark frequency and at the space
// frequency. Sample 0 has the start-up keying (tone on); sample t + 1 has
// the key state of sample t.
struct ToneSamples {
    double mark = 0;
    double space = 0;
};

ToneSamples toneSamples(const RunSetup& setup, bool fsk) {
    const keying::KeyingPattern& pattern = setup.pattern;
    const std::int64_t perElement = setup.plan.samplesPerElement;
    std::int64_t keyDown = 0;
    if (pattern.isContinuousTone()) {
        keyDown = setup.plan.totalSamples;
    } else {
        for (std::int64_t e = 0; e < pattern.size(); ++e) keyDown += pattern.keyDown(e) ? perElement : 0;
    }
    const std::int64_t total = setup.plan.totalSamples;
    const bool lastKeyDown = total > 0 && pattern.keyDown(pattern.size() - 1);
    const std::int64_t mark = total > 0 ? 1 + keyDown - (lastKeyDown ? 1 : 0) : 0;
    return {static_cast<double>(mark), fsk ? static_cast<double>(total - mark) : 0.0};
}

}  // namespace

double expectedMeanSquare(const RunSetup& setup, settings::Mode mode, bool filterOn, const filter::CoefficientStore& coeffs, std::int16_t firLength) {
    const double total = static_cast<double>(setup.plan.totalSamples);
    if (!(total > 0)) return 0;
    const ToneSamples tone = toneSamples(setup, mode == settings::Mode::FSKCW);
    auto gainAt = [&](double cyclesPerSample) {
        return filterOn ? filter::tonePowerGain(coeffs, firLength, cyclesPerSample) : 1.0;
    };
    const double tonePower = kPeakAmplitude * kPeakAmplitude / 2;
    const double toneEnergy = tonePower * (tone.mark * gainAt(setup.plan.markIncrement) +
                                           tone.space * gainAt(setup.plan.spaceIncrement));
    const double noiseGain = filterOn ? filter::noisePowerGain(coeffs, firLength) : 1.0;
    const double noisePower = setup.plan.noiseScale * setup.plan.noiseScale * noiseGain;
    return toneEnergy / total + noisePower;
}

double decibels(double powerRatio) { return 10 * fastmath::log(powerRatio) / kLn10; }

double levelForRms(double meanSquare, double rmsDbfs) {
    return rmsDbfs - (decibels(meanSquare) - decibels(kFullScale * kFullScale));
}

}  // namespace vantel::synth
