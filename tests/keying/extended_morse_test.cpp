#include "keying/extended_morse.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "keying/morse_encoder.h"

namespace vantel::keying {
namespace {

std::string messageError(std::string_view message) {
    try {
        parseExtendedMessage(message);
    } catch (const MessageError& error) {
        return error.what();
    }
    return "";
}

TEST(ExtendedMorse, PunctuationCodesAndTheClassicTableUnchanged) {
    // ITU-R M.1677-1 and the common amateur codes.
    const std::map<char, std::string> added{
        {'=', "-...-"},  {'+', ".-.-."},   {'-', "-....-"}, {'@', ".--.-."}, {'\'', ".----."},
        {'"', ".-..-."}, {'(', "-.--."},   {')', "-.--.-"}, {':', "---..."}, {';', "-.-.-."},
        {'!', "-.-.--"}, {'&', ".-..."},   {'_', "..--.-"}, {'$', "...-..-"},
    };
    std::set<std::string> codes;
    int withCode = 0;
    for (int c = 0; c < 256; ++c) {
        const auto byte = static_cast<unsigned char>(c);
        const std::string_view code = extendedMorseCode(byte);
        if (code.empty()) continue;
        ++withCode;
        EXPECT_TRUE(codes.insert(std::string(code)).second) << "code of '" << char(c) << "' given twice";
        if (!morseCode(byte).empty()) {
            EXPECT_EQ(code, morseCode(byte));
        } else {
            ASSERT_TRUE(added.count(char(c))) << c;
            EXPECT_EQ(code, added.at(char(c)));
        }
    }
    EXPECT_EQ(withCode, 54);
    EXPECT_TRUE(extendedMorseCode('a').empty());
    EXPECT_TRUE(extendedMorseCode('<').empty());
    EXPECT_TRUE(extendedMorseCode('#').empty());
}

TEST(ExtendedMorse, MessagesWithProsignsBlanksAndDroppedCharacters) {
    const std::vector<MessageSymbol> symbols = parseExtendedMessage("cq de w1aw <ar> <sk>\t#x=<KN><Sos>");
    std::vector<std::string> texts;
    for (const MessageSymbol& s : symbols) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"C", "Q", " ", "D", "E", " ", "W", "1", "A", "W", " ", "<AR>", " ",
                                               "<SK>", "X", "=", "<KN>", "<SOS>"}));
    EXPECT_EQ(symbols[11].code, ".-.-.");
    EXPECT_EQ(symbols[13].code, "...-.-");
    EXPECT_EQ(symbols[16].code, "-.--.");
    EXPECT_EQ(symbols[17].code, "...---...");
    EXPECT_TRUE(symbols[2].isBlank());
    EXPECT_EQ(parseExtendedMessage("<BT>")[0].code, parseExtendedMessage("=")[0].code);
    EXPECT_EQ(parseExtendedMessage("<7A>")[0].code, "--....-");
    // A stray '>' has no code and is dropped, and so are '©' and a byte that
    // is not UTF-8; 'é' is a national letter.
    const std::vector<MessageSymbol> national = parseExtendedMessage("A>B\xC3\xA9\xC2\xA9\xE9");
    ASSERT_EQ(national.size(), 3u);
    EXPECT_EQ(national[2], (MessageSymbol{"\xC3\x89", "..-.."}));
    EXPECT_TRUE(parseExtendedMessage("").empty());
    EXPECT_EQ(parseExtendedMessage("  ").size(), 2u);
}

TEST(ExtendedMorse, NationalLettersInBothCasesAreSentAsTheirCapitals) {
    const std::string letters = "ÀàÅÄÆĄÇĈĆÐÉĘÈŁĜĤŠĴÑŃÓÖØŚŜÞÜŬŹŻż";
    const std::vector<std::string> codes{".--.-", ".--.-", ".--.-", ".-.-",  ".-.-",   ".-.-",  "-.-..", "-.-..",
                                         "-.-..", "..--.", "..-..", "..-..", ".-..-",  ".-..-", "--.-.", "----",
                                         "----",  ".---.", "--.--", "--.--", "---.",   "---.",  "---.",  "...-...",
                                         "...-.", ".--..", "..--",  "..--",  "--..-.", "--..-", "--..-"};
    const std::vector<MessageSymbol> symbols = parseExtendedMessage(letters);
    ASSERT_EQ(symbols.size(), codes.size());
    for (std::size_t k = 0; k < codes.size(); ++k) EXPECT_EQ(symbols[k].code, codes[k]) << k;
    EXPECT_EQ(symbols[1].text, "À");
    EXPECT_EQ(symbols.back().text, "Ż");
    EXPECT_TRUE(parseClassicMessage(letters).empty());
}

TEST(ExtendedMorse, MalformedProsignsAreRefusedInOneLine) {
    EXPECT_EQ(messageError("CQ <AR"), "unterminated prosign '<AR': close it with '>'");
    EXPECT_EQ(messageError("<>"), "empty prosign '<>': put letters or digits between the brackets");
    EXPECT_EQ(messageError("<A<R>>"), "prosign '<A' holds a '<': close it with '>' first");
    EXPECT_EQ(messageError("<A.R>"), "prosign '<A.R>' holds '.': a prosign takes letters and digits only");
    EXPECT_EQ(messageError("<A R>"), "prosign '<A R>' holds ' ': a prosign takes letters and digits only");
    EXPECT_EQ(messageError("<A\nR>"), "prosign '<A\\x0AR>' holds '\\x0A': a prosign takes letters and digits only");
    EXPECT_EQ(messageError("<\xC3\xA9>").find('\n'), std::string::npos);
    EXPECT_THROW(parseExtendedMessage("<AR> <"), MessageError);
    EXPECT_EQ(messageError("<AR> <KN> = +"), "");
}

}  // namespace
}  // namespace vantel::keying
