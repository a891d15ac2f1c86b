#include "wav/wav_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>

namespace vantel::wav {
namespace {

constexpr std::uint16_t kPcmFormat = 1;

std::uint32_t le32(const std::uint8_t* b) {
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
std::uint16_t le16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); }

struct Format {
    std::uint16_t code;
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::uint16_t bitsPerSample;
};

[[noreturn]] void reject(const std::string& path, const std::string& why) {
    throw FileError(path + " " + why);
}

bool readExactly(std::ifstream& in, std::uint8_t* into, std::size_t size) {
    in.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

Format readFormat(std::ifstream& in, std::uint32_t chunkSize, const std::string& path) {
    std::array<std::uint8_t, 16> b{};
    if (chunkSize < b.size() || !readExactly(in, b.data(), b.size())) reject(path, "has a damaged format chunk");
    return {le16(&b[0]), le16(&b[2]), le32(&b[4]), le16(&b[14])};
}

void checkMono16Pcm(const Format& f, const std::string& path) {
    if (f.code != kPcmFormat || f.channels != 1 || f.bitsPerSample != 16 || f.sampleRate == 0 ||
        f.sampleRate > INT32_MAX) {
        reject(path, "is not a 16-bit mono PCM WAV file (format " + std::to_string(f.code) + ", " +
                         std::to_string(f.channels) + " channels, " + std::to_string(f.bitsPerSample) +
                         " bits)");
    }
}

}  // namespace

PcmLayout readMono16Layout(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) reject(path, "cannot be opened: " + std::error_code(errno, std::generic_category()).message());
    const std::int64_t fileSize = in.tellg();
    in.seekg(0);

    std::array<std::uint8_t, 12> riff{};
    if (!readExactly(in, riff.data(), riff.size()) || std::memcmp(&riff[0], "RIFF", 4) != 0 ||
        std::memcmp(&riff[8], "WAVE", 4) != 0) {
        reject(path, "is not a WAV file");
    }

    std::optional<Format> format;
    std::array<std::uint8_t, 8> chunk{};
    while (readExactly(in, chunk.data(), chunk.size())) {
        const std::uint32_t size = le32(&chunk[4]);
        const std::int64_t body = in.tellg();
        if (std::memcmp(&chunk[0], "fmt ", 4) == 0) {
            format = readFormat(in, size, path);
        } else if (std::memcmp(&chunk[0], "data", 4) == 0) {
            if (!format) reject(path, "has its samples before their format");
            checkMono16Pcm(*format, path);
            const std::int64_t present = std::min<std::int64_t>(size, fileSize - body);
            return {static_cast<std::int32_t>(format->sampleRate), body, present - present % 2};
        }
        // Chunks are padded to an even length.
        in.seekg(body + size + (size % 2));
    }
    reject(path, "holds no samples");
}

}  // namespace vantel::wav
