// Numbers from texts and back: the reader every box goes through, the signed
// form the program writes into boxes, and the display patterns of the reports.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "text/number_text.h"

namespace {

using vantel::fuzz::FuzzInput;
using vantel::fuzz::require;
namespace text = vantel::text;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string withoutBlanks(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (!isBlank(c)) out.push_back(c);
    }
    return out;
}

bool onlyDecimalCharacters(std::string_view s) {
    return s.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
}

void checkReader(std::string_view typed) {
    const double value = text::readNumber(typed);
    require(std::isfinite(value), "a text reads as a finite number");

    const std::string compact = withoutBlanks(typed);
    const std::size_t half = typed.size() / 2;
    const std::string spaced = std::string(typed.substr(0, half)) + " " + std::string(typed.substr(half));
    require(text::readNumber(spaced) == value, "a blank anywhere changes nothing");

    if (compact.empty() || (compact[0] != '+' && compact[0] != '-')) {
        require(text::readNumber("-" + compact) == -value, "a leading minus negates");
    }
    // The C library's reader takes the same longest decimal prefix; where it
    // reports no range error, both must give the same double.
    if (onlyDecimalCharacters(compact)) {
        errno = 0;
        const double reference = std::strtod(compact.c_str(), nullptr);
        if (errno == 0) require(value == reference, "the reader agrees with strtod");
    }
}

std::string_view mantissaOf(std::string_view form) { return form.substr(1, form.find('E') - 1); }

std::size_t significantDigits(std::string_view mantissa) {
    std::string digits;
    for (char c : mantissa) {
        if (c >= '0' && c <= '9') digits.push_back(c);
    }
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? 0 : digits.size() - first;
}

// Finite values: the sign rule, no trailing zeros, at most `digits`
// significant digits, an exponent exactly when the value needs one, and a
// read-back that agrees with the value to that many digits.
void checkSignedForm(const std::string& form, double value, int digits, double smallestStep) {
    require(form.size() >= 2, "a signed form holds a digit");
    require(form[0] == (value < 0 ? '-' : ' '), "blank before a value that is not negative, minus otherwise");
    const std::string_view mantissa = mantissaOf(form);
    require(mantissa.find_first_not_of("0123456789.") == std::string_view::npos, "mantissa is plain digits");
    if (mantissa.find('.') != std::string_view::npos) {
        require(mantissa.back() != '0' && mantissa.back() != '.', "no trailing zeros");
    }
    require(significantDigits(mantissa) <= static_cast<std::size_t>(digits), "no more digits than allowed");

    const double back = text::readNumber(form);
    const double relative = 5.2 * std::pow(10.0, -digits);
    require(std::fabs(back - value) <= relative * std::fabs(value) + smallestStep,
            "the signed form reads back to the value");
    const double magnitude = std::fabs(back);
    const bool needsExponent = magnitude != 0 && (magnitude < 1e-4 || magnitude >= std::pow(10.0, digits));
    require((form.find('E') != std::string::npos) == needsExponent, "an exponent exactly when needed");
}

void checkSignedForms(double value, float single) {
    const std::string form = text::signedForm(value);
    if (std::isfinite(value)) {
        checkSignedForm(form, value, 15, std::numeric_limits<double>::denorm_min());
    } else {
        require(form[0] == (value < 0 ? '-' : ' '), "non-finite values keep the sign rule");
    }
    const std::string singleForm = text::signedForm(single);
    if (std::isfinite(single)) {
        checkSignedForm(singleForm, single, 7, std::numeric_limits<float>::denorm_min());
    }
}

void checkWholeNumberPattern(double value, std::string_view pattern) {
    const std::string shown = text::formatPattern(value, pattern);
    const std::size_t lead = pattern.find('#');
    require(shown.compare(0, lead, pattern.substr(0, lead)) == 0, "the pattern's leading text is kept");
    const double rounded = std::nearbyint(value);
    require(text::readNumber(shown) == rounded, "whole-number pattern rounds halves to even");
    require((shown.find('-') != std::string::npos) == (value < 0), "a minus sign exactly on a negative value");
}

void checkDecibelPattern(double value) {
    const std::string shown = text::formatPattern(value, "#0.0dB");
    require(shown.size() >= 5 && shown.ends_with("dB"), "the dB pattern ends in dB");
    const std::size_t point = shown.find('.');
    require(point != std::string::npos && point + 4 == shown.size(), "exactly one decimal");
    require(point > 0 && shown[point - 1] >= '0' && shown[point - 1] <= '9', "a digit before the point");
    require(std::fabs(text::readNumber(shown) - value) <= 0.05 + 1e-12 * std::fabs(value),
            "the dB pattern rounds to a tenth");
    require((shown[0] == '-') == (value < 0), "a minus sign exactly on a negative value");
}

void checkPatterns(double value, std::string_view anyPattern) {
    const std::string shown = text::formatPattern(value, anyPattern);
    const std::size_t begin = anyPattern.find_first_of("#0.");
    const std::string_view prefix = anyPattern.substr(0, begin);
    require(shown.compare(0, prefix.size(), prefix) == 0, "any pattern keeps its leading text");
    if (!std::isfinite(value) || std::fabs(value) >= 1e15) return;
    checkWholeNumberPattern(value, "#####");
    checkWholeNumberPattern(value, "  ##");
    checkDecibelPattern(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    checkReader(std::string_view(reinterpret_cast<const char*>(data), size));
    const double value = input.interestingDouble();
    const auto single = input.raw<float>();
    checkSignedForms(value, single);
    checkPatterns(value, input.rest());
    return 0;
}
