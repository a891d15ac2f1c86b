#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vantel::channel {

// A band-condition setting out of its range. The text is one line naming the
// option, the value and the range, to be printed after "vantel-gen: ".
class BandError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The range of one setting and the option that sets it. Every object that
// takes such a setting checks it against the same Limit, so the command, its
// sweeps and any other reader of the settings refuse exactly the same values.
struct Limit {
    std::string_view option;  // as typed on the command line, e.g. "--rise"
    double low;
    double high;
    std::string_view unit;     // for the message, e.g. "ms"; may be empty

    bool allows(double value) const { return value >= low && value <= high; }
    // "0 to 1000 ms", "more than 0 up to 50 Hz": what the messages offer.
    std::string rangeText() const;
    // Throws BandError("bad --rise '5000': use 0 to 1000 ms") for a value
    // outside the range, NaN included.
    void check(double value) const;
};

// The limits. The widest values that still describe a radio signal a
// listener or a decoder might meet; beyond them a run would only waste time
// or make no sense (a 1000 ms edge is already longer than any dot).
namespace limits {
inline constexpr Limit kRise{"--rise", 0, 1000, "ms"};
inline constexpr Limit kWordSpace{"--word-space", 1, 10, "times"};
inline constexpr Limit kDashRatio{"--dash-ratio", 2, 5, "dots"};
inline constexpr Limit kWeight{"--weight", 10, 90, "%"};
inline constexpr Limit kJitter{"--jitter", 0, 50, "%"};
inline constexpr Limit kSpeedDrift{"--speed-drift", 0, 50, "%"};
inline constexpr Limit kChirp{"--chirp", 0, 500, "Hz"};
inline constexpr Limit kDrift{"--drift", -1000, 1000, "Hz per minute"};
// Below a hundredth of a hertz a path hardly fades within a day, and its
// filter would need more taps than memory holds.
inline constexpr Limit kFadingSpread{"--fading-spread", 0.01, 50, "Hz"};
inline constexpr Limit kFadingDelay{"--fading-delay", 0, 10, "ms"};
inline constexpr Limit kQsbDepth{"--qsb-depth", 0, 60, "dB"};
inline constexpr Limit kQsbPeriod{"--qsb-period", 0.5, 3600, "s"};
inline constexpr Limit kQrmStations{"--qrm", 0, 20, "stations"};
inline constexpr Limit kQrmSpread{"--qrm-spread", 0, 5000, "Hz"};
inline constexpr Limit kQrmLevel{"--qrm-level", -60, 30, "dB"};
inline constexpr Limit kQrnRate{"--qrn", 0, 100, "crashes per s"};
inline constexpr Limit kQrnLevel{"--qrn-level", -20, 60, "dB"};
// The Farnsworth speed's upper end is the character speed (excluded); see
// checkFarnsworth.
inline constexpr double kLowestFarnsworthWpm = 1;
}  // namespace limits

// The overall speed must be at least 1 WPM and below the character speed;
// 0 means no Farnsworth spacing.
void checkFarnsworth(double overallWpm, double characterWpm);

// A sample rate the objects can work at: from 1 Hz up to what a WAV header
// can hold.
inline constexpr double kHighestSampleRate = 2147483647;
void checkSampleRate(double sampleRate);

// Every band-condition setting, each "off" by default. The command, its
// sweeps and a scripting module all fill in this one struct.
struct BandConditions {
    // Keying
    double riseMs = 0;             // raised-cosine edges; 0: hard keying
    double farnsworthWpm = 0;      // overall speed; 0: no Farnsworth spacing
    double wordSpaceFactor = 1;    // word gaps stretched by this factor
    double dashRatio = 3;          // dash length in dots
    double weightPercent = 50;     // key-down share of a dot and its gap
    double jitterPercent = 0;      // random change of every run's length
    double speedDriftPercent = 0;  // slow random walk of the speed
    // The transmitter's tone
    double chirpHz = 0;        // pull at every key-down, decaying within 20 ms
    double driftHzPerMin = 0;  // linear over the file
    // Propagation
    bool fading = false;  // the Watterson two-path channel
    double fadingSpreadHz = 0.5;
    double fadingDelayMs = 1;
    double qsbDepthDb = 0;  // slow sinusoidal fade; 0: none
    double qsbPeriodS = 10;
    // Interference
    int qrmStations = 0;
    double qrmSpreadHz = 400;  // stations within this many Hz of the tone
    double qrmLevelDb = 0;     // stations' level relative to the wanted signal, +-6 dB each
    double qrnRate = 0;        // crashes per second; 0: none
    double qrnLevelDb = 20;    // crashes' median peak above the noise's sigma

    bool operator==(const BandConditions&) const = default;
};

// Checks every setting against its limit (the Farnsworth speed against
// `characterWpm`); throws BandError for the first one out of range.
void validate(const BandConditions& conditions, double characterWpm);

// The number as the messages show it: a whole number in full ("1000000",
// "-0" as "0"), any other the shortest text that reads back as the same
// double ("0.1", "1e+300", "nan").
std::string shortestText(double value);

}  // namespace vantel::channel
