// Both renderers' samples pinned bit for bit for a few runs, with live
// changes between calls: a refactoring of the run's path must not move a bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wav/wav_writer.h"
#include "filter/fir_design.h"
#include "keying/morse_encoder.h"
#include "settings/generation_settings.h"
#include "support/content_hash.h"
#include "support/run_support.h"
#include "support/wav_file.h"
#include "synth/generation_run.h"

namespace vantel::synth {
namespace {

using keying::KeyingPattern;
using settings::Mode;

struct PinnedRun {
    Mode mode;
    KeyingPattern pattern;
    double rate, filterCentre, filterBandwidth, sn;
    std::int16_t firLength;
};

std::string renderedHash(Renderer renderer, const PinnedRun& r) {
    vantel::testing::TempDir dir;
    settings::GenerationSettings s = settings::loadSettings();
    s.FSample = r.rate;
    s.FilterCF = r.filterCentre;
    s.FilterBW = r.filterBandwidth;
    s.SN = r.sn;
    SynthesisState state{NoiseSource(2024), {}, {}};
    const RunPlan plan = vantel::testing::planAndDesign(state, s, r.mode, r.pattern, r.firLength);
    {
        wav::WavWriter writer((dir / "r.wav").string(), plan.sampleRate, plan.totalSamples);
        const RunSetup setup = vantel::testing::classicSetup(r.pattern, plan);
        GenerationRun run(state, setup, writer, renderer);
        std::int64_t calls = 0;
        while (run.running()) {
            LiveControls live;
            live.fsk = r.mode == Mode::FSKCW;
            live.filterOn = calls % 5 != 4;
            live.firLength = r.firLength;
            live.scaleFact = calls % 3 == 2 ? 0.5 : 1.0;
            run.runElements(3, live);
            ++calls;
        }
        writer.finish();
    }
    return vantel::testing::contentHash(vantel::testing::readBytes(dir / "r.wav"));
}

TEST(PinnedRender, BothRenderersGiveTheSameBytesAsBefore) {
    const KeyingPattern morse = KeyingPattern::fromText(keying::encodeMorse("CQ TEST 5NN").pattern);
    const std::vector<std::pair<PinnedRun, std::pair<std::string, std::string>>> runs{
        {{Mode::OnOffCW, morse, 12000, 1800, 3000, 20, 200}, {"934cb3c73efd7437", "934cb3c73efd7437"}},
        {{Mode::FSKCW, morse, 8000, 700, 500, 0, filter::firLengthRule(500, 8000, 200)}, {"a968babe25b4f11d", "a968babe25b4f11d"}},
        {{Mode::ToneOnly, keying::tonePattern(1.5), 48000, 800, 100, 10, filter::firLengthRule(100, 48000, 200)},
         {"76ee6fd3d94b883a", "76ee6fd3d94b883a"}},
    };
    for (const auto& [run, hashes] : runs) {
        EXPECT_EQ(renderedHash(Renderer::Reference, run), hashes.first) << run.rate;
        EXPECT_EQ(renderedHash(Renderer::Fast, run), hashes.second) << run.rate;
    }
}

}  // namespace
}  // namespace vantel::synth
