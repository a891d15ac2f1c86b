// Each band effect measured end to end on files vantel-gen writes, against
// what its model predicts, and an independent decoder reading a file made
// with several of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <numeric>
#include <regex>
#include <sstream>

#include "support/csv.h"
#include "support/run_command.h"
#include "support/spectrum.h"
#include "support/wav_file.h"

namespace vantel {
namespace {

using testing::CsvRecord;
using testing::labelSpans;
using testing::Span;
using testing::readCsvRecords;
using testing::readWav;
using testing::runIn;
using testing::slurp;
using testing::TempDir;

using Args = std::vector<std::string>;

const std::string kGen = VANTEL_GEN_PATH;

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

double decibels(double ratio) { return 10 * std::log10(ratio); }

// The one file of a sweep made with these options, and its manifest row.
CsvRecord sweepOfOne(const TempDir& dir, const std::string& folder, const Args& args) {
    const auto result = runIn(dir.path(), kGen, Args{"--sweep", "-o", folder, "-q"} + args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto rows = readCsvRecords(slurp(dir / folder / "manifest.csv"));
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? CsvRecord{} : rows[0];
}

double measuredSnr(const std::string& out) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, std::regex(R"(S/N measured: (-?[0-9.]+) dB in )"))) << out;
    return m.empty() ? std::nan("") : std::stod(m[1]);
}

// Fading scales the wanted signal to its unfaded mean power over the file,
// so the measured S/N (key-down power after fading) stays the label's.
TEST(BandStatistics, FadingKeepsTheWantedSignalsMeanPower) {
    TempDir dir;
    const Args tone{"--mode", "tone", "--tone-length", "120", "--rate", "4000", "--snr", "10", "--no-filter",
                    "--level", "-20", "-o", "t.wav"};
    const auto unfaded = runIn(dir.path(), kGen, tone);
    ASSERT_EQ(unfaded.exitCode, 0) << unfaded.err;
    for (const char* preset : {"poor", "flutter"}) {
        const auto faded = runIn(dir.path(), kGen, tone + Args{"--channel", preset});
        ASSERT_EQ(faded.exitCode, 0) << faded.err;
        const double change = measuredSnr(faded.out) - measuredSnr(unfaded.out);
        std::cout << "--channel " << preset << ": measured S/N moved by " << change << " dB\n";
        EXPECT_NEAR(change, 0, 0.2) << preset;
    }
    // The file itself: the faded tone's mean power against the unfaded one's.
    ASSERT_EQ(runIn(dir.path(), kGen, Args{"--mode", "tone", "--tone-length", "120", "--rate", "4000", "--snr", "300",
                                            "--no-filter", "--level", "-20", "--channel", "poor", "-o", "f.wav"})
                  .exitCode,
              0);
    ASSERT_EQ(runIn(dir.path(), kGen, Args{"--mode", "tone", "--tone-length", "120", "--rate", "4000", "--snr", "300",
                                            "--no-filter", "--level", "-20", "-o", "u.wav"})
                  .exitCode,
              0);
    auto meanSquare = [](const std::vector<std::int16_t>& s) {
        return std::accumulate(s.begin(), s.end(), 0.0, [](double a, std::int16_t v) { return a + double(v) * v; }) /
               static_cast<double>(s.size());
    };
    const double fileChange = decibels(meanSquare(readWav(dir / "f.wav").samples) / meanSquare(readWav(dir / "u.wav").samples));
    std::cout << "--channel poor: the file's tone power moved by " << fileChange << " dB\n";
    EXPECT_NEAR(fileChange, 0, 0.2);
}

