#include "text/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace vantel::text {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
bool isBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string withoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isBlank(c)) out.push_back(c);
    }
    return out;
}

// Length of the longest prefix of `s` (after an optional sign) that is a
// decimal number with at least one mantissa digit; 0 when there is none.
struct NumberSpan {
    std::size_t length = 0;        // characters of the unsigned number
    long integerDigits = 0;        // significant digits before the point
    long exponent = 0;             // value of the exponent part, if any
};

NumberSpan scanUnsignedNumber(std::string_view s) {
    NumberSpan span;
    std::size_t i = 0;
    bool anyDigit = false;
    bool leading = true;
    while (i < s.size() && isDigit(s[i])) {
        if (s[i] != '0') leading = false;
        if (!leading) ++span.integerDigits;
        anyDigit = true;
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        while (j < s.size() && isDigit(s[j])) {
            anyDigit = true;
            ++j;
        }
        if (anyDigit) i = j;
    }
    if (!anyDigit) return {};
    span.length = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool negative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            negative = s[j] == '-';
            ++j;
        }
        std::size_t firstDigit = j;
        long exponent = 0;
        while (j < s.size() && isDigit(s[j])) {
            if (exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
            ++j;
        }
        if (j > firstDigit) {
            span.length = j;
            span.exponent = negative ? -exponent : exponent;
        }
    }
    return span;
}

}  // namespace

double readNumber(std::string_view text) {
    const std::string s = withoutBlanks(text);
    std::string_view rest(s);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    const NumberSpan span = scanUnsignedNumber(rest);
    if (span.length == 0) return 0.0;

    double value = 0.0;
    const auto [end, error] =
        std::from_chars(rest.data(), rest.data() + span.length, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        const bool overflow = span.integerDigits + span.exponent > 0;
        value = overflow ? std::numeric_limits<double>::max() : 0.0;
    } else if (error != std::errc() || end != rest.data() + span.length) {
        return 0.0;
    }
    return negative ? -value : value;
}

TextReading howTextReads(std::string_view text) {
    const std::string compact = withoutBlanks(text);
    if (compact.empty()) return TextReading::Empty;
    std::string_view rest(compact);
    if (rest.front() == '+' || rest.front() == '-') rest.remove_prefix(1);
    const std::size_t numberLength = scanUnsignedNumber(rest).length;
    if (numberLength == 0) return TextReading::NoNumber;
    if (numberLength < rest.size()) return TextReading::LeadingPart;
    const std::size_t first = text.find_first_not_of(kBlanks);
    const std::size_t last = text.find_last_not_of(kBlanks);
    const std::string_view inner = text.substr(first, last - first + 1);
    return inner.find_first_of(kBlanks) == std::string_view::npos ? TextReading::Whole : TextReading::InnerBlanks;
}

namespace {

std::string signedFormWithDigits(double value, int significantDigits) {
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value > 0 ? " Infinity" : "-Infinity";
    if (value == 0.0) value = 0.0;  // no "-0"
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", significantDigits, value);
    std::string digits(buffer);
    for (char& c : digits) {
        if (c == 'e') c = 'E';
    }
    return value < 0 ? digits : " " + digits;
}

}  // namespace

std::string signedForm(double value) { return signedFormWithDigits(value, 15); }

std::string signedForm(float value) { return signedFormWithDigits(static_cast<double>(value), 7); }

std::string plainInteger(std::int64_t value) { return std::to_string(value); }

double roundHalfEven(double value) { return std::nearbyint(value); }

std::string formatPattern(double value, std::string_view pattern) {
    auto isPlaceholder = [](char c) { return c == '#' || c == '0' || c == '.'; };
    std::size_t begin = 0;
    while (begin < pattern.size() && !isPlaceholder(pattern[begin])) ++begin;
    std::size_t end = begin;
    while (end < pattern.size() && isPlaceholder(pattern[end])) ++end;
    const std::string_view prefix = pattern.substr(0, begin);
    const std::string_view number = pattern.substr(begin, end - begin);
    const std::string_view suffix = pattern.substr(end);

    const std::size_t point = number.find('.');
    const std::string_view integerPart = number.substr(0, point);
    int decimals = 0;
    if (point != std::string_view::npos) {
        for (char c : number.substr(point + 1)) {
            if (c != '.') ++decimals;
        }
    }
    std::size_t minimumIntegerDigits = 0;
    for (std::size_t i = 0; i < integerPart.size(); ++i) {
        if (integerPart[i] == '0') {
            minimumIntegerDigits = integerPart.size() - i;
            break;
        }
    }

    std::string body;
    if (std::isnan(value)) {
        body = "NaN";
    } else if (std::isinf(value)) {
        body = value > 0 ? "Infinity" : "-Infinity";
    } else {
        const int needed = std::snprintf(nullptr, 0, "%.*f", decimals, std::fabs(value));
        std::vector<char> buffer(static_cast<std::size_t>(needed > 0 ? needed : 0) + 1);
        std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, std::fabs(value));
        const std::string fixed(buffer.data());

        const std::size_t fixedPoint = fixed.find('.');
        std::string whole = fixed.substr(0, fixedPoint);
        const std::string fraction =
            fixedPoint == std::string::npos ? std::string() : fixed.substr(fixedPoint + 1);
        const std::size_t firstSignificant = whole.find_first_not_of('0');
        whole = firstSignificant == std::string::npos ? std::string() : whole.substr(firstSignificant);
        if (whole.size() < minimumIntegerDigits) {
            whole.insert(0, minimumIntegerDigits - whole.size(), '0');
        }
        // A negative value shows its sign even where its digits round to zero:
        // an S/N of -0.04 dB is "-0.0dB", not a reading of exactly zero.
        body = value < 0 ? "-" : "";
        body += whole;
        if (point != std::string_view::npos) body += "." + fraction;
    }
    std::string out(prefix);
    out += body;
    out += suffix;
    return out;
}

}  // namespace vantel::text
