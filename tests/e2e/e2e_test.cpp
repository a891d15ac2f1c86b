// End-to-end checks of generated files against independent measures: a Morse
// decoder from outside this project, and the noise statistics themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "support/run_command.h"
#include "support/wav_file.h"

namespace vantel {
namespace {

using testing::readWav;
using testing::runIn;
using testing::TempDir;

const std::string kGen = VANTEL_GEN_PATH;

std::string withoutBlanks(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
            s.end());
    return s;
}

TEST(EndToEnd, AnIndependentDecoderReadsTheMessageBack) {
    TempDir dir;
    for (const char* wpm : {"15", "20", "25"}) {
        const auto made = runIn(dir.path(), kGen, {"--message", "cq de vantel paris 73    ", "--snr", "30",
                                                   "--wpm", wpm, "--seed", "7", "-o", "cw.wav"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const auto decoded = runIn(dir.path(), "multimon-ng", {"-q", "-a", "MORSE_CW", "-t", "wav", "cw.wav"});
        ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
        EXPECT_NE(withoutBlanks(decoded.out).find("CQDEVANTELPARIS73"), std::string::npos)
            << wpm << " WPM decoded as: " << decoded.out;
    }
}

double meanSquare(const std::vector<std::int16_t>& samples) {
    return std::accumulate(samples.begin(), samples.end(), 0.0,
                           [](double sum, std::int16_t v) { return sum + double(v) * v; }) /
           static_cast<double>(samples.size());
}

// The S/N is the tone power over the noise power counted across the whole band
// up to half the sample rate, scaled by rate / reference bandwidth.
TEST(EndToEnd, NoisePowerFollowsTheSignalToNoiseBandwidthAndRate) {
    TempDir dir;
    struct Case {
        const char* snr;
        const char* bw;
        const char* rate;
    };
    for (const Case c : {Case{"10", "300", "12000"}, Case{"0", "2500", "8000"}, Case{"-3", "500", "48000"}}) {
        // Level -30 dB keeps the noise far from clipping yet far above one LSB.
        const std::vector<std::string> common{"--no-filter", "--level", "-30", "--bw", c.bw, "--rate", c.rate};
        auto toneArgs = common;
        toneArgs.insert(toneArgs.end(), {"--mode", "tone", "--tone-length", "1", "--snr", "300", "-o", "t.wav"});
        auto noiseArgs = common;
        noiseArgs.insert(noiseArgs.end(), {"--message", std::string(400, ' '), "--snr", c.snr, "-o", "n.wav"});
        ASSERT_EQ(runIn(dir.path(), kGen, toneArgs).exitCode, 0);
        ASSERT_EQ(runIn(dir.path(), kGen, noiseArgs).exitCode, 0);

        const double tonePower = meanSquare(readWav(dir / "t.wav").samples);
        auto noise = readWav(dir / "n.wav").samples;
        noise.erase(noise.begin());  // the first sample still carries the tone
        ASSERT_GT(noise.size(), 100000u);
        const double measured = 10 * std::log10(tonePower / meanSquare(noise));
        const double expected =
            std::atof(c.snr) - 10 * std::log10(std::atof(c.rate) / std::atof(c.bw));
        EXPECT_NEAR(measured, expected, 0.1) << c.snr << " dB in " << c.bw << " Hz at " << c.rate;
    }
}

}  // namespace
}  // namespace vantel
