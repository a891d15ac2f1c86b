#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channel/band_conditions.h"
#include "channel/watterson_fading.h"
#include "random/random_stream.h"

namespace vantel::channel {

// The fading channel given path by path: path i a Rayleigh-fading
// DopplerPath of its own spread, power 10^(powerDb/10) (the powers scaled to
// add up to 1, the mean power of the two-path Watterson channel), its input
// delayed by delayMs (rounded to whole samples) and its gain turned by
// exp(j 2 pi shiftHz t), t counted from the file's first sample, which moves
// its Doppler spectrum's centre to shiftHz. Fed with the clean tone's
// in-phase and quadrature components, amp sin(theta) and amp cos(theta), path
// i gives Re h_i * amp sin(theta(t - tau_i)) + Im h_i * amp cos(theta(t - tau_i))
// for h_i its complex gain; the channel returns their sum times the
// normalising scale. Before its delay has passed a path's input is silence.
// Two paths of equal power without shift, from the FadingPath1 and
// FadingPath2 streams, give exactly the WattersonChannel's samples.
class MultipathChannel {
public:
    // One stream per path; throws text::SettingError for a path out of its
    // limits or a count of paths other than 1 to limits::kMostFadingPaths.
    MultipathChannel(const std::vector<FadingPathSetting>& paths, double sampleRate,
                     const std::vector<random::RandomStream>& streams);
    // The wanted signal's channel: path i from the file's FadingPath<i+1> stream.
    static MultipathChannel forFile(std::uint64_t fileSeed, const std::vector<FadingPathSetting>& paths,
                                    double sampleRate);
    // A QRM station's channel: path i from sub-stream `station` of QrmFadingPath<i+1>.
    static MultipathChannel forStation(std::uint64_t fileSeed, std::uint64_t station,
                                       const std::vector<FadingPathSetting>& paths, double sampleRate);

    // The mean of the sum of |h_i|^2 over the first `samples` samples (about 1).
    double meanGainPower(std::int64_t samples) const;
    // Scales the output by 1 / sqrt(meanGainPower(samples)), so that the
    // signal keeps its mean power over a file of that length.
    void normaliseOver(std::int64_t samples);
    // Scales the output by `scale` (a normalisation measured elsewhere).
    void setScale(double scale) { scale_ = scale; }

    double next(double inPhase, double quadrature);
    // out[i] for the next n samples; the same as n calls of next().
    void process(const double* inPhase, const double* quadrature, double* out, std::size_t n);
    // n samples of silence when the delay line holds nothing but silence (the
    // last delaySamples() inputs were 0): the output would be 0 throughout,
    // so only the gains move on.
    void skipSilence(std::int64_t n);
    void reset();

    // The longest path delay.
    std::int64_t delaySamples() const { return longestDelay_; }
    double scale() const { return scale_; }

private:
    static constexpr std::size_t kChunk = 1024;
    // A shifted path's phasor is worked out afresh from the sample number at
    // the start of every block of this many samples and turned within the
    // block by a table: one complex product a sample, and no running phase
    // whose rounding errors could add up over a file.
    static constexpr std::int64_t kTurnBlock = 256;

    struct Path {
        DopplerPath gains;
        std::int64_t delay;
        double amplitude;        // sqrt(2 power), the DopplerPath's power being 1/2
        double cyclesPerSample;  // the shift; 0: none
        std::vector<double> turnRe, turnIm;  // exp(j 2 pi shift k), k < kTurnBlock
        std::int64_t anchorBlock = -1;       // the block whose phasor `anchor` is
        ComplexGain anchor;
    };
    // A shifted path's phasor (amplitude times the shift's turn) at the start
    // of block `block`, kept until another block is asked for.
    static const ComplexGain& anchorAt(Path& path, std::int64_t block);
    // The chunk's inputs after the last longestDelay_ ones, from which a path
    // delayed by d reads history[longestDelay_ - d + k]; leaves the ring
    // holding the chunk's last longestDelay_ inputs.
    void delayChunk(const double* inPhase, const double* quadrature, std::size_t n);
    // Adds the path's share of the next n samples to sum_.
    void addPath(Path& path, const double* inPhase, const double* quadrature, std::size_t n);

    std::vector<Path> paths_;
    std::int64_t longestDelay_ = 0;
    std::vector<double> delayedI_, delayedQ_;  // the last longestDelay_ inputs, a ring
    std::size_t head_ = 0;                     // the oldest of them
    std::int64_t sample_ = 0;                  // the next sample's number in the file
    double scale_ = 1;
    std::vector<double> gRe_, gIm_, sum_, historyI_, historyQ_;
};

// The text of --fading-paths: "DELAY:SPREAD[:POWER[:SHIFT]]" per path (ms,
// Hz, dB, Hz; power and shift 0 when left out), paths separated by '/', e.g.
// "0:0.5/1:0.5:-3/2.5:1:-6:+2". Every number is read strictly (the whole
// field, no blanks) and checked against its limit; throws
// text::SettingError, one line naming the fault and the form, for anything
// else.
std::vector<FadingPathSetting> parseFadingPaths(std::string_view text);
// The canonical text of those paths, shortest numbers, power and shift left
// out when 0: parseFadingPaths(fadingPathsText(paths)) == paths.
std::string fadingPathsText(const std::vector<FadingPathSetting>& paths);

}  // namespace vantel::channel
