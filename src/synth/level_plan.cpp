#include "synth/level_plan.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "channel/if_filter.h"
#include "channel/qrn.h"
#include "channel/qrn_class_a.h"
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
    const keying::KeyingRuns keying = setup.keying();
    const std::int64_t total = setup.plan.totalSamples;
    const std::int64_t mark = total > 0 ? 1 + keying.keyDownSamples() - (keying.lastKeyDown() ? 1 : 0) : 0;
    return {static_cast<double>(mark), fsk ? static_cast<double>(total - mark) : 0.0};
}

// The other stations' energy: each at its level while its key is down, at
// the filter's gain for its frequency (their fading keeps their mean power).
double qrmEnergy(const RunSetup& setup, const std::function<double(double)>& gainAt) {
    double energy = 0;
    for (const channel::QrmStation& station : setup.qrmStations) {
        const auto keyDown = static_cast<double>(keying::KeyingRuns(station.runs).keyDownSamples());
        const double amplitude = channel::stationAmplitude(station, kPeakAmplitude);
        energy += amplitude * amplitude / 2 * keyDown * gainAt(station.frequencyHz / setup.sampleRate);
    }
    return energy;
}

// E[10^(spread z / 10)] for z a standard Gaussian clipped at +-clip: the
// mean of a crash's peak variance over its median, by Simpson's rule in
// plain arithmetic.
double meanLogNormalPower(double spreadDb, double clip) {
    constexpr int kSteps = 600;
    constexpr double kInvSqrtTwoPi = 0.39894228040143267794;
    const double c = 2 * spreadDb * fastmath::kNepersPerDb;
    const double h = 2 * clip / kSteps;
    double inside = 0, probability = 0;
    for (int i = 0; i <= kSteps; ++i) {
        const double z = -clip + h * i;
        const double weight = (i == 0 || i == kSteps) ? 1 : (i % 2 == 1 ? 4 : 2);
        const double density = kInvSqrtTwoPi * fastmath::exp(-z * z / 2);
        inside += weight * density * fastmath::exp(c * z);
        probability += weight * density;
    }
    inside *= h / 3;
    probability *= h / 3;
    // The clipped tails sit at +-clip, half the remaining probability each.
    const double tail = (1 - probability) / 2;
    return inside + tail * (fastmath::exp(c * clip) + fastmath::exp(-c * clip));
}

// The crashes' expected mean square: the arrival rate times a crash's
// expected energy (its peak variance times the integral of its squared
// envelope, a linear rise then an exponential decay to e^-5 in sd).
double qrnMeanSquare(const RunSetup& setup) {
    const channel::BandConditions& c = setup.conditions;
    if (c.qrnModel == channel::QrnModel::ClassA) {
        return channel::ClassAQrn::meanSquare(c.qrnRate, c.qrnLevelDb, c.qrnGamma, setup.plan.noiseScale,
                                              setup.sampleRate);
    }
    if (!(c.qrnRate > 0)) return 0;
    const double rate = setup.sampleRate;
    const double ratio = channel::kQrnLongestS / channel::kQrnShortestS;
    const double meanLength = channel::kQrnShortestS * rate * (ratio - 1) / fastmath::log(ratio);
    const double attack = channel::kQrnAttackS * rate;
    const double tail = 1 - fastmath::exp(-2 * channel::kQrnDecayConstants);
    const double envelope = attack / 3 + (meanLength - attack) / (2 * channel::kQrnDecayConstants) * tail;
    const double sigma = setup.plan.noiseScale;
    const double peakVariance = sigma * sigma * fastmath::exp(2 * c.qrnLevelDb * fastmath::kNepersPerDb) *
                                meanLogNormalPower(channel::kQrnLevelSpreadDb, channel::kQrnLevelClip);
    return c.qrnRate / rate * peakVariance * envelope;
}

// The hum's power at the output filter's gain for its fundamental.
double humMeanSquare(const RunSetup& setup, const std::function<double(double)>& gainAt) {
    const channel::BandConditions& c = setup.conditions;
    if (!(c.humHz > 0)) return 0;
    // Its RMS is humLevelDb against the wanted tone's key-down RMS.
    const double tonePower = kPeakAmplitude * kPeakAmplitude / 2;
    return tonePower * fastmath::exp(2 * c.humLevelDb * fastmath::kNepersPerDb) * gainAt(c.humHz / setup.sampleRate);
}

}  // namespace

double expectedMeanSquare(const RunSetup& setup, settings::Mode mode, bool filterOn, const filter::CoefficientStore& coeffs, std::int16_t firLength) {
    const double total = static_cast<double>(setup.plan.totalSamples);
    if (!(total > 0)) return 0;
    const ToneSamples tone = toneSamples(setup, mode == settings::Mode::FSKCW);
    auto filterGainAt = [&](double cyclesPerSample) {
        return filterOn ? filter::tonePowerGain(coeffs, firLength, cyclesPerSample) : 1.0;
    };
    const channel::BandConditions& c = setup.conditions;
    std::optional<channel::IfFilter> receiver;
    if (c.receiver) receiver.emplace(c.ifShape, setup.toneHz, c.ifBandwidthHz, setup.sampleRate);
    // A receiver's IF filter comes before the output filter.
    auto gainAt = [&](double cyclesPerSample) {
        const double ifGain = receiver ? receiver->gainAt(cyclesPerSample * setup.sampleRate) : 1.0;
        return ifGain * ifGain * filterGainAt(cyclesPerSample);
    };
    const double tonePower = kPeakAmplitude * kPeakAmplitude / 2;
    const double toneEnergy = tonePower * (tone.mark * gainAt(setup.plan.markIncrement) +
                                           tone.space * gainAt(setup.plan.spaceIncrement));
    const double noiseIn = setup.plan.noiseScale * setup.plan.noiseScale + qrnMeanSquare(setup);
    // Behind the IF filter the noise fills its noise bandwidth about the
    // tone, where the output filter's gain is its gain at the tone.
    const double noisePower =
        receiver ? noiseIn * receiver->noiseBandwidthHz() / (setup.sampleRate / 2) * filterGainAt(setup.plan.markIncrement)
                 : noiseIn * (filterOn ? filter::noisePowerGain(coeffs, firLength) : 1.0);
    return (toneEnergy + qrmEnergy(setup, gainAt)) / total + noisePower + humMeanSquare(setup, filterGainAt);
}

double decibels(double powerRatio) { return 10 * fastmath::log(powerRatio) / kLn10; }

double levelForRms(double meanSquare, double rmsDbfs) {
    return rmsDbfs - (decibels(meanSquare) - decibels(kFullScale * kFullScale));
}

}  // namespace vantel::synth
