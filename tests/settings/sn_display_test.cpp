#include "settings/sn_display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vantel::settings {
namespace {

std::string figures(double sn, double bw) { return normalisedSnText(sn, bw).value_or("(none)"); }

TEST(NormalisedSn, ShowsTheRatioIn2500HzAnd1Hz) {
    EXPECT_EQ(figures(20, 300), "S/N normalised :\r\n2500Hz    10.8dB\r\n   1Hz    44.8dB");
    EXPECT_EQ(figures(0, 2500), "S/N normalised :\r\n2500Hz    0.0dB\r\n   1Hz    34.0dB");
    EXPECT_EQ(figures(-10, 3000), "S/N normalised :\r\n2500Hz    -9.2dB\r\n   1Hz    24.8dB");
    // In 1 Hz the figure is the entered ratio; 2500 Hz is 33.98 dB lower.
    EXPECT_EQ(figures(5, 1), "S/N normalised :\r\n2500Hz    -29.0dB\r\n   1Hz    5.0dB");
    // A small negative ratio keeps its sign when its digits round to zero.
    EXPECT_EQ(figures(-0.04, 1), "S/N normalised :\r\n2500Hz    -34.0dB\r\n   1Hz    -0.0dB");
}

TEST(NormalisedSn, TakesLn10As2Point3026) {
    // 0.02075 + 10 x 10 / 2.3026 = 43.44992 shows 43.4; the exact ln 10 would
    // give 43.45020 and show 43.5.
    const std::string text = figures(0.02075, std::exp(10.0));
    EXPECT_EQ(text.substr(text.rfind("\r\n") + 2), "   1Hz    43.4dB");
}

TEST(NormalisedSn, GivesNothingForABandwidthOfZeroOrLess) {
    EXPECT_FALSE(normalisedSnText(20, 0).has_value());
    EXPECT_FALSE(normalisedSnText(20, -300).has_value());
    EXPECT_FALSE(normalisedSnText(20, std::nan("")).has_value());
}

}  // namespace
}  // namespace vantel::settings