// Every file of a set keeps the label, not only the set on average: the
// wanted signal's key-down power after fading and QSB is its unfaded power
// in each file, however short, so the measured S/N (one-sided in the
// reference bandwidth) is the label less 3.01 dB in every file.
TEST(BandStatistics, FadingAndQsbKeepTheLabelInEveryFile) {
    TempDir dir;
    const Args conditions[] = {{"--channel", "good"},         {"--channel", "moderate"},
                               {"--channel", "poor"},         {"--channel", "flutter"},
                               {"--fading-delay", "7"},       {"--qsb-depth", "20", "--qsb-period", "8"},
                               {"--channel", "good", "--qsb-depth", "10"}};
    for (const Args& condition : conditions) {
        const auto result = runIn(dir.path(), kGen,
                                  Args{"--sweep", "-o", "s" + condition[1] + condition.back(), "-q", "--snr", "0:9:1",
                                       "--wpm", "20,30", "--message", "CQ TEST DE W1AW", "--rate", "4000",
                                       "--level", "auto"} +
                                      condition);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        std::vector<double> offsets;
        for (const CsvRecord& row : readCsvRecords(slurp(dir / ("s" + condition[1] + condition.back()) / "manifest.csv"))) {
            offsets.push_back(std::stod(row.at("snr_measured_db")) - (std::stod(row.at("snr_db")) - decibels(2)));
        }
        ASSERT_EQ(offsets.size(), 20u);
        std::sort(offsets.begin(), offsets.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
        std::cout << condition[0] << " " << condition[1] << ": measured S/N against the label, median "
                  << offsets[offsets.size() / 2] << " dB, worst " << offsets.back() << " dB\n";
        EXPECT_LT(std::fabs(offsets[offsets.size() / 2]), 0.1) << condition[1];
        EXPECT_LT(std::fabs(offsets.back()), 0.3) << condition[1];
    }
}

// The tone's envelope at each sample: its in-phase and quadrature parts
// under a triangular window two periods wide centred there (one period, a
// whole number of samples, applied twice). Its transform has a double zero
// at twice the tone, so even a steep edge leaks no ripple into the envelope
// and a symmetric edge keeps its half-amplitude point. Samples outside the
// file count as silence.
std::vector<double> toneEnvelope(const std::vector<std::int16_t>& samples, double toneHz, double sampleRate) {
    const auto period = static_cast<std::int64_t>(sampleRate / toneHz);
    const auto n = static_cast<std::int64_t>(samples.size());
    std::vector<double> envelope(samples.size());
    for (std::int64_t t = 0; t < n; ++t) {
        double i = 0, q = 0;
        for (std::int64_t j = std::max(-(period - 1), -t); j <= std::min(period - 1, n - 1 - t); ++j) {
            const double weight = static_cast<double>(period - std::abs(j));
            const double angle = 2 * M_PI * toneHz * static_cast<double>(t + j) / sampleRate;
            const double x = samples[static_cast<std::size_t>(t + j)];
            i += weight * x * std::sin(angle);
            q += weight * x * std::cos(angle);
        }
        envelope[static_cast<std::size_t>(t)] = 2 * std::hypot(i, q) / static_cast<double>(period * period);
    }
    return envelope;
}

// Where the envelope passes half its greatest value: the first sample at or
// above it (rising) and the first at or below it after one above (falling).
std::pair<std::vector<std::int64_t>, std::vector<std::int64_t>> halfAmplitudeCrossings(const std::vector<double>& e) {
    const double half = *std::max_element(e.begin(), e.end()) / 2;
    std::vector<std::int64_t> rising, falling;
    if (!e.empty() && e[0] >= half) rising.push_back(0);  // the file opens keyed
    for (std::size_t t = 1; t < e.size(); ++t) {
        if (e[t - 1] < half && e[t] >= half) rising.push_back(static_cast<std::int64_t>(t));
        if (e[t - 1] > half && e[t] <= half) falling.push_back(static_cast<std::int64_t>(t));
    }
    return {rising, falling};
}

std::int64_t distanceToNearest(const std::vector<std::int64_t>& points, std::int64_t at) {
    std::int64_t best = INT64_MAX;
    for (std::int64_t p : points) best = std::min(best, std::abs(p - at));
    return best;
}

// The farthest a character's label lies from the audio's half-amplitude
// points (blanks have none).
std::int64_t worstLabelDistance(const std::vector<std::int16_t>& samples, double toneHz, double sampleRate,
                                const std::vector<std::string>& texts, const std::vector<Span>& spans) {
    const auto [rising, falling] = halfAmplitudeCrossings(toneEnvelope(samples, toneHz, sampleRate));
    std::int64_t worst = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (texts[i] == " " || spans[i].start == spans[i].end) continue;
        worst = std::max({worst, distanceToNearest(rising, spans[i].start), distanceToNearest(falling, spans[i].end)});
    }
    return worst;
}

