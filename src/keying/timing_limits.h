#pragma once

#include "text/limit.h"

// The ranges of the keying's own settings (the band effects' are
// channel::limits).
namespace vantel::keying {

namespace limits {
inline constexpr text::Limit kWordSpace{"--word-space", 1, 10, "times"};
inline constexpr text::Limit kDashRatio{"--dash-ratio", 2, 5, "dots"};
inline constexpr text::Limit kWeight{"--weight", 10, 90, "%"};
inline constexpr text::Limit kJitter{"--jitter", 0, 50, "%"};
inline constexpr text::Limit kSpeedDrift{"--speed-drift", 0, 50, "%"};
// The Farnsworth speed's upper end is the character speed (excluded); see
// checkFarnsworth.
inline constexpr double kLowestFarnsworthWpm = 1;
}  // namespace limits

// The overall speed must be at least 1 WPM and below the character speed;
// 0 means no Farnsworth spacing. Throws text::SettingError otherwise.
void checkFarnsworth(double overallWpm, double characterWpm);

}  // namespace vantel::keying
