#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "text/limit.h"

namespace vantel::channel {

// The limits of the band effects (the keying's own are keying::limits). The
// widest values that still describe a radio signal a listener or a decoder
// might meet; beyond them a run would only waste time or make no sense (a
// 1000 ms edge is already longer than any dot).
namespace limits {
inline constexpr text::Limit kRise{"--rise", 0, 1000, "ms"};
inline constexpr text::Limit kChirp{"--chirp", 0, 500, "Hz"};
inline constexpr text::Limit kDrift{"--drift", -1000, 1000, "Hz per minute"};
// Below a hundredth of a hertz a path hardly fades within a day, and its
// filter would need more taps than memory holds.
inline constexpr text::Limit kFadingSpread{"--fading-spread", 0.01, 50, "Hz"};
inline constexpr text::Limit kFadingDelay{"--fading-delay", 0, 10, "ms"};
inline constexpr text::Limit kQsbDepth{"--qsb-depth", 0, 60, "dB"};
inline constexpr text::Limit kQsbPeriod{"--qsb-period", 0.5, 3600, "s"};
inline constexpr text::Limit kQrmStations{"--qrm", 0, 20, "stations"};
inline constexpr text::Limit kQrmSpread{"--qrm-spread", 0, 5000, "Hz"};
inline constexpr text::Limit kQrmLevel{"--qrm-level", -60, 30, "dB"};
inline constexpr text::Limit kQrnRate{"--qrn", 0, 100, "crashes per s"};
inline constexpr text::Limit kQrnLevel{"--qrn-level", -20, 60, "dB"};
inline constexpr text::Limit kQrmTimeSpread{"--qrm-time-spread", 0, 10, "s"};
// Middleton's impulsive index A (the impulses' overlap: rate times mean
// length) and Gamma, the Gaussian part's power over the impulsive part's.
inline constexpr text::Limit kQrnIndex{"--qrn-index", 0.001, 10, ""};
inline constexpr text::Limit kQrnGamma{"--qrn-gamma", 0.0001, 10, ""};
inline constexpr text::Limit kQsbRandom{"--qsb-random", 0, 30, "dB"};
inline constexpr text::Limit kQsbTime{"--qsb-time", 0.1, 3600, "s"};
inline constexpr text::Limit kIfBandwidth{"--if-bw", 50, 6000, "Hz"};
inline constexpr text::Limit kHum{"--hum", 0, 400, "Hz"};
inline constexpr text::Limit kHumLevel{"--hum-level", -80, 20, "dB"};
// One fading path of --fading-paths.
inline constexpr text::Limit kPathDelay{"--fading-paths delay", 0, 10, "ms"};
inline constexpr text::Limit kPathSpread{"--fading-paths spread", 0.01, 50, "Hz"};
inline constexpr text::Limit kPathPower{"--fading-paths power", -40, 0, "dB"};
inline constexpr text::Limit kPathShift{"--fading-paths shift", -100, 100, "Hz"};
inline constexpr int kMostFadingPaths = 4;
// The message's place in the file: up to an hour of silence either side,
// files up to an hour (0: as long as the message).
inline constexpr text::Limit kLeadIn{"--lead-in", 0, 3600, "s"};
inline constexpr text::Limit kTail{"--tail", 0, 3600, "s"};
inline constexpr text::Limit kDuration{"--duration", 0, 3600, "s"};
inline constexpr text::Limit kCropFrom{"--crop-from", 0, 1, "of the message"};
}  // namespace limits

// How the QRM stations behave: each calling over and over through the file
// (continuous), in QSOs that take turns, as a contest run with its callers,
// or as a pile-up answering one CQ.
enum class QrmTraffic { Continuous, Qso, Contest, Pileup };
inline constexpr std::array<std::string_view, 4> kQrmTrafficNames{"continuous", "qso", "contest", "pileup"};
// QRN as smooth crashes, or Middleton Class A static (impulses over the
// background noise) with trains of lightning strokes.
enum class QrnModel { Bursts, ClassA };
inline constexpr std::array<std::string_view, 2> kQrnModelNames{"bursts", "class-a"};
// The receiver's IF filter response and its AGC.
enum class IfShape { Gaussian, Butterworth, Crystal };
enum class AgcSpeed { Off, Slow, Fast };
inline constexpr std::array<std::string_view, 3> kIfShapeNames{"gaussian", "butterworth", "crystal"};
inline constexpr std::array<std::string_view, 3> kAgcNames{"off", "slow", "fast"};

// A setting's name, by its enum's value.
template <typename Enum, std::size_t Count>
constexpr std::string_view nameOf(Enum value, const std::array<std::string_view, Count>& names) {
    return names[static_cast<std::size_t>(value)];
}

// One path of a fading channel given path by path.
struct FadingPathSetting {
    double delayMs = 0;
    double spreadHz = 0.5;
    double powerDb = 0;  // relative to the other paths' before normalisation
    double shiftHz = 0;  // Doppler shift of the path's centre
    bool operator==(const FadingPathSetting&) const = default;
};

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
    QrmTraffic qrmTraffic = QrmTraffic::Continuous;
    double qrmTimeSpreadS = 1;  // a pile-up's callers start within this time
    QrnModel qrnModel = QrnModel::Bursts;
    double qrnIndex = 0.1;   // Class A's A
    double qrnGamma = 0.1;   // Class A's Gamma
    // Random QSB: log-normal, this standard deviation in dB; 0: none
    double qsbRandomDb = 0;
    double qsbTimeS = 10;  // its correlation time
    // Fading given path by path (up to kMostFadingPaths); empty: the two
    // equal paths of fadingSpreadHz and fadingDelayMs
    std::vector<FadingPathSetting> fadingPaths;
    // The receiver: IF filter centred on the tone, AGC, noise through both
    bool receiver = false;
    IfShape ifShape = IfShape::Butterworth;
    double ifBandwidthHz = 500;
    AgcSpeed agc = AgcSpeed::Slow;
    double humHz = 0;         // mains hum and buzz; 0: none
    double humLevelDb = -30;  // relative to the wanted signal's key-down level
    // The message's place in the file (keying::Framing), in seconds
    double leadInS = 0;    // silence before the first character
    double tailS = 0;      // silence after the message
    double durationS = 0;  // the whole file; 0: as long as the message
    double cropFrom = 0;   // the first character sent: this share of the message

    bool operator==(const BandConditions&) const = default;
};

// Checks every setting against its limit (the Farnsworth speed against
// `characterWpm`); throws text::SettingError for the first one out of range.
void validate(const BandConditions& conditions, double characterWpm);

}  // namespace vantel::channel
