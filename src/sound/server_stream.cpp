#include "sound/server_stream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "sound/player.h"

namespace vantel::sound::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Short enough that the end of playback is heard close to when it is
// reported, long enough that a busy desktop does not starve the stream.
constexpr pa_usec_t kTargetLatencyUs = 100'000;
// How long the server may go without asking for samples, or take to play out
// the little it holds, before it counts as stuck.
constexpr auto kStallLimit = std::chrono::seconds(3);
// How long a stopped playback waits for the server to drop what it holds.
constexpr auto kFlushLimit = std::chrono::milliseconds(200);
constexpr std::size_t kChunkBytes = 16 * 1024;

struct OperationDrop {
    void operator()(pa_operation* operation) const {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
};

struct OperationResult {
    bool done = false;
    bool succeeded = false;
};

void recordResult(pa_stream*, int success, void* user) {
    auto* result = static_cast<OperationResult*>(user);
    result->done = true;
    result->succeeded = success != 0;
}

}  // namespace

void fail(const std::string& reason) { throw PlayError("Cannot play: " + reason); }

void ServerStream::MainloopFree::operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }

void ServerStream::ContextClose::operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
}

void ServerStream::StreamClose::operator()(pa_stream* stream) const {
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

ServerStream::ServerStream(int rate, std::function<bool()> stopRequested)
    : rate_(rate), stopRequested_(std::move(stopRequested)) {}

ServerStream::~ServerStream() = default;

void ServerStream::open() {
    if (rate_ <= 0) fail("the sound server takes no " + std::to_string(rate_) + " Hz sound");
    connect();
    openStream();
    lastAsked_ = Clock::now();
}

std::string ServerStream::serverError() const { return pa_strerror(pa_context_errno(context_.get())); }

// One round of the main loop, waiting for events no later than `deadline`.
void ServerStream::iterate(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    const auto wait = std::clamp<std::chrono::microseconds>(left, std::chrono::microseconds(0), kPollStep);
    if (pa_mainloop_prepare(loop_.get(), static_cast<int>(wait.count())) < 0 || pa_mainloop_poll(loop_.get()) < 0 ||
        pa_mainloop_dispatch(loop_.get()) < 0) {
        fail("the connection to the sound server broke down");
    }
}

// A round of the main loop that first honours a request to stop; every wait
// goes through here, so the request is seen within one poll step.
void ServerStream::step(Clock::time_point deadline) {
    if (stopRequested_ && stopRequested_()) throw StopAsked{};
    iterate(deadline);
}

// No automatic start of a server: a desktop without one gets the message at
// once instead of waiting for a daemon that may never come up.
void ServerStream::connect() {
    loop_.reset(pa_mainloop_new());
    if (!loop_) fail("out of memory");
    context_.reset(pa_context_new(pa_mainloop_get_api(loop_.get()), "Vantel"));
    if (!context_) fail("out of memory");
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        fail("no sound server (" + serverError() + ")");
    }
    const Clock::time_point deadline = Clock::now() + kSoundServerAnswerLimit;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_.get());
        if (state == PA_CONTEXT_READY) return;
        if (!PA_CONTEXT_IS_GOOD(state)) fail("no sound server (" + serverError() + ")");
        if (Clock::now() >= deadline) fail("the sound server did not answer");
        step(deadline);
    }
}

void ServerStream::openStream() {
    const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(rate_), 1};
    if (!pa_sample_spec_valid(&format)) fail("the sound server takes no " + std::to_string(rate_) + " Hz sound");
    stream_.reset(pa_stream_new(context_.get(), "Vantel", &format, nullptr));
    if (!stream_) fail(serverError());
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &format));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(stream_.get(), nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
        0) {
        fail("no sound device (" + serverError() + ")");
    }
    const Clock::time_point deadline = Clock::now() + kSoundServerAnswerLimit;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_.get());
        if (state == PA_STREAM_READY) return;
        if (!PA_STREAM_IS_GOOD(state)) fail("no sound device (" + serverError() + ")");
        if (Clock::now() >= deadline) fail("the sound server did not open a stream");
        step(deadline);
    }
}

void ServerStream::checkStream() const {
    if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY) fail("playback broke off (" + serverError() + ")");
}

std::size_t ServerStream::writableBytes() {
    checkStream();
    const std::size_t writable = pa_stream_writable_size(stream_.get());
    if (writable == static_cast<std::size_t>(-1)) fail("playback broke off (" + serverError() + ")");
    if (writable > 0) lastAsked_ = Clock::now();
    return writable;
}

std::size_t ServerStream::writeSome(std::span<const std::int16_t> samples) {
    const auto* next = reinterpret_cast<const char*>(samples.data());
    std::size_t left = samples.size_bytes();
    while (left > 0) {
        std::size_t size = std::min({writableBytes(), kChunkBytes, left});
        size -= size % sizeof(std::int16_t);
        if (size == 0) break;
        // The server copies the samples before the call returns.
        if (pa_stream_write(stream_.get(), next, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            fail("playback broke off (" + serverError() + ")");
        }
        next += size;
        left -= size;
    }
    return (samples.size_bytes() - left) / sizeof(std::int16_t);
}

void ServerStream::wait() {
    if (writableBytes() == 0 && Clock::now() - lastAsked_ >= kStallLimit) {
        fail("the sound server stopped taking samples");
    }
    step(Clock::now() + kPollStep);
}

void ServerStream::drain() {
    OperationResult result;
    const std::unique_ptr<pa_operation, OperationDrop> operation(
        pa_stream_drain(stream_.get(), recordResult, &result));
    if (!operation) fail("playback broke off (" + serverError() + ")");
    // The server holds about kTargetLatencyUs of sound, so the limit is generous.
    const Clock::time_point deadline = Clock::now() + kStallLimit;
    while (!result.done) {
        checkStream();
        if (Clock::now() >= deadline) fail("the sound server did not finish playing");
        step(deadline);
    }
    if (!result.succeeded) fail("playback broke off (" + serverError() + ")");
}

void ServerStream::dropHeld() noexcept {
    if (!stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY) return;
    OperationResult result;
    const std::unique_ptr<pa_operation, OperationDrop> operation(
        pa_stream_flush(stream_.get(), recordResult, &result));
    if (!operation) return;
    const Clock::time_point deadline = Clock::now() + kFlushLimit;
    try {
        while (!result.done && Clock::now() < deadline) iterate(deadline);
    } catch (const PlayError&) {
    }
}

}  // namespace vantel::sound::detail
