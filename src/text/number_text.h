#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as the user types them and as the program writes them back.
namespace vantel::text {

// Reads the number a text begins with. Blanks anywhere are ignored; the longest
// leading part that forms a decimal number (sign, digits, point, digits,
// exponent) is taken, and 0 when there is none. "12k" reads 12, "abc" 0,
// "1 2" 12. A value too large for a double saturates at the largest finite one.
double readNumber(std::string_view text);

// How much of a text readNumber takes, so that a reader can be told when a
// text did not read as the number it seems to hold.
enum class TextReading {
    Whole,         // the text, blanks at its ends aside, is one number
    InnerBlanks,   // a number once the blanks inside it are dropped ("2 0" is 20)
    LeadingPart,   // only a leading number is taken ("48k" is 48)
    NoNumber,      // no number at all: it reads as 0 ("abc")
    Empty,         // nothing but blanks
};
TextReading howTextReads(std::string_view text);

// The signed form: one blank before a value that is not negative, a minus sign
// before a negative one, at most `significantDigits` digits, no trailing zeros.
// Values below 1 keep their leading zero (" 0.24"). A value whose decimal
// exponent is below -4, or at least the digit count (15, or 7 for single
// precision), is written with one: " 1.5E+20", " 2E-07".
std::string signedForm(double value);
std::string signedForm(float value);

// The signed form without its leading blank, as the scroll bar writes it.
std::string plainInteger(std::int64_t value);

// Formats with a display pattern such as "#0.0dB", "#####" or "  ##": '#' is a
// digit shown only when significant, '0' a digit always shown, '.' the decimal
// point, and every other character is copied as it stands. Halves round to the
// even neighbour of the exact binary value.
std::string formatPattern(double value, std::string_view pattern);

// Round to the nearest integer, ties to the even neighbour.
double roundHalfEven(double value);

}  // namespace vantel::text
