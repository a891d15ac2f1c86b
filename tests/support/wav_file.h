#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Test-side reading of the files Vantel writes, kept independent of the writer.
namespace vantel::testing {

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::int32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                     (static_cast<std::uint32_t>(b[at + 3]) << 24));
}

struct WavContents {
    std::int32_t sampleRate = 0;
    std::int32_t dataBytes = 0;
    std::int32_t riffSize = 0;
    std::vector<std::int16_t> samples;
};

inline WavContents readWav(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> b = readBytes(path);
    WavContents wav;
    if (b.size() < 44) return wav;
    wav.riffSize = le32(b, 4);
    wav.sampleRate = le32(b, 24);
    wav.dataBytes = le32(b, 40);
    for (std::size_t i = 44; i + 1 < b.size(); i += 2) {
        wav.samples.push_back(static_cast<std::int16_t>(b[i] | (b[i + 1] << 8)));
    }
    return wav;
}

// A fresh empty folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantel-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace vantel::testing
