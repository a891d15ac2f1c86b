#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "batch/options.h"
#include "batch/manifest.h"
#include "batch/ranges.h"
#include "support/csv.h"
#include "support/run_command.h"
#include "support/spawn.h"
#include "support/wav_file.h"
#include "wav/wav_writer.h"

namespace vantel::batch {
namespace {

using vantel::testing::labelSpans;
using vantel::testing::Span;

using vantel::testing::CsvRecord;
using vantel::testing::listFolder;
using vantel::testing::readBytes;
using vantel::testing::readCsvRecords;
using vantel::testing::readWav;
using vantel::testing::runIn;
using vantel::testing::slurp;
using vantel::testing::TempDir;

const std::string kGen = VANTEL_GEN_PATH;

using Args = std::vector<std::string>;

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<CsvRecord> manifestOf(const std::filesystem::path& folder) {
    return readCsvRecords(slurp(folder / "manifest.csv"));
}

std::vector<std::string> wavFilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& name : listFolder(folder)) {
        if (name.ends_with(".WAV")) names.push_back(name);
    }
    return names;
}

TEST(SweepValues, NumbersListsAndExactRanges) {
    EXPECT_EQ(expandValues("--snr", "20"), (std::vector<std::string>{"20"}));
    EXPECT_EQ(expandValues("--snr", "0,3,6"), (std::vector<std::string>{"0", "3", "6"}));
    EXPECT_EQ(expandValues("--snr", "-4:2:2"), (std::vector<std::string>{"-4", "-2", "0", "2"}));
    EXPECT_EQ(expandValues("--snr", "10:-20:-10"), (std::vector<std::string>{"10", "0", "-10", "-20"}));
    EXPECT_EQ(expandValues("--wpm", "0.1:0.7:0.2"), (std::vector<std::string>{"0.1", "0.3", "0.5", "0.7"}));
    EXPECT_EQ(expandValues("--wpm", "1:2:0.25"), (std::vector<std::string>{"1", "1.25", "1.5", "1.75", "2"}));
    // The end need not be on a step; values and list items are kept as written.
    EXPECT_EQ(expandValues("--tone", "600:900:250, 20.50"), (std::vector<std::string>{"600", "850", "20.50"}));
    EXPECT_EQ(expandValues("--tone", "5:5:1"), (std::vector<std::string>{"5"}));
    EXPECT_EQ(expandValues("--snr", "-20:10:2").size(), 16u);
    EXPECT_EQ(expandValues("--snr", "1:100000:1").size(), kMostSweepFiles);

    const std::vector<std::string> bad{"", "12k",   "1;2",   "0,,3", "1:2",  "1:2:3:4", "1e3:2e3:1", "a:b:c",
                                       "5:0:1", "0:5:-1", "0:10:0", "1:1:0", "0:100000:1", "1:2:0.0000001"};
    for (const std::string& listText : bad) {
        try {
            expandValues("--snr", listText);
            ADD_FAILURE() << "accepted '" << listText << "'";
        } catch (const UsageError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("--snr")) << e.what();
        }
    }
}

