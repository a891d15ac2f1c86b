#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

// Shared by the fuzz targets: taking typed values off the front of the
// fuzzer's bytes, and failing loudly when a property does not hold.
namespace vantel::fuzz {

// A failed property must stop the fuzzer with a crash report it keeps, not
// an exception some caller might swallow.
inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property failed: %s\n", property);
        std::abort();
    }
}

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t remaining() const { return size_ - used_; }

    std::uint8_t peek() const { return used_ == size_ ? 0 : data_[used_]; }

    std::uint8_t byte() {
        if (used_ == size_) return 0;
        return data_[used_++];
    }

    template <typename T>
    T raw() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        const std::size_t n = remaining() < sizeof(T) ? remaining() : sizeof(T);
        std::memcpy(bytes, data_ + used_, n);
        used_ += n;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // A double: most often one of the values that break arithmetic (zero of
    // either sign, NaN, the infinities, subnormals, the extremes, and a few
    // ordinary magnitudes), otherwise any bit pattern.
    double interestingDouble() {
        const std::uint8_t pick = byte();
        if (pick < 128) return raw<double>();
        constexpr double kSpecial[] = {
            0.0,     -0.0,     1.0,    -1.0,    0.5,     2.0,     4.0,    1e-300,
            -1e-300, 5e-324,   1e308,  -1e308,  12000,   48000,   8000,   300,
            3000,    1800,     800,    600,     0.1,     1e-15,   1e15,   1e16,
            9.5,     2.5,      -2.5,   0.04999, 999999,  1e7,     100000, 0.3,
            std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::max(),
            std::numeric_limits<double>::lowest(),
            std::numeric_limits<double>::min(),
            std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::epsilon(),
        };
        constexpr std::size_t kCount = sizeof kSpecial / sizeof kSpecial[0];
        const double base = kSpecial[(pick - 128) % kCount];
        // Scaling by a small power of ten reaches the neighbours of each.
        const int shift = static_cast<std::int8_t>(byte()) % 4;
        return base * std::pow(10.0, shift);
    }

    // The bytes up to the next separator (or the end), without it.
    std::string_view upTo(char separator) {
        const auto* begin = reinterpret_cast<const char*>(data_ + used_);
        std::size_t n = 0;
        while (used_ + n < size_ && begin[n] != separator) ++n;
        used_ += n < remaining() ? n + 1 : n;
        return {begin, n};
    }

    std::string_view rest() {
        const auto* begin = reinterpret_cast<const char*>(data_ + used_);
        const std::size_t n = remaining();
        used_ = size_;
        return {begin, n};
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

}  // namespace vantel::fuzz
