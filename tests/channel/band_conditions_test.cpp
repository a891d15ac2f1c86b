#include "channel/band_conditions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace vantel::channel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const text::SettingError& error) {
        return error.what();
    }
    return "";
}

TEST(BandConditions, EachLimitKeepsItsEndsAndRefusesBeyondThem) {
    EXPECT_NO_THROW(validate(BandConditions{}, 20));
    struct Case {
        double BandConditions::*field;
        double low;
        double high;
    };
    const Case cases[] = {
        {&BandConditions::riseMs, 0, 1000},         {&BandConditions::wordSpaceFactor, 1, 10},
        {&BandConditions::dashRatio, 2, 5},         {&BandConditions::weightPercent, 10, 90},
        {&BandConditions::jitterPercent, 0, 50},    {&BandConditions::speedDriftPercent, 0, 50},
        {&BandConditions::chirpHz, 0, 500},         {&BandConditions::driftHzPerMin, -1000, 1000},
        {&BandConditions::qsbDepthDb, 0, 60},       {&BandConditions::qsbPeriodS, 0.5, 3600},
        {&BandConditions::qrmSpreadHz, 0, 5000},    {&BandConditions::qrmLevelDb, -60, 30},
        {&BandConditions::qrnRate, 0, 100},         {&BandConditions::qrnLevelDb, -20, 60},
    };
    for (const Case& c : cases) {
        for (double good : {c.low, c.high}) {
            BandConditions b;
            b.*c.field = good;
            EXPECT_NO_THROW(validate(b, 20)) << good;
        }
        for (double bad : {c.low - 0.01, c.high + 0.01, kNaN, std::numeric_limits<double>::infinity()}) {
            BandConditions b;
            b.*c.field = bad;
            const std::string message = errorOf([&] { validate(b, 20); });
            EXPECT_EQ(message.rfind("bad --", 0), 0u) << bad;
            EXPECT_EQ(message.find('\n'), std::string::npos);
        }
    }
}

TEST(BandConditions, MessagesNameTheOptionTheValueAndTheRange) {
    BandConditions b;
    b.riseMs = 1e9;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --rise '1000000000': use 0 to 1000 ms");
    b.riseMs = 1e300;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --rise '1e+300': use 0 to 1000 ms");
    b.riseMs = -0.25;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --rise '-0.25': use 0 to 1000 ms");
    b = {};
    b.fading = true;
    b.fadingSpreadHz = kNaN;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --fading-spread 'nan': use 0.01 to 50 Hz");
    b.fadingSpreadHz = 0;
    EXPECT_NE(errorOf([&] { validate(b, 20); }), "");
    b.fadingSpreadHz = 50;
    b.fadingDelayMs = 10.5;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --fading-delay '10.5': use 0 to 10 ms");
    b = {};
    b.qrmStations = 1000000;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --qrm '1000000': use 0 to 20 stations");
    b.qrmStations = -1;
    EXPECT_NE(errorOf([&] { validate(b, 20); }), "");
    EXPECT_EQ(errorOf([] { text::checkSampleRate(0.5); }), "bad sample rate '0.5': use 1 to 2147483647 Hz");
    EXPECT_NE(errorOf([] { text::checkSampleRate(1e300); }), "");
    EXPECT_NE(errorOf([] { text::checkSampleRate(kNaN); }), "");
    b = {};
    b.driftHzPerMin = -1500;
    EXPECT_EQ(errorOf([&] { validate(b, 20); }), "bad --drift '-1500': use -1000 to 1000 Hz per minute");
}

TEST(BandConditions, FarnsworthSpeedLiesBelowTheCharacterSpeed) {
    BandConditions b;
    for (double good : {0.0, 1.0, 19.99}) {
        b.farnsworthWpm = good;
        EXPECT_NO_THROW(validate(b, 20)) << good;
    }
    for (double bad : {20.0, 25.0, 0.5, -5.0, kNaN}) {
        b.farnsworthWpm = bad;
        EXPECT_THROW(validate(b, 20), text::SettingError) << bad;
    }
    b.farnsworthWpm = 30;
    EXPECT_EQ(errorOf([&] { validate(b, 25); }),
              "bad --farnsworth '30': use 0 (off) or 1 up to below the character speed of 25 WPM");
}

}  // namespace
}  // namespace vantel::channel
