#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "wav/wav_writer.h"
#include "settings/generation_settings.h"
#include "support/run_support.h"
#include "support/wav_file.h"
#include "synth/generation_run.h"
#include "synth/level_report.h"

namespace vantel::synth {
namespace {

using keying::KeyingPattern;
using settings::Mode;
using vantel::testing::readWav;
using vantel::testing::TempDir;

settings::GenerationSettings startupSettings() {
    settings::GenerationSettings s = settings::loadSettings();
    s.ScaleFact = 1;
    return s;
}

// Runs a whole pattern through the engine into a file and reads it back.
std::vector<std::int16_t> runToSamples(SynthesisState& state, const settings::GenerationSettings& s, Mode mode,
                                       const KeyingPattern& pattern, const LiveControls& live) {
    TempDir dir;
    const RunPlan plan = vantel::testing::planAndDesign(state, s, mode, pattern, live.firLength);
    wav::WavWriter writer((dir / "run.wav").string(), plan.sampleRate, plan.totalSamples);
    const RunSetup setup = vantel::testing::classicSetup(pattern, plan);
        GenerationRun run(state, setup, writer);
    while (run.running()) run.runElements(1, live);
    writer.finish();
    return readWav(dir / "run.wav").samples;
}

LiveControls unfiltered() {
    LiveControls live;
    live.filterOn = false;
    return live;
}

TEST(RunPlan, StartupConstantsAndSampleCounts) {
    settings::GenerationSettings s = startupSettings();
    const RunPlan plan = planRun(s, Mode::OnOffCW, KeyingPattern::fromText(std::string(50, '-')));
    EXPECT_NEAR(plan.noiseScale, 6324.555, 1e-3);
    EXPECT_DOUBLE_EQ(plan.markIncrement, 1.0 / 15);
    EXPECT_DOUBLE_EQ(plan.spaceIncrement, 0.05);
    EXPECT_EQ(plan.samplesPerElement, 720);
    EXPECT_EQ(plan.totalSamples, 36000);
    EXPECT_EQ(plan.sampleRate, 12000);

    const RunPlan tone = planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(50));
    EXPECT_EQ(tone.samplesPerElement, 1200);
    EXPECT_EQ(tone.totalSamples, 60000);

    s.FSample = 8000.5;
    EXPECT_EQ(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(1)).sampleRate, 8000);
    s.SN = 0;
    s.BW = s.FSample;
    EXPECT_DOUBLE_EQ(planRun(s, Mode::OnOffCW, KeyingPattern::fromText("-")).noiseScale, 10000);
}

TEST(RunPlan, RefusesRunsThatCannotMakeAValidFile) {
    settings::GenerationSettings s = startupSettings();
    EXPECT_THROW(planRun(s, Mode::OnOffCW, KeyingPattern()), RunError);
    EXPECT_THROW(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(0)), RunError);
    s.Dotperiod = 1e-9;  // less than one sample per element
    EXPECT_THROW(planRun(s, Mode::OnOffCW, KeyingPattern::fromText("-")), RunError);
    s = startupSettings();
    // 2N + 36 must fit a signed 32-bit field: 1,073,741,805 samples at most.
    s.FSample = 10;  // one sample per tone element
    EXPECT_EQ(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(1073741805)).totalSamples, 1073741805);
    EXPECT_THROW(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(1073741806)), RunError);
    EXPECT_THROW(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(INT64_MAX)), RunError);
    s.FSample = 2e9;
    EXPECT_THROW(planRun(s, Mode::ToneOnly, KeyingPattern::continuousTone(1)), RunError);
}

