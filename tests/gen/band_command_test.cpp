// The band-condition options of vantel-gen: strict reading, refusals before
// anything is written, sweeps over them, and what the manifest says of them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "batch/command_line.h"
#include "batch/options.h"
#include "batch/render.h"
#include "support/csv.h"
#include "support/run_command.h"
#include "support/wav_file.h"

namespace vantel::batch {
namespace {

using vantel::testing::CsvRecord;
using vantel::testing::listFolder;
using vantel::testing::readBytes;
using vantel::testing::readCsvRecords;
using vantel::testing::runIn;
using vantel::testing::slurp;
using vantel::testing::TempDir;

using Args = std::vector<std::string>;

const std::string kGen = VANTEL_GEN_PATH;

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<CsvRecord> manifestOf(const std::filesystem::path& folder) {
    return readCsvRecords(slurp(folder / "manifest.csv"));
}

std::string joined(const Args& args) {
    std::string text;
    for (const auto& a : args) text += a + " ";
    return text;
}

const Args kSmall{"--rate", "4000", "--filter-cf", "800", "--filter-bw", "600"};

// The manifest's columns before the band conditions came, in their order.
constexpr const char* kEarlierHeader =
    "index,file,seed,mode,message_typed,message_typed_hex,wpm_typed,tone_length_typed,tone_typed,space_tone_typed,"
    "rate_typed,snr_typed,bw_typed,level_typed,filter_cf_typed,filter_bw_typed,no_filter_typed,wpm,tone_length_s,"
    "tone_hz,space_tone_hz,rate_hz,snr_db,bw_hz,level_db,filter,filter_cf_hz,filter_bw_hz,fir_length,"
    "message_encoded,keying_pattern,element_samples,labels,samples,rms,peak,clipped,snr_measured_db,"
    "snr_measured_2500hz_db";

TEST(BandOptions, OffAtTheirOffValuesTheFilesAreTheSameAndTheManifestOnlyGainsColumns) {
    TempDir dir;
    const Args sweep = Args{"--sweep", "-q", "--snr", "3,12", "--message", "cq test", "--seed", "5"} + kSmall;
    const Args off{"--rise", "0", "--farnsworth", "0", "--word-space", "1", "--jitter", "0", "--dash-ratio", "3",
                   "--weight", "50", "--speed-drift", "0", "--qsb-depth", "0", "--qrm", "0", "--qrn", "0",
                   "--chirp", "0", "--drift", "0"};
    ASSERT_EQ(runIn(dir.path(), kGen, sweep + Args{"-o", "plain"}).exitCode, 0);
    const auto offRun = runIn(dir.path(), kGen, sweep + off + Args{"-o", "off"});
    ASSERT_EQ(offRun.exitCode, 0) << offRun.err;
    const auto names = listFolder(dir / "plain");
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(listFolder(dir / "off"), names);
    for (const auto& name : names) {
        if (name.ends_with(".WAV")) {
            EXPECT_EQ(readBytes(dir / "plain" / name), readBytes(dir / "off" / name)) << name;
        }
    }

    const std::string header = slurp(dir / "plain" / "manifest.csv").substr(0, std::string(kEarlierHeader).size() + 1);
    EXPECT_EQ(header, std::string(kEarlierHeader) + ",");
    const auto plain = manifestOf(dir / "plain");
    const auto given = manifestOf(dir / "off");
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_EQ(given.size(), 2u);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        for (const auto& [column, value] : plain[i]) {
            if (!column.ends_with("_typed") || std::string(kEarlierHeader).find(column) != std::string::npos) {
                EXPECT_EQ(given[i].at(column), value) << column;
            }
        }
        // Nothing given: empty, and the effects off.
        for (const BandOption& option : kBandOptions) {
            const std::string typed = std::string(option.name.substr(2)) + "_typed";
            EXPECT_EQ(plain[i].at(std::regex_replace(typed, std::regex("-"), "_")), "") << option.name;
        }
        EXPECT_EQ(given[i].at("rise_typed"), "0");
        EXPECT_EQ(given[i].at("weight_typed"), "50");
        EXPECT_EQ(plain[i].at("extended_typed"), "false");
        for (const char* column : {"rise_ms", "farnsworth_wpm", "jitter_percent", "speed_drift_percent", "qsb_depth_db",
                                   "qrm_stations", "qrn_rate", "chirp_hz", "drift_hz_per_min", "qrn_crashes"}) {
            EXPECT_EQ(plain[i].at(column), "0") << column;
        }
        EXPECT_EQ(plain[i].at("word_space"), "1");
        EXPECT_EQ(plain[i].at("dash_ratio"), "3");
        EXPECT_EQ(plain[i].at("weight_percent"), "50");
        EXPECT_EQ(plain[i].at("fading"), "false");
        for (const char* column : {"channel", "fading_spread_hz", "fading_delay_ms", "qsb_period_s", "qrm_spread_hz",
                                   "qrm_level_db", "qrn_level_db", "qrm_measured_db", "qrn_measured_db"}) {
            EXPECT_EQ(plain[i].at(column), "") << column;
        }
        EXPECT_EQ(plain[i].at("qrm_station_list"), "[]");
        EXPECT_EQ(plain[i].at("element_samples"), "240");
    }
}

TEST(BandOptions, BadValuesAreOneLineExitTwoAndNoFile) {
    TempDir dir;
    { std::ofstream(dir / "keep.wav") << "the user's file"; }
    struct Case {
        Args args;
        std::string error;  // the whole line, or empty to check only its frame
    };
    const std::vector<Case> cases{
        {{"--rise", "abc"}, "bad --rise 'abc': use 0 to 1000 ms"},
        {{"--rise", "1e9"}, "bad --rise '1e9': use 0 to 1000 ms"},
        {{"--rise", "-1"}, ""},
        {{"--rise", "5ms"}, ""},
        {{"--jitter", "10 "}, ""},
        {{"--weight", ""}, ""},
        {{"--drift", "1001"}, ""},
        {{"--fading-spread", "nan"}, "bad --fading-spread 'nan': use 0.01 to 50 Hz"},
        {{"--fading-spread", "1e-300"}, "bad --fading-spread '1e-300': use 0.01 to 50 Hz"},
        {{"--fading-spread", "0"}, ""},
        {{"--fading-delay", "inf"}, ""},
        {{"--qrm", "1e6"}, "bad --qrm '1e6': use a whole number, 0 to 20 stations"},
        {{"--qrm", "2.5"}, ""},
        {{"--qrn", "101"}, ""},
        {{"--channel", "stormy"},
         "bad --channel 'stormy': use good, moderate, poor, flutter, itu-low-quiet, itu-low-moderate, "
         "itu-low-disturbed, itu-mid-quiet, itu-mid-moderate, itu-mid-disturbed, itu-mid-nvis, itu-high-quiet, "
         "itu-high-moderate or itu-high-disturbed"},
        {{"--qrm", "2", "--qrm-traffic", "ragchew"}, "bad --qrm-traffic 'ragchew': use continuous, qso, contest or pileup"},
        {{"--fading-paths", "0:0.5/1"}, ""},
        {{"--if-bw", "300"}, "--if-shape, --if-bw and --agc go with --receiver"},
        {{"--extended", "--message", "cq <AR"}, "unterminated prosign '<AR': close it with '>'"},
        {{"--extended", "--message", "cq <>"}, ""},
        {{"--mode", "tone", "--rise", "5"}, "--rise goes with --mode onoff"},
        {{"--mode", "fsk", "--chirp", "5"}, ""},
        {{"--mode", "tone", "--jitter", "5"}, ""},
        {{"--farnsworth", "25"}, "bad --farnsworth '25': use 0 (off) or 1 up to below the character speed of 20 WPM"},
        {{"--farnsworth", "0.5"}, ""},
        {{"--qsb-period", "5"}, "--qsb-period goes with --qsb-depth"},
        {{"--qrm-level", "3"}, ""},
        {{"--qrn-level", "3"}, ""},
        {{"--sweep", "-o", "set", "--rise", "0,abc"}, ""},
        {{"--sweep", "-o", "set", "--rise", "0:2000:1000"}, ""},
        {{"--sweep", "-o", "set", "--rise", "5,5"}, ""},
        {{"--sweep", "-o", "set", "--channel", "good,stormy"}, ""},
        {{"--sweep", "-o", "set", "--farnsworth", "10,30"}, ""},
    };
    for (const Case& c : cases) {
        const Args args = c.args + (c.args[0] == "--sweep" ? Args{} : Args{"-o", "keep.wav"});
        const auto result = runIn(dir.path(), kGen, args);
        EXPECT_EQ(result.exitCode, 2) << joined(args) << result.err;
        EXPECT_EQ(result.out, "") << joined(args);
        EXPECT_TRUE(result.err.starts_with("vantel-gen: ")) << joined(args) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << joined(args) << result.err;
        if (!c.error.empty()) {
            EXPECT_EQ(result.err, "vantel-gen: " + c.error + "\n");
        }
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"keep.wav"});
    EXPECT_EQ(slurp(dir / "keep.wav"), "the user's file");
}

