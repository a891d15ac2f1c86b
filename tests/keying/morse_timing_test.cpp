#include "keying/morse_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "channel/band_conditions.h"
#include "keying/framing.h"
#include "keying/morse_encoder.h"

namespace vantel::keying {
namespace {

TimedMessage timed(std::string_view message, double rate, double wpm, const TimingOptions& options = {},
                   std::uint64_t seed = 1) {
    return timeMessage(parseExtendedMessage(message), rate, wpm, options, seed);
}

// The classic pattern as runs of samples.
std::vector<KeyRun> classicRuns(std::string_view message, std::int64_t samplesPerElement) {
    std::vector<KeyRun> runs;
    for (char element : encodeMorse(toUpperAscii(message)).pattern) {
        const bool down = element == kKeyDown;
        if (runs.empty() || runs.back().keyDown != down) runs.push_back({down, 0});
        runs.back().samples += samplesPerElement;
    }
    return runs;
}

std::vector<std::int64_t> lengths(const TimedMessage& t) {
    std::vector<std::int64_t> out;
    for (const KeyRun& run : t.runs) out.push_back(run.samples);
    return out;
}

// What every timing must hold: runs alternate and are never empty, add up to
// the total, and every label lies where its symbol sounds (one sample late).
void expectConsistent(const TimedMessage& t) {
    std::vector<std::int64_t> starts{0};
    for (std::size_t i = 0; i < t.runs.size(); ++i) {
        ASSERT_GE(t.runs[i].samples, 1);
        if (i > 0) {
            ASSERT_NE(t.runs[i].keyDown, t.runs[i - 1].keyDown);
        }
        starts.push_back(starts.back() + t.runs[i].samples);
    }
    ASSERT_EQ(starts.back(), t.totalSamples);
    auto runAt = [&](std::int64_t sample) {
        return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), sample) - starts.begin() - 1);
    };
    for (const TimedLabel& label : t.labels) {
        ASSERT_LT(label.start, label.end) << label.text;
        const std::size_t first = runAt(label.start - 1);
        const std::size_t last = runAt(label.end - 2);
        if (label.text == " ") {
            EXPECT_EQ(first, last);
            EXPECT_FALSE(t.runs[first].keyDown);
        } else {
            EXPECT_TRUE(t.runs[first].keyDown && t.runs[last].keyDown) << label.text;
            EXPECT_EQ(starts[first], label.start - 1) << label.text;
            EXPECT_EQ(starts[last + 1], label.end - 1) << label.text;
        }
    }
}

TEST(MorseTiming, DefaultsAreTheClassicPatternExactly) {
    const char* messages[] = {"TESTING", "CQ CQ DE W1AW K", " A  B ", "PARIS PARIS", "SOS?/.,0123", "E"};
    const struct {
        double rate;
        double wpm;
        std::int64_t element;
    } speeds[] = {{8000, 20, 480}, {12000, 20, 720}, {44100, 20, 2646}, {48000, 25, 2304}, {11025, 18, 735}};
    for (const char* message : messages) {
        for (const auto& speed : speeds) {
            const TimedMessage t = timed(message, speed.rate, speed.wpm);
            EXPECT_EQ(t.runs, classicRuns(message, speed.element)) << message << " at " << speed.rate;
            EXPECT_EQ(t.totalSamples, encodeMorse(toUpperAscii(message)).duration * speed.element);
            expectConsistent(t);
        }
    }
    EXPECT_TRUE(timed("", 8000, 20).runs.empty());
    EXPECT_EQ(timed("#", 8000, 20).totalSamples, 0);
}

TEST(MorseTiming, FarnsworthGapsFollowTheArrlFormula) {
    // c = 20, s = 10: ta = (60 * 20 - 37.2 * 10) / (10 * 20) = 4.14 s.
    const double ta = 4.14;
    TimingOptions options;
    options.farnsworthWpm = 10;
    const TimedMessage t = timed("EE E", 1000, 20, options);
    // Each edge at its real time, rounded on its own.
    const double edges[] = {0, 0.06, 0.06 + 3 * ta / 19, 0.12 + 3 * ta / 19, 0.12 + 10 * ta / 19,
                            0.18 + 10 * ta / 19, 0.18 + 13 * ta / 19};
    std::vector<std::int64_t> expected;
    for (int i = 1; i < 7; ++i) {
        const double samples = std::nearbyint(edges[i] * 1000) - std::nearbyint(edges[i - 1] * 1000);
        expected.push_back(static_cast<std::int64_t>(samples));
    }
    EXPECT_EQ(lengths(t), expected);
    expectConsistent(t);
    // The blank covers the word gap beyond the second E's character gap.
    EXPECT_EQ(t.labels[2].start, static_cast<std::int64_t>(std::nearbyint((0.12 + 6 * ta / 19) * 1000)) + 1);
    EXPECT_EQ(t.labels[2].end, static_cast<std::int64_t>(std::nearbyint((0.12 + 10 * ta / 19) * 1000)) + 1);
    // The formula is made so that "PARIS " takes 60 / s seconds.
    for (double overall : {5.0, 10.0, 13.0, 19.0}) {
        options.farnsworthWpm = overall;
        EXPECT_NEAR(static_cast<double>(timed("PARIS ", 12000, 20, options).totalSamples), 60 / overall * 12000, 1);
    }
    // Each further blank adds word gap - character gap.
    options.farnsworthWpm = 10;
    const std::int64_t one = timed("E E", 1000, 20, options).totalSamples;
    const std::int64_t two = timed("E  E", 1000, 20, options).totalSamples;
    EXPECT_NEAR(static_cast<double>(two - one), 4 * ta / 19 * 1000, 1);
}

