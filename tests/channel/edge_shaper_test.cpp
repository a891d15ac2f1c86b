#include "channel/edge_shaper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <numbers>
#include <random>

#include "channel/band_conditions.h"
#include "support/spectrum.h"

namespace vantel::channel {
namespace {

using keying::KeyRun;

double raisedCosine(double x) { return 0.5 - 0.5 * std::cos(std::numbers::pi * x); }

TEST(EdgeShaper, RaisedCosineEdgesKeepEachMarksLengthAndArea) {
    for (std::int64_t p = 0; p < 5; ++p) {
        EXPECT_EQ(edgeEnvelope(true, 5, p, 0), 1.0);
        EXPECT_EQ(edgeEnvelope(false, 5, p, 0), 0.0);
    }
    for (std::int64_t p = 0; p < 4; ++p) {
        EXPECT_NEAR(edgeEnvelope(true, 100, p, 4), raisedCosine((p + 0.5) / 4), 1e-15);
        EXPECT_NEAR(edgeEnvelope(true, 100, p, 4) + edgeEnvelope(false, 100, p, 4), 1.0, 1e-15);
    }
    EXPECT_EQ(edgeEnvelope(true, 100, 4, 4), 1.0);
    EXPECT_EQ(edgeEnvelope(false, 100, 4, 4), 0.0);
    // An edge longer than its run fits the run.
    EXPECT_NEAR(edgeEnvelope(true, 2, 0, 4), raisedCosine(0.25), 1e-15);
    EXPECT_NEAR(edgeEnvelope(true, 2, 1, 4), raisedCosine(0.75), 1e-15);
    EXPECT_NEAR(edgeEnvelope(false, 1, 0, 4), 0.5, 1e-15);
    // A mark of M samples and its gap: the envelope's sum is M (the rise
    // lost is the fall gained), its squared sum M - L/4, since the midpoints
    // of sin^2(pi x) over an edge add up to L/2.
    const std::vector<KeyRun> runs{{true, 300}, {false, 200}};
    EdgeShaper shaper(runs, 60);
    double sum = 0, squares = 0;
    for (int i = 0; i < 500; ++i) {
        const double e = shaper.next();
        sum += e;
        squares += e * e;
    }
    EXPECT_NEAR(sum, 300, 1e-9);
    EXPECT_NEAR(squares, 300 - 60.0 / 4, 1e-9);
    EXPECT_EQ(shaper.next(), 0.0);  // after the last run
    EXPECT_EQ(riseSamples(5, 12000), 60);
    EXPECT_EQ(riseSamples(0.0625, 8000), 0);  // half a sample, to even
    EXPECT_THROW(riseSamples(1e9, 12000), text::SettingError);
    EXPECT_THROW(riseSamples(-1, 12000), text::SettingError);
    EXPECT_THROW(EdgeShaper(runs, -1), text::SettingError);
}

TEST(EdgeShaper, BlocksGiveTheSamplesOneAtATimeDo) {
    std::mt19937 random(3);
    std::vector<KeyRun> runs;
    std::uniform_int_distribution<std::int64_t> length(1, 300);
    for (int i = 0; i < 400; ++i) runs.push_back({i % 2 == 0, length(random)});
    runs.insert(runs.begin() + 7, KeyRun{true, 0});  // an empty run is passed over
    for (std::int64_t rise : {0, 1, 37, 120}) {
        EdgeShaper single(runs, rise), block(runs, rise);
        std::vector<double> expected, got;
        for (int i = 0; i < 70000; ++i) expected.push_back(single.next());
        while (got.size() < expected.size()) {
            const std::size_t n = std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 700)(random),
                                                        expected.size() - got.size());
            std::vector<double> chunk(n);
            block.process(chunk.data(), n);
            got.insert(got.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(got, expected) << rise;
        block.reset();
        EXPECT_EQ(block.next(), expected[0]);
    }
}

// The keyed spectrum of "PARIS " repeated at 20 WPM (dot 720 samples at
// 12 kHz) on a 1500 Hz tone, hard and with 5 ms edges.
struct KeyedSpectrum {
    double tone;        // the peak bin
    double at200Hz;     // the mean bin within +-10 Hz of the tone +-200 Hz
    double perHz200Hz;  // that density per Hz over the tone's total power
};

KeyedSpectrum keyedSpectrum(std::int64_t rise) {
    constexpr double kRate = 12000, kTone = 1500;
    constexpr std::size_t kSize = 8192;
    std::string message;
    for (int i = 0; i < 40; ++i) message += "PARIS ";
    const keying::TimedMessage timed = keying::timeMessage(keying::parseExtendedMessage(message), kRate, 20);
    EdgeShaper shaper(timed.runs, rise);
    std::vector<double> signal(static_cast<std::size_t>(timed.totalSamples));
    for (std::size_t n = 0; n < signal.size(); ++n) {
        signal[n] = shaper.next() * std::sin(2 * std::numbers::pi * kTone * static_cast<double>(n) / kRate);
    }
    const std::vector<double> power = testing::averagedPeriodogram(signal, kSize);
    const double binHz = kRate / kSize;
    const auto toneBin = static_cast<std::size_t>(std::lround(kTone / binHz));
    const double side =
        testing::bandPower(power, kRate, kTone - 200, 10) + testing::bandPower(power, kRate, kTone + 200, 10);
    const double bins = 2 * (2 * std::floor(10 / binHz) + 1);
    const double meanBin = side / bins;
    return {power[toneBin], meanBin, meanBin / binHz / testing::bandPower(power, kRate, kTone, 50)};
}

double decibels(double ratio) { return 10 * std::log10(ratio); }

TEST(EdgeShaper, FiveMillisecondEdgesCutTheKeyingSidebands) {
    // Raised-cosine edges of length L are hard keying convolved with a
    // half-sine pulse of length L, whose power response is
    // (cos(pi f L) / (1 - (2 f L)^2))^2: at f L = 1 (200 Hz, 5 ms) it is
    // 1/9, -9.5 dB, and -8.4 to -10.8 dB over 190 to 210 Hz. At the tone
    // it is 1 (the marks keep their area).
    const KeyedSpectrum hard = keyedSpectrum(0);
    const KeyedSpectrum soft = keyedSpectrum(60);
    const double hardDb = decibels(hard.at200Hz / hard.tone);
    const double softDb = decibels(soft.at200Hz / soft.tone);
    std::cout << "keyed spectrum 200 Hz from the tone, per 1.46 Hz bin relative to the tone's bin: hard " << hardDb
              << " dB, 5 ms edges " << softDb << " dB; relative to the tone's power: hard "
              << decibels(hard.perHz200Hz) << " dBc/Hz, 5 ms " << decibels(soft.perHz200Hz) << " dBc/Hz\n";
    RecordProperty("hard_200Hz_dB", std::to_string(hardDb));
    RecordProperty("edges5ms_200Hz_dB", std::to_string(softDb));
    EXPECT_NEAR(decibels(soft.tone / hard.tone), 0, 0.5);
    EXPECT_LT(softDb - hardDb, -8.4);
    EXPECT_GT(softDb - hardDb, -10.8);
}

}  // namespace
}  // namespace vantel::channel
