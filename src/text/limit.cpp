#include "text/limit.h"

#include <charconv>
#include <cmath>

namespace vantel::text {

std::string shortestText(double value) {
    // Whole numbers as such ("1000000", not "1e+06"), so that a count or a
    // round value reads as it was typed.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Limit::rangeText() const {
    std::string range = shortestText(low) + " to ";
    range += shortestText(high);
    if (!unit.empty()) range += " " + std::string(unit);
    return range;
}

void Limit::check(double value) const {
    if (allows(value)) return;
    throw SettingError("bad " + std::string(option) + " '" + shortestText(value) + "': use " + rangeText());
}

}  // namespace vantel::text
