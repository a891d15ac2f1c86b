#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "synth/sample_sink.h"

// Playing samples while they are being made: the producer pushes them as they
// come, much faster than real time, and a thread of the playback's own feeds
// the sound server from what is queued.
namespace vantel::sound {

namespace detail {
class ServerStream;
}

// One stream of 16-bit mono samples played through the desktop's sound
// server as playSamples plays them, but fed piece by piece. Connecting starts
// at construction, on the playback's thread; every sample pushed is kept
// until the server has taken it, so a producer never waits for the server.
class StreamPlayback {
public:
    // `stopRequested` is asked every kPollStep on the playback's thread (so
    // it must be safe to call from there, e.g. read an atomic flag); true
    // stops the playback and drops what the server still holds.
    explicit StreamPlayback(int rate, std::function<bool()> stopRequested = {});
    // Stops a playback still running and waits for its thread.
    ~StreamPlayback();
    StreamPlayback(const StreamPlayback&) = delete;
    StreamPlayback& operator=(const StreamPlayback&) = delete;

    // Waits until the server has opened the stream (at most about twice
    // kSoundServerAnswerLimit). Empty when it has; otherwise what
    // waitUntilPlayed will return: one line why not (no server...) or
    // kStopped. Lets a caller say at once that there is nothing to play on.
    std::string waitUntilReady();

    // Queues samples to be played after those pushed before. Thread-safe and
    // never waits for the server. Once the playback is over (see over()),
    // samples are dropped.
    void push(std::span<const std::int16_t> samples);

    // No more samples come: the playback ends when those queued are played.
    // Pushing after this is a fault (std::logic_error).
    void endOfSamples();

    // Ends the samples (as endOfSamples) and waits until they are played.
    // Empty when every sample was played; kStopped when `stopRequested` said
    // true (the call returns at once then); otherwise one line that says why
    // not, as playSamples says it.
    std::string waitUntilPlayed();

    // True once the playback has ended: played, stopped or failed. A producer
    // that only makes samples to be played may stop then.
    bool over() const noexcept { return over_.load(); }

private:
    void run();
    std::string play();
    void markReady();
    void feed(detail::ServerStream& server);
    void writeQueued(detail::ServerStream& server);
    bool allWritten();

    int rate_;
    std::function<bool()> stopRequested_;
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> over_{false};

    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool ended_ = false;
    std::string outcome_;
    // Pushed and not yet taken by the server, in blocks; the first block is
    // taken from `firstTaken_` on.
    std::deque<std::vector<std::int16_t>> queued_;
    std::size_t firstTaken_ = 0;

    std::thread thread_;  // last: started once everything it uses exists
};

// A run rendered straight into a playback: append pushes.
class PlaybackSink : public synth::SampleSink {
public:
    explicit PlaybackSink(StreamPlayback& playback) : playback_(playback) {}
    void append(std::span<const std::int16_t> samples) override { playback_.push(samples); }
    using synth::SampleSink::append;

private:
    StreamPlayback& playback_;
};

}  // namespace vantel::sound
