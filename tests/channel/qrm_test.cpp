#include "channel/qrm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>
#include <regex>

#include "channel/band_conditions.h"
#include "support/spectrum.h"

namespace vantel::channel {
namespace {

constexpr double kRate = 8000;
constexpr double kAmplitude = 14142.13;

std::vector<QrmStation> stations(int count, std::uint64_t seed, std::int64_t total = 160000,
                                 double spread = 400, double level = 0) {
    return makeQrmStations({count, spread, level}, 700, 25, kRate, total, seed);
}

TEST(Qrm, StationsAreDrawnWithinTheirRangesAndListed) {
    const std::vector<QrmStation> five = stations(5, 42);
    const std::vector<QrmStation> three = stations(3, 42);
    const std::regex call("[A-Z]{1,2}[0-9][A-Z]{1,3}");
    const std::regex message(
        "CQ CQ DE (\\w+) \\1 K|CQ TEST (\\w+) \\2 TEST|\\w+ DE \\w+ 5NN TU|TEST \\w+|QRZ\\? DE \\w+ K");
    for (std::size_t k = 0; k < five.size(); ++k) {
        const QrmStation& s = five[k];
        EXPECT_GE(s.frequencyHz, 300);
        EXPECT_LE(s.frequencyHz, 1100);
        EXPECT_GE(s.wpm, 17.5);
        EXPECT_LE(s.wpm, 32.5);
        EXPECT_GE(s.levelDb, -6);
        EXPECT_LE(s.levelDb, 6);
        EXPECT_LE(s.startSample, 2 * kRate);
        EXPECT_TRUE(std::regex_match(s.message, message)) << s.message;
        const std::regex withDigit("\\w*\\d\\w*");
        for (std::sregex_iterator it(s.message.begin(), s.message.end(), withDigit), end; it != end; ++it) {
            if (it->str() != "5NN") {
                EXPECT_TRUE(std::regex_match(it->str(), call)) << it->str();
            }
        }
        // The runs cover the file and the labels sit on the tone.
        std::int64_t at = 0, keyDown = 0;
        std::vector<std::int64_t> downStarts;
        for (const keying::KeyRun& run : s.runs) {
            if (run.keyDown) downStarts.push_back(at);
            keyDown += run.keyDown ? run.samples : 0;
            at += run.samples;
        }
        EXPECT_EQ(at, 160000);
        EXPECT_GT(keyDown, 160000 / 5);
        ASSERT_FALSE(s.labels.empty());
        EXPECT_EQ(s.labels[0].start, s.startSample + 1);
        for (const keying::TimedLabel& label : s.labels) {
            EXPECT_LE(label.end, 160000);
            if (label.text != " ") {
                EXPECT_TRUE(std::binary_search(downStarts.begin(), downStarts.end(), label.start - 1)) << label.text;
            }
        }
        // More stations leave the first ones as they were.
        if (k < three.size()) {
            EXPECT_EQ(three[k].message, s.message);
            EXPECT_EQ(three[k].frequencyHz, s.frequencyHz);
            EXPECT_EQ(three[k].runs, s.runs);
        }
    }
    EXPECT_NE(stations(1, 43)[0].message, five[0].message);
    // The frequencies stay between 0 and half the sample rate.
    for (const QrmStation& s : stations(20, 1, 16000, 5000)) {
        EXPECT_GE(s.frequencyHz, 0);
        EXPECT_LE(s.frequencyHz, kRate / 2);
    }
    EXPECT_THROW(stations(21, 1), text::SettingError);
    EXPECT_THROW(stations(1000000, 1), text::SettingError);
    EXPECT_THROW(stations(2, 1, 1000, 5001), text::SettingError);
    EXPECT_THROW(stations(2, 1, 1000, 400, -61), text::SettingError);
}

TEST(Qrm, BlocksGiveTheSamplesOneAtATimeDo) {
    std::mt19937 random(4);
    for (bool faded : {false, true}) {
        const std::optional<QrmFading> fading = faded ? std::optional<QrmFading>({10, 0.5}) : std::nullopt;
        QrmSource single(stations(3, 8, 100000), kAmplitude, 40, kRate, 100000, 8, fading);
        QrmSource block(stations(3, 8, 100000), kAmplitude, 40, kRate, 100000, 8, fading);
        std::vector<double> expected(100000), got(100000, 0.0);
        for (double& x : expected) x = single.next();
        for (std::size_t done = 0; done < got.size();) {
            const std::size_t n =
                std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 3000)(random), got.size() - done);
            block.process(got.data() + done, n);
            done += n;
        }
        EXPECT_EQ(got, expected) << faded;
        block.reset();
        EXPECT_EQ(block.next(), expected[0]);
    }
}

TEST(Qrm, StationsShowAsPeaksAtTheirFrequenciesAndLevels) {
    // 60 s, stations within +-1500 Hz of 2000 Hz at -10 dB +-6, 5 ms edges.
    // A station's key-down power is amplitude^2 / 2 times the mean squared
    // envelope; the spectrum puts half of it on the positive side. With
    // 5 ms edges the keying sidebands beyond 150 Hz hold well under 1 % of a
    // station's power (0.04 dB), and a neighbour at least 400 Hz off (up to
    // 12 dB stronger) leaks less than that into its band: 0.25 dB covers both.
    constexpr std::int64_t kN = 480000;
    constexpr std::int64_t kRise = 40;
    const std::vector<QrmStation> list = makeQrmStations({3, 1500, -10}, 2000, 22, kRate, kN, 2025);
    for (std::size_t a = 0; a < list.size(); ++a) {
        for (std::size_t b = a + 1; b < list.size(); ++b) {
            ASSERT_GT(std::fabs(list[a].frequencyHz - list[b].frequencyHz), 400) << "the seed must give apart stations";
        }
    }
    QrmSource qrm(list, kAmplitude, kRise, kRate, kN, 2025);
    std::vector<double> signal(kN, 0.0);
    qrm.process(signal.data(), signal.size());
    const std::vector<double> psd = testing::averagedPeriodogram(signal, 8192);
    const double binHz = kRate / 8192;
    for (const QrmStation& s : list) {
        // The strongest bin within 150 Hz is the station's own.
        const auto centre = static_cast<std::ptrdiff_t>(std::lround(s.frequencyHz / binHz));
        std::ptrdiff_t peak = centre;
        for (std::ptrdiff_t k = centre - 150; k <= centre + 150; ++k) {
            if (psd[static_cast<std::size_t>(k)] > psd[static_cast<std::size_t>(peak)]) peak = k;
        }
        EXPECT_LE(std::abs(peak - centre), 2) << s.frequencyHz;
        EdgeShaper envelope(s.runs, kRise);
        double squares = 0;
        for (std::int64_t n = 0; n < kN; ++n) {
            const double e = envelope.next();
            squares += e * e;
        }
        const double keyedShare = squares / kN;
        const double measured = 2 * testing::bandPower(psd, kRate, s.frequencyHz, 150);
        const double levelDb = 10 * std::log10(measured / (keyedShare * kAmplitude * kAmplitude / 2));
        std::cout << "station " << s.frequencyHz << " Hz, " << s.wpm << " WPM, level " << s.levelDb
                  << " dB, measured " << levelDb << " dB: " << s.message << "\n";
        EXPECT_NEAR(levelDb, s.levelDb, 0.25);
    }
}

}  // namespace
}  // namespace vantel::channel
