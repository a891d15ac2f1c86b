#include "batch/ranges.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "batch/options.h"

namespace vantel::batch {
namespace {

// A plain decimal number held exactly: value = units / 10^decimals.
struct Decimal {
    std::int64_t units = 0;
    int decimals = 0;
};

// Enough for any sensible setting, and small enough that scaled values and
// their differences stay far inside 64 bits.
constexpr int kMostDigits = 15;
constexpr int kMostDecimals = 6;

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Sign, digits, optional point and digits; at least one digit.
bool parseDecimal(std::string_view text, Decimal& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int digits = 0;
    bool afterPoint = false;
    Decimal d;
    for (char c : text) {
        if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else if (isDigit(c)) {
            if (++digits > kMostDigits) return false;
            d.units = d.units * 10 + (c - '0');
            if (afterPoint) ++d.decimals;
        } else {
            return false;
        }
    }
    if (digits == 0 || d.decimals > kMostDecimals) return false;
    if (negative) d.units = -d.units;
    out = d;
    return true;
}

std::int64_t scaledTo(const Decimal& d, int decimals) {
    std::int64_t units = d.units;
    for (int i = d.decimals; i < decimals; ++i) units *= 10;
    return units;
}

// Units at `decimals` places as the shortest decimal text: "-18", "0.25".
std::string decimalText(std::int64_t units, int decimals) {
    const bool negative = units < 0;
    std::string digits = std::to_string(negative ? -units : units);
    if (digits.size() <= static_cast<std::size_t>(decimals)) {
        digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    }
    std::string text = digits.substr(0, digits.size() - static_cast<std::size_t>(decimals));
    std::string fraction = digits.substr(text.size());
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return (negative ? "-" : "") + text;
}

std::string syntaxHelp(std::string_view option, std::string_view item) {
    return std::string(option) + ": cannot read '" + std::string(item) +
           "': give a number (20), a list (0,3,6) or a range start:end:step (-20:10:2)";
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

void checkCount(std::string_view option, std::size_t count) {
    if (count > kMostSweepFiles) {
        throw UsageError(std::string(option) + " gives more than " + std::to_string(kMostSweepFiles) + " values");
    }
}

void appendRange(std::string_view option, std::string_view item, std::vector<std::string>& values) {
    const std::vector<std::string_view> parts = split(item, ':');
    Decimal start, end, step;
    if (parts.size() != 3 || !parseDecimal(trimBlanks(parts[0]), start) ||
        !parseDecimal(trimBlanks(parts[1]), end) || !parseDecimal(trimBlanks(parts[2]), step)) {
        throw UsageError(syntaxHelp(option, item));
    }
    const int decimals = std::max({start.decimals, end.decimals, step.decimals});
    const std::int64_t first = scaledTo(start, decimals);
    const std::int64_t span = scaledTo(end, decimals) - first;
    const std::int64_t stride = scaledTo(step, decimals);
    if (stride == 0) throw UsageError(std::string(option) + ": the step of '" + std::string(item) + "' is 0");
    if ((span > 0 && stride < 0) || (span < 0 && stride > 0)) {
        throw UsageError(std::string(option) + ": the range '" + std::string(item) +
                         "' is empty (the step goes away from the end)");
    }
    const std::int64_t count = span / stride + 1;
    checkCount(option, values.size() + static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) values.push_back(decimalText(first + i * stride, decimals));
}

}  // namespace

std::vector<std::string> expandValues(std::string_view option, std::string_view listText) {
    std::vector<std::string> values;
    for (const std::string_view rawItem : split(listText, ',')) {
        const std::string_view item = trimBlanks(rawItem);
        if (item.find(':') != std::string_view::npos) {
            appendRange(option, item, values);
            continue;
        }
        Decimal ignored;
        if (!parseDecimal(item, ignored)) throw UsageError(syntaxHelp(option, item));
        checkCount(option, values.size() + 1);
        values.emplace_back(item);
    }
    return values;
}

}  // namespace vantel::batch
