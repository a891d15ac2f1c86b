// Playing while samples are being made, heard on the monitor of the null sink
// of a private sound server (run through scripts/with-pulseaudio.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/player.h"
#include "sound/stream_playback.h"
#include "support/spawn.h"

namespace vantel::sound {
namespace {

constexpr int kRate = 8000;
constexpr double kAmplitude = 8000;
// Block k of a test sound is a tone of kFirstTone + k * kToneStep Hz, so the
// blocks can be told apart in what was heard.
constexpr double kFirstTone = 500;
constexpr double kToneStep = 150;
constexpr std::size_t kWindow = 160;  // 20 ms, fine enough to tell the tones apart

double energy(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (const std::int16_t s : samples) sum += static_cast<double>(s) * s;
    return sum;
}

// Tone blocks one after another, the phase running on across them.
std::vector<std::vector<std::int16_t>> toneBlocks(std::size_t blocks, std::size_t blockSamples) {
    std::vector<std::vector<std::int16_t>> made(blocks);
    double phase = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        const double step = 2 * std::numbers::pi * (kFirstTone + kToneStep * static_cast<double>(k)) / kRate;
        for (std::size_t i = 0; i < blockSamples; ++i, phase += step) {
            made[k].push_back(static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(phase))));
        }
    }
    return made;
}

// The block whose tone is strongest in `window`.
std::size_t strongestBlock(std::span<const std::int16_t> window, std::size_t blocks) {
    std::size_t best = 0;
    double bestPower = -1;
    for (std::size_t k = 0; k < blocks; ++k) {
        const double step = 2 * std::numbers::pi * (kFirstTone + kToneStep * static_cast<double>(k)) / kRate;
        std::complex<double> sum;
        for (std::size_t i = 0; i < window.size(); ++i) {
            sum += std::polar(static_cast<double>(window[i]), -step * static_cast<double>(i));
        }
        if (std::norm(sum) > bestPower) {
            bestPower = std::norm(sum);
            best = k;
        }
    }
    return best;
}

// parec on the null sink's monitor, at the test's rate, into a file.
class Recorder {
public:
    Recorder() : file_(std::filesystem::temp_directory_path() / ("vantel-heard-" + std::to_string(::getpid()))) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, STDOUT_FILENO);
            ::execlp("parec", "parec", "--device=vantel_null.monitor", "--raw", "--format=s16le", "--channels=1",
                     ("--rate=" + std::to_string(kRate)).c_str(), "--latency-msec=10", nullptr);
            ::_exit(127);
        }
        // The running sink's monitor sends silence from the start.
        ready_ = testing::waitFor([this] { return bytes() > 0; }, std::chrono::seconds(10));
    }
    ~Recorder() {
        if (pid_ > 0) stop();
        std::filesystem::remove(file_);
    }
    bool ready() const { return ready_; }

    // What has been recorded so far.
    std::vector<std::int16_t> heard() const {
        std::ifstream in(file_, std::ios::binary);
        std::vector<std::int16_t> samples(bytes() / 2);
        in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
        samples.resize(static_cast<std::size_t>(in.gcount()) / 2);
        return samples;
    }

    // Everything until now and a little after, for what the server still
    // had on its way to the monitor.
    std::vector<std::int16_t> finish() {
        const std::uintmax_t now = bytes();
        testing::waitFor([&] { return bytes() >= now + kRate; }, std::chrono::seconds(10));  // half a second
        stop();
        return heard();
    }

private:
    std::uintmax_t bytes() const {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file_, error);
        return error ? 0 : size;
    }
    void stop() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    std::filesystem::path file_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

bool privateServer() {
    const char* server = std::getenv("PULSE_SERVER");
    return server && std::string(server).find("vantel-pulse-") != std::string::npos;
}

TEST(StreamPlayback, SlowProducerIsHeardWholeAndInOrderAndAStopCutsItShort) {
    if (!privateServer()) GTEST_SKIP() << "no private sound server: run this test through scripts/with-pulseaudio.sh";
    {
        // Each block is pushed in two uneven pieces, and the producer then
        // pauses for longer than the block lasts: the playback runs dry between
        // blocks and must pick up again, without losing or repeating samples.
        constexpr std::size_t kBlocks = 10, kBlockSamples = 1200;
        const auto blocks = toneBlocks(kBlocks, kBlockSamples);
        Recorder recorder;
        ASSERT_TRUE(recorder.ready());
        StreamPlayback playback(kRate);
        ASSERT_EQ(playback.waitUntilReady(), "");
        double pushedEnergy = 0;
        for (const auto& block : blocks) {
            playback.push(std::span(block).first(7));
            playback.push(std::span(block).subspan(7));
            pushedEnergy += energy(block);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_EQ(playback.waitUntilPlayed(), "");
        EXPECT_TRUE(playback.over());
        const std::vector<std::int16_t> heard = recorder.finish();

        EXPECT_NEAR(energy(heard) / pushedEnergy, 1.0, 0.05);
        std::vector<std::size_t> order;  // the block heard in each window with sound in it
        for (std::size_t at = 0; at + kWindow <= heard.size(); at += kWindow) {
            const std::span window(heard.data() + at, kWindow);
            const double windowEnergy = energy({window.begin(), window.end()});
            if (windowEnergy > 0.1 * kWindow * kAmplitude * kAmplitude / 2) {
                order.push_back(strongestBlock(window, kBlocks));
            }
        }
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
        for (std::size_t k = 0; k < kBlocks; ++k) EXPECT_NE(std::find(order.begin(), order.end(), k), order.end()) << k;
    }
    {
        // Four seconds pushed at once; stopped once a quarter of a second of
        // it has been heard.
        const auto tone = toneBlocks(1, 4 * kRate)[0];
        const double perSample = kAmplitude * kAmplitude / 2;
        Recorder recorder;
        ASSERT_TRUE(recorder.ready());
        std::atomic<bool> quarterHeard{false};
        StreamPlayback playback(kRate, [&] {
            if (!quarterHeard) quarterHeard = energy(recorder.heard()) > perSample * kRate / 4;
            return quarterHeard.load();
        });
        playback.push(tone);
        EXPECT_EQ(playback.waitUntilPlayed(), kStopped);
        const double heardSamples = energy(recorder.finish()) / perSample;
        EXPECT_GT(heardSamples, kRate / 4);
        EXPECT_LT(heardSamples, kRate);
    }
}

TEST(StreamPlayback, NoServerIsReportedBeforeAnythingIsPushed) {
    const char* before = std::getenv("PULSE_SERVER");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    ::setenv("PULSE_SERVER", "unix:/nonexistent/vantel-no-server", 1);
    StreamPlayback playback(kRate);
    const std::string why = playback.waitUntilReady();
    EXPECT_EQ(why.rfind("Cannot play: no sound server", 0), 0u) << why;
    EXPECT_TRUE(playback.over());
    const std::vector<std::int16_t> tone(kRate, 1000);
    playback.push(tone);  // dropped: nothing to play it on
    EXPECT_EQ(playback.waitUntilPlayed(), why);
    if (saved) ::setenv("PULSE_SERVER", saved->c_str(), 1);
    else ::unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace vantel::sound
