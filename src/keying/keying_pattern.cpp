#include "keying/keying_pattern.h"

#include <utility>

namespace vantel::keying {

KeyingPattern KeyingPattern::fromText(std::string elements) {
    KeyingPattern pattern;
    pattern.text_ = std::move(elements);
    return pattern;
}

KeyingPattern KeyingPattern::continuousTone(std::int64_t elements) {
    KeyingPattern pattern;
    pattern.isTone_ = true;
    pattern.toneElements_ = elements < 0 ? 0 : elements;
    return pattern;
}

std::string KeyingPattern::text() const {
    return isTone_ ? std::string(static_cast<std::size_t>(toneElements_), kKeyDown) : text_;
}

}  // namespace vantel::keying
