#include "sound/player.h"

#include <fstream>
#include <vector>

#include "sound/server_stream.h"
#include "wav/wav_reader.h"

namespace vantel::sound {
namespace {

using detail::fail;
using detail::PlayError;

// Plays the samples to their end on the calling thread.
std::string play(std::span<const std::int16_t> samples, int rate, const std::function<bool()>& stopRequested) {
    detail::ServerStream server(rate, stopRequested);
    try {
        server.open();
        while (!samples.empty()) {
            samples = samples.subspan(server.writeSome(samples));
            if (!samples.empty()) server.wait();
        }
        server.drain();
        return {};
    } catch (const detail::StopAsked&) {
        server.dropHeld();
        return kStopped;
    }
}

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
        return play(samples, rate, stopRequested);
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