TEST(MorseTiming, WeightDashRatioAndWordSpace) {
    TimingOptions heavy;
    heavy.weightPercent = 75;  // marks half a unit longer, gaps half a unit shorter
    EXPECT_EQ(lengths(timed("A", 1000, 12, heavy)), (std::vector<std::int64_t>{150, 50, 350, 250}));
    heavy.weightPercent = 25;
    EXPECT_EQ(lengths(timed("EE", 1000, 12, heavy)), (std::vector<std::int64_t>{50, 350, 50, 350}));
    TimingOptions ratio;
    ratio.dashRatio = 4;
    EXPECT_EQ(lengths(timed("TT", 1000, 12, ratio)), (std::vector<std::int64_t>{400, 300, 400, 300}));
    TimingOptions wide;
    wide.wordSpaceFactor = 2;  // the classic word gap of 5 units becomes 10
    EXPECT_EQ(lengths(timed("E E", 1000, 12, wide)), (std::vector<std::int64_t>{100, 1000, 100, 300}));
    EXPECT_EQ(lengths(timed("E  E", 1000, 12, wide)), (std::vector<std::int64_t>{100, 1700, 100, 300}));
    const TimedMessage t = timed("E E", 1000, 12, wide);
    EXPECT_EQ(t.labels[1].start, 401);
    EXPECT_EQ(t.labels[1].end, 1101);
}

TEST(MorseTiming, JitterScalesEachRunByItsOwnDraw) {
    // 2000 E's: 4000 runs of 1 and 3 dots of 2880 samples. The factor has
    // mean 1 and standard deviation 0.1 * 0.987 (the clipping at 3 sigma);
    // standard errors are 0.0016 for the mean and 0.0011 for the deviation.
    // Rounding moves a run by at most one sample (3.5e-4).
    TimingOptions options;
    options.jitterPercent = 10;
    const TimedMessage t = timed(std::string(2000, 'E'), 48000, 20, options);
    ASSERT_EQ(t.runs.size(), 4000u);
    double sum = 0, squares = 0;
    for (const KeyRun& run : t.runs) {
        const double ratio = static_cast<double>(run.samples) / (run.keyDown ? 2880 : 3 * 2880);
        sum += ratio;
        squares += ratio * ratio;
    }
    const double mean = sum / 4000;
    EXPECT_NEAR(mean, 1, 0.008);
    EXPECT_NEAR(std::sqrt(squares / 4000 - mean * mean), 0.0987, 0.006);
    expectConsistent(t);
    expectConsistent(timed("CQ CQ <AR> DE  W1AW K", 8000, 30, TimingOptions{0, 1, 3, 50, 50, 0}));
}

TEST(MorseTiming, SpeedDriftIsASlowWalkOfTheStatedSize) {
    // 20000 T's at 20 WPM: each lasts 6 dots (4320 samples) over its speed.
    // log(speed) is an AR(1) series with step e^-0.1: its sample variance has
    // a relative standard error of sqrt(2 (1 + r^2) / ((1 - r^2) N)) = 3.2 %,
    // so the deviation 1.6 %; the lag-one correlation about
    // (1 - r^2) / sqrt(N) = 0.0013.
    TimingOptions options;
    options.speedDriftPercent = 5;
    const TimedMessage t = timed(std::string(20001, 'T'), 12000, 20, options);
    std::vector<double> logSpeed;
    for (std::size_t i = 0; i + 1 < t.labels.size(); ++i) {
        logSpeed.push_back(std::log(4320.0 / static_cast<double>(t.labels[i + 1].start - t.labels[i].start)));
    }
    const double n = static_cast<double>(logSpeed.size());
    const double mean = std::accumulate(logSpeed.begin(), logSpeed.end(), 0.0) / n;
    double var = 0, lag = 0;
    for (std::size_t i = 0; i < logSpeed.size(); ++i) {
        var += (logSpeed[i] - mean) * (logSpeed[i] - mean);
        if (i > 0) lag += (logSpeed[i] - mean) * (logSpeed[i - 1] - mean);
    }
    EXPECT_NEAR(std::sqrt(var / n), 0.05, 0.05 * 0.08);
    EXPECT_NEAR(lag / var, std::exp(-1 / kDriftCorrelationSymbols), 0.01);
    expectConsistent(t);
}

