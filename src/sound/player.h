#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Playback through the desktop's sound server (PulseAudio, or PipeWire
// serving the same protocol). No Qt here: the window plays on a worker
// thread, the Python module on the caller's thread.
namespace vantel::sound {

// How long a sound server may take to accept the connection and the stream
// before playback gives up; a missing server is reported at once.
inline constexpr std::chrono::milliseconds kSoundServerAnswerLimit{1500};

// How often a playback looks whether it is asked to stop.
inline constexpr std::chrono::milliseconds kPollStep{20};

// What playSamples returns when `stopRequested` ended it.
inline constexpr const char* kStopped = "Stopped";

// Plays 16-bit mono samples at `rate` samples per second to their end and
// returns when the last has been played. Empty when they were played;
// kStopped when `stopRequested` (asked every kPollStep) said true, in which
// case what the server still held is dropped and the call returns at once;
// otherwise one line that says why not (no server, no device, a rate the
// server does not take, a server that stopped taking samples). Blocks the
// calling thread; `stopRequested` is called on it.
std::string playSamples(std::span<const std::int16_t> samples, int rate,
                        const std::function<bool()>& stopRequested = {});

// Plays a 16-bit mono PCM WAV file as playSamples does; a file that is
// missing or of another kind is one more reason not to.
std::string playWavFile(const std::string& path);

}  // namespace vantel::sound