std::vector<std::string> characters(const std::string& sent) {
    std::vector<std::string> texts;
    for (char c : sent) texts.emplace_back(1, c);
    return texts;
}

// A label is where the character is heard in the file as written: its start
// and end are the audio's half-amplitude points, through the output filter's
// delay and the key edges alike, for the wanted signal and the other
// stations. The tone has a period of ten samples at both rates, so that the
// envelope is sharp enough to place a hard key's half-amplitude point to a
// sample.
TEST(BandStatistics, LabelsLieOnTheAudiosHalfAmplitudePoints) {
    TempDir dir;
    const struct {
        const char* rate;
        const char* tone;
        Args filter;
        std::int64_t delay;  // length / 2 - 1: the start-up length 200, or 4 x 48000 / 500 = 384
    } cases[] = {
        {"8000", "800", {"--no-filter"}, 0},
        {"8000", "800", {}, 99},
        {"8000", "800", {"--filter-cf", "800", "--filter-bw", "500"}, 99},
        {"48000", "4800", {"--no-filter"}, 0},
        {"48000", "4800", {"--filter-cf", "4800"}, 99},
        {"48000", "4800", {"--filter-cf", "4800", "--filter-bw", "500"}, 191},
    };
    int set = 0;
    for (const auto& c : cases) {
        for (const char* rise : {"0", "5"}) {
            const std::string folder = "l" + std::to_string(set++);
            const CsvRecord row = sweepOfOne(dir, folder,
                                             Args{"--message", "PARIS EMT", "--wpm", "25", "--snr", "300", "--tone",
                                                  c.tone, "--rate", c.rate, "--rise", rise} +
                                                 c.filter);
            const std::vector<Span> spans = labelSpans(row.at("labels"));
            const std::string sent = row.at("message_encoded");
            ASSERT_EQ(spans.size(), sent.size());
            std::string where = std::string(c.rate) + " Hz, rise " + rise + ",";
            for (const std::string& arg : c.filter) where += " " + arg;
            const std::int64_t worst = worstLabelDistance(readWav(dir / folder / row.at("file")).samples,
                                                          std::stod(c.tone), std::stod(c.rate), characters(sent), spans);
            std::cout << where << ": labels within " << worst << " samples of the half-amplitude points\n";
            EXPECT_LE(worst, 2) << where;
            EXPECT_EQ(std::stoll(row.at("filter_delay_samples")), c.delay) << where;
        }
    }
    // A station alone: the wanted signal sends only blanks, and the station
    // keys the tone's own frequency.
    for (const char* rise : {"0", "5"}) {
        const std::string folder = "q" + std::string(rise);
        const CsvRecord row = sweepOfOne(dir, folder, {"--message", std::string(150, ' '), "--qrm", "1",
                                                       "--qrm-spread", "0", "--snr", "300", "--tone", "800", "--rate",
                                                       "8000", "--rise", rise, "--seed", "5"});
        const std::string list = row.at("qrm_station_list");
        const std::regex label(R"re(\{"char":"([^"]*)","start":(\d+),"end":(\d+)\})re");
        std::vector<std::string> texts;
        std::vector<Span> spans;
        for (auto it = std::sregex_iterator(list.begin(), list.end(), label); it != std::sregex_iterator(); ++it) {
            texts.push_back((*it)[1]);
            spans.push_back({std::stoll((*it)[2]), std::stoll((*it)[3])});
        }
        ASSERT_GT(spans.size(), 20u) << list;
        const std::int64_t worst =
            worstLabelDistance(readWav(dir / folder / row.at("file")).samples, 800, 8000, texts, spans);
        std::cout << "a station, rise " << rise << ": labels within " << worst << " samples\n";
        EXPECT_LE(worst, 2) << "rise " << rise;
    }
}

// Crashes arrive as a Poisson process: over T seconds at rate r the count has
// mean and variance rT. Their mean power against the noise follows from the
// model: rate x peak variance (20 dB above the noise's, times E[10^(0.6 z)]
// for z clipped at +-3, 2.597) x the crash's squared envelope (a third of
// the 1 ms rise, then a decay to e^-5 in sd over lengths log-uniform in
// 5..200 ms, mean 52.9 ms, whose squared integral is a tenth of the decay).
TEST(BandStatistics, CrashesArriveAtTheirRateWithTheirPower) {
    TempDir dir;
    constexpr double kRate = 10, kSeconds = 200, kSampleRate = 2000;
    const auto result = runIn(dir.path(), kGen,
                              {"--mode", "tone", "--tone-length", "200", "--rate", "2000", "--snr", "10", "--no-filter",
                               "--level", "-30", "--qrn", "10", "--seed", "11", "-o", "q.wav"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(result.out, m,
                                  std::regex(R"(\nQRN measured: (-?[0-9.]+) dB against the noise \((\d+) crashes\)\n)")))
        << result.out;
    const double crashes = std::stod(m[2]);
    const double expected = kRate * kSeconds;
    std::cout << "QRN: " << crashes << " crashes against " << expected << " expected (sd " << std::sqrt(expected)
              << "), " << m[1] << " dB against the noise\n";
    EXPECT_NEAR(crashes, expected, 4 * std::sqrt(expected));

    const double attack = 0.001 * kSampleRate;
    const double meanLength = 0.005 * kSampleRate * (40 - 1) / std::log(40.0);
    const double envelope = attack / 3 + (meanLength - attack) / 10;
    const double modelDb = decibels(kRate / kSampleRate * 100 * 2.597 * envelope);
    // Lengths and levels vary a lot from crash to crash: the energy of one
    // has a coefficient of variation of about 3.6, so 2000 of them give the
    // mean to about 8 % (0.35 dB); 1.5 dB is more than 4 of those.
    EXPECT_NEAR(std::stod(m[1]), modelDb, 1.5) << "model " << modelDb;
}

// Each station the manifest lists is a peak in the file's spectrum, and
// nothing else stands out beside them and the wanted tone.
TEST(BandStatistics, QrmStationsAreThePeaksOfTheSpectrum) {
    TempDir dir;
    const CsvRecord row = sweepOfOne(dir, "m", {"--qrm", "3", "--qrm-spread", "1200", "--rise", "5", "--snr", "30",
                                                "--no-filter", "--rate", "8000", "--level", "-20", "--seed", "3",
                                                "--message", repeated("CQ TEST ", 8)});
    std::vector<double> stations;
    const std::string list = row.at("qrm_station_list");
    const std::regex frequency(R"("frequency_hz":([0-9.e+-]+))");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), frequency); it != std::sregex_iterator(); ++it) {
        stations.push_back(std::stod((*it)[1]));
    }
    ASSERT_EQ(stations.size(), 3u) << list;
    const auto samples = readWav(dir / "m" / row.at("file")).samples;
    const std::vector<double> x(samples.begin(), samples.end());
    constexpr double kSampleRate = 8000;
    constexpr std::size_t kSize = 8192;  // bins of about 1 Hz
    const std::vector<double> power = testing::averagedPeriodogram(x, kSize);
    const double binHz = kSampleRate / kSize;
    auto peakNear = [&](double f, double halfWidth) {
        double peak = 0;
        for (std::size_t k = 0; k < kSize / 2; ++k) {
            if (std::fabs(static_cast<double>(k) * binHz - f) <= halfWidth) peak = std::max(peak, power[k]);
        }
        return peak;
    };
    std::vector<double> half(power.begin(), power.begin() + kSize / 2);
    std::nth_element(half.begin(), half.begin() + half.size() / 2, half.end());
    const double median = half[half.size() / 2];
    std::vector<double> signals = stations;
    signals.push_back(800);
    double weakest = INFINITY;
    for (const double f : stations) {
        const double peak = peakNear(f, 2);
        std::cout << "QRM station at " << f << " Hz: peak " << decibels(peak / median) << " dB over the median bin\n";
        EXPECT_GT(decibels(peak / median), 30) << f;
        weakest = std::min(weakest, peak);
    }
    double elsewhere = 0;
    for (std::size_t k = 0; k < kSize / 2; ++k) {
        const double f = static_cast<double>(k) * binHz;
        const bool nearSignal = std::any_of(signals.begin(), signals.end(), [&](double s) { return std::fabs(f - s) < 60; });
        if (!nearSignal) elsewhere = std::max(elsewhere, power[k]);
    }
    std::cout << "highest bin away from the signals: " << decibels(elsewhere / weakest) << " dB against the weakest station\n";
    EXPECT_LT(decibels(elsewhere / weakest), -15);
}

