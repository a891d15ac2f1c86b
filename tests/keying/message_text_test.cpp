#include "keying/message_text.h"

#include <gtest/gtest.h>

#include "keying/extended_morse.h"

namespace vantel::keying {
namespace {

std::string labels(std::string_view message) {
    std::string text;
    for (const MessageSymbol& symbol : parseExtendedMessage(message)) text += symbol.text;
    return text;
}

TEST(MessageText, NationalLettersAreSentWithExtendedAndSpelledWithout) {
    const CleanedText extended = cleanMessage("Grüße Ärger ÑANDU", true);
    EXPECT_EQ(extended.text, "Grüsse Ärger ÑANDU");
    EXPECT_EQ(extended.changes, (std::vector<TextChange>{{"ß", "SS", 1, false}}));
    EXPECT_EQ(labels(extended.text), "GRÜSSE ÄRGER ÑANDU");

    const CleanedText classic = cleanMessage("Grüße Ärger ÑANDU, ÄÄ", false);
    EXPECT_EQ(classic.text, "Gruesse Aerger NANDU, AEAE");
    EXPECT_EQ(describeChanges(classic.changes),
              "text changed: 'ß' sent as 'SS' (1x); --extended would send 'ü' (sent as 'UE', 1x), "
              "'Ä' (sent as 'AE', 3x), 'Ñ' (sent as 'N', 1x)");
}

TEST(MessageText, CyrillicGreekAndTypographyAreSpelledInLatin) {
    EXPECT_EQ(cleanMessage("Щука, ЖУК объём Ялта Їжак", false).text, "Shchuka, ZHUK obem Yalta Yizhak");
    EXPECT_EQ(cleanMessage("Καλημέρα ΣΟΦΙΑ", true).text, "Kalimera SOFIA");
    EXPECT_EQ(describeChanges(cleanMessage("Москва ©, ΣΟΦΙΑ", true).changes),
              "text changed: '©' dropped (1x), Cyrillic letters spelled in Latin (6x), Greek letters spelled in "
              "Latin (5x)");
    const CleanedText classic = cleanMessage("„Hallo“ — 73… ©", false);
    EXPECT_EQ(classic.text, "Hallo  73... ");
    EXPECT_EQ(describeChanges(classic.changes),
              "text changed: '…' sent as '...' (1x), '©' dropped (1x); --extended would send '„' (dropped, 1x), "
              "'“' (dropped, 1x), '—' (dropped, 1x)");
    EXPECT_EQ(cleanMessage("„Hallo“ — 73…", true).text, "\"Hallo\" - 73...");
}

TEST(MessageText, WhatTheModeSendsStaysByteForByte) {
    const std::string ascii = "cq cq de W1AW/p 5nn, qth? 73.";
    for (const bool extended : {false, true}) {
        const CleanedText same = cleanMessage(ascii, extended);
        EXPECT_EQ(same.text, ascii);
        EXPECT_TRUE(same.changes.empty());
        EXPECT_EQ(describeChanges(same.changes), "");
    }
    // Line breaks, tabs and Unicode blanks are word gaps, not changes.
    const CleanedText blanks = cleanMessage(
        "A\tB\r\nC\xC2\xA0"
        "D",
        false);
    EXPECT_EQ(blanks.text, "A B  C D");
    EXPECT_TRUE(blanks.changes.empty());

    const std::string punctuation = "QRV? = <ar> a+b #1 <3 x>";
    EXPECT_EQ(cleanMessage(punctuation, true).text, "QRV? = <ar> a+b 1 <3 x>");
    const CleanedText classic = cleanMessage(punctuation, false);
    EXPECT_EQ(classic.text, "QRV?  ar ab 1 3 x");
    EXPECT_EQ(describeChanges(classic.changes),
              "text changed: '#' dropped (1x), '<' dropped (1x), '>' dropped (1x); --extended would send "
              "'=' (dropped, 1x), '<ar>' (sent as 'AR', 1x), '+' (dropped, 1x)");
}

TEST(MessageText, InvalidUtf8IsLocatedAndNeverCrashesTheCleaner) {
    EXPECT_EQ(utf8Problem("ok\nÄb\xE9z"), "byte \\xE9 at line 2, column 3 is not UTF-8: save the text as UTF-8");
    EXPECT_EQ(utf8Problem(std::string_view("Ä\0", 3)), "NUL byte at line 1, column 2: this is binary data, not a text");
    EXPECT_EQ(utf8Problem("Grüße Щука €𝄞 \n"), std::nullopt);
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "\x80"}) {
        EXPECT_NE(utf8Problem(bad), std::nullopt) << bad;
    }
    const CleanedText cleaned = cleanMessage(
        "A\xFF"
        "B\xE2\x82 \xEF\xBB\xBF"
        "C",
        true);
    EXPECT_EQ(cleaned.text, "AB C");
    EXPECT_EQ(describeChanges(cleaned.changes),
              "text changed: '\\xFF' dropped (1x), '\\xE2' dropped (1x), '\\x82' dropped (1x), 'U+FEFF' dropped (1x)");
}

}  // namespace
}  // namespace vantel::keying
