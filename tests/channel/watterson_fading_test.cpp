#include "channel/watterson_fading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <iostream>
#include <numbers>
#include <random>

#include "channel/band_conditions.h"
#include "channel/multipath_fading.h"
#include "support/spectrum.h"

namespace vantel::channel {
namespace {

using random::RandomStream;
using random::StreamId;

constexpr std::uint64_t kSeed = 20240611;

RandomStream stream(StreamId id) { return RandomStream(kSeed, id); }

std::vector<ComplexGain> gains(DopplerPath path, std::size_t n) {
    std::vector<double> re(n), im(n);
    path.process(re.data(), im.data(), n);
    std::vector<ComplexGain> out(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = {re[k], im[k]};
    return out;
}

double power(const ComplexGain& g) { return g.re * g.re + g.im * g.im; }

TEST(WattersonFading, PresetsAndRefusals) {
    // ITU-R F.1487's mid-latitude good, moderate and poor channels, and
    // flutter; then the recommendation's test channels, each latitude's
    // quiet, moderate and disturbed conditions (and NVIS at mid latitudes).
    struct Row {
        const char* name;
        double spreadHz;
        double delayMs;
    };
    const Row rows[] = {{"good", 0.1, 0.5},           {"moderate", 0.5, 1},         {"poor", 1, 2},
                        {"flutter", 10, 0.5},         {"itu-low-quiet", 0.5, 0.5},  {"itu-low-moderate", 1.5, 2},
                        {"itu-low-disturbed", 10, 6}, {"itu-mid-quiet", 0.1, 0.5},  {"itu-mid-moderate", 0.5, 1},
                        {"itu-mid-disturbed", 1, 2},  {"itu-mid-nvis", 1, 7},       {"itu-high-quiet", 0.5, 1},
                        {"itu-high-moderate", 10, 3}, {"itu-high-disturbed", 30, 7}};
    ASSERT_EQ(kFadingPresets.size(), std::size(rows));
    for (std::size_t k = 0; k < std::size(rows); ++k) {
        EXPECT_EQ(kFadingPresets[k].name, rows[k].name);
        EXPECT_EQ(fadingPreset(rows[k].name).spreadHz, rows[k].spreadHz) << rows[k].name;
        EXPECT_EQ(fadingPreset(rows[k].name).delayMs, rows[k].delayMs) << rows[k].name;
    }
    try {
        fadingPreset("Moderate");
        ADD_FAILURE();
    } catch (const text::SettingError& error) {
        EXPECT_STREQ(error.what(),
                     "unknown fading preset 'Moderate': use good, moderate, poor, flutter, itu-low-quiet, "
                     "itu-low-moderate, itu-low-disturbed, itu-mid-quiet, itu-mid-moderate, itu-mid-disturbed, "
                     "itu-mid-nvis, itu-high-quiet, itu-high-moderate or itu-high-disturbed");
    }
    EXPECT_THROW(fadingPreset("itu-mid"), text::SettingError);

    // --fading-paths: read strictly, every number within its limit, and
    // written back canonically.
    const std::vector<FadingPathSetting> paths = parseFadingPaths("0:0.5/1:0.5:-3/2.5:1:-6:+2");
    EXPECT_EQ(paths, (std::vector<FadingPathSetting>{{0, 0.5, 0, 0}, {1, 0.5, -3, 0}, {2.5, 1, -6, 2}}));
    EXPECT_EQ(fadingPathsText(paths), "0:0.5/1:0.5:-3/2.5:1:-6:2");
    EXPECT_EQ(parseFadingPaths("10:50:-40:-100/.5:1e-2:0:100/0:3:0:1e1/7.25:0.01:-0.5"),
              (std::vector<FadingPathSetting>{{10, 50, -40, -100}, {0.5, 0.01, 0, 100}, {0, 3, 0, 10},
                                              {7.25, 0.01, -0.5, 0}}));
    const std::vector<FadingPathSetting> awkward{
        {0.1 + 0.2, 1.0 / 3, -40 / 3.0, 1e-7}, {1e-9, 0.01, 0, -0.1 - 0.2}, {10, 49.999999999999993, -1e-300, 0}};
    EXPECT_EQ(parseFadingPaths(fadingPathsText(awkward)), awkward) << fadingPathsText(awkward);
    for (const char* bad : {"", "/", "1", "0:0.5/", "/0:0.5", "0:0.5:", "0:0.5:0:0:0", "0:0.5/1:1/2:1/3:1/4:1",
                            "0:abc", "0:0.5 ", " 0:0.5", "0: 0.5", "0:1e", "0:0x10", "0:inf", "0:nan", "0:1,2",
                            "+-1:1", "0:--1", "0:0.5;1:1", "11:1", "-1:1", "0:0", "0:60", "0:1:1", "0:1:-41",
                            "0:1:0:101", "0:1:0:-100.5", "0:1:1e400"}) {
        try {
            parseFadingPaths(bad);
            ADD_FAILURE() << bad;
        } catch (const text::SettingError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
            EXPECT_NE(message.find("DELAY:SPREAD[:POWER[:SHIFT]]"), std::string::npos) << message;
        }
    }
    try {
        parseFadingPaths("0:0.5/2:0.5:-3x");
        ADD_FAILURE();
    } catch (const text::SettingError& error) {
        EXPECT_STREQ(error.what(),
                     "bad --fading-paths '0:0.5/2:0.5:-3x': path 2's power '-3x' is not a number; use "
                     "DELAY:SPREAD[:POWER[:SHIFT]] per path (ms, Hz, dB, Hz), 1 to 4 paths separated by '/', "
                     "e.g. 0:0.5/2:1:-6");
    }
    EXPECT_THROW(MultipathChannel::forFile(kSeed, {}, 8000), text::SettingError);
    EXPECT_THROW(MultipathChannel::forFile(kSeed, std::vector<FadingPathSetting>(5), 8000), text::SettingError);
    EXPECT_THROW(MultipathChannel::forFile(kSeed, {{0, 0.5, 3, 0}}, 8000), text::SettingError);
    EXPECT_THROW(MultipathChannel::forStation(kSeed, 2, {{0, 0.5, 0, 0}, {0, 0.5, 0, 101}}, 8000),
                 text::SettingError);
    EXPECT_THROW(DopplerPath(NAN, 8000, stream(StreamId::FadingPath1)), text::SettingError);
    EXPECT_THROW(DopplerPath(0, 8000, stream(StreamId::FadingPath1)), text::SettingError);
    EXPECT_THROW(DopplerPath(51, 8000, stream(StreamId::FadingPath1)), text::SettingError);
    EXPECT_THROW(WattersonChannel::forFile(kSeed, 1, 11, 8000), text::SettingError);
    EXPECT_THROW(WattersonChannel::forFile(kSeed, 1, -1, 8000), text::SettingError);
    EXPECT_EQ(WattersonChannel::forFile(kSeed, 1, 2, 8000).delaySamples(), 16);
}

TEST(WattersonFading, BlocksGiveTheSamplesOneAtATimeDo) {
    std::mt19937 random(11);
    DopplerPath path(10, 8000, stream(StreamId::FadingPath2));
    const std::vector<ComplexGain> block = gains(path, 5000);
    for (std::size_t n = 0; n < block.size(); ++n) {
        const ComplexGain g = path.next();
        ASSERT_EQ(g.re, block[n].re) << n;
        ASSERT_EQ(g.im, block[n].im) << n;
    }
    for (const FadingPreset& preset : kFadingPresets) {
        for (double rate : {1000.0, 8000.0}) {
            WattersonChannel single = WattersonChannel::forFile(kSeed, preset.spreadHz, preset.delayMs, rate);
            WattersonChannel block = single;
            const std::size_t total = 30000;
            std::vector<double> i(total), q(total), expected(total), got(total);
            for (std::size_t n = 0; n < total; ++n) {
                i[n] = std::sin(0.3 * static_cast<double>(n)) * (n % 500 < 300 ? 1 : 0);
                q[n] = std::cos(0.3 * static_cast<double>(n)) * (n % 500 < 300 ? 1 : 0);
                expected[n] = single.next(i[n], q[n]);
            }
            for (std::size_t done = 0; done < total;) {
                const std::size_t n =
                    std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 3000)(random), total - done);
                block.process(i.data() + done, q.data() + done, got.data() + done, n);
                done += n;
            }
            EXPECT_EQ(got, expected) << preset.name << " at " << rate;
            block.reset();
            EXPECT_EQ(block.next(i[0], q[0]), expected[0]);
        }
    }
}

TEST(WattersonFading, MeanPowerIsTheGainsOwnBeforeAnySampleIsMade) {
    DopplerPath path(10, 8000, stream(StreamId::FadingPath1));  // 8000 / 640 = 12.5 samples a point, to even
    ASSERT_EQ(path.samplesPerPoint(), 12);
    for (std::int64_t n : {1, 11, 12, 13, 1000, 99999}) {
        DopplerPath walk = path;
        double sum = 0;
        for (std::int64_t k = 0; k < n; ++k) sum += power(walk.next());
        EXPECT_NEAR(path.meanPower(n), sum / static_cast<double>(n), 1e-12 * sum / static_cast<double>(n)) << n;
    }
    // The channel scales to unit mean gain power over the file.
    WattersonChannel channel = WattersonChannel::forFile(kSeed, 0.5, 1, 8000);
    const double mean = channel.meanGainPower(480000);
    channel.normaliseOver(480000);
    EXPECT_NEAR(channel.scale(), 1 / std::sqrt(mean), 1e-15);
    EXPECT_EQ(channel.meanGainPower(480000), mean);  // reporting moves nothing on
}

TEST(WattersonFading, PathsAreIndependentRayleighFadesOfPowerOneHalf) {
    // Flutter (sigma 5 Hz) for 2400 s at 1 kHz. With rho(d) = exp(-2 pi^2
    // sigma^2 d^2) the gains' correlation, a mean over T has relative
    // variance (1/T) times the integral of the covariance: for |g|^2 the
    // integral of rho^2, 1 / (2 sqrt(pi) sigma) = 0.056 s, so a relative
    // standard error of 0.5 %; for |g|^4 the integral of 4 rho^2 + rho^4,
    // 0.27 s, 1.1 %; for the cross term E[g1 g2*] 0.25 * 0.056 s, 0.0024
    // absolute; for the fraction below a level at most the same as |g|^2
    // times p(1-p). Tolerances are four or more of these.
    constexpr std::size_t kN = 2400000;
    const std::vector<ComplexGain> g1 = gains(DopplerPath(10, 1000, stream(StreamId::FadingPath1)), kN);
    const std::vector<ComplexGain> g2 = gains(DopplerPath(10, 1000, stream(StreamId::FadingPath2)), kN);
    for (const auto* g : {&g1, &g2}) {
        double m2 = 0, m4 = 0;
        const double levels[] = {0.1, 0.5, 1, 2};
        double below[4] = {};
        for (const ComplexGain& x : *g) {
            const double p = power(x);
            m2 += p;
            m4 += p * p;
            for (int k = 0; k < 4; ++k) below[k] += p < levels[k] * 0.5;
        }
        m2 /= kN;
        m4 /= kN;
        std::cout << "path power " << m2 << ", E|g|^4 / E|g|^2^2 " << m4 / (m2 * m2)
                  << ", below 0.1/0.5/1/2 of the mean "
                  << below[0] / kN << " " << below[1] / kN << " " << below[2] / kN << " " << below[3] / kN << "\n";
        EXPECT_NEAR(m2, 0.5, 0.012);
        EXPECT_NEAR(m4 / (m2 * m2), 2, 0.2);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(below[k] / kN, 1 - std::exp(-levels[k]), 0.012) << levels[k];
    }
    double crossRe = 0, crossIm = 0;
    for (std::size_t n = 0; n < kN; ++n) {
        crossRe += g1[n].re * g2[n].re + g1[n].im * g2[n].im;
        crossIm += g1[n].im * g2[n].re - g1[n].re * g2[n].im;
    }
    EXPECT_NEAR(crossRe / kN, 0, 0.012);
    EXPECT_NEAR(crossIm / kN, 0, 0.012);
}

// The spread as twice the square root of the gain spectrum's second moment,
// within 5 sigma of 0 Hz.
double measuredSpread(double spreadHz, double rate, std::size_t samples) {
    const std::vector<ComplexGain> g = gains(DopplerPath(spreadHz, rate, stream(StreamId::FadingPath1)), samples);
    std::vector<std::complex<double>> x(samples);
    for (std::size_t n = 0; n < samples; ++n) x[n] = {g[n].re, g[n].im};
    constexpr std::size_t kSize = 8192;
    const std::vector<double> psd = testing::averagedPeriodogram(x, kSize);
    const double binHz = rate / kSize;
    double total = 0, moment = 0;
    for (std::size_t k = 0; k < kSize; ++k) {
        const double f = (k < kSize / 2 ? static_cast<double>(k) : static_cast<double>(k) - kSize) * binHz;
        if (std::fabs(f) > 2.5 * spreadHz) continue;
        total += psd[k];
        moment += f * f * psd[k];
    }
    const double spread = 2 * std::sqrt(moment / total);
    std::cout << "spread " << spreadHz << " Hz measured " << spread << " Hz\n";
    return spread;
}

TEST(WattersonFading, DopplerSpreadIsTheSetting) {
    // For a Gaussian spectrum of standard deviation sigma the second moment
    // estimated over T seconds has relative variance 3 / (8 sqrt(pi) sigma T):
    // standard errors on the spread of 0.2 % (flutter, 1200 s; poor,
    // 12,000 s) and 0.4 % (good, 60,000 s). The Hann window adds
    // 1 / (3 T_seg^2) to the moment, below 0.03 %. The rates give 2, 3 and 4
    // samples per point, so each run is a different sequence.
    EXPECT_NEAR(measuredSpread(10, 1000, 1200000), 10, 10 * 0.02);   // flutter
    EXPECT_NEAR(measuredSpread(1, 200, 2400000), 1, 0.02);           // poor
    EXPECT_NEAR(measuredSpread(0.1, 24, 1440000), 0.1, 0.1 * 0.02);  // good
}

TEST(WattersonFading, FadedToneKeepsItsMeanPowerAfterNormalising) {
    // Flutter for 300 s at 4 kHz. The faded power differs from the gains'
    // mean only by the paths' cross term, whose relative standard deviation
    // is sqrt(1 / (4 sqrt(pi) sigma T)) = 1 %, 0.04 dB.
    constexpr double kRate = 4000, kTone = 700;
    constexpr std::int64_t kN = 1200000;
    WattersonChannel channel = WattersonChannel::forFile(kSeed, 10, 0.5, kRate);
    channel.normaliseOver(kN);
    double clean = 0, faded = 0;
    for (std::int64_t n = 0; n < kN; ++n) {
        const double theta = 2 * std::numbers::pi * kTone * static_cast<double>(n) / kRate;
        const double out = channel.next(1000 * std::sin(theta), 1000 * std::cos(theta));
        clean += 1000.0 * 1000.0 * std::sin(theta) * std::sin(theta);
        faded += out * out;
    }
    std::cout << "faded / clean power " << 10 * std::log10(faded / clean) << " dB\n";
    EXPECT_NEAR(10 * std::log10(faded / clean), 0, 0.2);
}

TEST(WattersonFading, SecondPathHearsTheInputLater) {
    // An impulse: the first path answers at once, the second after the delay.
    WattersonChannel channel(1, 2, 8000, stream(StreamId::FadingPath1), stream(StreamId::FadingPath2));
    DopplerPath path1(1, 8000, stream(StreamId::FadingPath1)), path2(1, 8000, stream(StreamId::FadingPath2));
    ASSERT_EQ(channel.delaySamples(), 16);
    for (int n = 0; n < 40; ++n) {
        const ComplexGain g1 = path1.next(), g2 = path2.next();
        const double out = channel.next(n == 0 ? 1.0 : 0.0, n == 3 ? 1.0 : 0.0);
        double expected = n == 0 ? g1.re : n == 3 ? g1.im : 0;
        if (n == 16) expected = g2.re;
        if (n == 19) expected = g2.im;
        EXPECT_DOUBLE_EQ(out, expected) << n;
    }
}

// A keyed tone's components, for the block and sample paths to agree on.
void keyedTone(std::size_t n, std::vector<double>& i, std::vector<double>& q) {
    i.resize(n);
    q.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double key = k % 500 < 300 ? 1 : 0;
        i[k] = std::sin(0.3 * static_cast<double>(k)) * key;
        q[k] = std::cos(0.3 * static_cast<double>(k)) * key;
    }
}

