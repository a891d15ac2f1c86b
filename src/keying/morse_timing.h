#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keying/extended_morse.h"

namespace vantel::keying {

// A stretch of samples with one key state. The runs of a timed message
// alternate (neighbours of equal state are merged) and each holds at least
// one sample.
struct KeyRun {
    bool keyDown = false;
    std::int64_t samples = 0;
    bool operator==(const KeyRun&) const = default;
};

// Where a symbol lies in the file, as the half-open sample range [start, end).
// Keying takes effect one sample late, so a character with a code gets
// [one past its first key-down sample, one past its last key-down sample)
// and a blank its own stretch of the word gap shifted by one the same way.
struct TimedLabel {
    std::string text;
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool operator==(const TimedLabel&) const = default;
};

// How the message is keyed. The defaults are the classic timing: a dot of
// one unit, a dash of three, one unit between the marks of a character,
// three after a character and two more per blank.
struct TimingOptions {
    // Farnsworth spacing: characters at the character speed, gaps stretched
    // so that the whole runs at this overall speed (ARRL: with
    // ta = (60c - 37.2s) / (s c) seconds, a character gap of 3 ta / 19 and a
    // word gap of 7 ta / 19). 0: off.
    double farnsworthWpm = 0;
    // Every word gap (the whole key-up time from a word's last mark to the
    // next word's first) multiplied by this, with or without Farnsworth.
    double wordSpaceFactor = 1;
    double dashRatio = 3;
    // The key-down share of a dot and its gap in percent: every mark is
    // 2W/100 - 1 units longer and the gap after it as much shorter.
    double weightPercent = 50;
    // Every run's length (key-down and key-up) times 1 + (J/100) z, z a
    // standard Gaussian clipped at +-3, the factor kept at 0.1 or more.
    double jitterPercent = 0;
    // The log of the speed walks as an Ornstein-Uhlenbeck process stepped
    // once per symbol (character or blank), with a correlation of
    // kDriftCorrelationSymbols symbols and stationary standard deviation
    // D/100 (so the speed wanders by about D % for small D), clipped at
    // +-3 standard deviations.
    double speedDriftPercent = 0;

    bool operator==(const TimingOptions&) const = default;
};

inline constexpr double kDriftCorrelationSymbols = 10;

struct TimedMessage {
    std::vector<KeyRun> runs;
    std::vector<TimedLabel> labels;  // one per symbol, in order
    std::int64_t totalSamples = 0;   // the runs' sum
};

// A dot lasts 1.2 / WPM seconds.
double samplesPerDot(double sampleRate, double characterWpm);

// Times the symbols. Every mark and gap is placed at a real-valued time and
// each edge rounded to the nearest sample (halves to even) on its own, so
// rounding errors never add up; an edge that would leave a run empty is
// moved one sample on. Blanks without Farnsworth keep the classic rule (each
// adds two units to the three that close a character); with Farnsworth the
// first blank turns the character gap into the word gap, and each further
// blank adds word gap - character gap. The word-space factor scales the
// whole gap of a single blank, and each blank then adds
// factor * word gap - character gap.
//
// Jitter and speed drift draw from the file's Jitter and SpeedDrift streams
// (one Gaussian per run and per symbol), and only when switched on. With
// every option at its default and a whole number of samples per dot, the
// runs are the classic pattern's elements times the samples per element.
// Throws text::SettingError for an option out of its range.
TimedMessage timeMessage(const std::vector<MessageSymbol>& symbols, double sampleRate, double characterWpm,
                         const TimingOptions& options = {}, std::uint64_t fileSeed = 0);

}  // namespace vantel::keying
