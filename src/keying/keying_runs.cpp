#include "keying/keying_runs.h"

namespace vantel::keying {

std::int64_t KeyingRuns::keyDownSamples() const {
    if (pattern_ != nullptr && pattern_->isContinuousTone()) return count() * samplesPerElement_;
    std::int64_t samples = 0;
    for (std::int64_t e = 0; e < count(); ++e) samples += keyDown(e) ? this->samples(e) : 0;
    return samples;
}

std::vector<KeyRun> mergedRuns(const KeyingPattern& pattern, std::int64_t samplesPerElement) {
    std::vector<KeyRun> runs;
    if (pattern.isContinuousTone()) {
        if (!pattern.empty()) runs.push_back({true, pattern.size() * samplesPerElement});
        return runs;
    }
    for (std::int64_t e = 0; e < pattern.size(); ++e) {
        const bool down = pattern.keyDown(e);
        if (!runs.empty() && runs.back().keyDown == down) {
            runs.back().samples += samplesPerElement;
        } else {
            runs.push_back({down, samplesPerElement});
        }
    }
    return runs;
}

}  // namespace vantel::keying
