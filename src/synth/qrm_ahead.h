#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "channel/qrm.h"

namespace vantel::synth {

// A run's QRM made on a thread of its own, a few blocks ahead of the run
// that takes it. The stations are the costliest part of a band and need
// nothing from the rest of it, so on a second core they cost the run
// nothing; the samples are exactly the source's, however they are taken.
class QrmAhead {
public:
    // The source's samples, up to the file's `totalSamples`.
    QrmAhead(std::vector<channel::QrmStation> stations, double wantedAmplitude, std::int64_t riseSamples,
             double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed,
             std::optional<channel::QrmFading> fading);
    QrmAhead(const QrmAhead&) = delete;
    QrmAhead& operator=(const QrmAhead&) = delete;
    ~QrmAhead();

    // The next n samples; the same as the source's process().
    void process(double* out, std::size_t n);
    // Back to the file's first sample.
    void reset();

private:
    static constexpr std::size_t kBlock = 16384;
    static constexpr std::size_t kBlocks = 4;

    void start();
    void stop();
    // The thread: fills the free blocks in turn until the file's end.
    void produce();
    // Waits until the block at head_ is filled.
    void waitForHead();
    // The block at head_ is read: it is free again.
    void releaseHead();

    channel::QrmSource source_;
    std::int64_t totalSamples_;
    std::vector<std::vector<double>> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t filled_ = 0;  // blocks made and not yet read, from head_ on
    bool stopping_ = false;
    std::size_t head_ = 0;          // the block being read (the consumer's)
    std::size_t readAt_ = 0;        // within it
    bool headReady_ = false;        // the consumer has seen head_ filled
    std::thread thread_;
};

}  // namespace vantel::synth
