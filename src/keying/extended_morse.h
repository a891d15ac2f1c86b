#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantel::keying {

// A message that cannot be sent as written; the text is one line.
class MessageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

// The code of a character of the classic 40 (unchanged) or of the
// punctuation added to them: = + - @ ' " ( ) : ; ! & _ $. Empty for every
// other byte.
std::string_view extendedMorseCode(unsigned char character);

// One character of a UTF-8 text: its code point and how many bytes it takes.
// A byte that starts no valid sequence (a stray continuation byte, a cut or
// overlong sequence, a surrogate, a value above U+10FFFF) reads as an invalid
// character of that one byte, whose code point is the byte's value.
struct Utf8Character {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = false;
};
Utf8Character readUtf8(std::string_view text, std::size_t at);

// A letter of a national alphabet with a code of its own (ITU-R M.1677-1's
// É, and the codes in wide use for À Ä Ç Ñ Ö Ü, the Scandinavian, Polish,
// Esperanto and Icelandic letters): the capital as UTF-8, what the labels
// show, and its code. Letters of different alphabets may share a code
// (Ä, Æ and Ą are all .-.-).
struct NationalLetter {
    std::string_view capital;
    std::string_view code;
};

// The national letter a code point is, capital or small; nullopt for any
// other code point.
std::optional<NationalLetter> nationalLetter(char32_t codePoint);

// One thing to send: a character (its code as dots and dashes) or a blank
// (an empty code, a word gap). `text` is what the labels show: "A", "<AR>"
// for a prosign, " " for a blank.
struct MessageSymbol {
    std::string text;
    std::string code;

    bool isBlank() const { return code.empty(); }
    bool operator==(const MessageSymbol&) const = default;
};

// Reads a message (UTF-8) with the extended characters, the national letters
// and prosigns. Letters are sent as capitals; each blank is a word gap; any
// other character without a code (and any byte that is not valid UTF-8) is
// dropped, as the classic encoder does (cleanMessage() in
// keying/message_text.h says beforehand what would be). A prosign is written in
// angle brackets, "<AR>", "<SK>", "<SOS>" or any letters and digits: they are
// sent as one character, their codes run together with no gap between them.
// Throws MessageError for an unterminated "<AR", an empty "<>", a "<" inside
// a prosign, or a prosign holding anything but letters and digits.
std::vector<MessageSymbol> parseExtendedMessage(std::string_view message);

// The same with the window's table alone: the classic 40 characters and the
// blank; every other character is dropped, angle brackets included.
std::vector<MessageSymbol> parseClassicMessage(std::string_view message);

}  // namespace vantel::keying
