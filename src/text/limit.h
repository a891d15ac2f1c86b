#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// The ranges of settings that are read strictly, and the one error every
// module throws for a setting that cannot be used.
namespace vantel::text {

// A setting out of its range, or one that does not go with the others. The
// text is one line naming the option, the value and the range, to be
// printed after "vantel-gen: ".
class SettingError : public std::invalid_argument {
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
    // Throws SettingError("bad --rise '5000': use 0 to 1000 ms") for a value
    // outside the range, NaN included.
    void check(double value) const;
};

// A sample rate the objects can work at: from 1 Hz up to what a WAV header
// can hold.
inline constexpr Limit kSampleRate{"sample rate", 1, 2147483647, "Hz"};
inline void checkSampleRate(double sampleRate) { kSampleRate.check(sampleRate); }

// The number as the messages show it: a whole number in full ("1000000",
// "-0" as "0"), any other the shortest text that reads back as the same
// double ("0.1", "1e+300", "nan").
std::string shortestText(double value);

}  // namespace vantel::text