TEST(Synthesis, OnOffKeyingActsOneSampleLate) {
    settings::GenerationSettings s = startupSettings();
    s.SN = 300;  // noise far below one LSB
    s.ToneFreq = 810;
    SynthesisState state;
    const auto samples = runToSamples(state, s, Mode::OnOffCW, KeyingPattern::fromText("- "), unfiltered());
    ASSERT_EQ(samples.size(), 1440u);
    const double increment = 810.0 / 12000;
    for (int k : {1, 7, 719}) {
        EXPECT_EQ(samples[k], std::lround(14142.13 * std::sin(2 * std::numbers::pi * increment * k))) << k;
    }
    // The key-up element's first sample still carries the tone, at the phase
    // the free-running oscillator has reached; then silence.
    EXPECT_EQ(samples[720], std::lround(14142.13 * std::sin(2 * std::numbers::pi * increment * 720)));
    EXPECT_NE(samples[720], 0);
    for (int k = 721; k < 1440; ++k) ASSERT_EQ(samples[k], 0) << k;
}

TEST(Synthesis, FskShiftsFrequencyOneSampleLateWithContinuousPhase) {
    settings::GenerationSettings s = startupSettings();
    s.SN = 300;
    SynthesisState state;
    LiveControls live = unfiltered();
    live.fsk = true;
    const auto samples = runToSamples(state, s, Mode::FSKCW, KeyingPattern::fromText(" -"), live);
    const double mark = 800.0 / 12000;
    const double space = 600.0 / 12000;
    auto expected = [](double cycles) { return std::lround(14142.13 * std::sin(2 * std::numbers::pi * cycles)); };
    EXPECT_EQ(samples[13], expected(13 * space));
    EXPECT_EQ(samples[720], expected(720 * space));
    // The first mark sample still runs at the space step chosen before it.
    EXPECT_EQ(samples[723], expected(720 * space + 3 * mark));
    // FSK never keys the amplitude off: both elements reach full level.
    EXPECT_GT(*std::max_element(samples.begin(), samples.begin() + 720), 14000);
    EXPECT_GT(*std::max_element(samples.begin() + 720, samples.end()), 14000);
}

TEST(Synthesis, NoiseRepeatsFromStartAndContinuesAcrossRuns) {
    settings::GenerationSettings s = startupSettings();
    const KeyingPattern pattern = KeyingPattern::fromText("- ");
    SynthesisState first;
    SynthesisState again;
    const auto a1 = runToSamples(first, s, Mode::OnOffCW, pattern, unfiltered());
    const auto a2 = runToSamples(first, s, Mode::OnOffCW, pattern, unfiltered());
    const auto b1 = runToSamples(again, s, Mode::OnOffCW, pattern, unfiltered());
    EXPECT_EQ(a1, b1);
    EXPECT_NE(a1, a2);
    EXPECT_EQ(first.noise.pairsDrawn(), 2880u);  // two draws per sample, every sample
}

TEST(Synthesis, BypassLeavesTheDelayLineAloneAndFilteredRunsCarryIt) {
    settings::GenerationSettings s = startupSettings();
    const KeyingPattern pattern = KeyingPattern::fromText("-");
    SynthesisState state;
    runToSamples(state, s, Mode::OnOffCW, pattern, unfiltered());
    for (float v : state.FIRDelay.delayLine()) ASSERT_EQ(v, 0.0f);

    runToSamples(state, s, Mode::OnOffCW, pattern, LiveControls{});
    SynthesisState fromSilence = state;
    fromSilence.FIRDelay = filter::FirRing{};
    const auto carried = runToSamples(state, s, Mode::OnOffCW, pattern, LiveControls{});
    const auto silent = runToSamples(fromSilence, s, Mode::OnOffCW, pattern, LiveControls{});
    EXPECT_NE(carried[0], silent[0]);
    // After the ring has filled with this run's own input, the two agree.
    EXPECT_EQ(std::vector(carried.begin() + 200, carried.end()), std::vector(silent.begin() + 200, silent.end()));
}

TEST(Synthesis, AZeroUniformDrawNeverReachesTheLogarithm) {
    EXPECT_TRUE(std::isfinite(gaussianNoise(10000, {0.0f, 0.0f})));
    EXPECT_NEAR(gaussianNoise(1, {0.0f, 0.0f}), std::sqrt(-2 * std::log(0x1p-25)), 1e-12);
}

