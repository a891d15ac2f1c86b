#include "practice/practice_texts.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <set>

#include "keying/extended_morse.h"
#include "keying/morse_encoder.h"

namespace vantel::practice {
namespace {

constexpr std::uint64_t kSeed = 0x4B4F4348;

std::string practiceError(const std::function<void()>& make) {
    try {
        make();
    } catch (const PracticeError& error) {
        return error.what();
    }
    return "";
}

// Every character of the words is one of the classic 40.
bool classicOnly(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        for (const char c : word) {
            if (keying::morseCode(static_cast<unsigned char>(c)).empty()) return false;
        }
    }
    return true;
}

TEST(Practice, KochLessonsUseExactlyTheirCharactersTheNewestTwiceAsOften) {
    const KochOrder standard = kochOrder("standard");
    ASSERT_EQ(standard.characters.size(), 41u);  // 40 lessons
    const std::vector<std::string> groups = kochGroups(standard, 5, 2000, 5, kSeed);
    std::map<std::string, int> seen;
    for (const std::string& group : groups) {
        ASSERT_EQ(group.size(), 5u);
        for (const char c : group) ++seen[std::string(1, c)];
    }
    const std::vector<std::string> lesson{"K", "M", "U", "R", "E", "S"};
    EXPECT_EQ(kochLessonCharacters(standard, 5), lesson);
    ASSERT_EQ(seen.size(), lesson.size());
    for (const std::string& character : lesson) ASSERT_TRUE(seen.contains(character)) << character;
    // 10000 draws: the newest has weight 2 of 7, each older one 1 of 7.
    EXPECT_NEAR(seen["S"] / 10000.0, 2.0 / 7, 0.02);
    EXPECT_NEAR(seen["K"] / 10000.0, 1.0 / 7, 0.02);

    EXPECT_FALSE(lessonNeedsExtended(standard, 15));
    EXPECT_TRUE(lessonNeedsExtended(standard, 16));
    const KochOrder custom = kochOrder("K M Ä =");
    EXPECT_EQ(custom.characters, (std::vector<std::string>{"K", "M", "Ä", "="}));
    EXPECT_TRUE(lessonNeedsExtended(custom, 2));
    EXPECT_EQ(kochGroups(custom, 3, 1, 400, kSeed)[0].find_first_not_of("KM=\xC3\x84"), std::string::npos);

    EXPECT_EQ(practiceError([] { kochOrder("farnsworth"); }),
              "unknown Koch order 'farnsworth': use standard or give the characters in order, in capitals");
    EXPECT_EQ(practiceError([] { kochOrder("KMk"); }), "Koch order 'KMk' has 'k': write the characters in capitals");
    EXPECT_EQ(practiceError([] { kochOrder("KMä"); }), "Koch order 'KMä' has 'ä': write the characters in capitals");
    EXPECT_EQ(practiceError([] { kochOrder("KM#"); }), "Koch order 'KM#' has '#', which has no Morse code");
    EXPECT_EQ(practiceError([] { kochOrder("KMK"); }), "Koch order 'KMK' has 'K' twice");
    EXPECT_EQ(practiceError([] { kochOrder(" K "); }), "Koch order ' K ' needs at least 2 characters");
    EXPECT_EQ(practiceError([&] { kochGroups(standard, 41, 1, 5, kSeed); }),
              "Koch lesson 41 is not in the standard order: choose 1 to 40");
    EXPECT_NE(practiceError([&] { kochGroups(standard, 0, 1, 5, kSeed); }), "");
    EXPECT_NE(practiceError([&] { kochGroups(standard, 1, 1, 0, kSeed); }), "");
}

TEST(Practice, CallSignsHaveTheFormatsOfRealPrefixes) {
    // An optional prefix abroad (DL/), the prefix with its digit or digits
    // (K1, HB9, 9A1, 2E0, OH20), a suffix of 1 to 4 letters, an optional
    // portable ending.
    const std::regex format(
        "([A-Z0-9]{1,3}/)?([A-Z]{1,2}|[0-9][A-Z]|[A-Z][0-9])[0-9]{1,2}[A-Z]{1,4}(/(P|M|MM|QRP|[1-9]))?");
    const std::vector<std::string> calls = callSigns(3000, kSeed);
    int portable = 0;
    std::set<std::string> distinct;
    for (const std::string& call : calls) {
        EXPECT_TRUE(std::regex_match(call, format)) << call;
        portable += call.find('/') != std::string::npos;
        distinct.insert(call);
    }
    EXPECT_GT(portable, 100);
    EXPECT_GT(distinct.size(), 2900u);
    EXPECT_TRUE(classicOnly(calls));
}

TEST(Practice, SameSeedSameTextAndMoreWordsKeepTheFirstOnes) {
    const KochOrder standard = kochOrder("standard");
    const std::vector<std::string> list{"ANTENNA", "BAND", "CODE", "DIPOLE"};
    const std::vector<std::function<std::vector<std::string>(std::size_t, std::uint64_t)>> makers{
        [&](std::size_t n, std::uint64_t seed) { return kochGroups(standard, 20, n, 5, seed); },
        [](std::size_t n, std::uint64_t seed) { return callSigns(n, seed); },
        [](std::size_t n, std::uint64_t seed) { return qsoWords(n, false, seed); },
        [](std::size_t n, std::uint64_t seed) { return qsoWords(n, true, seed); },
        [](std::size_t n, std::uint64_t seed) { return contestWords(n, seed); },
        [&](std::size_t n, std::uint64_t seed) { return listWords(list, n, seed); },
    };
    for (std::size_t k = 0; k < makers.size(); ++k) {
        const std::vector<std::string> many = makers[k](400, kSeed);
        ASSERT_EQ(many.size(), 400u);
        EXPECT_EQ(makers[k](37, kSeed), std::vector<std::string>(many.begin(), many.begin() + 37)) << k;
        EXPECT_EQ(makers[k](400, kSeed), many) << k;
        EXPECT_NE(makers[k](400, kSeed + 1), many) << k;
        for (const std::string& word : many) EXPECT_TRUE(!word.empty() && word.find(' ') == std::string::npos);
    }
    EXPECT_TRUE(classicOnly(qsoWords(2000, false, kSeed)));
    EXPECT_TRUE(classicOnly(contestWords(2000, kSeed)));
    EXPECT_EQ(contestWords(contestWordsFor(3), kSeed).size(), 12u);
    // With the extended characters, the parts and overs are marked and
    // every word is sendable as written.
    std::string extended;
    for (const std::string& word : qsoWords(2000, true, kSeed)) extended += word + " ";
    EXPECT_NE(extended.find(" = "), std::string::npos);
    EXPECT_NE(extended.find("<SK>"), std::string::npos);
    std::string sent;
    for (const keying::MessageSymbol& symbol : keying::parseExtendedMessage(extended)) sent += symbol.text;
    EXPECT_EQ(sent, extended);
    EXPECT_EQ(practiceError([] { listWords({}, 1, kSeed); }), "the word list holds no words");
}

}  // namespace
}  // namespace vantel::practice
