#pragma once

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

// One thing to send: a character (its code as dots and dashes) or a blank
// (an empty code, a word gap). `text` is what the labels show: "A", "<AR>"
// for a prosign, " " for a blank.
struct MessageSymbol {
    std::string text;
    std::string code;

    bool isBlank() const { return code.empty(); }
    bool operator==(const MessageSymbol&) const = default;
};

// Reads a message with the extended characters and prosigns. ASCII letters
// are sent as capitals; each blank is a word gap; any other character without
// a code is dropped, as the classic encoder does. A prosign is written in
// angle brackets, "<AR>", "<SK>", "<SOS>" or any letters and digits: they are
// sent as one character, their codes run together with no gap between them.
// Throws MessageError for an unterminated "<AR", an empty "<>", a "<" inside
// a prosign, or a prosign holding anything but letters and digits.
std::vector<MessageSymbol> parseExtendedMessage(std::string_view message);

// The same with the window's table alone: the classic 40 characters and the
// blank; every other character is dropped, angle brackets included.
std::vector<MessageSymbol> parseClassicMessage(std::string_view message);

}  // namespace vantel::keying