TEST(ManifestText, CsvQuotingAndJsonEscapingKeepEveryByteSafe) {
    EXPECT_EQ(csvText("a, \"b\"\nc"), "\"a, \"\"b\"\"\nc\"");
    EXPECT_EQ(jsonText("say \"hi\"\\\n\t\x01\x7f"), "\"say \\\"hi\\\"\\\\\\u000a\\u0009\\u0001\\u007f\"");
    EXPECT_EQ(jsonText("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"");
    // A stray byte, a cut sequence, an overlong form and a surrogate each become U+FFFD per byte.
    EXPECT_EQ(jsonText("a\xff" "b"), "\"a\\ufffdb\"");
    EXPECT_EQ(jsonText("\xe2\x82"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonText("\xc0\x80"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonText("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonText(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

// A manifest that cannot be begun leaves neither of its temporaries behind;
// one whose name was taken meanwhile replaces nothing and leaves nothing,
// not even the other manifest.
TEST(ManifestWriterFaults, NothingOfItsOwnIsLeftAndNothingReplaced) {
    const TempDir dir;
    const save::Folder folder(dir.path(), "set");
    const std::string blocker = std::string(kManifestJsonl) + ".partial-" + std::to_string(::getpid());
    std::filesystem::create_directory(dir.path() / blocker);  // the JSON lines temporary cannot be opened
    EXPECT_THROW((ManifestWriter{folder, "set"}), save::PublishError);
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{blocker});
    std::filesystem::remove(dir.path() / blocker);

    ManifestWriter manifest(folder, "set");
    manifest.add(0, ManifestWriter::Lines{"row", "{}"});
    { std::ofstream(dir.path() / kManifestCsv) << "someone else's"; }
    try {
        manifest.finish();
        ADD_FAILURE() << "published over an existing manifest";
    } catch (const save::PublishError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create set/manifest.csv: something else took that name meanwhile; "
                                          "it was left as it was");
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{kManifestCsv});
    EXPECT_EQ(slurp(dir.path() / kManifestCsv), "someone else's");

    // With metadata.csv, the manifest already in place is taken back too.
    std::filesystem::remove(dir.path() / kManifestCsv);
    {
        ManifestWriter withMetadata(folder, "set", AudioFolder::On);
        { std::ofstream(dir.path() / kAudioFolderMetadata) << "someone else's"; }
        EXPECT_THROW(withMetadata.finish(), save::PublishError);
    }
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{kAudioFolderMetadata});
}

TEST(SweepCommand, BadInputIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    { std::ofstream(dir / "taken") << "a file"; }
    std::filesystem::create_directory(dir / "old");
    { std::ofstream(dir / "old" / "manifest.csv") << "an earlier sweep"; }
    { std::ofstream(dir / "empty.txt") << "\n\r\n"; }
    const std::vector<Args> failing{
        {"--sweep", "-o", "out", "--snr", "0;3"},
        {"--sweep", "-o", "out", "--snr", "5:0:1"},
        {"--sweep", "-o", "out", "--wpm", "10:20:0"},
        {"--sweep", "-o", "out", "--snr", "0:999:1", "--wpm", "1:101:1"},
        {"--sweep", "-o", "out", "--snr", "0,3,0"},
        {"--sweep", "-o", "out", "--tone", "0,800"},  // the repair turns 0 into 800: one name twice
        {"--sweep", "-o", "out", "--messages", "missing.txt"},
        {"--sweep", "-o", "out", "--messages", "empty.txt"},
        {"--sweep", "-o", "out", "--message", "!!!"},
        {"--sweep", "-o", "out", "--bw", "3/4"},
        {"--sweep", "-o", "out", "-j", "0"},
        {"--sweep", "--snr", "0,3"},
        {"-j", "2"},
        {"--sweep", "-o", "taken"},
        {"--sweep", "-o", "old"},
        {"--sweep", "-o", "out", "--messages", "/dev/zero"},
        {"--sweep", "-o", "out", "--messages", "old"},
    };
    for (const Args& args : failing) {
        const auto result = runIn(dir.path(), kGen, args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_NE(result.exitCode, 0) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_TRUE(result.err.starts_with("vantel-gen: ")) << shown << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << shown << result.err;
    }
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"empty.txt", "old", "taken"}));
    EXPECT_EQ(listFolder(dir / "old"), std::vector<std::string>{"manifest.csv"});
    // Reading stops at the limit, and a folder is named as one.
    EXPECT_EQ(runIn(dir.path(), kGen, {"--sweep", "-o", "out", "--messages", "/dev/zero"}).err,
              "vantel-gen: the messages file /dev/zero is larger than 64 MiB\n");
    EXPECT_EQ(runIn(dir.path(), kGen, {"--sweep", "-o", "out", "--messages", "old"}).err,
              "vantel-gen: cannot read the messages file old: it is a folder\n");
}

const Args kSmall{"--rate", "2000", "--filter-cf", "700", "--filter-bw", "600", "-q"};

TEST(SweepCommand, SmallSweepNamesEveryCombinationInIndexOrder) {
    TempDir dir;
    { std::ofstream(dir / "m.txt", std::ios::binary) << "e\r\n\nhi, \"you\" \xff\n"; }
    const auto result = runIn(dir.path(), kGen,
                              Args{"--sweep", "-o", "set", "--snr", "-3,6", "--wpm", "20,30", "--tone", "600:700:100",
                                   "--messages", "m.txt"} + kSmall);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // The characters without a code are named once; at the start-up level
    // these loud, noisy files clip, and the sweep says so.
    EXPECT_TRUE(result.err.starts_with("vantel-gen: text changed: '\\xFF' dropped (1x); --extended would send '\"' "
                                       "(dropped, 2x)\nvantel-gen: warning: 15 of 16 files have clipped samples"))
        << result.err;
    EXPECT_EQ(result.out, "16 files and their manifest in set\n");

    std::vector<std::string> expected;
    for (const char* msg : {"1", "2"})
        for (const char* wpm : {"20", "30"})
            for (const char* tone : {"600", "700"})
                for (const char* snr : {"-3", "6"})
                    expected.push_back(std::string(tone) + "HzSN" + snr + "BW300Fil600WPM" + wpm + "Msg" + msg + ".WAV");
    const auto rows = manifestOf(dir / "set");
    ASSERT_EQ(rows.size(), expected.size());
    std::set<std::string> seeds;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].at("index"), std::to_string(i));
        EXPECT_EQ(rows[i].at("file"), expected[i]);
        seeds.insert(rows[i].at("seed"));
    }
    EXPECT_EQ(seeds.size(), rows.size());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(wavFilesIn(dir / "set"), expected);
    EXPECT_EQ(listFolder(dir / "set").size(), expected.size() + 2);

    // The second message keeps its bytes in the CSV and is escaped in the JSON.
    const CsvRecord& last = rows.back();
    EXPECT_EQ(last.at("message_typed"), "hi, \"you\" \xff");
    EXPECT_EQ(last.at("message_typed_hex"), "68692c2022796f752220ff");
    EXPECT_EQ(last.at("message_encoded"), "HI, YOU ");
    EXPECT_EQ(last.at("wpm"), "30");
    EXPECT_EQ(last.at("snr_db"), "6");
    EXPECT_EQ(last.at("rate_hz"), "2000");
    EXPECT_EQ(last.at("element_samples"), "80");
    const std::string jsonl = slurp(dir / "set" / "manifest.jsonl");
    EXPECT_EQ(std::count(jsonl.begin(), jsonl.end(), '\n'), 16);
    EXPECT_NE(jsonl.find("\"message_typed\":\"hi, \\\"you\\\" \\ufffd\""), std::string::npos);
    EXPECT_NE(jsonl.find("\"seed\":\"" + last.at("seed") + "\""), std::string::npos);
}

