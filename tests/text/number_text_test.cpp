#include "text/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vantel::text {
namespace {

TEST(ReadNumber, TakesTheLongestLeadingNumberIgnoringBlanks) {
    EXPECT_EQ(readNumber("12k"), 12);
    EXPECT_EQ(readNumber(" -1.5e3x"), -1500);
    EXPECT_EQ(readNumber("abc"), 0);
    EXPECT_EQ(readNumber("1 2"), 12);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("-"), 0);
    EXPECT_EQ(readNumber("."), 0);
    EXPECT_EQ(readNumber("+5"), 5);
    EXPECT_EQ(readNumber("-.5"), -0.5);
    EXPECT_EQ(readNumber("5."), 5);
    EXPECT_EQ(readNumber("1.2.3"), 1.2);
    EXPECT_EQ(readNumber("1e"), 1);
    EXPECT_EQ(readNumber("2E+"), 2);
    EXPECT_EQ(readNumber("2e-1"), 0.2);
    EXPECT_EQ(readNumber("+-3"), 0);
    EXPECT_EQ(readNumber("8000.5"), 8000.5);
    EXPECT_EQ(readNumber("\t300\t"), 300);
}

TEST(ReadNumber, SaturatesAndUnderflowsInsteadOfFailing) {
    EXPECT_EQ(readNumber("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(readNumber("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(readNumber("1e-999"), 0);
    EXPECT_TRUE(std::isfinite(readNumber(std::string(400, '9'))));
}

TEST(SignedForm, BlankBeforeNonNegativeAndShortestDigits) {
    EXPECT_EQ(signedForm(200.0), " 200");
    EXPECT_EQ(signedForm(-1.5), "-1.5");
    EXPECT_EQ(signedForm(0.0), " 0");
    EXPECT_EQ(signedForm(-0.0), " 0");
    EXPECT_EQ(signedForm(0.24), " 0.24");
    EXPECT_EQ(signedForm(3.0), " 3");
    EXPECT_EQ(signedForm(60.0 / 13), " 4.61538461538461");  // 4.6153846153846150 as a double
    EXPECT_EQ(signedForm(1e15), " 1E+15");
    EXPECT_EQ(signedForm(123456789012345.0), " 123456789012345");
    EXPECT_EQ(signedForm(0.0001), " 0.0001");
    EXPECT_EQ(signedForm(0.00001), " 1E-05");
    EXPECT_EQ(signedForm(5.0f), " 5");
    EXPECT_EQ(signedForm(12.5f), " 12.5");
    EXPECT_EQ(signedForm(0.1f), " 0.1");
    EXPECT_EQ(signedForm(12345678.0f), " 1.234568E+07");
}

TEST(SignedForm, ReadsBackToTheSameValue) {
    for (double v : {0.24, -7.0, 1e-300, 6.02214076e23, 1.0 / 3, 12000.0, -0.06, 4.9e-324, 1.7976931348623157e308}) {
        const double back = readNumber(signedForm(v));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << signedForm(v);
    }
    for (float v : {0.1f, 12.5f, -3.25e-20f, 3.4e38f}) {
        const double back = readNumber(signedForm(v));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-6) << signedForm(v);
    }
}

TEST(FormatPattern, DecibelFigures) {
    EXPECT_EQ(formatPattern(10.8, "#0.0dB"), "10.8dB");
    EXPECT_EQ(formatPattern(0.0, "#0.0dB"), "0.0dB");
    EXPECT_EQ(formatPattern(34.0, "#0.0dB"), "34.0dB");
    EXPECT_EQ(formatPattern(-9.208, "#0.0dB"), "-9.2dB");
    EXPECT_EQ(formatPattern(0.04, "#0.0dB"), "0.0dB");
    EXPECT_EQ(formatPattern(-0.04, "#0.0dB"), "-0.0dB");  // the sign the value has
    EXPECT_EQ(formatPattern(-0.0, "#0.0dB"), "0.0dB");
    EXPECT_EQ(formatPattern(123.96, "#0.0dB"), "124.0dB");
}

TEST(FormatPattern, OptionalDigitsAndLiterals) {
    EXPECT_EQ(formatPattern(0, "#####"), "");
    EXPECT_EQ(formatPattern(3000, "#####"), "3000");
    EXPECT_EQ(formatPattern(1234567, "#####"), "1234567");
    EXPECT_EQ(formatPattern(6.02, "  ##"), "  6");
    EXPECT_EQ(formatPattern(0.3, "  ##"), "  ");
    EXPECT_EQ(formatPattern(2.5, "  ##"), "  2");
    EXPECT_EQ(formatPattern(3.5, "  ##"), "  4");
    EXPECT_EQ(formatPattern(std::nan(""), "#0.0dB"), "NaN" "dB");
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(22.5), 22);
    EXPECT_EQ(roundHalfEven(23.5), 24);
    EXPECT_EQ(roundHalfEven(8000.5), 8000);
}

}  // namespace
}  // namespace vantel::text
