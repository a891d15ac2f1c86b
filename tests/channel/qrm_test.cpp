#include "channel/qrm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <regex>
#include <tuple>

#include "channel/band_conditions.h"
#include "channel/qrm_traffic.h"
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


// A station's key-down stretches [start, end) in file samples.
struct Interval {
    std::int64_t start;
    std::int64_t end;
    std::size_t station;
};

std::vector<Interval> keyDowns(const std::vector<QrmStation>& list, std::vector<std::size_t> which = {}) {
    if (which.empty()) {
        for (std::size_t k = 0; k < list.size(); ++k) which.push_back(k);
    }
    std::vector<Interval> all;
    for (std::size_t k : which) {
        std::int64_t at = 0;
        for (const keying::KeyRun& run : list[k].runs) {
            if (run.keyDown) all.push_back({at, at + run.samples, k});
            at += run.samples;
        }
    }
    std::sort(all.begin(), all.end(), [](const Interval& a, const Interval& b) { return a.start < b.start; });
    return all;
}

std::string sentText(const QrmStation& station) {
    std::string text;
    for (const keying::TimedLabel& label : station.labels) text += label.text;
    return text;
}

// What holds in every traffic mode: the runs cover the file, the labels
// sit on key-down runs, the frequencies stay inside the audio band.
void expectSoundStations(const std::vector<QrmStation>& list, std::int64_t total, double rate) {
    for (const QrmStation& s : list) {
        std::vector<char> keyed;
        for (const keying::KeyRun& run : s.runs) keyed.insert(keyed.end(), static_cast<std::size_t>(run.samples), run.keyDown);
        ASSERT_EQ(static_cast<std::int64_t>(keyed.size()), total);
        EXPECT_GT(std::count(keyed.begin(), keyed.end(), 1), total / 50) << s.message;
        for (const keying::TimedLabel& label : s.labels) {
            ASSERT_LE(label.end, total);
            if (label.text == " ") continue;
            // A character the file's end cuts ends wherever the cut falls.
            const bool cut = label.end == total;
            EXPECT_TRUE(keyed[static_cast<std::size_t>(label.start - 1)] && (cut || keyed[static_cast<std::size_t>(label.end - 2)]))
                << s.message << " " << label.text << " at " << label.start;
        }
        EXPECT_GE(s.frequencyHz, kTrafficBandEdgeHz);
        EXPECT_LE(s.frequencyHz, rate / 2 - kTrafficBandEdgeHz);
        EXPECT_TRUE(std::regex_match(s.message, std::regex("[A-Z]{1,2}[0-9][A-Z]{1,3}"))) << s.message;
    }
}

