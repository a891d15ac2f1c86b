#pragma once

#include <cstdint>
#include <string>

namespace vantel::keying {

inline constexpr char kKeyDown = '-';
inline constexpr char kKeyUp = ' ';

// The keying pattern: one element per character, "-" key down and " " key up.
// A continuous tone is held as a count rather than a string, so that an hour of
// tone at a low rate costs no memory.
class KeyingPattern {
public:
    KeyingPattern() = default;
    static KeyingPattern fromText(std::string elements);
    static KeyingPattern continuousTone(std::int64_t elements);

    std::int64_t size() const { return isTone_ ? toneElements_ : static_cast<std::int64_t>(text_.size()); }
    bool empty() const { return size() == 0; }
    bool keyDown(std::int64_t element) const {
        return isTone_ || text_[static_cast<std::size_t>(element)] == kKeyDown;
    }
    bool isContinuousTone() const { return isTone_; }
    // The pattern as text; for a continuous tone this spells out the "-"s.
    std::string text() const;

    bool operator==(const KeyingPattern&) const = default;

private:
    std::string text_;
    std::int64_t toneElements_ = 0;
    bool isTone_ = false;
};

}  // namespace vantel::keying