struct Moments {
    double mean, sd;
    std::size_t count;
};

Moments momentsOf(const std::vector<double>& values) {
    const double n = static_cast<double>(values.size());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    double squares = 0;
    for (const double v : values) squares += (v - mean) * (v - mean);
    return {mean, std::sqrt(squares / (n - 1)), values.size()};
}

// With the jitter J every run is multiplied by 1 + (J/100) z, z clipped at
// +-3 (which takes 0.5 % off its variance): an E's label spans exactly its
// one dot (240 samples at 4000 Hz, 20 WPM), so the marks' lengths have sd
// 0.1 x 240 = 24 samples (the two edges' rounding adds 0.004), and the gaps
// between the E's (3 dots) sd 72. From n lengths the sd is known to about
// 1 / sqrt(2 (n - 1)), 2.2 % for 1000; 10 % is over 4 of those.
TEST(BandStatistics, JitterSpreadsTheMarksAndGapsAsAsked) {
    TempDir dir;
    const CsvRecord row = sweepOfOne(dir, "j", {"--jitter", "10", "--message", std::string(1001, 'E'), "--rate", "4000",
                                                "--snr", "20", "--seed", "9"});
    const std::vector<Span> spans = labelSpans(row.at("labels"));
    ASSERT_EQ(spans.size(), 1001u);
    std::vector<double> marks, gaps;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        marks.push_back(static_cast<double>(spans[i].end - spans[i].start));
        if (i > 0) gaps.push_back(static_cast<double>(spans[i].start - spans[i - 1].end));
    }
    const double expectedSd = 0.1 * std::sqrt(0.995);
    for (const auto& [name, values, nominal] :
         {std::tuple{"marks", marks, 240.0}, std::tuple{"gaps", gaps, 720.0}}) {
        const Moments m = momentsOf(values);
        std::cout << "jitter 10 %: " << name << " mean " << m.mean << " sd " << m.sd << " samples (expected "
                  << nominal << ", " << expectedSd * nominal << ")\n";
        EXPECT_NEAR(m.mean, nominal, 4 * expectedSd * nominal / std::sqrt(static_cast<double>(m.count))) << name;
        EXPECT_NEAR(m.sd / (expectedSd * nominal), 1, 0.1) << name;
    }
}

