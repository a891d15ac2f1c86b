#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "settings/entry_rules.h"
#include "settings/generation_settings.h"

namespace vantel::settings {
namespace {

// Records the texts the repair writes back, in order, and serves the two texts
// it reads.
struct FakeBoxes {
    std::map<Box, std::string> texts{{Box::SNtext, "20"}, {Box::ScaleText, "0"}};
    std::vector<std::pair<Box, std::string>> writes;

    ReadText reader() {
        return [this](Box b) { return texts[b]; };
    }
    WriteText writer() {
        return [this](Box b, const std::string& t) {
            texts[b] = t;
            writes.emplace_back(b, t);
        };
    }
};

TEST(LoadSettings, StartupValues) {
    const GenerationSettings s = loadSettings();
    EXPECT_EQ(s.WPM, 20);
    EXPECT_DOUBLE_EQ(s.Dotperiod, 0.06);
    EXPECT_EQ(s.SN, 20);
    EXPECT_EQ(s.BW, 300);
    EXPECT_EQ(s.FSample, 12000);
    EXPECT_EQ(s.FilterCF, 1800);
    EXPECT_EQ(s.FilterBW, 3000);
    EXPECT_EQ(s.ContToneDur, 5.0f);
    EXPECT_EQ(s.ToneFreq, 800);
    EXPECT_EQ(s.SPToneFreq, 600);
    EXPECT_TRUE(s.CWPattern.empty());
    // A start-up speed of 0 must not divide by zero.
    StartupTexts zero;
    zero.WPMtext = "0";
    EXPECT_EQ(loadSettings(zero).Dotperiod, 0);
}

TEST(RunRepair, StartupSettingsNeedNoRepair) {
    GenerationSettings s = loadSettings();
    FakeBoxes boxes;
    repairForRun(s, Mode::OnOffCW, boxes.reader(), boxes.writer());
    EXPECT_TRUE(boxes.writes.empty());
    EXPECT_EQ(s.ScaleFact, 1);
}

TEST(RunRepair, ReplacesEveryOutOfRangeValueInOrder) {
    GenerationSettings s = loadSettings();
    s.FSample = -5;
    s.ToneFreq = 0;
    s.SPToneFreq = -1;
    s.BW = 0;
    s.SN = 7;
    s.WPM = 0;
    FakeBoxes boxes;
    boxes.texts[Box::SNtext] = "";
    boxes.texts[Box::ScaleText] = "";
    repairForRun(s, Mode::FSKCW, boxes.reader(), boxes.writer());
    const std::vector<std::pair<Box, std::string>> expected{
        {Box::FStext, "12000"}, {Box::Ftonetext, "800"}, {Box::SpaceToneText, "600"}, {Box::BWtext, "300"},
        {Box::SNtext, "0"},     {Box::WPMtext, "20"},    {Box::Label7, " 60ms"},      {Box::ScaleText, "0"},
    };
    EXPECT_EQ(boxes.writes, expected);
    EXPECT_EQ(s.FSample, 12000);
    EXPECT_EQ(s.ToneFreq, 800);
    EXPECT_EQ(s.SPToneFreq, 600);
    EXPECT_EQ(s.BW, 300);
    EXPECT_EQ(s.SN, 0);
    EXPECT_EQ(s.WPM, 20);
    EXPECT_DOUBLE_EQ(s.Dotperiod, 0.06);
    EXPECT_EQ(s.ScaleFact, 1);
}

TEST(RunRepair, ToneModeKeepsASpeedOfZeroAndScaleComesFromTheText) {
    GenerationSettings s = loadSettings();
    s.WPM = 0;
    s.Dotperiod = 0.1;
    FakeBoxes boxes;
    boxes.texts[Box::ScaleText] = "6";
    repairForRun(s, Mode::ToneOnly, boxes.reader(), boxes.writer());
    EXPECT_TRUE(boxes.writes.empty());
    EXPECT_EQ(s.WPM, 0);
    EXPECT_EQ(s.Dotperiod, 0.1);
    EXPECT_NEAR(s.ScaleFact, 1.9953, 1e-4);
}

TEST(EntryRules, SpeedAndDotInterval) {
    GenerationSettings s = loadSettings();
    enterSpeed(s, Mode::OnOffCW, "25");
    EXPECT_DOUBLE_EQ(s.Dotperiod, 0.048);
    EXPECT_EQ(dotIntervalCaption(s.Dotperiod), "Dot interval  48ms");
    enterSpeed(s, Mode::OnOffCW, "7");
    EXPECT_EQ(dotIntervalCaption(s.Dotperiod), "Dot interval  171ms");
    enterSpeed(s, Mode::FSKCW, "13");
    EXPECT_EQ(dotIntervalCaption(s.Dotperiod), "Dot interval  92ms");
    enterSpeed(s, Mode::OnOffCW, "abc");  // keeps the last interval
    EXPECT_EQ(s.WPM, 0);
    EXPECT_EQ(dotIntervalCaption(s.Dotperiod), "Dot interval  92ms");
    enterSpeed(s, Mode::ToneOnly, "12.5");
    EXPECT_EQ(s.Dotperiod, 0.1);
    EXPECT_EQ(s.ContToneDur, 12.5f);
    EXPECT_EQ(s.WPM, 0);  // frozen while the tone mode is on
    EXPECT_EQ(speedTextForMode(s, Mode::ToneOnly), " 12.5");
    s.WPM = 20;
    EXPECT_EQ(speedTextForMode(s, Mode::FSKCW), " 20");
}

TEST(EntryRules, OutputScalingAsksTheScrollBarForRoundedLevelsInRange) {
    GenerationSettings s = loadSettings();
    EXPECT_EQ(enterOutputScaling(s, "3.5"), 4);
    EXPECT_EQ(enterOutputScaling(s, "2.5"), 2);
    EXPECT_EQ(enterOutputScaling(s, "-0.5"), 0);
    EXPECT_EQ(enterOutputScaling(s, "-"), 0);
    EXPECT_EQ(s.ScaleFact, 1);
    EXPECT_EQ(enterOutputScaling(s, "10"), 10);
    EXPECT_NEAR(s.ScaleFact, 3.1623, 1e-4);
    EXPECT_EQ(enterOutputScaling(s, "-50"), -50);
    EXPECT_NEAR(s.ScaleFact, 0.0031623, 1e-7);
    EXPECT_EQ(enterOutputScaling(s, "20"), std::nullopt);
    EXPECT_DOUBLE_EQ(s.ScaleFact, 10);
    EXPECT_EQ(enterOutputScaling(s, "-50.5"), std::nullopt);
}

TEST(EntryRules, BandwidthRateAndSignalToNoise) {
    GenerationSettings s = loadSettings();
    enterReferenceBandwidth(s, "-300");
    EXPECT_EQ(s.BW, 300);
    enterReferenceBandwidth(s, "");
    EXPECT_EQ(s.BW, 300);
    enterReferenceBandwidth(s, "x");
    EXPECT_EQ(s.BW, 0);
    enterSampleRate(s, "12k");
    EXPECT_EQ(s.FSample, 12);
    enterSampleRate(s, "");
    EXPECT_EQ(s.FSample, 0);
    enterSignalToNoise(s, "-5");
    EXPECT_EQ(s.SN, -5);
}

TEST(EntryRules, FilterEntriesAndToneCheck) {
    GenerationSettings s = loadSettings();
    std::int16_t fir = kStartupFirLength;
    enterFilterBandwidth(s, fir, "100");
    EXPECT_EQ(fir, 480);
    enterSampleRate(s, "48000");
    EXPECT_EQ(fir, 480);  // the rate alone does not recompute the length
    enterFilterBandwidth(s, fir, "");
    EXPECT_EQ(s.FilterBW, 100);
    EXPECT_EQ(fir, 1920);
    enterFilterBandwidth(s, fir, "-100");
    EXPECT_EQ(s.FilterBW, 100);
    EXPECT_EQ(firLengthCaption(fir), "FIR  1920");

    s = loadSettings();
    EXPECT_FALSE(toneOutsideFilter(s, Mode::OnOffCW));
    enterTone(s, "300");
    EXPECT_FALSE(toneOutsideFilter(s, Mode::OnOffCW));
    enterTone(s, "3300");
    EXPECT_FALSE(toneOutsideFilter(s, Mode::ToneOnly));
    enterTone(s, "3300.1");
    EXPECT_TRUE(toneOutsideFilter(s, Mode::ToneOnly));
    enterTone(s, "299.9");
    EXPECT_TRUE(toneOutsideFilter(s, Mode::OnOffCW));
    enterTone(s, "-800");
    EXPECT_TRUE(toneOutsideFilter(s, Mode::OnOffCW));
    enterTone(s, "800");
    enterSpaceTone(s, "200");
    EXPECT_TRUE(toneOutsideFilter(s, Mode::FSKCW));
    EXPECT_FALSE(toneOutsideFilter(s, Mode::OnOffCW));
    for (const char* centre : {"1", "18", "180", "1800"}) {
        enterFilterCentre(s, centre);
        EXPECT_FALSE(toneOutsideFilter(s, Mode::OnOffCW)) << centre;
    }
    EXPECT_EQ(firLengthCaption(kStartupFirLength), "FIR  200");
}

}  // namespace
}  // namespace vantel::settings
