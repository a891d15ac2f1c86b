#include "channel/receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "channel/agc.h"
#include "channel/band_conditions.h"
#include "channel/hum.h"
#include "channel/if_filter.h"
#include "random/random_stream.h"

namespace vantel::channel {
namespace {

constexpr double kPi = std::numbers::pi;

double db(double ratio) { return 20 * std::log10(ratio); }

// A sine of that frequency through a fresh copy of the filter: once the
// transient has died away, the output's complex amplitude relative to the
// input's (its magnitude the gain, its angle the phase shift).
std::complex<double> measuredResponse(const IfFilter& design, double hz, double fs, std::size_t settle) {
    IfFilter filter = design;
    filter.reset();
    const double w = 2 * kPi * hz / fs;
    constexpr std::size_t kMeasured = 1 << 16;
    std::complex<double> sum = 0;
    for (std::size_t n = 0; n < settle + kMeasured; ++n) {
        const double y = filter.next(std::sin(w * static_cast<double>(n)));
        if (n >= settle) sum += y * std::polar(1.0, -w * static_cast<double>(n));
    }
    // sin(w n) = Im e^{jwn}: the correlation picks out A e^{j phi} / (2j).
    return sum * std::complex<double>(0, 2) / static_cast<double>(kMeasured);
}

TEST(IfFilter, MeasuredResponseNoiseBandwidthAndDelayMatchTheDesign) {
    constexpr double kFs = 8000, kTone = 700, kBw = 500;
    constexpr std::size_t kSettle = 16000;
    double skirt[3][2];
    for (IfShape shape : {IfShape::Gaussian, IfShape::Butterworth, IfShape::Crystal}) {
        SCOPED_TRACE(static_cast<int>(shape));
        const IfFilter filter(shape, kTone, kBw, kFs);
        EXPECT_NEAR(db(std::abs(measuredResponse(filter, kTone, kFs, kSettle))), 0, 0.1);
        // The -6 dB points lie within 3 % of +-bw/2 either side.
        for (double side : {-1.0, 1.0}) {
            EXPECT_GT(std::abs(measuredResponse(filter, kTone + side * 0.97 * kBw / 2, kFs, kSettle)), 0.5);
            EXPECT_LT(std::abs(measuredResponse(filter, kTone + side * 1.03 * kBw / 2, kFs, kSettle)), 0.5);
        }
        // gainAt() is what a sine meets, in the passband and far down the skirts.
        for (double offset : {-500.0, -250.0, -100.0, 150.0, 250.0, 375.0, 500.0, 1000.0}) {
            const double measured = std::abs(measuredResponse(filter, kTone + offset, kFs, kSettle));
            EXPECT_NEAR(db(measured), db(filter.gainAt(kTone + offset)), 0.05) << offset;
        }
        skirt[static_cast<int>(shape)][0] = db(filter.gainAt(kTone - kBw));
        skirt[static_cast<int>(shape)][1] = db(filter.gainAt(kTone + kBw));

        // Group delay: the measured phase slope at the tone.
        const double dHz = kBw / 100;
        const std::complex<double> above = measuredResponse(filter, kTone + dHz, kFs, kSettle);
        const std::complex<double> below = measuredResponse(filter, kTone - dHz, kFs, kSettle);
        const double delay = -std::arg(above / below) / (2 * kPi * 2 * dHz / kFs);
        EXPECT_NEAR(delay, filter.delaySamples(), 0.01 * filter.delaySamples());

        // Noise bandwidth: white Gaussian noise's power through the filter.
        random::RandomStream noise(11, random::StreamId::Qrn);
        IfFilter copy = filter;
        constexpr std::size_t kNoise = 1 << 21;
        std::vector<double> x(kNoise), y(kNoise);
        noise.fillGaussians(x.data(), kNoise);
        copy.process(x.data(), y.data(), kNoise);
        double power = 0;
        for (double v : y) power += v * v;
        const double bandwidth = power / kNoise * kFs / 2;
        EXPECT_NEAR(bandwidth, filter.noiseBandwidthHz(), 0.02 * filter.noiseBandwidthHz());
        EXPECT_GT(filter.noiseBandwidthHz(), 0.7 * kBw);
        EXPECT_LT(filter.noiseBandwidthHz(), 1.1 * kBw);

        // Blocks and single samples, one filter or two side by side, alike.
        IfFilter a = filter, b = filter, c = filter, d = filter;
        std::vector<double> out(4096), two(4096), other(4096);
        a.process(x.data(), out.data(), 1000);
        a.process(x.data() + 1000, out.data() + 1000, 3096);
        IfFilter::processTwo(c, x.data(), two.data(), d, y.data(), other.data(), 4096);
        for (std::size_t i = 0; i < 4096; ++i) {
            ASSERT_EQ(out[i], b.next(x[i])) << i;
            ASSERT_EQ(two[i], out[i]) << i;
        }
    }
    // The skirts one bandwidth out: the crystal's far below the
    // Butterworth's, far below the Gaussian's (its shape factor under 2:
    // -60 dB within twice the -6 dB width).
    for (int side = 0; side < 2; ++side) {
        EXPECT_LT(skirt[2][side], -60);
        EXPECT_LT(skirt[2][side], skirt[1][side] - 30);
        EXPECT_LT(skirt[1][side], skirt[0][side] - 5);
    }

    // Narrow filters at a high rate stay stable and exact at the tone.
    const IfFilter narrow(IfShape::Crystal, 300, 50, 96000);
    EXPECT_NEAR(db(std::abs(measuredResponse(narrow, 300, 96000, 400000))), 0, 0.1);
    EXPECT_NEAR(db(narrow.gainAt(300 + 25)), -6, 0.6);
    EXPECT_GT(narrow.noiseBandwidthHz(), 40);
    EXPECT_LT(narrow.noiseBandwidthHz(), 55);
    // A wide filter on a low tone keeps its band inside the audio band and the tone at 0 dB.
    const IfFilter wide(IfShape::Butterworth, 400, 6000, 8000);
    EXPECT_GE(wide.lowEdgeHz(), 200);
    EXPECT_LE(wide.highEdgeHz(), 3600);
    EXPECT_NEAR(db(std::abs(measuredResponse(wide, 400, 8000, kSettle))), 0, 0.1);
    EXPECT_THROW(IfFilter(IfShape::Crystal, 3700, 500, 8000), text::SettingError);
    EXPECT_THROW(IfFilter(IfShape::Crystal, 700, 20, 8000), text::SettingError);
}

// The gain's time to reach within `withinDb` of `target` and stay there until `to`, from sample `from`.
double settleTime(const std::vector<double>& gain, std::size_t from, std::size_t to, double target, double withinDb,
                  double fs) {
    std::size_t last = from;
    for (std::size_t i = from; i < to; ++i)
        if (std::abs(db(gain[i] / target)) > withinDb) last = i + 1;
    return static_cast<double>(last - from) / fs;
}

TEST(Agc, AttackHangDecayAndTheGainCap) {
    constexpr double kFs = 48000, kTone = 700;
    const auto tone = [&](std::size_t n, double amplitude) {
        return amplitude * std::sin(2 * kPi * kTone * static_cast<double>(n) / kFs);
    };
    for (AgcSpeed speed : {AgcSpeed::Slow, AgcSpeed::Fast}) {
        SCOPED_TRACE(static_cast<int>(speed));
        const AgcTimes times = agcTimes(speed);
        Agc agc(speed, 1, kFs);
        // 3 s at -20 dB, 2 s at the reference level, then 6 s at -20 dB again.
        const std::size_t up = 3 * kFs, down = 5 * kFs, end = 11 * kFs;
        std::vector<double> x(end), gain(end);
        for (std::size_t n = 0; n < end; ++n) x[n] = tone(n, n >= up && n < down ? 1 : 0.1);
        agc.gains(x.data(), gain.data(), end);
        EXPECT_NEAR(db(gain[up - 1]), 20, 0.1);
        EXPECT_NEAR(db(gain[down - 1]), 0, 0.05);  // a steady tone at the reference: gain 1
        EXPECT_LE(settleTime(gain, up, down, 1, 1, kFs), times.attackS);
        // After the step down the gain holds through the hang (from the
        // last crest that reached the detector), then rises 10 dB in
        // ln(sqrt 10) decay time constants.
        std::size_t rise = down;
        while (gain[rise] <= gain[down - 1] * 1.0001) ++rise;
        const double hang = static_cast<double>(rise - down) / kFs;
        EXPECT_GE(hang, times.hangS - 1 / kTone);
        EXPECT_LE(hang, times.hangS + 1 / kTone);
        std::size_t tenDb = rise;
        while (db(gain[tenDb] / gain[down - 1]) < 10) ++tenDb;
        const double recovery = static_cast<double>(tenDb - rise) / kFs;
        EXPECT_NEAR(recovery, times.decayS * std::log(std::sqrt(10.0)), 0.03 * times.decayS);
        EXPECT_NEAR(db(gain[end - 1]), 20, 0.1);

        // On silence or a whisper the gain rises to its cap and never above it.
        agc.reset();
        double most = 0;
        for (std::size_t n = 0; n < 11 * kFs; ++n) most = std::max(most, agc.gain(tone(n, n < kFs ? 1 : 1e-4)));
        EXPECT_NEAR(db(most), kMostAgcGainDb, 1e-9);
        EXPECT_NEAR(db(agc.gain(0)), kMostAgcGainDb, 1e-9);
    }
    Agc off(AgcSpeed::Off, 1, kFs);
    for (std::size_t n = 0; n < 1000; ++n) ASSERT_EQ(off.gain(tone(n, n % 7 == 0 ? 100 : 1e-6)), 1.0);
    EXPECT_THROW(Agc(AgcSpeed::Slow, 0, kFs), text::SettingError);
}

TEST(Receiver, HumLevelAndPitchAndTheWantedCopy) {
    constexpr double kFs = 8000;
    for (double hz : {50.0, 60.0, 400.0}) {
        SCOPED_TRACE(hz);
        Hum hum = Hum::forFile(3, hz, -10, 0.5, kFs);
        // A whole number of the hum's periods: 200 of them.
        const std::size_t n = static_cast<std::size_t>(200 * kFs / hz);
        std::vector<double> out(n, 0.0);
        hum.process(out.data(), n);
        double power = 0;
        for (double v : out) power += v * v;
        EXPECT_NEAR(db(std::sqrt(power / n) / (0.5 / std::sqrt(2.0))), -10, 0.2);
        // Its strongest line is the fundamental; between harmonics, nothing.
        const auto line = [&](double f) {
            std::complex<double> sum = 0;
            for (std::size_t i = 0; i < n; ++i) sum += out[i] * std::polar(1.0, -2 * kPi * f * i / kFs);
            return std::abs(sum) * 2 / n;
        };
        const double fundamental = line(hz);
        for (std::size_t k = 2; k <= hum.harmonics(); ++k) EXPECT_LT(line(k * hz), fundamental);
        EXPECT_LT(line(1.5 * hz), 1e-3 * fundamental);
        hum.reset();
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(hum.next(), out[i]) << i;
    }
    // Another file, another phase; hz 0, nothing.
    Hum a = Hum::forFile(3, 50, -10, 1, kFs), b = Hum::forFile(4, 50, -10, 1, kFs), none = Hum::forFile(3, 0, -10, 1, kFs);
    EXPECT_NE(a.next(), b.next());
    EXPECT_EQ(none.next(), 0.0);
    EXPECT_THROW(Hum::forFile(3, 50, 21, 1, kFs), text::SettingError);

    // The receiver: a lone tone at the reference passes at 0 dB; the wanted
    // copy takes the sum's gains; single samples and blocks agree.
    BandConditions conditions;
    conditions.receiver = true;
    conditions.ifBandwidthHz = 400;
    conditions.humHz = 0;
    const std::size_t n = 3 * kFs;
    std::vector<double> wanted(n), sum(n), out(n), wantedOut(n), alone(n);
    random::RandomStream noise(5, random::StreamId::Qrn);
    for (std::size_t i = 0; i < n; ++i) {
        wanted[i] = 0.3 * std::sin(2 * kPi * 650 * i / kFs);
        sum[i] = wanted[i] + 0.1 * noise.gaussian();
    }
    Receiver lone(conditions, 650, 0.3, kFs, 9);
    lone.process(wanted.data(), wanted.data(), alone.data(), wantedOut.data(), n);
    double peak = 0;
    for (std::size_t i = n / 2; i < n; ++i) {
        ASSERT_EQ(alone[i], wantedOut[i]);
        peak = std::max(peak, std::abs(alone[i]));
    }
    EXPECT_NEAR(db(peak / 0.3), 0, 0.1);

    conditions.humHz = 50;
    conditions.agc = AgcSpeed::Fast;
    Receiver block(conditions, 650, 0.3, kFs, 9), single(conditions, 650, 0.3, kFs, 9);
    block.process(sum.data(), wanted.data(), out.data(), wantedOut.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        double w = 0;
        ASSERT_EQ(single.next(sum[i], wanted[i], w), out[i]) << i;
        ASSERT_EQ(w, wantedOut[i]) << i;
    }
    block.reset();
    block.process(sum.data(), alone.data(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(alone[i], out[i]) << i;
    EXPECT_EQ(block.delaySamples(), block.filter().delaySamples());
}

}  // namespace
}  // namespace vantel::channel