// ARRL Farnsworth timing at character speed c = 20 and overall s = 10 WPM:
// ta = (60c - 37.2s) / (sc) = 4.14 s, a character gap of 3 ta / 19 and a
// word gap of 7 ta / 19 seconds; every edge is rounded to a sample on its
// own, so each gap is within one sample of its exact length.
TEST(BandStatistics, FarnsworthGapsAreTheArrlLengthsToASample) {
    TempDir dir;
    constexpr double kSampleRate = 8000;
    const CsvRecord row = sweepOfOne(dir, "f", {"--farnsworth", "10", "--wpm", "20", "--message", "PARIS PARIS PARIS",
                                                "--rate", "8000", "--snr", "20"});
    const std::string sent = row.at("message_encoded");
    const std::vector<Span> spans = labelSpans(row.at("labels"));
    ASSERT_EQ(sent, "PARIS PARIS PARIS");
    ASSERT_EQ(spans.size(), sent.size());
    const double ta = (60.0 * 20 - 37.2 * 10) / (10.0 * 20);
    const double characterGap = 3 * ta / 19 * kSampleRate, wordGap = 7 * ta / 19 * kSampleRate;
    int characterGaps = 0, wordGaps = 0;
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (sent[i] == ' ') continue;
        const bool afterBlank = sent[i - 1] == ' ';
        const std::int64_t gap = spans[i].start - spans[afterBlank ? i - 2 : i - 1].end;
        EXPECT_NEAR(static_cast<double>(gap), afterBlank ? wordGap : characterGap, 1.0) << i;
        ++(afterBlank ? wordGaps : characterGaps);
    }
    EXPECT_EQ(characterGaps, 12);
    EXPECT_EQ(wordGaps, 2);
    // The characters themselves keep the character speed: P is .--. , 11 dots
    // from its first mark's start to its last mark's end (dot 480 samples).
    EXPECT_EQ(spans[0].end - spans[0].start, 11 * 480);
}

