// The level a run is planned to have against the level it has.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "wav/wav_writer.h"
#include "filter/fir_filter.h"
#include "keying/morse_encoder.h"
#include "support/run_support.h"
#include "support/wav_file.h"
#include "synth/level_plan.h"

namespace vantel::synth {
namespace {

using settings::Mode;

TEST(FilterGains, MatchTheResponseAndWhatTheRingDoesToNoise) {
    filter::CoefficientStore h{};
    filter::designBandPass(h, 800, 500, 12000, 200);
    // The response by its definition, with the two taps that share the newest sample.
    auto response = [&](double f) {
        std::complex<double> sum;
        for (int k = 0; k <= 200; ++k) {
            sum += h[k] * std::polar(1.0, -2 * std::numbers::pi * f / 12000 * std::min(k, 199));
        }
        return std::norm(sum);
    };
    for (double f : {800.0, 550.0, 1050.0, 300.0, 2500.0}) {
        EXPECT_NEAR(filter::tonePowerGain(h, 200, f / 12000), response(f), 1e-9) << f;
    }
    // White noise through the ring keeps the sum of the squared taps.
    filter::FirRing ring;
    NoiseSource noise(5);
    double in = 0, out = 0;
    constexpr int kSamples = 400000;
    for (int i = 0; i < kSamples; ++i) {
        const double x = gaussianNoise(1, noise.next());
        const double y = ring.process(x, h, 200);
        in += x * x;
        out += y * y;
    }
    // 400k samples: the ratio's spread is well under 1 %.
    EXPECT_NEAR(out / in, filter::noisePowerGain(h, 200), 0.02 * filter::noisePowerGain(h, 200));
}

TEST(LevelPlan, ExpectedMeanSquareIsWhatTheRunMakes) {
    const keying::KeyingPattern morse = keying::KeyingPattern::fromText(keying::encodeMorse("PARIS CQ PARIS CQ PARIS CQ PARIS CQ PARIS CQ PARIS CQ").pattern);
    struct Case {
        Mode mode;
        keying::KeyingPattern pattern;
        double sn;
        bool filterOn;
    };
    for (const Case& c : {Case{Mode::OnOffCW, morse, 10, true}, Case{Mode::OnOffCW, morse, -10, false},
                          Case{Mode::FSKCW, morse, 0, true}, Case{Mode::ToneOnly, keying::tonePattern(20), 30, true}}) {
        settings::GenerationSettings s = settings::loadSettings();
        s.SN = c.sn;
        s.FilterCF = 700;
        s.FilterBW = 600;
        s.ScaleFact = 0.01;  // far from clipping
        const std::int16_t length = filter::firLengthRule(600, 12000, 200);
        SynthesisState state;
        const RunSetup setup =
            vantel::testing::classicSetup(c.pattern, vantel::testing::planAndDesign(state, s, c.mode, c.pattern, length));
        const double expected = expectedMeanSquare(setup, c.mode, c.filterOn, state.FIRCoeffs, length);

        vantel::testing::TempDir dir;
        wav::WavWriter writer((dir / "l.wav").string(), setup.plan.sampleRate, setup.plan.totalSamples);
        GenerationRun run(state, setup, writer);
        LiveControls live{c.mode == Mode::FSKCW, c.filterOn, s.ScaleFact, length, false};
        while (run.running()) run.runElements(1000, live);
        writer.finish();
        const double made = static_cast<double>(run.stats().sumSquares) /
                            static_cast<double>(setup.plan.totalSamples) / (s.ScaleFact * s.ScaleFact);
        // About 20 s of noise in a 600 Hz band is some 24,000 independent
        // values: its power is known to within 1 % (0.04 dB) at one sigma.
        EXPECT_NEAR(10 * std::log10(made / expected), 0, 0.15) << static_cast<int>(c.mode) << " " << c.sn;
    }
    EXPECT_NEAR(levelForRms(1e8, -20), -20 - 80 + 20 * std::log10(32768.0), 1e-9);
}

}  // namespace
}  // namespace vantel::synth