TEST(SweepCommand, SameFilesForEveryJobCountAndEachFileAloneFromItsSeed) {
    TempDir dir;
    const Args sweep = Args{"--sweep", "--snr", "0:20:10", "--tone", "500,650", "--message", "cq", "--seed", "7"} + kSmall;
    ASSERT_EQ(runIn(dir.path(), kGen, sweep + Args{"-o", "one", "-j", "1"}).exitCode, 0);
    ASSERT_EQ(runIn(dir.path(), kGen, sweep + Args{"-o", "two", "-j", "2"}).exitCode, 0);
    const auto names = listFolder(dir / "one");
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(listFolder(dir / "two"), names);
    for (const auto& name : names) EXPECT_EQ(readBytes(dir / "one" / name), readBytes(dir / "two" / name)) << name;

    const auto rows = manifestOf(dir / "one");
    std::set<std::string> distinct;
    for (const CsvRecord& row : rows) {
        const Args alone{"--snr", row.at("snr_typed"), "--tone", row.at("tone_typed"), "--message",
                         row.at("message_typed"), "--rate", "2000", "--filter-cf", "700", "--filter-bw", "600",
                         "--seed", row.at("seed"), "-o", "alone.wav"};
        ASSERT_EQ(runIn(dir.path(), kGen, alone).exitCode, 0);
        EXPECT_EQ(readBytes(dir / "alone.wav"), readBytes(dir / "one" / row.at("file"))) << row.at("file");
        distinct.insert(slurp(dir / "alone.wav"));
    }
    EXPECT_EQ(distinct.size(), rows.size());  // every file has noise of its own
}