TEST(BandOptions, TheOptionsGiveTheConditionsTheRunUses) {
    const FileRequest o = parseCommandLine({"--channel", "poor", "--fading-delay", "0.25", "--rise=5", "--qrm", "+3",
                                       "--extended", "--drift", "-12.5"})
                              .request;
    const channel::BandConditions c = bandConditions(o);
    EXPECT_TRUE(c.fading);
    EXPECT_EQ(c.fadingSpreadHz, 1.0);  // the preset's
    EXPECT_EQ(c.fadingDelayMs, 0.25);  // given, in place of the preset's 2 ms
    EXPECT_EQ(c.riseMs, 5);
    EXPECT_EQ(c.qrmStations, 3);
    EXPECT_EQ(c.driftHzPerMin, -12.5);
    EXPECT_TRUE(o.extended);
    EXPECT_TRUE(bandConditions(parseCommandLine({"--fading-spread", "2"}).request).fading);
    EXPECT_EQ(bandConditions(parseCommandLine({}).request), channel::BandConditions{});
    EXPECT_FALSE(hasBandOptions(parseCommandLine({"--snr", "3"}).request));
}

TEST(BandSweeps, NamesOrderAndManifestAndEachFileAloneFromItsSeed) {
    TempDir dir;
    const Args common = Args{"--message", "cq <AR>", "--extended", "--jitter", "10", "--qrm", "1"} + kSmall;
    const auto result =
        runIn(dir.path(), kGen, Args{"--sweep", "-q", "-o", "b", "--rise", "0,5", "--channel", "good,poor", "--snr", "10,20"} +
                                    common);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = manifestOf(dir / "b");
    ASSERT_EQ(rows.size(), 8u);
    std::size_t i = 0;
    for (const char* rise : {"0", "5"}) {
        for (const char* channel : {"Good", "Poor"}) {
            for (const char* snr : {"10", "20"}) {
                const CsvRecord& row = rows[i];
                EXPECT_EQ(row.at("file"), std::string("800HzSN") + snr + "BW300Fil600Rise" + rise + "Chan" + channel + ".WAV");
                EXPECT_EQ(row.at("rise_ms"), rise);
                EXPECT_EQ(row.at("channel"), channel == std::string("Good") ? "good" : "poor");
                EXPECT_EQ(row.at("fading_spread_hz"), channel == std::string("Good") ? "0.1" : "1");
                EXPECT_EQ(row.at("fading_delay_ms"), channel == std::string("Good") ? "0.5" : "2");
                EXPECT_EQ(row.at("snr_db"), snr);
                ++i;
            }
        }
    }
    for (const CsvRecord& row : rows) {
        EXPECT_EQ(row.at("jitter_percent"), "10");
        EXPECT_EQ(row.at("fading"), "true");
        EXPECT_EQ(row.at("message_encoded"), "CQ <AR>");
        EXPECT_EQ(row.at("keying_pattern"), "");
        EXPECT_EQ(row.at("element_samples"), "");
        EXPECT_EQ(std::count(row.at("labels").begin(), row.at("labels").end(), '-'), 4);
        EXPECT_TRUE(std::regex_match(row.at("qrm_station_list"),
                                     std::regex(R"(\[\{"frequency_hz":[-0-9.e]+,"level_db":[-0-9.e]+,"wpm":[0-9.e]+,)"
                                                R"("message":"[A-Z0-9 /?]+","start_sample":\d+,"labels":\[.*\]\}\])")))
            << row.at("qrm_station_list");
        EXPECT_NE(row.at("qrm_measured_db"), "");
        const Args alone = Args{"--rise", row.at("rise_typed"), "--channel", row.at("channel_typed"), "--snr",
                                row.at("snr_typed"), "--seed", row.at("seed"), "-o", "alone.wav"} +
                           common;
        ASSERT_EQ(runIn(dir.path(), kGen, alone).exitCode, 0);
        EXPECT_EQ(readBytes(dir / "alone.wav"), readBytes(dir / "b" / row.at("file"))) << row.at("file");
    }
    // The prosign is one label in the JSON manifest, and the jitter moved the
    // labels off the whole dots they would have had.
    const std::string jsonl = slurp(dir / "b" / "manifest.jsonl");
    EXPECT_NE(jsonl.find(R"({"char":"<AR>","start":)"), std::string::npos);
    std::istringstream labels(rows[0].at("labels"));
    std::string pair;
    int offTheDots = 0;
    while (labels >> pair) {
        for (const std::string& edge : {pair.substr(0, pair.find('-')), pair.substr(pair.find('-') + 1)}) {
            offTheDots += (std::stoll(edge) - 1) % 240 != 0;  // a dot is 240 samples at 4000 Hz and 20 WPM
        }
    }
    EXPECT_GT(offTheDots, 0);
}

// --level auto reckons with the timing and the other signals: the file's RMS
// lands on the target with Farnsworth spacing and with loud QRM.
TEST(BandOptions, AutoLevelHitsItsTargetWithBandConditions) {
    std::string message;
    for (int i = 0; i < 20; ++i) message += "PARIS CQ ";
    for (const Args& extra : {Args{"--farnsworth", "10"}, Args{"--qrm", "3", "--qrm-level", "10"},
                              Args{"--jitter", "20", "--channel", "moderate", "--qrm", "2"}}) {
        const FileRequest o = parseCommandLine(Args{"--message", message, "--level", "auto", "--rate", "4000"} + extra).request;
        const Clip clip = renderClip(o);
        const double samples = static_cast<double>(clip.samples.size());
        const double dbfs =
            10 * std::log10(static_cast<double>(clip.result.stats.sumSquares) / samples / (32768.0 * 32768.0));
        EXPECT_NEAR(dbfs, kDefaultAutoRmsDbfs, 0.5) << joined(extra);
        EXPECT_EQ(clip.result.stats.clipped, 0) << joined(extra);
    }
}

}  // namespace
}  // namespace vantel::batch
