#include "synth/file_labels.h"

#include <cmath>

#include <algorithm>

#include "channel/edge_shaper.h"
#include "channel/if_filter.h"
#include "filter/fir_filter.h"
#include "keying/classic_labels.h"
#include "keying/keying_runs.h"

namespace vantel::synth {
namespace {

// The runs' first samples, for finding the run that begins at a sample.
class RunStarts {
public:
    explicit RunStarts(std::span<const keying::KeyRun> runs) : runs_(runs) {
        std::int64_t at = 0;
        for (const keying::KeyRun& run : runs) {
            starts_.push_back(at);
            at += run.samples;
        }
    }

    // Half the edge that opens the run beginning at `sample` when its key is
    // `keyDown`; 0 when no such run begins there.
    std::int64_t halfEdgeAt(std::int64_t sample, bool keyDown, std::int64_t rise) const {
        if (rise <= 0) return 0;
        const auto found = std::lower_bound(starts_.begin(), starts_.end(), sample);
        if (found == starts_.end() || *found != sample) return 0;
        const keying::KeyRun& run = runs_[static_cast<std::size_t>(found - starts_.begin())];
        if (run.keyDown != keyDown) return 0;
        // An edge longer than its run is shortened to the run (edgeEnvelope).
        return std::min(rise, run.samples) / 2;
    }

private:
    std::span<const keying::KeyRun> runs_;
    std::vector<std::int64_t> starts_;
};

std::vector<keying::KeyRun> wantedRuns(const RunSetup& setup) {
    if (setup.timed) return setup.timed->runs;
    return keying::mergedRuns(setup.pattern, setup.plan.samplesPerElement);
}

std::vector<keying::TimedLabel> keyedWantedLabels(const RunSetup& setup, std::string_view messageBox) {
    if (!settings::isMorseMode(setup.mode)) return {};
    if (setup.timed) return setup.timed->labels;
    return keying::classicLabels(keying::encodedMessage(messageBox), setup.plan.samplesPerElement);
}

}  // namespace

std::vector<keying::TimedLabel> labelsInFile(const std::vector<keying::TimedLabel>& keyed,
                                             std::span<const keying::KeyRun> runs, const LabelTiming& timing) {
    const RunStarts starts(runs);
    const std::int64_t shift = timing.lag - 1 + timing.filterDelay;
    auto inFile = [&](std::int64_t sample) { return std::min(sample + shift, timing.totalSamples); };
    std::vector<keying::TimedLabel> labels;
    labels.reserve(keyed.size());
    for (const keying::TimedLabel& label : keyed) {
        // The keyed label starts one past its first run's first sample and ends
        // one past its last key-down sample, where the key-up run begins.
        const std::int64_t rising = starts.halfEdgeAt(label.start - 1, true, timing.riseSamples);
        const std::int64_t falling = starts.halfEdgeAt(label.end - 1, false, timing.riseSamples);
        const bool character = label.text != " ";
        labels.push_back({label.text, inFile(label.start + (character ? rising : 0)),
                          inFile(label.end + (character ? falling : 0))});
    }
    return labels;
}

std::int64_t receiverDelaySamples(const RunSetup& setup) {
    const channel::BandConditions& c = setup.conditions;
    if (!c.receiver) return 0;
    const channel::IfFilter filter(c.ifShape, setup.toneHz, c.ifBandwidthHz, setup.sampleRate);
    return static_cast<std::int64_t>(std::lround(filter.delaySamples()));
}

FileLabels fileLabels(const RunSetup& setup, std::string_view messageBox, bool filterOn, std::int16_t firLength) {
    FileLabels labels;
    labels.filterDelay = filterOn ? filter::delaySamples(firLength) : 0;
    labels.receiverDelay = receiverDelaySamples(setup);
    LabelTiming timing;
    timing.filterDelay = labels.filterDelay + labels.receiverDelay;
    timing.totalSamples = setup.plan.totalSamples;
    // Edges shape on/off keying only; the stations take the wanted signal's.
    const std::int64_t rise = setup.conditions.riseMs > 0 ? channel::riseSamples(setup.conditions.riseMs, setup.sampleRate) : 0;
    timing.riseSamples = setup.mode == settings::Mode::OnOffCW ? rise : 0;
    labels.wanted = labelsInFile(keyedWantedLabels(setup, messageBox), wantedRuns(setup), timing);
    timing.lag = 0;
    timing.riseSamples = rise;
    for (const channel::QrmStation& station : setup.qrmStations) {
        labels.stations.push_back(labelsInFile(station.labels, station.runs, timing));
    }
    return labels;
}

}  // namespace vantel::synth