// The keyed spectrum of "PARIS " at 20 WPM on a 1500 Hz tone, measured as the
// edge shaper's own test does: the mean bin within +-10 Hz of tone +-200 Hz
// against the tone's bin (8192-point Hann periodogram at 12 kHz).
double sidebandDb(const TempDir& dir, const Args& edges) {
    const auto made = runIn(dir.path(), kGen, Args{"--message", repeated("PARIS ", 40), "--wpm", "20", "--rate", "12000",
                                                   "--tone", "1500", "--snr", "300", "--no-filter", "--level", "-6",
                                                   "-o", "k.wav"} + edges);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    const auto samples = readWav(dir / "k.wav").samples;
    const std::vector<double> x(samples.begin(), samples.end());
    constexpr double kRate = 12000, kTone = 1500;
    constexpr std::size_t kSize = 8192;
    const std::vector<double> power = testing::averagedPeriodogram(x, kSize);
    const double binHz = kRate / kSize;
    const double side = testing::bandPower(power, kRate, kTone - 200, 10) + testing::bandPower(power, kRate, kTone + 200, 10);
    const double bins = 2 * (2 * std::floor(10 / binHz) + 1);
    return decibels(side / bins / power[static_cast<std::size_t>(std::lround(kTone / binHz))]);
}

TEST(BandStatistics, FiveMillisecondEdgesKeepTheClicksFortyDecibelsDown) {
    TempDir dir;
    const double hard = sidebandDb(dir, {});
    const double soft = sidebandDb(dir, {"--rise", "5"});
    std::cout << "200 Hz from the tone, per bin against the tone's: hard keying " << hard << " dB, --rise 5 " << soft
              << " dB\n";
    ::testing::Test::RecordProperty("hard_200Hz_dB", std::to_string(hard));
    ::testing::Test::RecordProperty("rise5_200Hz_dB", std::to_string(soft));
    EXPECT_LT(soft, -40);
    // The half-sine edge's response at f L = 1 is 1/9 (-9.5 dB): 8.4 to 10.8
    // dB over the +-10 Hz measured.
    EXPECT_LT(soft - hard, -8.4);
    EXPECT_GT(soft - hard, -10.8);
}

std::string withoutBlanks(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
            s.end());
    return s;
}

std::string decode(const TempDir& dir, const std::string& file) {
    const auto decoded = runIn(dir.path(), "multimon-ng", {"-q", "-a", "MORSE_CW", "-t", "wav", file});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    std::cout << "multimon-ng read " << file << ": " << decoded.out << "\n";
    return withoutBlanks(decoded.out);
}

// The edges, Farnsworth spacing and a 10 % fist straight into the decoder;
// with fading as well, through what a receiver puts before a decoder: a
// 200 Hz filter and an AGC (sox). multimon-ng's decoder holds its threshold
// at 2/3 of the level it has seen, so on its own it loses the marks of any
// fade deeper than 3.5 dB, and even the good channel's Rayleigh fading goes
// deeper than that within seconds. "VVV" lets the AGC and the decoder
// settle, as an operator's tuning call does.
TEST(BandStatistics, AnIndependentDecoderReadsABandConditionedFile) {
    TempDir dir;
    const Args keying{"--snr", "30", "--rise", "5", "--farnsworth", "10", "--wpm", "20", "--jitter", "10"};
    const auto made =
        runIn(dir.path(), kGen, Args{"--message", "cq de vantel paris 73    ", "--seed", "7", "-o", "cw.wav"} + keying);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(decode(dir, "cw.wav").find("CQDEVANTELPARIS73"), std::string::npos);
    for (const char* seed : {"1", "2", "7"}) {
        const auto faded = runIn(dir.path(), kGen,
                                 Args{"--message", "vvv cq de vantel paris 73    ", "--channel", "good", "--level", "-12",
                                      "--seed", seed, "-o", "faded.wav"} + keying);
        ASSERT_EQ(faded.exitCode, 0) << faded.err;
        const auto received = runIn(dir.path(), "sox", {"faded.wav", "received.wav", "sinc", "700-900", "compand",
                                                        "0.002,0.3", "-90,-90,-40,-10,0,-10", "-3"});
        ASSERT_EQ(received.exitCode, 0) << received.err;
        EXPECT_NE(decode(dir, "received.wav").find("CQDEVANTELPARIS73"), std::string::npos) << "seed " << seed;
    }
}

