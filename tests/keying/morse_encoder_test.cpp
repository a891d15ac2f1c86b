#include "keying/morse_encoder.h"

#include <gtest/gtest.h>

namespace vantel::keying {
namespace {

std::string patternOf(std::string_view message) { return encodeMorse(toUpperAscii(message)).pattern; }

TEST(MorseEncoder, StartupMessageAndTiming) {
    const MorseEncoding testing = encodeMorse("TESTING");
    EXPECT_EQ(testing.pattern, "---   -   - - -   ---   - -   --- -   --- --- -   ");
    EXPECT_EQ(testing.duration, 50);
    EXPECT_EQ(durationCaption(testing.duration * 0.06), "Duration 3 seconds");
    EXPECT_EQ(durationCaption(50 * (1.2 / 13)), "Duration 4.61 seconds");
}

TEST(MorseEncoder, CharacterAndWordGaps) {
    EXPECT_EQ(patternOf("E"), "-   ");
    EXPECT_EQ(patternOf("T"), "---   ");
    EXPECT_EQ(patternOf("A B"), "- ---     --- - - -   ");
    EXPECT_EQ(patternOf("A  B"), "- ---       --- - - -   ");
    EXPECT_EQ(patternOf("sos"), "- - -   --- --- ---   - - -   ");
    EXPECT_EQ(patternOf("  "), "    ");
    EXPECT_EQ(patternOf("PARIS ").size(), 48u);
    // The longest codes: 0 and the comma take 22 elements each.
    EXPECT_EQ(patternOf("0").size(), 22u);
    EXPECT_EQ(patternOf(",").size(), 22u);
}

TEST(MorseEncoder, CharactersWithoutCodeLeaveNoTrace) {
    EXPECT_EQ(patternOf("A!B"), patternOf("AB"));
    EXPECT_EQ(patternOf("\t#A"), patternOf("A"));
    // UTF-8 bytes of "é" lie above 127: skipped, never an error.
    EXPECT_EQ(patternOf("caf\xC3\xA9"), patternOf("CAF"));
    EXPECT_EQ(toUpperAscii("caf\xC3\xA9 sos"), "CAF\xC3\xA9 SOS");
    EXPECT_EQ(patternOf("!!!"), "");
}

TEST(MorseEncoder, NoLimitOnMessageLength) {
    const std::string message(40000, 'E');
    const MorseEncoding encoding = encodeMorse(message);
    EXPECT_EQ(encoding.duration, 160000);
    EXPECT_EQ(encoding.pattern.size(), 160000u);
}

TEST(MorseEncoder, EveryTableEntryIsDotsAndDashes) {
    int entries = 0;
    for (int c = 0; c < 256; ++c) {
        const std::string_view code = morseCode(static_cast<unsigned char>(c));
        if (code.empty()) continue;
        ++entries;
        EXPECT_EQ(code.find_first_not_of(".-"), std::string_view::npos);
    }
    EXPECT_EQ(entries, 40);
    EXPECT_EQ(morseCode('Q'), "--.-");
    EXPECT_EQ(morseCode('?'), "..--..");
    EXPECT_TRUE(morseCode('a').empty());
}

TEST(DurationCaption, CutNotRoundedAndLongOrTinyValuesReadable) {
    EXPECT_EQ(durationCaption(0.24), "Duration 0.24 seconds");
    EXPECT_EQ(durationCaption(9.99999), "Duration 9.99 seconds");
    EXPECT_EQ(durationCaption(1234.5), "Duration 1234 seconds");
    EXPECT_EQ(durationCaption(12345.6), "Duration 12346 seconds");
    EXPECT_EQ(durationCaption(2e20), "Duration 200000000000000000000 seconds");
    EXPECT_EQ(durationCaption(1e-7), "Duration 0 seconds");
}

TEST(TonePattern, TenthsOfASecondRoundedToEven) {
    EXPECT_EQ(tonePattern(5).size(), 50);
    EXPECT_EQ(tonePattern(2.25).size(), 22);
    EXPECT_EQ(tonePattern(2.35).size(), 24);
    EXPECT_EQ(tonePattern(0.25).size(), 2);
    EXPECT_EQ(tonePattern(0.75).size(), 8);
    EXPECT_TRUE(tonePattern(0).empty());
    EXPECT_TRUE(tonePattern(-3).empty());
    EXPECT_GT(tonePattern(1e300).size(), 0);
    const KeyingPattern tone = tonePattern(0.3);
    EXPECT_EQ(tone.text(), "---");
    EXPECT_TRUE(tone.keyDown(2));
}

}  // namespace
}  // namespace vantel::keying
