#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "keying/keying_pattern.h"
#include "keying/morse_timing.h"

namespace vantel::keying {

// What a run keys, element by element: the window's pattern of elements of
// one length, or runs of samples of any lengths (timing that is not whole
// dots: Farnsworth gaps, a human fist). The run goes through it element by
// element either way; the pattern and the runs are not copied.
class KeyingRuns {
public:
    KeyingRuns(const KeyingPattern& pattern, std::int64_t samplesPerElement)
        : pattern_(&pattern), samplesPerElement_(samplesPerElement) {}
    explicit KeyingRuns(std::span<const KeyRun> runs) : runs_(runs) {}

    std::int64_t count() const {
        return pattern_ != nullptr ? pattern_->size() : static_cast<std::int64_t>(runs_.size());
    }
    bool keyDown(std::int64_t element) const {
        return pattern_ != nullptr ? pattern_->keyDown(element) : runs_[static_cast<std::size_t>(element)].keyDown;
    }
    std::int64_t samples(std::int64_t element) const {
        return pattern_ != nullptr ? samplesPerElement_ : runs_[static_cast<std::size_t>(element)].samples;
    }
    bool uniform() const { return pattern_ != nullptr; }
    bool lastKeyDown() const { return count() > 0 && keyDown(count() - 1); }
    // The samples with the key down (a continuous tone's without a count of
    // its elements).
    std::int64_t keyDownSamples() const;

private:
    const KeyingPattern* pattern_ = nullptr;
    std::int64_t samplesPerElement_ = 0;
    std::span<const KeyRun> runs_;
};

// A pattern's elements as runs of samples, neighbours of one key state
// merged: the form the effects that follow key edges read.
std::vector<KeyRun> mergedRuns(const KeyingPattern& pattern, std::int64_t samplesPerElement);

}  // namespace vantel::keying
