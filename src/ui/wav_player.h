#pragma once

#include <chrono>
#include <string>

// Playback through the desktop's sound server (PulseAudio, or PipeWire
// serving the same protocol). No Qt here: this runs on a worker thread.
namespace vantel::ui {

// How long a sound server may take to accept the connection and the stream
// before playback gives up; a missing server is reported at once.
inline constexpr std::chrono::milliseconds kSoundServerAnswerLimit{1500};

// Plays a 16-bit mono PCM WAV file to its end and returns when its last
// sample has been played. Empty when it was played; otherwise one line that
// says why not (no server, no device, a file that is missing or of another
// kind, a server that stopped taking samples). Blocks the calling thread.
std::string playWavFile(const std::string& path);

}  // namespace vantel::ui