std::vector<double> inBlocks(MultipathChannel& channel, const std::vector<double>& i, const std::vector<double>& q,
                             std::mt19937& random) {
    std::vector<double> out(i.size());
    for (std::size_t done = 0; done < i.size();) {
        const std::size_t n =
            std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 3000)(random), i.size() - done);
        channel.process(i.data() + done, q.data() + done, out.data() + done, n);
        done += n;
    }
    return out;
}

TEST(MultipathFading, EachPathIsItsGainDelayedWeightedAndShifted) {
    std::mt19937 random(5);
    // Delays of 0, 8, 20 and 32 samples at 8 kHz.
    const std::vector<FadingPathSetting> settings{{0, 1, 0, 0}, {1, 2, -3, 5}, {2.5, 0.5, -6, -7.5}, {4, 10, -10, 40}};
    constexpr double kRate = 8000;
    const MultipathChannel channel = MultipathChannel::forFile(kSeed, settings, kRate);
    ASSERT_EQ(channel.delaySamples(), 32);

    // Impulses every 50 samples, in phase to one copy and in quadrature to
    // another: each path answers alone, its delay later, with the real and
    // imaginary parts of its gain, the DopplerPath's of its own stream
    // times sqrt(2 p / sum p) times exp(j 2 pi shift t).
    constexpr std::size_t kN = 400000;
    const StreamId ids[] = {StreamId::FadingPath1, StreamId::FadingPath2, StreamId::FadingPath3, StreamId::FadingPath4};
    const std::int64_t delays[] = {0, 8, 20, 32};
    double total = 0;
    for (const FadingPathSetting& s : settings) total += std::pow(10, s.powerDb / 10);
    std::vector<double> impulses(kN), none(kN, 0.0);
    for (std::size_t n = 0; n < kN; n += 50) impulses[n] = 1;
    MultipathChannel inPhase = channel, quadrature = channel;
    const std::vector<double> re = inBlocks(inPhase, impulses, none, random);
    const std::vector<double> im = inBlocks(quadrature, none, impulses, random);
    std::vector<std::complex<double>> expected(kN);
    for (std::size_t p = 0; p < 4; ++p) {
        DopplerPath path(settings[p].spreadHz, kRate, stream(ids[p]));
        const double amplitude = std::sqrt(2 * std::pow(10, settings[p].powerDb / 10) / total);
        for (std::size_t n = 0; n < kN; ++n) {
            const ComplexGain g = path.next();
            const auto input = static_cast<std::int64_t>(n) - delays[p];
            if (input < 0 || input % 50 != 0) continue;
            // The shifts are whole multiples of 1/2 Hz: shift n is exact, and fmod too.
            const double cycles = std::fmod(settings[p].shiftHz * static_cast<double>(n), kRate) / kRate;
            const double turn = 2 * std::numbers::pi * cycles;
            expected[n] = amplitude * std::complex<double>(g.re, g.im) * std::polar(1.0, turn);
        }
    }
    for (std::size_t n = 0; n < kN; ++n) {
        ASSERT_NEAR(re[n], expected[n].real(), 1e-12) << n;
        ASSERT_NEAR(im[n], expected[n].imag(), 1e-12) << n;
    }

    // The same samples one at a time as in blocks, at two rates, through
    // silence skipped and after a reset.
    for (double rate : {8000.0, 11025.0}) {
        MultipathChannel single = MultipathChannel::forStation(kSeed, 3, settings, rate), block = single;
        std::vector<double> i, q;
        keyedTone(30000, i, q);
        std::vector<double> expectedOut(i.size());
        for (std::size_t n = 0; n < i.size(); ++n) expectedOut[n] = single.next(i[n], q[n]);
        EXPECT_EQ(inBlocks(block, i, q, random), expectedOut) << rate;
        // A station's paths take its sub-stream of each QRM path stream.
        std::vector<RandomStream> streams;
        for (StreamId id : {StreamId::QrmFadingPath1, StreamId::QrmFadingPath2, StreamId::QrmFadingPath3,
                            StreamId::QrmFadingPath4}) {
            streams.push_back(stream(id).derive(3));
        }
        MultipathChannel byHand(settings, rate, streams);
        for (std::size_t n = 0; n < 2000; ++n) ASSERT_EQ(byHand.next(i[n], q[n]), expectedOut[n]) << n;
        block.reset();
        EXPECT_EQ(block.next(i[0], q[0]), expectedOut[0]);
        // Silence after key-up (sample 29800 on): skipped, it leaves the
        // channel where making it would.
        std::vector<double> after(1000), afterI(1000, 0.3), afterQ(1000, -0.4);
        for (std::size_t n = 0; n < 5000; ++n) single.next(0, 0);
        for (std::size_t n = 0; n < after.size(); ++n) after[n] = single.next(afterI[n], afterQ[n]);
        block.reset();
        block.process(i.data(), q.data(), expectedOut.data(), i.size());
        block.skipSilence(5000);
        EXPECT_EQ(inBlocks(block, afterI, afterQ, random), after) << rate;
    }

    // Two equal paths without shift from the file's first two streams are the
    // Watterson channel, sample for sample.
    for (const FadingPreset& preset : kFadingPresets) {
        WattersonChannel watterson = WattersonChannel::forFile(kSeed, preset.spreadHz, preset.delayMs, 8000);
        MultipathChannel multipath = MultipathChannel::forFile(
            kSeed, {{0, preset.spreadHz, 0, 0}, {preset.delayMs, preset.spreadHz, 0, 0}}, 8000);
        EXPECT_EQ(multipath.meanGainPower(100000), watterson.meanGainPower(100000));
        multipath.normaliseOver(100000);
        watterson.normaliseOver(100000);
        std::vector<double> i, q;
        keyedTone(20000, i, q);
        std::vector<double> expectedOut(i.size());
        watterson.process(i.data(), q.data(), expectedOut.data(), i.size());
        EXPECT_EQ(inBlocks(multipath, i, q, random), expectedOut) << preset.name;
    }
}

