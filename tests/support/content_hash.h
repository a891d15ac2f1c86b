#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vantel::testing {

// FNV-1a over the bytes, as 16 hex digits: enough to pin a file's exact
// contents in a test and to see at once that they changed.
inline std::string contentHash(const void* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

template <typename T>
std::string contentHash(const std::vector<T>& values) {
    return contentHash(values.data(), values.size() * sizeof(T));
}

}  // namespace vantel::testing
