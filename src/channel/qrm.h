#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel/band_conditions.h"
#include "channel/edge_shaper.h"
#include "channel/silence.h"
#include "channel/tone_wander.h"
#include "channel/multipath_fading.h"
#include "channel/watterson_fading.h"
#include "keying/morse_timing.h"

namespace vantel::channel {

// How the stations are drawn: each speed uniformly within +-30 % of the
// wanted signal's, each frequency uniformly within +-spreadHz of the tone
// (kept between 0 and half the sample rate), each level uniformly within
// +-6 dB of levelDb, each start uniformly within the first 2 s.
inline constexpr double kQrmSpeedSpread = 0.3;
inline constexpr double kQrmLevelSpreadDb = 6;
inline constexpr double kQrmLatestStartS = 2;

struct QrmSettings {
    int stations = 0;
    double spreadHz = 400;
    double levelDb = 0;  // relative to the wanted signal's key-down level
    QrmTraffic traffic = QrmTraffic::Continuous;
    double timeSpreadS = 1;  // a pile-up's callers start within this time of each other
};

// One interfering station, as the manifest lists it. A continuous station
// sends `message` again and again (a word gap between the sendings) from
// `startSample` to the end of the file, with the classic timing at its own
// speed. In the traffic modes (qrm_traffic.h) `message` is the station's
// call sign, `startSample` its first key-down, and it sends its overs with
// its own fist; `labels` read back what it sent.
struct QrmStation {
    double frequencyHz = 0;
    double levelDb = 0;  // key-down level relative to the wanted tone's
    double wpm = 0;
    std::string message;  // one sending
    std::int64_t startSample = 0;
    double startPhase = 0;                   // cycles
    std::vector<keying::KeyRun> runs;        // from the file's first sample to its last
    std::vector<keying::TimedLabel> labels;  // characters that begin within the file, in file samples
    std::string role;  // empty (continuous), "qso-partner", "runner" or "caller"
    int partner = -1;  // the station it works in a QSO; a contest caller's runner
    // Its fist and transmitter (keying::TimingOptions, ToneWander)
    double jitterPercent = 0, weightPercent = 50, chirpHz = 0, driftHzPerMin = 0;
    // Its own Watterson path; 0 spread: none (the file's, if QrmSource is given one)
    double fadingSpreadHz = 0, fadingDelayMs = 0;
};

// A station's key-down amplitude: the wanted signal's at the station's level.
double stationAmplitude(const QrmStation& station, double wantedAmplitude);

// Draws the continuous stations from the file's Qrm stream, station k from
// its sub-stream k, so that adding a station leaves the others as they were.
// The message is one of a few contest and calling patterns around random
// call signs (one or two letters, a digit, one to three letters). The
// traffic modes are drawn by makeTrafficStations (qrm_traffic.h).
std::vector<QrmStation> makeQrmStations(const QrmSettings& settings, double toneHz, double wantedWpm,
                                        double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed);

// A fading channel for the stations: each gets its own, independent
// Watterson channel (streams QrmFadingPath1 and 2, sub-stream k), or with
// `paths` its own multipath channel (MultipathChannel::forStation),
// normalised over the file.
struct QrmFading {
    double spreadHz;
    double delayMs;
    std::vector<FadingPathSetting> paths = {};
};

// The stations' sum: each its own keyed oscillator (a steady tone from its
// start phase, formula::steadyPhase; raised-cosine edges of `riseSamples`)
// at amplitude wantedAmplitude * 10^(level / 20), faded when `fading` is
// given. A station with chirp has its tone wander (ToneWander, its phase
// summed by a PhaseAccumulator from its start phase), one with drift alone
// its phase in closed form (formula::driftingPhase); one with a
// fading spread its own Watterson channel instead of `fading`'s, both
// normalised over the file.
class QrmSource {
public:
    QrmSource(std::vector<QrmStation> stations, double wantedAmplitude, std::int64_t riseSamples, double sampleRate,
              std::int64_t totalSamples, std::uint64_t fileSeed, std::optional<QrmFading> fading = std::nullopt);
    QrmSource(const QrmSource&) = delete;  // the voices refer to the stations' runs
    QrmSource& operator=(const QrmSource&) = delete;
    QrmSource(QrmSource&&) = default;

    double next();
    // The next n samples; the same as n calls of next().
    void process(double* out, std::size_t n);
    void reset();

    const std::vector<QrmStation>& stations() const { return stations_; }

private:
    static constexpr std::size_t kChunk = 1024;
    struct Voice {
        EdgeShaper shaper;
        double increment;
        double startPhase;
        double amplitude;
        std::optional<WattersonChannel> channel;
        SilenceTracker silence;
        std::optional<ToneWander> wander;  // a chirping tone's
        PhaseAccumulator phase;
        double drift;  // increment added per sample, for a tone that drifts without chirping
        std::optional<MultipathChannel> paths;  // fading given path by path, instead of `channel`
    };
    // Adds a stretch of one voice that sounds (or still echoes in the fading's
    // delay line) to the sum.
    void addSounding(Voice& voice, double* sum, std::size_t from, std::size_t to);
    double voiceSample(Voice& voice) const;
    void addVoice(Voice& voice, double* sum, std::size_t n);

    std::vector<QrmStation> stations_;
    std::vector<Voice> voices_;
    std::int64_t sample_ = 0;
    std::vector<double> envelope_, inPhase_, quadrature_, faded_, sum_, increments_, phases_;
};

}  // namespace vantel::channel
