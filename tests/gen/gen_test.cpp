#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "batch/options.h"
#include "batch/render.h"
#include "support/run_command.h"
#include "support/wav_file.h"
#include "wav/wav_writer.h"

namespace vantel::batch {
namespace {

using vantel::testing::listFolder;
using vantel::testing::readBytes;
using vantel::testing::readWav;
using vantel::testing::runIn;
using vantel::testing::TempDir;

const std::string kGen = VANTEL_GEN_PATH;

// The last report line: the S/N measured in the reference bandwidth and in
// 2500 Hz, each to 0.1 dB; the two differ by 10 log10(2500 / bandwidth).
void expectMeasuredSnrLine(const std::string& out, double expectedInReference) {
    const std::size_t at = out.rfind("S/N measured: ");
    ASSERT_NE(at, std::string::npos) << out;
    double inReference = 0, in2500 = 0;
    char tail[64] = {};
    ASSERT_EQ(std::sscanf(out.c_str() + at, "S/N measured: %lf dB in 300 Hz (one-sided), %lf dB in 2500 Hz%63c",
                          &inReference, &in2500, tail),
              3)
        << out;
    EXPECT_STREQ(tail, "\n");
    EXPECT_NEAR(inReference, expectedInReference, 0.3);
    EXPECT_NEAR(inReference - in2500, 10 * std::log10(2500.0 / 300), 0.11);
}

vantel::testing::CommandResult gen(const TempDir& dir, const std::vector<std::string>& args) {
    return runIn(dir.path(), kGen, args);
}

TEST(VantelGen, StartupSettingsPrintTheReportAndWriteTheFile) {
    TempDir dir;
    const auto result = gen(dir, {});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto wav = readWav(dir / "CWTemp.wav");
    ASSERT_EQ(wav.samples.size(), 36000u);
    double sumSquares = 0;
    for (auto v : wav.samples) sumSquares += double(v) * v;
    const long rms = std::lround(std::floor(std::sqrt(sumSquares / 36000) + 0.5));
    const std::string report = "CWTemp.wav\n\n 36000 Samples\nRMS = " + std::to_string(rms) + "\n";
    EXPECT_EQ(result.out.substr(0, report.size()), report);
    expectMeasuredSnrLine(result.out.substr(report.size()), 20 - 3.01);
    EXPECT_EQ(std::filesystem::file_size(dir / "CWTemp.wav"), 72044u);
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"CWTemp.wav"});
}

TEST(VantelGen, SameCommandSameBytesAndTheSeedChangesOnlyTheNoise) {
    TempDir dir;
    auto bytesOf = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-o", "f.wav"});
        EXPECT_EQ(gen(dir, args).exitCode, 0);
        return readBytes(dir / "f.wav");
    };
    EXPECT_EQ(bytesOf({}), bytesOf({}));
    EXPECT_NE(bytesOf({"--seed", "1"}), bytesOf({"--seed", "2"}));
    EXPECT_EQ(bytesOf({"--seed", "1", "--snr", "300"}), bytesOf({"--seed", "2", "--snr", "300"}));
    EXPECT_EQ(bytesOf({"--seed", "1"}), bytesOf({"--seed=1"}));
}

TEST(VantelGen, ErrorsSayWhyAndLeaveNothingBehind) {
    TempDir dir;
    { std::ofstream(dir / "keep.wav") << "the user's file"; }
    const std::vector<std::vector<std::string>> failing{
        {"--bogus"},
        {"--mode", "am"},
        {"--wpm"},
        {"--seed", "-1"},
        {"--message", "!!!", "-o", "keep.wav"},
        {"--mode", "tone", "--tone-length", "0"},
        {"--mode", "tone", "--tone-length", "-3"},
        {"--mode", "tone", "--tone-length", "1e9", "-o", "keep.wav"},
        {"--rate", "5e9"},
        {"-o", "no/such/folder/x.wav"},
        {"-o", ""},
    };
    for (const auto& args : failing) {
        const auto result = gen(dir, args);
        EXPECT_NE(result.exitCode, 0) << args[0];
        EXPECT_EQ(result.out, "") << args[0];
        EXPECT_TRUE(result.err.starts_with("vantel-gen: ")) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"keep.wav"});
    EXPECT_EQ(readBytes(dir / "keep.wav").size(), 15u);
    EXPECT_EQ(gen(dir, {"--help"}).exitCode, 0);
}

