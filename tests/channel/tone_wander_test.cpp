#include "channel/tone_wander.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "channel/band_conditions.h"
#include "synth/keyed_oscillator.h"

namespace vantel::channel {
namespace {

using keying::KeyRun;

constexpr double kRate = 8000;

TEST(ToneWander, ChirpPullsAtEveryKeyDownAndDriftGrowsFromTheFirstSample) {
    // Key up 100, down 400, up 300, down 200 samples.
    const std::vector<KeyRun> runs{{false, 100}, {true, 400}, {false, 300}, {true, 200}};
    ToneWander wander(runs, kRate, 700, 50, 600);  // 600 Hz per minute: 10 Hz per second
    const double tau = 0.005 * kRate;
    for (std::int64_t n = 0; n < 1200; ++n) {
        const double drift = 10.0 * static_cast<double>(n) / kRate;
        double chirp = 0;
        if (n >= 800) {
            chirp = 50 * std::exp(-static_cast<double>(n - 800) / tau);
        } else if (n >= 100) {
            chirp = 50 * std::exp(-static_cast<double>(n - 100) / tau);  // decaying on through the key-up
        }
        ASSERT_NEAR(wander.nextIncrement() * kRate, 700 + chirp + drift, 1e-9) << n;
    }
    // Without either, the tone's own increment.
    ToneWander steady(runs, kRate, 700, 0, 0);
    EXPECT_EQ(steady.nextIncrement(), 700 / kRate);
    // A message that starts keyed is pulled from its first sample.
    const std::vector<KeyRun> keyed{{true, 10}};
    EXPECT_NEAR(ToneWander(keyed, kRate, 700, 50, 0).nextIncrement() * kRate, 750, 1e-9);
    EXPECT_THROW(ToneWander(runs, kRate, 700, 501, 0), text::SettingError);
    EXPECT_THROW(ToneWander(runs, kRate, 700, 0, -1001), text::SettingError);
    EXPECT_THROW(ToneWander(runs, 0, 700, 0, 0), text::SettingError);
}

TEST(ToneWander, BlocksGiveTheIncrementsOneAtATimeDo) {
    std::mt19937 random(5);
    std::uniform_int_distribution<std::int64_t> length(1, 900);
    std::vector<KeyRun> runs;
    for (int i = 0; i < 100; ++i) runs.push_back({i % 2 == 1, length(random)});
    ToneWander single(runs, kRate, 600, 120, -300), block(runs, kRate, 600, 120, -300);
    std::vector<double> expected(60000), got(60000);
    for (double& x : expected) x = single.nextIncrement();
    for (std::size_t done = 0; done < got.size();) {
        const std::size_t n = std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(1, 2000)(random),
                                                    got.size() - done);
        block.process(got.data() + done, n);
        done += n;
    }
    EXPECT_EQ(got, expected);
    block.reset();
    EXPECT_EQ(block.nextIncrement(), expected[0]);
}

TEST(PhaseAccumulator, IntegratesAsTheKeyedOscillatorAndStaysInTheUnitInterval) {
    // A constant increment gives the oscillator's phases to the bit.
    synth::KeyedOscillator oscillator(800.0 / 12000, 600.0 / 12000);
    std::vector<double> phase(5000), amplitude(5000), ours(5000);
    oscillator.process(true, false, phase.data(), amplitude.data(), phase.size());
    PhaseAccumulator accumulator;
    accumulator.fillConstant(800.0 / 12000, ours.data(), ours.size());
    EXPECT_EQ(ours, phase);
    // Increments of any sign and size keep the phase in [0, 1).
    PhaseAccumulator wild(2.75);
    EXPECT_EQ(wild.phase(), 0.75);
    const double increments[] = {-0.3, 1.7, -2.2, 0.999999, 1e-17, -1e-17, 0.25};
    for (double inc : increments) {
        wild.next(inc);
        EXPECT_GE(wild.phase(), 0.0);
        EXPECT_LT(wild.phase(), 1.0);
    }
    wild.reset();
    EXPECT_EQ(wild.phase(), 0.75);
    PhaseAccumulator zero;
    zero.next(-1e-17);  // 1 - 1e-17 rounds to 1
    EXPECT_EQ(zero.phase(), 0.0);
    EXPECT_EQ(PhaseAccumulator(-1e-17).phase(), 0.0);
}

}  // namespace
}  // namespace vantel::channel