// Without noise or filter a key-up sample is exactly 0. A 701 Hz tone at
// 8000 Hz crosses zero on a sample only at multiples of 4000, so any other
// sounding sample is not 0.
TEST(SweepCommand, LabelsMarkExactlyTheSamplesWhereEachCharacterSounds) {
    TempDir dir;
    const auto result = runIn(dir.path(), kGen,
                              {"--sweep", "-o", "l", "--message", "paris, e  t?", "--snr", "300", "--no-filter",
                               "--rate", "8000", "--tone", "701", "--wpm", "23"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const CsvRecord row = manifestOf(dir / "l").at(0);
    const std::string encoded = row.at("message_encoded");
    const std::string pattern = row.at("keying_pattern");
    const std::int64_t spe = std::stoll(row.at("element_samples"));
    const auto samples = readWav(dir / "l" / row.at("file")).samples;
    const std::vector<Span> spans = labelSpans(row.at("labels"));
    ASSERT_EQ(encoded, "PARIS, E  T?");
    ASSERT_EQ(spans.size(), encoded.size());
    ASSERT_EQ(static_cast<std::int64_t>(samples.size()), static_cast<std::int64_t>(pattern.size()) * spe);

    std::vector<bool> inCharacter(samples.size(), false);
    std::int64_t previousEnd = 1;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const auto [start, end] = spans[i];
        EXPECT_GE(start, previousEnd) << i;
        previousEnd = end;
        // Each label begins one sample into an element and ends one sample into one.
        EXPECT_EQ((start - 1) % spe, 0) << i;
        EXPECT_EQ((end - 1) % spe, 0) << i;
        const char firstElement = pattern[static_cast<std::size_t>((start - 1) / spe)];
        const char afterLast = pattern[static_cast<std::size_t>((end - 1) / spe)];
        if (encoded[i] == ' ') {
            EXPECT_EQ(end - start, 2 * spe);
            continue;
        }
        EXPECT_EQ(firstElement, '-') << i;
        EXPECT_EQ(pattern[static_cast<std::size_t>((end - 2) / spe)], '-') << i;
        EXPECT_EQ(afterLast, ' ') << i;
        EXPECT_EQ(samples[static_cast<std::size_t>(start - 1)], 0) << i;
        EXPECT_EQ(samples[static_cast<std::size_t>(end)], 0) << i;
        if (start % 4000 != 0) {
            EXPECT_NE(samples[static_cast<std::size_t>(start)], 0) << i;
        }
        if ((end - 1) % 4000 != 0) {
            EXPECT_NE(samples[static_cast<std::size_t>(end - 1)], 0) << i;
        }
        for (auto n = start; n < end; ++n) inCharacter[static_cast<std::size_t>(n)] = true;
    }
    std::size_t soundingOutside = 0;
    for (std::size_t n = 1; n < samples.size(); ++n) soundingOutside += !inCharacter[n] && samples[n] != 0;
    EXPECT_EQ(soundingOutside, 0u);
}

TEST(SweepCommand, MeasuredSnrIsTheLabelLessThreeDecibelsOneSided) {
    TempDir dir;
    std::string message;
    for (int i = 0; i < 25; ++i) message += "PARIS ";  // 72 s
    const auto result = runIn(dir.path(), kGen,
                              {"--sweep", "-o", "s", "--snr", "-10,0,20", "--bw", "500", "--rate", "4000",
                               "--no-filter", "--message", message});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto rows = manifestOf(dir / "s");
    ASSERT_EQ(rows.size(), 3u);
    for (const CsvRecord& row : rows) {
        const double label = std::stod(row.at("snr_db"));
        const double measured = std::stod(row.at("snr_measured_db"));
        EXPECT_NEAR(measured, label - 10 * std::log10(2.0), 0.2) << label;
        EXPECT_NEAR(std::stod(row.at("snr_measured_2500hz_db")), measured - 10 * std::log10(2500.0 / 500), 1e-9);
        EXPECT_EQ(std::stoll(row.at("samples")), 72 * 4000);
    }
}

TEST(SweepCommand, CtrlCLeavesOnlyCompleteFilesAndAManifestOfThem) {
    TempDir dir;
    std::string message;
    for (int i = 0; i < 40; ++i) message += "PARIS ";  // 115 s a file
    const pid_t sweep = vantel::testing::spawnIn(
        dir.path(), kGen, {"--sweep", "-o", "c", "--snr", "0:99:1", "--message", message, "-j", "2"});
    ASSERT_TRUE(vantel::testing::waitFor(
        [&] { return std::filesystem::exists(dir / "c") && !wavFilesIn(dir / "c").empty(); },
        std::chrono::seconds(20)));
    ::kill(sweep, SIGINT);
    EXPECT_EQ(vantel::testing::exitStatusOf(sweep), 130);

    const auto rows = manifestOf(dir / "c");
    const auto wavs = wavFilesIn(dir / "c");
    EXPECT_GE(rows.size(), 1u);
    EXPECT_LT(rows.size(), 100u);
    std::vector<std::string> listed;
    for (const CsvRecord& row : rows) {
        listed.push_back(row.at("file"));
        EXPECT_EQ(std::filesystem::file_size(dir / "c" / row.at("file")),
                  44 + 2 * std::stoull(row.at("samples")));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, wavs);
    EXPECT_EQ(listFolder(dir / "c").size(), wavs.size() + 2);  // no temporaries left
    const std::string jsonl = slurp(dir / "c" / "manifest.jsonl");
    EXPECT_EQ(static_cast<std::size_t>(std::count(jsonl.begin(), jsonl.end(), '\n')), rows.size());

    // A single long file stopped half-way leaves nothing at all.
    const pid_t one = vantel::testing::spawnIn(dir.path(), kGen,
                                               {"--mode", "tone", "--tone-length", "3000", "-o", "long.wav"});
    ASSERT_TRUE(vantel::testing::waitFor([&] { return listFolder(dir.path()).size() > 1; }, std::chrono::seconds(20)));
    ::kill(one, SIGTERM);
    EXPECT_EQ(vantel::testing::exitStatusOf(one), 143);
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"c"});
}

}  // namespace
}  // namespace vantel::batch
