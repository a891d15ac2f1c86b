#pragma once

#include <cstdint>
#include <string>

#include "wav/wav_writer.h"

namespace vantel::wav {

// Where the samples of a 16-bit mono PCM WAV file lie, and at what rate.
struct PcmLayout {
    std::int32_t sampleRate = 0;
    std::int64_t dataOffset = 0;  // bytes from the start of the file
    std::int64_t dataBytes = 0;   // whole samples only, never past the end of the file
};

// Reads the chunks of `path` and finds its samples. Throws FileError naming
// the file and the reason when it cannot be read or is not 16-bit mono PCM
// (the only kind Vantel writes), so a caller can show the text as it stands.
PcmLayout readMono16Layout(const std::string& path);

}  // namespace vantel::wav
