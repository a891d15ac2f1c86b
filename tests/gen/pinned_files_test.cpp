// Files vantel-gen writes, pinned byte for byte: a change anywhere in the
// run's path that alters a single bit of a file fails here, whichever front
// end or option it came through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/content_hash.h"
#include "support/run_command.h"
#include "support/wav_file.h"

namespace vantel::batch {
namespace {

using vantel::testing::contentHash;
using vantel::testing::readBytes;
using vantel::testing::runIn;
using vantel::testing::TempDir;

struct PinnedFile {
    std::vector<std::string> args;
    std::string hash;
};

TEST(PinnedFiles, EveryModeAndFilterGivesTheSameBytesAsBefore) {
    const std::vector<PinnedFile> files{
        {{}, "5dececfeb37a6258"},
        {{"--message", "cq de vantel 73", "--wpm", "25", "--snr", "-3", "--level", "-6"}, "cf8e13c5b33e8629"},
        {{"--mode", "fsk", "--message", "RYRY 5NN", "--rate", "8000", "--filter-cf", "700", "--filter-bw", "400"},
         "18b3e05fe75722a9"},
        {{"--mode", "tone", "--tone-length", "2.25", "--rate", "48000", "--filter-cf", "800", "--filter-bw", "100"},
         "18649fb51bd42c46"},
        {{"--message", "PARIS", "--no-filter", "--snr", "10", "--bw", "2500", "--seed", "12345"}, "8d186ea59318f35a"},
    };
    for (const PinnedFile& file : files) {
        TempDir dir;
        std::vector<std::string> args = file.args;
        args.insert(args.end(), {"-o", "pinned.wav"});
        const auto result = runIn(dir.path(), VANTEL_GEN_PATH, args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(contentHash(readBytes(dir / "pinned.wav")), file.hash) << ::testing::PrintToString(file.args);
    }
}

}  // namespace
}  // namespace vantel::batch