// The band as it sounds on the air, one condition at a time, loud enough
// that only a fault could keep an independent decoder from reading the
// wanted signal through the receiver a decoder sits behind.
TEST(BandStatistics, AnIndependentDecoderReadsThroughEachRealisticCondition) {
    TempDir dir;
    const std::vector<Args> conditions{
        {"--qrm", "4", "--qrm-traffic", "qso", "--qrm-level", "-15", "--qrm-spread", "2000"},
        {"--qrm", "4", "--qrm-traffic", "contest", "--qrm-level", "-15", "--qrm-spread", "2000"},
        {"--qrm", "8", "--qrm-traffic", "pileup", "--qrm-level", "-15", "--qrm-spread", "2000", "--qrm-time-spread", "2"},
        {"--qrn", "1", "--qrn-model", "class-a", "--qrn-level", "10"},
        {"--qsb-random", "3", "--qsb-time", "20"},
        {"--fading-paths", "0:0.1/0.5:0.1:-20:0.5"},
        {"--receiver", "--if-shape", "crystal", "--if-bw", "300", "--agc", "fast", "--hum", "50"},
    };
    for (const Args& condition : conditions) {
        const auto made = runIn(dir.path(), kGen,
                                Args{"--message", "vvv cq de vantel paris 73    ", "--snr", "30", "--seed", "3",
                                     "--level", "-12", "-o", "band.wav"} + condition);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const auto received = runIn(dir.path(), "sox", {"band.wav", "received.wav", "sinc", "700-900", "compand",
                                                        "0.002,0.3", "-90,-90,-40,-10,0,-10", "-3"});
        ASSERT_EQ(received.exitCode, 0) << received.err;
        EXPECT_NE(decode(dir, "received.wav").find("CQDEVANTELPARIS73"), std::string::npos) << condition[0];
    }
}

// Without its AGC the receiver is a linear filter: the S/N at its output is
// the key-down power over the noise in the filter's noise bandwidth, which
// for a 300 Hz Butterworth is about 268 Hz; the label keeps its own meaning
// at the antenna, and the labels move by the filter's delay.
TEST(BandStatistics, TheReceiversOutputSnrIsTheNoiseInItsBandwidth) {
    TempDir dir;
    const Args common{"--message", repeated("paris ", 20), "--snr", "10", "--bw", "2500", "--seed", "4"};
    const CsvRecord plain = sweepOfOne(dir, "plain", common);
    const CsvRecord received =
        sweepOfOne(dir, "rx", common + Args{"--receiver", "--if-shape", "butterworth", "--if-bw", "300", "--agc", "off"});
    const double antenna = std::stod(received.at("snr_measured_2500hz_db"));
    EXPECT_NEAR(antenna, std::stod(plain.at("snr_measured_2500hz_db")), 1e-9);
    EXPECT_NEAR(std::stod(received.at("snr_output_db")), antenna + decibels(2500.0 / 268.4), 0.5);
    EXPECT_TRUE(plain.at("snr_output_db").empty());
    const std::int64_t delay = std::stoll(received.at("receiver_delay_samples"));
    EXPECT_GT(delay, 10);
    const std::vector<Span> before = labelSpans(plain.at("labels"));
    const std::vector<Span> after = labelSpans(received.at("labels"));
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i].start, before[i].start + delay) << i;
}

}  // namespace
}  // namespace vantel