TEST(VantelGen, WarningsAreReportsAndExitZero) {
    TempDir dir;
    const auto loud = gen(dir, {"--level", "20"});
    EXPECT_EQ(loud.exitCode, 0);
    EXPECT_TRUE(loud.out.starts_with("Severe Clipping. Reduce output scaling\nS/N measured: ")) << loud.out;
    expectMeasuredSnrLine(loud.out, 20 - 3.01);
    const auto quiet = gen(dir, {"--level", "-50"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_TRUE(quiet.out.starts_with("Output level low.  Increase output Scaling\n\nRMS = ")) << quiet.out;
    expectMeasuredSnrLine(quiet.out, 20 - 3.01);
}

TEST(TypedForm, OptionsActLikeTextTypedIntoTheBoxes) {
    FileRequest o;
    o.typed[Typed::Level] = "3.5";  // the scroll bar moves to 4 and writes 4 back
    o.typed[Typed::Rate] = "48000";
    o.typed[Typed::FilterBw] = "100";
    o.typed[Typed::Bw] = "-300";
    TypedForm f = typeIntoForm(o);
    EXPECT_EQ(f.text(settings::Box::ScaleText), "4");
    EXPECT_DOUBLE_EQ(f.s.ScaleFact, std::pow(10.0, 4.0 / 20));
    EXPECT_EQ(f.firLength, 1920);
    EXPECT_EQ(f.s.BW, 300);

    o = {};
    o.typed[Typed::Level] = "3.4";  // typed key by key: 3 moves the bar, 3. and 3.4 leave it
    o.typed[Typed::Rate] = "12k";
    o.mode = settings::Mode::ToneOnly;
    o.typed[Typed::Wpm] = "25";
    o.typed[Typed::ToneLength] = "2.25";
    f = typeIntoForm(o);
    EXPECT_EQ(f.text(settings::Box::ScaleText), "3.4");
    EXPECT_EQ(f.scaleScroll, 3);
    EXPECT_EQ(f.s.FSample, 12);
    EXPECT_EQ(f.s.WPM, 25);
    EXPECT_EQ(f.text(settings::Box::WPMtext), "2.25");
    EXPECT_EQ(f.s.ContToneDur, 2.25f);

    o = {};
    o.mode = settings::Mode::FSKCW;
    o.typed[Typed::Level] = "-5.4";
    f = typeIntoForm(o);
    EXPECT_EQ(f.text(settings::Box::WPMtext), " 20");
    EXPECT_EQ(f.text(settings::Box::ScaleText), "-5.4");
    EXPECT_EQ(f.scaleScroll, -5);
    EXPECT_DOUBLE_EQ(f.s.ScaleFact, std::pow(10.0, -5.4 / 20));
    o.typed[Typed::Level] = "-5.5";  // rounds to -6 at the last key: the bar writes -6 back
    EXPECT_EQ(typeIntoForm(o).text(settings::Box::ScaleText), "-6");
}

TEST(VantelGen, RepairedAndModeSettingsGiveTheExpectedFiles) {
    TempDir dir;
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-o", "f.wav"});
        const auto result = gen(dir, args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readBytes(dir / "f.wav");
    };
    const auto startup = run({});
    EXPECT_EQ(run({"--bw", "0", "--wpm", "0", "--snr", "20", "--tone", "-1", "--rate", "0"}), startup);
    EXPECT_EQ(readWav(dir / "f.wav").sampleRate, 12000);
    run({"--mode", "tone"});
    EXPECT_EQ(readWav(dir / "f.wav").samples.size(), 60000u);
    run({"--mode", "tone", "--tone-length", "2.25"});
    EXPECT_EQ(readWav(dir / "f.wav").samples.size(), 26400u);
    run({"--rate", "12k"});  // reads as 12 Hz: one sample per element
    EXPECT_EQ(readWav(dir / "f.wav").samples.size(), 50u);
    EXPECT_EQ(readWav(dir / "f.wav").sampleRate, 12);
    run({"--rate", "8000.5", "--message", "E"});
    EXPECT_EQ(readWav(dir / "f.wav").sampleRate, 8000);
    EXPECT_NE(run({"--mode", "fsk"}), startup);
    EXPECT_NE(run({"--no-filter"}), startup);
}

TEST(VantelGen, AClipInMemoryHoldsTheFilesSamples) {
    TempDir dir;
    FileRequest o;
    o.mode = settings::Mode::FSKCW;
    o.typed[Typed::Message] = "vvv de vantel";
    o.typed[Typed::Level] = "-12";
    const std::string output = (dir / "f.wav").string();
    const FileResult file = writeFile(o, output);
    const Clip clip = renderClip(o, output);
    EXPECT_EQ(readWav(dir / "f.wav").samples, clip.samples);
    EXPECT_EQ(clip.result.stats.sumSquares, file.stats.sumSquares);
    EXPECT_EQ(clip.result.report.text, file.report.text);
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"f.wav"});  // the clip wrote nothing
}

TEST(VantelGen, AClipWrittenOutIsTheFileByteForByteAndNeverHalfWritten) {
    TempDir dir;
    FileRequest o;
    o.typed[Typed::Message] = "cq test";
    o.typed[Typed::Rate] = "8000";
    writeFile(o, (dir / "f.wav").string());
    const Clip clip = renderClip(o);
    const std::int32_t rate = clip.result.prepared.setup.plan.sampleRate;
    {
        std::FILE* old = std::fopen((dir / "c.wav").c_str(), "wb");
        ASSERT_NE(old, nullptr);
        std::fputs("an older file of that name", old);
        std::fclose(old);
    }
    writeSamplesFile((dir / "c.wav").string(), rate, clip.samples);
    EXPECT_EQ(readBytes(dir / "c.wav"), readBytes(dir / "f.wav"));  // and the older file replaced

    // A folder that cannot be written: the error names the file asked for,
    // and nothing is left.
    const std::string missing = (dir / "no-such-folder" / "c.wav").string();
    try {
        writeSamplesFile(missing, rate, clip.samples);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find(".partial-"), std::string::npos) << e.what();
    }
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"c.wav", "f.wav"}));
}

}  // namespace
}  // namespace vantel::batch
