#include "sound/player.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "wav/wav_reader.h"

namespace vantel::sound {
namespace {

using Clock = std::chrono::steady_clock;

// Short enough that the end of playback is heard close to when it is
// reported, long enough that a busy desktop does not starve the stream.
constexpr pa_usec_t kTargetLatencyUs = 100'000;
// How long past the sound's own length the server may take to play it out.
constexpr auto kPlayOutMargin = std::chrono::seconds(3);
// How long a stopped playback waits for the server to drop what it holds.
constexpr auto kFlushLimit = std::chrono::milliseconds(200);
constexpr std::size_t kChunkBytes = 16 * 1024;

class PlayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct StopAsked {};

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

struct OperationResult {
    bool done = false;
    bool succeeded = false;
};

void recordResult(pa_stream*, int success, void* user) {
    auto* result = static_cast<OperationResult*>(user);
    result->done = true;
    result->succeeded = success != 0;
}

// One playback: connection, stream, samples, drain. Objects are released in
// the reverse order of their creation (members are destroyed bottom up).
class Playback {
public:
    Playback(std::span<const std::int16_t> samples, int rate, const std::function<bool()>& stopRequested)
        : samples_(samples), rate_(rate), stopRequested_(stopRequested) {}

    // Empty when every sample was played, kStopped when asked to stop.
    std::string run() {
        try {
            connect();
            openStream();
            const Clock::time_point deadline = Clock::now() + soundLength() + kPlayOutMargin;
            writeSamples(deadline);
            drain(deadline);
            return {};
        } catch (const StopAsked&) {
            dropHeldSamples();
            return kStopped;
        }
    }

private:
    std::chrono::microseconds soundLength() const {
        return std::chrono::microseconds(static_cast<std::int64_t>(samples_.size()) * 1'000'000 / rate_);
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

    // A round of the main loop that first honours a request to stop; every
    // wait of the playback goes through here, so the request is seen within
    // one poll step.
    void step(Clock::time_point deadline) {
        if (stopRequested_ && stopRequested_()) throw StopAsked{};
        iterate(deadline);
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
            step(deadline);
        }
    }

    void openStream() {
        const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(rate_), 1};
        if (!pa_sample_spec_valid(&format)) {
            fail("the sound server takes no " + std::to_string(rate_) + " Hz sound");
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
            step(deadline);
        }
    }

    void checkStream() const {
        if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY) fail("playback broke off (" + serverError() + ")");
    }

    void writeSamples(Clock::time_point deadline) {
        const auto* next = reinterpret_cast<const char*>(samples_.data());
        std::size_t left = samples_.size_bytes();
        while (left > 0) {
            checkStream();
            const std::size_t writable = pa_stream_writable_size(stream_.get());
            if (writable == static_cast<std::size_t>(-1)) fail("playback broke off (" + serverError() + ")");
            std::size_t size = std::min({writable, kChunkBytes, left});
            size -= size % sizeof(std::int16_t);
            if (size > 0) {
                // The server copies the samples before the call returns.
                if (pa_stream_write(stream_.get(), next, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                    fail("playback broke off (" + serverError() + ")");
                }
                next += size;
                left -= size;
                continue;
            }
            if (Clock::now() >= deadline) fail("the sound server stopped taking samples");
            step(deadline);
        }
    }

    // Returns once the server has played every sample written.
    void drain(Clock::time_point deadline) {
        OperationResult result;
        const std::unique_ptr<pa_operation, OperationDrop> operation(
            pa_stream_drain(stream_.get(), recordResult, &result));
        if (!operation) fail("playback broke off (" + serverError() + ")");
        while (!result.done) {
            checkStream();
            if (Clock::now() >= deadline) fail("the sound server did not finish playing");
            step(deadline);
        }
        if (!result.succeeded) fail("playback broke off (" + serverError() + ")");
    }

    // After a stop, the samples the server holds are dropped rather than
    // played out; errors no longer matter, so none is reported.
    void dropHeldSamples() noexcept {
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

    std::span<const std::int16_t> samples_;
    int rate_;
    const std::function<bool()>& stopRequested_;
    std::unique_ptr<pa_mainloop, MainloopFree> loop_;
    std::unique_ptr<pa_context, ContextClose> context_;
    std::unique_ptr<pa_stream, StreamClose> stream_;
};

struct WavSound {
    int rate = 0;
    std::vector<std::int16_t> samples;
};

// The samples of a 16-bit mono PCM WAV file (little-endian on disk).
WavSound readWav(const std::string& path) {
    const wav::PcmLayout layout = wav::readMono16Layout(path);
    std::vector<char> bytes(static_cast<std::size_t>(layout.dataBytes));
    std::ifstream file(path, std::ios::binary);
    file.seekg(layout.dataOffset);
    if (!file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) fail(path + " could not be read");
    WavSound sound{layout.sampleRate, std::vector<std::int16_t>(bytes.size() / 2)};
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        const auto low = static_cast<std::uint8_t>(bytes[2 * i]);
        const auto high = static_cast<std::uint8_t>(bytes[2 * i + 1]);
        sound.samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    return sound;
}

}  // namespace

std::string playSamples(std::span<const std::int16_t> samples, int rate, const std::function<bool()>& stopRequested) {
    try {
        if (samples.empty()) return {};
        if (rate <= 0) fail("the sound server takes no " + std::to_string(rate) + " Hz sound");
        return Playback(samples, rate, stopRequested).run();
    } catch (const PlayError& error) {
        return error.what();
    }
}

std::string playWavFile(const std::string& path) {
    try {
        const WavSound sound = readWav(path);
        return playSamples(sound.samples, sound.rate);
    } catch (const PlayError& error) {
        return error.what();
    } catch (const wav::FileError& error) {
        return std::string("Cannot play: ") + error.what();
    }
}

}  // namespace vantel::sound