TEST(GenerationRun, AbortWritesOneSampleOfTheNextElementAndAValidHeader) {
    settings::GenerationSettings s = startupSettings();
    TempDir dir;
    SynthesisState state;
    const KeyingPattern pattern = KeyingPattern::fromText("- - -");
    const RunPlan plan = vantel::testing::planAndDesign(state, s, Mode::OnOffCW, pattern, 200);
    wav::WavWriter writer((dir / "abort.wav").string(), plan.sampleRate, plan.totalSamples);
    const RunSetup setup = vantel::testing::classicSetup(pattern, plan);
        GenerationRun run(state, setup, writer);
    run.runElements(1, {});
    run.runElements(1, {});
    LiveControls abort;
    abort.abort = true;
    run.runElements(1, abort);
    EXPECT_TRUE(run.aborted());
    EXPECT_FALSE(run.running());
    run.runElements(1, {});  // nothing more once aborted
    writer.finish();
    const auto wav = readWav(dir / "abort.wav");
    EXPECT_EQ(wav.samples.size(), 2u * 720 + 1);
    EXPECT_EQ(wav.dataBytes, (2 * 720 + 1) * 2);
    EXPECT_EQ(wav.riffSize, wav.dataBytes + 36);
}

TEST(LevelStats, SixteenBitLimiterBoundaries) {
    LevelStats stats;
    EXPECT_EQ(stats.take(32767), 32767);
    EXPECT_EQ(stats.take(-32768), -32768);
    EXPECT_EQ(stats.clipped, 0);
    EXPECT_EQ(stats.take(32767.2), 32767);
    EXPECT_EQ(stats.take(-32768.4), -32768);
    EXPECT_EQ(stats.clipped, 2);
    EXPECT_EQ(stats.take(2.5), 2);
    EXPECT_EQ(stats.take(-3.5), -4);
    EXPECT_EQ(stats.take(std::nan("")), 0);
    EXPECT_EQ(stats.clipped, 3);
    EXPECT_DOUBLE_EQ(stats.peak, 32768.4);
    EXPECT_EQ(stats.sumSquares, 2LL * 32767 * 32767 + 2LL * 32768 * 32768 + 4 + 16);
}

TEST(LevelReport, TextsAndTheirConditions) {
    LevelStats stats;
    stats.peak = 9000;
    stats.sumSquares = 3000LL * 3000 * 60000;
    Report normal = levelReport("CWTemp.wav", 60000, stats);
    EXPECT_EQ(normal.kind, ReportKind::Normal);
    EXPECT_EQ(normal.text, "CWTemp.wav\r\n\r\n 60000 Samples\r\nRMS = 3000");

    stats.clipped = 100;
    EXPECT_EQ(levelReport("f", 10000, stats).kind, ReportKind::Normal);
    stats.clipped = 101;
    const Report severe = levelReport("f", 10000, stats);
    EXPECT_EQ(severe.kind, ReportKind::SevereClipping);
    EXPECT_EQ(severe.text, "Severe Clipping. Reduce output scaling");

    LevelStats quiet;
    quiet.peak = 3276.9;
    const Report low = levelReport("f", 10, quiet);
    EXPECT_EQ(low.kind, ReportKind::LowLevel);
    EXPECT_EQ(low.text, "Output level low.  Increase output Scaling\r\n\r\nRMS = ");
    quiet.peak = 3277;
    EXPECT_EQ(levelReport("f", 10, quiet).text, "f\r\n\r\n 10 Samples\r\nRMS = ");
}

TEST(LevelReport, RunningClippingFigureAndAbortText) {
    LevelStats stats;
    stats.peak = 65534;
    stats.clipped = 20;
    EXPECT_EQ(runningClippingFigure(stats), std::nullopt);
    stats.clipped = 21;
    EXPECT_EQ(runningClippingFigure(stats), "  6dB clipping");

    EXPECT_EQ(abortReport(210, stats).text, " Aborted!  Change any parameter to restart");
    EXPECT_EQ(abortReport(209, stats).text,
              " Aborted!  Change any parameter to restart  Severe Clipping, reduce output scaling");
    EXPECT_EQ(abortReport(209, stats).kind, ReportKind::Aborted);
}

}  // namespace
}  // namespace vantel::synth
