#include "channel/band_conditions.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace vantel::channel {

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
    throw BandError("bad " + std::string(option) + " '" + shortestText(value) + "': use " + rangeText());
}

void checkFarnsworth(double overallWpm, double characterWpm) {
    if (overallWpm == 0) return;
    if (overallWpm >= limits::kLowestFarnsworthWpm && overallWpm < characterWpm) return;
    throw BandError("bad --farnsworth '" + shortestText(overallWpm) + "': use 0 (off) or 1 up to below the character " +
                    "speed of " + shortestText(characterWpm) + " WPM");
}

void checkSampleRate(double sampleRate) {
    if (sampleRate >= 1 && sampleRate <= kHighestSampleRate) return;
    throw BandError("bad sample rate '" + shortestText(sampleRate) + "': use 1 to " +
                    shortestText(kHighestSampleRate) + " Hz");
}

void validate(const BandConditions& c, double characterWpm) {
    limits::kRise.check(c.riseMs);
    checkFarnsworth(c.farnsworthWpm, characterWpm);
    limits::kWordSpace.check(c.wordSpaceFactor);
    limits::kDashRatio.check(c.dashRatio);
    limits::kWeight.check(c.weightPercent);
    limits::kJitter.check(c.jitterPercent);
    limits::kSpeedDrift.check(c.speedDriftPercent);
    limits::kChirp.check(c.chirpHz);
    limits::kDrift.check(c.driftHzPerMin);
    if (c.fading) {
        limits::kFadingSpread.check(c.fadingSpreadHz);
        limits::kFadingDelay.check(c.fadingDelayMs);
    }
    limits::kQsbDepth.check(c.qsbDepthDb);
    limits::kQsbPeriod.check(c.qsbPeriodS);
    limits::kQrmStations.check(c.qrmStations);
    limits::kQrmSpread.check(c.qrmSpreadHz);
    limits::kQrmLevel.check(c.qrmLevelDb);
    limits::kQrnRate.check(c.qrnRate);
    limits::kQrnLevel.check(c.qrnLevelDb);
}

}  // namespace vantel::channel
