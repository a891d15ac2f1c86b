// The block renderer against the sample-by-sample reference: the same file to
// within one unit on at most one sample in 100,000.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "wav/wav_writer.h"
#include "keying/morse_encoder.h"
#include "settings/generation_settings.h"
#include "support/run_support.h"
#include "support/wav_file.h"
#include "synth/generation_run.h"

namespace vantel::synth {
namespace {

using keying::KeyingPattern;
using settings::Mode;
using vantel::testing::readWav;
using vantel::testing::TempDir;

using LiveForElement = std::function<LiveControls(std::int64_t element)>;

struct Rendered {
    std::vector<std::int16_t> samples;
    LevelStats stats;
};

Rendered render(Renderer renderer, const settings::GenerationSettings& s, Mode mode, const KeyingPattern& pattern,
                std::int16_t designLength, const LiveForElement& live, std::int64_t elementsPerCall = 1) {
    TempDir dir;
    SynthesisState state{NoiseSource(99), {}, {}};
    const RunPlan plan = vantel::testing::planAndDesign(state, s, mode, pattern, designLength);
    Rendered result;
    {
        wav::WavWriter writer((dir / "r.wav").string(), plan.sampleRate, plan.totalSamples);
        const RunSetup setup = vantel::testing::classicSetup(pattern, plan);
        GenerationRun run(state, setup, writer, renderer);
        while (run.running()) run.runElements(elementsPerCall, live(run.elementsDone()));
        writer.finish();
        result.stats = run.stats();
    }
    result.samples = readWav(dir / "r.wav").samples;
    return result;
}

void expectAgreement(const Rendered& fast, const Rendered& reference) {
    ASSERT_EQ(fast.samples.size(), reference.samples.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < fast.samples.size(); ++i) {
        const int difference = std::abs(fast.samples[i] - reference.samples[i]);
        ASSERT_LE(difference, 1) << "sample " << i;
        differing += difference != 0;
    }
    EXPECT_LE(differing, fast.samples.size() / 100000) << differing << " of " << fast.samples.size();
    EXPECT_EQ(fast.stats.clipped, reference.stats.clipped);
    EXPECT_NEAR(fast.stats.peak, reference.stats.peak, 1e-6);
}

settings::GenerationSettings settingsFor(double rate, double filterCentre, double filterBandwidth, double sn) {
    settings::GenerationSettings s = settings::loadSettings();
    s.FSample = rate;
    s.FilterCF = filterCentre;
    s.FilterBW = filterBandwidth;
    s.SN = sn;
    s.ScaleFact = 1;
    return s;
}

TEST(FastPath, LongMorseFileSettingsShortened) {
    const KeyingPattern pattern = KeyingPattern::fromText(keying::encodeMorse("PARIS CQ DE VANTEL 73 ").pattern);
    const std::int16_t length = filter::firLengthRule(500, 12000, 200);
    for (double sn : {300.0, 20.0, -10.0}) {
        const auto s = settingsFor(12000, 800, 500, sn);
        LiveControls live;
        live.firLength = length;
        const auto constant = [&](std::int64_t) { return live; };
        SCOPED_TRACE(sn);
        const Rendered reference = render(Renderer::Reference, s, Mode::OnOffCW, pattern, length, constant);
        expectAgreement(render(Renderer::Fast, s, Mode::OnOffCW, pattern, length, constant), reference);
        // Many elements per call, as the command runs it, give the same file.
        expectAgreement(render(Renderer::Fast, s, Mode::OnOffCW, pattern, length, constant, 1000), reference);
    }
}

TEST(FastPath, NarrowFilterAtHighRateShortened) {
    const std::int16_t length = filter::firLengthRule(100, 48000, 200);
    ASSERT_EQ(length, 1920);
    const KeyingPattern tone = keying::tonePattern(3);
    for (double sn : {300.0, 20.0}) {
        const auto s = settingsFor(48000, 800, 100, sn);
        LiveControls live;
        live.firLength = length;
        const auto constant = [&](std::int64_t) { return live; };
        SCOPED_TRACE(sn);
        expectAgreement(render(Renderer::Fast, s, Mode::ToneOnly, tone, length, constant, 1000),
                        render(Renderer::Reference, s, Mode::ToneOnly, tone, length, constant));
    }
}

TEST(FastPath, LiveChangesBetweenElementsIncludingAShrinkingFilter) {
    const auto s = settingsFor(12000, 1800, 3000, 10);
    const KeyingPattern pattern = KeyingPattern::fromText(keying::encodeMorse("TEST 5NN").pattern);
    // Filter on and off, the length growing past the design and shrinking so the
    // ring position lies beyond the new length, FSK switched, level changed.
    const auto changing = [](std::int64_t element) {
        LiveControls live;
        live.filterOn = element % 7 != 3;
        live.firLength = element % 5 == 0 ? 4096 : (element % 5 == 2 ? 200 : 480);
        live.fsk = element % 4 < 2;
        live.scaleFact = element % 3 == 0 ? 1.0 : 2.5;
        return live;
    };
    expectAgreement(render(Renderer::Fast, s, Mode::FSKCW, pattern, 480, changing),
                    render(Renderer::Reference, s, Mode::FSKCW, pattern, 480, changing));
}

TEST(FastPath, ShortElementsOneAtATimeAsTheWindowRunsThem) {
    // 60 samples an element: too few for a transform, filtered sample by sample.
    const auto s = settingsFor(1000, 300, 400, 10);
    const KeyingPattern pattern = KeyingPattern::fromText(keying::encodeMorse("PARIS").pattern);
    LiveControls live;
    live.firLength = filter::firLengthRule(400, 1000, 200);
    const auto constant = [&](std::int64_t) { return live; };
    expectAgreement(render(Renderer::Fast, s, Mode::OnOffCW, pattern, live.firLength, constant),
                    render(Renderer::Reference, s, Mode::OnOffCW, pattern, live.firLength, constant));
}

TEST(FastPath, AbortWritesExactlyOneSampleOfTheNextElement) {
    const auto s = settingsFor(12000, 1800, 3000, 20);
    const KeyingPattern pattern = KeyingPattern::fromText("-- --");
    const auto abortAtThird = [](std::int64_t element) {
        LiveControls live;
        live.abort = element == 2;
        return live;
    };
    const Rendered fast = render(Renderer::Fast, s, Mode::OnOffCW, pattern, 200, abortAtThird);
    EXPECT_EQ(fast.samples.size(), 2u * 720 + 1);
    expectAgreement(fast, render(Renderer::Reference, s, Mode::OnOffCW, pattern, 200, abortAtThird));
}

}  // namespace
}  // namespace vantel::synth