TEST(MultipathFading, ShiftsMovePathSpectraAndPowersComeOutAsGiven) {
    // Two paths of spread 0.5 Hz (sigma 0.25 Hz) at 100 Hz for 8000 s, one
    // shifted by +3 Hz, the other, 6 dB weaker, by -3 Hz: the channel's gain,
    // read through constant in-phase and quadrature inputs, has its spectrum
    // in two Gaussians 24 sigma apart. Each path's mean power over T has a
    // relative standard error of sqrt(1 / (2 sqrt(pi) sigma T)) = 1.2 %, so
    // their ratio 1.7 %, 0.07 dB; a Gaussian's centroid over T has a
    // standard error of sigma sqrt(1 / (2 sqrt(pi) sigma T)), 0.003 Hz.
    constexpr double kRate = 100;
    constexpr std::size_t kN = 800000;
    const MultipathChannel channel = MultipathChannel::forFile(kSeed, {{0, 0.5, 0, 3}, {1, 0.5, -6, -3}}, kRate);
    MultipathChannel inPhase = channel, quadrature = channel;
    std::vector<double> ones(kN, 1.0), zeros(kN, 0.0), re(kN), im(kN);
    inPhase.process(ones.data(), zeros.data(), re.data(), kN);
    quadrature.process(zeros.data(), ones.data(), im.data(), kN);
    std::vector<std::complex<double>> gain(kN);
    for (std::size_t n = 0; n < kN; ++n) gain[n] = {re[n], im[n]};
    constexpr std::size_t kSize = 1024;
    const double binHz = kRate / kSize;
    const std::vector<double> psd = testing::averagedPeriodogram(gain, kSize);
    struct Band {
        double power = 0, moment = 0, peakPower = 0, peakHz = 0;
    } bands[2];
    for (std::size_t k = 0; k < kSize; ++k) {
        const double f = (k < kSize / 2 ? static_cast<double>(k) : static_cast<double>(k) - kSize) * binHz;
        Band& band = bands[f > 0 ? 0 : 1];
        if (std::fabs(std::fabs(f) - 3) > 1.5) continue;  // 6 sigma either side
        band.power += psd[k];
        band.moment += f * psd[k];
        if (psd[k] > band.peakPower) band.peakPower = psd[k], band.peakHz = f;
    }
    const double ratioDb = 10 * std::log10(bands[1].power / bands[0].power);
    std::cout << "shifted paths: peaks at " << bands[0].peakHz << " and " << bands[1].peakHz << " Hz, centroids "
              << bands[0].moment / bands[0].power << " and " << bands[1].moment / bands[1].power
              << " Hz, powers " << bands[0].power << " and " << bands[1].power << " (" << ratioDb << " dB)\n";
    EXPECT_NEAR(bands[0].peakHz, 3, binHz * 1.01);
    EXPECT_NEAR(bands[1].peakHz, -3, binHz * 1.01);
    EXPECT_NEAR(bands[0].moment / bands[0].power, 3, 0.02);
    EXPECT_NEAR(bands[1].moment / bands[1].power, -3, 0.02);
    EXPECT_NEAR(ratioDb, -6, 0.3);
    EXPECT_NEAR(bands[0].power + bands[1].power, channel.meanGainPower(kN), 0.01);

    // Four fluttering paths at 4 kHz for 300 s: normalised over the file, the
    // faded tone keeps its power. The paths' cross terms, all that the
    // normalisation leaves, have relative standard deviations of about
    // sqrt(1 / (4 sqrt(pi) sigma T)), 1 %, 0.04 dB.
    constexpr double kToneRate = 4000, kTone = 700;
    constexpr std::int64_t kSamples = 1200000;
    MultipathChannel fading = MultipathChannel::forFile(
        kSeed, {{0, 10, 0, 0}, {1, 10, -3, 5}, {2.5, 10, -6, -5}, {4, 10, -10, 20}}, kToneRate);
    fading.normaliseOver(kSamples);
    double clean = 0, faded = 0;
    for (std::int64_t n = 0; n < kSamples; ++n) {
        const double theta = 2 * std::numbers::pi * kTone * static_cast<double>(n) / kToneRate;
        const double out = fading.next(1000 * std::sin(theta), 1000 * std::cos(theta));
        clean += 1000.0 * 1000.0 * std::sin(theta) * std::sin(theta);
        faded += out * out;
    }
    std::cout << "four paths: faded / clean power " << 10 * std::log10(faded / clean) << " dB\n";
    EXPECT_NEAR(10 * std::log10(faded / clean), 0, 0.2);
}

}  // namespace
}  // namespace vantel::channel
