#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/wav_file.h"

namespace vantel::wav {
namespace {

using vantel::testing::readBytes;
using vantel::testing::TempDir;

TEST(WavHeader, LittleEndianFieldsForSixtyThousandSamples) {
    const auto h = header(12000, 60000);
    const std::vector<std::uint8_t> expected{
        'R', 'I', 'F', 'F', 0xE4, 0xD4, 0x01, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        16,  0,   0,   0,   1,    0,    1,    0,    0xE0, 0x2E, 0, 0,   0xC0, 0x5D, 0, 0,
        2,   0,   16,  0,   'd',  'a',  't',  'a',  0xC0, 0xD4, 0x01, 0x00,
    };
    EXPECT_EQ(std::vector<std::uint8_t>(h.begin(), h.end()), expected);  // 120036, 12000, 24000, 120000
    const auto empty = header(8000, 0);
    EXPECT_EQ(vantel::testing::le32({empty.begin(), empty.end()}, 4), 36);
    EXPECT_EQ(vantel::testing::le32({empty.begin(), empty.end()}, 40), 0);
    EXPECT_THROW(header(12000, kMaxSamples + 1), FileError);
}

TEST(WavWriter, WritesSamplesInOrderAndReplacesAnOldFile) {
    TempDir dir;
    const auto path = dir / "out.wav";
    { std::ofstream(path) << "an older, longer file that must not survive in any part"; }
    WavWriter writer(path.string(), 12000, 70000);
    for (int i = 0; i < 70000; ++i) writer.append(static_cast<std::int16_t>(i % 60000 - 30000));
    writer.finish();
    const auto wav = vantel::testing::readWav(path);
    ASSERT_EQ(wav.samples.size(), 70000u);
    EXPECT_EQ(wav.samples.front(), -30000);
    EXPECT_EQ(wav.samples[40000], 10000);
    EXPECT_EQ(wav.samples[65000], -25000);
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 140000u);
}

TEST(WavWriter, ShortRunGetsAHeaderForWhatIsThere) {
    TempDir dir;
    WavWriter writer((dir / "short.wav").string(), 12000, 1000);
    writer.append(7);
    writer.finish();
    const auto wav = vantel::testing::readWav(dir / "short.wav");
    EXPECT_EQ(wav.dataBytes, 2);
    EXPECT_EQ(wav.riffSize, 38);
    EXPECT_EQ(wav.samples, std::vector<std::int16_t>{7});
}

TEST(WavWriter, FailuresAreReportedNotSwallowed) {
    TempDir dir;
    EXPECT_THROW(WavWriter((dir / "missing" / "x.wav").string(), 12000, 1), FileError);
    { std::ofstream(dir / "taken.wav") << "mine"; }
    EXPECT_THROW(WavWriter((dir / "taken.wav").string(), 12000, 1, /*exclusive=*/true), FileError);
    EXPECT_EQ(readBytes(dir / "taken.wav").size(), 4u);
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_THROW(
            {
                WavWriter full("/dev/full", 12000, 100000);
                for (int i = 0; i < 100000; ++i) full.append(1);
                full.finish();
            },
            FileError);
    }
}

}  // namespace
}  // namespace vantel::wav
