#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantel::synth {

// The most samples a run may have: every sink must be able to take a whole
// run, and a 16-bit mono WAV file's size fields (the RIFF size, 2N + 36, a
// signed 32-bit field) hold no more.
inline constexpr std::int64_t kMostRunSamples = (std::int64_t{INT32_MAX} - 36) / 2;

// Where a run's 16-bit samples go, in order: a WAV file, a stream, or memory.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual void append(std::span<const std::int16_t> samples) = 0;
    virtual void append(std::int16_t sample) { append(std::span<const std::int16_t>(&sample, 1)); }
};

// Samples kept in memory, for front ends that hand them on rather than write
// a file.
class SampleBuffer : public SampleSink {
public:
    explicit SampleBuffer(std::size_t expected = 0) { samples_.reserve(expected); }
    void append(std::span<const std::int16_t> samples) override {
        samples_.insert(samples_.end(), samples.begin(), samples.end());
    }
    void append(std::int16_t sample) override { samples_.push_back(sample); }

    std::vector<std::int16_t>& samples() { return samples_; }

private:
    std::vector<std::int16_t> samples_;
};

}  // namespace vantel::synth