TEST(MorseTiming, EachEffectKeepsItsOwnRandomness) {
    // The jitter factors are the same draws with or without drift: the
    // ratio of each run with both to the run with drift alone is the ratio
    // with jitter alone to the plain run (to within the rounding).
    TimingOptions jitter, drift, both;
    jitter.jitterPercent = both.jitterPercent = 20;
    drift.speedDriftPercent = both.speedDriftPercent = 10;
    const std::string message = "CQ CQ DE W1AW W1AW K";
    const TimedMessage plain = timed(message, 48000, 20), j = timed(message, 48000, 20, jitter),
                       d = timed(message, 48000, 20, drift), jd = timed(message, 48000, 20, both);
    ASSERT_EQ(jd.runs.size(), plain.runs.size());
    for (std::size_t i = 0; i < plain.runs.size(); ++i) {
        const double withBoth = static_cast<double>(jd.runs[i].samples) / static_cast<double>(d.runs[i].samples);
        const double alone = static_cast<double>(j.runs[i].samples) / static_cast<double>(plain.runs[i].samples);
        EXPECT_NEAR(withBoth, alone, 4.0 / static_cast<double>(d.runs[i].samples)) << i;
    }
    // Another file seed, other jitter.
    EXPECT_NE(lengths(timeMessage(parseExtendedMessage(message), 48000, 20, jitter, 2)), lengths(j));
}

TEST(MorseTiming, RefusesOptionsOutOfRange) {
    const auto symbols = parseExtendedMessage("E");
    auto attempt = [&](TimingOptions o, double wpm = 20, double rate = 8000) { timeMessage(symbols, rate, wpm, o); };
    EXPECT_THROW(attempt({20, 1, 3, 50, 0, 0}), text::SettingError);  // Farnsworth not below the speed
    EXPECT_THROW(attempt({0, 1, 3, 50, 51, 0}), text::SettingError);
    EXPECT_THROW(attempt({}, 0), text::SettingError);
    EXPECT_THROW(attempt({}, NAN), text::SettingError);
    EXPECT_THROW(attempt({}, 20, 0), text::SettingError);
    EXPECT_THROW(attempt({}, 1e-300), text::SettingError);  // a dot longer than any count of samples
    EXPECT_NO_THROW(attempt({19, 10, 2, 90, 50, 50}, 20, 1));
}

// Framing keeps every label on its keying, moves it by the silence put
// before it, and cuts a fixed length only between characters.
TEST(MorseTiming, FramingMovesAndCutsAtCharacters) {
    const TimedMessage message = timed("PARIS TEST CQ", 8000, 20);
    auto texts = [](const TimedMessage& t) {
        std::string out;
        for (const TimedLabel& label : t.labels) out += label.text;
        return out;
    };

    const TimedMessage padded = frameMessage(message, {.leadIn = 1000, .tail = 300});
    expectConsistent(padded);
    EXPECT_EQ(padded.totalSamples, message.totalSamples + 1300);
    EXPECT_EQ(padded.labels.front().start, message.labels.front().start + 1000);
    EXPECT_FALSE(padded.runs.front().keyDown);
    EXPECT_EQ(texts(padded), "PARIS TEST CQ");

    for (const double cropFrom : {0.0, 0.2, 0.45, 0.7, 0.99}) {
        for (const std::int64_t duration : {100, 6000, 20000, 40000}) {
            const TimedMessage clip = frameMessage(message, {.leadIn = 500, .duration = duration, .cropFrom = cropFrom});
            SCOPED_TRACE(testing::Message() << cropFrom << " " << duration);
            expectConsistent(clip);
            EXPECT_EQ(clip.totalSamples, duration);
            if (clip.labels.empty()) continue;
            EXPECT_NE(clip.labels.front().text, " ");
            EXPECT_NE(clip.labels.back().text, " ");
            EXPECT_EQ(clip.labels.front().start, 501);
            // The same characters, moved as one, from the share asked for on.
            std::size_t first = static_cast<std::size_t>(cropFrom * static_cast<double>(message.labels.size()));
            if (message.labels[first].text == " ") ++first;
            const std::int64_t shift = clip.labels.front().start - message.labels[first].start;
            for (std::size_t j = 0; j < clip.labels.size(); ++j) {
                const TimedLabel& was = message.labels[first + j];
                EXPECT_EQ(clip.labels[j], (TimedLabel{was.text, was.start + shift, was.end + shift}));
            }
            // The next character would not have fitted whole.
            std::size_t next = first + clip.labels.size();
            if (next < message.labels.size() && message.labels[next].text == " ") ++next;
            if (next < message.labels.size()) EXPECT_GT(message.labels[next].end - 1 + shift, duration);
        }
    }
    EXPECT_EQ(texts(frameMessage(message, {.cropFrom = 0.45})), "TEST CQ");
    EXPECT_TRUE(frameMessage(message, {.duration = 3000, .cropFrom = 0.99}).labels.empty() ||
                texts(frameMessage(message, {.duration = 3000, .cropFrom = 0.99})) == "Q");
}

}  // namespace
}  // namespace vantel::keying
