#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

// The connection to the sound server and one playback stream on it, shared
// by the players of this folder; nothing outside it includes this header.
struct pa_mainloop;
struct pa_context;
struct pa_stream;

namespace vantel::sound::detail {

// Why a playback cannot go on; what() is the line the caller is given.
class PlayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by every wait of a ServerStream once its stop callback says true.
struct StopAsked {};

// Throws PlayError("Cannot play: " + reason).
[[noreturn]] void fail(const std::string& reason);

// A mono 16-bit stream to the default device, with its own main loop. Every
// call runs on the thread that calls it; none waits longer than kPollStep
// without asking `stopRequested`, and every wait throws StopAsked once it
// says true. Errors are PlayError.
class ServerStream {
public:
    ServerStream(int rate, std::function<bool()> stopRequested);
    ~ServerStream();
    ServerStream(const ServerStream&) = delete;
    ServerStream& operator=(const ServerStream&) = delete;

    // Connects (never starting a server) and opens the stream, each within
    // kSoundServerAnswerLimit.
    void open();

    // Hands the server as many of the leading samples as it asks for now (it
    // copies them) and returns how many that was; often none.
    std::size_t writeSome(std::span<const std::int16_t> samples);

    // Waits up to kPollStep for the server. Fails when the server has asked
    // for no samples for a few seconds: it has stopped playing.
    void wait();

    // Returns once the server has played every sample written.
    void drain();

    // Drops what the server still holds instead of playing it out (after a
    // stop); reports nothing.
    void dropHeld() noexcept;

private:
    using Clock = std::chrono::steady_clock;

    void iterate(Clock::time_point deadline);
    void step(Clock::time_point deadline);
    void connect();
    void openStream();
    void checkStream() const;
    std::size_t writableBytes();
    std::string serverError() const;

    struct MainloopFree {
        void operator()(pa_mainloop* loop) const;
    };
    struct ContextClose {
        void operator()(pa_context* context) const;
    };
    struct StreamClose {
        void operator()(pa_stream* stream) const;
    };

    int rate_;
    std::function<bool()> stopRequested_;
    Clock::time_point lastAsked_;
    // Released bottom up: the stream, then the connection, then the loop.
    std::unique_ptr<pa_mainloop, MainloopFree> loop_;
    std::unique_ptr<pa_context, ContextClose> context_;
    std::unique_ptr<pa_stream, StreamClose> stream_;
};

}  // namespace vantel::sound::detail
