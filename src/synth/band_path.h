#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "channel/edge_shaper.h"
#include "channel/qrm.h"
#include "channel/qrn.h"
#include "channel/qrn_class_a.h"
#include "channel/qsb.h"
#include "channel/silence.h"
#include "channel/tone_wander.h"
#include "channel/watterson_fading.h"
#include "keying/morse_timing.h"
#include "synth/qrm_ahead.h"
#include "synth/run_setup.h"

namespace vantel::synth {

// A run's band conditions between the transmitter and the receiver: the
// wanted tone's key edges, chirp and drift, then its fading and QSB, and the
// QRM and QRN that arrive beside it. Both renderers use it, the reference
// one sample at a time and the block renderer in pieces; its objects give
// the same values either way. Each effect draws from its own stream of the
// file's seed, so turning one on changes nothing of another or of the noise.
class BandPath {
public:
    // The most samples one call may take.
    static constexpr std::size_t kMostSamples = 4096;

    // Fading and QSB are scaled together so that the wanted signal's energy
    // over this very file is its unfaded energy (with the same edges): its
    // mean key-down power, and so the S/N label, hold file by file, however
    // short the file and slow the fading. The scale is measured by a pass
    // over the wanted signal alone before the run.
    explicit BandPath(const RunSetup& setup);
    BandPath(const BandPath&) = delete;
    BandPath& operator=(const BandPath&) = delete;

    // From the oscillator's keyed amplitude (the peak or 0, one sample late)
    // and phase for the next n samples: the wanted signal as received, and
    // the QRM and QRN beside it (left as they are when there is none).
    void process(const double* keyedAmplitude, const double* phase, double* wanted, double* qrm, double* qrn,
                 std::size_t n);

    // Back to the file's first sample (the normalisation measured stays).
    void reset();

    bool hasQrm() const { return qrm_.has_value(); }
    bool hasQrn() const { return qrn_.has_value() || classA_.has_value(); }
    std::int64_t qrnCrashes() const { return qrn_ ? qrn_->crashes() : classA_ ? classA_->crashes() : 0; }

private:
    enum class Use { Run, Measure };
    BandPath(const RunSetup& setup, Use use);
    // The wanted signal's energy, as sent (edges, chirp and drift, without
    // fading or QSB) and as received before any normalisation.
    struct WantedEnergy {
        double sent = 0;
        double received = 0;
    };
    // The wanted signal for the next n samples, as received, into `wanted`;
    // adds its energy to `energy` when given.
    void makeWanted(const double* keyedAmplitude, const double* phase, double* wanted, std::size_t n,
                    WantedEnergy* energy = nullptr);
    static WantedEnergy measureWanted(const RunSetup& setup);
    void normaliseWanted(const RunSetup& setup);

    // The wanted tone's envelope for the next n samples, in [0, 1].
    void envelope(const double* keyedAmplitude, double* out, std::size_t n);
    void addTone(const double* phase, double* wanted, std::size_t first, std::size_t n, WantedEnergy* energy);

    // The wanted signal's runs, for the effects that follow its edges: the
    // set-up's timed runs, or the pattern's elements merged into runs.
    std::vector<keying::KeyRun> mergedPattern_;
    std::span<const keying::KeyRun> runs_;
    std::optional<channel::EdgeShaper> shaper_;
    double startCarry_;   // the envelope before the first sample: keyed, as the oscillator starts
    double shapedCarry_;  // the keying acts one sample late
    std::optional<channel::ToneWander> wander_;
    channel::PhaseAccumulator phase_;
    std::optional<channel::WattersonChannel> fading_;
    std::optional<channel::MultipathChannel> paths_;  // fading given path by path
    channel::SilenceTracker silence_;
    std::optional<channel::QsbGain> qsb_;
    std::optional<channel::RandomQsbGain> randomQsb_;
    std::optional<QrmAhead> qrm_;
    std::optional<channel::QrnSource> qrn_;
    std::optional<channel::ClassAQrn> classA_;
    std::vector<double> shaped_, envelope_, increments_, phases_, inPhase_, quadrature_, gain_;
};

}  // namespace vantel::synth
