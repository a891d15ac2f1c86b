#include "sound/stream_playback.h"

#include <algorithm>
#include <stdexcept>

#include "sound/player.h"
#include "sound/server_stream.h"

namespace vantel::sound {
namespace {

// Pushes are gathered into blocks of about this many samples, so that a
// producer pushing a few at a time does not make a block for each push.
constexpr std::size_t kBlockSamples = 64 * 1024;

}  // namespace

StreamPlayback::StreamPlayback(int rate, std::function<bool()> stopRequested)
    : rate_(rate), stopRequested_(std::move(stopRequested)), thread_([this] { run(); }) {}

StreamPlayback::~StreamPlayback() {
    abandoned_.store(true);
    if (thread_.joinable()) thread_.join();
}

std::string StreamPlayback::waitUntilReady() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_ || over(); });
    return ready_ ? std::string() : outcome_;
}

void StreamPlayback::push(std::span<const std::int16_t> samples) {
    if (samples.empty()) return;
    const std::lock_guard lock(mutex_);
    if (ended_) throw std::logic_error("samples pushed to a playback after their end");
    if (over()) return;
    if (queued_.empty() || queued_.back().size() >= kBlockSamples) {
        queued_.emplace_back().reserve(std::max(kBlockSamples, samples.size()));
    }
    queued_.back().insert(queued_.back().end(), samples.begin(), samples.end());
}

void StreamPlayback::endOfSamples() {
    const std::lock_guard lock(mutex_);
    ended_ = true;
}

std::string StreamPlayback::waitUntilPlayed() {
    endOfSamples();
    if (thread_.joinable()) thread_.join();
    return outcome_;
}

void StreamPlayback::run() {
    std::string outcome = play();
    {
        const std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
        queued_.clear();
        over_.store(true);
    }
    changed_.notify_all();
}

std::string StreamPlayback::play() {
    detail::ServerStream server(rate_, [this] {
        return abandoned_.load() || (stopRequested_ && stopRequested_());
    });
    try {
        server.open();
        markReady();
        feed(server);
        server.drain();
        return {};
    } catch (const detail::StopAsked&) {
        server.dropHeld();
        return kStopped;
    } catch (const detail::PlayError& error) {
        return error.what();
    } catch (const std::bad_alloc&) {
        return "Cannot play: out of memory";
    }
}

void StreamPlayback::markReady() {
    {
        const std::lock_guard lock(mutex_);
        ready_ = true;
    }
    changed_.notify_all();
}

// Hands the server what it asks for until every sample pushed before the end
// has been handed over.
void StreamPlayback::feed(detail::ServerStream& server) {
    while (!allWritten()) {
        writeQueued(server);
        server.wait();
    }
}

bool StreamPlayback::allWritten() {
    const std::lock_guard lock(mutex_);
    return ended_ && queued_.empty();
}

// The server copies what it takes at once, so the producer waits no longer
// than that copy for the lock.
void StreamPlayback::writeQueued(detail::ServerStream& server) {
    const std::lock_guard lock(mutex_);
    while (!queued_.empty()) {
        const std::span<const std::int16_t> first = std::span(queued_.front()).subspan(firstTaken_);
        const std::size_t taken = server.writeSome(first);
        if (taken < first.size()) {
            firstTaken_ += taken;
            break;
        }
        queued_.pop_front();
        firstTaken_ = 0;
    }
}

}  // namespace vantel::sound
