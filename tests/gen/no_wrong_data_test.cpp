// vantel-gen never hands out wrong data silently: --level auto keeps files
// unclipped at a known RMS, clipping and loosely read texts are told on
// standard error (without changing a byte), and -o - streams the same file.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

#include "batch/options.h"
#include "batch/render.h"
#include "support/csv.h"
#include "support/run_command.h"
#include "support/wav_file.h"

namespace vantel::batch {
namespace {

using vantel::testing::listFolder;
using vantel::testing::readBytes;
using vantel::testing::runIn;
using vantel::testing::shellQuote;
using vantel::testing::slurp;
using vantel::testing::TempDir;

const std::string kGen = VANTEL_GEN_PATH;

vantel::testing::CommandResult gen(const TempDir& dir, const std::vector<std::string>& args) {
    return runIn(dir.path(), kGen, args);
}

double rmsDbfs(const FileResult& result) {
    const double samples = static_cast<double>(result.prepared.setup.plan.totalSamples);
    return 10 * std::log10(static_cast<double>(result.stats.sumSquares) / samples / (32768.0 * 32768.0));
}

TEST(AutoLevel, HoldsTheFileRmsAtTheTargetWithoutClipping) {
    TempDir dir;
    int runs = 0;
    for (const auto mode : {settings::Mode::OnOffCW, settings::Mode::FSKCW, settings::Mode::ToneOnly}) {
        for (const char* snr : {"-20", "0", "30"}) {
            for (const bool filter : {true, false}) {
                for (const char* rate : {"8000", "48000"}) {
                    FileRequest o;
                    o.mode = mode;
                    o.typed[Typed::Message] = "CQ TEST";
                    o.typed[Typed::ToneLength] = "2";
                    o.typed[Typed::Snr] = snr;
                    o.typed[Typed::Rate] = rate;
                    o.typed[Typed::FilterCf] = "800";
                    o.typed[Typed::FilterBw] = "500";
                    o.level.automatic = true;
                    o.filterOn = filter;
                    const FileResult result = writeFile(o, (dir / "auto.wav").string());
                    SCOPED_TRACE(std::string(snr) + " dB, " + rate + " Hz, filter " + (filter ? "on" : "off") +
                                 ", mode " + std::to_string(static_cast<int>(mode)));
                    EXPECT_EQ(result.stats.clipped, 0);
                    EXPECT_NEAR(rmsDbfs(result), kDefaultAutoRmsDbfs, 0.5);
                    // The level is a text on a 0.1 dB grid, used as if typed.
                    ASSERT_TRUE(result.prepared.autoLevelText.has_value());
                    EXPECT_TRUE(std::regex_match(*result.prepared.autoLevelText, std::regex(R"(-?\d+(\.\d)?)")))
                        << *result.prepared.autoLevelText;
                    ++runs;
                }
            }
        }
    }
    EXPECT_EQ(runs, 36);

    // Another target, and the same level as typing the chosen text by hand.
    FileRequest o;
    o.level = {true, -30};
    const FileResult quiet = writeFile(o, (dir / "quiet.wav").string());
    EXPECT_NEAR(rmsDbfs(quiet), -30, 0.5);
    FileRequest typed = o;
    typed.level = {};
    typed.typed[Typed::Level] = *quiet.prepared.autoLevelText;
    writeFile(typed, (dir / "typed.wav").string());
    EXPECT_EQ(readBytes(dir / "quiet.wav"), readBytes(dir / "typed.wav"));
}

TEST(AutoLevel, ReportsTheLevelAndRefusesWhatItCannotScale) {
    TempDir dir;
    const auto result = gen(dir, {"--level", "auto", "--snr", "-10", "-o", "a.wav"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(std::regex_search(result.out, std::regex(R"(\nOutput level: -?\d+(\.\d)? dB, chosen by --level auto for a file RMS of -20 dBFS\n)")))
        << result.out;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--auto-rms", "-12"},                       // without --level auto
             {"--level", "auto", "--auto-rms", "-80"},    // out of range
             {"--level", "auto", "--auto-rms", "loud"},
             {"--level", "auto", "--snr", "-1e300"}}) {  // noise beyond any scale
        const auto refused = gen(dir, args);
        EXPECT_NE(refused.exitCode, 0) << args[1];
        EXPECT_TRUE(refused.err.starts_with("vantel-gen: ")) << refused.err;
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"a.wav"});
}

TEST(Warnings, ClippingIsToldWithALevelThatAvoidsItAndStrictFails) {
    TempDir dir;
    const auto clipped = gen(dir, {"--snr", "6", "-o", "c.wav"});
    EXPECT_EQ(clipped.exitCode, 0);
    std::smatch advice;
    ASSERT_TRUE(std::regex_search(clipped.err, advice,
                                  std::regex(R"(^vantel-gen: warning: \d+ of 36000 samples \([0-9.]+ %\) clipped; --level (-?[0-9.]+) would have avoided it\n$)")))
        << clipped.err;
    const std::string level = advice[1];
    const auto avoided = gen(dir, {"--snr", "6", "--level", level, "-o", "d.wav"});
    EXPECT_EQ(avoided.err, "") << "--level " << level;

    const auto strict = gen(dir, {"--snr", "6", "--strict", "-o", "s.wav"});
    EXPECT_EQ(strict.exitCode, 3);
    EXPECT_EQ(readBytes(dir / "s.wav"), readBytes(dir / "c.wav"));  // the file stays
    EXPECT_EQ(gen(dir, {"--strict", "-o", "fine.wav"}).exitCode, 0);
}

TEST(Warnings, LooseTextsAreNamedOnceAndChangeNoByte) {
    TempDir dir;
    const auto loose = gen(dir, {"--rate", "48k", "--wpm", "abc", "--snr", " 2 0", "--bw", "", "--level", "-40", "-o", "l.wav"});
    ASSERT_EQ(loose.exitCode, 0) << loose.err;
    EXPECT_EQ(loose.err,
              "vantel-gen: warning: --wpm 'abc' holds no number: read as 0\n"
              "vantel-gen: warning: --rate '48k' read as 48: only its leading number counts\n"
              "vantel-gen: warning: --snr ' 2 0' read as 20: blanks inside a number are ignored\n"
              "vantel-gen: warning: --bw '' is empty: the box's rule for an empty text applies, as in the window\n");
    // The same reading written whole: the same bytes, and no warning.
    const auto whole = gen(dir, {"--rate", "48", "--wpm", "0", "--snr", "20", "--bw", "300", "--level", "-40", "-o", "w.wav"});
    EXPECT_EQ(whole.err, "");
    EXPECT_EQ(readBytes(dir / "l.wav"), readBytes(dir / "w.wav"));
    EXPECT_EQ(gen(dir, {"--rate", "48k", "--level", "-40", "--quiet-warnings", "-o", "q.wav"}).err, "");
    // Texts the window itself writes, and the message, are never loose.
    EXPECT_EQ(gen(dir, {"--wpm", " 20", "--level", "-3.5", "--message", "abc 12k", "-o", "n.wav"}).err, "");
}

TEST(StandardOutput, StreamsTheFileByteForByteAndEndsOnAClosedPipe) {
    TempDir dir;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--message", "PARIS"},
                                                 {"--mode", "tone", "--tone-length", "3", "--rate", "48000"}}) {
        std::vector<std::string> toFile = args, toStream = args;
        toFile.insert(toFile.end(), {"-o", "file.wav"});
        toStream.insert(toStream.end(), {"-o", "-"});
        const auto file = gen(dir, toFile);
        const auto stream = gen(dir, toStream);
        ASSERT_EQ(stream.exitCode, 0) << stream.err;
        const std::string fileBytes = slurp(dir / "file.wav");
        EXPECT_EQ(stream.out, fileBytes);
        // The report moves to standard error, naming the stream.
        EXPECT_TRUE(stream.err.starts_with("standard output\n\n")) << stream.err;
        EXPECT_EQ(stream.err.substr(stream.err.find('\n')), file.out.substr(file.out.find('\n')));
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"file.wav"});

    // A reader that stops early: a clear line and a failure, not a silent death.
    const std::string command = "cd " + shellQuote(dir.path().string()) + " && (" + shellQuote(kGen) +
                                " --mode tone --tone-length 600 -o - 2>err; echo $? >status) | head -c 1000 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(slurp(dir / "status"), "1\n");
    EXPECT_EQ(slurp(dir / "err"), "vantel-gen: Cannot write standard output: Broken pipe\n");
    EXPECT_NE(gen(dir, {"--sweep", "-o", "-"}).exitCode, 0);
}