TEST(Qrm, TrafficTakesTurns) {
    constexpr std::int64_t kN = 600 * 8000;  // ten minutes
    const auto gapShortest = static_cast<std::int64_t>(kOverGapShortestS * kRate) - 1;
    for (std::uint64_t seed : {1, 2, 3}) {
        // QSOs: two pairs and a lone station calling CQ.
        const std::vector<QrmStation> qso = makeQrmStations({5, 400, 0, QrmTraffic::Qso}, 700, 25, kRate, kN, seed);
        expectSoundStations(qso, kN, kRate);
        int finished = 0;
        for (std::size_t a = 0; a + 1 < qso.size(); a += 2) {
            const std::size_t b = a + 1;
            EXPECT_EQ(qso[a].partner, static_cast<int>(b));
            EXPECT_EQ(qso[b].partner, static_cast<int>(a));
            EXPECT_EQ(qso[a].role, "qso-partner");
            EXPECT_LE(std::fabs(qso[a].frequencyHz - qso[b].frequencyHz), kQsoPartnerOffsetHz);
            // The partners never key at once, and a listening gap lies between their overs.
            const std::vector<Interval> both = keyDowns(qso, {a, b});
            int changes = 0;
            for (std::size_t i = 1; i < both.size(); ++i) {
                ASSERT_GE(both[i].start, both[i - 1].end) << seed;
                if (both[i].station != both[i - 1].station) {
                    ++changes;
                    EXPECT_GE(both[i].start - both[i - 1].end, gapShortest) << seed << " at " << both[i].start;
                }
            }
            EXPECT_GE(changes, 4) << seed;
            // A QSO read back from the labels: the exchange and both 73s.
            const std::string textA = sentText(qso[a]), textB = sentText(qso[b]);
            for (const auto& [own, other, ownText, otherText] :
                 {std::tuple(qso[a].message, qso[b].message, textA, textB), std::tuple(qso[b].message, qso[a].message, textB, textA)}) {
                const std::string closing = other + " DE " + own + " TNX QSO 73 <SK>";
                if (ownText.find(closing) == std::string::npos) continue;
                EXPECT_NE(ownText.find(other + " DE " + own + " TNX FER CALL UR RST "), std::string::npos);
                EXPECT_NE(otherText.find(own + " DE " + other + " R TNX UR RST "), std::string::npos);
                EXPECT_NE(otherText.find("TU 73 " + own + " DE " + other + " <SK>"), std::string::npos);
                ++finished;
            }
        }
        EXPECT_GE(finished, 1) << seed;
        EXPECT_EQ(qso[4].partner, -1);
        EXPECT_NE(sentText(qso[4]).find("CQ CQ DE " + qso[4].message), std::string::npos);

        // A contest run: one runner, its callers one at a time; its serials count up.
        const std::vector<QrmStation> run = makeQrmStations({4, 400, 0, QrmTraffic::Contest}, 700, 25, kRate, kN, seed);
        expectSoundStations(run, kN, kRate);
        EXPECT_EQ(run[0].role, "runner");
        for (std::size_t k = 1; k < run.size(); ++k) {
            EXPECT_EQ(run[k].role, "caller");
            EXPECT_EQ(run[k].partner, 0);
            EXPECT_LE(std::fabs(run[k].frequencyHz - run[0].frequencyHz), kContestCallerOffsetHz);
            EXPECT_NE(sentText(run[k]).find("TU 5NN "), std::string::npos);
        }
        const std::vector<Interval> all = keyDowns(run);
        for (std::size_t i = 1; i < all.size(); ++i) ASSERT_GE(all[i].start, all[i - 1].end) << seed;
        const std::string runner = sentText(run[0]);
        const std::regex serial("5NN (\\d+)");
        int last = -1, exchanges = 0;
        for (std::sregex_iterator it(runner.begin(), runner.end(), serial), end; it != end; ++it, ++exchanges) {
            const int number = std::stoi((*it)[1].str());
            if (last >= 0) {
                EXPECT_EQ(number, last + 1);
            }
            last = number;
        }
        EXPECT_GT(exchanges, 20) << seed;

        // A pile-up: rounds of callers, each starting within the time spread
        // of its round (a round begins after 1.4 s of silence from everyone:
        // less than the shortest gap between rounds, more than the spread).
        constexpr double kTimeSpreadS = 1;
        const double tone = seed == 1 ? 300 : 1200;  // one close to the band's edge
        const std::vector<QrmStation> pile =
            makeQrmStations({6, 400, 0, QrmTraffic::Pileup, kTimeSpreadS}, tone, 25, kRate, kN, seed);
        expectSoundStations(pile, kN, kRate);
        std::vector<std::int64_t> lastEnd(pile.size(), -kN);
        std::int64_t roundStart = 0, everyonesEnd = -kN, overlap = 0;
        int rounds = 0;
        for (const Interval& key : keyDowns(pile)) {
            if (key.start - everyonesEnd > 1.4 * kRate) {
                roundStart = key.start;
                ++rounds;
            }
            overlap += std::max<std::int64_t>(0, everyonesEnd - key.start);
            everyonesEnd = std::max(everyonesEnd, key.end);
            // A station's new call: more than a word gap after its last mark.
            if (key.start - lastEnd[key.station] > kRate) {
                EXPECT_LE(key.start - roundStart, kTimeSpreadS * kRate) << seed << " at " << key.start;
            }
            lastEnd[key.station] = key.end;
        }
        EXPECT_GT(rounds, 50) << seed;
        EXPECT_GT(overlap, 0) << seed;
        for (const QrmStation& s : pile) {
            EXPECT_EQ(s.role, "caller");
            EXPECT_LE(std::fabs(s.frequencyHz - tone), 400);
        }
    }
    EXPECT_THROW(makeQrmStations({2, 400, 0, QrmTraffic::Qso}, 100, 25, 250, 1000, 1), text::SettingError);
    EXPECT_THROW(makeQrmStations({2, 400, 0, QrmTraffic::Pileup, 11}, 700, 25, kRate, 1000, 1), text::SettingError);
}

TEST(Qrm, TrafficStationsPlayTheirOwnToneAndPath) {
    constexpr std::int64_t kN = 60 * 8000;
    std::vector<QrmStation> list = makeQrmStations({4, 400, -3, QrmTraffic::Qso}, 700, 25, kRate, kN, 9);
    const std::vector<QrmStation> again = makeQrmStations({4, 400, -3, QrmTraffic::Qso}, 700, 25, kRate, kN, 9);
    for (std::size_t k = 0; k < list.size(); ++k) {
        EXPECT_EQ(list[k].runs, again[k].runs);
        EXPECT_EQ(list[k].labels, again[k].labels);
        EXPECT_EQ(list[k].frequencyHz, again[k].frequencyHz);
        EXPECT_EQ(list[k].chirpHz, again[k].chirpHz);
        EXPECT_EQ(list[k].fadingSpreadHz, again[k].fadingSpreadHz);
    }
    EXPECT_NE(makeQrmStations({4, 400, -3, QrmTraffic::Qso}, 700, 25, kRate, kN, 10)[0].runs, list[0].runs);
    // Every kind of voice: chirped and drifting on its own path, steady on
    // the file's fading, drifting only, steady on its own path.
    list[0].chirpHz = 25;
    list[1].chirpHz = list[1].driftHzPerMin = list[1].fadingSpreadHz = 0;
    list[2].chirpHz = list[2].fadingSpreadHz = 0;
    list[3].chirpHz = list[3].driftHzPerMin = 0;
    std::mt19937 random(5);
    for (bool fileFading : {false, true}) {
        const std::optional<QrmFading> fading = fileFading ? std::optional<QrmFading>({1, 1}) : std::nullopt;
        QrmSource single(list, kAmplitude, 40, kRate, kN, 9, fading);
        QrmSource block(list, kAmplitude, 40, kRate, kN, 9, fading);
        std::vector<double> expected(kN), got(kN, 0.0);
        for (double& x : expected) x = single.next();
        for (std::size_t done = 0; done < got.size();) {
            const std::size_t n =
                std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 3000)(random), got.size() - done);
            block.process(got.data() + done, n);
            done += n;
        }
        EXPECT_EQ(got, expected) << fileFading;
        block.reset();
        std::vector<double> head(5000);
        block.process(head.data(), head.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), expected.begin())) << fileFading;
    }
}

}  // namespace
}  // namespace vantel::channel
