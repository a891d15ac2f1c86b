#include "synth/qrm_ahead.h"

#include <algorithm>

namespace vantel::synth {

QrmAhead::QrmAhead(std::vector<channel::QrmStation> stations, double wantedAmplitude, std::int64_t riseSamples,
                   double sampleRate, std::int64_t totalSamples, std::uint64_t fileSeed,
                   std::optional<channel::QrmFading> fading)
    : source_(std::move(stations), wantedAmplitude, riseSamples, sampleRate, totalSamples, fileSeed, std::move(fading)),
      totalSamples_(totalSamples),
      blocks_(kBlocks, std::vector<double>(kBlock)) {
    start();
}

QrmAhead::~QrmAhead() { stop(); }

void QrmAhead::start() {
    filled_ = 0;
    stopping_ = false;
    head_ = 0;
    readAt_ = 0;
    headReady_ = false;
    thread_ = std::thread([this] { produce(); });
}

void QrmAhead::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void QrmAhead::reset() {
    stop();
    source_.reset();
    start();
}

void QrmAhead::produce() {
    std::size_t next = 0;
    for (std::int64_t made = 0; made < totalSamples_;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || filled_ < kBlocks; });
            if (stopping_) return;
        }
        // The block is free: the consumer reads only filled ones.
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, totalSamples_ - made));
        source_.process(blocks_[next].data(), n);
        made += static_cast<std::int64_t>(n);
        next = (next + 1) % kBlocks;
        {
            const std::lock_guard lock(mutex_);
            ++filled_;
        }
        changed_.notify_all();
    }
}

void QrmAhead::waitForHead() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return filled_ > 0; });
    headReady_ = true;
}

void QrmAhead::releaseHead() {
    {
        const std::lock_guard lock(mutex_);
        --filled_;
    }
    changed_.notify_all();
    head_ = (head_ + 1) % kBlocks;
    readAt_ = 0;
    headReady_ = false;
}

void QrmAhead::process(double* out, std::size_t n) {
    while (n > 0) {
        if (!headReady_) waitForHead();
        const std::size_t count = std::min(n, kBlock - readAt_);
        std::copy_n(blocks_[head_].data() + readAt_, count, out);
        readAt_ += count;
        out += count;
        n -= count;
        if (readAt_ == kBlock) releaseHead();
    }
}

}  // namespace vantel::synth
