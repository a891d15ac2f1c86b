// Runs under band conditions: both renderers agree, and each effect is there.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "keying/morse_encoder.h"
#include "support/run_support.h"
#include "support/wav_file.h"
#include "synth/band_path.h"
#include "synth/generation_run.h"

namespace vantel::synth {
namespace {

struct Made {
    std::vector<std::int16_t> samples;
    SignalMeasure measure;
};

Made make(Renderer renderer, const settings::GenerationSettings& s, settings::Mode mode, const BandSetup& band) {
    const RunSetup setup = setUpRun(s, mode, "3", band);
    SynthesisState state{NoiseSource(band.seed), {}, {}};
    designRunFilter(state.FIRCoeffs, s, s.FilterCF, 200);
    synth::SampleBuffer buffer;
    GenerationRun run(state, setup, buffer, renderer);
    LiveControls live{mode == settings::Mode::FSKCW, true, 0.5, 200, false};
    while (run.running()) run.runCall(live);
    return {buffer.samples(), run.signalMeasure()};
}

settings::GenerationSettings morseSettings(const std::string& message) {
    settings::GenerationSettings s = settings::loadSettings();
    s.ScaleFact = 0.5;
    encodeForRun(s, settings::Mode::OnOffCW, message, "20");
    return s;
}

BandSetup everyEffect() {
    BandSetup band;
    band.message = "CQ DE W1AW <AR>";
    band.extendedCharacters = true;
    band.seed = 77;
    band.conditions.riseMs = 5;
    band.conditions.farnsworthWpm = 12;
    band.conditions.jitterPercent = 10;
    band.conditions.chirpHz = 30;
    band.conditions.driftHzPerMin = 20;
    band.conditions.fading = true;
    band.conditions.qsbDepthDb = 6;
    band.conditions.qrmStations = 2;
    band.conditions.qrnRate = 3;
    return band;
}

// The band as it sounds on the air: QSOs, Class A static, random QSB,
// shifted fading paths, then the receiver and its hum.
BandSetup realisticBand() {
    BandSetup band = everyEffect();
    band.conditions.qrmStations = 3;
    band.conditions.qrmTraffic = channel::QrmTraffic::Qso;
    band.conditions.qrnModel = channel::QrnModel::ClassA;
    band.conditions.qsbRandomDb = 6;
    band.conditions.fadingPaths = {{0, 0.5, 0, 0}, {1, 1, -3, 2}, {2.5, 0.5, -6, -1}};
    band.conditions.receiver = true;
    band.conditions.agc = channel::AgcSpeed::Fast;
    band.conditions.humHz = 50;
    return band;
}

TEST(BandRender, BothRenderersAgreeWithEveryEffectOn) {
    const auto s = morseSettings("CQ DE W1AW <AR>");
    for (const BandSetup& band : {everyEffect(), realisticBand()}) {
        const Made fast = make(Renderer::Fast, s, settings::Mode::OnOffCW, band);
        const Made reference = make(Renderer::Reference, s, settings::Mode::OnOffCW, band);
        ASSERT_EQ(fast.samples.size(), reference.samples.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < fast.samples.size(); ++i) {
            ASSERT_LE(std::abs(fast.samples[i] - reference.samples[i]), 1) << i;
            differing += fast.samples[i] != reference.samples[i];
        }
        EXPECT_LE(differing, fast.samples.size() / 100000 + 1);
        EXPECT_GT(fast.measure.qrmEnergy, 0);
        EXPECT_GT(fast.measure.qrnEnergy, 0);
        EXPECT_EQ(fast.measure.qrnCrashes, reference.measure.qrnCrashes);
        EXPECT_EQ(std::isnan(fast.measure.outputSnrDb()), !band.conditions.receiver);
        if (band.conditions.receiver) EXPECT_NEAR(fast.measure.outputSnrDb(), reference.measure.outputSnrDb(), 1e-9);
    }
}

TEST(BandRender, AResetBandPathStartsItsFileAgain) {
    for (const BandSetup& band : {everyEffect(), realisticBand()}) {
        const RunSetup setup = setUpRun(morseSettings("CQ DE W1AW <AR>"), settings::Mode::OnOffCW, "3", band);
        BandPath path(setup);
        constexpr std::size_t kN = 4000;
        std::vector<double> amplitude(kN, kPeakAmplitude), phase(kN);
        for (std::size_t i = 0; i < kN; ++i) phase[i] = std::fmod(0.07 * static_cast<double>(i), 1.0);
        auto firstSamples = [&] {
            std::vector<double> wanted(kN), qrm(kN), qrn(kN);
            path.process(amplitude.data(), phase.data(), wanted.data(), qrm.data(), qrn.data(), kN);
            wanted.insert(wanted.end(), qrm.begin(), qrm.end());
            wanted.insert(wanted.end(), qrn.begin(), qrn.end());
            return wanted;
        };
        const std::vector<double> first = firstSamples();
        firstSamples();
        path.reset();
        EXPECT_EQ(firstSamples(), first);
    }
}

TEST(BandRender, EachEffectDrawsOnlyFromItsOwnStream) {
    // Interference added: the wanted signal and the background noise stay.
    const auto s = morseSettings("PARIS");
    BandSetup plain;
    plain.message = "PARIS";
    plain.seed = 5;
    plain.conditions.riseMs = 4;
    BandSetup withQrn = plain;
    withQrn.conditions.qrnRate = 5;
    const Made a = make(Renderer::Fast, s, settings::Mode::OnOffCW, plain);
    const Made b = make(Renderer::Fast, s, settings::Mode::OnOffCW, withQrn);
    EXPECT_EQ(a.measure.toneEnergy, b.measure.toneEnergy);
    EXPECT_EQ(a.measure.noiseEnergy, b.measure.noiseEnergy);
    EXPECT_NE(a.samples, b.samples);
    EXPECT_EQ(a.measure.qrnEnergy, 0);
}

TEST(BandRender, KeyingOptionsBelongToTheirModes) {
    settings::GenerationSettings s = settings::loadSettings();
    BandSetup band;
    band.conditions.riseMs = 5;
    EXPECT_THROW(setUpRun(s, settings::Mode::FSKCW, "20", band), text::SettingError);
    band = {};
    band.conditions.jitterPercent = 5;
    EXPECT_THROW(setUpRun(s, settings::Mode::ToneOnly, "3", band), text::SettingError);
    band = {};
    band.conditions.riseMs = 1e9;
    EXPECT_THROW(setUpRun(morseSettings("E"), settings::Mode::OnOffCW, "20", band), text::SettingError);
}

}  // namespace
}  // namespace vantel::synth