// The README's sweep example, as written there, makes a set with no clipped
// sample; the summary line names clipping when a sweep has it.
TEST(Sweeps, TheReadmeExampleDoesNotClipAndClippingIsSummed) {
    std::ifstream readme(VANTEL_SOURCE_DIR "/README.md");
    std::string line, example;
    while (std::getline(readme, line)) {
        if (line.starts_with("    vantel-gen --sweep ")) example = line.substr(4);
    }
    ASSERT_FALSE(example.empty()) << "no sweep example in the README";
    TempDir dir;
    { std::ofstream(dir / "msgs.txt") << "CQ CQ DE VANTEL\nPARIS 73\n"; }
    const std::string command = "cd " + shellQuote(dir.path().string()) + " && " + shellQuote(kGen) +
                                example.substr(std::string("vantel-gen").size()) + " >out 2>err";
    ASSERT_EQ(std::system(command.c_str()), 0) << slurp(dir / "err");
    EXPECT_EQ(slurp(dir / "err"), "");
    const auto rows = vantel::testing::readCsvRecords(slurp(dir / "set1" / "manifest.csv"));
    ASSERT_GT(rows.size(), 10u);
    for (const auto& row : rows) EXPECT_EQ(row.at("clipped"), "0") << row.at("file");

    const auto loud = gen(dir, {"--sweep", "-o", "loud", "--snr", "-10,30", "-q"});
    EXPECT_EQ(loud.exitCode, 0);
    EXPECT_TRUE(std::regex_search(loud.err, std::regex(R"(^vantel-gen: warning: 1 of 2 files have clipped samples \(worst [0-9.]+ % of the samples of 800HzSN-10BW300Fil3000\.WAV\); --level auto scales each file to avoid it\n$)")))
        << loud.err;
    EXPECT_EQ(gen(dir, {"--sweep", "-o", "strict", "--snr", "-10,30", "-q", "--strict"}).exitCode, 3);
    EXPECT_EQ(listFolder(dir / "strict").size(), 4u);  // both files and both manifests stay
}

}  // namespace
}  // namespace vantel::batch
