#include "wav/wav_writer.h"
#include "ui/wav_player.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "wav/wav_reader.h"

namespace vantel::ui {
namespace {

using Clock = std::chrono::steady_clock;

// Short enough that the end of playback is heard close to when it is
// reported, long enough that a busy desktop does not starve the stream.
constexpr pa_usec_t kTargetLatencyUs = 100'000;
constexpr auto kPollStep = std::chrono::milliseconds(20);
// How long past the sound's own length the server may take to play it out.
constexpr auto kPlayOutMargin = std::chrono::seconds(3);
constexpr std::size_t kChunkBytes = 16 * 1024;

class PlayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& message) { throw PlayError("Cannot play: " + message); }

struct MainloopFree {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextClose {
    void operator()(pa_context* context) const {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};
struct StreamClose {
    void operator()(pa_stream* stream) const {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};
struct OperationDrop {
    void operator()(pa_operation* operation) const {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
};

struct DrainResult {
    bool done = false;
    bool succeeded = false;
};

// One playback: connection, stream, samples, drain. Objects are released in
// the reverse order of their creation (members are destroyed bottom up).
class Playback {
public:
    Playback(std::string path, const wav::PcmLayout& layout) : path_(std::move(path)), layout_(layout) {}

    void run() {
        connect();
        openStream();
        const Clock::time_point deadline = Clock::now() + soundLength() + kPlayOutMargin;
        writeSamples(deadline);
        drain(deadline);
    }

private:
    std::chrono::microseconds soundLength() const {
        const std::int64_t samples = layout_.dataBytes / 2;
        return std::chrono::microseconds(samples * 1'000'000 / layout_.sampleRate);
    }

    std::string serverError() const { return pa_strerror(pa_context_errno(context_.get())); }

    // One round of the main loop, waiting for events no later than `deadline`.
    void iterate(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        const auto wait = std::clamp<std::chrono::microseconds>(left, std::chrono::microseconds(0), kPollStep);
        if (pa_mainloop_prepare(loop_.get(), static_cast<int>(wait.count())) < 0 ||
            pa_mainloop_poll(loop_.get()) < 0 || pa_mainloop_dispatch(loop_.get()) < 0) {
            fail("the connection to the sound server broke down");
        }
    }

    // No automatic start of a server: a desktop without one gets the message
    // at once instead of waiting for a daemon that may never come up.
    void connect() {
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
            iterate(deadline);
        }
    }

    void openStream() {
        const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(layout_.sampleRate), 1};
        if (!pa_sample_spec_valid(&format)) {
            fail("the sound server takes no " + std::to_string(layout_.sampleRate) + " Hz sound");
        }
        stream_.reset(pa_stream_new(context_.get(), "Vantel", &format, nullptr));
        if (!stream_) fail(serverError());
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &format));
        buffer.prebuf = static_cast<std::uint32_t>(-1);
        buffer.minreq = static_cast<std::uint32_t>(-1);
        buffer.fragsize = static_cast<std::uint32_t>(-1);
        if (pa_stream_connect_playback(stream_.get(), nullptr, &buffer, PA_STREAM_ADJUST_LATENCY, nullptr,
                                       nullptr) < 0) {
            fail("no sound device (" + serverError() + ")");
        }
        const Clock::time_point deadline = Clock::now() + kSoundServerAnswerLimit;
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(stream_.get());
            if (state == PA_STREAM_READY) return;
            if (!PA_STREAM_IS_GOOD(state)) fail("no sound device (" + serverError() + ")");
            if (Clock::now() >= deadline) fail("the sound server did not open a stream");
            iterate(deadline);
        }
    }

    void checkStream() const {
        if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY) fail("playback broke off (" + serverError() + ")");
    }

    void writeSamples(Clock::time_point deadline) {
        std::ifstream file(path_, std::ios::binary);
        file.seekg(layout_.dataOffset);
        std::vector<char> chunk(kChunkBytes);
        std::int64_t left = layout_.dataBytes;
        while (left > 0) {
            checkStream();
            const std::size_t writable = pa_stream_writable_size(stream_.get());
            if (writable == static_cast<std::size_t>(-1)) fail("playback broke off (" + serverError() + ")");
            std::size_t size = std::min({writable, chunk.size(), static_cast<std::size_t>(left)});
            size -= size % 2;
            if (size > 0) {
                if (!file.read(chunk.data(), static_cast<std::streamsize>(size))) fail(path_ + " could not be read");
                if (pa_stream_write(stream_.get(), chunk.data(), size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                    fail("playback broke off (" + serverError() + ")");
                }
                left -= static_cast<std::int64_t>(size);
                continue;
            }
            if (Clock::now() >= deadline) fail("the sound server stopped taking samples");
            iterate(deadline);
        }
    }

    // Returns once the server has played every sample written.
    void drain(Clock::time_point deadline) {
        DrainResult result;
        const std::unique_ptr<pa_operation, OperationDrop> operation(pa_stream_drain(
            stream_.get(),
            [](pa_stream*, int success, void* user) {
                auto* drained = static_cast<DrainResult*>(user);
                drained->done = true;
                drained->succeeded = success != 0;
            },
            &result));
        if (!operation) fail("playback broke off (" + serverError() + ")");
        while (!result.done) {
            checkStream();
            if (Clock::now() >= deadline) fail("the sound server did not finish playing");
            iterate(deadline);
        }
        if (!result.succeeded) fail("playback broke off (" + serverError() + ")");
    }

    std::string path_;
    wav::PcmLayout layout_;
    std::unique_ptr<pa_mainloop, MainloopFree> loop_;
    std::unique_ptr<pa_context, ContextClose> context_;
    std::unique_ptr<pa_stream, StreamClose> stream_;
};

}  // namespace

std::string playWavFile(const std::string& path) {
    try {
        const wav::PcmLayout layout = wav::readMono16Layout(path);
        if (layout.dataBytes == 0) return {};
        Playback(path, layout).run();
        return {};
    } catch (const PlayError& error) {
        return error.what();
    } catch (const wav::FileError& error) {
        return std::string("Cannot play: ") + error.what();
    }
}

}  // namespace vantel::ui
